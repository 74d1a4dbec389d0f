// The viewer's command line, and handing it to a copy of the viewer already running.
#include "command_line.h"

#include "private_temp.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <algorithm>

#include <sys/socket.h>
#include <unistd.h>

namespace show {
namespace {

struct VerbOption {
    const char* option;
    char verb;
    const char* meaning;
};
constexpr VerbOption kVerbOptions[] = {{"--browse", '=', "browse from the picture, showing the one chosen"},
                                       {"--edit", '?', "open the picture in the editor set for its type"},
                                       {"--edit-with", '!', "ask for a program and open the picture in it"},
                                       {"--print", '+', "print the picture through the print preview"}};

// The whole exchange with a running viewer, connection included.
constexpr int kHandOffWaitMs = 3000;
// A reply longer than this is not from a viewer.
constexpr qint64 kMaxReplyBytes = 4096;

// Sends `request` and waits for the one-line answer, within `deadline`.
bool ask(QLocalSocket& socket, const QByteArray& request, const QDeadlineTimer& deadline, QByteArray& answer)
{
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return false;
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > kMaxReplyBytes || deadline.hasExpired()) return false;
        if (!socket.waitForReadyRead(int(deadline.remainingTime())) && !socket.canReadLine()) return false;
    }
    answer = socket.readLine(kMaxReplyBytes + 1).chopped(1);
    return true;
}

}  // namespace

QString argumentText(const QStringList& arguments)
{
    if (arguments.isEmpty()) return {};
    for (const VerbOption& entry : kVerbOptions) {
        if (arguments.front() == QLatin1String(entry.option))
            return arguments.size() > 1 ? QChar(entry.verb) + arguments.at(1) : QString(QChar(entry.verb));
    }
    return arguments.front();
}

QString usageText()
{
    QString text = QStringLiteral(
        "Usage: Show [OPTION] [PICTURE]\n"
        "Shows PICTURE; a viewer already running takes it over and this copy ends.\n"
        "Without a picture, asks for one.\n\n");
    for (const VerbOption& entry : kVerbOptions)
        text += QStringLiteral("  %1 PICTURE").arg(QLatin1String(entry.option)).leftJustified(24) +
                QLatin1String(entry.meaning) + '\n';
    text += QStringLiteral("  -h, --help").leftJustified(24) + QStringLiteral("print this help and exit\n\n");
    text += QStringLiteral("PICTURE may instead begin with");
    for (const VerbOption& entry : kVerbOptions) text += QStringLiteral(" %1").arg(QChar(entry.verb));
    return text + QStringLiteral(" for those options, in that order.\n");
}

VerbAndPath splitVerb(const QString& argument)
{
    if (!argument.isEmpty() && QStringLiteral("=?!+").contains(argument.front()))
        return {argument.front(), argument.mid(1)};
    return {QChar(), argument};
}

QString absoluteArgument(const QString& argument, const QString& folder)
{
    const VerbAndPath parsed = splitVerb(argument);
    if (parsed.path.isEmpty() || QDir::isAbsolutePath(parsed.path)) return argument;
    const QString path = QDir(folder).absoluteFilePath(parsed.path);
    return parsed.verb.isNull() ? path : parsed.verb + path;
}

QString handOffServerName()
{
    const QByteArray folder = QFile::encodeName(controls::privateTempDir());
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("zarn-show-%1-%2").arg(::getuid()).arg(QLatin1String(digest));
}

QByteArray handOffRequest(const QByteArray& argument)
{
    return QByteArray(kHandOffRequest) + ' ' + argument.toHex();
}

std::optional<QString> handOffArgument(const QByteArray& request)
{
    const QByteArray head = QByteArray(kHandOffRequest) + ' ';
    if (request == kHandOffRequest) return QString();
    if (!request.startsWith(head) || request.size() > kMaxRequestBytes) return std::nullopt;
    const QByteArray digits = request.mid(head.size());
    // fromHex skips what is not a digit; a request that has any is not ours.
    const bool hex = digits.size() % 2 == 0 && std::all_of(digits.begin(), digits.end(), [](char c) {
                         return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
                     });
    if (!hex) return std::nullopt;
    const QByteArray argument = QByteArray::fromHex(digits);
    if (argument.size() > kMaxArgumentBytes || argument.contains('\0')) return std::nullopt;
    return QFile::decodeName(argument);
}

bool peerIsThisUser(qintptr socketDescriptor)
{
    if (socketDescriptor < 0) return false;
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           peer.uid == ::getuid();
}

bool isViewerTitle(const QString& title)
{
    return title.left(6).compare(QLatin1String("Show -"), Qt::CaseInsensitive) == 0;
}

bool viewerMayBeListening()
{
    // Listening sockets of the abstract namespace end their line with "@"
    // and the name.
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly)) return true;
    const QByteArray line_end = " @" + handOffServerName().toUtf8() + '\n';
    return table.readAll().contains(line_end);
}

bool handOffToRunningViewer(const QString& argument)
{
    const QByteArray text = QFile::encodeName(absoluteArgument(argument, QDir::currentPath()));
    if (text.size() > kMaxArgumentBytes) return false;

    // Find the running viewer: the server answers, and its window's title
    // says it shows a picture.
    const QDeadlineTimer deadline(kHandOffWaitMs);
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(handOffServerName());
    if (!socket.waitForConnected(int(deadline.remainingTime())) || !peerIsThisUser(socket.socketDescriptor()))
        return false;
    QByteArray title;
    if (!ask(socket, kTitleRequest, deadline, title) || !isViewerTitle(QString::fromUtf8(title))) return false;

    // The answer says whether the running viewer took the argument; without
    // one in time, this copy starts a window of its own.
    QByteArray answer;
    const bool taken = ask(socket, handOffRequest(text), deadline, answer) && answer == "1";
    socket.abort();
    return taken;
}

}  // namespace show
