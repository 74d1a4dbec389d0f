// Animation: an animated picture's frames played in the picture control, decoded on a thread of their own.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>

class PictureStore;
class QTimer;
class ViewerCore;

namespace show {

// A stored delay under 20 ms is shown for 100 ms, as browsers do: such files
// were made for players that could not go faster.
int shownDelay(int storedMs);

// Plays the frames of a GIF, WebP, AVIF sequence or JPEG XL animation into
// `display`, in a loop at their delays. The first frame is on screen already
// (the working file holds it); the iterator reads the frames one ahead on its
// own thread, so a large picture never holds up the window. Stopping leaves
// the frame on screen.
class Animation : public QObject {
    Q_OBJECT
public:
    explicit Animation(PictureStore& display, QObject* parent = nullptr);
    ~Animation() override;

    // Plays `path` when it is an animation of a format that has frames;
    // whatever played before stops.
    void start(const QString& path, int format);
    void stop();
    // The A key: holds the frame on screen, or goes on from it.
    void togglePause();
    bool playing() const { return session_ != nullptr; }
    bool paused() const { return paused_; }
    // Frames put on screen since the last start.
    int framesShown() const { return frames_shown_; }

    // Stops playback before a command works on the picture. A frame other
    // than the first becomes the working file, so the command works on the
    // frame the user sees, and the picture counts as unchanged still.
    void keepShownFrame(ViewerCore& core);

signals:
    void frameShown();

private:
    struct Session;
    void take_frame(quint64 generation, const QImage& frame, int delayMs, bool none);
    void show_ready();
    void ask_for_frame();

    PictureStore& display_;
    QTimer* timer_ = nullptr;
    std::shared_ptr<Session> session_;
    std::thread thread_;
    quint64 generation_ = 0;
    QImage ready_;  // the next frame, decoded ahead
    int ready_delay_ = 0;
    bool has_ready_ = false;
    bool due_ = false;   // the shown frame's time is up: the next goes on screen as it comes
    bool first_ = true;  // the first frame is on screen already, as the picture read
    bool paused_ = false;
    int shown_delay_ = 100;
    int frames_shown_ = 0;
};

}  // namespace show
