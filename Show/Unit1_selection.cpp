// TForm1: the right- or middle-button selection, cropping to it, full or half size, dragging out, and ProcessImage.
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
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <utility>

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
    // The outline from the start point to the corner, over the picture. At
    // half size the 2-pixel pen of the image is 1 screen pixel wide.
    const int scale = Settings.Scale == 2 ? 2 : 1;
    ui->Image1->setOutline(QPoint(SelStartX, SelStartY), QPoint(cornerX, cornerY), 2 / scale);
}

void TForm1::Image1MouseDown(Qt::MouseButton button, int x, int y)
{
    // Nothing shown, nothing to select.
    if (button == Qt::LeftButton || !Settings.AllowCrop || !has_picture()) return;
    core_->showFileTitle();
    crop_caption_shown_ = false;
    clear_selection();
    SelStartX = SelCornerX = x;
    SelStartY = SelCornerY = y;
    Dragging = 1;
}

void TForm1::Image1MouseMove(int x, int y)
{
    if (!Dragging) return;
    const int scale = Settings.Scale == 2 ? 2 : 1;
    // "CropStep" 1 at half size is less than one control pixel: the
    // selection then moves in single control pixels.
    const int step = std::max(1, Settings.CropStep / scale);
    // A drag past the picture's edge selects up to the edge.
    const QSize area = ui->Image1->deviceSize();
    x = std::clamp(x, 0, area.width());
    y = std::clamp(y, 0, area.height());
    if (x == SelCornerX && y == SelCornerY) return;

    int dx = x - SelStartX, dy = y - SelStartY;
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
    core_->setTitle(QString::asprintf("Show - %ld Pixel Crop : %ldx%ld", long(Settings.CropStep), long(dx) * scale,
                                      long(dy) * scale));
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
}

void TForm1::Image1Click()
{
    if (!HasSelection && Settings.SingleClick) close();
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
    // A selection is kept in the control's pixels, which now stand for a
    // different part of the picture than its caption says: it goes.
    if (HasSelection || Dragging) {
        Dragging = 0;
        clear_selection();
        core_->showFileTitle();
    }
    FitWindow();
}

void TForm1::selectionZoomChanged(qreal from, qreal to)
{
    (void)from;
    (void)to;
}

void TForm1::ProcessImage(int code)
{
    if (!has_picture()) return;
    // The selection is in the control's pixels, the picture's at full size.
    const int scale = Settings.Scale == 2 ? 2 : 1;
    const QRect selected(std::min(SelStartX, SelCornerX) * scale, std::min(SelStartY, SelCornerY) * scale,
                         std::abs(SelCornerX - SelStartX) * scale, std::abs(SelCornerY - SelStartY) * scale);
    const bool refit = core_->process(code, code == kCropToSelection ? selected : QRect());
    clear_selection();
    if (refit) FitWindow();
}
