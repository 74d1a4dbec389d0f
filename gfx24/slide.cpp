// TSlideShow: the slide show behind _SlideShowImages, from listing the folder to the closing tick.
#include "slide.h"

#include "artwork.h"
#include "dialog_session.h"
#include "ui_slide.h"
#include "windows.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace {

const QColor kGreen(0x00, 0x80, 0x00);
constexpr int kBarHeight = 36;

void paintBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The labels keep the window's font: the position and the name must be readable.
void setTextLook(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);  // a file named like markup shows as it is named
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kGreen);
    label->setPalette(palette);
}

// The record's description ends at its first NUL or after its 80 bytes.
QString descriptionOf(const PicImage& record)
{
    const std::size_t length = strnlen(record.description, sizeof record.description);
    return QString::fromLocal8Bit(record.description, qsizetype(length));
}

}  // namespace

TSlideShow::TSlideShow(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TSlideShow>())
{
    instance = this;
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    paintBackground(this, kGreen);
    for (QWidget* panel : {ui->Panel1, ui->Panel2, ui->Panel3}) paintBackground(panel, Qt::black);
    ui->Progbar1->setPenColor(kGreen);
    ui->Progbar1->setBorder(TProgbar::bBody);
    setTextLook(ui->Label1);
    setTextLook(ui->Label2);
    ui->ListBox1->hide();
    ui->AnyImage1->setProgressCallback(&TSlideShow::ShowProgress);
    // The buttons keep their captions but show the icon set's pictures.
    const std::pair<QToolButton*, const char*> pictures[] = {{ui->startbutton, "first"},
                                                             {ui->backbutton, "back"},
                                                             {ui->pausebutton, "pause"},
                                                             {ui->nextbutton, "next"},
                                                             {ui->closebutton, "leave"}};
    for (const auto& [button, name] : pictures) {
        button->setIcon(artwork::icon(QLatin1String(name)));
        button->setIconSize(QSize(14, 14));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TSlideShow::Timer1Timer);
    connect(ui->startbutton, &QToolButton::clicked, this, &TSlideShow::startbuttonClick);
    connect(ui->backbutton, &QToolButton::clicked, this, &TSlideShow::backbuttonClick);
    connect(ui->pausebutton, &QToolButton::toggled, this, &TSlideShow::pausebuttonClick);
    connect(ui->nextbutton, &QToolButton::clicked, this, &TSlideShow::nextbuttonClick);
    connect(ui->closebutton, &QToolButton::clicked, this, &TSlideShow::closebuttonClick);
}

TSlideShow::~TSlideShow()
{
    if (instance == this) instance = nullptr;
}

void TSlideShow::setShow(const QString& folderPath, std::int32_t delaySeconds, std::int32_t force256Colours,
                         std::int32_t loop, std::int32_t validExtensionsOnly, std::int32_t beep)
{
    folder = folderPath;
    delay = delaySeconds;
    force256 = force256Colours;
    endlessLoop = loop;
    validOnly = validExtensionsOnly;
    beepAtEnd = beep;
}

void TSlideShow::setSecondLength(int milliseconds)
{
    secondLength = std::max(milliseconds, 1);
}

void TSlideShow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown) return;
    shown = true;
    FormShow();
}

void TSlideShow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlacePanels();
    if (shown) FitImage();
}

void TSlideShow::FormShow()
{
    endFlag = 0;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) setGeometry(screen->geometry());
    PlacePanels();
    ListFiles();

    if (delay == -1) delay = 1000;
    // No delay, or a negative one, would flip images as fast as they load;
    // a second is the shortest the show waits.
    delay = std::max(delay, std::int32_t(1));
    Timer1->setInterval(int(std::min<std::int64_t>(std::int64_t(delay) * secondLength, INT_MAX)));
    Timer1->start();
    ShowPosition(0);
}

// The image area above the bar; the control strip centred in the bar.
void TSlideShow::PlacePanels()
{
    const int barTop = std::max(height() - kBarHeight, 0);
    ui->Panel2->setGeometry(0, 0, width(), barTop);
    ui->Panel3->setGeometry(0, barTop, width(), kBarHeight);
    ui->Panel1->move((width() - ui->Panel1->width()) / 2, (kBarHeight - ui->Panel1->height()) / 2);
}

// The folder's files (no subfolders), hidden ones too, that the image library
// admits, in ascending order ignoring case; files differing only in case keep
// a fixed order.
void TSlideShow::ListFiles()
{
    ui->ListBox1->clear();
    if (folder.isEmpty()) return;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    QStringList paths;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::NoSort);
    for (const QString& name : names) {
        const QString path = folder + name;
        if (_Pic_ValidExt(gfx24::localPath(path).constData(), validOnly) != 0) paths << path;
    }
    std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    ui->ListBox1->addItems(paths);
}

// A file that cannot be read is passed over in the direction of travel, each
// file at most once, and the picture on show stays with its labels.
void TSlideShow::ShowPosition(std::int32_t i, int step)
{
    const int count = ui->ListBox1->count();
    for (int tried = 0;; ++tried) {
        if (i >= count) {
            if (!endlessLoop && !Paused()) {
                endFlag = 1;
                return;
            }
            i = 0;
        }
        position = std::max(i, std::int32_t(0));
        if (count == 0 || tried == count) return;
        if (ShowFile(position)) return;
        if (step < 0 && position == 0) return;  // nothing readable before it
        i = position + step;
    }
}

// False when the file gives no picture: the control then keeps the one before.
bool TSlideShow::ShowFile(std::int32_t index)
{
    // An image on show again (a button after the last one) means the show
    // goes on rather than closing at the next tick; its labels still stand.
    if (index == onShow) {
        endFlag = 0;
        FitImage();
        return true;
    }
    const int count = ui->ListBox1->count();
    const QString path = ui->ListBox1->item(index)->text();
    const qint64 before = ui->AnyImage1->Picture().cacheKey();
    ui->AnyImage1->setTruColor(force256 == 0);
    // Loaded even under the name of a file that failed before, which the
    // control would take as nothing to do.
    ui->AnyImage1->LoadImageFile(path);
    if (ui->AnyImage1->Picture().isNull() || ui->AnyImage1->Picture().cacheKey() == before) return false;
    onShow = index;
    endFlag = 0;
    FitImage();
    ui->Label1->setText(QStringLiteral("%1 of %2").arg(index + 1).arg(count));
    ui->Label2->setText(QFileInfo(path).fileName() + QStringLiteral("   ") + descriptionOf(ui->AnyImage1->Record()));
    return true;
}

// A picture smaller than the image area shows at its own size in the middle;
// a larger one gets the whole area, which the control then shrinks to the
// picture's proportions.
void TSlideShow::FitImage()
{
    const QImage& picture = ui->AnyImage1->Picture();
    const QSize area = ui->Panel2->size();
    const QSize natural = ui->AnyImage1->displaySize();  // one picture pixel per screen pixel
    if (!picture.isNull() && natural.width() < area.width() && natural.height() < area.height()) {
        ui->AnyImage1->resize(natural);
        ui->AnyImage1->setCenterOnParent(true);
    } else {
        ui->AnyImage1->setGeometry(ui->Panel2->rect());
    }
    ui->AnyImage1->setProportional(true);
}

// `position` names the image this tick shows; the delay runs from the end of
// its loading. After the last image the show wraps, or closes one tick later;
// that closing tick goes on with position past the end, so the end beep
// sounds once more as the show closes.
void TSlideShow::Timer1Timer()
{
    if (endFlag) close();
    const int count = ui->ListBox1->count();
    if (count == 0) {
        Timer1->stop();
        return;
    }
    Timer1->stop();
    ShowPosition(position);
    if (isVisible() && !Paused()) Timer1->start();
    ++position;
    if (position >= count) {
        if (beepAtEnd) {
            QApplication::beep();
            ++beeps;
        }
        if (endlessLoop) position = 0;
        else endFlag = 1;
    }
}

void TSlideShow::startbuttonClick()
{
    ShowPosition(0);
}

// While the show runs, position already names the next image, which "<"
// brings forward at once; while paused it steps back from the one on show.
void TSlideShow::backbuttonClick()
{
    if (Paused()) ShowPosition(onShow - 1, -1);
    else ShowPosition(position);
}

// The image after the one on show, running or paused: position may still
// name the one on show (the first image, or just after a button).
void TSlideShow::nextbuttonClick()
{
    ShowPosition(onShow + 1);
}

void TSlideShow::pausebuttonClick()
{
    if (Paused()) Timer1->stop();
    else Timer1->start();
}

void TSlideShow::closebuttonClick()
{
    close();
}

bool TSlideShow::Paused() const
{
    return ui->pausebutton->isChecked();
}

// The arrows act as the "<" and ">" buttons; Esc closes as on any dialog.
void TSlideShow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left: backbuttonClick(); break;
    case Qt::Key_Right: nextbuttonClick(); break;
    default: QDialog::keyPressEvent(event);
    }
}

// A click on the image or the area around it closes the show; the bar does not.
void TSlideShow::mousePressEvent(QMouseEvent* event)
{
    pressed = !ui->Panel3->geometry().contains(event->position().toPoint());
    event->setAccepted(pressed);
}

void TSlideShow::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed && rect().contains(event->position().toPoint()) &&
                       !ui->Panel3->geometry().contains(event->position().toPoint());
    pressed = false;
    if (click) close();
}

void TSlideShow::ShowProgress(std::int32_t current, std::int32_t total)
{
    gfx24::showProgress(instance ? instance->ui->Progbar1 : nullptr, current, total);
}

namespace gfx24 {

void SlideShowImages(const char* folder, int delay, int force256, int loop, int valid_only, int beep)
{
    TSlideShow window;
    window.setShow(QFile::decodeName(folder), delay, force256, loop, valid_only, beep);
    execModal(window);
}

}  // namespace gfx24
