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
        Question,
        SaveChanges, // Yes, No or Cancel; the title carries the informative text
        Plain        // no icon and no title
    };
    enum class Answer
    {
        Ok,
        Yes,
        No,
        Cancel
    };
    using Handler = std::function<Answer(Kind kind, const QString &title, const QString &text)>;

    static void critical(const QString &title, const QString &text);
    static void information(const QString &title, const QString &text);
    static void plain(const QString &text);
    static bool question(const QString &title, const QString &text);
    // "Save your changes?" with Yes, No and Cancel.
    static Answer saveChanges(const QString &text, const QString &informativeText);

    // Replaces the boxes; an empty handler brings the real boxes back. Returns the previous handler.
    static Handler setHandler(Handler handler);

private:
    static Answer show(Kind kind, const QString &title, const QString &text);
};

#endif
