#ifndef GUI_BACKEND_TESTS_TESTHOME_H
#define GUI_BACKEND_TESTS_TESTHOME_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Points HOME at a fresh temporary folder for as long as it lives, so that the preferences directory,
// the logs and the run records of a test never touch the real ones.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    QString home() const { return dir.path(); }
    QString prefsDir() const;

private:
    QTemporaryDir dir;
    QByteArray previous;
};

#endif
