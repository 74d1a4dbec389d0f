// The viewer's command line, and handing it to a copy of the viewer already running.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace show {

// The argument as the shell would have handed it over: a desktop entry
// cannot put a verb character in front of its file field, so "--browse",
// "--edit", "--edit-with" and "--print" before a path stand for "=", "?",
// "!" and "+". `arguments` excludes the program name. Empty without one; a
// verb given without a path (a desktop entry's action) is the verb alone.
QString argumentText(const QStringList& arguments);

struct VerbAndPath {
    QChar verb;    // '=', '?', '!', '+', or null for a plain path
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

// Where a later copy leaves its argument for the running one: "~z" in the
// private folder. Empty when there is no private folder.
QString handOffFile();

// The local socket the running viewer listens on, in the abstract
// namespace: one per user and private folder, so the copies that find each
// other are exactly those that share the hand-off file.
QString handOffServerName();

// Requests on that socket, one line each: "title" is answered at once with
// the window's title, "hand-off" with "1" (taken) or "0" (declined) right
// after the running viewer has read and deleted the hand-off file.
inline constexpr char kTitleRequest[] = "title";
inline constexpr char kHandOffRequest[] = "hand-off";

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
