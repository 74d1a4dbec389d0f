// TAdjuster24: the photo adjustment dialog: five tone sliders over a preview of the area the navigator picks.
#include "process.h"

#include "ui_process.h"

#include "artwork.h"
#include "bmp_picture.h"
#include "private_temp.h"
#include "windows.h"
#include "zarngfx.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr int kPreviewWidth = 320;
constexpr int kPreviewHeight = 240;

// The hourglass while the library works on the calling thread.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A BMP the library wrote, or a null image when there is none.
QImage loadPicture(const QString& path)
{
    if (path.isEmpty() || !QFile::exists(path)) return {};
    QImage picture = controls::readBmpPicture(path);
    if (picture.isNull()) picture = QImage(path);
    return picture;
}

// Which file a path names and when it was last written. The library writes
// a file by renaming a fresh one over it, so a rewrite always changes this.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified_seconds = 0;
    std::int64_t modified_nanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identity(const QByteArray& path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, std::int64_t(info.st_mtim.tv_sec),
                        std::int64_t(info.st_mtim.tv_nsec)};
}

}  // namespace

TAdjuster24::TAdjuster24(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TAdjuster24>()),
      Timer1(new QTimer(this)),
      record_(gfx24::newRecord(&TAdjuster24::ShowProgress))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("TAdjuster24"));
    setFixedSize(size());
    instance_ = this;

    ui->Progbar1->setPenColor(QColor(0, 128, 0));
    ui->update->setIcon(artwork::icon(QStringLiteral("refresh")));
    ui->update->setIconSize(QSize(16, 16));

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    for (QScrollBar* bar : {ui->redbar, ui->greenbar, ui->bluebar, ui->brightbar, ui->contbar})
        connect(bar, &QScrollBar::valueChanged, this, &TAdjuster24::barChange);
    connect(ui->Button1, &QPushButton::clicked, this, &TAdjuster24::OkClick);
    connect(ui->Button2, &QPushButton::clicked, this, &TAdjuster24::CancelClick);
    connect(ui->Button3, &QPushButton::clicked, this, &TAdjuster24::ResetClick);
    connect(ui->update, &QPushButton::clicked, this, &TAdjuster24::updateClick);
    connect(Timer1, &QTimer::timeout, this, &TAdjuster24::Timer1Timer);
    ui->Image2->installEventFilter(this);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TAdjuster24::~TAdjuster24()
{
    // A window that never reached its close handler (an export cut short)
    // still leaves no temporary file behind.
    if (!closed_) removeTemporaryFiles();
    if (instance_ == this) instance_ = nullptr;
}

void TAdjuster24::ShowProgress(std::int32_t current, std::int32_t total)
{
    if (instance_) gfx24::showProgress(instance_->ui->Progbar1, current, total);
}

bool TAdjuster24::CheckImage()
{
    _checkbmp(gfx24::localPath(file_).constData(), record_.get());
    return record_->bits == 24;
}

void TAdjuster24::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

bool TAdjuster24::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->Image2 && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        Image2Click();
    return QDialog::eventFilter(watched, event);
}

void TAdjuster24::FormShow()
{
    // 1.
    // Names of this window's own: another program's adjustment window
    // would otherwise show, and on closing delete, this one's files.
    const QString temp_folder = controls::privateTempDir();
    processed_file_ = controls::uniqueTempPath(temp_folder, QStringLiteral("zarngfx24"));
    cropped_file_ = controls::uniqueTempPath(temp_folder, QStringLiteral("zarngfx24a"));

    // 2.
    crop_pending_ = 0;
    confirmed_ = 0;
    _checkbmp(gfx24::localPath(file_).constData(), record_.get());
    file_width_ = record_->width;
    file_height_ = record_->height;

    // The navigator shows the whole file at half size.
    ui->ScrollBox2->horizontalScrollBar()->setValue(0);
    ui->ScrollBox2->verticalScrollBar()->setValue(0);
    QImage picture;
    {
        BusyCursor busy;
        picture = loadPicture(file_);
    }
    const QSize half(picture.width() / 2, picture.height() / 2);
    ui->Image2->setPixmap(
        half.isEmpty() ? QPixmap()
                       : QPixmap::fromImage(picture.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    ui->Image2->resize(half);
    last_horizontal_ = 0;
    last_vertical_ = 0;

    // The library crops from the file, so the file's own size counts
    // (the navigator's picture has it too whenever it could be loaded).
    preview_width_ = std::min(file_width_, kPreviewWidth);
    preview_height_ = std::min(file_height_, kPreviewHeight);

    // 5.
    locked_ = 0;
    Timer1->start();
    crop_pending_ = 1;
    ResetClick();
}

void TAdjuster24::ResetClick()
{
    Timer1->stop();
    for (QScrollBar* bar : {ui->redbar, ui->greenbar, ui->bluebar, ui->brightbar, ui->contbar}) bar->setValue(0);
    ui->Progbar1->setLevel(0);
    locked_ = 0;
    Timer1->start();
    RefreshPreview();
}

void TAdjuster24::barChange()
{
    if (locked_) return;
    ui->Label1->setText(QString::number(ui->redbar->value()));
    ui->Label2->setText(QString::number(ui->greenbar->value()));
    ui->Label3->setText(QString::number(ui->bluebar->value()));
    ui->Label4->setText(QString::number(ui->brightbar->value()));
    ui->Label5->setText(QString::number(ui->contbar->value()));
    RefreshPreview();
}

void TAdjuster24::updateClick()
{
    RefreshPreview();
}

void TAdjuster24::Image2Click()
{
    RefreshPreview();
}

QPoint TAdjuster24::navigatorPosition() const
{
    return {ui->ScrollBox2->horizontalScrollBar()->value(), ui->ScrollBox2->verticalScrollBar()->value()};
}

// Twice the navigator's offsets, kept inside the file: the library copies a
// rectangle that reaches past the edge uncut, the whole image.
QPoint TAdjuster24::cropOrigin() const
{
    const QPoint at = navigatorPosition() * 2;
    const int right = std::max(0, file_width_ - preview_width_);
    const int bottom = std::max(0, file_height_ - preview_height_);
    return {std::clamp(at.x(), 0, right), std::clamp(at.y(), 0, bottom)};
}

void TAdjuster24::Timer1Timer()
{
    // Each tick that finds the navigator moved counts one more change; the
    // preview follows once a tick finds no new change since the last.
    const QPoint at = navigatorPosition();
    if (at.x() != last_horizontal_ || at.y() != last_vertical_) {
        last_horizontal_ = at.x();
        last_vertical_ = at.y();
        ++crop_pending_;
    }
    if (crop_pending_ == 0) return;
    if (crop_pending_ == last_seen_) {
        RefreshPreview();
        crop_pending_ = 0;
        last_seen_ = 0;
    } else {
        last_seen_ = crop_pending_;
    }
}

void TAdjuster24::RefreshPreview()
{
    if (!record_) return;
    const QByteArray processed = gfx24::localPath(processed_file_);
    const QByteArray cropped = gfx24::localPath(cropped_file_);
    BusyCursor busy;

    // A navigator moved since the last tick is followed now: an asked-for
    // refresh never shows the area the navigator has left.
    const QPoint at = navigatorPosition();
    if (at.x() != last_horizontal_ || at.y() != last_vertical_) {
        last_horizontal_ = at.x();
        last_vertical_ = at.y();
        ++crop_pending_;
    }

    // Old results go first, so a step that fails shows an empty
    // preview rather than a stale one.
    if (crop_pending_ != 0) {
        QFile::remove(cropped_file_);
        if (preview_width_ > 0 && preview_height_ > 0) {
            const QPoint origin = cropOrigin();
            _bmpcrop(gfx24::localPath(file_).constData(), cropped.constData(), record_.get(), origin.x(), origin.y(),
                     preview_width_, preview_height_);
        }
        crop_pending_ = 0;
    }

    // 2.
    QFile::remove(processed_file_);
    _bmpprocess(cropped.constData(), processed.constData(), record_.get(), ui->redbar->value(), ui->greenbar->value(),
                ui->bluebar->value(), ui->brightbar->value(), ui->contbar->value());

    // 3.
    const QImage preview = loadPicture(processed_file_);
    if (preview.isNull()) ui->Image1->clear();
    else ui->Image1->setPixmap(QPixmap::fromImage(preview));
    crop_pending_ = 0;
}

void TAdjuster24::OkClick()
{
    confirmed_ = 1;
    accept();
}

void TAdjuster24::CancelClick()
{
    reject();
}

void TAdjuster24::done(int result)
{
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    QDialog::done(result);
}

void TAdjuster24::FormClose()
{
    // The whole file gets the previewed change. The library leaves the
    // file as it was when it cannot read or write it, so success shows as
    // a new file of the same 24-bit size in its place.
    if (confirmed_ && record_) {
        const QByteArray file = gfx24::localPath(file_);
        const std::optional<FileIdentity> before = identity(file);
        {
            BusyCursor busy;
            _bmpprocess(file.constData(), file.constData(), record_.get(), ui->redbar->value(), ui->greenbar->value(),
                        ui->bluebar->value(), ui->brightbar->value(), ui->contbar->value());
        }
        const std::optional<FileIdentity> after = identity(file);
        rewritten_ = before && after && *after != *before && _checkbmp(file.constData(), record_.get()) != 0 &&
                     record_->bits == 24 && record_->width == file_width_ && record_->height == file_height_;
    }

    // 2.
    removeTemporaryFiles();

    // 3.
    locked_ = 1;
    Timer1->stop();
    record_.reset();
}

void TAdjuster24::removeTemporaryFiles()
{
    if (!processed_file_.isEmpty()) QFile::remove(processed_file_);
    if (!cropped_file_.isEmpty()) QFile::remove(cropped_file_);
}

namespace gfx24 {

int AdjustImage(const char* path)
{
    TAdjuster24 window;
    window.setFile(QFile::decodeName(path));
    if (!window.CheckImage()) {
        QWidget* owner =
            QApplication::focusWidget() ? QApplication::focusWidget()->window() : QApplication::activeWindow();
        QMessageBox refusal(QMessageBox::NoIcon, QStringLiteral("Error"), QStringLiteral("This is not a 24bit Image!"),
                            QMessageBox::Ok, owner);
        refusal.exec();
        return 0;
    }
    execModal(window);
    return window.Confirmed() && window.Rewritten() ? 1 : 0;
}

}  // namespace gfx24
