#ifndef GUI_BACKEND_XML_RADIO_TEST_H
#define GUI_BACKEND_XML_RADIO_TEST_H

#include "RadioTestFrame_t.h"

#include <QObject>

class Logger;

// Recognises the concentrators' answers among the frames of a radio-test run.
class xml_radio_test : public QObject
{
    Q_OBJECT
public:
    xml_radio_test(QObject *parent, Logger *logger);

signals:
    // The answer as a value: receivers may keep it, also across threads.
    void ReceiveAnswer(RadioTestFrame_t answer);

public slots:
    void GetNewFrame(QString frame);

private:
    Logger *logger;
};

#endif
