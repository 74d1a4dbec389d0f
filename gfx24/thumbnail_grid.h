// ThumbnailGrid: the browser's folder as a grid of the desktop's shared thumbnails, made on worker threads.
#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QListView>
#include <QPixmap>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <utility>
#include <vector>

namespace gfx24 {

struct ThumbnailWork;

// The folder's files with a thumbnail (or the placeholder) over each name.
class ThumbnailModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void setFiles(const QStringList& names, const QPixmap& placeholder);
    void setThumbnail(int row, const QPixmap& thumbnail);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QStringList names;
    std::vector<QPixmap> thumbnails;  // null until one arrives
    QPixmap placeholder;
};

class ThumbnailGrid : public QListView {
    Q_OBJECT
public:
    // The cache's "normal" size, the cells' side in logical pixels.
    static constexpr int kSide = 128;

    explicit ThumbnailGrid(QWidget* parent = nullptr);
    ~ThumbnailGrid() override;
    ThumbnailGrid(const ThumbnailGrid&) = delete;
    ThumbnailGrid& operator=(const ThumbnailGrid&) = delete;

    // The folder (ending in "/") and its files, in the list's order; the
    // previous folder's work still waiting is dropped.
    void showFolder(const QString& folder, const QStringList& names);
    // Selects `row` (none for -1) without reporting it as a pick.
    void selectRow(int row);
    // Thumbnails are only made while the grid is in use.
    void setActive(bool active);
    // The folder's files that have no final answer yet (a thumbnail, or none).
    int waiting() const;
    // Of them, those whose cells are on show.
    int waitingInView() const;

signals:
    // The user picked `row`: a new selection, or a click on the one selected.
    void picked(int row);
    void chosen();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void Schedule();
    // The first and last rows whose cells are on show; last < first for none.
    std::pair<int, int> VisibleRows() const;
    // Takes the answers the workers have gathered.
    void Deliver();
    void Arrived(int generation, int row, QImage image);
    QPixmap Placeholder() const;

    ThumbnailModel* files;  // a child of the view, so it outlives the view's own teardown
    std::shared_ptr<ThumbnailWork> work;
    QThreadPool pool;
    QTimer schedule_timer;  // gathers scrolls and resizes into one pass
    int generation = 0;
    int unsettled = 0;
    std::vector<bool> arrived;  // per row: its final answer is in
    int pressed_row = -1;
    bool quiet = false;
    bool active = false;
};

}  // namespace gfx24
