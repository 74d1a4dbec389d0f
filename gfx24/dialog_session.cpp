// The Qt session of one export call and the helpers every window shares.
#include "dialog_session.h"

#include "artwork.h"
#include "private_temp.h"
#include "progbar.h"

#include <QApplication>
#include <QDialog>
#include <QFile>

#include <cstdlib>
#include <dlfcn.h>

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

// The application object of a host that has none.
class OwnApplication {
public:
    OwnApplication()
    {
        if (QCoreApplication::instance()) return;
        keep_qt_loaded();
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
    const QString folder = show::privateTempDir();
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
