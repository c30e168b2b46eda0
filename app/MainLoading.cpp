// SPDX-License-Identifier: GPL-3.0-or-later
// Page "Motiv laden" of the main window: the file browser, loading a picture, the preview and
// the favourite folders.
#include "MainLoading.h"

#include "Favourites.h"
#include "FileDrop.h"
#include "MainUnit.h"
#include "ProgramFolders.h"
#include "Project.h"
#include "ShellControls.h"

#include "StretchDraw.h"
#include "qt_device_context.h"
#include "DepthPromotion.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QListWidget>
#include <QScrollBar>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include <sys/stat.h>

// ---------------------------------------------------------------------------------------------
// Arithmetic and replaceable pieces

namespace loading {

namespace {

TOpenDibFunction& OpenFunction() {
  static TOpenDibFunction f;
  return f;
}

uint64_t& Limit() {
  static uint64_t limit = MORPHANE_MAX_PIXELS;
  return limit;
}

int32_t Saturate(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

} // namespace

long double FitZoom(int32_t clientWidth, int32_t pictureWidth) {
  if (pictureWidth <= 0) return 1;
  return static_cast<long double>(clientWidth) / static_cast<long double>(pictureWidth);
}

int32_t FitRadius(int32_t pictureWidth, int32_t clientWidth) {
  if (clientWidth <= 0) return std::numeric_limits<int32_t>::max();
  return Saturate(int64_t(pictureWidth) * 50 / clientWidth);
}

TPreviewSize PreviewSize(int32_t boxWidth, int32_t boxHeight, int32_t w, int32_t h) {
  if (w <= 0 || h <= 0) return {};
  // 64-bit products: a box width times a picture height can pass 2^31.
  const int64_t c = int64_t(boxWidth) * h / w;
  if (boxHeight < c) return {Saturate(int64_t(boxHeight) * w / h), boxHeight};
  return {boxWidth, Saturate(c)};
}

TOpenDibFunction SetOpenDibFunction(TOpenDibFunction f) {
  TOpenDibFunction previous = std::move(OpenFunction());
  OpenFunction() = std::move(f);
  return previous;
}

void CallOpenDib(TDib* dest, const char* path, int32_t option, void* window) {
  if (OpenFunction())
    OpenFunction()(dest, path, option, window);
  else
    OpenDib(dest, path, option, window);
}

uint64_t SetMaskLimit(uint64_t entries) {
  const uint64_t previous = Limit();
  Limit() = entries;
  return previous;
}

uint64_t MaskLimit() { return Limit(); }

} // namespace loading

namespace {

constexpr char kEnter = 13;
constexpr int kFolderBytesRole = Qt::UserRole; // the favourite's path, byte for byte
constexpr int kFavouriteRowHeight = 13;

const QColor& HeaderColour() {
  static const QColor colour = comp::FromColorRef(10930928);
  return colour;
}

QString Wide(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string Narrow(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Characters of an 8-bit (UTF-8) message: bytes that do not continue a character.
size_t CharacterCount(const char* text) {
  size_t n = 0;
  for (const char* p = text; *p; ++p)
    if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++n;
  return n;
}

// The message text of a failed open, cut at the end of the record if the NUL is missing.
std::string ErrorTextOf(const TDib& record) {
  const char* text = DibErrorText(&record);
  const size_t room = sizeof(TDib) - size_t(text - reinterpret_cast<const char*>(&record));
  return std::string(text, strnlen(text, room));
}

std::string Quoted(const std::string& name) { return "\xE2\x80\x9E" + name + "\xE2\x80\x9C"; }

// Why a path cannot be opened as a picture without reading it, or empty. Only the kind of the
// file is looked at (stat never blocks on a pipe or device); a path that cannot be looked at
// is left to the imaging library, which names the reason.
std::string RefusedKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
  const char* kind = S_ISDIR(st.st_mode)    ? "ein Ordner"
                     : S_ISFIFO(st.st_mode) ? "eine benannte Pipe"
                     : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "eine Gerätedatei"
                     : S_ISSOCK(st.st_mode) ? "ein Socket"
                                            : "keine gewöhnliche Datei";
  return Quoted(path) + " ist " + kind + " und kann nicht als Bild geöffnet werden.";
}

QString TwoDecimals(long double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2Lf", v);
  return QString::fromLatin1(text);
}

// Width of the scroll area's client (its viewport). A scroll area on a page that is not shown
// has not been laid out since the window last changed size; its page is laid out first, from
// the page control down, and the width the viewport will have without scroll bars is taken.
int32_t ClientWidth(QAbstractScrollArea& area) {
  if (area.isVisible()) return std::max(area.viewport()->width(), 0);
  std::vector<QWidget*> hidden;
  for (QWidget* w = area.parentWidget(); w && !w->isVisible(); w = w->parentWidget()) hidden.push_back(w);
  if (hidden.empty() || hidden.back()->parentWidget() == nullptr) return area.viewport()->width();
  QWidget* page = hidden.back();
  page->setGeometry(page->parentWidget()->contentsRect());
  for (auto it = hidden.rbegin(); it != hidden.rend(); ++it) {
    if (QLayout* layout = (*it)->layout()) {
      layout->invalidate();
      layout->activate();
    }
  }
  return std::max(area.maximumViewportSize().width(), 0);
}

QListWidgetItem* FavouriteItem(const std::string& folder) {
  auto* item = new QListWidgetItem(QString::fromUtf8(folder.data(), qsizetype(folder.size())));
  item->setData(kFolderBytesRole, QByteArray::fromStdString(folder));
  item->setSizeHint(QSize(0, kFavouriteRowHeight));
  return item;
}

favourites::TFolderList FavouritesOf(const QListWidget& list) {
  favourites::TFolderList folders;
  folders.reserve(size_t(list.count()));
  for (int i = 0; i < list.count(); ++i)
    folders.push_back(list.item(i)->data(kFolderBytesRole).toByteArray().toStdString());
  return folders;
}

// The favourites list. Its strip is no whole number of rows high: the viewport leaves the rest
// free at the bottom, so the rows in view are always whole ones (the list scrolls by rows). The
// free part is filled like the list.
class TPrefList : public QListWidget {
public:
  explicit TPrefList(QWidget* parent) : QListWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
  }

protected:
  bool viewportEvent(QEvent* event) override {
    if (event->type() == QEvent::Resize) FitWholeRows();
    return QListWidget::viewportEvent(event);
  }

private:
  // Also when a scroll bar comes or goes, which changes the viewport only.
  void FitWholeRows() {
    const QMargins margins = viewportMargins();
    const int room = viewport()->height() + margins.bottom();
    const int rest = room > kFavouriteRowHeight ? room % kFavouriteRowHeight : 0;
    if (rest != margins.bottom()) setViewportMargins(margins.left(), margins.top(), margins.right(), rest);
  }
};

// Hands key presses and double clicks of the favourites list to the window; the list still
// handles them itself afterwards.
class TPrefListEvents : public QObject {
public:
  TPrefListEvents(TMainForm* form, QListWidget* list)
      : QObject(list), FForm(form), FList(list), FViewport(list->viewport()) {
    list->installEventFilter(this);
    FViewport->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == FList && event->type() == QEvent::KeyPress) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      if (text.size() == 1 && text.at(0).unicode() < 256) {
        char key = char(text.at(0).unicode());
        FForm->PrefListBoxKeyPress(FList, key);
      }
    } else if (watched == FViewport && event->type() == QEvent::MouseButtonDblClick) {
      FForm->PrefListBoxDblClick(FList);
    }
    return false;
  }

private:
  TMainForm* FForm;
  QListWidget* FList;
  // Kept, not asked for: events still arrive while the list is being destroyed.
  QObject* FViewport;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The page

void TMainForm::BuildPageMotivLaden(QWidget* page) {
  using comp::Align;
  using comp::TAlign;
  using comp::TPanel;

  Panel5 = TPanel::Bevelled(page);
  Panel5->setObjectName("Panel5");
  Panel5->resize(Panel5->width(), 33);
  Panel5->SetColor(HeaderColour());
  Align(Panel5, TAlign::Top);
  RxLabel8 = comp::HeaderLabel(
      Panel5, QStringLiteral("Motiv laden - Wählen Sie ein Bild aus, welches deformiert werden soll!"), 16, 10);

  Panel3 = TPanel::Plain(page);
  Panel3->resize(Panel3->width(), 33);
  Align(Panel3, TAlign::Top);
  Panel18 = TPanel::Bevelled(Panel3);
  Panel18->resize(121, Panel18->height());
  Panel18->SetColor(HeaderColour());
  Align(Panel18, TAlign::Left);
  RxLabel12 = comp::HeaderLabel(Panel18, QStringLiteral("Lieblings Ordner:"), 8, 10);
  PrefListBox = new TPrefList(Panel3);
  PrefListBox->setSelectionMode(QAbstractItemView::SingleSelection);
  PrefListBox->setUniformItemSizes(true);
  Align(PrefListBox, TAlign::Client);
  new TPrefListEvents(this, PrefListBox);

  Panel9 = TPanel::Plain(page);
  Panel9->resize(373, Panel9->height());
  Align(Panel9, TAlign::Left);
  Panel11 = new TPanel(Panel9);
  Panel11->resize(Panel11->width(), 25);
  Align(Panel11, TAlign::Bottom);
  FilterComboBox1 = new TFilterComboBox(Panel11);
  FilterComboBox1->setGeometry(188, 3, 185, 21);
  comp::SetHint(FilterComboBox1, QStringLiteral("Hier können Sie die angezeigten Dateitypen wählen"));
  FilterComboBox1->OnChange = [this](QObject* sender) { FilterComboBox1Change(sender); };
  Panel10 = new TPanel(Panel9);
  Align(Panel10, TAlign::Client);
  JamShellTree1 = new TJamShellTree(Panel10);
  JamShellTree1->resize(185, JamShellTree1->height());
  Align(JamShellTree1, TAlign::Left);
  Splitter1 = new comp::TSplitter(Panel10, TAlign::Left, 3);
  JamShellList1 = new TJamShellList(Panel10);
  JamShellList1->SetFilter(QStringLiteral("*"));
  JamShellList1->OnDblClick = [this](QObject* sender) { JamShellList1DblClick(sender); };
  JamShellList1->OnKeyPress = [this](QObject* sender, char& key) { JamShellList1KeyPress(sender, key); };
  Align(JamShellList1, TAlign::Client);
  JamShellLink1 = new TJamShellLink(this);
  JamShellLink1->SetTree(JamShellTree1);
  JamShellLink1->SetList(JamShellList1);

  Splitter2 = new comp::TSplitter(page, TAlign::Left, 3);

  new TFileDrop(this, [this](const QString& path) { OpenFromOutside(path); });

  Panel12 = TPanel::Plain(page);
  Align(Panel12, TAlign::Client);
  Panel13 = new TPanel(Panel12);
  Panel13->resize(Panel13->width(), 17);
  Align(Panel13, TAlign::Top);
  RxLabel1 = new comp::TRxLabel(Panel13, QStringLiteral("Preview:"), 9, 2);
  Panel14 = new TPanel(Panel12);
  Panel14->resize(Panel14->width(), 79);
  Align(Panel14, TAlign::Bottom);
  RxLabel2 = new comp::TRxLabel(Panel14, QStringLiteral("Breite:"), 9, 6);
  RxLabel4 = new comp::TRxLabel(Panel14, QStringLiteral("Höhe:"), 9, 32);
  RxLabel5 = new comp::TRxLabel(Panel14, QStringLiteral("Farben:"), 9, 56);
  Breit = comp::ReadOnlyEdit(Panel14, QStringLiteral("320 Pixels"), 59, 6, 86);
  comp::SetHint(Breit, QStringLiteral("Zeigt die Breite des gewählten Bildes in Pixeln"));
  Hoch = comp::ReadOnlyEdit(Panel14, QStringLiteral("200 Pixels"), 59, 32, 86);
  comp::SetHint(Hoch, QStringLiteral("Zeigt die Höhe des gewählten Bildes in Pixeln"));
  Tief = comp::ReadOnlyEdit(Panel14, QStringLiteral("256"), 59, 56, 86);
  comp::SetHint(Tief, QStringLiteral("Zeigt die Anzahl der Farben des gewählten Bildes"));
  Panel15 = new TPanel(Panel12);
  Panel15->SetSingleBorder(true);
  Panel15->SetColor(comp::AppWorkspace());
  Align(Panel15, TAlign::Client);
  DibPrevPaint = new comp::TPaintBox(Panel15);
  comp::SetHint(DibPrevPaint, QStringLiteral("Zeigt eine Vorschau des geladenen Bildes"));
  DibPrevPaint->OnPaint = [this](comp::TPaintBox* box) { DibPrevPaintPaint(box); };
  Align(DibPrevPaint, TAlign::Client);
}

void TMainForm::FormCreateFilter() {
  FilterComboBox1->SetFilter(QString::fromLocal8Bit(project::OpenFilter(GetDIBOpenFilter())));
}

void TMainForm::FormCreateFolders() {
  JamShellTree1->SetSelectedFolder(folders::StartFolder(FProgramDir));
  FFavouritesFile = folders::FavouritesFolder(FProgramDir) + "folders.dat";
  for (const std::string& folder : favourites::ReadFolders(FFavouritesFile))
    PrefListBox->addItem(FavouriteItem(folder));
}

void TMainForm::FilterComboBox1Change(QObject*) {
  JamShellList1->SetFilter(FilterComboBox1->Mask());
}

// ---------------------------------------------------------------------------------------------
// Loading

void TMainForm::JamShellList1DblClick(QObject*) {
  if (JamShellList1->SelCount() == 0) return;
  const std::optional<TShellObject> item = JamShellList1->Selected();
  if (!item) return;
  if (item->IsFolder) {
    JamShellList1->InvokeCommand(QStringLiteral("default"));
    return;
  }
  if (!KeepWorkBeforeDropping("Bild öffnen")) return;
  std::string folder = Narrow(JamShellTree1->SelectedFolder());
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::string path = Narrow(Wide(folder) + item->FileName);
  openfilenow(path);
  AddToPrefFolders(folder);
  PageControl2->setCurrentIndex(1);
}

void TMainForm::JamShellList1KeyPress(QObject* Sender, char& Key) {
  if (!JamShellList1->IsEditing() && Key == kEnter) {
    JamShellList1DblClick(Sender);
    Key = 0;
  }
}

void TMainForm::openfilenow(const std::string& FileName) {
  if (project::IsProjectName(FileName)) {
    OpenProject(FileName);
    return;
  }
  TDib record{};
  const std::string refused = RefusedKind(FileName);
  if (refused.empty()) {
    loading::CallOpenDib(&record, FileName.c_str(), 0, static_cast<platform::HWND>(this));
    if (record.Bits != nullptr) {
      int32_t fullWidth = 0, fullHeight = 0;
      const bool reduced = DibOpenedReduced(&record, &fullWidth, &fullHeight) != 0;
      FPicturePath = FileName;
      ProjectPictureReplaced(FileName);
      PictureLoaded(record);
      if (reduced && PictureWidth() != fullWidth) ReportReduced(fullWidth, fullHeight);
      return;
    }
  }
  const std::string message = refused.empty() ? ErrorTextOf(record) : refused;
  const std::string failure = "Fehler: Die Datei " + FileName + " konnte nicht geladen werden!";
  // The message text names the file itself: window managers cut long titles.
  if (CharacterCount(message.c_str()) < 6)
    platform::MessageBox(this, failure, "Fehler", platform::MB_OK);
  else if (message.find(FileName) != std::string::npos)
    platform::MessageBox(this, message, failure, platform::MB_OK);
  else
    platform::MessageBox(this, "Die Datei " + Quoted(FileName) + " konnte nicht geladen werden.\n" + message, "Fehler",
                         platform::MB_OK);
}

// A picture above the imaging library's pixel limit was opened reduced: the user is told both
// sizes, so that nobody takes the edited picture for one of full size.
void TMainForm::ReportReduced(int32_t fullWidth, int32_t fullHeight) {
  const auto megapixels = [](int64_t w, int64_t h) { return std::to_string((w * h + 500000) / 1000000); };
  platform::MessageBox(this,
                       "Das Bild hat " + std::to_string(fullWidth) + " x " + std::to_string(fullHeight) + " Pixel (" +
                           megapixels(fullWidth, fullHeight) + " Megapixel). Bearbeitet werden Bilder bis " +
                           std::to_string(MORPHANE_MAX_PIXELS / 1000000) + " Megapixel; es wurde deshalb verkleinert auf " +
                           std::to_string(PictureWidth()) + " x " + std::to_string(PictureHeight()) + " Pixel geöffnet.",
                       "Bild verkleinert", platform::MB_OK | platform::MB_ICONINFORMATION);
}

// The mask for the current picture, within the limit and without throwing. False (FMask null)
// when the memory is not there.
static bool AllocBoundedMask(TMainForm& form) {
  const uint64_t entries = uint64_t(std::max(form.PictureWidth(), 0)) * uint64_t(std::max(form.PictureHeight(), 0));
  if (entries > loading::MaskLimit()) {
    form.FreeMask();
    return false;
  }
  return form.AllocMask();
}

void TMainForm::PictureLoaded(TDib& Record) {
  deldib(FSourceDib);
  FSourceDib = Record;
  FreeMask();
  DepthUpTo(24);

  bool outOfMemory = false;
  int32_t refusedWidth = 0, refusedHeight = 0;
  if (!AllocBoundedMask(*this)) {
    // Back to a blank white picture with a mask of its own; the loaded one is dropped.
    outOfMemory = true;
    refusedWidth = PictureWidth();
    refusedHeight = PictureHeight();
    deldib(FSourceDib);
    std::memset(&FSourceDib, 0, sizeof FSourceDib);
    newdib(&FSourceDib, 320, 200, 24, nullptr, 0);
    if (FSourceDib.Bits != nullptr)
      std::memset(FSourceDib.Bits, 255, FSourceDib.Info->bmiHeader.biSizeImage);
    AllocMask();
  }

  InitMaskAndRender();

  const int32_t w = PictureWidth(), h = PictureHeight();
  const auto viewLength = [this](int32_t length) {
    const int64_t v = FZoomDen != 0 ? int64_t(length) * FZoomNum / FZoomDen : length;
    return int(std::clamp<int64_t>(v, 0, QWIDGETSIZE_MAX));
  };
  PaintBox1->resize(viewLength(w), viewLength(h));

  Breit->setText(QString::number(w) + QStringLiteral(" Pixels"));
  Hoch->setText(QString::number(h) + QStringLiteral(" Pixels"));
  Tief->setText(QString::number(FSourceDib.Info ? DibColorCount(FSourceDib) : 0));
  DibPrevPaint->repaint();

  const int32_t clientWidth = ClientWidth(*ScrollBox1);
  // The zoom field shows two decimals; the ratio is then taken from that text.
  const long double zoom = std::clamp(loading::FitZoom(clientWidth, w), ZoomEd->MinValue(), ZoomEd->MaxValue());
  ZoomEd->SetText(TwoDecimals(zoom));
  UpdateRadiusRange();
  RadiusED->SetValue(loading::FitRadius(w, clientWidth));
  // A new picture is seen from its top-left corner, on the editing page and on the result page.
  for (comp::TScrollBox* box : {ScrollBox1, ErgScrollBox}) {
    box->SetHorzPosition(0);
    box->SetVertPosition(0);
  }

  if (outOfMemory)
    platform::MessageBox(this,
                         "Nicht genügend Arbeitsspeicher für ein Bild von " + std::to_string(refusedWidth) +
                             " x " + std::to_string(refusedHeight) +
                             " Pixeln. Das Bild wurde nicht geladen, es wird wieder ein leeres Bild gezeigt.",
                         "Fehler", platform::MB_OK | platform::MB_ICONERROR);
  MarkWorkSaved();
}

void TMainForm::DibPrevPaintPaint(QObject*) {
  if (FSourceDib.Info == nullptr || FSourceDib.Bits == nullptr || DibPrevPaint->Canvas() == nullptr) return;
  const int32_t w = DibWidth(FSourceDib), h = DibHeight(FSourceDib);
  const loading::TPreviewSize size = loading::PreviewSize(DibPrevPaint->width(), DibPrevPaint->height(), w, h);
  if (size.Width <= 0 || size.Height <= 0) return;
  platform::qt::TQtDeviceContext dc(*DibPrevPaint->Canvas(), DibPrevPaint->PaintRect());
  platform::qt::InDeviceUnits(dc, [&] {
    StretchDrawDib(&dc, 0, 0, dc.InUnits(size.Width), dc.InUnits(size.Height), FSourceDib, 0, 0, w, h, true,
                   platform::SRCCOPY, true, nullptr);
  });
}

// ---------------------------------------------------------------------------------------------
// Favourite folders

void TMainForm::AddToPrefFolders(const std::string& Folder) {
  const int found = favourites::LastIndexOf(FavouritesOf(*PrefListBox), Folder);
  if (found >= 0) delete PrefListBox->takeItem(found);
  PrefListBox->insertItem(0, FavouriteItem(Folder));
  // A failed write keeps the former file; the list on screen is updated all the same.
  favourites::WriteFolders(FFavouritesFile, FavouritesOf(*PrefListBox));
}

void TMainForm::PrefListBoxDblClick(QObject*) {
  const QList<QListWidgetItem*> selected = PrefListBox->selectedItems();
  if (selected.isEmpty()) return;
  const int index = PrefListBox->row(selected.first());
  if (index < 0 || index >= PrefListBox->count()) return;
  const QByteArray folder = PrefListBox->item(index)->data(kFolderBytesRole).toByteArray();
  JamShellTree1->SetSelectedFolder(QFile::decodeName(folder));
}

void TMainForm::PrefListBoxKeyPress(QObject*, char& Key) {
  if (Key == kEnter) PrefListBoxDblClick(this);
}

void TMainForm::OpenFromOutside(const QString& Path) {
  const QFileInfo info(QDir::cleanPath(QFileInfo(Path).absoluteFilePath()));
  if (info.isDir()) {
    JamShellTree1->SetSelectedFolder(info.filePath());
    PageControl2->setCurrentIndex(0);
    return;
  }
  if (!info.exists() && !info.isSymLink()) {
    openfilenow(Narrow(info.filePath())); // the library names the missing file
    return;
  }
  if (!KeepWorkBeforeDropping("Bild öffnen")) return;
  // As the file list does it: the tree shows the file's folder, the folder becomes a favourite
  // whether or not the picture opened, and the editing page is shown.
  JamShellTree1->SetSelectedFolder(info.path());
  std::string folder = Narrow(info.path());
  if (folder.empty() || folder.back() != '/') folder += '/';
  openfilenow(Narrow(info.filePath()));
  AddToPrefFolders(folder);
  PageControl2->setCurrentIndex(1);
}
