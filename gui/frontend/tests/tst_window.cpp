#include "MainWindow.h"
#include "WindowFixture.h"

#include <QtTest>

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void startsWithoutPorts();
};

void WindowTest::startsWithoutPorts()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QVERIFY(window);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
