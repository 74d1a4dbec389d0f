// TDirTree over a scratch folder tree: admission by the owner, expand arrows, hidden folders, SelectPath, quiet reads.
#include "dirtree.h"
#include "test_support.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

using namespace zarn::test;

// root/ with a/a1, b/skip (b's only subfolder), .hidden/inner, skip/, and a file.
QString scratch_tree()
{
    const QString root = QString::fromStdString(temp_path("tree")) + '/';
    for (const char* folder : {"a/a1", "b/skip", ".hidden/inner", "skip"}) QDir().mkpath(root + folder);
    QFile file(root + "a/notes.txt");
    file.open(QIODevice::WriteOnly);
    return root;
}

QStringList child_texts(QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* child_named(QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text) return node->child(i);
    return nullptr;
}

TEST(DirTree, OwnerDecidesWhatIsListedAndArrowsShowOnlyAdmittedSubfolders)
{
    const QString root = scratch_tree();
    TDirTree tree;
    QStringList asked;
    tree.setOnAddDir([&](const QString& path, bool& add) {
        asked << path;
        if (path.endsWith("/skip/")) add = false;
    });
    tree.setRoots({root});
    tree.ReadDrives();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_TRUE(asked.contains(root)) << "the top-level entry is asked for too, with its slash";
    QTreeWidgetItem* top = tree.topLevelItem(0);
    EXPECT_EQ(top->text(0), "tree");
    EXPECT_EQ(top->childCount(), 1) << "one placeholder until opened";

    top->setExpanded(true);
    EXPECT_EQ(child_texts(top), (QStringList{".hidden", "a", "b"})) << "hidden listed, rejected and files not";
    EXPECT_EQ(child_named(top, "a")->childCount(), 1) << "a has a subfolder: an expand arrow";
    EXPECT_EQ(child_named(top, "b")->childCount(), 0) << "b's only subfolder is rejected: no arrow";

    QTreeWidgetItem* hidden = child_named(top, ".hidden");
    hidden->setExpanded(true);
    EXPECT_EQ(child_texts(hidden), QStringList{"inner"});
}

TEST(DirTree, SelectPathFindsTheSameNodeWithOrWithoutTheSlash)
{
    const QString root = scratch_tree();
    TDirTree tree;
    tree.setOnAddDir([](const QString& path, bool& add) { add = !path.endsWith("/skip/"); });
    tree.setRoots({root});
    tree.setReadOnStart(true);
    EXPECT_EQ(tree.CurrentPath(), "?");

    // Before the tree is first shown: the top level is read on demand.
    tree.SelectPath(root + "a/a1");
    QTreeWidgetItem* without_slash = tree.currentItem();
    ASSERT_NE(without_slash, nullptr);
    EXPECT_EQ(tree.CurrentPath(), root + "a/a1/");

    tree.SelectPath(root + "b");
    tree.SelectPath(root + "a/a1/");
    EXPECT_EQ(tree.currentItem(), without_slash);

    tree.SelectPath(root + "b/skip/");
    EXPECT_EQ(tree.CurrentPath(), root + "a/a1/") << "a rejected folder is not in the tree";
    tree.SelectPath(root + "A/a1/");
    EXPECT_EQ(tree.CurrentPath(), root + "a/a1/") << "names keep their case";

    ASSERT_TRUE(showAndWait(tree));
    EXPECT_TRUE(without_slash->parent()->isExpanded()) << "the folders above it are open";
}

TEST(DirTree, NoChangeIsReportedWhileTheTreeIsRead)
{
    const QString root = scratch_tree();
    TDirTree tree;
    tree.setRoots({root});
    int changes = 0;
    tree.setOnChange([&] { ++changes; });
    tree.ReadDrives();
    EXPECT_EQ(changes, 0);

    tree.SelectPath(root + "a");
    EXPECT_EQ(changes, 1);
    tree.currentItem()->setExpanded(true);
    tree.ReadDrives();  // drops the selected node
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tree.CurrentPath(), "?");
    EXPECT_TRUE(tree.Ready());
}

}  // namespace
