#ifndef TEMPLATEDIRECTORY_H
#define TEMPLATEDIRECTORY_H

#include <QString>

// The template directory that the template setting names. A relative setting is taken from the
// working directory when it is there, otherwise from the program's own directory, beside which
// the example templates are installed: the default "./Template" then works at the first start
// wherever the GUI is started from.
QString templateDirectory(const QString &setting);

#endif
