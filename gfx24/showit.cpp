// TImageShow: the full-screen show behind _ShowImage, with saving under a new name and format.
#include "showit.h"

#include "dialog_session.h"
#include "gfxdlg.h"
#include "private_temp.h"
#include "ui_showit.h"
#include "windows.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kStatusHeight = 25;

void paintBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The record's description ends at its first NUL or after its 80 bytes.
QString descriptionOf(const PicImage& record)
{
    const std::size_t length = strnlen(record.description, sizeof record.description);
    return QString::fromLocal8Bit(record.description, qsizetype(length));
}

bool isModifier(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock: return true;
    default: return false;
    }
}

}  // namespace

TImageShow::TImageShow(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TImageShow>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    paintBackground(this, QColor(0x80, 0x00, 0x00));
    paintBackground(ui->Panel1, Qt::black);
    paintBackground(ui->Panel2, Qt::black);
    QPalette status = ui->Panel2->palette();
    status.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x00));
    ui->Panel2->setPalette(status);
    ui->Panel2->setTextFormat(Qt::PlainText);  // a path that looks like markup shows as it is
    ui->AnyImage1->setStretch(true);

    GfxDialog1 = new TGfxDialog(this);
    const QString temporary = controls::uniqueTempPath(controls::privateTempDir(), QStringLiteral("~gfxtemp"));
    if (!temporary.isEmpty()) GfxDialog1->setTempFileName(temporary);
}

TImageShow::~TImageShow() = default;

// The colour mode goes first, so the file is converted once, in that mode.
void TImageShow::setImage(const QString& path, bool force256)
{
    ui->AnyImage1->setTruColor(!force256);
    ui->AnyImage1->setFileName(path);
}

// The window takes the whole screen when it shows. A later resize (a window
// manager's) is followed rather than undone, so the two never take turns.
void TImageShow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen && geometry() != screen->geometry()) setGeometry(screen->geometry());
    FormResize();
}

void TImageShow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

// A picture smaller than the image area shows at its own size in the middle;
// a larger one gets the whole area, which the control then shrinks to the
// picture's proportions.
void TImageShow::FormResize()
{
    ui->Panel2->setText(ui->AnyImage1->FileName() + QStringLiteral("    ") + descriptionOf(ui->AnyImage1->Record()));
    PlacePanels();

    const QImage& picture = ui->AnyImage1->Picture();
    const QSize area = ui->Panel1->size();
    const QSize natural = ui->AnyImage1->displaySize();  // one picture pixel per screen pixel
    if (!picture.isNull() && natural.width() < area.width() && natural.height() < area.height()) {
        ui->AnyImage1->resize(natural);
        ui->AnyImage1->setCenterOnParent(true);
    } else {
        ui->AnyImage1->setGeometry(ui->Panel1->rect());
    }
    ui->AnyImage1->setProportional(true);
}

void TImageShow::PlacePanels()
{
    const int statusTop = std::max(height() - kStatusHeight, 0);
    ui->Panel1->setGeometry(0, 0, width(), statusTop);
    ui->Panel2->setGeometry(0, statusTop, width(), kStatusHeight);
}

// The file itself is converted, in full colour whatever the screen shows.
// A save that fails says so; the window stays open either way.
void TImageShow::SaveImage()
{
    const QString file = ui->AnyImage1->FileName();
    GfxDialog1->setLoadFileName(file);
    GfxDialog1->setSaveDirectory(QFileInfo(file).absolutePath());
    if (!GfxDialog1->ExecuteSave() || GfxDialog1->ConvertFile()) return;
    QMessageBox failure(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Cannot write ") + GfxDialog1->SaveFileName(), QMessageBox::Ok, this);
    failure.setObjectName(QStringLiteral("SaveFailure"));
    failure.exec();
}

// S saves; any other key closes. A modifier alone is no key yet: Shift
// comes before a capital S.
void TImageShow::keyPressEvent(QKeyEvent* event)
{
    if (isModifier(event->key())) return;
    if (event->key() == Qt::Key_S) SaveImage();
    else close();
}

void TImageShow::mousePressEvent(QMouseEvent* event)
{
    pressed = true;
    event->accept();
}

void TImageShow::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed && rect().contains(event->position().toPoint());
    pressed = false;
    if (click) close();
}

namespace gfx24 {

void ShowImage(const char* path, int force256)
{
    TImageShow window;
    window.setImage(QFile::decodeName(path), force256 != 0);
    execModal(window);
}

}  // namespace gfx24
