#include "Dialog_log.h"

#include "PreferencesDir.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

Dialog_log::Dialog_log(QWidget *parent) : QDialog(parent)
{
    if (objectName().isEmpty())
        setObjectName("Dialog_log");
    resize(857, 598);
    setWindowTitle(tr("Log"));
    form.verticalLayout = new QVBoxLayout(this);
    form.verticalLayout->setObjectName("verticalLayout");
    form.plainTextEdit_log = new QPlainTextEdit(this);
    form.plainTextEdit_log->setObjectName("plainTextEdit_log");
    form.plainTextEdit_log->setReadOnly(true);
    form.plainTextEdit_log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    form.verticalLayout->addWidget(form.plainTextEdit_log);
    form.buttonBox = new QDialogButtonBox(this);
    form.buttonBox->setObjectName("buttonBox");
    form.buttonBox->setOrientation(Qt::Horizontal);
    form.buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form.verticalLayout->addWidget(form.buttonBox);
    connect(form.buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(form.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QMetaObject::connectSlotsByName(this);
}

Dialog_log::~Dialog_log() = default;

QString Dialog_log::logFile()
{
    return PreferencesDir::path() + "/log.txt";
}

void Dialog_log::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QFile file(logFile());
    QString text;
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        text = QString::fromUtf8(file.readAll());
    form.plainTextEdit_log->setPlainText(text);
    form.plainTextEdit_log->moveCursor(QTextCursor::End);
    form.plainTextEdit_log->setCenterOnScroll(true);
    form.plainTextEdit_log->ensureCursorVisible();
}
