// The picture named at start-up, read while the window is being built; every read of a picture on a thread of its
// own (a reduced first paint, the whole picture, the working file written from it); the reduction a JPEG is read at.
#include "picture_load.h"

#include "area_scale.h"
#include "bmp_picture.h"
#include "file_filters.h"
#include "settings_store.h"
#include "viewer_settings.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QList>
#include <QScreen>

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <system_error>

namespace show {
namespace {

constexpr int kJpeg = 4;
constexpr int kRaw = 16;

// A side of `full` after the library's reduction by 2^scale: libjpeg rounds up.
int reduced_side(int full, int scale)
{
    return int((qint64(full) + (qint64(1) << scale) - 1) >> scale);
}

QSize reduced(QSize full, int scale)
{
    return QSize(reduced_side(full.width(), scale), reduced_side(full.height(), scale));
}

// The camera RAW reader leaves its module in the record; it is let go on the
// thread that read, so the record holds nothing but the pixels.
void release_module(PicImage& record)
{
    if (record.extra_module) ::dlclose(record.extra_module);
    record.extra_module = nullptr;
}

}  // namespace

LoadOptions storedLoadOptions(const SettingsStore& store)
{
    // Read as the main window reads them: held to the ranges the preferences offer.
    ViewerSettings stored;
    readSettings(store, stored);
    LoadOptions options;
    options.photoCdSize = stored.PhotoCDSize;
    options.jpegScale = stored.JpegScale;
    options.reduce = stored.Display;
    return options;
}

QSize fittedInto(QSize fullSize, QSize area)
{
    if (fullSize.isEmpty() || area.isEmpty()) return fullSize;
    if (fullSize.width() <= area.width() && fullSize.height() <= area.height()) return fullSize;
    return fullSize.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

ShownSize screenShownSize(const SettingsStore& store)
{
    const std::optional<int> fit_large = SettingsStore::parseNumber(store.text(QStringLiteral("FitLarge"), "1"));
    const bool fit = !fit_large || *fit_large != 0;
    const bool half = store.number(QStringLiteral("Scale")) == 2;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const qreal ratio = screen->devicePixelRatio();
    const QSize area = (QSizeF(screen->geometry().size() - QSize(36, 64)) * ratio).toSize();
    return [fit, half, area](QSize full) {
        if (fit && (full.width() > area.width() || full.height() > area.height())) return fittedInto(full, area);
        return half ? QSize(std::max(1, full.width() / 2), std::max(1, full.height() / 2)) : full;
    };
}

bool readsWithoutModule(int format)
{
    constexpr int kTiff = 6, kPng = 9;
    return (format >= 1 && format <= 11 && format != kTiff && format != kPng) || format == kRaw;
}

QSize jpegSize(const QString& path)
{
    QImageReader reader(path, "jpeg");
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) return {};
    // The library turns the pixels upright by the Exif orientation, as the
    // reader reports it.
    if (reader.transformation() & QImageIOHandler::TransformationRotate90) size.transpose();
    return size;
}

ReadPlan planRead(const QString& path, int format, LoadOptions options, const ShownSize& shown)
{
    if (format == kRaw && !options.reduce) {
        // The size is not known before the preview is read: the room a
        // fitted picture has is what a very wide and a very tall one get.
        ReadPlan plan;
        plan.embeddedPreview = true;
        constexpr int kLong = 1 << 15;
        if (shown) plan.previewArea = QSize(shown(QSize(kLong, 1)).width(), shown(QSize(1, kLong)).height());
        return plan;
    }
    // A reduction the user asked for, and pictures reduced to 256 colours,
    // are read as they always were.
    if (format != kJpeg || options.jpegScale != 0 || options.reduce) return {};
    ReadPlan plan;
    plan.fullSize = jpegSize(path);
    if (plan.fullSize.isEmpty()) return {};
    QSize target = shown ? shown(plan.fullSize) : plan.fullSize;
    if (target.isEmpty()) target = plan.fullSize;
    if (plan.fullSize.width() >= 2 * target.width() && plan.fullSize.height() >= 2 * target.height()) {
        for (int scale = 3; scale >= 1; --scale) {
            const QSize candidate = reduced(plan.fullSize, scale);
            if (candidate.width() >= target.width() && candidate.height() >= target.height()) {
                plan.scale = scale;
                break;
            }
        }
    }
    if (!controls::pictureFitsCeiling(plan.fullSize, QImage::Format_RGB888)) {
        // Past the ceiling whole: the least reduction that is within it, if any.
        plan.viewOnly = true;
        plan.scale = std::max(plan.scale, 1);
        while (plan.scale <= 3 &&
               !controls::pictureFitsCeiling(reduced(plan.fullSize, plan.scale), QImage::Format_RGB888))
            ++plan.scale;
        if (plan.scale > 3) return {};
    }
    if (plan.scale == 0) return {};
    plan.shownSize = target;
    return plan;
}

QImage takeRecordPicture(PicImage& record)
{
    if (!record.pixels || record.width < 1 || record.height < 1) return {};
    const int width = record.width, height = record.height;
    QImage::Format format = QImage::Format_Invalid;
    qsizetype line = 0;
    int table = 0;  // palette entries the picture has
    if (record.bits == 24) {
        format = QImage::Format_RGB888;
        line = qsizetype(width) * 3;
    } else if (record.bits == 1) {
        format = QImage::Format_Mono;
        line = (qsizetype(width) + 7) / 8;
        table = 2;
    } else if (record.bits >= 2 && record.bits <= 8 && record.bits != 4) {
        // Stored as 8 bits a pixel, the bytes as they are; 4-bit files mask them.
        format = QImage::Format_Indexed8;
        line = width;
        table = 256;
    } else {
        return {};
    }
    // The same ceiling as for the file's picture, whose rows are padded.
    const QImage::Format padded = format == QImage::Format_RGB888 ? QImage::Format_BGR888 : format;
    if (!controls::pictureFitsCeiling(QSize(width, height), padded)) return {};

    QImage picture(
        record.pixels, width, height, line, format, [](void* pixels) { std::free(pixels); }, record.pixels);
    if (picture.isNull()) return {};
    if (table) {
        // The entries the file is given; an index past them shows black.
        const int written = record.colours >= 1 && record.colours <= table ? record.colours : table;
        QList<QRgb> palette(table, qRgb(0, 0, 0));
        for (int i = 0; i < written; ++i)
            palette[i] = qRgb(record.palette[3 * i], record.palette[3 * i + 1], record.palette[3 * i + 2]);
        picture.setColorTable(palette);
    }
    return picture;
}

PictureJob::PictureJob(const QString& path, LoadOptions options, ReadPlan plan)
    : path_(path), local_path_(QFile::encodeName(path)), options_(options), plan_(plan)
{
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: nothing is read, and every wait says so.
        preview_done_ = full_done_ = write_done_ = true;
    }
}

PictureJob::~PictureJob()
{
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    free_untaken();
}

void PictureJob::free_untaken()
{
    // Pixels no picture took (a kind the file stores otherwise) are the job's.
    if (picture_.isNull() && record_.pixels) std::free(record_.pixels);
    record_.pixels = nullptr;
}

// A camera RAW's embedded preview, brought down to the room it is shown in.
// False, the plan changed to read the whole picture at once, when the file
// carries none.
bool PictureJob::read_embedded_preview()
{
    PicImage record{};
    std::int32_t full_width = 0, full_height = 0;
    const int read = _Pic_ReadPreview(local_path_.constData(), &record, &full_width, &full_height);
    release_module(record);
    QImage shown = read ? takeRecordPicture(record) : QImage();
    if (read && shown.isNull()) std::free(record.pixels);
    record.pixels = nullptr;
    const QSize full(full_width, full_height);
    if (shown.isNull() || full.isEmpty()) {
        {
            const std::lock_guard lock(mutex_);
            plan_.embeddedPreview = false;
        }
        changed_.notify_all();
        return false;
    }
    const QSize area = plan_.previewArea;
    if (!area.isEmpty() && (shown.width() > area.width() || shown.height() > area.height())) {
        const QSize target = fittedInto(shown.size(), area);
        if (QImage small = controls::areaScaled(shown, target); !small.isNull()) shown = std::move(small);
    }
    {
        const std::lock_guard lock(mutex_);
        plan_.fullSize = full;
        plan_.shownSize = shown.size();
        preview_ = std::move(shown);
        preview_record_ = record;
        preview_done_ = true;
    }
    changed_.notify_all();
    return true;
}

void PictureJob::run()
{
    if (plan_.embeddedPreview && read_embedded_preview()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return write_asked_ || cancelled_; });
        if (cancelled_) return;
    }
    if (plan_.scale > 0) {
        PicImage reduced_record{};
        const int read = _Pic_Read(local_path_.constData(), &reduced_record, options_.photoCdSize, plan_.scale);
        QImage shown = read ? takeRecordPicture(reduced_record) : QImage();
        // The header's size turned as the reduced picture came out, should
        // the orientation have been read otherwise.
        const QSize turned = plan_.fullSize.transposed();
        const bool turn = !shown.isNull() && reduced(plan_.fullSize, plan_.scale) != shown.size() &&
                          reduced(turned, plan_.scale) == shown.size();
        QString failure = read ? QString() : controls::library_text(_Pic_FailureText());
        if (read && shown.isNull()) std::free(reduced_record.pixels);
        reduced_record.pixels = nullptr;
        // Brought down to the size it is shown at here, so the reduced read's
        // pixels are given back before the whole picture is read, and the
        // first paint is a copy. A picture shown from its reduced read alone
        // keeps every pixel of it, for the zoom.
        const QSize target = turn ? plan_.shownSize.transposed() : plan_.shownSize;
        if (!plan_.viewOnly && !shown.isNull() && !target.isEmpty() && target.width() < shown.width() &&
            target.height() < shown.height()) {
            if (QImage small = controls::areaScaled(shown, target); !small.isNull()) shown = std::move(small);
        }
        {
            const std::lock_guard lock(mutex_);
            if (turn) plan_.fullSize = turned;
            preview_ = std::move(shown);
            preview_record_ = reduced_record;
            failure_ = failure;
            preview_done_ = true;
            if (plan_.viewOnly || preview_.isNull()) full_done_ = write_done_ = true;
        }
        changed_.notify_all();
        if (plan_.viewOnly || preview_.isNull()) return;
    }
    if (plan_.scale > 0) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return write_asked_ || cancelled_; });
        if (cancelled_) return;
    }

    PicImage whole{};
    int read = _Pic_Read(local_path_.constData(), &whole, options_.photoCdSize, options_.jpegScale);
    release_module(whole);
    // The library keeps its reason for this thread only.
    QString failure = read ? QString() : controls::library_text(_Pic_FailureText());
    // As a 256-colour load does it; a reduction that ran out of memory
    // leaves 24 bits and fails the load.
    if (read && options_.reduce && whole.bits == 24) {
        _Pic_Dither(&whole);
        if (whole.bits == 24) {
            read = 0;
            failure = QStringLiteral("out of memory");
        }
    }
    if (!read) {
        std::free(whole.pixels);
        whole.pixels = nullptr;
    }
    QImage picture = read ? takeRecordPicture(whole) : QImage();
    {
        const std::lock_guard lock(mutex_);
        record_ = whole;
        record_.progress = nullptr;
        record_described_ = whole;
        record_described_.pixels = nullptr;
        picture_ = std::move(picture);
        if (!read) failure_ = failure;
        full_ok_ = read != 0;
        full_done_ = true;
        if (!plan_.quickFirst()) preview_done_ = true;
    }
    changed_.notify_all();

    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return write_asked_ || cancelled_; });
    if (cancelled_ && !write_asked_) return;
    const bool ok = full_ok_;
    PicImage written = record_;
    QByteArray out = out_path_;
    lock.unlock();
    const int result = ok ? _Pic_Write(out.data(), &written, 1, 0) : 0;
    lock.lock();
    written_ = result;
    write_done_ = true;
    // A kind the file stores otherwise is read back from the file: the
    // pixels have done their work.
    free_untaken();
    const std::function<void()> done = std::move(done_);
    lock.unlock();
    changed_.notify_all();
    if (done) done();
}

bool PictureJob::waitShown()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return plan_.quickFirst() ? preview_done_ : full_done_; });
    return plan_.quickFirst() ? !preview_.isNull() : full_ok_;
}

bool PictureJob::shownReady() const
{
    const std::lock_guard lock(mutex_);
    return plan_.quickFirst() ? preview_done_ : full_done_;
}

bool PictureJob::waitFull()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return full_done_; });
    return full_ok_;
}

QString PictureJob::failureText() const
{
    const std::lock_guard lock(mutex_);
    return failure_;
}

qint64 PictureJob::shownBytes() const
{
    const std::lock_guard lock(mutex_);
    const QImage& shown = plan_.quickFirst() ? preview_ : picture_;
    return shown.isNull() ? qint64(record_.width) * record_.height * 3 : qint64(shown.sizeInBytes());
}

bool PictureJob::writeTo(const QByteArray& path, std::function<void()> done)
{
    bool begins_read = false;
    {
        const std::lock_guard lock(mutex_);
        if (write_asked_ || write_done_) return false;
        begins_read = plan_.quickFirst();
        write_asked_ = true;
        out_path_ = path;
        // The library puts the type's extension in place of the name's own,
        // so the name has room for one.
        out_path_.append(QByteArray(8, '\0'));
        done_ = std::move(done);
    }
    changed_.notify_all();
    return begins_read;
}

bool PictureJob::finish()
{
    std::unique_lock lock(mutex_);
    if (!write_asked_ && !write_done_) return false;
    changed_.wait(lock, [this] { return write_done_; });
    return written_ != 0;
}

BackgroundRead::BackgroundRead(const QString& path, LoadOptions options, const ShownSize& shown) : options_(options)
{
    clock_.start();
    const QByteArray local = QFile::encodeName(path);
    if (path.isEmpty()) return;
    const int format = _Pic_Valid(local.constData());
    if (!readsWithoutModule(format)) return;
    job_ = std::make_unique<PictureJob>(path, options, planRead(path, format, options, shown));
    if (!job_->started()) {
        // No thread: the window loads the picture itself.
        job_.reset();
        return;
    }
    path_ = path;
}

BackgroundRead::~BackgroundRead() = default;

bool BackgroundRead::matches(const QString& path, LoadOptions options) const
{
    return job_ && !path_.isEmpty() && path == path_ && options == options_;
}

std::unique_ptr<PictureJob> BackgroundRead::take()
{
    return std::move(job_);
}

}  // namespace show
