// The picture named at start-up, read while the window is being built, and
// the working file written from it while the window already shows it.
#include "picture_load.h"

#include "bmp_picture.h"
#include "file_filters.h"
#include "settings_store.h"
#include "viewer_settings.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace show {
namespace {

// The formats whose readers keep no outside module in the record.
bool read_without_module(int format)
{
    constexpr int kTiff = 6, kPng = 9;
    return format >= 1 && format <= 11 && format != kTiff && format != kPng;
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

BackgroundRead::BackgroundRead(const QString& path, LoadOptions options) : options_(options)
{
    clock_.start();
    const QByteArray local = QFile::encodeName(path);
    if (path.isEmpty() || !read_without_module(_Pic_Valid(local.constData()))) return;
    try {
        thread_ = std::thread([this, local] {
            result_ = _Pic_Read(local.constData(), &record_, options_.photoCdSize, options_.jpegScale);
            // The library keeps its reason for this thread only.
            if (!result_) failure_ = controls::library_text(_Pic_FailureText());
            // As a 256-colour load does it; a reduction that ran out of
            // memory leaves 24 bits and fails the load.
            if (result_ && options_.reduce && record_.bits == 24) {
                _Pic_Dither(&record_);
                if (record_.bits == 24) {
                    result_ = 0;
                    failure_ = QStringLiteral("out of memory");
                }
            }
        });
        path_ = path;
    } catch (const std::system_error&) {
        // No thread: the window loads the picture itself.
    }
}

BackgroundRead::~BackgroundRead()
{
    if (thread_.joinable()) thread_.join();
    if (!taken_) std::free(record_.pixels);
}

bool BackgroundRead::matches(const QString& path, LoadOptions options) const
{
    return !taken_ && !path_.isEmpty() && path == path_ && options == options_;
}

std::optional<PicImage> BackgroundRead::take()
{
    if (taken_ || !thread_.joinable()) return std::nullopt;
    thread_.join();
    taken_ = true;
    if (result_ && record_.pixels) return record_;
    std::free(record_.pixels);
    return std::nullopt;
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

WorkingFileWrite::WorkingFileWrite(const PicImage& record, QImage shown, const QByteArray& path)
    : record_(record), shown_(std::move(shown)), path_(path)
{
    record_.progress = nullptr;
    // The library puts the type's extension in place of the name's own,
    // so the name has room for one.
    path_.append(QByteArray(8, '\0'));
    try {
        thread_ = std::thread([this] { result_ = _Pic_Write(path_.data(), &record_, 1, 0); });
    } catch (const std::system_error&) {
        result_ = _Pic_Write(path_.data(), &record_, 1, 0);
    }
}

WorkingFileWrite::~WorkingFileWrite()
{
    finish();
}

bool WorkingFileWrite::finish()
{
    if (thread_.joinable()) thread_.join();
    return result_ != 0;
}

}  // namespace show
