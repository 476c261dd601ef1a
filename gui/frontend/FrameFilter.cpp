#include "FrameFilter.h"

#include <QScriptContext>
#include <QScriptEngine>

FrameFilter::FrameFilter()
{
    watchdog.setInterval(EventsIntervalMs);
    QObject::connect(&watchdog, &QTimer::timeout, [this] { checkTime(); });
}

FrameFilter::~FrameFilter() = default;

bool FrameFilter::restart()
{
    if (evaluating)
        return false;
    engine.reset();
    text.clear();
    return true;
}

void FrameFilter::prepare(const QString &filterText)
{
    if (engine && filterText == text)
        return;
    engine = std::make_unique<QScriptEngine>();
    engine->setProcessEventsInterval(EventsIntervalMs);
    engineGlobal = engine->globalObject();
    text = filterText;
    QString source = filterText;
    source.replace('.', '_');
    program = QScriptProgram(source, QString(), 1);
    stopped = false;
}

bool FrameFilter::matches(const QString &filterText, const CaptureFrame_t &frame)
{
    if (filterText.isEmpty())
        return true;
    // A filter evaluated from the events an evaluation processes would run inside it: it lets the frame pass.
    if (evaluating)
        return true;
    prepare(filterText);
    if (stopped)
        return true;

    QScriptValue global = engine->newObject();
    global.setPrototype(engineGlobal);
    engine->setGlobalObject(global);
    QScriptContext *scope = engine->pushContext();
    QScriptValue variables = scope->activationObject();
    variables.setProperty("mbus_header_Id", frame.Id);
    variables.setProperty("mbus_header_Manufacturer", frame.Manufacturer);
    variables.setProperty("mbus_header_Type", frame.Type);
    variables.setProperty("mbus_header_AccessNumber", frame.AccessNumber);
    variables.setProperty("mbus_header_Medium", frame.Medium);
    variables.setProperty("mbus_radio_rssi", frame.rssi);
    variables.setProperty("mbus_error", frame.error);

    evaluating = true;
    clock.start();
    if (!watchdog.isActive())
        watchdog.start();
    // A text that does not parse or names something unknown throws; the thrown Error object counts as
    // true, so such a filter lets every frame through rather than hiding the capture.
    const bool result = engine->evaluate(program).toBool();
    evaluating = false;
    engine->popContext();
    engine->clearExceptions();
    return stopped || result;
}

void FrameFilter::abort()
{
    if (!evaluating || !engine)
        return;
    stopped = true;
    engine->abortEvaluation();
}

void FrameFilter::checkTime()
{
    if (!evaluating)
        watchdog.stop();
    else if (clock.elapsed() > TimeLimitMs)
        abort();
}
