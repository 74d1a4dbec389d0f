// The viewer's command line, and handing it to a copy of the viewer already running.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace show {

// The argument as the shell would have handed it over: a desktop entry
// cannot put a verb character in front of its file field, so "--browse",
// "--edit", "--edit-with" and "--print" before a path stand for "=", "?",
// "!" and "+". `arguments` excludes the program name. Empty without one; a
// verb given without a path (a desktop entry's action) is the verb alone.
QString argumentText(const QStringList& arguments);

// What `Show --help` prints: the verbs, the options, and what they do.
QString usageText();

struct VerbAndPath {
    QChar verb;  // '=', '?', '!', '+', or null for a plain path
    QString path;
};
VerbAndPath splitVerb(const QString& argument);

// The argument with a relative path made absolute against `folder`, the verb
// kept in front: the running viewer that takes it over works in a folder of
// its own.
QString absoluteArgument(const QString& argument, const QString& folder);

// Arguments are kept whole up to the system's path limit, a verb
// character included; no file has a longer name, and the hand-off carries
// nothing longer.
constexpr qsizetype kMaxArgumentBytes = 4096;

// The local socket the running viewer listens on, in the abstract
// namespace: one per user and private folder.
QString handOffServerName();

// Requests on that socket, one line each: "title" is answered at once with
// the window's title; "hand-off" followed by a space and the argument's bytes
// in hexadecimal (none: no argument) with "1" when the running viewer took
// the argument, "0" when it declined. Each later copy carries its own
// argument, so any number of them can hand over at once.
inline constexpr char kTitleRequest[] = "title";
inline constexpr char kHandOffRequest[] = "hand-off";
inline constexpr qsizetype kMaxRequestBytes = sizeof kHandOffRequest + 2 * kMaxArgumentBytes;
QByteArray handOffRequest(const QByteArray& argument);
// The argument of a hand-off request line (without its line end); nothing
// for a line no viewer sends: bad digits, a zero byte, or too long.
std::optional<QString> handOffArgument(const QByteArray& request);

// True when the process at the other end of a connected local socket runs
// as this user: abstract sockets have no file permissions to keep others out.
bool peerIsThisUser(qintptr socketDescriptor);

// True when `title` is a running viewer's: one that shows, loads or failed
// to load a picture, or shows a selection ("Show - ..." in any case).
bool isViewerTitle(const QString& title);

// True unless the kernel's table of local sockets shows that no viewer of
// this user listens: a look that leaves a running viewer alone, where
// connecting to it would not.
bool viewerMayBeListening();

// Looks for a running viewer and hands `argument` (empty: none) to it.
// True when it took the argument: this copy then ends without a window.
// Every wait is bounded, so a busy or foreign server only delays the start.
bool handOffToRunningViewer(const QString& argument);

}  // namespace show
