// The picture named at start-up, read while the window is being built, and
// the working file written from it while the window already shows it.
#pragma once

#include "zarngfx.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QString>

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

// A picture read into a record on a thread of its own, from construction.
// Only files whose reader needs no outside module are read: their record
// holds nothing but the pixels once the read is over.
class BackgroundRead {
public:
    BackgroundRead() = default;
    BackgroundRead(const QString& path, LoadOptions options);
    ~BackgroundRead();  // waits, and frees what was read and not taken
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;

    bool matches(const QString& path, LoadOptions options) const;
    // Waits for the read: the record, its pixels the caller's from now on;
    // nothing when the read failed. Once only.
    std::optional<PicImage> take();
    // Since the read began: the load time the user sees starts there.
    qint64 elapsedMs() const { return clock_.elapsed(); }
    // Why the read failed, once take() has found nothing, in the library's words.
    QString failureText() const { return failure_; }

private:
    QElapsedTimer clock_;
    QString path_;
    LoadOptions options_;
    PicImage record_{};
    int result_ = 0;
    QString failure_;  // written by the read's thread, read once it has ended
    bool taken_ = false;
    std::thread thread_;
};

// The record's pixels seen as a picture without copying them, as the working
// file written from the record reads back: 24-bit as RGB, palette kinds
// stored a byte per pixel as indexes into the palette the file gets, padded
// with black. The picture takes the pixels over (freed with its last copy)
// and the record keeps pointing at them. Null, the pixels left to the record,
// for a kind whose file differs from the memory (4-bit) or a picture past the
// display ceiling.
QImage takeRecordPicture(PicImage& record);

// The working file written as a BMP from a record on a thread of its own,
// from construction; `shown` (the record's picture) keeps the pixels alive
// until the write is over.
class WorkingFileWrite {
public:
    WorkingFileWrite(const PicImage& record, QImage shown, const QByteArray& path);
    ~WorkingFileWrite();  // waits
    WorkingFileWrite(const WorkingFileWrite&) = delete;
    WorkingFileWrite& operator=(const WorkingFileWrite&) = delete;

    // Waits for the write; true when the whole file was written.
    bool finish();

private:
    PicImage record_;
    QImage shown_;
    QByteArray path_;
    int result_ = 0;
    std::thread thread_;
};

}  // namespace show
