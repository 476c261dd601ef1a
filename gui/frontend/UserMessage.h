#ifndef GUI_FRONTEND_USERMESSAGE_H
#define GUI_FRONTEND_USERMESSAGE_H

#include <QString>
#include <functional>

// Every message box of the GUI goes through here, so that nothing else calls the QMessageBox statics and a
// test can answer the boxes instead of a user.
class UserMessage
{
public:
    enum class Kind
    {
        Critical,
        Information,
        Question
    };
    // Returns the answer to a question (true for Yes); ignored for the other kinds.
    using Handler = std::function<bool(Kind kind, const QString &title, const QString &text)>;

    static void critical(const QString &title, const QString &text);
    static void information(const QString &title, const QString &text);
    static bool question(const QString &title, const QString &text);

    // Replaces the boxes; an empty handler brings the real boxes back. Returns the previous handler.
    static Handler setHandler(Handler handler);

private:
    static bool show(Kind kind, const QString &title, const QString &text);
};

#endif
