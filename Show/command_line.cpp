// The viewer's command line, and handing it to a copy of the viewer already running.
#include "command_line.h"

#include "private_temp.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace show {
namespace {

struct VerbOption {
    const char* option;
    char verb;
};
constexpr VerbOption kVerbOptions[] = {
    {"--browse", '='}, {"--edit", '?'}, {"--edit-with", '!'}, {"--print", '+'}};

// The whole exchange with a running viewer, connection included.
constexpr int kHandOffWaitMs = 3000;
// A reply longer than this is not from a viewer.
constexpr qint64 kMaxReplyBytes = 4096;

// Sends `request` and waits for the one-line answer, within `deadline`.
bool ask(QLocalSocket& socket, const char* request, const QDeadlineTimer& deadline, QByteArray& answer)
{
    socket.write(QByteArray(request) + '\n');
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

QString handOffFile()
{
    const QString folder = privateTempDir();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/~z");
}

QString handOffServerName()
{
    const QByteArray folder = QFile::encodeName(privateTempDir());
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("zarn-show-%1-%2").arg(::getuid()).arg(QLatin1String(digest));
}

bool peerIsThisUser(qintptr socketDescriptor)
{
    if (socketDescriptor < 0) return false;
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           size == sizeof peer && peer.uid == ::getuid();
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
    const QString file = handOffFile();
    if (text.size() > kMaxArgumentBytes || file.isEmpty()) return false;

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

    // The argument as received, verb and all; without one, a single zero byte.
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        const QByteArray content = text.isEmpty() ? QByteArray(1, '\0') : text;
        if (out.write(content) != content.size() || !out.flush()) {
            out.close();
            QFile::remove(file);
            return false;
        }
    }

    // The answer only says the running viewer is done with the file: a file
    // still there was declined (or never read in time), and this copy starts.
    QByteArray answer;
    ask(socket, kHandOffRequest, deadline, answer);
    socket.abort();
    if (QFile::exists(file)) {
        QFile::remove(file);
        return false;
    }
    QFile::remove(file);
    return true;
}

}  // namespace show
