// zarnclip: keeps a copied picture on the X11 clipboard after the host that copied it has let go.
//
// The copy dialog starts it when the host has no Qt application of its own
// to keep the clipboard alive. Standard input is a socket: the picture comes
// in as PNG up to the end of input, and one byte "1" goes back once this
// program owns the clipboard. It serves the picture until another program
// takes the clipboard over, then ends.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxInput = qsizetype(1) << 30;

// The whole of standard input, or nothing when it is too large or fails.
QByteArray read_input()
{
    QByteArray input;
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, block, sizeof block);
        if (got == 0) return input;
        if (got < 0) {
            if (errno == EINTR) continue;
            return {};
        }
        if (input.size() + got > kMaxInput) return {};
        input.append(block, got);
    }
}

// Nothing the caller had open (a pipe someone waits to see closed, say)
// stays open for the life of this program.
void close_inherited_files()
{
    if (::close_range(3, ~0U, 0) == 0) return;
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
}

// False when the caller no longer listens: it has given up on this program.
bool answer(char byte)
{
    const bool heard = ::send(STDIN_FILENO, &byte, 1, MSG_NOSIGNAL) == 1;
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
    return heard;
}

}  // namespace

int main(int argc, char** argv)
{
    close_inherited_files();
    const QByteArray png = read_input();
    if (png.isEmpty()) return 1;

    // The caller waits for this first process; the server runs detached in
    // a session of its own, forked before any thread exists.
    const pid_t child = ::fork();
    if (child < 0) return 1;
    if (child > 0) ::_exit(0);
    ::setsid();
    ::unsetenv("SESSION_MANAGER");

    QGuiApplication app(argc, argv);
    const QImage picture = QImage::fromData(png, "PNG");
    if (picture.isNull()) return 1;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setImage(picture, QClipboard::Clipboard);
    if (!clipboard->ownsClipboard()) return 1;
    QObject::connect(clipboard, &QClipboard::changed, &app, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard()) QCoreApplication::quit();
    });
    if (!answer('1')) return 1;
    return app.exec();
}
