#include "TestHome.h"

namespace
{
// Every test program runs with HOME in a temporary folder of its own from before main on, so that a test
// that forgets its TestHome (or a runner thread that outlives one) still never touches the real home.
struct ProcessHome
{
    QTemporaryDir dir;
    ProcessHome() { qputenv("HOME", dir.path().toUtf8()); }
};
const ProcessHome processHome;
} // namespace

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
