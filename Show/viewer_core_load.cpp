// ViewerCore: loading a picture into the working file, the early read of start-up, and reading the file back.
#include "viewer_core.h"

#include "file_filters.h"
#include "neighbours.h"
#include "picture_load.h"
#include "picture_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
            if (before_) std::exchange(before_, nullptr)();
            break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> before_;
};

// Calls `then` once `widget` has painted, behind the paint, or after a while
// should it never paint (a hidden window): the whole picture is read once the
// reduced one is on screen, so that its read does not slow the first paint.
class AfterPaint : public QObject {
public:
    static constexpr int kLongestWaitMs = 250;
    AfterPaint(QObject* owner, QWidget* widget, std::function<void()> then) : QObject(owner), then_(std::move(then))
    {
        if (widget) widget->installEventFilter(this);
        QTimer::singleShot(kLongestWaitMs, this, [this] { fire(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Behind everything else the paint set going, at the lowest priority.
        if (event->type() == QEvent::Paint)
            QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
        return QObject::eventFilter(watched, event);
    }
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User) return QObject::event(event);
        fire();
        return true;
    }

private:
    void fire()
    {
        if (then_) std::exchange(then_, nullptr)();
    }
    std::function<void()> then_;
};

}  // namespace

show::LoadOptions ViewerCore::load_options() const
{
    return {settings_.PhotoCDSize, settings_.JpegScale, settings_.Display};
}

bool ViewerCore::load(const QString& path, show::BackgroundRead* early)
{
    // An empty name or a file the library does not know changes nothing. A
    // picture read ahead is known without opening its file again.
    if (path.isEmpty()) return false;
    const QByteArray local_path = QFile::encodeName(path);
    const show::LoadOptions options = load_options();
    const int held_format = neighbours_->formatOf(path);
    const int format = held_format ? held_format : _Pic_Valid(local_path.constData());
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
    read_ahead_timer_->stop();
    neighbours_->keepFolder(QFileInfo(path).absolutePath());
    const QByteArray working = QFile::encodeName(WorkingFile);
    const QString incoming = incoming_file(WorkingFile);
    const QByteArray incoming_local = QFile::encodeName(incoming);

    // Read on a thread: begun at start-up (timed from its beginning), read
    // ahead, or a JPEG whose first paint is a reduced read.
    std::unique_ptr<show::PictureJob> job;
    const bool from_early = early && !incoming.isEmpty() && early->matches(path, options);
    if (from_early) {
        job = early->take();
        ++reads_started_;
    } else if (!incoming.isEmpty()) {
        job = neighbours_->take(path, options);
        if (!job && show::readsWithoutModule(format)) {
            const show::ReadPlan plan = show::planRead(path, format, options, shownSize);
            if (plan.quickFirst()) {
                job = std::make_unique<show::PictureJob>(path, options, plan);
                if (job->started()) ++reads_started_;
                else job.reset();
            }
        }
    }
    const bool was_view_only = std::exchange(view_only_, false);
    bool shown = false;
    if (job) {
        const bool read = job->waitShown();
        const QString failure = read ? QString() : job->failureText();
        shown = read && show_job(std::move(job), incoming_local);
        if (!shown && from_early) {
            // Only at start-up: nothing is on screen yet, so a failure shows nothing.
            emit busyChanged(false);
            show_picture(QImage());
            *pic_ = PicImage{};
            show_failure(failure);
            return false;
        }
    }
    if (!shown) {
        // Read here, as a file of its own: the library converts it beside the
        // working file, which is then read.
        view_only_ = was_view_only;
        ++reads_started_;
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
        shown = converted && !incoming.isEmpty() && show_file(incoming);
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
        view_only_ = false;
    } else {
        emit busyChanged(false);
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
    emit fileShown();
    // The pictures beside it are read once the machine is idle: after the
    // working file, when one is still being written.
    if (!working_write_) read_ahead_timer_->start();
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

namespace {

// The reduced read describes itself ("Jpeg : 1152x864 (25%) - 24bit"); the
// panel describes the whole picture, or says why only the reduction is shown.
void describe_whole(PicImage& record, QSize whole, const show::ReadPlan& plan)
{
    QString text =
        QString::fromLocal8Bit(record.description, qsizetype(strnlen(record.description, sizeof record.description)));
    static const QRegularExpression size_and_scale(QStringLiteral("\\d+x\\d+ \\(\\d+%\\)"));
    const QString size = QString::number(whole.width()) + 'x' + QString::number(whole.height());
    text.replace(size_and_scale, plan.viewOnly ? size : size + QStringLiteral(" (100%)"));
    if (plan.viewOnly)
        text += QStringLiteral(", shown at 1/") + QString::number(plan.denominator()) +
                QStringLiteral(": too large to edit");
    const QByteArray bytes = text.toLocal8Bit().left(qsizetype(sizeof record.description) - 1);
    std::memset(record.description, 0, sizeof record.description);
    std::memcpy(record.description, bytes.constData(), std::size_t(bytes.size()));
    record.width = whole.width();
    record.height = whole.height();
}

}  // namespace

// Puts what the job read first on screen: the reduced picture, or the whole
// one. The working file is then written on the job's thread, from the whole
// picture; its end brings the whole picture on screen in place of a reduced one.
bool ViewerCore::show_job(std::unique_ptr<show::PictureJob> job, const QByteArray& incoming)
{
    const show::ReadPlan& plan = job->plan();
    if (!job->preview().isNull()) {
        PicImage described = job->previewRecord();
        describe_whole(described, plan.fullSize, plan);
        described.progress = pic_->progress;
        *pic_ = described;
        display_->setPicture(job->preview(), plan.fullSize);
        emit pictureChanged();
        if (plan.viewOnly) {
            view_only_ = true;
            return true;
        }
    } else {
        PicImage described = job->record();
        described.progress = pic_->progress;
        if (job->picture().isNull()) {
            // A kind the file stores otherwise than the memory: written and
            // read back, as any other load.
            job->writeTo(incoming);
            const bool written = job->finish();
            *pic_ = described;
            const QString incoming_name = QFile::decodeName(incoming);
            if (written && show_file(incoming_name) &&
                ::rename(incoming.constData(), QFile::encodeName(WorkingFile).constData()) == 0)
                return true;
            QFile::remove(incoming_name);
            return false;
        }
        *pic_ = described;
        show_picture(job->picture());
    }
    const bool reduced = !job->preview().isNull();
    working_write_ = std::move(job);
    ++write_generation_;
    action_guard_ = new UserActionGuard(this, [this] { finishWorkingFile(); });
    // A reduced picture on the window's control is painted before the whole
    // one is read; anywhere else the read begins at once.
    auto* control = dynamic_cast<QWidget*>(display_);
    if (reduced && control) paint_watch_ = new AfterPaint(this, control, [this] { begin_working_file(); });
    else begin_working_file();
    return true;
}

// The whole picture read, if it is not yet, and the working file written from
// it; the end of the write is handed to the event loop, which finishes the
// load unless another has begun meanwhile.
void ViewerCore::begin_working_file()
{
    if (!working_write_) return;
    const quint64 generation = write_generation_;
    const bool begins_read = working_write_->writeTo(QFile::encodeName(incoming_file(WorkingFile)), [this, generation] {
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == write_generation_) finishWorkingFile();
            },
            Qt::QueuedConnection);
    });
    if (begins_read) ++reads_started_;
}

void ViewerCore::drop_working_file()
{
    if (paint_watch_) {
        paint_watch_->deleteLater();
        paint_watch_ = nullptr;
    }
    if (action_guard_) {
        qApp->removeEventFilter(action_guard_);
        action_guard_->deleteLater();
        action_guard_ = nullptr;
    }
}

void ViewerCore::finishWorkingFile()
{
    if (!working_write_) return;
    begin_working_file();
    const std::unique_ptr<show::PictureJob> write = std::move(working_write_);
    drop_working_file();
    const QString incoming = incoming_file(WorkingFile);
    const QByteArray working = QFile::encodeName(WorkingFile);
    if (write->finish() && ::rename(QFile::encodeName(incoming).constData(), working.constData()) == 0) {
        if (!write->preview().isNull()) {
            // The whole picture takes the reduced one's place, in the same
            // geometry; a header that told another size refits the window.
            PicImage described = write->record();
            described.progress = pic_->progress;
            *pic_ = described;
            const QSize before = display_->fullSize();
            if (write->picture().isNull()) show_file(WorkingFile);
            else show_picture(write->picture());
            show_description(description());
            if (display_->fullSize() != before) emit pictureLoaded();
        }
        markClean();
        read_ahead_timer_->start();
        return;
    }
    // The picture never reached the working file every command works on,
    // so it does not stay on screen either.
    QFile::remove(incoming);
    show_picture(QImage());
    *pic_ = PicImage{};
    show_description(write->failureText());
    setTitle(QStringLiteral("Show - Error Loading Image"));
}

bool ViewerCore::holdsAhead(const QString& path)
{
    return neighbours_->ready(path);
}

bool ViewerCore::reload()
{
    if (WorkingFile.isEmpty() || !fullPictureAvailable()) return false;
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
