#include "GuiMessage.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

namespace
{
GuiMessage::Handler &currentHandler()
{
    static GuiMessage::Handler handler;
    return handler;
}

bool canShowBoxes()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}
} // namespace

GuiMessage::Handler GuiMessage::setHandler(Handler handler)
{
    Handler previous = currentHandler();
    currentHandler() = std::move(handler);
    return previous;
}

void GuiMessage::critical(const QString &title, const QString &text)
{
    if (currentHandler())
        currentHandler()(title, text);
    else if (canShowBoxes())
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
    else
        qWarning().noquote() << title << ":" << text;
}
