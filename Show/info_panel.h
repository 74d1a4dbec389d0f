// InfoPanel: the small window beside the viewer that lists the shown file's particulars and photo data.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class PictureStore;
class QFormLayout;
class ViewerCore;

namespace show {

// Opened and closed with I, closed with Esc too; it follows the picture the
// viewer shows, and hands the viewer every other key. Its values are
// selectable, so they can be copied.
class InfoPanel : public QWidget {
    Q_OBJECT
public:
    // `viewer` is the main window it is placed beside (and owned by);
    // `display` shows the core's picture.
    InfoPanel(ViewerCore& core, const PictureStore& display, QWidget* viewer);

    // The I key: opens the panel beside the viewer, or closes it. With no
    // picture shown it beeps and stays closed.
    void toggle();
    // Esc in the viewer: true when it closed the panel, false when none was open.
    bool closeIfOpen();

    // The rows shown, label and value, in order.
    const QList<QPair<QString, QString>>& entries() const { return entries_; }

    // "812 bytes", "2.4 MB (2,514,211 bytes)": 1024 to a KB, one decimal.
    static QString sizeOnDisk(qint64 bytes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();
    void place_beside_viewer();

    ViewerCore& core_;
    const PictureStore& display_;
    QWidget* viewer_;
    QFormLayout* rows_;
    QList<QPair<QString, QString>> entries_;
};

}  // namespace show
