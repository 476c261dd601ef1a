#include "MainWindow.h"

#include <QApplication>
#include <memory>

int main(int argc, char *argv[])
{
    auto application = std::make_unique<QApplication>(argc, argv);
    auto window = std::make_unique<MainWindow>();
    window->show();
    const int code = application->exec();
    window.reset();
    application.reset();
    return code;
}
