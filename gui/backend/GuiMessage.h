#ifndef GUI_BACKEND_GUIMESSAGE_H
#define GUI_BACKEND_GUIMESSAGE_H

#include <QString>
#include <functional>

// Critical messages for the user. Where nobody can click a box away (no widget application, or a
// platform without a screen such as the offscreen one of the tests) the message goes to the warning
// output instead of blocking.
class GuiMessage
{
public:
    using Handler = std::function<void(const QString &title, const QString &text)>;

    static void critical(const QString &title, const QString &text);
    // Takes the messages instead of the boxes (a test, or a front end with its own boxes); an empty
    // handler brings the boxes back. Returns the previous handler.
    static Handler setHandler(Handler handler);
};

#endif
