// TDirTree: a folder tree over the machine's top-level folders and volumes, read one level ahead of what is open.
#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

// The top-level entries are "/", the user's home folder and every mounted
// volume that is not a pseudo file system (or the roots a caller set). A
// folder's subfolders are read when it is first opened, together with their
// own subfolders, so each visible folder already shows whether it can be
// opened; folders not read yet carry one placeholder child. Paths keep their
// case and end in "/"; comparisons are case-sensitive. Hidden folders are
// listed; "." and ".." never are.
class TDirTree : public QTreeWidget {
    Q_OBJECT
public:
    // Asked before each top-level entry and each folder is added, with the
    // full path ending in "/"; setting `DoAdd` false leaves it out.
    using AddDirEvent = std::function<void(const QString& Filename, bool& DoAdd)>;
    using ChangeEvent = std::function<void()>;

    explicit TDirTree(QWidget* parent = nullptr);
    ~TDirTree() override;
    TDirTree(const TDirTree&) = delete;
    TDirTree& operator=(const TDirTree&) = delete;

    void setOnAddDir(AddDirEvent handler) { on_add_dir_ = std::move(handler); }
    // Raised when the selection moves, except while the tree is being read.
    void setOnChange(ChangeEvent handler) { on_change_ = std::move(handler); }

    // Read the top-level entries when the tree is first shown, or when
    // SelectPath needs them before that.
    bool ReadOnStart() const { return read_on_start_; }
    void setReadOnStart(bool value) { read_on_start_ = value; }

    // The top-level folders ReadDrives lists; the machine's by default.
    QStringList Roots() const { return roots_; }
    void setRoots(const QStringList& roots) { roots_ = roots; }
    static QStringList defaultRoots();

    // Rebuilds the tree from the top-level folders.
    void ReadDrives();
    // Opens the tree down to an existing folder and selects it.
    void SelectPath(const QString& path);
    // The selected folder, ending in "/", or "?" when none is selected.
    QString CurrentPath() const;
    // False while ReadDrives runs.
    bool Ready() const { return ready_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Reads the top-level entries once, when ReadOnStart asks for it.
    void CreateWnd();
    bool admits(const QString& path) const;
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& path);
    void Probe(QTreeWidgetItem* node);
    void ReadChildren(QTreeWidgetItem* node);
    void Expanding(QTreeWidgetItem* node);
    void Changed();
    // The top-level node whose folder is the longest start of `path`.
    QTreeWidgetItem* rootFor(const QString& path) const;

    static QString pathOf(const QTreeWidgetItem* node);
    static bool isRead(const QTreeWidgetItem* node);

    AddDirEvent on_add_dir_;
    ChangeEvent on_change_;
    QStringList roots_;
    bool read_on_start_ = false;
    bool created_ = false;
    bool ready_ = true;
    int reading_ = 0;  // nested reads under way
    bool destroying_ = false;
};
