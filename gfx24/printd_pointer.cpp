// TPrintPreview: moving and sizing the picture's rectangle with the pointer.
#include "printd.h"

#include "printd_parts.h"
#include "ui_printd.h"

#include <QMouseEvent>

#include <algorithm>

using printd::rounded;

namespace {

constexpr int kZone = 10;  // depth of the edge and corner zones

enum DragMode : std::int32_t { kNone = 0, kMove = 1, kCorner = 2, kBottomEdge = 3, kRightEdge = 4 };

DragMode zone_at(QPoint at, QSize size)
{
    const bool right = at.x() > size.width() - kZone, bottom = at.y() > size.height() - kZone;
    if (right && bottom) return kCorner;
    if (bottom) return kBottomEdge;
    if (right) return kRightEdge;
    return kMove;
}

}  // namespace

// The picture and its panel pass the pointer through to the rectangle, so
// one set of handlers serves them all; a click on the page or its grid
// closes the co-ordinates box, but one on the box itself, which reaches the
// page when the label or frame under it leaves it, does not.
bool TPrintPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->Panel1) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) Panel1MouseDown(mouse->position().toPoint());
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            Panel1MouseMove(mouse->position().toPoint(), mouse->buttons() & Qt::LeftButton);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Panel1MouseUp();
            return true;
        case QEvent::MouseButtonDblClick:
            Panel1MouseUp();
            SpeedButton6Click();
            return true;
        default: break;
        }
    } else if ((watched == ui->Panel2 || watched == ui->GraphPaper1) && event->type() == QEvent::MouseButtonPress) {
        const QPoint at =
            static_cast<QWidget*>(watched)->mapTo(ui->Panel2, static_cast<QMouseEvent*>(event)->position().toPoint());
        if (!ui->Panel6->geometry().contains(at)) ui->Panel6->hide();
    }
    return QDialog::eventFilter(watched, event);
}

// While an edge or the corner is dragged the picture is hidden, so the
// rectangle shows black.
void TPrintPreview::Panel1MouseDown(QPoint at)
{
    down_x = at.x();
    down_y = at.y();
    drag_mode = zone_at(at, ui->Panel1->size());
    if (drag_mode != kMove) ui->Image1->hide();
}

void TPrintPreview::Panel1MouseMove(QPoint at, bool button_down)
{
    if (drag_mode != kNone && !button_down) Panel1MouseUp();  // the release went elsewhere
    if (drag_mode == kNone) {
        switch (zone_at(at, ui->Panel1->size())) {
        case kCorner: ui->Panel1->setCursor(Qt::SizeFDiagCursor); break;
        case kRightEdge: ui->Panel1->setCursor(Qt::SizeHorCursor); break;
        case kBottomEdge: ui->Panel1->setCursor(Qt::SizeVerCursor); break;
        default: ui->Panel1->setCursor(Qt::DragMoveCursor); break;
        }
        return;
    }

    QRect rect = ImageRect();
    int width = rect.width(), height = rect.height();
    switch (drag_mode) {
    case kMove: rect.translate(at.x() - down_x, at.y() - down_y); break;
    case kBottomEdge:
        height = at.y();
        if (Proportional()) width = rounded(height * aspect);
        break;
    case kRightEdge:
        width = at.x();
        if (Proportional()) height = rounded(width / aspect);
        break;
    case kCorner:
        if (!Proportional()) {
            width = at.x();
            height = at.y();
        } else if (at.y() > 0) {  // at or above the top edge the size stays as it was
            if (double(at.x()) / at.y() > aspect) {
                width = at.x();
                height = rounded(width / aspect);
            } else {
                height = at.y();
                width = rounded(height * aspect);
            }
        }
        break;
    default: break;
    }
    // A rectangle never shrinks to nothing: it could not be taken hold of again.
    rect.setSize(QSize(std::max(width, 1), std::max(height, 1)));
    SetImageRect(rect);
    UpdateCaption();
}

void TPrintPreview::Panel1MouseUp()
{
    drag_mode = kNone;
    ui->Image1->show();
}
