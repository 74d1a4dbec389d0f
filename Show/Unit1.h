// TForm1: the viewer's main window: one picture in a scrollable area, two toolbars and a status bar.
#pragma once

#include "Unit2.h"
#include "Unit4.h"
#include "file_operations.h"
#include "lazy_file_dialog.h"
#include "process_codes.h"
#include "settings_store.h"
#include "viewer_core.h"
#include "viewer_settings.h"
#include "zarngfx.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

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
class QMimeData;
namespace show {
class Animation;
class InfoPanel;
}  // namespace show

// What the form's numbered components are on screen:
//   Panel5              top toolbar: MButton1 main menu, 2 open, 3 browse, 4 save as, 5 slide show,
//                       6 full screen (SpeedButton12Click), 7 full/half size, latching
//                       (SpeedButton13Click), 8 copy, 9 edit displayed picture, 10 print, 11 resize,
//                       12 image processing menu, 13 scanner menu, 14 side toolbar on/off
//   Panel6              side toolbar, 24-bit pictures only: Button1 switch sides; rockers MButton17
//                       sharpness, 18 brightness, 21 contrast, 24 red, 27 green, 30 blue; MButton31
//                       equalise, 32 effects menu, 33 photo adjustment (the numbers have gaps)
//   Panel2              status bar, holding Panel3 (Label2: seconds the last step took),
//                       Panel4 (Label1: the picture's description) and Panel7 (Label3: the zoom)
//   Panel1              progress panel over Panel4 while the library works (Progbar1)
//   ScrollBox1, Image1  the scrollable area and the picture in it
// The picture, its working file, the history and the hand-offs are the
// core's (ViewerCore); the window shows them and turns input into calls on it.
class TForm1 : public QWidget, public PreferencesHost, public FullScreenHost {
    Q_OBJECT
public:
    // The window, its desktop entries, settings, core and dialog filters; the
    // command line is dispatched separately (DispatchArgument) once it exists.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up and the one running copy (Unit1_startup.cpp).
    // Runs the argument's verb or loads its path; no argument shows the open
    // dialog. False when the verb's work was all the program had to
    // do: the window is then closed (exitClick) without being shown.
    // `early`, when given, may hold the argument's picture already read.
    bool DispatchArgument(const QStringList& arguments, show::BackgroundRead* early = nullptr);
    bool ExitOnActivate = false;  // exitClick runs on the window's first activation

    // True when the picture at `path` is on screen; `early`, when given, may
    // hold it already read at start-up.
    bool LoadImage(const QString& path, show::BackgroundRead* early = nullptr);
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

    // Selection, crop and zoom (Unit1_selection.cpp). The mouse handlers take
    // the picture control's device (screen) pixels; the selection they make
    // (SelStartX/Y to SelCornerX/Y, and DrawSelection's corner) is in
    // picture pixels, whatever the zoom.
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y);
    void Image1Click();
    void DrawSelection(int cornerX, int cornerY);
    void cropClick();
    void SpeedButton13Click();
    // The selection follows a change of zoom: kept in picture pixels, its
    // outline is drawn again for the control's new size, so call it once
    // the control has that size (Unit1_selection.cpp).
    void selectionZoomChanged(qreal from, qreal to);
    // Dragging the picture out with the left button hands other programs the
    // file it came from, or the working file once it was changed.
    void Image1StartDrag();
    std::unique_ptr<QMimeData> dragMimeData() const;
    // Applies a processing code to the working file and shows the result:
    // kCropToSelection crops to the selection, anything else goes to _bmprocess.
    void ProcessImage(int code);

    // Zoom (Unit1_zoom.cpp): device pixels per picture pixel, 1 = 100%.
    qreal zoom() const;
    // The zoom is the fit zoom, and follows the view's size.
    bool isFitted() const { return fitted_; }
    // Shows the picture at `zoom` (held to 1/16..16), keeping the picture
    // point under `anchor` (in ScrollBox1's viewport; its centre when not
    // given) where it is. The window fits itself to the picture unless the
    // user sized it.
    void setZoom(qreal zoom, std::optional<QPoint> anchor = std::nullopt);
    void zoomIn(std::optional<QPoint> anchor = std::nullopt);
    void zoomOut(std::optional<QPoint> anchor = std::nullopt);
    // The whole picture in the area the window may take (or the view, once
    // the user sized the window), never enlarged; it follows the view's size.
    void fitToWindow();
    void showActualSize();
    // The size in device pixels at which a picture of `fullSize` picture
    // pixels is shown when loaded: fitted when "FitLarge" is on and it is
    // larger than the area, else at full or half size by "Scale".
    QSize fittedSize(QSize fullSize) const;
    // The picture at its zoom is larger than the view: it can be scrolled.
    bool pictureLargerThanView() const;

    // Commands of the menus, toolbars and keys (Unit1_commands.cpp). Each
    // processing handler sends its one code through ProcessImage.
    using Code = zarn::ProcessCode;
    void rotateClick() { ProcessImage(+Code::Rotate); }
    void expand24Click() { ProcessImage(+Code::Expand24); }
    void ordered256Click() { ProcessImage(+Code::OrderedDither); }
    void to256Click() { ProcessImage(+Code::Reduce256); }
    void togreyClick() { ProcessImage(+Code::GreyAlso); }
    void monoClick() { ProcessImage(+Code::Mono); }
    void invertmonoClick() { ProcessImage(+Code::InvertMono); }
    void SharpUpClick() { ProcessImage(+Code::Sharpen); }
    void SharpDownClick() { ProcessImage(+Code::Soften); }
    void ContrastUpClick() { ProcessImage(+Code::MoreContrast); }
    void ContrastDownClick() { ProcessImage(+Code::LessContrast); }
    void BrightUpClick() { ProcessImage(+Code::Brighter); }
    void BrightDownClick() { ProcessImage(+Code::Darker); }
    void RedUpClick() { ProcessImage(+Code::MoreRed); }
    void GreenUpClick() { ProcessImage(+Code::MoreGreen); }
    void BlueUpClick() { ProcessImage(+Code::MoreBlue); }
    void RedDownClick() { ProcessImage(+Code::LessRed); }
    void GreenDownClick() { ProcessImage(+Code::LessGreen); }
    void BlueDownClick() { ProcessImage(+Code::LessBlue); }
    void EqualiseClick() { ProcessImage(+Code::StretchLevels); }
    void SepiaClick() { ProcessImage(+Code::Sepia); }
    void EmbossClick() { ProcessImage(+Code::Emboss); }
    void warmClick() { ProcessImage(+Code::Warmer); }
    void coolClick() { ProcessImage(+Code::Cooler); }
    void highlightClick() { ProcessImage(+Code::ContrastHighlights); }
    void shadowClick() { ProcessImage(+Code::ContrastShadows); }
    void effect27Click() { ProcessImage(+Code::ContrastMidtones); }
    // The menu has always sent 28, past the library's last code: it reaches
    // no effect, and the working file comes back unchanged.
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
    using PictureStep = ViewerCore::PictureStep;
    bool StepPicture(PictureStep step);
    void UndoClick();
    void RedoClick();
    int UndoCount() const { return core_->undoCount(); }
    int RedoCount() const { return core_->redoCount(); }

    // Operations on the file shown (file_operations.cpp). Delete puts it in
    // the trash and steps on to the next picture (the previous at the end,
    // the open dialog when none is left); Ctrl+Z right after brings it back.
    void deleteClick();
    void deleteForGoodClick();
    void renameClick();
    void copyToFolderClick();
    void moveToFolderClick();
    // The work of the two above once the folder is chosen; true when done.
    bool CopyToFolder(const QString& folder);
    bool MoveToFolder(const QString& folder);
    // JPEG files turn losslessly on disk and are read again; other pictures
    // take the quarter turn of the working picture.
    void rotateFileRightClick();
    void rotateFileLeftClick();
    void flipFileClick();
    // True when the last delete was undone (or refused with a message).
    bool RestoreDeleted();

    // File-type registration: n = 0 for every format, else format n.
    void RegisterFormats(int n);
    void RegisterExtension(const QString& extensionText);
    void WriteClassKeys();
    QString RegistrationStatus() const { return registration_status_; }

    // What the preferences dialog reads and changes (Unit1_settings.cpp).
    ViewerSettings& preferences() override { return Settings; }
    int formatCount() const override { return FormatCount; }
    int shownFormat() const override { return PicFormat; }
    QImage shownPicture() const override;
    QString registrationStatus() const override { return registration_status_; }
    void chooseEditor(int format) override { SelectEditor(format); }
    void registerFormats(int format) override { RegisterFormats(format); }

    // The open dialog's filter in "description|pattern|" form, and as Qt's name filters.
    QString OpenFilter() const { return open_filter_; }
    static QStringList nameFilters(const QString& barFilter);

    // Window state.
    QChar Verb;  // the verb the picture was opened with, if any
    int FormatCount = 0;
    int MinClientWidth = 0, MinClientHeight = 0;
    int SelStartX = 0, SelStartY = 0, SelCornerX = 0, SelCornerY = 0;
    int Dragging = 0;
    bool HasSelection = false;
    ViewerSettings Settings;

private:
    std::unique_ptr<ViewerCore> core_;  // made right after Settings, which it reads

public:
    ViewerCore& Core() { return *core_; }
    // The animated picture's playback (A pauses and resumes it).
    show::Animation& Playback() { return *animation_; }
    // The core's picture state, under the names the rest of the program uses.
    QString& FileName;  // the file currently shown, as opened
    int& PicFormat;     // _Pic_Valid of FileName
    QString& FileTitle;
    QString& WorkingFile;
    PicImage* Pic() { return core_->pic(); }

    // What the full-screen window asks of the main one.
    const QScreen* hostScreen() const override;
    bool showsReducedColours() const override { return Settings.Display; }

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
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

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
    void connect_core();
    // The start-up work the first picture need not wait for (the file
    // dialogs), one step per pass of the event loop once the picture has
    // first been painted.
    void after_first_paint(int step);
    bool first_paint_seen_ = false;
    void show_progress_panel(bool shown);
    void set_status(const QString& status);
    void centre_on_screen();
    // Toolbar frames follow "StdButton" (Unit1_toolbars.cpp).
    void apply_button_frames();
    // Unit1_zoom.cpp
    void connect_zoom();
    bool side_toolbar_shown() const;
    // The zoom a picture of `full` picture pixels is shown at on load, and
    // whether that is the fit zoom.
    std::pair<qreal, bool> load_zoom(QSize full, bool side_toolbar) const;
    qreal fit_zoom(QSize full, bool side_toolbar) const;
    // The room for the picture in DIP: the screen's less the window's
    // frame and toolbars, or the view's once the user sized the window.
    QSize picture_room(bool side_toolbar) const;
    // The control at `to`, the window fitted to it; keeps fitted_.
    void change_zoom(qreal to, std::optional<QPoint> anchor);
    void fit_to_picture();  // the window's size from the picture's (FitWindow's rule)
    void show_zoom_status();
    bool zoom_event(QObject* watched, QEvent* event);
    bool zoom_key(const QKeyEvent& event);
    void follow_view_size();
    bool fitted_ = false;
    // Resized or maximised by the user: the window keeps its size, and the
    // picture follows it (in Fit) or scrolls.
    bool user_sized_ = false;
    std::array<QSize, 4> asked_sizes_{};  // the sizes the window last asked for, newest first
    QElapsedTimer asked_at_;              // since the last of them
    int shown_scale_ = 1;                 // the "Scale" the zoom was last set from
    int wheel_angle_ = 0;                 // eighths of a degree not yet turned into a step
    // Unit1_selection.cpp
    void connect_selection();
    void clear_selection();
    bool crop_caption_shown_ = false;  // the title shows the selection's size
    // Panning the picture with a left drag, when it does not fit the view.
    bool can_pan() const;
    void pan_by(QPoint delta);
    void show_pan_cursor();
    // Unit1_commands.cpp
    bool has_picture() const { return core_->hasPicture(); }
    // The open dialog for a picture to act on; empty when none was chosen.
    QString ask_for_picture();
    // A call into a modal window of the dialog library or the preferences:
    // hand-offs that arrive meanwhile wait until it has closed.
    template <class Call>
    auto modal(Call&& call)
    {
        return core_->modal(std::forward<Call>(call));
    }
    bool ask_on_close_ = true;
    // Unit1_history.cpp: also Shift+arrows, which scroll a picture larger
    // than the view.
    bool history_key(const QKeyEvent& event);
    // file_operations.cpp
    bool file_key(const QKeyEvent& event);
    void step_on_after_removal();
    void remember_destination(const QString& folder);
    void turn_file(int turn);
    show::LastDelete last_delete_;

    // The menu items whose state or caption follows the picture; an item a
    // menu does not have stays null.
    struct MenuItems {
        QAction *loadclip = nullptr, *expand24 = nullptr, *togrey = nullptr, *mono = nullptr;
        QAction *colour256 = nullptr, *rotate = nullptr, *invertmono = nullptr;
        QAction *editasbmp = nullptr, *edit = nullptr, *editwith = nullptr, *seledit = nullptr;
    };
    MenuItems popup_items_, image_items_;

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<show::Animation> animation_;  // draws into ui->Image1, so it goes first
    show::InfoPanel* info_panel_ = nullptr;       // the I key's window, a child of this one
    std::unique_ptr<SettingsStore> store_;        // open from creation to close
    QString open_filter_;
    QString registration_status_;
    bool recentre_when_framed_ = false;  // centred before the window manager's frame was known

    // Unit1_startup.cpp: what later copies of the viewer hand over, once
    // the core lets it through.
    bool event(QEvent* event) override;
    void take_hand_off(const QString& argument);
    void bring_to_front();
};
