// TForm1: creation, showing what the core loads, fitting the window to it, keys and closing.
#include "Unit1.h"

#include "Unit2.h"
#include "Unit4.h"
#include "animation.h"
#include "info_panel.h"

#include "file_filters.h"
#include "gfxdlg.h"
#include "mbutton.h"
#include "picturebox.h"
#include "progbar.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>

using controls::library_text;

TForm1::TForm1(QWidget* parent)
    : QWidget(parent),
      core_(std::make_unique<ViewerCore>(Settings)),
      FileName(core_->FileName),
      PicFormat(core_->PicFormat),
      FileTitle(core_->FileTitle),
      WorkingFile(core_->WorkingFile),
      ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    connect_core();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    create_menus();
    create_toolbars();
    build_dialogs();
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(mapToGlobal(at)); });
    connect(ui->Image1, &TPictureBox::doubleClicked, this, &TForm1::OpenClick);
    ui->Image1->installEventFilter(this);  // its first paint starts the deferred start-up work
    connect_zoom();
    connect_selection();  // the picture's menu comes with the right button's release

    ui->Progbar1->setPenColor(palette().color(QPalette::Inactive, QPalette::Highlight));
    ui->Progbar1->setBorder(TProgbar::bNone);
    ui->Progbar1->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->Panel1->raise();
    for (QWidget* clickable : {static_cast<QWidget*>(ui->Label1), static_cast<QWidget*>(ui->Panel4),
                               static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->Label2)})
        clickable->installEventFilter(this);

    setWindowTitle(core_->title());
    FormatCount = _Pic_Count();
    // The designed client size is the least the window takes.
    MinClientWidth = width();
    MinClientHeight = height();
    Settings.Scale = 1;

    // The desktop entries are rewritten at every start.
    WriteClassKeys();
    ReadSettings();

    // The open dialog offers every format in the library's table, then all files.
    open_filter_ = library_text(_Pic_Description(0)) + '|' + library_text(_Pic_Pattern(0)) + '|';
    for (int i = 1; i <= FormatCount; ++i) {
        open_filter_ += library_text(_Pic_Description(i)) + " (" + library_text(_Pic_Extension(i)) + ")|" +
                        library_text(_Pic_Pattern(i)) + '|';
    }
    open_filter_ += QStringLiteral("All Files|*.*");
    OpenDialog1.setup([filters = nameFilters(open_filter_)](QFileDialog& dialog) { dialog.setNameFilters(filters); });

    // The save dialog offers the library's list as it is, at the entry last used.
    const QStringList save_filters = nameFilters(library_text(_Pic_GetSaveFormats()));
    SaveDialog1.setup([save_filters, save = Settings.Save](QFileDialog& dialog) {
        dialog.setNameFilters(save_filters);
        if (save >= 1 && save <= save_filters.size()) dialog.selectNameFilter(save_filters.at(save - 1));
    });

    // The preferences dialog, then the full-screen window.
    Form2 = std::make_unique<TForm2>(*this);
    Form4 = std::make_unique<TForm4>(*this);

    // Later copies of the viewer find this one and hand it their argument.
    core_->listenForCopies();
}

TForm1::~TForm1()
{
    // What the core still does on its way out is no longer shown.
    core_->finishWorkingFile();
    core_->clearHistory();
    core_->beforeCommand = nullptr;
    disconnect(core_.get(), nullptr, this, nullptr);
}

void TForm1::connect_core()
{
    core_->setDisplay(ui->Image1);
    core_->confirmDiscard = [this] { return ConfirmDiscard(); };
    // An animated picture plays once loaded; a command stops it and works on the frame shown.
    animation_ = std::make_unique<show::Animation>(*ui->Image1);
    core_->beforeCommand = [this] { animation_->keepShownFrame(*core_); };
    connect(core_.get(), &ViewerCore::fileShown, this, [this] { animation_->start(FileName, PicFormat); });
    if (!info_panel_) info_panel_ = new show::InfoPanel(*core_, *ui->Image1, this);
    connect(core_.get(), &ViewerCore::titleChanged, this, &QWidget::setWindowTitle);
    connect(core_.get(), &ViewerCore::descriptionChanged, ui->Label1, &QLabel::setText);
    connect(core_.get(), &ViewerCore::secondsChanged, ui->Label2, &QLabel::setText);
    connect(core_.get(), &ViewerCore::progressChanged, ui->Progbar1, &TProgbar::setLevel);
    connect(core_.get(), &ViewerCore::busyChanged, this, [this](bool busy) {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (Settings.Progress) show_progress_panel(true);
        } else {
            show_progress_panel(false);
            QApplication::restoreOverrideCursor();
        }
    });
    connect(core_.get(), &ViewerCore::aboutToBlock, this, [this] {
        if (isVisible()) repaint();
    });
    connect(core_.get(), &ViewerCore::pictureLoaded, this, [this] {
        // Each picture opens at the zoom "FitLarge" and "Scale" give it.
        const auto [shown, fitted] = load_zoom(ui->Image1->fullSize(), side_toolbar_shown());
        fitted_ = fitted;
        shown_scale_ = Settings.Scale == 2 ? 2 : 1;
        ui->Image1->setZoom(shown);
        FitWindow();
        clear_selection();
    });
    connect(core_.get(), &ViewerCore::handOff, this, &TForm1::take_hand_off);
}

const QScreen* TForm1::hostScreen() const
{
    return screen();
}

void TForm1::build_dialogs()
{
    OpenDialog1.setMaker([this] {
        auto* dialog = new QFileDialog(this, QString());
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setOption(QFileDialog::ReadOnly, false);
        return dialog;
    });
    OpenDialog2.setMaker([this] {
        auto* dialog = new QFileDialog(this, QStringLiteral("Edit Source Image with..."));
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilters({QStringLiteral("Programs (*)")});
        return dialog;
    });
    SaveDialog1.setMaker([this] {
        auto* dialog = new QFileDialog(this, QStringLiteral("Save Image as"));
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setDefaultSuffix(QStringLiteral("bmp"));
        return dialog;
    });
}

void TForm1::after_first_paint(int step)
{
    if (core_->isClosed()) return;
    switch (step) {
    case 0: OpenDialog1.get(); break;
    case 1: SaveDialog1.get(); break;
    default: OpenDialog2.get(); return;
    }
    // Posted, so what the user does in between is handled in between.
    QMetaObject::invokeMethod(
        this, [this, step] { after_first_paint(step + 1); }, Qt::QueuedConnection);
}

// The same entries as every other dialog over the library's formats.
QStringList TForm1::nameFilters(const QString& barFilter)
{
    return controls::nameFilters(barFilter);
}

void TForm1::show_progress_panel(bool shown)
{
    if (!shown) {
        ui->Panel1->hide();
        return;
    }
    ui->Progbar1->setLevel(0);
    ui->Panel1->setGeometry(ui->Panel4->geometry());
    ui->Panel1->show();
    ui->Panel1->raise();
    // The conversion blocks the event loop; the bar has to be on screen now.
    if (isVisible()) ui->Panel1->repaint();
}

bool TForm1::LoadImage(const QString& path, show::BackgroundRead* early)
{
    return core_->load(path, early);
}

void TForm1::FitWindow()
{
    apply_button_frames();
    core_->followProgressSetting();
    ui->ScrollBox1->horizontalScrollBar()->setValue(0);
    ui->ScrollBox1->verticalScrollBar()->setValue(0);

    ui->Panel5->setVisible(Settings.ToolBar);
    const bool side = side_toolbar_shown();
    if (side) place_side_toolbar();
    ui->Panel6->setVisible(side);

    // Full or half size once "Scale" has changed (H); the fit zoom again,
    // for the room the toolbars now leave, when fitted; else the zoom stays.
    const int scale = Settings.Scale == 2 ? 2 : 1;
    const qreal from = zoom();
    qreal to = from;
    if (scale != shown_scale_) {
        fitted_ = false;
        to = 1.0 / scale;
    } else if (fitted_) {
        to = fit_zoom(ui->Image1->fullSize(), side);
    }
    shown_scale_ = scale;
    ui->Image1->setZoom(to);
    ui->Image1->resize(ui->Image1->sizeForZoom(to));
    fit_to_picture();
    if (Settings.Centre && !user_sized_) centre_on_screen();
    show();
    if (to != from) selectionZoomChanged(from, to);
    show_zoom_status();
}

void TForm1::fit_to_picture()
{
    // Once the user sized the window it keeps that size; the picture scrolls in it.
    if (user_sized_) return;
    const int top_height = Settings.ToolBar ? ui->Panel5->maximumHeight() : 0;
    const int side_width = side_toolbar_shown() ? ui->Panel6->maximumWidth() : 0;
    // The picture at its zoom; on a dense screen that is its size over the
    // pixel ratio too.
    const int image_width = ui->Image1->width(), image_height = ui->Image1->height();

    // The client size is within the screen and not below the form's designed
    // size. A picture wider than the area has a horizontal scroll bar, whose
    // height is kept free as the vertical bar's width is: else it would
    // cover the picture's last rows and bring a vertical bar of its own.
    const QScreen* on = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize screen_size = on->geometry().size();
    const int client_width_limit = screen_size.width() - 36;
    const bool too_wide = side_width + image_width + 4 > client_width_limit;
    int client_width = std::min(client_width_limit, side_width + image_width + 4);
    const int client_height_limit = screen_size.height() - 64;
    const int wanted_height = top_height + image_height + 24 + (too_wide ? 20 : 0);
    int client_height = std::min(client_height_limit, wanted_height);
    if (wanted_height > client_height_limit) client_width += 20;  // room for the vertical scroll bar
    if (Settings.ToolBar && client_width < MinClientWidth) client_width = MinClientWidth;
    if (Settings.ToolBar1 && client_height < MinClientHeight && Pic()->bits == 24) client_height = MinClientHeight;
    // With nothing to show, the window keeps its designed size whatever
    // the toolbars: it would otherwise shrink to a sliver.
    if (!has_picture()) {
        client_width = std::max(client_width, MinClientWidth);
        client_height = std::max(client_height, MinClientHeight);
    }
    // Asked for before the resize, whose event tells the user's sizes from the viewer's.
    std::rotate(asked_sizes_.rbegin(), asked_sizes_.rbegin() + 1, asked_sizes_.rend());
    asked_sizes_.front() = QSize(client_width, client_height);
    asked_at_.start();
    resize(client_width, client_height);
}

void TForm1::centre_on_screen()
{
    // A Wayland compositor places windows itself and ignores a client's
    // move: there is nothing to centre, nor a frame to wait for.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return;
    // Centred with the window manager's frame, which is known only once it
    // has framed the window: before that the window is centred as if it had
    // none, and once more, a single time, when the frame turns up (moveEvent).
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull() && !isVisible()) recentre_when_framed_ = true;
    const QSize outer = size().grownBy(frame);
    const QScreen* on = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = on->geometry();
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height() - 20) / 2);
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (!recentre_when_framed_ || !windowHandle() || windowHandle()->frameMargins().isNull()) return;
    recentre_when_framed_ = false;
    if (Settings.Centre) centre_on_screen();
}

void TForm1::ShowProgress(std::int32_t current, std::int32_t total)
{
    ViewerCore::reportProgress(current, total);
}

void TForm1::FormKeyPress(QChar key)
{
    switch (key.toUpper().unicode()) {
    case '\r':
    case '\n': xprefsClick(); break;
    case 27:
        if (!info_panel_->closeIfOpen()) close();
        break;
    case ' ':
    case 'O': OpenClick(); break;
    case 'A': animation_->togglePause(); break;
    case 'B': browseClick(); break;
    case 'C': copyClick(); break;
    case 'E': editasbmpClick(); break;
    case 'F': SpeedButton12Click(); break;
    case 'G': togreyClick(); break;
    case 'H': SpeedButton13Click(); break;
    case 'I': info_panel_->toggle(); break;
    case 'L': SideBarClick(); break;
    case 'P': printClick(); break;
    case 'R': rotateClick(); break;
    case 'S': save1Click(); break;
    case 'T': TopBarClick(); break;
    case '+':
    case '=': zoomIn(); break;
    case '-': zoomOut(); break;
    case '0': fitToWindow(); break;
    case '1': showActualSize(); break;
    default: break;
    }
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    if (history_key(*event) || zoom_key(*event) || file_key(*event)) return;
    QChar key;
    if (event->key() == Qt::Key_Escape) key = QChar(27);
    else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) key = QChar('\r');
    else if (!event->text().isEmpty()) key = event->text().front();
    if (key.isNull()) {
        QWidget::keyPressEvent(event);
        return;
    }
    FormKeyPress(key);
}

void TForm1::TopBarClick()
{
    Settings.ToolBar = !Settings.ToolBar;
    FitWindow();
}

void TForm1::SideBarClick()
{
    if (Pic()->bits != 24) {
        QApplication::beep();
        return;
    }
    Settings.ToolBar1 = !Settings.ToolBar1;
    FitWindow();
}

void TForm1::Button1Click()
{
    Settings.ToolAlign = Settings.ToolAlign == 3 ? 4 : 3;
    place_side_toolbar();
}

void TForm1::OpenClick()
{
    const int answer = OpenDialog1->exec();
    // Qt leaves the name box's completion list up when Return took a typed
    // name; it would stay on screen and swallow the next click.
    for (QCompleter* completer : OpenDialog1->findChildren<QCompleter*>()) {
        if (completer->popup()) completer->popup()->hide();
    }
    if (answer != QDialog::Accepted) return;
    const QStringList chosen = OpenDialog1->selectedFiles();
    if (chosen.isEmpty()) return;
    if (_Pic_Valid(QFile::encodeName(chosen.front()).constData()) != 0 && !ConfirmDiscard()) return;
    LoadImage(chosen.front());
    OpenDialog1->setDirectory(QFileInfo(chosen.front()).absolutePath());
}

void TForm1::FormClose()
{
    if (core_->isClosed()) return;
    core_->close();
    WriteSettings();
    store_.reset();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!core_->isClosed() && ask_on_close_ && !ConfirmDiscard()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm1::closeWithoutAsking()
{
    ask_on_close_ = false;
    close();
}

void TForm1::mouseReleaseEvent(QMouseEvent* event)
{
    // A click on the bare background next to the picture; the clicks the
    // toolbars, the status bar and their frames do not take end here too
    // and do nothing.
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && rect().contains(at) && childAt(at) == ui->ScrollBox1->viewport())
        OpenClick();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == ui->Image1) return;  // the picture dragged out and back is no new file
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls.front().toLocalFile();
    if (_Pic_Valid(QFile::encodeName(path).constData()) != 0 && !ConfirmDiscard()) return;
    LoadImage(path);
    OpenDialog1->setDirectory(QFileInfo(path).absolutePath());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // The scroll box and its viewport are watched for the zoom alone.
    if (zoom_event(watched, event)) return true;
    if (watched == ui->ScrollBox1 || watched == ui->ScrollBox1->viewport()) return QWidget::eventFilter(watched, event);
    if (watched == ui->Image1) {
        // The picture only reports its first paint here; its clicks are its own.
        if (event->type() == QEvent::Paint && !first_paint_seen_) {
            first_paint_seen_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    core_->finishWorkingFile();
                    after_first_paint(0);
                },
                Qt::QueuedConnection);
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint())) {
            if (watched == ui->Label2) SideBarClick();
            else TopBarClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::set_status(const QString& status)
{
    registration_status_ = status;
    emit registrationStatusChanged(status);
}
