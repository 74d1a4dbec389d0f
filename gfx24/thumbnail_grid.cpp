// ThumbnailGrid: the folder's thumbnails from the shared cache, asked for on a pool of threads, visible ones first.
#include "thumbnail_grid.h"

#include "thumbnail_cell.h"
#include "zarngfx.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gfx24 {

namespace {

// What is known of a file's thumbnail; only ever moves forward.
enum : std::uint8_t { kUnknown, kNotCached, kMaking, kSettled };

struct Job {
    int row;
    int make;
};

// A cache entry larger than this is no thumbnail.
constexpr qint64 kLargestEntry = 16 << 20;

// The cell of the entry at `path`: its one read, decoded in place, so every
// cell lines up whatever the picture's shape. A file that shrinks meanwhile
// is read as far as it goes, and a cut picture gives no cell.
QImage cell_of(const char* path, int side, qreal ratio)
{
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return {};
    struct stat info {};
    QByteArray bytes;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLargestEntry) {
        bytes.resize(static_cast<qsizetype>(info.st_size));
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(descriptor, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += got;
        }
        bytes.truncate(done);
    }
    ::close(descriptor);
    return bytes.isEmpty() ? QImage() : thumbnail_cell(bytes, side, ratio);
}

}  // namespace

// A file's final answer on its way to the interface.
struct ThumbnailArrival {
    int generation;
    int row;
    QImage image;  // null for none
};

// Shared by the grid and its workers, under `mutex`. The queue holds one
// folder's jobs, the visible files first; a job is dropped unstarted when its
// file is settled or being made, and the whole queue when the folder changes.
// Answers gather in `arrivals` until the interface next takes them all.
struct ThumbnailWork {
    std::mutex mutex;
    int generation = 0;
    int size = ThumbnailGrid::kSide;  // the cache's entry size asked for
    int side = ThumbnailGrid::kSide;  // the cell's side in device pixels
    qreal ratio = 1;
    std::vector<QByteArray> paths;
    std::vector<std::uint8_t> state;
    std::deque<Job> queue;
    int running = 0;
    std::vector<ThumbnailArrival> arrivals;
    bool delivery_posted = false;
};

void ThumbnailModel::setFiles(const QStringList& files, const QPixmap& empty)
{
    beginResetModel();
    names = files;
    thumbnails.assign(std::size_t(files.size()), QPixmap());
    placeholder = empty;
    endResetModel();
}

void ThumbnailModel::setThumbnail(int row, const QPixmap& thumbnail)
{
    if (row < 0 || row >= names.size()) return;
    thumbnails[std::size_t(row)] = thumbnail;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

int ThumbnailModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(names.size());
}

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= names.size()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return names[index.row()];
    case Qt::DecorationRole: {
        const QPixmap& thumbnail = thumbnails[std::size_t(index.row())];
        return thumbnail.isNull() ? placeholder : thumbnail;
    }
    default: return {};
    }
}

ThumbnailGrid::ThumbnailGrid(QWidget* parent)
    : QListView(parent), files(new ThumbnailModel(this)), work(std::make_shared<ThumbnailWork>())
{
    setObjectName(QStringLiteral("FileGrid1"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setIconSize(QSize(kSide, kSide));
    setGridSize(QSize(kSide + 12, kSide + fontMetrics().height() + 12));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(files);
    pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));

    schedule_timer.setSingleShot(true);
    schedule_timer.setInterval(0);
    connect(&schedule_timer, &QTimer::timeout, this, &ThumbnailGrid::Schedule);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = selectionModel()->selectedIndexes();
        if (!quiet && !rows.isEmpty()) emit picked(rows.first().row());
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (pressed_row >= 0 && index.row() == pressed_row) emit picked(pressed_row);
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this] { emit chosen(); });
}

// The workers finish the call they are in; nothing waiting is started, and
// nothing they send arrives once the grid is gone.
ThumbnailGrid::~ThumbnailGrid()
{
    {
        const std::lock_guard lock(work->mutex);
        work->queue.clear();
        ++work->generation;
    }
    pool.clear();
    pool.waitForDone();
}

QPixmap ThumbnailGrid::Placeholder() const
{
    const qreal ratio = devicePixelRatioF();
    const int side = int(std::lround(kSide * ratio));
    QPixmap empty(side, side);
    empty.setDevicePixelRatio(ratio);
    empty.fill(Qt::transparent);
    // A picture frame with a hill and a sun, in the palette's quiet tones.
    QPainter painter(&empty);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor line = palette().color(QPalette::Mid);
    painter.setPen(QPen(line, 2));
    painter.setBrush(palette().color(QPalette::Base));
    const QRectF frame(20, 28, kSide - 40, kSide - 56);
    painter.drawRoundedRect(frame, 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(line);
    QPainterPath hill;
    hill.moveTo(frame.left() + 6, frame.bottom() - 6);
    hill.lineTo(frame.left() + frame.width() * 0.4, frame.top() + frame.height() * 0.4);
    hill.lineTo(frame.left() + frame.width() * 0.6, frame.top() + frame.height() * 0.65);
    hill.lineTo(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.5);
    hill.lineTo(frame.right() - 6, frame.bottom() - 6);
    hill.closeSubpath();
    painter.drawPath(hill);
    painter.drawEllipse(QPointF(frame.right() - 18, frame.top() + 14), 6, 6);
    return empty;
}

void ThumbnailGrid::showFolder(const QString& folder, const QStringList& names)
{
    const qreal ratio = devicePixelRatioF();
    {
        const std::lock_guard lock(work->mutex);
        generation = ++work->generation;
        work->queue.clear();
        work->paths.clear();
        work->paths.reserve(std::size_t(names.size()));
        for (const QString& name : names) work->paths.push_back(QFile::encodeName(folder + name));
        work->state.assign(std::size_t(names.size()), kUnknown);
        work->ratio = ratio;
        work->side = int(std::lround(kSide * ratio));
        work->size = ratio > 1 ? 2 * kSide : kSide;
    }
    unsettled = int(names.size());
    arrived.assign(std::size_t(names.size()), false);
    quiet = true;
    files->setFiles(names, Placeholder());
    quiet = false;
    schedule_timer.start();
}

void ThumbnailGrid::selectRow(int row)
{
    quiet = true;
    const QModelIndex wanted = files->index(row);
    if (wanted.isValid()) {
        selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
        scrollTo(wanted);
    } else {
        selectionModel()->clear();
    }
    quiet = false;
}

void ThumbnailGrid::setActive(bool on)
{
    active = on;
    if (on) {
        schedule_timer.start();
        return;
    }
    const std::lock_guard lock(work->mutex);
    work->queue.clear();
}

int ThumbnailGrid::waiting() const
{
    return unsettled;
}

int ThumbnailGrid::waitingInView() const
{
    const auto [first, last] = VisibleRows();
    int count = 0;
    for (int row = first; row <= last; ++row) count += arrived[std::size_t(row)] ? 0 : 1;
    return count;
}

std::pair<int, int> ThumbnailGrid::VisibleRows() const
{
    const int rows = std::min(files->rowCount(), int(arrived.size()));
    const QRect view = viewport()->rect();
    int first = -1, last = -2;
    for (int row = 0; row < rows; ++row) {
        if (!visualRect(files->index(row)).intersects(view)) {
            if (first >= 0) break;  // the cells are laid out in order
            continue;
        }
        if (first < 0) first = row;
        last = row;
    }
    if (first < 0) return {0, -1};
    return {first, last};
}

void ThumbnailGrid::mousePressEvent(QMouseEvent* event)
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    pressed_row = rows.isEmpty() ? -1 : rows.first().row();
    QListView::mousePressEvent(event);
}

void ThumbnailGrid::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    if (active) schedule_timer.start();
}

void ThumbnailGrid::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    if (active) schedule_timer.start();
}

// Orders the folder's open work: a cache look for each visible file, then
// making the visible ones still missing, then the rest outward from the view.
// The workers start on it at once; the interface goes on.
void ThumbnailGrid::Schedule()
{
    if (!active || !isVisible()) return;
    executeDelayedItemsLayout();
    const int rows = files->rowCount();
    // With nothing on show yet, all in order.
    const auto [first, last] = VisibleRows();

    const std::lock_guard lock(work->mutex);
    if (std::size_t(rows) != work->state.size()) return;
    work->queue.clear();
    const auto state = [&](int row) { return work->state[std::size_t(row)]; };
    for (int row = first; row <= last && row < rows; ++row)
        if (state(row) == kUnknown) work->queue.push_back({row, 0});
    for (int row = first; row <= last && row < rows; ++row)
        if (state(row) < kMaking) work->queue.push_back({row, 1});
    for (int after = last + 1, before = first - 1; after < rows || before >= 0; ++after, --before) {
        if (after < rows && state(after) < kMaking) work->queue.push_back({after, 1});
        if (before >= 0 && state(before) < kMaking) work->queue.push_back({before, 1});
    }

    const std::shared_ptr<ThumbnailWork> shared = work;
    while (work->running < pool.maxThreadCount() && std::size_t(work->running) < work->queue.size()) {
        ++work->running;
        pool.start([this, shared] {
            for (;;) {
                Job job{};
                QByteArray path;
                int asked_generation = 0, size = 0, side = 0;
                qreal ratio = 1;
                {
                    const std::lock_guard hold(shared->mutex);
                    while (!shared->queue.empty()) {
                        const Job next = shared->queue.front();
                        const std::uint8_t now = shared->state[std::size_t(next.row)];
                        if (now < kMaking && (next.make == 1 || now == kUnknown)) break;
                        shared->queue.pop_front();
                    }
                    if (shared->queue.empty()) {
                        --shared->running;
                        return;
                    }
                    job = shared->queue.front();
                    shared->queue.pop_front();
                    if (job.make == 1) shared->state[std::size_t(job.row)] = kMaking;
                    path = shared->paths[std::size_t(job.row)];
                    asked_generation = shared->generation;
                    size = shared->size;
                    side = shared->side;
                    ratio = shared->ratio;
                }
                std::array<char, 4096> out{};
                const int answer = _Pic_Thumbnail(path.constData(), size, job.make, out.data(), int(out.size()));
                QImage image;
                if (answer == 1) image = cell_of(out.data(), side, ratio);
                bool post = false;
                {
                    const std::lock_guard hold(shared->mutex);
                    if (asked_generation != shared->generation) continue;
                    std::uint8_t& now = shared->state[std::size_t(job.row)];
                    if (job.make == 0 && answer == 0) {
                        if (now == kUnknown) now = kNotCached;
                        continue;
                    }
                    if (now == kSettled) continue;
                    now = kSettled;
                    shared->arrivals.push_back({asked_generation, job.row, std::move(image)});
                    post = !std::exchange(shared->delivery_posted, true);
                }
                // One call takes every answer that came in before it runs.
                if (post) QMetaObject::invokeMethod(this, &ThumbnailGrid::Deliver, Qt::QueuedConnection);
            }
        });
    }
}

void ThumbnailGrid::Deliver()
{
    std::vector<ThumbnailArrival> batch;
    {
        const std::lock_guard lock(work->mutex);
        batch.swap(work->arrivals);
        work->delivery_posted = false;
    }
    for (ThumbnailArrival& arrival : batch) Arrived(arrival.generation, arrival.row, std::move(arrival.image));
}

void ThumbnailGrid::Arrived(int from_generation, int row, QImage image)
{
    if (from_generation != generation || arrived[std::size_t(row)]) return;
    arrived[std::size_t(row)] = true;
    --unsettled;
    if (!image.isNull()) files->setThumbnail(row, QPixmap::fromImage(std::move(image)));
}

}  // namespace gfx24
