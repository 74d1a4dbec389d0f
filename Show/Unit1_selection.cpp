// TForm1: the right- or middle-button selection, cropping to it, full or half size, panning, dragging out,
// ProcessImage.
#include "Unit1.h"

#include "mbutton.h"
#include "picturebox.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// The picture pixel boundary nearest a mouse position in the control's
// device pixels, within the picture: a selection's corners lie between
// pixels, so at any zoom the corner goes to the nearest line between two.
QPoint picture_point(const TPictureBox& box, int x, int y)
{
    const QPointF at = box.toPicture(QPointF(x, y));
    const QSize full = box.fullSize();
    return QPoint(std::clamp(int(std::lround(at.x())), 0, std::max(0, full.width())),
                  std::clamp(int(std::lround(at.y())), 0, std::max(0, full.height())));
}

}  // namespace

void TForm1::connect_selection()
{
    // The picture's own menu opens when the right button is released, so a
    // right drag selects first and then offers "Crop to Selection".
    ui->Image1->setContextMenuPolicy(Qt::PreventContextMenu);
    connect(ui->Image1, &TPictureBox::mouseDown, this,
            [this](Qt::MouseButton button, QPoint at) { Image1MouseDown(button, at.x(), at.y()); });
    connect(ui->Image1, &TPictureBox::mouseMove, this, [this](QPoint at) { Image1MouseMove(at.x(), at.y()); });
    connect(ui->Image1, &TPictureBox::mouseUp, this,
            [this](Qt::MouseButton button, QPoint at) { Image1MouseUp(button, at.x(), at.y()); });
    connect(ui->Image1, &TPictureBox::clicked, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) Image1Click();
    });
    // The drag runs a loop of its own, begun once the move that started it is handled.
    connect(ui->Image1, &TPictureBox::dragStarted, this, &TForm1::Image1StartDrag, Qt::QueuedConnection);

    // A picture larger than the view pans under a left drag; dragging the
    // file out then needs Ctrl. The hand shows over the picture whenever the
    // view's scroll range changes (a load, a zoom, a resize of the window).
    ui->Image1->dragOutWanted = [this](Qt::KeyboardModifiers keys) {
        return (keys & Qt::ControlModifier) || !can_pan();
    };
    connect(ui->Image1, &TPictureBox::panned, this, &TForm1::pan_by);
    connect(ui->ScrollBox1->horizontalScrollBar(), &QScrollBar::rangeChanged, this, &TForm1::show_pan_cursor);
    connect(ui->ScrollBox1->verticalScrollBar(), &QScrollBar::rangeChanged, this, &TForm1::show_pan_cursor);

    QAction* crop = PopupMenu1->findChild<QAction*>(QStringLiteral("crop"));
    connect(crop, &QAction::triggered, this, &TForm1::cropClick);
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this, crop] { crop->setVisible(HasSelection); });
}

void TForm1::clear_selection()
{
    HasSelection = false;
    ui->Image1->clearOutline();
    // The selection's size in the title goes with the selection.
    if (std::exchange(crop_caption_shown_, false)) core_->showFileTitle();
}

void TForm1::DrawSelection(int cornerX, int cornerY)
{
    // The outline from the start point to the corner, over the picture at
    // its zoom: 2 screen pixels wide from full size up, 1 below, as half
    // size has always drawn it.
    const TPictureBox& box = *ui->Image1;
    const int pen = box.deviceSize().width() >= box.fullSize().width() ? 2 : 1;
    ui->Image1->setOutline(box.toDevice(QPointF(SelStartX, SelStartY)).toPoint(),
                           box.toDevice(QPointF(cornerX, cornerY)).toPoint(), pen);
}

void TForm1::Image1MouseDown(Qt::MouseButton button, int x, int y)
{
    // Nothing shown, nothing to select.
    if (button == Qt::LeftButton || !Settings.AllowCrop || !has_picture()) return;
    core_->showFileTitle();
    crop_caption_shown_ = false;
    clear_selection();
    const QPoint start = picture_point(*ui->Image1, x, y);
    SelStartX = SelCornerX = start.x();
    SelStartY = SelCornerY = start.y();
    Dragging = 1;
}

void TForm1::Image1MouseMove(int x, int y)
{
    if (!Dragging) return;
    // Steps of "CropStep" picture pixels at any zoom; below full size the
    // pointer itself moves by more than one picture pixel.
    const int step = std::max(1, Settings.CropStep);
    // A drag past the picture's edge selects up to the edge.
    const QPoint at = picture_point(*ui->Image1, x, y);
    if (at == QPoint(SelCornerX, SelCornerY)) return;

    int dx = at.x() - SelStartX, dy = at.y() - SelStartY;
    const int sign_x = dx < 0 ? -1 : 1, sign_y = dy < 0 ? -1 : 1;
    dx = std::abs(dx);
    dy = std::abs(dy);
    if (dx < step && dy < step) return;
    dx = dx / step * step;
    dy = dy / step * step;

    SelCornerX = SelStartX + sign_x * dx;
    SelCornerY = SelStartY + sign_y * dy;
    DrawSelection(SelCornerX, SelCornerY);
    HasSelection = true;
    core_->setTitle(QString::asprintf("Show - %ld Pixel Crop : %ldx%ld", long(Settings.CropStep), long(dx), long(dy)));
    crop_caption_shown_ = true;
}

void TForm1::Image1MouseUp(Qt::MouseButton button, int x, int y)
{
    if (Dragging) {
        Dragging = 0;
        // A rectangle without area is no selection, and shows none.
        if (SelStartX == SelCornerX || SelStartY == SelCornerY) clear_selection();
    }
    if (button == Qt::RightButton)
        PopupMenu1->popup(ui->Image1->mapToGlobal(QPointF(x, y) / ui->Image1->pixelRatio()).toPoint());
    if (button == Qt::LeftButton) show_pan_cursor();  // a pan ends with the button
}

void TForm1::Image1Click()
{
    if (!HasSelection && Settings.SingleClick) close();
}

bool TForm1::can_pan() const
{
    return has_picture() && pictureLargerThanView();
}

void TForm1::pan_by(QPoint delta)
{
    // The picture follows the pointer: the view moves the other way.
    ui->Image1->setCursor(Qt::ClosedHandCursor);
    QScrollBar* across = ui->ScrollBox1->horizontalScrollBar();
    QScrollBar* down = ui->ScrollBox1->verticalScrollBar();
    across->setValue(across->value() - delta.x());
    down->setValue(down->value() - delta.y());
}

void TForm1::show_pan_cursor()
{
    if (can_pan()) ui->Image1->setCursor(Qt::OpenHandCursor);
    else ui->Image1->unsetCursor();
}

std::unique_ptr<QMimeData> TForm1::dragMimeData() const
{
    if (!has_picture()) return nullptr;
    // The file as loaded while the picture is still that file's; after any
    // change (or when the file has gone), the working file that holds it.
    const bool original = core_->editsSinceLoad() == 0 && !FileName.isEmpty() && QFileInfo::exists(FileName);
    const QString file = QFileInfo(original ? FileName : WorkingFile).absoluteFilePath();
    auto offered = std::make_unique<QMimeData>();
    offered->setUrls({QUrl::fromLocalFile(file)});
    return offered;
}

void TForm1::Image1StartDrag()
{
    // A button released before the drag could begin ends it there.
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) return;
    std::unique_ptr<QMimeData> offered = dragMimeData();
    if (!offered) return;
    // Owned by the picture: the drag's own loop runs here and ends before it returns.
    auto* drag = new QDrag(ui->Image1);
    drag->setMimeData(offered.release());
    drag->setPixmap(
        QPixmap::fromImage(ui->Image1->Picture().scaled(96, 96, Qt::KeepAspectRatio, Qt::FastTransformation)));
    drag->exec(Qt::CopyAction);
    drag->deleteLater();
}

void TForm1::cropClick()
{
    if (HasSelection) ProcessImage(kCropToSelection);
}

void TForm1::SpeedButton13Click()
{
    // Without a picture there is no size to switch, and nothing to keep.
    if (!has_picture()) {
        if (auto* full_half = findChild<TMButton*>(QStringLiteral("MButton7"))) full_half->setDown(Settings.Scale == 2);
        return;
    }
    Settings.Scale = Settings.Scale == 1 ? 2 : 1;
    if (auto* full_half = findChild<TMButton*>(QStringLiteral("MButton7"))) full_half->setDown(Settings.Scale == 2);
    // A selection is kept in picture pixels: it stays, with its caption,
    // and its outline follows the picture to the new size (FitWindow's
    // change of zoom calls selectionZoomChanged).
    FitWindow();
}

void TForm1::selectionZoomChanged(qreal from, qreal to)
{
    // Picture pixels stand for the same part of the picture at any zoom:
    // only the outline moves, to where the control now shows them.
    (void)from;
    (void)to;
    if (HasSelection) DrawSelection(SelCornerX, SelCornerY);
}

void TForm1::ProcessImage(int code)
{
    if (!has_picture()) return;
    // The selection is in picture pixels: exactly what its outline frames.
    const QRect selected(std::min(SelStartX, SelCornerX), std::min(SelStartY, SelCornerY),
                         std::abs(SelCornerX - SelStartX), std::abs(SelCornerY - SelStartY));
    const bool refit = core_->process(code, code == kCropToSelection ? selected : QRect());
    clear_selection();
    if (refit) FitWindow();
}
