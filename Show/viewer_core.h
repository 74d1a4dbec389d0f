// ViewerCore: the viewer without its window: the picture, its working file, the undo history, the
// folder's other pictures and the hand-off from later copies of the program.
#pragma once

#include "private_temp.h"
#include "viewer_settings.h"
#include "zarngfx.h"

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

class PictureStore;
class QLocalServer;
class QLocalSocket;
class QTimer;
namespace show {
class BackgroundRead;
class Neighbours;
class PictureJob;
struct LoadOptions;
}  // namespace show

// Sent to ProcessImage in place of a library code: crop to the selection.
inline constexpr int kCropToSelection = -1;

// The window shows what the core holds and turns the user's input into calls
// on it; everything that changes the working file goes through here, so
// tests can drive the viewer without a window.
class ViewerCore : public QObject {
    Q_OBJECT
public:
    // Reserves the working file; `settings` (the window's) must outlive the core.
    explicit ViewerCore(ViewerSettings& settings, QObject* parent = nullptr);
    ~ViewerCore() override;

    // The file shown, as opened, and its format; the caption's name; the
    // working file every command works on.
    QString FileName;
    QString FileTitle;
    int PicFormat = 0;
    QString WorkingFile;

    PicImage* pic() { return pic_.get(); }
    const PicImage* pic() const { return pic_.get(); }
    // Where the picture is kept and shown: the window's control, else the core's own.
    void setDisplay(PictureStore* display);
    const QImage& picture() const;
    bool hasPicture() const;
    // The record's description, as the library wrote it.
    QString description() const;
    // The size, in device pixels, at which the window will show a picture
    // of `fullSize` picture pixels; unset, pictures are shown at full size.
    std::function<QSize(QSize fullSize)> shownSize;
    // The picture is shown from a reduced read only, too large to edit:
    // commands that need the whole picture refuse.
    bool viewOnly() const { return view_only_; }
    // True when the whole picture is there to work on; else the user is told
    // it is too large to edit. Every command that needs it asks first.
    bool fullPictureAvailable();
    // Reads of picture files begun by any core so far, the reads ahead
    // included; for tests, to tell a paint from memory.
    static int readsStarted() { return reads_started_; }
    // Whether the picture at `path` has been read ahead, ready to show.
    bool holdsAhead(const QString& path);
    // The progress callback follows the "Progress" setting.
    void followProgressSetting();
    static void reportProgress(std::int32_t current, std::int32_t total);

    QString title() const { return title_; }
    void setTitle(const QString& title);
    void showFileTitle();

    // Loading (viewer_core_load.cpp). True when the picture at `path` is on
    // screen; `early`, when given, may hold it already read at start-up.
    bool load(const QString& path, show::BackgroundRead* early = nullptr);
    // A picture shown from memory (read at start-up, ahead, or reduced for
    // its first paint) waits for its working file here; the whole picture
    // then replaces a reduced one on screen.
    void finishWorkingFile();
    // Reads the working file back after an outside change; a file the library
    // cannot work on is refused (false), the picture still shown going back
    // into the working file.
    bool reload();

    // Commands that change the working file (viewer_core_commands.cpp). Each
    // keeps the file as it was for undo. process tells whether the window is
    // to be fitted again; the others say so by pictureLoaded.
    bool process(int code, QRect selection = {});
    bool takeImage(const QImage& image, const QString& title);
    bool acquire(void* owner);
    bool runOnWorkingFile(const std::function<int(const char*)>& dialog, bool refit);

    // History (viewer_core_history.cpp). Undo and redo beep, change nothing
    // and return false when there is no step.
    bool undo();
    bool redo();
    int undoCount() const { return int(undo_steps_.size()); }
    int redoCount() const { return int(redo_steps_.size()); }
    int editsSinceLoad() const { return edits_since_load_; }
    void keepForUndo();
    void finishEdit(bool refit);
    void clearHistory();
    void markClean();
    bool hasUnsavedChanges();
    // Asked before a changed picture is dropped; true when it may go.
    std::function<bool()> confirmDiscard;
    // Called as every command on the picture begins, once the working file
    // is complete (fullPictureAvailable): the window stops playback there.
    std::function<void()> beforeCommand;

    // The other pictures of the file's folder (viewer_core_folder.cpp).
    enum class PictureStep { Next, Previous, First, Last };
    // Without `beep`, finding no picture that way is silent.
    bool step(PictureStep step, bool beep = true);

    // Later copies of the program hand their argument over through a local
    // server (viewer_core_handoff.cpp). A modal window works on the picture
    // shown when it opened: hand-offs wait for it, then come in order.
    void listenForCopies();
    template <class Call>
    auto modal(Call&& call)
    {
        ++modal_depth_;
        struct Leave {
            ViewerCore& core;
            ~Leave() { core.leave_modal(); }
        } leave{*this};
        return call();
    }
    bool modalWindowOpen() const;
    bool hasHeldHandOffs() const { return !held_hand_offs_.empty(); }

    // The end: the working file and the copies go.
    void close();
    bool isClosed() const { return closed_; }

signals:
    void titleChanged(const QString& title);
    void pictureChanged();
    void pictureLoaded();  // a new picture is on screen, to fit the window to
    void fileShown();      // a picture file was loaded (FileName, PicFormat), not a command's result
    void descriptionChanged(const QString& description);
    void secondsChanged(const QString& seconds);  // how long the last step took
    void busyChanged(bool busy);
    // The work ahead blocks the event loop: what covers the window is painted now.
    void aboutToBlock();
    void progressChanged(int percent);
    // A hand-off to act on now.
    void handOff(const QString& argument);

private:
    show::LoadOptions load_options() const;
    bool show_job(std::unique_ptr<show::PictureJob> job, const QByteArray& incoming);
    void begin_working_file();
    void drop_working_file();
    void read_ahead();
    void show_seconds(qint64 milliseconds);
    bool show_file(const QString& path);
    void show_picture(const QImage& picture);
    void show_description(const QString& description);
    void show_failure(const QString& reason);

    void leave_modal();
    void answer_copy(QLocalSocket& asker);
    void receive_hand_off(QLocalSocket& asker, const QByteArray& request);
    void act_on_hand_off(const QString& argument);
    void release_hand_offs();

    struct FileStamp {
        quint64 device = 0, inode = 0;
        qint64 size = -1, seconds = 0, nanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
        static FileStamp of(const QString& path);
    };
    // A copy of the working file as it was on one side of a command, with
    // the title that went with it and whether the command refitted the window.
    struct EditCopy {
        QString path;
        QString title;
        bool refit = false;
        qint64 bytes = 0;
    };
    bool take_step(std::deque<EditCopy>& from, std::deque<EditCopy>& to, int change);
    void trim_history();
    QString new_copy_name();
    void list_folder(const QString& folder);

    ViewerSettings& settings_;
    std::unique_ptr<PicImage> pic_;
    std::unique_ptr<PictureStore> own_display_;
    PictureStore* display_ = nullptr;
    QString title_;
    bool closed_ = false;
    bool view_only_ = false;
    controls::NameLock working_lock_;  // marks WorkingFile as this viewer's while it runs

    // A picture read on a thread goes on screen from memory while the working
    // file is written from it; whatever the user does first, and any next
    // load, waits for that file. The generation tells the end of one write
    // from that of a later one.
    std::unique_ptr<show::PictureJob> working_write_;
    QObject* action_guard_ = nullptr;
    QObject* paint_watch_ = nullptr;  // begins the whole picture's read once a reduced one is painted
    quint64 write_generation_ = 0;
    // The folder's next and previous pictures, read once the event loop is idle.
    std::unique_ptr<show::Neighbours> neighbours_;
    QTimer* read_ahead_timer_ = nullptr;

    FileStamp clean_stamp_;                         // the working file as last loaded or saved
    std::deque<EditCopy> undo_steps_, redo_steps_;  // the newest at the back
    EditCopy pending_;                              // taken before the command under way
    FileStamp pending_stamp_;                       // the working file before that command
    int edits_since_load_ = 0;                      // the picture differs from its file unless 0
    int copy_number_ = 0;

    struct FolderListing {
        QString folder;
        FileStamp stamp;    // of the folder when it was listed
        QStringList names;  // admitted by extension, ascending ignoring case
    };
    FolderListing listing_;

    QLocalServer* copies_ = nullptr;
    int modal_depth_ = 0;
    // Hand-offs that came while a modal window was open, oldest first, and
    // the timer that acts on them once none is.
    std::deque<QString> held_hand_offs_;
    QTimer* hand_off_timer_ = nullptr;
    bool releasing_hand_offs_ = false;

    static ViewerCore* live_;  // the core the progress callback reports to
    static int reads_started_;
};
