#include "GuiMessage.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

void GuiMessage::critical(const QString &title, const QString &text)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr)
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
    else
        qWarning().noquote() << title << ":" << text;
}
