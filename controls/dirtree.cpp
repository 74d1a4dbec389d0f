// TDirTree: reading the top-level folders, folders one level ahead, and opening the tree down to a path.
#include "dirtree.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPalette>
#include <QShowEvent>
#include <QStorageInfo>

#include <algorithm>
#include <vector>

namespace {

constexpr int kPathRole = Qt::UserRole;      // the folder's path; none on a placeholder
constexpr int kReadRole = Qt::UserRole + 1;  // its subfolders have been read

const QDir::Filters kFolders = QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot;

QString withSlash(const QString& path)
{
    return path.endsWith('/') ? path : path + '/';
}

// File systems of the kernel's own state rather than of anyone's files.
bool isPseudoVolume(const QStorageInfo& volume)
{
    static constexpr const char* kPseudo[] = {
        "proc",      "sysfs",  "devtmpfs",  "devpts",     "tmpfs",       "ramfs",          "cgroup",
        "cgroup2",   "pstore", "bpf",       "securityfs", "debugfs",     "tracefs",        "configfs",
        "fusectl",   "mqueue", "hugetlbfs", "autofs",     "binfmt_misc", "nsfs",           "efivarfs",
        "selinuxfs", "nfsd",   "rootfs",    "rpc_pipefs", "fuse.portal", "fuse.gvfsd-fuse"};
    const QByteArray type = volume.fileSystemType();
    for (const char* pseudo : kPseudo)
        if (type == pseudo) return true;
    const QString root = withSlash(volume.rootPath());
    for (const char* kernel : {"/proc/", "/sys/", "/dev/"})
        if (root.startsWith(QLatin1String(kernel))) return true;
    return false;
}

// The hourglass while folders are read on the calling thread.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// No repainting while many nodes change; the old state comes back after.
class FrozenView {
public:
    explicit FrozenView(QWidget* view) : view_(view), was_enabled_(view->updatesEnabled())
    {
        view_->setUpdatesEnabled(false);
    }
    ~FrozenView() { view_->setUpdatesEnabled(was_enabled_); }
    FrozenView(const FrozenView&) = delete;
    FrozenView& operator=(const FrozenView&) = delete;

private:
    QWidget* view_;
    bool was_enabled_;
};

// Counts one read under way for as long as it lives.
class ReadingScope {
public:
    explicit ReadingScope(int& depth) : depth_(depth) { ++depth_; }
    ~ReadingScope() { --depth_; }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    int& depth_;
};

}  // namespace

TDirTree::TDirTree(QWidget* parent) : QTreeWidget(parent), roots_(defaultRoots())
{
    setColumnCount(1);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    // Deep folders scroll sideways rather than losing their names.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The selection stays as visible when the focus is elsewhere.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight, colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);

    connect(this, &QTreeWidget::itemExpanded, this, &TDirTree::Expanding);
    connect(this, &QTreeWidget::currentItemChanged, this, &TDirTree::Changed);
}

TDirTree::~TDirTree()
{
    // The view's own teardown moves the selection; nobody hears of it.
    destroying_ = true;
    disconnect(this, nullptr, this, nullptr);
    on_change_ = nullptr;
    on_add_dir_ = nullptr;
}

QStringList TDirTree::defaultRoots()
{
    QStringList roots{QStringLiteral("/"), withSlash(QDir::homePath())};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || isPseudoVolume(volume)) continue;
        const QString root = withSlash(volume.rootPath());
        if (!roots.contains(root)) roots << root;
    }
    roots.removeDuplicates();
    return roots;
}

void TDirTree::showEvent(QShowEvent* event)
{
    QTreeWidget::showEvent(event);
    CreateWnd();
    // A folder selected before the tree had its size is brought to the top now.
    if (!event->spontaneous())
        if (QTreeWidgetItem* selected = currentItem()) scrollToItem(selected, QAbstractItemView::PositionAtTop);
}

void TDirTree::CreateWnd()
{
    if (created_) return;
    created_ = true;
    if (read_on_start_) ReadDrives();
}

bool TDirTree::admits(const QString& path) const
{
    bool add = true;
    if (on_add_dir_) on_add_dir_(path, add);
    return add;
}

QString TDirTree::pathOf(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kPathRole).toString() : QString();
}

bool TDirTree::isRead(const QTreeWidgetItem* node)
{
    return node->data(0, kReadRole).toBool();
}

void TDirTree::ReadDrives()
{
    created_ = true;
    {
        // No change is reported while the old nodes go and the new ones come.
        ready_ = false;
        struct ReadyAgain {
            bool& ready;
            ~ReadyAgain() { ready = true; }
        } ready_again{ready_};
        BusyCursor busy;
        FrozenView frozen(this);
        clear();
        for (const QString& entry : roots_) {
            const QString root = withSlash(QDir::cleanPath(entry));
            if (!QFileInfo(root).isDir() || !admits(root)) continue;
            Probe(AddNode(nullptr, root));
        }
    }
    if (QTreeWidgetItem* selected = currentItem()) scrollToItem(selected, QAbstractItemView::PositionAtTop);
}

QTreeWidgetItem* TDirTree::AddNode(QTreeWidgetItem* parent, const QString& path)
{
    const QString folder = withSlash(path);
    const QFileInfo info(folder);
    QFileIconProvider icons;
    icons.setOptions(QFileIconProvider::DontUseCustomDirectoryIcons);

    QString name = info.dir().dirName();  // the folder itself: the path ends in "/"
    QIcon icon = icons.icon(info);
    if (!parent) {
        const QStorageInfo volume(folder);
        if (volume.isValid() && withSlash(volume.rootPath()) == folder) {
            name = volume.displayName();
            icon = icons.icon(QAbstractFileIconProvider::Drive);
        }
        if (name.isEmpty()) name = folder;
    }

    auto* node = new QTreeWidgetItem(QStringList{name});
    node->setIcon(0, icon);
    node->setData(0, kPathRole, folder);
    node->setData(0, kReadRole, false);
    if (parent) parent->addChild(node);
    else addTopLevelItem(node);
    return node;
}

// A folder not read yet gets one placeholder child when it has at least one
// subfolder its owner admits, so it shows an expand arrow exactly then.
void TDirTree::Probe(QTreeWidgetItem* node)
{
    if (!node || isRead(node) || node->childCount() > 0) return;
    const QString path = pathOf(node);
    QDirIterator entries(path, kFolders);
    while (entries.hasNext()) {
        entries.next();
        if (!entries.fileInfo().isDir()) continue;
        if (!admits(path + entries.fileName() + '/')) continue;
        node->addChild(new QTreeWidgetItem(QStringList{QStringLiteral(" ")}));
        return;
    }
}

void TDirTree::ReadChildren(QTreeWidgetItem* node)
{
    if (!node || isRead(node)) return;
    ReadingScope reading(reading_);
    qDeleteAll(node->takeChildren());
    node->setData(0, kReadRole, true);

    const QString path = pathOf(node);
    QStringList names;
    for (const QString& name : QDir(path).entryList(kFolders, QDir::NoSort))
        if (admits(path + name + '/')) names << name;
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    for (const QString& name : names) AddNode(node, path + name);
}

// Opening a folder reads it and looks one level further, so every folder
// that becomes visible already knows whether it has subfolders.
void TDirTree::Expanding(QTreeWidgetItem* node)
{
    if (!node || pathOf(node).isEmpty()) return;
    BusyCursor busy;
    ReadingScope reading(reading_);
    ReadChildren(node);
    for (int i = 0; i < node->childCount(); ++i) Probe(node->child(i));
}

void TDirTree::Changed()
{
    if (ready_ && reading_ == 0 && !destroying_ && on_change_) on_change_();
}

QTreeWidgetItem* TDirTree::rootFor(const QString& path) const
{
    QTreeWidgetItem* best = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = topLevelItem(i);
        const QString folder = pathOf(root);
        if (!folder.isEmpty() && path.startsWith(folder) && (!best || folder.size() > pathOf(best).size())) best = root;
    }
    return best;
}

void TDirTree::SelectPath(const QString& path)
{
    if (path.isEmpty()) return;
    const QString target = withSlash(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (target == CurrentPath() || !QFileInfo(target).isDir()) return;
    CreateWnd();

    QTreeWidgetItem* node = rootFor(target);
    if (!node) return;
    BusyCursor busy;
    std::vector<QTreeWidgetItem*> line{node};
    {
        FrozenView frozen(this);
        ReadingScope reading(reading_);
        // One folder level at a time below the top-level entry, reading each
        // on the way; a level left out by the owner ends the search.
        QString walked = pathOf(node);
        while (walked != target) {
            ReadChildren(node);
            const QString prefix = target.left(target.indexOf('/', walked.size()) + 1);
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; i < node->childCount() && !next; ++i)
                if (pathOf(node->child(i)) == prefix) next = node->child(i);
            if (!next) return;
            node = next;
            walked = prefix;
            line.push_back(node);
        }
        ReadChildren(node);
        line.pop_back();
        for (QTreeWidgetItem* folder : line) folder->setExpanded(true);
    }
    setCurrentItem(node);
    scrollToItem(node, QAbstractItemView::PositionAtTop);
}

QString TDirTree::CurrentPath() const
{
    const QString path = pathOf(currentItem());
    return path.isEmpty() ? QStringLiteral("?") : path;
}
