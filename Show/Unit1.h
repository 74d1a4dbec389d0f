// TForm1: the viewer's main window: one picture in a scrollable area, two toolbars and a status bar.
#pragma once

#include "lazy_file_dialog.h"
#include "private_temp.h"
#include "settings_store.h"
#include "viewer_settings.h"
#include "zarngfx.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>

namespace Ui {
class TForm1;
}
class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QScrollArea;
class TMButton;
class TPictureBox;
class TProgbar;
class TForm2;
class TForm4;
class QLocalServer;
class QLocalSocket;
class QTimer;
class QMimeData;
namespace show {
class BackgroundRead;
class WorkingFileWrite;
struct LoadOptions;
}  // namespace show

// What the form's numbered components are on screen:
//   Panel5              top toolbar: MButton1 main menu, 2 open, 3 browse, 4 save as, 5 slide show,
//                       6 full screen (SpeedButton12Click), 7 full/half size, latching
//                       (SpeedButton13Click), 8 copy, 9 edit displayed picture, 10 print, 11 resize,
//                       12 image processing menu, 13 scanner menu, 14 side toolbar on/off
//   Panel6              side toolbar, 24-bit pictures only: Button1 switch sides; rockers MButton17
//                       sharpness, 18 brightness, 21 contrast, 24 red, 27 green, 30 blue; MButton31
//                       equalise, 32 effects menu, 33 photo adjustment (the numbers have gaps)
//   Panel2              status bar, holding Panel3 (Label2: seconds the last step took) and
//                       Panel4 (Label1: the picture's description)
//   Panel1              progress panel over Panel4 while the library works (Progbar1)
//   ScrollBox1, Image1  the scrollable area and the picture in it
class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Creation steps 1 to 7: composition, class keys, settings, working
    // file, dialog filters. The command line is dispatched separately
    // (DispatchArgument) once the window exists.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up and the one running copy (Unit1_startup.cpp).
    // Step 8: runs the argument's verb or loads its path; no argument shows
    // the open dialog. False when the verb's work was all the program had to
    // do: the window is then closed (exitClick) without being shown.
    // `early`, when given, may hold the argument's picture already read.
    bool DispatchArgument(const QStringList& arguments, show::BackgroundRead* early = nullptr);
    bool ExitOnActivate = false;  // exitClick runs on the window's first activation

    // True when the picture at `path` is on screen.
    bool LoadImage(const QString& path);
    void FitWindow();
    static void ShowProgress(std::int32_t current, std::int32_t total);

    void FormKeyPress(QChar key);
    void TopBarClick();
    void SideBarClick();
    void Button1Click();
    void OpenClick();
    void FormClose();
    // Closes the window without asking about unsaved changes: for an end
    // the user did not ask for here (a signal from the system).
    void closeWithoutAsking();
    // True when the picture may be dropped: it has no changes since it was
    // loaded or saved, "AskSave" is off, or the user saved or discarded them
    // when asked. False when the user cancelled.
    bool ConfirmDiscard();
    // True when the working file differs from the state last loaded or saved.
    bool HasUnsavedChanges();

    // Selection, crop and zoom (Unit1_selection.cpp). Coordinates are the
    // picture control's device (screen) pixels, image pixels divided by "Scale".
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y);
    void Image1Click();
    void DrawSelection(int cornerX, int cornerY);
    void cropClick();
    void SpeedButton13Click();
    // Dragging the picture out with the left button hands other programs the
    // file it came from, or the working file once it was changed.
    void Image1StartDrag();
    std::unique_ptr<QMimeData> dragMimeData() const;
    // Applies a processing code to the working file and shows the result:
    // -1 crops to the selection, anything else goes to _bmprocess.
    void ProcessImage(int code);

    // Commands of the menus, toolbars and keys (Unit1_commands.cpp). Each
    // processing handler sends its one code through ProcessImage.
    void rotateClick() { ProcessImage(0); }
    void expand24Click() { ProcessImage(1); }
    void ordered256Click() { ProcessImage(2); }
    void to256Click() { ProcessImage(102); }
    void togreyClick() { ProcessImage(103); }
    void monoClick() { ProcessImage(104); }
    void invertmonoClick() { ProcessImage(105); }
    void SharpUpClick() { ProcessImage(4); }
    void SharpDownClick() { ProcessImage(5); }
    void ContrastUpClick() { ProcessImage(6); }
    void ContrastDownClick() { ProcessImage(7); }
    void BrightUpClick() { ProcessImage(8); }
    void BrightDownClick() { ProcessImage(9); }
    void RedUpClick() { ProcessImage(11); }
    void GreenUpClick() { ProcessImage(12); }
    void BlueUpClick() { ProcessImage(13); }
    void RedDownClick() { ProcessImage(14); }
    void GreenDownClick() { ProcessImage(15); }
    void BlueDownClick() { ProcessImage(16); }
    void EqualiseClick() { ProcessImage(19); }
    void SepiaClick() { ProcessImage(20); }
    void EmbossClick() { ProcessImage(21); }
    void warmClick() { ProcessImage(23); }
    void coolClick() { ProcessImage(24); }
    void highlightClick() { ProcessImage(25); }
    void shadowClick() { ProcessImage(26); }
    void effect27Click() { ProcessImage(27); }
    void effect28Click() { ProcessImage(28); }
    // The rockers: a press in the left half is the "down" step.
    void MButton17Click();
    void MButton18Click();
    void MButton21Click();
    void MButton24Click();
    void MButton27Click();
    void MButton30Click();

    // Enabling and captions, each time the menu opens.
    void PopupMenu1Popup();
    void ImageMenuPopup();

    void save1Click();
    // The save dialog and the write; true when the picture was saved.
    bool SavePicture();
    void editasbmpClick();
    void editClick();
    void editwithClick();
    void seleditClick();
    // Lets the user pick the editor of format n (0 = the "with..." program).
    void SelectEditor(int n);
    // Starts `program` on `file` as a separate process; see the length rule there.
    void RunEditor(const QString& program, const QString& file);
    void copyClick();
    void loadclipClick();
    void reloadClick();
    void acquireClick();
    void scanClick();
    void selectClick();
    void resizeClick();
    void process24Click();
    void printClick();
    void browseClick();
    void slideClick();
    void SpeedButton12Click();
    void xprefsClick();
    void exitClick();

    // The other pictures of the current file's folder and undoing processing
    // (Unit1_history.cpp). StepPicture beeps and returns false when no
    // readable picture lies that way; nothing has changed then.
    enum class PictureStep { Next, Previous, First, Last };
    bool StepPicture(PictureStep step);
    void UndoClick();
    void RedoClick();
    int UndoCount() const { return int(undo_steps_.size()); }
    int RedoCount() const { return int(redo_steps_.size()); }

    // File-type registration: n = 0 for every format, else format n.
    void RegisterFormats(int n);
    void RegisterExtension(const QString& extensionText);
    void WriteClassKeys();
    QString RegistrationStatus() const { return registration_status_; }

    // The open dialog's filter in "description|pattern|" form, and as Qt's name filters.
    QString OpenFilter() const { return open_filter_; }
    static QStringList nameFilters(const QString& barFilter);

    // Window state.
    QString FileName;       // the file currently shown, as opened
    QChar Verb;             // the verb it was opened with, if any
    int PicFormat = 0;      // _Pic_Valid of FileName
    int FormatCount = 0;
    QString FileTitle;
    QString WorkingFile;
    int MinClientWidth = 0, MinClientHeight = 0;
    int SelStartX = 0, SelStartY = 0, SelCornerX = 0, SelCornerY = 0;
    int Dragging = 0;
    bool HasSelection = false;
    ViewerSettings Settings;
    PicImage* Pic() { return pic_.get(); }

    // Made after the window's first paint, or on first use if sooner.
    LazyFileDialog OpenDialog1;
    LazyFileDialog OpenDialog2;
    LazyFileDialog SaveDialog1;
    QMenu* PopupMenu1 = nullptr;
    QMenu* ImageMenu = nullptr;
    QMenu* TwainMenu = nullptr;
    QMenu* EffectMenu = nullptr;

    // The preferences dialog and the full-screen window, made once the main
    // window exists and kept while it lives.
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm4> Form4;

signals:
    void registrationStatusChanged(const QString& status);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Unit1_toolbars.cpp
    void create_menus();
    void create_toolbars();
    TMButton* add_button(QWidget* panel, const char* name, const char* hint, QRect geometry);
    void place_side_toolbar();
    // Unit1_settings.cpp
    void ReadSettings();
    void WriteSettings();
    // Unit1.cpp
    void build_dialogs();
    show::LoadOptions load_options() const;
    // A picture read before the window was ready goes on screen from memory
    // while the working file is written from it; whatever the user does
    // first, and any next load, waits for that file (finish_working_file).
    bool show_early_read(show::BackgroundRead& early, const QByteArray& incoming);
    void finish_working_file();
    show::BackgroundRead* early_read_ = nullptr;
    std::unique_ptr<show::WorkingFileWrite> working_write_;
    QObject* action_guard_ = nullptr;
    // The start-up work the first picture need not wait for (the file
    // dialogs), one step per pass of the event loop once the picture has
    // first been painted.
    void after_first_paint(int step);
    bool first_paint_seen_ = false;
    void show_progress_panel(bool shown);
    void set_status(const QString& status);
    QString record_description() const;
    void centre_on_screen();
    // Toolbar frames follow "StdButton" (Unit1_toolbars.cpp).
    void apply_button_frames();
    // Unit1_selection.cpp
    void connect_selection();
    void clear_selection();
    bool crop_caption_shown_ = false;  // the title shows the selection's size
    // Unit1_commands.cpp
    bool has_picture() const;
    // The open dialog for a picture to act on; empty when none was chosen.
    QString ask_for_picture();
    // A call into a modal window of the dialog library or the preferences:
    // hand-offs that arrive meanwhile wait until it has closed.
    template <class Call>
    auto modal(Call&& call)
    {
        ++modal_depth_;
        struct Leave {
            TForm1& form;
            ~Leave() { form.leave_modal(); }
        } leave{*this};
        return call();
    }
    void leave_modal();
    int modal_depth_ = 0;
    bool ask_on_close_ = true;
    // Unit1_history.cpp
    bool history_key(const QKeyEvent& event);
    void keep_for_undo();
    void finish_edit(bool refit);
    void clear_history();
    void trim_history();
    void list_folder(const QString& folder);
    QString new_copy_name();

    // The menu items whose state or caption follows the picture; an item a
    // menu does not have stays null.
    struct MenuItems {
        QAction *loadclip = nullptr, *expand24 = nullptr, *togrey = nullptr, *mono = nullptr;
        QAction *colour256 = nullptr, *rotate = nullptr, *invertmono = nullptr;
        QAction *editasbmp = nullptr, *edit = nullptr, *editwith = nullptr, *seledit = nullptr;
    };
    MenuItems popup_items_, image_items_;

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<PicImage> pic_;
    std::unique_ptr<SettingsStore> store_;  // open from creation to close
    QString open_filter_;
    QString registration_status_;
    bool closed_ = false;
    controls::NameLock working_lock_;  // marks WorkingFile as this viewer's while it runs
    bool recentre_when_framed_ = false;  // centred before the window manager's frame was known

    // Unit1_startup.cpp: later copies of the viewer hand their argument over
    // through this window's local server.
    bool event(QEvent* event) override;
    void listen_for_copies();
    void answer_copy(QLocalSocket& asker);
    void ReceiveHandOff(QLocalSocket& asker, const QByteArray& request);
    void act_on_hand_off(const QString& argument);
    void bring_to_front();
    QLocalServer* copies_ = nullptr;
    // Hand-offs that came while a modal window was open, oldest first, and
    // the timer that acts on them once none is.
    std::deque<QString> held_hand_offs_;
    QTimer* hand_off_timer_ = nullptr;
    bool releasing_hand_offs_ = false;
    void release_hand_offs();
    void take_hand_off(const QString& argument);
    // True when a modal window of the viewer's is open.
    bool modal_window_open() const;

    // Unit1_history.cpp. What identifies one version of a file on disk: the
    // library replaces the working file by renaming a new one over it.
    struct FileStamp {
        quint64 device = 0, inode = 0;
        qint64 size = -1, seconds = 0, nanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
        static FileStamp of(const QString& path);
    };
    FileStamp clean_stamp_;  // the working file as last loaded or saved
    void mark_clean();
    // A copy of the working file as it was on one side of a command, with
    // the title that went with it and whether the command refitted the window.
    struct EditCopy {
        QString path;
        QString title;
        bool refit = false;
        qint64 bytes = 0;
    };
    std::deque<EditCopy> undo_steps_, redo_steps_;  // the newest at the back
    void take_step(std::deque<EditCopy>& from, std::deque<EditCopy>& to, int change);
    EditCopy pending_;             // taken before the command under way
    FileStamp pending_stamp_;      // the working file before that command
    int edits_since_load_ = 0;     // the picture differs from its file unless 0
    int copy_number_ = 0;
    struct FolderListing {
        QString folder;
        FileStamp stamp;      // of the folder when it was listed
        QStringList names;    // admitted by extension, ascending ignoring case
    };
    FolderListing listing_;

    static TForm1* live_;  // the window the progress callback reports to
};
