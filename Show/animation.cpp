// Animation: the frame iterator on its own thread, one frame ahead, and the timer that puts each on screen.
#include "animation.h"

#include "picture_store.h"
#include "viewer_core.h"
#include "zarngfx.h"

#include <QApplication>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>
#include <QTimer>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace show {

namespace {

constexpr int kGifFormat = 2;
constexpr int kWebpFormat = 12;
constexpr int kAvifFormat = 13;
constexpr int kJxlFormat = 15;

bool hasFrames(int format)
{
    return format == kGifFormat || format == kWebpFormat || format == kAvifFormat || format == kJxlFormat;
}

// The library's 24-bit record as a picture of its own.
QImage frameImage(const PicImage& frame)
{
    if (frame.bits != 24 || !frame.pixels || frame.width <= 0 || frame.height <= 0) return {};
    return QImage(frame.pixels, frame.width, frame.height, qsizetype(frame.width) * 3, QImage::Format_RGB888).copy();
}

}  // namespace

int shownDelay(int storedMs)
{
    return storedMs < 20 ? 100 : storedMs;
}

// What the window and the decoding thread share: how many frames are asked
// for, and whether to give up.
struct Animation::Session {
    std::mutex mutex;
    std::condition_variable wake;
    int wanted = 1;  // the first frame, for its delay
    bool quit = false;
};

Animation::Animation(PictureStore& display, QObject* parent) : QObject(parent), display_(display)
{
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (has_ready_) show_ready();
        else due_ = true;  // decoding is behind: the frame goes up as soon as it is there
    });
}

Animation::~Animation()
{
    stop();
}

void Animation::start(const QString& path, int format)
{
    stop();
    if (!hasFrames(format) || path.isEmpty()) return;
    session_ = std::make_shared<Session>();
    first_ = true;
    frames_shown_ = 0;
    const quint64 generation = ++generation_;
    thread_ = std::thread([this, session = session_, generation, name = QFile::encodeName(path)] {
        PicFrames* frames = _Pic_FramesOpen(name.constData());
        PicImage frame{};
        while (frames) {
            {
                std::unique_lock lock(session->mutex);
                session->wake.wait(lock, [&] { return session->quit || session->wanted > 0; });
                if (session->quit) break;
                --session->wanted;
            }
            std::int32_t delay = 0;
            QImage image;
            if (_Pic_FramesNext(frames, &frame, &delay)) image = frameImage(frame);
            QMetaObject::invokeMethod(
                this, [this, generation, image, delay] { take_frame(generation, image, int(delay), image.isNull()); },
                Qt::QueuedConnection);
            if (image.isNull()) break;
        }
        std::free(frame.pixels);
        if (frames) _Pic_FramesClose(frames);
        // A still picture, or a file that cannot be played: nothing more to do.
        else
            QMetaObject::invokeMethod(
                this, [this, generation] { take_frame(generation, {}, 0, true); }, Qt::QueuedConnection);
    });
}

void Animation::stop()
{
    timer_->stop();
    if (session_) {
        {
            const std::lock_guard lock(session_->mutex);
            session_->quit = true;
        }
        session_->wake.notify_one();
    }
    if (thread_.joinable()) thread_.join();
    session_.reset();
    ++generation_;  // frames already on their way are dropped
    ready_ = QImage();
    has_ready_ = due_ = paused_ = false;
}

void Animation::togglePause()
{
    if (!session_) {
        QApplication::beep();
        return;
    }
    paused_ = !paused_;
    if (paused_) {
        timer_->stop();
        due_ = false;
    } else if (!first_) {
        timer_->start(shown_delay_);
    }
}

void Animation::keepShownFrame(ViewerCore& core)
{
    const bool later_frame = frames_shown_ > 0;
    stop();
    if (!later_frame || core.WorkingFile.isEmpty()) return;
    frames_shown_ = 0;
    // Written as the picture control holds it; the record is read back from
    // the file, its description kept, as it still names the file opened.
    QSaveFile file(core.WorkingFile);
    QImageWriter writer(&file, "bmp");
    if (!writer.write(display_.Picture().convertToFormat(QImage::Format_RGB888)) || !file.commit()) return;
    PicImage* pic = core.pic();
    char description[sizeof pic->description];
    std::memcpy(description, pic->description, sizeof description);
    _checkbmp(QFile::encodeName(core.WorkingFile).constData(), pic);
    std::memcpy(pic->description, description, sizeof description);
    core.markClean();
}

void Animation::take_frame(quint64 generation, const QImage& frame, int delayMs, bool none)
{
    if (generation != generation_ || !session_) return;
    if (none) {
        // The end of a still picture or of a damaged file: what is on screen stays.
        stop();
        return;
    }
    if (first_) {
        first_ = false;
        shown_delay_ = shownDelay(delayMs);
        if (!paused_) timer_->start(shown_delay_);
        ask_for_frame();
        return;
    }
    ready_ = frame;
    ready_delay_ = delayMs;
    has_ready_ = true;
    if (due_ && !paused_) show_ready();
}

void Animation::show_ready()
{
    due_ = has_ready_ = false;
    display_.setPicture(ready_);
    ready_ = QImage();
    ++frames_shown_;
    shown_delay_ = shownDelay(ready_delay_);
    timer_->start(shown_delay_);
    ask_for_frame();
    emit frameShown();
}

void Animation::ask_for_frame()
{
    {
        const std::lock_guard lock(session_->mutex);
        ++session_->wanted;
    }
    session_->wake.notify_one();
}

}  // namespace show
