// The viewer's command line: one path, optionally behind a verb.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

namespace show {

// The argument as the shell would have handed it over: a desktop entry
// cannot put a verb character in front of its file field, so "--browse",
// "--edit", "--edit-with" and "--print" before a path stand for "=", "?",
// "!" and "+". `arguments` excludes the program name. Empty without one.
QString argumentText(const QStringList& arguments);

struct VerbAndPath {
    QChar verb;    // '=', '?', '!', '+', or null for a plain path
    QString path;
};
VerbAndPath splitVerb(const QString& argument);

}  // namespace show
