// The Qt session of one export call and the helpers every window shares.
#include "dialog_session.h"

#include "artwork.h"
#include "private_temp.h"
#include "progbar.h"

#include <QApplication>
#include <QDialog>
#include <QFile>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace gfx24 {
namespace {

// Qt's libraries register handlers and keep state that must outlive the
// one call that loaded them; a host without Qt would otherwise unload and
// reload them with this library on every call.
void keep_qt_loaded()
{
    const void* in_each[] = {reinterpret_cast<const void*>(&qVersion),
                             reinterpret_cast<const void*>(&QGuiApplication::platformName),
                             reinterpret_cast<const void*>(&QApplication::beep)};
    for (const void* address : in_each) {
        Dl_info info{};
        if (dladdr(address, &info) != 0 && info.dli_fname)
            ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

// Whether an X server answers on DISPLAY. libxcb is taken at run time: where
// it cannot be loaded, Qt's X11 platform cannot start either.
bool x_display_opens()
{
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto has_error = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool opens = false;
    if (connect && has_error && disconnect) {
        // A failed connection is an object too, and is freed the same way.
        void* connection = connect(nullptr, nullptr);
        opens = connection && has_error(connection) == 0;
        if (connection) disconnect(connection);
    }
    ::dlclose(xcb);
    return opens;
}

// Whether a Wayland compositor listens on the socket WAYLAND_DISPLAY names.
bool wayland_display_opens()
{
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET")) return true;  // a connection handed down to us
    QByteArray path = qgetenv("WAYLAND_DISPLAY");
    if (path.isEmpty()) path = "wayland-0";
    if (!path.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty()) return false;
        path = runtime + '/' + path;
    }
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) return false;
    const bool opens = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return opens;
}

// Qt ends the whole process when none of the platforms it would try can
// start, so a host without a display is asked first. The platforms are
// QT_QPA_PLATFORM's list, or Qt's own choice: Wayland in a Wayland session,
// then X11. Those that need no display server (offscreen, vnc...) always start.
bool display_opens()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.trimmed().isEmpty()) {
        const bool wayland_session =
            qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
        platforms = wayland_session ? "wayland;xcb" : "xcb";
    }
    for (const QByteArray& entry : platforms.split(';')) {
        const QByteArray name = entry.split(':').first().trimmed();  // options follow a colon
        if (name.isEmpty()) continue;
        if (name == "xcb") {
            if (x_display_opens()) return true;
        } else if (name.startsWith("wayland")) {
            if (wayland_display_opens()) return true;
        } else {
            return true;
        }
    }
    return false;
}

// The application object of a host that has none; none at all where no
// display can be opened.
class OwnApplication {
public:
    OwnApplication()
    {
        if (QCoreApplication::instance()) return;
        // Kept loaded whether or not a window can open: what Qt set up as
        // it was loaded stays valid, and is not set up again on every call.
        keep_qt_loaded();
        if (!display_opens()) return;
        app_ = new QApplication(argc_, argv_);
        owned_ = true;
    }
    ~OwnApplication()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete app_;
        owned_ = false;
    }
    static bool owned() { return owned_; }
    OwnApplication(const OwnApplication&) = delete;
    OwnApplication& operator=(const OwnApplication&) = delete;

private:
    static inline int argc_ = 1;
    static inline char name_[] = "zarngfx24";
    static inline char* argv_[] = {name_, nullptr};
    static inline bool owned_ = false;
    QApplication* app_ = nullptr;
};

}  // namespace

int runExport(int failure, int (*body)(void* context), void* context) noexcept
{
    try {
        OwnApplication application;
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return failure;  // a host without widgets
        const int result = body(context);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return result;
    } catch (...) {
        return failure;
    }
}

bool ownsApplication()
{
    return OwnApplication::owned();
}

void execModal(QDialog& window)
{
    window.setWindowModality(Qt::ApplicationModal);
    // The program's icon on the window itself: it goes with the window, so
    // nothing of this library's is left with the host once the call returns.
    window.setWindowIcon(artwork::icon(QLatin1String(artwork::kProgramIcon)));
    window.exec();
}

void RecordFree::operator()(PicImage* pic) const
{
    std::free(pic);
}

Record newRecord(PicProgress progress)
{
    auto* pic = static_cast<PicImage*>(std::calloc(1, sizeof(PicImage)));
    if (!pic) throw std::bad_alloc();
    pic->progress = progress;
    return Record(pic);
}

QString temporaryFile(const QString& name)
{
    const QString folder = controls::privateTempDir();
    return folder.isEmpty() ? QString() : folder + '/' + name;
}

void showProgress(TProgbar* bar, std::int32_t current, std::int32_t total)
{
    if (!bar || total <= 0) return;
    bar->setLevel(int(std::int64_t(current) * 100 / total));
}

QByteArray localPath(const QString& path)
{
    return QFile::encodeName(path);
}

}  // namespace gfx24
