// ViewerCore: loading a picture into the working file, the early read of start-up, and reading the file back.
#include "viewer_core.h"

#include "file_filters.h"
#include "picture_load.h"
#include "picture_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

namespace {

using controls::library_text;

// Where a load converts to: beside the working file, which is replaced only
// once the new picture is on screen.
QString incoming_file(const QString& workingFile)
{
    if (workingFile.isEmpty()) return {};
    return (workingFile.endsWith(QLatin1String(".bmp")) ? workingFile.chopped(4) : workingFile) +
           QStringLiteral(".load.bmp");
}

// While the working file is still being written, whatever the user does
// first waits for it: every command works on that file.
class UserActionGuard : public QObject {
public:
    UserActionGuard(QObject* owner, std::function<void()> before) : QObject(owner), before_(std::move(before))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::Close:
            if (before_) std::exchange(before_, nullptr)();
            break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> before_;
};

}  // namespace

show::LoadOptions ViewerCore::load_options() const
{
    return {settings_.PhotoCDSize, settings_.JpegScale, settings_.Display};
}

bool ViewerCore::load(const QString& path, show::BackgroundRead* early)
{
    // An empty name or a file the library does not know changes nothing.
    if (path.isEmpty()) return false;
    const QByteArray local_path = QFile::encodeName(path);
    const int format = _Pic_Valid(local_path.constData());
    if (format == 0) return false;
    FileName = path;
    PicFormat = format;
    FileTitle = QFileInfo(path).fileName();

    setTitle(QStringLiteral("Show - Loading....") + library_text(_Pic_Description(PicFormat)));
    emit busyChanged(true);
    followProgressSetting();
    // The conversion blocks the event loop: whatever covered the window (the
    // open dialog just closed) is painted over now, not after the load.
    emit aboutToBlock();
    QElapsedTimer clock;
    clock.start();

    // Converted beside the working file, which keeps the picture on screen
    // until the new one can be shown.
    finishWorkingFile();
    const QByteArray working = QFile::encodeName(WorkingFile);
    const QString incoming = incoming_file(WorkingFile);
    const QByteArray incoming_local = QFile::encodeName(incoming);
    // A read begun at start-up is timed from its beginning.
    const bool from_early = early && !incoming.isEmpty() && early->matches(path, load_options());
    if (from_early) {
        const bool shown = show_early_read(*early, incoming_local);
        emit busyChanged(false);
        if (!shown) {
            show_failure(early->failureText());
            return false;
        }
    } else {
        const int converted = settings_.Display ? _anyto256(local_path.constData(), incoming_local.constData(),
                                                            pic_.get(), settings_.PhotoCDSize, settings_.JpegScale)
                                                : _anytobmps(local_path.constData(), incoming_local.constData(),
                                                             pic_.get(), settings_.PhotoCDSize, settings_.JpegScale);
        const QString failure = converted ? QString() : library_text(_Pic_FailureText());
        emit busyChanged(false);

        // A failure keeps the previous picture; so does a picture that
        // cannot be shown (past the library's ceiling once in display form).
        // The record is read back from the working file, so it describes the
        // picture on screen again, not the file that failed.
        bool shown = converted && !incoming.isEmpty() && show_file(incoming);
        if (shown && ::rename(incoming_local.constData(), working.constData()) != 0) {
            show_file(WorkingFile);
            shown = false;
        }
        if (!shown) {
            if (!incoming.isEmpty()) QFile::remove(incoming);
            if (!_checkbmp(working.constData(), pic_.get())) *pic_ = PicImage{};  // nothing on screen yet
            show_failure(failure);
            return false;
        }
    }
    clearHistory();  // the copies were of the picture before
    markClean();

    // Measured on a monotonic clock, so a load across a minute (or longer
    // than one) still reports its real length, in hundredths.
    show_seconds(from_early ? early->elapsedMs() : clock.elapsed());
    QString shown_description = description();
    // Forced to 256 colours, the picture shown is no longer the file's
    // 24 bits the reader described.
    if (settings_.Display && pic_->bits == 8) {
        shown_description.replace(QLatin1String("24bit Colour"), QLatin1String("256 Colours"));
        shown_description.replace(QLatin1String("24bit"), QLatin1String("256 Colours"));
    }
    show_description(shown_description);
    showFileTitle();
    emit pictureLoaded();
    return true;
}

// The record still describes the picture on screen, but the description
// panel says why the new file failed: the old description would read as
// the state of the file just chosen.
void ViewerCore::show_failure(const QString& reason)
{
    show_description(reason.isEmpty() ? QStringLiteral("cannot show the picture") : reason);
    setTitle(QStringLiteral("Show - Error Loading Image"));
}

// Only at start-up: nothing is on screen yet, so a failure shows nothing.
bool ViewerCore::show_early_read(show::BackgroundRead& early, const QByteArray& incoming)
{
    std::optional<PicImage> record = early.take();
    if (!record) {
        *pic_ = PicImage{};
        return false;
    }
    PicImage described = *record;
    described.pixels = nullptr;
    described.progress = pic_->progress;
    QImage picture = show::takeRecordPicture(*record);
    if (picture.isNull()) {
        // A kind the file stores otherwise than the memory: written and read
        // back, as any other load.
        QByteArray name = incoming;
        name.append(QByteArray(8, '\0'));
        const bool written = _Pic_Write(name.data(), &*record, 1, 0) != 0;
        std::free(record->pixels);
        *pic_ = described;
        const QString incoming_name = QFile::decodeName(incoming);
        if (written && show_file(incoming_name) &&
            ::rename(incoming.constData(), QFile::encodeName(WorkingFile).constData()) == 0)
            return true;
        QFile::remove(incoming_name);
        show_picture(QImage());
        *pic_ = PicImage{};
        return false;
    }
    working_write_ = std::make_unique<show::WorkingFileWrite>(*record, picture, incoming);
    action_guard_ = new UserActionGuard(this, [this] { finishWorkingFile(); });
    *pic_ = described;
    show_picture(picture);
    return true;
}

void ViewerCore::finishWorkingFile()
{
    if (!working_write_) return;
    const std::unique_ptr<show::WorkingFileWrite> write = std::move(working_write_);
    if (action_guard_) {
        qApp->removeEventFilter(action_guard_);
        action_guard_->deleteLater();
        action_guard_ = nullptr;
    }
    const QString incoming = incoming_file(WorkingFile);
    const QByteArray working = QFile::encodeName(WorkingFile);
    if (write->finish() && ::rename(QFile::encodeName(incoming).constData(), working.constData()) == 0) {
        markClean();
        return;
    }
    // The picture never reached the working file every command works on,
    // so it does not stay on screen either.
    QFile::remove(incoming);
    show_picture(QImage());
    *pic_ = PicImage{};
    show_description(QString());
    setTitle(QStringLiteral("Show - Error Loading Image"));
}

bool ViewerCore::reload()
{
    if (WorkingFile.isEmpty()) return false;
    const QByteArray working = QFile::encodeName(WorkingFile);
    // The depths the library reads a bitmap in; the probe of the header
    // alone takes any.
    PicImage probe{};
    const bool readable =
        _checkbmp(working.constData(), &probe) &&
        (probe.bits == 1 || probe.bits == 4 || probe.bits == 8 || probe.bits == 16 || probe.bits == 24);
    if (!readable) {
        // A file the library cannot work on (an outside editor saved a kind
        // it does not take) is refused: the picture on screen stays, and goes
        // back into the working file so every command still works on it.
        setTitle(QStringLiteral("Show - Error Loading Image"));
        const QImage shown = picture();
        if (shown.isNull()) return false;
        const bool indexed = shown.format() == QImage::Format_Indexed8 || shown.format() == QImage::Format_Mono;
        QSaveFile file(WorkingFile);
        QImageWriter writer(&file, "bmp");
        if (writer.write(indexed ? shown : shown.convertToFormat(QImage::Format_RGB888)) && file.commit())
            _checkbmp(working.constData(), pic_.get());
        return false;
    }
    if (show_file(WorkingFile) && _checkbmp(working.constData(), pic_.get())) {
        show_description(description());
        if (title_ == QLatin1String("Show - Error Loading Image")) showFileTitle();
    }
    return true;
}
