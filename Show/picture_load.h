// The picture named at start-up, read while the window is being built; every read of a picture on a thread of its
// own (a reduced first paint, the whole picture, the working file written from it); the reduction a JPEG is read at.
#pragma once

#include "zarngfx.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class SettingsStore;

namespace show {

// What a load asks of the image library, from the stored preferences.
struct LoadOptions {
    int photoCdSize = 3;
    int jpegScale = 0;
    bool reduce = false;  // 24-bit pictures ordered-dithered to 256 colours ("Display")
    bool operator==(const LoadOptions&) const = default;
};
LoadOptions storedLoadOptions(const SettingsStore& store);

// The size, in device pixels, a picture of a given full size is shown at.
using ShownSize = std::function<QSize(QSize fullSize)>;
// The window's rule for a picture just loaded, before the window exists:
// fitted into the primary screen less 36 by 64 pixels when "FitLarge" is on
// and it is larger, else full or half size by "Scale".
ShownSize screenShownSize(const SettingsStore& store);
QSize fittedInto(QSize fullSize, QSize area);

// The formats that can be read on any thread: their readers keep no outside
// module in the record, or (camera RAW) the job releases it after the read.
bool readsWithoutModule(int format);

// A JPEG's size from its header, as shown upright; empty when unreadable.
QSize jpegSize(const QString& path);

// How a picture is read to be shown. A JPEG at least twice the size it is
// shown at is decoded first at the largest of 1/2, 1/4 and 1/8 still at least
// that size; one whose whole picture would pass the library's ceiling is
// shown from such a reduced read alone. A camera RAW is shown first from the
// preview it carries, in the whole picture's geometry, until the demosaic is done.
struct ReadPlan {
    QSize fullSize;         // upright, in picture pixels
    int scale = 0;          // the library's JPEG reduction: 1, 2, 3 for 1/2, 1/4, 1/8; 0 reads it whole at once
    bool viewOnly = false;  // too large to edit: nothing but the reduced read
    QSize shownSize;        // the size it is shown at, in device pixels, upright
    // A camera RAW: its embedded preview first, whose read also tells the
    // whole picture's size and sets fullSize. The preview is brought down to
    // fit `previewArea` (the room a fitted picture has), when it is larger.
    bool embeddedPreview = false;
    QSize previewArea;
    int denominator() const { return 1 << scale; }
    // Whether a quick picture is shown before the whole one is read.
    bool quickFirst() const { return scale > 0 || embeddedPreview; }
};
ReadPlan planRead(const QString& path, int format, LoadOptions options, const ShownSize& shown);

// The record's pixels seen as a picture without copying them, as the working
// file written from the record reads back: 24-bit as RGB, palette kinds
// stored a byte per pixel as indexes into the palette the file gets, padded
// with black. The picture takes the pixels over (freed with its last copy)
// and the record keeps pointing at them. Null, the pixels left to the record,
// for a kind whose file differs from the memory (4-bit) or a picture past the
// display ceiling.
QImage takeRecordPicture(PicImage& record);

// One picture read on a thread of its own, from construction: the reduced read
// the plan asks for, or else the whole picture at once. Once asked, the whole
// picture after a reduced one (unless that is all there is), and the working
// file written from it.
class PictureJob {
public:
    PictureJob(const QString& path, LoadOptions options, ReadPlan plan);
    ~PictureJob();  // waits for what runs; frees what nobody took
    PictureJob(const PictureJob&) = delete;
    PictureJob& operator=(const PictureJob&) = delete;

    const QString& path() const { return path_; }
    const ReadPlan& plan() const { return plan_; }
    bool started() const { return thread_.joinable(); }
    // Waits for the first picture to show: the reduced one when planned,
    // else the whole one. False when that read failed.
    bool waitShown();
    // Whether waitShown would not wait.
    bool shownReady() const;
    // After waitShown: the reduced picture (null when none was planned) and
    // its record, described, without pixels.
    const QImage& preview() const { return preview_; }
    const PicImage& previewRecord() const { return preview_record_; }
    // Waits for the whole picture; false when it failed or is not read.
    bool waitFull();
    // After waitFull: the whole picture (null for a kind the file stores
    // otherwise, which is read back from the working file) and its record,
    // described, without pixels.
    const QImage& picture() const { return picture_; }
    const PicImage& record() const { return record_described_; }
    // Why the last read failed, in the library's words.
    QString failureText() const;
    // Memory the shown picture holds.
    qint64 shownBytes() const;

    // Has the whole picture read, if it is not yet, and written as a BMP to
    // `path`; `done` is called on the job's thread once the write is over.
    // True when this asked for a read not yet begun.
    bool writeTo(const QByteArray& path, std::function<void()> done = {});
    // Waits for the write; true when the whole file was written.
    bool finish();

private:
    void run();
    bool read_embedded_preview();
    void free_untaken();

    QString path_;
    QByteArray local_path_;
    LoadOptions options_;
    ReadPlan plan_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool preview_done_ = false, full_done_ = false, write_done_ = false;
    bool write_asked_ = false, cancelled_ = false;
    bool full_ok_ = false;
    int written_ = 0;
    QByteArray out_path_;
    std::function<void()> done_;

    QImage preview_;
    PicImage preview_record_{};
    QImage picture_;
    PicImage record_{};  // its pixels are picture_'s, or the job's own when picture_ is null
    PicImage record_described_{};
    QString failure_;
    std::thread thread_;
};

// The picture named at start-up, read from construction on a thread of its
// own. Only files whose reader needs no outside module are read.
class BackgroundRead {
public:
    BackgroundRead() = default;
    BackgroundRead(const QString& path, LoadOptions options, const ShownSize& shown = {});
    ~BackgroundRead();
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;

    bool matches(const QString& path, LoadOptions options) const;
    // The read, the caller's from now on; nothing when none was begun. Once only.
    std::unique_ptr<PictureJob> take();
    // Since the read began: the load time the user sees starts there.
    qint64 elapsedMs() const { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
    QString path_;
    LoadOptions options_;
    std::unique_ptr<PictureJob> job_;
};

}  // namespace show
