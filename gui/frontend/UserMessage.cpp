#include "UserMessage.h"

#include "HandlerSlot.h"

#include <QMessageBox>

namespace
{
using Slot = HandlerSlot<UserMessage::Handler>;
} // namespace

UserMessage::Handler UserMessage::setHandler(Handler handler)
{
    return Slot::replace(std::move(handler));
}

UserMessage::Answer UserMessage::show(Kind kind, const QString &title, const QString &text)
{
    if (Slot::current())
        return Slot::current()(kind, title, text);
    switch (kind)
    {
    case Kind::Critical:
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
        return Answer::Ok;
    case Kind::Information:
        QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
        return Answer::Ok;
    case Kind::Question:
        return QMessageBox::question(nullptr, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton) ==
                       QMessageBox::Yes
                   ? Answer::Yes
                   : Answer::No;
    case Kind::Plain:
    {
        QMessageBox box;
        box.setText(text);
        box.exec();
        return Answer::Ok;
    }
    case Kind::SaveChanges:
    {
        QMessageBox box;
        box.setText(text);
        box.setInformativeText(title);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const int pressed = box.exec();
        if (pressed == QMessageBox::Yes)
            return Answer::Yes;
        return pressed == QMessageBox::No ? Answer::No : Answer::Cancel;
    }
    }
    return Answer::Ok;
}

void UserMessage::critical(const QString &title, const QString &text)
{
    show(Kind::Critical, title, text);
}

void UserMessage::information(const QString &title, const QString &text)
{
    show(Kind::Information, title, text);
}

void UserMessage::plain(const QString &text)
{
    show(Kind::Plain, QString(), text);
}

bool UserMessage::question(const QString &title, const QString &text)
{
    return show(Kind::Question, title, text) == Answer::Yes;
}

UserMessage::Answer UserMessage::saveChanges(const QString &text, const QString &informativeText)
{
    return show(Kind::SaveChanges, informativeText, text);
}
