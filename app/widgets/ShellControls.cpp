// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellControls.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace {

QFont ShellFont() {
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(12);
  return font;
}

// An existing folder as an absolute path without "." or ".." parts; empty otherwise.
QString ExistingFolder(const QString& path) {
  if (path.isEmpty()) return {};
  const QFileInfo info(path);
  if (!info.isDir()) return {};
  return QDir::cleanPath(info.absoluteFilePath());
}

} // namespace

// ---------------------------------------------------------------------------------------------

// The icons are made here, on the GUI thread; the model's gatherer thread only copies them.
TKindIconProvider::TKindIconProvider() {
  setOptions(DontUseCustomDirectoryIcons);
  QStyle* style = QApplication::style();
  FFolder = style->standardIcon(QStyle::SP_DirIcon);
  FFile = style->standardIcon(QStyle::SP_FileIcon);
  FLink = style->standardIcon(QStyle::SP_FileLinkIcon);
  FDrive = style->standardIcon(QStyle::SP_DriveHDIcon);
  FComputer = style->standardIcon(QStyle::SP_ComputerIcon);
}

QIcon TKindIconProvider::icon(IconType type) const {
  switch (type) {
  case Computer: return FComputer;
  case Drive: return FDrive;
  case Folder: return FFolder;
  default: return FFile;
  }
}

QIcon TKindIconProvider::icon(const QFileInfo& info) const {
  if (info.isRoot()) return FDrive;
  if (info.isDir()) return FFolder;
  if (info.isSymLink()) return FLink;
  return FFile;
}

QString TKindIconProvider::type(const QFileInfo& info) const {
  if (info.isDir()) return QStringLiteral("Dateiordner");
  const QString suffix = info.suffix();
  return suffix.isEmpty() ? QStringLiteral("Datei") : suffix.toUpper() + QStringLiteral("-Datei");
}

TKindIconProvider* TKindIconProvider::Shared() {
  static TKindIconProvider* const provider = new TKindIconProvider; // lives as long as the program
  return provider;
}

// ---------------------------------------------------------------------------------------------

TShellModel::TShellModel(QObject* parent) : QFileSystemModel(parent) {
  setIconProvider(TKindIconProvider::Shared());
  setOption(DontUseCustomDirectoryIcons);
  setReadOnly(true);
}

QVariant TShellModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
    switch (section) {
    case 0: return QStringLiteral("Name");
    case 1: return QStringLiteral("Größe");
    case 2: return QStringLiteral("Typ");
    case 3: return QStringLiteral("Geändert am");
    default: break;
    }
  }
  return QFileSystemModel::headerData(section, orientation, role);
}

QVariant TShellModel::data(const QModelIndex& index, int role) const {
  if (index.isValid() && index.column() == 2 && role == Qt::DisplayRole)
    return TKindIconProvider::Shared()->type(fileInfo(index));
  return QFileSystemModel::data(index, role);
}

// ---------------------------------------------------------------------------------------------

TJamShellTree::TJamShellTree(QWidget* parent) : QTreeView(parent), FModel(new TShellModel(this)) {
  FModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  FModel->setRootPath(QString()); // the computer's top level: "/" on this system
  setModel(FModel);
  for (int column = 1; column < FModel->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setIndentation(19);
  setFont(ShellFont());
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);

  // Folders read later and the model's sorting move the rows above the selected one: after each
  // change, once the view has laid it out, the selection is brought back into view.
  FFollowTimer = new QTimer(this);
  FFollowTimer->setSingleShot(true);
  FFollowTimer->setInterval(0);
  connect(FFollowTimer, &QTimer::timeout, this, [this] {
    if (FFollowing && currentIndex().isValid()) scrollTo(currentIndex());
  });
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(FModel, signal, this, &TJamShellTree::FollowSelection);
  connect(FModel, &QAbstractItemModel::layoutChanged, this, &TJamShellTree::FollowSelection);
  for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
    connect(bar, &QAbstractSlider::actionTriggered, this, [this] { FFollowing = false; });
}

void TJamShellTree::FollowSelection() {
  if (FFollowing) FFollowTimer->start();
}

void TJamShellTree::showEvent(QShowEvent* event) {
  QTreeView::showEvent(event);
  FollowSelection();
}

void TJamShellTree::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  FollowSelection();
}

void TJamShellTree::mousePressEvent(QMouseEvent* event) {
  FFollowing = false;
  QTreeView::mousePressEvent(event);
}

void TJamShellTree::wheelEvent(QWheelEvent* event) {
  FFollowing = false;
  QTreeView::wheelEvent(event);
}

void TJamShellTree::keyPressEvent(QKeyEvent* event) {
  FFollowing = false;
  QTreeView::keyPressEvent(event);
}

QString TJamShellTree::SelectedFolder() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? FModel->filePath(current) : QString();
}

void TJamShellTree::SetSelectedFolder(const QString& path) {
  const QString folder = ExistingFolder(path);
  if (folder.isEmpty()) return;
  const QModelIndex index = FModel->index(folder);
  if (!index.isValid()) return;
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
  setCurrentIndex(index);
  scrollTo(index);
  FFollowing = true;
  FollowSelection();
}

void TJamShellTree::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (current.isValid()) emit SelectedFolderChanged(FModel->filePath(current));
}

// ---------------------------------------------------------------------------------------------

TJamShellList::TJamShellList(QWidget* parent) : QTreeView(parent), FModel(new TShellModel(this)) {
  // Folders pass the name filter whatever the masks say (AllDirs). Pipes, devices and sockets
  // are shown too (System): opening one is refused with a message.
  FModel->setFilter(QDir::AllDirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
  FModel->setNameFilterDisables(false);
  FModel->setReadOnly(false); // names can be edited in place with F2
  setModel(FModel);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setFont(ShellFont());
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::Interactive);
  setColumnWidth(0, 160);
  // The size column is as wide as its heading and its widest entry need.
  header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void TJamShellList::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  const int size = std::max(header()->sectionSize(1), header()->sectionSizeHint(1));
  setColumnWidth(0, std::max(header()->minimumSectionSize(), viewport()->width() - size));
}

void TJamShellList::SetFolder(const QString& path) {
  const QString folder = ExistingFolder(path);
  if (folder.isEmpty() || folder == FFolder) return;
  FFolder = folder;
  FModel->setRootPath(folder);
  setRootIndex(FModel->index(folder));
  selectionModel()->clear();
}

void TJamShellList::SetFilter(const QString& masks) {
  FFilter = masks;
  QStringList filters;
  for (const QString& part : masks.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString mask = part.trimmed();
    if (mask.isEmpty()) continue;
    // "*.*" means every file, also one without an extension.
    if (mask == QLatin1String("*") || mask == QLatin1String("*.*")) {
      filters.clear();
      break;
    }
    filters << mask;
  }
  FModel->setNameFilters(filters);
}

int TJamShellList::SelCount() const {
  return int(selectionModel()->selectedRows(0).size());
}

std::optional<TShellObject> TJamShellList::Selected() const {
  QModelIndexList rows = selectionModel()->selectedRows(0);
  if (rows.isEmpty()) return std::nullopt;
  const QModelIndex first =
      *std::min_element(rows.begin(), rows.end(),
                        [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  const QFileInfo info = FModel->fileInfo(first);
  return TShellObject{FModel->filePath(first), info.fileName(), info.isDir()};
}

bool TJamShellList::InvokeCommand(const QString& verb) {
  if (verb != QLatin1String("default")) return false;
  const std::optional<TShellObject> item = Selected();
  if (!item || !item->IsFolder) return false;
  const QString before = FFolder;
  SetFolder(item->Path);
  if (FFolder == before) return false;
  emit FolderOpened(FFolder);
  return true;
}

void TJamShellList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  if (OnDblClick) OnDblClick(this);
}

void TJamShellList::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (OnKeyPress && text.size() == 1 && text.at(0).unicode() < 256) {
    char key = char(text.at(0).unicode());
    OnKeyPress(this, key);
    if (key == 0) {
      event->accept();
      return;
    }
  }
  QTreeView::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------

TJamShellLink::TJamShellLink(QObject* parent) : QObject(parent) {}

void TJamShellLink::SetTree(TJamShellTree* tree) {
  FTree = tree;
  Couple();
}

void TJamShellLink::SetList(TJamShellList* list) {
  FList = list;
  Couple();
}

void TJamShellLink::Couple() {
  for (const QMetaObject::Connection& connection : FConnections) disconnect(connection);
  FConnections.clear();
  if (!FTree || !FList) return;
  TJamShellList* list = FList;
  TJamShellTree* tree = FTree;
  FConnections.push_back(connect(tree, &TJamShellTree::SelectedFolderChanged, list,
                                 [list](const QString& path) { list->SetFolder(path); }));
  FConnections.push_back(connect(list, &TJamShellList::FolderOpened, tree,
                                 [tree](const QString& path) { tree->SetSelectedFolder(path); }));
  if (!tree->SelectedFolder().isEmpty()) list->SetFolder(tree->SelectedFolder());
}

// ---------------------------------------------------------------------------------------------

TFilterComboBox::TFilterComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::currentIndexChanged, this, [this](int) { Changed(); });
}

void TFilterComboBox::SetFilter(const QString& filter) {
  FFilter = filter;
  {
    const QSignalBlocker blocker(this);
    clear();
    FMasks.clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
      const QString description = parts[i];
      const QString masks = i + 1 < parts.size() ? parts[i + 1] : QString();
      if (description.isEmpty() && masks.isEmpty()) continue;
      addItem(description);
      FMasks << (masks.isEmpty() ? QStringLiteral("*.*") : masks);
    }
    setCurrentIndex(count() > 0 ? 0 : -1);
  }
  Changed();
}

QString TFilterComboBox::Mask() {
  if (count() == 0) return QStringLiteral("*.*");
  if (currentIndex() < 0) {
    const QSignalBlocker blocker(this);
    setCurrentIndex(count() - 1);
  }
  return FMasks.value(currentIndex(), QStringLiteral("*.*"));
}

void TFilterComboBox::Changed() {
  if (OnChange) OnChange(this);
}
