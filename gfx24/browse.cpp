// TImageForm: the image browser behind _Pic_Browse, from the start path to the file the user chooses.
#include "browse.h"

#include "ui_browse.h"

#include "bmp_picture.h"
#include "display_profile.h"
#include "file_filters.h"
#include "private_temp.h"
#include "settings_store.h"
#include "thumbnail_grid.h"
#include "windows.h"
#include "zarngfx.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>

namespace {

// The designed client size, at which the preview area is 200 x 200, and
// where the area's column starts.
constexpr int kDesignWidth = 495;
constexpr int kDesignHeight = 259;
constexpr int kDesignSide = 200;
constexpr int kAreaColumn = 280;
constexpr int kTreeWidth = 166;
constexpr int kListWidth = 105;
// Between the list and the area's column, and right of the designed area.
constexpr int kColumnGap = kAreaColumn - kTreeWidth - kListWidth;
constexpr int kRightMargin = kDesignWidth - kAreaColumn - kDesignSide;
constexpr int kStatusHeight = 16;
constexpr int kBarWidth = 104;
constexpr int kMinWindowWidth = 160;
constexpr int kMinWindowHeight = 120;

constexpr int kJpegKind = 4;
constexpr int kPhotoCdKind = 5;

// The decoding reduction the preview area's width calls for: the library's
// codes and the factors by which they shrink each side.
struct Reduction {
    int jpeg_code, jpeg_factor, photocd_code, photocd_factor;
};

Reduction reductionFor(int area_width)
{
    if (area_width <= 120) return {2, 4, 1, 4};
    if (area_width <= 256) return {1, 2, 1, 4};
    return {0, 1, 2, 2};
}

QString withSlash(const QString& path)
{
    return path.endsWith('/') ? path : path + '/';
}

QString absoluteFolder(const QString& path)
{
    return withSlash(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

bool readableFolder(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

// The folder of `path` or, when that is gone, the nearest one above it that
// exists; the current folder for a path that names none.
QString nearestFolder(const QString& path)
{
    if (path.isEmpty()) return withSlash(QDir::currentPath());
    QString folder = path.endsWith('/') ? absoluteFolder(path) : withSlash(QFileInfo(path).absolutePath());
    while (!QFileInfo(folder).isDir() && folder != QStringLiteral("/"))
        folder = withSlash(QFileInfo(QDir::cleanPath(folder)).absolutePath());
    return folder;
}

// Four tiles, for the switch to the grid where the icon theme has no glyph.
QIcon gridGlyph(const QColor& colour)
{
    QPixmap tiles(32, 32);
    tiles.fill(Qt::transparent);
    QPainter painter(&tiles);
    for (const QPoint& corner : {QPoint(3, 3), QPoint(18, 3), QPoint(3, 18), QPoint(18, 18)})
        painter.fillRect(QRect(corner, QSize(11, 11)), colour);
    painter.end();
    return QIcon(tiles);
}

// The hourglass while the library converts on the calling thread.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

TImageForm::TImageForm(QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TImageForm>()),
      settings(std::make_unique<SettingsStore>(QStringLiteral("Browser"))),
      record(gfx24::newRecord(&TImageForm::ShowProgress)),
      preview_file(controls::uniqueTempPath(controls::privateTempDir(), QStringLiteral("brwsedll")))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("TImageForm"));
    instance = this;

    // Where and how large the window was when it last closed, and how the
    // tree and the list shared their side.
    RestoreGeometry();
    PlaceControls();
    ui->Splitter1->setSizes({std::max(0, settings->number(QStringLiteral("TreeWidth"))),
                             std::max(0, settings->number(QStringLiteral("ListWidth")))});

    // The files every reader of the library takes.
    const char* pattern = _Pic_Pattern(0);
    mask = controls::filePatterns(QString::fromLatin1(pattern ? pattern : "*.*"));

    ui->DirTree1->setReadOnStart(true);
    ui->DirTree1->setOnAddDir([this](const QString& name, bool& add) { DirTree1AddDir(name, add); });
    ui->DirTree1->setOnChange([this] { DirTree1Change(); });
    ui->Progbar1->setPenColor(palette().color(QPalette::Active, QPalette::Highlight));
    ui->Progbar1->setBorder(TProgbar::bLowered);
    ui->Panel1->hide();

    // The user's picks only: the list's own changes are made with its
    // signals blocked, and taking the focus moves no selection.
    connect(ui->FileListBox1, &QListWidget::itemSelectionChanged, this, &TImageForm::FileListBox1Click);
    // A click on the file already selected shows it again (at the reduction
    // the area now asks for); a click on another one changed the selection.
    connect(ui->FileListBox1, &QListWidget::itemClicked, this, [this] {
        if (pressed_row >= 0 && ui->FileListBox1->currentRow() == pressed_row) FileListBox1Click();
    });
    ui->FileListBox1->installEventFilter(this);
    ui->FileListBox1->viewport()->installEventFilter(this);
    ui->Image1->installEventFilter(this);

    // The thumbnails share the list's place, its picks and its keys.
    grid = new gfx24::ThumbnailGrid(ui->FileStack1);
    ui->FileStack1->addWidget(grid);
    ui->GridButton->setIcon(
        QIcon::fromTheme(QStringLiteral("view-grid"), gridGlyph(palette().color(QPalette::ButtonText))));
    connect(grid, &gfx24::ThumbnailGrid::picked, this, &TImageForm::FileGrid1Pick);
    connect(grid, &gfx24::ThumbnailGrid::chosen, this, &TImageForm::Choose);
    connect(ui->GridButton, &QToolButton::toggled, this, &TImageForm::GridButtonClick);
    grid->installEventFilter(this);
    ConnectFileOperations();
    ui->GridButton->setChecked(settings->flag(QStringLiteral("Grid")));
}

TImageForm::~TImageForm()
{
    // The tree outlives this part of the window by a moment; it calls back no more.
    ui->DirTree1->setOnChange(nullptr);
    ui->DirTree1->setOnAddDir(nullptr);
    // A window that never reached its close handler leaves no file behind.
    if (!closed && !preview_file.isEmpty()) QFile::remove(preview_file);
    if (instance == this) instance = nullptr;
}

void TImageForm::ShowProgress(std::int32_t current, std::int32_t total)
{
    if (instance) gfx24::showProgress(instance->ui->Progbar1, current, total);
}

// The saved place, kept on the screen it was on (or the main one) and no
// larger than that screen's free area, so the window can never reopen where
// nobody can reach it.
void TImageForm::RestoreGeometry()
{
    const int top = settings->number(QStringLiteral("WindowTop"));
    const int left = settings->number(QStringLiteral("WindowLeft"));
    int width = std::max(settings->number(QStringLiteral("WindowWidth")), kMinWindowWidth);
    int height = std::max(settings->number(QStringLiteral("WindowHeight")), kMinWindowHeight);
    QScreen* screen = QGuiApplication::screenAt(QPoint(left, top));
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) {
        setGeometry(left, top, width, height);
        return;
    }
    const QRect free = screen->availableGeometry();
    width = std::min(width, free.width());
    height = std::min(height, free.height());
    const int x = std::max(free.left(), std::min(left, free.left() + free.width() - width));
    const int y = std::max(free.top(), std::min(top, free.top() + free.height() - height));
    resize(width, height);
    move(x, y);
}

void TImageForm::Start(const QByteArray& start)
{
    path = QFile::decodeName(start);
    fitted = 0;
    const QString folder_shown = nearestFolder(path);
    ui->DirTree1->SelectPath(folder_shown);
    chosen = 0;
    if (!SetFileName(path)) SetFileName(folder_shown);
}

QByteArray TImageForm::Choice() const
{
    const QByteArray encoded = gfx24::localPath(path);
    return chosen && encoded.size() <= kPathBytes ? encoded : QByteArray();
}

void TImageForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown) return;
    shown = true;
    FormShow();
}

void TImageForm::FormShow()
{
    // 1.
    SetFileName(path);
    ui->FileStack1->currentWidget()->setFocus();
    FileListBox1Click();
    // 2.
    ui->Label1->setText(FileListPath());
}

bool TImageForm::SetFileName(const QString& name)
{
    if (name.isEmpty()) return false;
    const bool folder_only = name.endsWith('/');
    const QFileInfo file(name);
    const QString target = folder_only ? absoluteFolder(name) : withSlash(file.absolutePath());
    if (!readableFolder(target)) return false;
    if (target != folder) ListFolder(target);
    if (folder_only) return true;

    const QSignalBlocker quiet(ui->FileListBox1);
    const QList<QListWidgetItem*> found =
        ui->FileListBox1->findItems(file.fileName(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty()) {
        ui->FileListBox1->setCurrentRow(-1);
    } else {
        ui->FileListBox1->setCurrentItem(found.first());
        ui->FileListBox1->scrollToItem(found.first());
    }
    grid->selectRow(ui->FileListBox1->currentRow());
    return true;
}

void TImageForm::ListFolder(const QString& target)
{
    const QSignalBlocker quiet(ui->FileListBox1);
    folder = target;
    ui->FileListBox1->clear();
    // The library's patterns are lower case; files here often carry upper-case extensions.
    const QStringList names = QDir(target).entryList(mask, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    ui->FileListBox1->addItems(names);
    ui->FileListBox1->setCurrentRow(-1);
    grid->showFolder(target, names);
}

QString TImageForm::FileListPath() const
{
    const QListWidgetItem* selected = ui->FileListBox1->currentItem();
    return selected && selected->isSelected() ? folder + selected->text() : QString();
}

void TImageForm::GridButtonClick(bool on)
{
    QWidget* view = on ? static_cast<QWidget*>(grid) : ui->FileListBox1;
    const bool had_focus = ui->FileStack1->currentWidget()->hasFocus();
    const QListWidgetItem* selected = ui->FileListBox1->currentItem();
    grid->selectRow(selected && selected->isSelected() ? ui->FileListBox1->currentRow() : -1);
    ui->FileStack1->setCurrentWidget(view);
    // A grid too narrow for one cell takes the width from the tree, which
    // keeps a third of their side.
    QList<int> shares = ui->Splitter1->sizes();
    const int wanted =
        grid->gridSize().width() + grid->verticalScrollBar()->sizeHint().width() + 2 * grid->frameWidth();
    if (on && shares.size() == 2 && shares[1] < wanted) {
        const int moved = std::min(wanted - shares[1], std::max(0, shares[0] - (shares[0] + shares[1]) / 3));
        ui->Splitter1->setSizes({shares[0] - moved, shares[1] + moved});
    }
    grid->setActive(on);
    if (had_focus) view->setFocus();
}

void TImageForm::FileGrid1Pick(int row)
{
    {
        const QSignalBlocker quiet(ui->FileListBox1);
        ui->FileListBox1->setCurrentRow(row);
    }
    FileListBox1Click();
}

void TImageForm::FileListBox1Click()
{
    // 1.
    path = FileListPath();
    // 2.
    if (path.isEmpty() || !record) return;
    const QByteArray source = gfx24::localPath(path);
    kind = _Pic_Valid(source.constData());
    if (kind == 0) return;
    // 3.
    const Reduction reduction = reductionFor(ui->Panel2->width());
    // 4.
    ui->Panel1->hide();
    ui->Panel1->move(0, 0);
    // A file the library cannot convert (or no private folder to put it
    // in) leaves the frame hidden and the caption as it was.
    QImage converted;
    if (!preview_file.isEmpty()) {
        BusyCursor busy;
        const QByteArray target = gfx24::localPath(preview_file);
        if (_anytobmps(source.constData(), target.constData(), record.get(), reduction.photocd_code,
                       reduction.jpeg_code) != 0) {
            converted = controls::readBmpPicture(preview_file);
            if (converted.isNull()) converted = QImage(preview_file);
        }
    }
    // 6.
    if (converted.isNull()) return;
    picture = converted;
    ui->Image1->setPixmap(QPixmap::fromImage(controls::readDisplayTransform().applied(picture)));
    // 7.
    FitFrame();
    // The caption tells the size before the reduction for the preview.
    const int factor = kind == kJpegKind ? reduction.jpeg_factor : kind == kPhotoCdKind ? reduction.photocd_factor : 1;
    const char* description = _Pic_Description(kind);
    setWindowTitle(QStringLiteral("Browse (%1 x %2) %3")
                       .arg(std::int64_t(picture.width()) * factor)
                       .arg(std::int64_t(picture.height()) * factor)
                       .arg(QString::fromUtf8(description ? description : "")));
    // 9.
    ui->Panel1->show();
    ui->Label1->setText(path);
    ui->Progbar1->setLevel(0);
}

// The frame takes the picture's proportions in whole percent, as large as
// the square area allows, centred in it.
void TImageForm::FitFrame()
{
    if (picture.isNull()) return;
    const std::int64_t width = picture.width(), height = picture.height();
    const std::int64_t a = width * 100 / height, b = height * 100 / width;
    const std::int64_t area_width = ui->Panel2->width(), area_height = ui->Panel2->height();
    std::int64_t frame_width = area_width, frame_height = area_height;
    if (b < a) frame_height = area_height * 100 / a;
    else if (b > 0) frame_width = area_width * 100 / b;
    ui->Panel1->setGeometry(int((area_width - frame_width) / 2), int((area_height - frame_height) / 2),
                            int(frame_width), int(frame_height));
    ui->Image1->setGeometry(ui->Panel1->contentsRect());
    fitted = 1;
}

void TImageForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TImageForm::FormResize()
{
    PlaceControls();
    if (fitted) FitFrame();
}

// The square area grows with the smaller of the window's growths past its
// design size; the tree and the list, side by side in their splitter, take
// the width it leaves above the status bar, so a window made wider shows
// more of the folder and file names. The area stays centred in the part
// right of their column.
void TImageForm::PlaceControls()
{
    const int client_width = width(), client_height = height();
    const int frame = ui->Panel3->frameWidth();
    const int status_height = std::max(kStatusHeight, ui->Label1->sizeHint().height() + 2 * frame);
    const int body_height = std::max(0, client_height - status_height);
    const int side = std::max(0, kDesignSide + std::min(client_width - kDesignWidth, client_height - kDesignHeight));
    const int column_width = std::max(0, client_width - side - kColumnGap - kRightMargin);
    const int column = column_width + kColumnGap;

    ui->Splitter1->setGeometry(0, 0, column_width, body_height);
    ui->Panel3->setGeometry(0, body_height, client_width, status_height);
    const QRect inside = ui->Panel3->contentsRect();
    ui->Progbar1->setGeometry(inside.left(), inside.top(), kBarWidth, inside.height());
    const int button = inside.height();
    ui->Label1->setGeometry(inside.left() + kBarWidth + 4, inside.top(),
                            std::max(0, inside.width() - kBarWidth - 4 - button), inside.height());
    ui->GridButton->setGeometry(inside.right() + 1 - button, inside.top(), button, button);
    ui->GridButton->setIconSize(QSize(button - 4, button - 4));

    const int top = (client_height - (side + status_height)) / 2;
    const int left = (client_width - (side + column)) / 2 + column;
    ui->Panel2->setGeometry(left, top, side, side);
}

void TImageForm::mousePressEvent(QMouseEvent* event)
{
    QDialog::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) FormClick();
}

void TImageForm::FormClick()
{
    FitFrame();
}

void TImageForm::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) Choose();
    else QDialog::mouseDoubleClickEvent(event);
}

void TImageForm::keyPressEvent(QKeyEvent* event)
{
    if (!FormKeyPress(event->key())) QDialog::keyPressEvent(event);
}

bool TImageForm::FormKeyPress(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: Choose(); return true;
    case Qt::Key_Escape: reject(); return true;
    default: return false;
    }
}

bool TImageForm::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == ui->FileListBox1 || watched == grid) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (FileOperationKey(*key)) return true;
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
            if (FormKeyPress(key->key())) return true;
    } else if (watched == ui->FileListBox1->viewport() && event->type() == QEvent::MouseButtonPress) {
        const QListWidgetItem* current = ui->FileListBox1->currentItem();
        pressed_row = current && current->isSelected() ? ui->FileListBox1->currentRow() : -1;
    } else if (watched == ui->Image1 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && ui->Image1->rect().contains(mouse->position().toPoint())) {
            Choose();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The caller's buffer holds 255 bytes and the end mark: a longer path
// cannot be handed back, so the choice is refused and the window stays.
void TImageForm::Choose()
{
    if (gfx24::localPath(path).size() > kPathBytes) {
        QApplication::beep();
        ui->Label1->setText(QStringLiteral("Path too long to return: ") + path);
        return;
    }
    chosen = 1;
    accept();
}

void TImageForm::DirTree1Change()
{
    const QString current = ui->DirTree1->CurrentPath();
    if (current == QStringLiteral("?") || SetFileName(current)) return;
    QApplication::beep();
    ui->Label1->setText(QStringLiteral("Drive or Directory ") + current + QStringLiteral(" isn't responding"));
    ui->DirTree1->SelectPath(folder);
}

// The recycle folders of other systems' disks, and the desktop's trash.
void TImageForm::DirTree1AddDir(const QString& Filename, bool& DoAdd)
{
    if (Filename.contains(QStringLiteral("RECYCLED"))) {
        DoAdd = false;
        return;
    }
    const QString trash_folders[] = {
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/"),
        QDir::homePath() + QStringLiteral("/.local/share/Trash/")};
    for (const QString& trash : trash_folders)
        if (Filename.startsWith(trash)) DoAdd = false;
}

void TImageForm::done(int result)
{
    if (!closed) {
        closed = true;
        FormClose();
    }
    QDialog::done(result);
}

void TImageForm::FormClose()
{
    // 1.
    if (!preview_file.isEmpty()) QFile::remove(preview_file);
    // 2.
    if (settings) {
        settings->setNumber(QStringLiteral("WindowTop"), y());
        settings->setNumber(QStringLiteral("WindowLeft"), x());
        settings->setNumber(QStringLiteral("WindowWidth"), width());
        settings->setNumber(QStringLiteral("WindowHeight"), height());
        const QList<int> shares = ui->Splitter1->sizes();
        settings->setNumber(QStringLiteral("TreeWidth"), shares.value(0));
        settings->setNumber(QStringLiteral("ListWidth"), shares.value(1));
        settings->setFlag(QStringLiteral("Grid"), ui->GridButton->isChecked());
        settings->sync();
        settings.reset();
    }
    // 3.
    record.reset();
}

namespace gfx24 {

void PicBrowse(char* buffer)
{
    // Never read past the buffer's promised size, terminated or not.
    const QByteArray start(buffer, int(::strnlen(buffer, TImageForm::kPathBytes)));
    buffer[0] = '\0';
    TImageForm window;
    window.Start(start);
    execModal(window);
    const QByteArray choice = window.Choice();
    std::memcpy(buffer, choice.constData(), std::size_t(choice.size()));
    buffer[choice.size()] = '\0';
}

}  // namespace gfx24
