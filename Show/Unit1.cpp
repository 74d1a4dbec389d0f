// TForm1: creation, loading a picture, fitting the window to it, captions, keys and closing.
#include "Unit1.h"

#include "Unit2.h"
#include "Unit4.h"

#include "command_line.h"
#include "mbutton.h"
#include "picturebox.h"
#include "private_temp.h"
#include "progbar.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTime>

#include <cstring>

TForm1* TForm1::live_ = nullptr;

namespace {

QString library_text(const char* text)
{
    return text ? QString::fromLocal8Bit(text) : QString();
}

// The record's description is a fixed field that need not end in a zero.
QString description_of(const PicImage& pic)
{
    return QString::fromLocal8Bit(pic.description, qsizetype(strnlen(pic.description, sizeof pic.description)));
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TForm1>()), pic_(std::make_unique<PicImage>())
{
    // 1. The window from its layout; an empty record.
    ui->setupUi(this);
    *pic_ = PicImage{};
    live_ = this;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    create_menus();
    create_toolbars();
    build_dialogs();
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(mapToGlobal(at)); });
    connect(ui->Image1, &TPictureBox::doubleClicked, this, &TForm1::OpenClick);
    connect_selection();  // the picture's menu comes with the right button's release

    ui->Progbar1->setPenColor(palette().color(QPalette::Inactive, QPalette::Highlight));
    ui->Progbar1->setBorder(TProgbar::bNone);
    ui->Progbar1->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->Panel1->raise();
    for (QWidget* clickable : {static_cast<QWidget*>(ui->Label1), static_cast<QWidget*>(ui->Panel4),
                               static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->Label2)})
        clickable->installEventFilter(this);

    // 2. Caption, format count, the designed client size as the minimum.
    setWindowTitle(QStringLiteral("Show"));
    FormatCount = _Pic_Count();
    MinClientWidth = width();
    MinClientHeight = height();
    Settings.Scale = 1;

    // 3. Desktop entries, rewritten at every start.
    WriteClassKeys();

    // 4. Settings.
    ReadSettings();

    // 5. The working file, in the private temporary folder.
    WorkingFile = show::reserveWorkingFile(show::privateTempDir(), QTime::currentTime());

    // 6. Open filter: every format in the library's table, then all files.
    open_filter_ = library_text(_Pic_Description(0)) + '|' + library_text(_Pic_Pattern(0)) + '|';
    for (int i = 1; i <= FormatCount; ++i) {
        open_filter_ += library_text(_Pic_Description(i)) + " (" + library_text(_Pic_Extension(i)) + ")|" +
                        library_text(_Pic_Pattern(i)) + '|';
    }
    open_filter_ += QStringLiteral("All Files|*.*");
    OpenDialog1->setNameFilters(nameFilters(open_filter_));

    // 7. Save filter, the library's list as it is, and the entry last used.
    const QStringList save_filters = nameFilters(library_text(_Pic_GetSaveFormats()));
    SaveDialog1->setNameFilters(save_filters);
    Settings.Save = store_->number(QStringLiteral("Save"));
    if (Settings.Save >= 1 && Settings.Save <= save_filters.size())
        SaveDialog1->selectNameFilter(save_filters.at(Settings.Save - 1));

    // The preferences dialog, then the full-screen window.
    Form2 = std::make_unique<TForm2>(*this);
    Form4 = std::make_unique<TForm4>(*this);
}

TForm1::~TForm1()
{
    if (live_ == this) live_ = nullptr;
}

void TForm1::build_dialogs()
{
    OpenDialog1 = new QFileDialog(this, QString());
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setOption(QFileDialog::ReadOnly, false);

    OpenDialog2 = new QFileDialog(this, QStringLiteral("Edit Source Image with..."));
    OpenDialog2->setFileMode(QFileDialog::ExistingFile);
    OpenDialog2->setNameFilters({QStringLiteral("Programs (*)")});

    SaveDialog1 = new QFileDialog(this, QStringLiteral("Save Image as"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setDefaultSuffix(QStringLiteral("bmp"));
}

QStringList TForm1::nameFilters(const QString& barFilter)
{
    QStringList parts = barFilter.split('|');
    if (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        filters << parts.at(i) + " (" + patterns.replace(';', ' ') + ')';
    }
    return filters;
}

void TForm1::DispatchArgument(const QStringList& arguments)
{
    const QString argument = show::argumentText(arguments);
    if (argument.isEmpty()) {
        OpenClick();
        return;
    }
    // What each verb does comes with the start-up commands; until then its
    // path is shown like any other.
    const show::VerbAndPath parsed = show::splitVerb(argument);
    Verb = parsed.verb;
    LoadImage(parsed.path);
    OpenDialog1->setDirectory(QFileInfo(parsed.path).absolutePath());
    OpenDialog1->selectFile(parsed.path);
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

void TForm1::LoadImage(const QString& path)
{
    // 1-3. An empty name or a file the library does not know changes nothing.
    if (path.isEmpty()) return;
    const QByteArray local_path = QFile::encodeName(path);
    const int format = _Pic_Valid(local_path.constData());
    if (format == 0) return;
    FileName = path;
    PicFormat = format;
    FileTitle = QFileInfo(path).fileName();

    // 4-6.
    setWindowTitle(QStringLiteral("Show - Loading....") + library_text(_Pic_Description(PicFormat)));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (Settings.Progress) show_progress_panel(true);
    pic_->progress = Settings.Progress ? &TForm1::ShowProgress : nullptr;
    QElapsedTimer clock;
    clock.start();

    // 7-8. Convert to the working file.
    const QByteArray working = QFile::encodeName(WorkingFile);
    const int converted = Settings.Display
                              ? _anyto256(local_path.constData(), working.constData(), pic_.get(),
                                          Settings.PhotoCDSize, Settings.JpegScale)
                              : _anytobmps(local_path.constData(), working.constData(), pic_.get(),
                                           Settings.PhotoCDSize, Settings.JpegScale);
    show_progress_panel(false);
    QApplication::restoreOverrideCursor();

    // 9-10. A failure keeps the previous picture; so does a working file
    // that cannot be shown.
    if (!converted || !ui->Image1->LoadFromFile(WorkingFile)) {
        setWindowTitle(QStringLiteral("Show - Error Loading Image"));
        return;
    }

    // 11-13. Measured on a monotonic clock, so a load across a minute (or
    // longer than one) still reports its real length, in hundredths.
    const qint64 hundredths = clock.elapsed() / 10;
    ui->Label2->setText(QString::number(double(hundredths) * 0.01, 'g'));
    ui->Label1->setText(description_of(*pic_));
    setWindowTitle(QStringLiteral("Show - ") + FileTitle);
    FitWindow();
    clear_selection();
}

void TForm1::FitWindow()
{
    // 1. Toolbar frames follow "StdButton".
    for (TMButton* button : findChildren<TMButton*>()) {
        if (button->Tag() == -5) button->setBorder(Settings.StdButton);
    }
    // 2-3.
    pic_->progress = Settings.Progress ? &TForm1::ShowProgress : nullptr;
    ui->ScrollBox1->horizontalScrollBar()->setValue(0);
    ui->ScrollBox1->verticalScrollBar()->setValue(0);

    // 4-5. Toolbars.
    ui->Panel5->setVisible(Settings.ToolBar);
    const int top_height = Settings.ToolBar ? ui->Panel5->maximumHeight() : 0;
    const bool side = Settings.ToolBar1 && pic_->bits == 24;
    if (side) place_side_toolbar();
    ui->Panel6->setVisible(side);
    const int side_width = side ? ui->Panel6->maximumWidth() : 0;

    // 6. The picture, drawn stretched to its size over "Scale".
    const int scale = Settings.Scale == 2 ? 2 : 1;
    const QSize picture = ui->Image1->Picture().size();
    const int image_width = picture.width() / scale, image_height = picture.height() / scale;
    ui->Image1->resize(image_width, image_height);

    // 7-11. Client size, within the screen and not below the form's designed size.
    const QScreen* on = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize screen_size = on->geometry().size();
    int client_width = std::min(screen_size.width() - 36, side_width + image_width + 4);
    const int client_height_limit = screen_size.height() - 64;
    int client_height = std::min(client_height_limit, top_height + image_height + 24);
    if (client_height == client_height_limit) client_width += 20;  // room for the vertical scroll bar
    if (Settings.ToolBar && client_width < MinClientWidth) client_width = MinClientWidth;
    if (Settings.ToolBar1 && client_height < MinClientHeight && pic_->bits == 24) client_height = MinClientHeight;
    resize(client_width, client_height);

    // 12. Centre on the screen, the frame included.
    if (Settings.Centre) {
        const QSize frame = isVisible() ? frameGeometry().size() : size();
        const QPoint origin = on->geometry().topLeft();
        move(origin.x() + (screen_size.width() - frame.width()) / 2,
             origin.y() + (screen_size.height() - frame.height() - 20) / 2);
    }
    // 13.
    show();
}

void TForm1::ShowProgress(std::int32_t current, std::int32_t total)
{
    if (!live_ || total <= 0) return;
    live_->ui->Progbar1->setLevel(int(std::int64_t(current) * 100 / total));
}

void TForm1::FormKeyPress(QChar key)
{
    switch (key.toUpper().unicode()) {
    case '\r':
    case '\n': xprefsClick(); break;
    case 27: close(); break;
    case ' ':
    case 'O': OpenClick(); break;
    case 'B': browseClick(); break;
    case 'C': copyClick(); break;
    case 'E': editasbmpClick(); break;
    case 'F': SpeedButton12Click(); break;
    case 'G': togreyClick(); break;
    case 'H': SpeedButton13Click(); break;
    case 'L': SideBarClick(); break;
    case 'P': printClick(); break;
    case 'R': rotateClick(); break;
    case 'S': save1Click(); break;
    case 'T': TopBarClick(); break;
    default: break;
    }
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
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
    if (pic_->bits != 24) {
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
    if (OpenDialog1->exec() != QDialog::Accepted) return;
    const QStringList chosen = OpenDialog1->selectedFiles();
    if (chosen.isEmpty()) return;
    ui->Image1->repaint();
    LoadImage(chosen.front());
    OpenDialog1->setDirectory(QFileInfo(chosen.front()).absolutePath());
}

void TForm1::FormClose()
{
    if (closed_) return;
    closed_ = true;
    if (!WorkingFile.isEmpty()) QFile::remove(WorkingFile);
    WriteSettings();
    store_.reset();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TForm1::mouseReleaseEvent(QMouseEvent* event)
{
    // A click on a bare part of the window.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) OpenClick();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls.front().toLocalFile();
    ui->Image1->repaint();
    LoadImage(path);
    OpenDialog1->setDirectory(QFileInfo(path).absolutePath());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
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
