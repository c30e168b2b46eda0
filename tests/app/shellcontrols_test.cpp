// SPDX-License-Identifier: GPL-3.0-or-later
// The file browser's controls: the file-type box, the filtered list, the tree and their link.
#include "ShellControls.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <ostream>

// Readable failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

void Touch(const QString& name) {
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("x");
}

// Names the list shows, sorted, once the model's background listing has delivered them.
QStringList Shown(const TJamShellList& list) {
  QStringList names;
  const QModelIndex root = list.rootIndex();
  for (int row = 0; row < list.Model()->rowCount(root); ++row)
    names << list.Model()->fileName(list.Model()->index(row, 0, root));
  names.sort();
  return names;
}

bool WaitShown(const TJamShellList& list, const QStringList& expected) {
  return QTest::qWaitFor([&] { return Shown(list) == expected; }, 5000);
}

bool SelectByName(TJamShellList& list, const QString& name) {
  const QModelIndex index = list.Model()->index(QDir(list.Folder()).filePath(name));
  if (!index.isValid()) return false;
  list.setCurrentIndex(index);
  return list.SelCount() == 1;
}

class ShellFolder : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    root = QDir::cleanPath(dir.path());
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("bilder.txt"))); // a folder that looks like a file
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("leer")));
    Touch(root + QStringLiteral("/a.bmp"));
    Touch(root + QStringLiteral("/B.BMP"));
    Touch(root + QStringLiteral("/c.txt"));
    Touch(root + QStringLiteral("/ohne"));
  }
  QTemporaryDir dir;
  QString root;
};

} // namespace

TEST(FilterComboBox, EntriesMasksAndChangeEvent) {
  TFilterComboBox box;
  QStringList seen;
  box.OnChange = [&](QObject* sender) {
    EXPECT_EQ(sender, &box);
    seen << box.Mask();
  };
  EXPECT_EQ(box.Mask(), QStringLiteral("*.*"));

  box.SetFilter(QStringLiteral("Alle Bilder|*.bmp;*.png|Windows-Bitmaps|*.bmp|Alle Dateien|*.*"));
  ASSERT_EQ(box.count(), 3);
  EXPECT_EQ(box.itemText(1), QStringLiteral("Windows-Bitmaps"));
  EXPECT_EQ(box.currentIndex(), 0);
  EXPECT_EQ(seen, QStringList{QStringLiteral("*.bmp;*.png")}); // fired once, first entry chosen

  box.setCurrentIndex(1); // as the user picking an entry
  EXPECT_EQ(seen.last(), QStringLiteral("*.bmp"));

  // Nothing selected: the last entry is taken (and selected), without another change event.
  box.setCurrentIndex(-1);
  seen.clear();
  EXPECT_EQ(box.Mask(), QStringLiteral("*.*"));
  EXPECT_EQ(box.currentIndex(), 2);
  EXPECT_TRUE(seen.isEmpty());

  // Replacing the list again starts at its first entry; an empty list gives "*.*".
  box.SetFilter(QStringLiteral("Nur PNG|*.png|"));
  EXPECT_EQ(box.count(), 1);
  EXPECT_EQ(seen, QStringList{QStringLiteral("*.png")});
  box.SetFilter(QString());
  EXPECT_EQ(box.count(), 0);
  EXPECT_EQ(seen.last(), QStringLiteral("*.*"));
}

TEST_F(ShellFolder, ListFiltersFilesButAlwaysShowsFolders) {
  TJamShellList list;
  list.SetFolder(root);
  EXPECT_EQ(list.Folder(), root);
  EXPECT_TRUE(WaitShown(list, {"B.BMP", "a.bmp", "bilder.txt", "c.txt", "leer", "ohne"}));

  list.SetFilter(QStringLiteral("*.bmp"));
  EXPECT_TRUE(WaitShown(list, {"B.BMP", "a.bmp", "bilder.txt", "leer"}));
  list.SetFilter(QStringLiteral(" *.gif ; *.TXT "));
  EXPECT_TRUE(WaitShown(list, {"bilder.txt", "c.txt", "leer"}));
  // "*.*" means every file, also one without an extension.
  list.SetFilter(QStringLiteral("*.*"));
  EXPECT_TRUE(WaitShown(list, {"B.BMP", "a.bmp", "bilder.txt", "c.txt", "leer", "ohne"}));
  EXPECT_EQ(list.Filter(), QStringLiteral("*.*"));
  list.resize(185, 200); // narrow: the size column shows whole all the same
  list.show();
  QApplication::processEvents();
  EXPECT_GE(list.header()->sectionSize(1), list.header()->sectionSizeHint(1));
  EXPECT_LE(list.header()->sectionViewportPosition(1) + list.header()->sectionSize(1), list.viewport()->width());

  // A path that is no folder changes nothing.
  list.SetFolder(root + QStringLiteral("/a.bmp"));
  list.SetFolder(root + QStringLiteral("/gibt es nicht"));
  list.SetFolder(QString());
  EXPECT_EQ(list.Folder(), root);
}

TEST_F(ShellFolder, SelectionAndDefaultCommand) {
  TJamShellList list;
  QStringList opened;
  QObject::connect(&list, &TJamShellList::FolderOpened, [&](const QString& p) { opened << p; });
  list.SetFolder(root);
  ASSERT_TRUE(WaitShown(list, {"B.BMP", "a.bmp", "bilder.txt", "c.txt", "leer", "ohne"}));
  EXPECT_EQ(list.SelCount(), 0);
  EXPECT_FALSE(list.Selected().has_value());
  EXPECT_FALSE(list.InvokeCommand(QStringLiteral("default")));

  ASSERT_TRUE(SelectByName(list, QStringLiteral("a.bmp")));
  auto item = list.Selected();
  ASSERT_TRUE(item.has_value());
  EXPECT_FALSE(item->IsFolder);
  EXPECT_EQ(item->FileName, QStringLiteral("a.bmp"));
  EXPECT_EQ(item->Path, root + QStringLiteral("/a.bmp"));
  EXPECT_FALSE(list.InvokeCommand(QStringLiteral("default"))); // files are not opened here
  EXPECT_EQ(list.Folder(), root);

  ASSERT_TRUE(SelectByName(list, QStringLiteral("bilder.txt")));
  EXPECT_TRUE(list.Selected()->IsFolder);
  EXPECT_FALSE(list.InvokeCommand(QStringLiteral("open")));
  EXPECT_TRUE(list.InvokeCommand(QStringLiteral("default")));
  EXPECT_EQ(list.Folder(), root + QStringLiteral("/bilder.txt"));
  EXPECT_EQ(opened, QStringList{root + QStringLiteral("/bilder.txt")});
  EXPECT_EQ(list.SelCount(), 0);
}

TEST_F(ShellFolder, EnterAndDoubleClickReachTheHandlers) {
  TJamShellList list;
  list.resize(400, 300);
  list.show();
  list.SetFolder(root);
  ASSERT_TRUE(WaitShown(list, {"B.BMP", "a.bmp", "bilder.txt", "c.txt", "leer", "ohne"}));
  std::vector<int> keys;
  int clicks = 0;
  list.OnKeyPress = [&](QObject*, char& key) {
    keys.push_back(key);
    if (key == 13) key = 0;
  };
  list.OnDblClick = [&](QObject* sender) {
    EXPECT_EQ(sender, &list);
    ++clicks;
  };
  ASSERT_TRUE(SelectByName(list, QStringLiteral("c.txt")));
  QTest::keyClick(&list, Qt::Key_Return);
  QTest::keyClick(&list, Qt::Key_Enter);
  EXPECT_EQ(list.Selected()->FileName, QStringLiteral("c.txt"));
  // Other keys go on to the list: its keyboard search moves to "a.bmp".
  QTest::keyClick(&list, Qt::Key_A);
  EXPECT_EQ(keys, (std::vector<int>{13, 13, 'a'}));
  EXPECT_EQ(list.Selected()->FileName, QStringLiteral("a.bmp"));

  const QRect rect = list.visualRect(list.currentIndex());
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(list.Selected()->FileName, QStringLiteral("a.bmp"));
  EXPECT_FALSE(list.IsEditing());

  // F2 edits the name in place; a double click does not.
  QTest::keyClick(&list, Qt::Key_F2);
  EXPECT_TRUE(list.IsEditing());
}

TEST_F(ShellFolder, TreeSelectsFoldersAndLinkCouplesBothWays) {
  TJamShellTree tree;
  TJamShellList list;
  TJamShellLink link;
  link.SetTree(&tree);
  link.SetList(&list);
  EXPECT_TRUE(tree.SelectedFolder().isEmpty());

  tree.SetSelectedFolder(QStringLiteral("/"));
  EXPECT_EQ(tree.SelectedFolder(), QStringLiteral("/"));
  EXPECT_EQ(list.Folder(), QStringLiteral("/"));

  tree.SetSelectedFolder(root + QStringLiteral("/"));
  EXPECT_EQ(tree.SelectedFolder(), root);
  EXPECT_EQ(list.Folder(), root);
  EXPECT_TRUE(tree.isExpanded(tree.currentIndex().parent()));

  // Paths the tree cannot show leave it where it was.
  tree.SetSelectedFolder(root + QStringLiteral("/nicht da"));
  tree.SetSelectedFolder(root + QStringLiteral("/a.bmp"));
  tree.SetSelectedFolder(QString());
  EXPECT_EQ(tree.SelectedFolder(), root);

  // A folder opened in the list becomes the tree's selection.
  ASSERT_TRUE(WaitShown(list, {"B.BMP", "a.bmp", "bilder.txt", "c.txt", "leer", "ohne"}));
  ASSERT_TRUE(SelectByName(list, QStringLiteral("leer")));
  ASSERT_TRUE(list.InvokeCommand(QStringLiteral("default")));
  EXPECT_EQ(tree.SelectedFolder(), root + QStringLiteral("/leer"));
  EXPECT_EQ(list.Folder(), root + QStringLiteral("/leer"));

  // A list coupled later starts on the tree's folder.
  TJamShellList second;
  TJamShellLink other;
  other.SetList(&second);
  other.SetTree(&tree);
  EXPECT_EQ(second.Folder(), root + QStringLiteral("/leer"));
}
