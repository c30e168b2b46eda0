// SPDX-License-Identifier: GPL-3.0-or-later
// The file browser of page "Motiv laden": a folder tree rooted at the computer's top level, a
// details list of one folder's files and folders, the link that keeps both on the same folder,
// and the file-type box whose masks narrow the list. All built on Qt's file-system model.
#pragma once

#include <QAbstractFileIconProvider>
#include <QComboBox>
#include <QFileSystemModel>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <optional>
#include <vector>

// Icons and type names from the kind of an entry (folder, file, link, drive) and its name's
// extension only. It never opens a file: reading contents to guess a type blocks on FIFOs,
// devices, /proc files and slow mounts. Safe to use from the model's background thread.
class TKindIconProvider : public QAbstractFileIconProvider {
public:
  TKindIconProvider();
  QIcon icon(IconType type) const override;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;

  // One provider for every file view of the program (made on first use, on the GUI thread).
  static TKindIconProvider* Shared();

private:
  QIcon FFolder, FFile, FLink, FDrive, FComputer;
};

// The file-system model with German column titles and type names.
class TShellModel : public QFileSystemModel {
  Q_OBJECT
public:
  explicit TShellModel(QObject* parent = nullptr);
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  QVariant data(const QModelIndex& index, int role) const override;
};

// Folder tree: "/" and its folders (hidden folders are left out unless selected by path).
class TJamShellTree : public QTreeView {
  Q_OBJECT
public:
  explicit TJamShellTree(QWidget* parent = nullptr);

  // Absolute path of the selected folder; empty while nothing is selected.
  QString SelectedFolder() const;
  // Selects, expands to and shows an existing folder. A path that is empty or not a folder
  // leaves the selection as it was. The folder stays in view while the folders around it are
  // still being read and the tree is first laid out, until the user scrolls or clicks the tree.
  void SetSelectedFolder(const QString& path);

  TShellModel* Model() const { return FModel; }

signals:
  void SelectedFolderChanged(const QString& path);

protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void FollowSelection();
  TShellModel* FModel;
  bool FFollowing = false;
  QTimer* FFollowTimer;
};

// One item of the file list as the loading code sees it.
struct TShellObject {
  QString Path;     // absolute path
  QString FileName; // name in the file system, with its extension
  bool IsFolder = false;
};

// Details view of one folder: its folders always, its files when they match Filter.
class TJamShellList : public QTreeView {
  Q_OBJECT
public:
  explicit TJamShellList(QWidget* parent = nullptr);

  // The folder shown; empty until one is set.
  QString Folder() const { return FFolder; }
  // Shows an existing folder; anything else is ignored.
  void SetFolder(const QString& path);

  // File masks separated by ";" ("*.bmp;*.dib"), matched without regard to letter case;
  // "*" and "*.*" list every file.
  QString Filter() const { return FFilter; }
  void SetFilter(const QString& masks);

  int SelCount() const;
  // The selected item nearest the top, if any.
  std::optional<TShellObject> Selected() const;
  // Verb "default" on a selected folder opens it in the list (and tells the link). Returns
  // whether the command did anything.
  bool InvokeCommand(const QString& verb);
  // An item's name is being edited in place (F2).
  bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

  TShellModel* Model() const { return FModel; }

  std::function<void(QObject* sender)> OnDblClick;
  // Key is the typed 8-bit character (13 for Enter); setting it to 0 swallows the key.
  std::function<void(QObject* sender, char& key)> OnKeyPress;

signals:
  // The user opened a folder inside the list.
  void FolderOpened(const QString& path);

protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Name and size fill the visible width; type and date follow to the right.
  void resizeEvent(QResizeEvent* event) override;

private:
  TShellModel* FModel;
  QString FFolder;
  QString FFilter = QStringLiteral("*");
};

// Keeps tree and list on the same folder: the list shows the tree's folder, and a folder
// opened in the list becomes the tree's selection.
class TJamShellLink : public QObject {
  Q_OBJECT
public:
  explicit TJamShellLink(QObject* parent = nullptr);
  void SetTree(TJamShellTree* tree);
  void SetList(TJamShellList* list);
  TJamShellTree* Tree() const { return FTree; }
  TJamShellList* List() const { return FList; }

private:
  void Couple();
  TJamShellTree* FTree = nullptr;
  TJamShellList* FList = nullptr;
  std::vector<QMetaObject::Connection> FConnections;
};

// File-type box: takes "description|masks|description|masks..." and offers the descriptions.
class TFilterComboBox : public QComboBox {
  Q_OBJECT
public:
  explicit TFilterComboBox(QWidget* parent = nullptr);

  // Replaces the entries, selects the first and fires OnChange.
  void SetFilter(const QString& filter);
  QString Filter() const { return FFilter; }
  // Masks of the selected entry. With nothing selected the last entry is selected first;
  // without entries the result is "*.*".
  QString Mask();

  std::function<void(QObject* sender)> OnChange;

private:
  void Changed();
  QString FFilter;
  QStringList FMasks;
};
