#include "TestHome.h"

TestHome::TestHome() : previous(qgetenv("HOME"))
{
    qputenv("HOME", dir.path().toUtf8());
}

TestHome::~TestHome()
{
    qputenv("HOME", previous);
}

QString TestHome::prefsDir() const
{
    return dir.path() + "/AppData/local/ZelVir/HalvexZuroRur";
}
