#ifndef GUI_FRONTEND_FRAMEFILTER_H
#define GUI_FRONTEND_FRAMEFILTER_H

#include "CaptureFrame_t.h"

#include <QElapsedTimer>
#include <QScriptProgram>
#include <QScriptValue>
#include <QString>
#include <QTimer>
#include <memory>

class QScriptEngine;

// Tests frame records against a filter text. One script engine serves a whole listing and the text is
// parsed once; each frame is evaluated in a scope of its own (its seven variables in a fresh activation
// object, a fresh global object in front of the engine's own), so nothing a filter assigns reaches the next
// frame. While an evaluation runs long the engine lets the window process its events, and one that runs past
// the time limit (a loop that never ends) is stopped: the text then lets every frame through, as a text that
// does not parse does, until it changes.
class FrameFilter
{
public:
    static constexpr int EventsIntervalMs = 50;
    static constexpr int TimeLimitMs = 1000;

    FrameFilter();
    ~FrameFilter();
    FrameFilter(const FrameFilter &) = delete;
    FrameFilter &operator=(const FrameFilter &) = delete;

    // Starts a new listing with a fresh engine; refused (false) while an evaluation runs.
    bool restart();
    // True when the text is empty or evaluates to true for the frame; the dots of the text name the variables.
    bool matches(const QString &text, const CaptureFrame_t &frame);
    // Stops the evaluation under way; its text then lets every frame through.
    void abort();
    bool isEvaluating() const { return evaluating; }
    bool wasStopped() const { return stopped; }

private:
    std::unique_ptr<QScriptEngine> engine;
    QScriptValue engineGlobal;
    QString text; // as typed, the program's source before the dots were replaced
    QScriptProgram program;
    bool evaluating = false;
    bool stopped = false;
    QElapsedTimer clock;
    QTimer watchdog;

    void prepare(const QString &filterText);
    void checkTime();
};

#endif
