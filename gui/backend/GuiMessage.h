#ifndef GUI_BACKEND_GUIMESSAGE_H
#define GUI_BACKEND_GUIMESSAGE_H

#include <QString>

// Critical messages for the user. Without a widget application (tests, tools) there is nobody to click
// the box away, so the message goes to the warning output instead of blocking.
class GuiMessage
{
public:
    static void critical(const QString &title, const QString &text);
};

#endif
