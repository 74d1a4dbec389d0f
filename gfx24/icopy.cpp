// TImCopy: the copy dialog: loads an image file of any readable format and puts it on the clipboard.
#include "icopy.h"

#include "dialog_session.h"
#include "ui_icopy.h"
#include "windows.h"
#include "zarngfx_module.h"

#include <QBuffer>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How long the helper may take to start and own the clipboard.
constexpr int kHelperDeadlineMs = 10000;

// Waits for `events` on `fd` until the deadline; false on timeout or error.
bool wait_for(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, int(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool send_all(int fd, const QByteArray& bytes, const QDeadlineTimer& deadline)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (!wait_for(fd, POLLOUT, deadline)) return false;
        const ssize_t done = ::send(fd, bytes.constData() + sent, std::size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (done < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (done > 0) sent += done;
    }
    return true;
}

// X11 keeps the clipboard's contents in the program that owns it. A host
// without Qt takes the application made for this call down when the export
// returns, and the picture would go with it; so the picture goes to a small
// helper program beside this library ("zarnclip"), which takes the clipboard
// and serves it until another program takes the clipboard over (a clipboard
// manager does so at once). The helper reads the picture as PNG from its
// standard input, a socket, and answers there once it owns the clipboard.
// False when it could not be started or did not answer in time.
bool serve_from_helper(const QImage& picture)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    const std::string helper = controls::ownFolder() + "/zarnclip";
    if (::access(helper.c_str(), X_OK) != 0) return false;
    QByteArray png;
    {
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) return false;
    }
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    char name[] = "zarnclip";
    char* argv[] = {name, nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        return false;
    }

    const QDeadlineTimer deadline(kHelperDeadlineMs);
    bool serving = send_all(sockets[0], png, deadline) && ::shutdown(sockets[0], SHUT_WR) == 0;
    if (serving) {
        char answer = 0;
        serving = wait_for(sockets[0], POLLIN, deadline) && ::recv(sockets[0], &answer, 1, 0) == 1 && answer == '1';
    }
    ::close(sockets[0]);
    // The helper leaves its first process at once and serves from a
    // detached child, so this wait is short; one that never answered is
    // stopped instead.
    if (!serving) ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
    return serving;
}

}  // namespace

TImCopy::TImCopy(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TImCopy>())
{
    ui->setupUi(this);
    instance_ = this;
    setFixedSize(247, 34);
    ui->Progbar1->setPenColor(QColor(0x00, 0x80, 0x80));
    ui->AnyImage1->hide();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire up to 5 % early
    connect(Timer1, &QTimer::timeout, this, &TImCopy::Timer1Timer);
}

TImCopy::~TImCopy()
{
    if (instance_ == this) instance_ = nullptr;
}

void TImCopy::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

// The second counts from the moment the window shows, so it is on screen for
// at least that long however quickly the file loads.
void TImCopy::FormShow()
{
    ui->Label1->setText(file_);
    if (started_) return;
    started_ = true;
    Timer1->start();
}

void TImCopy::Timer1Timer()
{
    ui->AnyImage1->setProgressCallback(&TImCopy::ShowProgress);
    ui->AnyImage1->setFileName(file_);
    // A file that did not load leaves the clipboard as it was.
    if (!ui->AnyImage1->Picture().isNull()) PutOnClipboard(ui->AnyImage1->Picture());
    close();
}

void TImCopy::PutOnClipboard(const QImage& picture)
{
    // A deep copy: the clipboard keeps its picture after this library is
    // unloaded, so its pixels must not be memory that this code frees.
    const QImage copy = picture.copy();
    if (copy.isNull()) return;
    // A Qt host's own application owns the clipboard from here on.
    if (gfx24::ownsApplication() && serve_from_helper(copy)) {
        copied_ = true;
        return;
    }
    // Without the helper, Qt hands the picture to a running clipboard
    // manager when the call's application ends.
    QGuiApplication::clipboard()->setImage(copy, QClipboard::Clipboard);
    copied_ = true;
}

void TImCopy::ShowProgress(std::int32_t current, std::int32_t total)
{
    gfx24::showProgress(instance_ ? instance_->ui->Progbar1 : nullptr, current, total);
}

namespace gfx24 {

void CopyImage(const char* path)
{
    TImCopy window;
    window.setFile(QFile::decodeName(path));
    execModal(window);
}

}  // namespace gfx24
