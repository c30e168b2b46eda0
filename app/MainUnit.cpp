// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainUnit.h"

#include "BackgroundJob.h"

#include "ButtonsXP.h"
#include "ImageBtnUnit.h"
#include "OutputSettings.h"
#include "Random.h"
#include "StretchDraw.h"
#include "WindowPlacement.h"
#include "qt_device_context.h"
#include "resources.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace comp;

TMainForm* MainForm = nullptr;

namespace {

const QColor kHeaderColour(240, 202, 166);
const QString kWebAddress = QStringLiteral("http://www.morphane.example");
constexpr int kOuterWidth = 638, kOuterHeight = 512;
constexpr int kWheelNotch = 120; // wheel delta of one notch
constexpr int kWheelStep = 20;   // pixels a notch scrolls
// The row of small buttons between "Glätten" (ends at 250) and Panel8 (starts at 430): seven
// buttons of 24 px fit.
constexpr int kBottomToolsLeft = 252, kBottomToolsWidth = 176, kBottomToolSize = 24;

TPanel* headerPanel(QWidget* parent, const QString& caption, TRxLabel*& label) {
  TPanel* p = TPanel::Bevelled(parent);
  p->resize(100, 33);
  p->SetColor(kHeaderColour);
  Align(p, TAlign::Top);
  label = HeaderLabel(p, caption, 16, 10);
  return p;
}

int32_t pixel(qreal v) { return int32_t(std::floor(v)); }

TImageBtn* imageButton(QWidget* parent, int left, const QString& picture, const QString& pressed,
                       const QString& hint) {
  auto* b = new TImageBtn(parent);
  b->move(left, 8);
  b->resize(101, 30);
  b->SetAutoSize(true);
  b->SetPicture(QPixmap(picture));
  b->SetPicture2(QPixmap(pressed));
  b->setCursor(Qt::PointingHandCursor);
  SetHint(b, hint);
  return b;
}

TBitBtnXP* glyphButton(QWidget* parent, const QString& caption, int left, const QString& glyph) {
  auto* b = new TBitBtnXP(parent);
  b->SetCaption(caption);
  b->setGeometry(left, 8, 145, 25);
  b->SetGlyph(TBitmap(glyph));
  b->SetNumGlyphs(2); // normal and disabled
  return b;
}

// Every picture on screen goes through StretchDrawDib with these options.
void drawDib(platform::HDC dc, const TDib& dib, int32_t destWidth, int32_t destHeight) {
  if (!dc || !dib.Info || !dib.Bits) return;
  // On a high-density screen the scaled picture is computed for the device's pixels.
  auto& qdc = *static_cast<platform::qt::TQtDeviceContext*>(dc);
  platform::qt::InDeviceUnits(qdc, [&] {
    StretchDrawDib(dc, 0, 0, qdc.InUnits(destWidth), qdc.InUnits(destHeight), dib, 0, 0, DibWidth(dib),
                   DibHeight(dib), true, platform::SRCCOPY, true, nullptr);
  });
}

} // namespace

TMainForm::TMainForm(const std::string& programFile, QWidget* parent) : QMainWindow(parent) {
  MainForm = this;
  InitMorphaneResources();
  FProgramDir = programFile.empty() ? QCoreApplication::applicationFilePath().toStdString() : programFile;
  buildWindow();
  FormCreate(this);
}

TMainForm::~TMainForm() {
  FormDestroy(this);
  if (MainForm == this) MainForm = nullptr;
}

// --- layout -----------------------------------------------------------------------------------

void TMainForm::buildWindow() {
  setWindowTitle("Morphane 2.0");
  setWindowIcon(QIcon(":/art/morphane.png"));
  setFont(MakeFont("MS Sans Serif", 11));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ButtonFace());
  setPalette(pal);
  resize(kOuterWidth, kOuterHeight);
  // Outer size with the frame and the centre of the screen, once the window manager has framed it.
  // Later runs find the window where the user left it.
  placement_ = new TWindowPlacement(this, QSize(kOuterWidth, kOuterHeight), QStringLiteral("window/main"));

  MainMenu1 = new QMenuBar(this); // no items: not shown
  MainMenu1->hide();

  auto* client = new QWidget(this);
  setCentralWidget(client);

  StatusBar1 = new TStatusBar(client);
  StatusBar1->resize(kOuterWidth, 19);
  StatusBar1->Panels = {{250, false, {}}, {50, true, {}}};
  StatusBar1->OnDrawPanel = [this](TStatusBar* bar, int panel, QPainter& canvas, const QRect& r) {
    StatusBar1DrawPanel(bar, panel, canvas, r);
  };
  Align(StatusBar1, TAlign::Bottom);

  buildBottomBar(client);

  OuterPanel = TPanel::Plain(client);
  Align(OuterPanel, TAlign::Client);
  PageControl2 = new QTabWidget(OuterPanel);
  Align(PageControl2, TAlign::Client);
  PageControl2->tabBar()->setAttribute(Qt::WA_Hover);
  TaBImages.Images = {QIcon(":/art/tab0.png"), QIcon(":/art/tab1.png"), QIcon(":/art/tab2.png")};

  TabSheetMotivLaden = new QWidget;
  PageControl2->addTab(TabSheetMotivLaden, TaBImages.Images[0], "Motiv laden");
  TabSheet2 = new QWidget;
  PageControl2->addTab(TabSheet2, TaBImages.Images[2], "Gesicht operieren");
  TabSheet4 = new QWidget;
  PageControl2->addTab(TabSheet4, TaBImages.Images[1], "Ergebnis verarbeiten");
  for (QWidget* page : {TabSheetMotivLaden, TabSheet2, TabSheet4}) new TAlignLayout(page);

  BuildPageMotivLaden(TabSheetMotivLaden);
  buildPageOperieren(TabSheet2);
  buildPageErgebnis(TabSheet4);
  PageControl2->setCurrentIndex(0);
  connect(PageControl2, &QTabWidget::currentChanged, this, [this] { PageControl2Change(PageControl2); });

  ShellBrowser1 = new TShellBrowser(this);
  JamSystemImageList1 = new TSystemImageList(this);
  SaveDialog1.OverwritePrompt = true;
  SaveDialog1.HideReadOnly = true;
  SaveDialog1.EnableSizing = true;

  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });

  buildKeys();
  buildProtection();
  BuildFaceTools();
  buildZoomKeys();
  buildClipboard();
  // Wheel notches over any part of the window reach FormMouseWheelDown/Up first.
  qApp->installEventFilter(this);
}

void TMainForm::buildBottomBar(QWidget* client) {
  Panel7 = TPanel::Plain(client);
  Panel7->resize(kOuterWidth, 41);
  Align(Panel7, TAlign::Bottom);

  wwwBtn = new QToolButton(Panel7);
  wwwBtn->setGeometry(5, 5, 137, 33);
  wwwBtn->setAutoRaise(true);
  wwwBtn->setIcon(QIcon(":/art/www.png"));
  wwwBtn->setIconSize(QSize(24, 24));
  wwwBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  wwwBtn->setText("www.morphane.example");
  // The address must show whole; where the window's family is missing a narrower face helps.
  QFont narrow = font();
  narrow.setStretch(QFont::Condensed);
  wwwBtn->setFont(narrow);
  SetHint(wwwBtn, "Besuchen Sie die Homepage von Morphane");
  connect(wwwBtn, &QToolButton::clicked, this, [this] { wwwBtnClick(wwwBtn); });

  // The tool bar has no room left at the window's designed height, and the mode applies to the
  // editing view, the result page, saving and printing alike: the box sits in the free middle
  // of the bottom bar, seen on every page.
  GlaettenCheck = new QCheckBox("Glätten", Panel7);
  GlaettenCheck->setGeometry(160, 12, 90, 17);
  GlaettenCheck->setChecked(ReadSmoothSetting());
  SetHint(GlaettenCheck, "Ergebnis mit weichen Übergängen statt kopierter Pixel berechnen");
  connect(GlaettenCheck, &QCheckBox::clicked, this, [this] { GlaettenCheckClick(GlaettenCheck); });

  BottomTools = new QWidget(Panel7);
  BottomTools->setGeometry(kBottomToolsLeft, 8, kBottomToolsWidth, kBottomToolSize);
  auto* row = new QHBoxLayout(BottomTools);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(1);
  row->addStretch(1); // buttons go before it, so the row fills from the left

  Panel8 = TPanel::Plain(Panel7);
  Panel8->resize(206, 41);
  Align(Panel8, TAlign::Right);
  ueberbtn = imageButton(Panel8, 0, ":/art/ueber.gif", ":/art/ueber2.gif", "Informationen über das Programm");
  ueberbtn->OnClick = [this](QObject* sender) { ueberbtnClick(sender); };
  endebtn = imageButton(Panel8, 104, ":/art/ende.gif", ":/art/ende2.gif", "Hiermit verlassen Sie das Programm");
  endebtn->OnClick = [this](QObject* sender) { EndeBtnClick(sender); };
}

QToolButton* TMainForm::AddBottomTool(const QString& glyph, const QString& caption, const QString& keys) {
  auto* b = new QToolButton(BottomTools);
  b->setAutoRaise(true);
  b->setIcon(QIcon(glyph));
  b->setIconSize(QSize(16, 16));
  b->setFixedSize(kBottomToolSize, kBottomToolSize);
  b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  b->setAccessibleName(caption);
  SetHint(b, keys.isEmpty() ? caption : caption + " (" + keys + ")", true);
  auto* row = static_cast<QHBoxLayout*>(BottomTools->layout());
  row->insertWidget(row->count() - 1, b);
  return b;
}

void TMainForm::buildPageOperieren(QWidget* page) {
  Panel6 = headerPanel(page, "Deformieren - Klicken Sie mit dem Mauszeiger auf das Bild um mit der OP zu beginnen",
                       RxLabel9);
  Panel43 = new TPanel(page);
  Align(Panel43, TAlign::Client);

  SpeedBar1 = new TSpeedBar(Panel43);
  SpeedBar1->resize(84, 100);
  SpeedBar1->SetWallpaper(QPixmap(":/art/speedbar.png"));
  Align(SpeedBar1, TAlign::Left);
  WachsenBtn = SpeedBar1->AddItem("Wachsen", "Wachsen", ":/art/tool_wachsen.png", 3, 12, 0);
  SchrumpfenBtn = SpeedBar1->AddItem("Schrumpfen", "Schrumpfen", ":/art/tool_schrumpfen.png", 3, 48, 0);
  SchmierenBtn = SpeedBar1->AddItem("Schmieren", "SchmierenBtn|", ":/art/tool_schmieren.png", 3, 84, 0);
  ZerrenBtn = SpeedBar1->AddItem("Zerren", "ZerrenBtn|", ":/art/tool_zerren.png", 3, 120, 0);
  RadiererBtn = SpeedBar1->AddItem("Radierer", "RadiererBtn|", ":/art/tool_radierer.png", 3, 156, 0);
  WachsenBtn->SetDown(true);

  NormalizeCheck = new QCheckBox("Normalize", SpeedBar1);
  NormalizeCheck->setGeometry(8, 192, 74, 17);
  NormalizeCheck->setChecked(true);
  xyCheck = new QRadioButton("X && Y", SpeedBar1);
  xyCheck->setGeometry(8, 208, 73, 17);
  xyCheck->setChecked(true);
  SetHint(xyCheck, "Effekt soll sich in alle Richtungen auswirken", true);
  xCheck = new QRadioButton("X", SpeedBar1);
  xCheck->setGeometry(8, 224, 32, 17);
  SetHint(xCheck, "Effekt soll sich nur horizontal auswirken", true);
  ycheck = new QRadioButton("Y", SpeedBar1);
  ycheck->setGeometry(40, 224, 33, 17);
  SetHint(ycheck, "Effekt soll sich nur vertikal auswirken", true);

  RxLabel3 = new TRxLabel(SpeedBar1, "Stärke:", 8, 240);
  RxLabel6 = new TRxLabel(SpeedBar1, "Radius:", 8, 280);
  RxLabel7 = new TRxLabel(SpeedBar1, "Zoom:", 8, 320);
  StarkED = new TSpinEdit(SpeedBar1, TValueType::Float, 0.1L, 1.0L, 0.1L, 0.4L);
  StarkED->move(8, 256);
  SetHint(StarkED, "Stärke des Effektes", true);
  RadiusED = new TSpinEdit(SpeedBar1, TValueType::Integer, 5, 300, 5, 50);
  RadiusED->move(8, 296);
  SetHint(RadiusED, "Radius in dem der Effekt angewendet werden soll", true);
  ZoomEd = new TSpinEdit(SpeedBar1, TValueType::Float, 0.05L, 10.0L, 0.1L, 1.0L);
  ZoomEd->move(8, 336);
  SetHint(ZoomEd, "Stellt das Bild größer oder kleiner da", true);
  ZoomEd->OnChange = [this] { ZoomEdChange(ZoomEd); };
  buildHistoryRow();
  SetHint(SpeedBar1, QString(), true);

  ScrollBox1 = new TScrollBox(Panel43);
  Align(ScrollBox1, TAlign::Client);
  PaintBox1 = new TPaintBox(nullptr);
  PaintBox1->move(0, 0);
  ScrollBox1->setWidget(PaintBox1);
  PaintBox1->setMouseTracking(true); // moves without a button move the outline
  PaintBox1->OnPaint = [this](TPaintBox*) { PaintBox1Paint(PaintBox1); };
  PaintBox1->Overlay = [this](QPainter& p) {
    drawProtectionOverlay(p);
    drawOutlineOverlay(p);
  };
  PaintBox1->OnMouseDown = [this](QMouseEvent* e) {
    PaintBox1MouseDown(PaintBox1, e->button(), e->modifiers(), pixel(e->position().x()), pixel(e->position().y()));
  };
  PaintBox1->OnMouseMove = [this](QMouseEvent* e) {
    PaintBox1MouseMove(PaintBox1, e->modifiers(), pixel(e->position().x()), pixel(e->position().y()));
  };
  PaintBox1->OnMouseLeave = [this] { viewPointerLeft(); };
  PaintBox1->OnMouseEnter = [this](QPoint at) { viewPointerEntered(at); };
  PaintBox1->OnMouseUp = [this](QMouseEvent* e) {
    PaintBox1MouseUp(PaintBox1, e->button(), e->modifiers(), pixel(e->position().x()), pixel(e->position().y()));
  };
}

void TMainForm::buildPageErgebnis(QWidget* page) {
  Panel16 = headerPanel(page, "Ergebnis verarbeiten - Bild bertrachten, speichern und drucken", RxLabel10);

  Panel21 = TPanel::Bevelled(page);
  Panel21->resize(209, 100);
  Panel21->SetColor(QColor(192, 220, 192));
  Align(Panel21, TAlign::Left);
  Panel22 = new TPanel(Panel21, TBevel::Lowered, TBevel::None);
  Panel22->setGeometry(7, 7, 195, 284);
  Image1 = new QLabel(Panel22);
  Image1->setPixmap(QPixmap(":/art/result_side.png"));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Align(Image1, TAlign::Client);
  Panel23 = TPanel::Bevelled(Panel22);
  Panel23->setGeometry(8, 8, 177, 73);
  Panel23->SetColor(kHeaderColour);
  RxLabel27 = new TRxLabel(Panel23, "Ergebnis verarbeiten", 8, 8);
  QFont black = MakeFont("Arial Black", 19);
  black.setWeight(QFont::Black); // a heavy face where the family itself is missing
  RxLabel27->setFont(black);
  QPalette maroon = RxLabel27->palette();
  maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
  RxLabel27->setPalette(maroon);
  RxLabel27->setWordWrap(true);
  RxLabel27->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  RxLabel27->setGeometry(8, 8, 161, 57);
  AnimBtn = glyphButton(Panel21, "&Animation speichern...", 7, ":/art/save.bmp");
  AnimBtn->setGeometry(7, 299, 195, 25);
  AnimBtn->OnClick = [this](QObject* sender) { AnimBtnClick(sender); };

  Panel1 = new TPanel(page);
  Align(Panel1, TAlign::Client);
  Panel17 = new TPanel(Panel1);
  Panel17->resize(100, 49);
  Align(Panel17, TAlign::Top);
  SaveAsBtn = glyphButton(Panel17, "Bild &speichern unter...", 8, ":/art/save.bmp");
  SaveAsBtn->OnClick = [this](QObject* sender) { BitBtn1Click(sender); };
  PrintBtn = glyphButton(Panel17, "Bild &drucken...", 160, ":/art/print.bmp");
  PrintBtn->OnClick = [this](QObject* sender) { BitBtn2Click(sender); };

  ErgScrollBox = new TScrollBox(Panel1);
  Align(ErgScrollBox, TAlign::Client);
  ErgPaintBox = new TPaintBox(nullptr);
  ErgPaintBox->setGeometry(0, 0, 105, 105);
  ErgPaintBox->setCursor(Qt::PointingHandCursor);
  ErgScrollBox->setWidget(ErgPaintBox);
  ErgPaintBox->OnPaint = [this](TPaintBox*) { ErgPaintBoxPaint(ErgPaintBox); };
  ErgPaintBox->OnMouseDown = [this](QMouseEvent* e) {
    ErgPaintBoxMouseDown(ErgPaintBox, e->button(), e->modifiers(), pixel(e->position().x()), pixel(e->position().y()));
  };
  ErgPaintBox->OnMouseMove = [this](QMouseEvent* e) {
    ErgPaintBoxMouseMove(ErgPaintBox, e->modifiers(), pixel(e->position().x()), pixel(e->position().y()));
  };
  ErgPaintBox->OnMouseUp = [this](QMouseEvent* e) {
    ErgPaintBoxMouseUp(ErgPaintBox, e->button(), e->modifiers(), pixel(e->position().x()), pixel(e->position().y()));
  };
}

// --- life cycle ---------------------------------------------------------------------------------

void TMainForm::FormCreate(QObject*) {
  // FProgramDir holds the program file's path until here.
  QString dir = QFileInfo(QString::fromStdString(FProgramDir)).absolutePath();
  if (!dir.endsWith('/')) dir += '/';
  FProgramDir = dir.toStdString();
  ApplicationHelpFile() = FProgramDir + ApplicationHelpFile();
  Randomize();
  FormCreateFilter();

  for (TDib* dib : {&FSourceDib, &FResultDib}) {
    newdib(dib, 320, 200, 24, nullptr, 0);
    if (dib->Bits) std::memset(dib->Bits, 255, dib->Info->bmiHeader.biSizeImage);
  }
  AllocMask(); // 320 x 200 entries of 8 bytes
  FZoomNum = 1;
  FZoomDen = 1;
  FSmooth = GlaettenCheck->isChecked();
    // A picture newdib could not create has no header: the view is then empty.
  PaintBox1->resize(PictureWidth() * FZoomNum / FZoomDen, PictureHeight() * FZoomNum / FZoomDen);
  InitMask();
  renderdi();

  SaveDialog1.InitialDir = QString::fromStdString(FProgramDir);
  FormCreateFolders();
  FormCreateProject();
  FormCreateWork();
}

void TMainForm::FormDestroy(QObject*) {
  ReleaseAll(); // FSourceDib, FResultDib, then the mask
  platform::WinHelp(this, ApplicationHelpFile(), platform::HELP_QUIT, 0);
}

void TMainForm::FormCloseQuery(QObject*, bool& CanClose) {
  if (HasUnsavedWork()) {
    CanClose = KeepWorkBeforeDropping("Programm beenden");
    return;
  }
  CanClose = platform::MessageBox(this, "Hiermit beenden Sie Morphane!", "Programm beenden",
                                  platform::MB_OKCANCEL | platform::MB_ICONINFORMATION) == platform::IDOK;
}

void TMainForm::closeEvent(QCloseEvent* e) {
  if (BackgroundBusy()) { // the work is stopped first; closing again then asks as ever
    CancelBackground();
    e->ignore();
    return;
  }
  bool canClose = true;
  FormCloseQuery(this, canClose);
  if (canClose) {
    placement_->Remember();
    e->accept();
  }
  else e->ignore();
}

void TMainForm::EndeBtnClick(QObject*) { close(); }

void TMainForm::wwwBtnClick(QObject*) {
  platform::ShellExecute(this, "open", kWebAddress.toStdString(), "", "", platform::SW_SHOW);
}

// --- wheel ------------------------------------------------------------------------------------

void TMainForm::FormMouseWheelDown(QObject*, Qt::KeyboardModifiers, QPoint, bool&) {
  if (PageControl2->currentIndex() == 1) ScrollBox1->SetVertPosition(ScrollBox1->VertPosition() + kWheelStep);
  else if (PageControl2->currentIndex() == 2)
    ErgScrollBox->SetVertPosition(ErgScrollBox->VertPosition() + kWheelStep);
}

void TMainForm::FormMouseWheelUp(QObject*, Qt::KeyboardModifiers, QPoint, bool&) {
  if (PageControl2->currentIndex() == 1) ScrollBox1->SetVertPosition(ScrollBox1->VertPosition() - kWheelStep);
  else if (PageControl2->currentIndex() == 2)
    ErgScrollBox->SetVertPosition(ErgScrollBox->VertPosition() - kWheelStep);
}

void TMainForm::wheel(QWheelEvent* e) {
  wheelRest_ += e->angleDelta().y();
  bool handled = false;
  const QPoint pos = e->globalPosition().toPoint();
  while (wheelRest_ >= kWheelNotch) {
    wheelRest_ -= kWheelNotch;
    FormMouseWheelUp(this, e->modifiers(), pos, handled);
  }
  while (wheelRest_ <= -kWheelNotch) {
    wheelRest_ += kWheelNotch;
    FormMouseWheelDown(this, e->modifiers(), pos, handled);
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
  if (keyEvent(watched, e) || viewEvent(watched, e)) return true;
  if (e->type() != QEvent::Wheel || !watched->isWidgetType()) return false;
  auto* w = static_cast<QWidget*>(watched);
  if (w->window() != this) return false;
  if (PageControl2->currentIndex() == 0) {
    // The page's own lists scroll themselves; the tabs do not change on the wheel.
    return PageControl2->tabBar()->isAncestorOf(w) || w == PageControl2->tabBar();
  }
  // On the editing and result pages a notch moves the scroll box by exactly 20 pixels and
  // nothing else scrolls.
  wheel(static_cast<QWheelEvent*>(e));
  return true;
}

// --- editing view -------------------------------------------------------------------------------

namespace {
QRect toQRect(const warp::TRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }
} // namespace

void TMainForm::PaintBox1MouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int32_t X, int32_t Y) {
  ViewMouseDown(X, Y);
}
void TMainForm::PaintBox1MouseMove(QObject*, Qt::KeyboardModifiers, int32_t X, int32_t Y) {
  const TOneViewUpdate update(*this);
  ViewMouseMove(X, Y);
}
void TMainForm::PaintBox1MouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int32_t X, int32_t Y) {
  ViewMouseUp(X, Y);
}
void TMainForm::Timer1Timer(QObject*) {
  const TOneViewUpdate update(*this);
  TimerTick();
}

// Erasing the outline, the step's repaint and the new outline reach the screen as one update,
// so no frame without the outline is ever shown.
TMainForm::TOneViewUpdate::TOneViewUpdate(TMainForm& form) : form_(form), outer_(form.viewUpdate_ == nullptr) {
  if (outer_) form.viewUpdate_ = &pending_;
}

TMainForm::TOneViewUpdate::~TOneViewUpdate() {
  if (!outer_) return;
  form_.viewUpdate_ = nullptr;
  if (!pending_.isEmpty()) form_.PaintBox1->repaint(pending_);
}

void TMainForm::repaintViewPart(const QRect& part) {
  if (viewUpdate_ != nullptr) *viewUpdate_ += part;
  else PaintBox1->repaint(part);
}

// The outline leaves with the pointer and comes back with it (a stroke keeps it: the view has
// the pointer captured).
void TMainForm::viewPointerLeft() {
  if (FStrokeActive || !FOutlineShown) return;
  FOutlineShown = false;
  repaintViewPart(toQRect(FOutlineRect).adjusted(-1, -1, 1, 1));
}

void TMainForm::viewPointerEntered(QPoint at) {
  if (FStrokeActive) return;
  PaintBox1MouseMove(PaintBox1, Qt::NoModifier, at.x(), at.y());
}
void TMainForm::PageControl2Change(QObject*) { PageChanged(); }

void TMainForm::GlaettenCheckClick(QObject*) {
  SetSmooth(GlaettenCheck->isChecked());
  WriteSmoothSetting(FSmooth);
  ErgPaintBox->update();
}

// Called by the program: erase the outline and repaint the view now. Called from the view's
// paint event: draw the picture into the part being repainted.
void TMainForm::PaintBox1Paint(QObject*) {
  if (!PaintBox1->Painting()) {
    PaintView();
    return;
  }
  const TDib& shown = FShowingSource ? FSourceDib : FResultDib;
  if (!shown.Info) return;
  const int32_t w = DibWidth(shown), h = DibHeight(shown);
  drawDib(PaintBox1->Handle(), shown, w * FZoomNum / FZoomDen, h * FZoomNum / FZoomDen);
}

// The brush outline while it is shown: the ellipse inscribed in FOutlineRect (right and bottom
// edges excluded), every pixel under the one-pixel pen inverted.
void TMainForm::drawOutlineOverlay(QPainter& p) {
  if (!FOutlineShown || FOutlineRect.Empty()) return;
  p.setCompositionMode(QPainter::RasterOp_NotDestination);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 0));
  p.setBrush(Qt::NoBrush);
  const warp::TRect& r = FOutlineRect;
  p.drawEllipse(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

warp::TToolBarState TMainForm::ReadToolBar() {
  warp::TToolBarState bar;
  bar.WachsenDown = WachsenBtn->Down();
  bar.SchrumpfenDown = SchrumpfenBtn->Down();
  bar.RadiererDown = RadiererBtn->Down();
  bar.SchmierenDown = SchmierenBtn->Down();
  bar.ZerrenDown = ZerrenBtn->Down();
  bar.XYChecked = xyCheck->isChecked();
  bar.XChecked = xCheck->isChecked();
  bar.YChecked = ycheck->isChecked();
  bar.NormalizeChecked = NormalizeCheck->isChecked();
  bar.Strength = StarkED->Value();
  bar.Radius = RadiusED->Value();
  bar.Zoom = ZoomEd->Value();
  return bar;
}

void TMainForm::RepaintView() { repaintViewPart(PaintBox1->rect()); }

void TMainForm::RepaintViewRect(const warp::TRect& Rect) {
  if (!Rect.Empty()) repaintViewPart(toQRect(Rect));
}

void TMainForm::InvertOutline(const warp::TRect& Rect) {
  // The new state is already set: repainting the ellipse's box draws the picture there and,
  // while the outline is shown, the inverted ellipse over it.
  if (Rect.Empty() || PaintBox1->Painting()) return;
  repaintViewPart(toQRect(Rect).adjusted(-1, -1, 1, 1));
}

void TMainForm::SetMouseCapture(bool On) {
  if (On) {
    if (PaintBox1->isVisible()) PaintBox1->grabMouse();
  } else if (QWidget::mouseGrabber() == PaintBox1) {
    PaintBox1->releaseMouse();
  }
}

void TMainForm::SetTimerEnabled(bool On) {
  if (On) Timer1->start();
  else Timer1->stop();
}

void TMainForm::ResizeView(int32_t Width, int32_t Height) { PaintBox1->resize(Width, Height); }

// --- progress indicator ---------------------------------------------------------------------------

int32_t TMainForm::progressSplit(const warp::TRect& r) const {
  return r.Left + int32_t(int64_t(r.Right - r.Left) * FProgress / 100);
}

void TMainForm::StatusBar1DrawPanel(TStatusBar*, int, QPainter& Canvas, const QRect& Rect) {
  const warp::TRect r{Rect.left(), Rect.top(), Rect.left() + Rect.width(), Rect.top() + Rect.height()};
  const int32_t split = progressSplit(r);
  // A percentage outside 0..100 fills no further than the panel.
  const int32_t shown = std::clamp(split, r.Left, r.Right);
  Canvas.fillRect(QRect(r.Left, r.Top, shown - r.Left, r.Bottom - r.Top), QColor(0, 0, 128));
  Canvas.fillRect(QRect(shown, r.Top, r.Right - shown, r.Bottom - r.Top), ButtonFace());
  FProgressRect = r;
  const QString& tip = StatusBar1->Panels[1].Text;
  if (!tip.isEmpty() && shown == r.Left) {
    Canvas.setPen(WindowText());
    Canvas.drawText(toQRect(r).adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, tip);
  }
}

void TMainForm::SBarPaintMore() {
  TMainForm* form = MainForm ? MainForm : this;
  const warp::TRect& r = form->FProgressRect;
  const int32_t split = std::clamp(form->progressSplit(r), r.Left, r.Right);
  if (split <= r.Left || r.Bottom <= r.Top) return;
  // Repainting the filled block draws it as the status bar draws panel 1, now.
  form->StatusBar1->repaint(QRect(r.Left, r.Top, split - r.Left, r.Bottom - r.Top));
}

void TMainForm::SetProStatus(int32_t Value) {
  const bool decrease = Value < FProgress;
  FProgress = Value;
  // An unchanged value takes the increase path as well and draws the filled block again.
  if (decrease) StatusBar1->repaint();
  else SBarPaintMore();
}

platform::LRESULT TMainForm::WindowProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
  if (msg == platform::WM_USER) WMUser(wParam, lParam);
  return 0;
}

void TMainForm::WMUser(platform::WPARAM wParam, platform::LPARAM) { SetProStatus(int32_t(wParam)); }

// --- result page --------------------------------------------------------------------------------

void TMainForm::ErgPaintBoxPaint(QObject*) {
  if (!ErgPaintBox->Painting() || !FResultDib.Info) return;
  const QSize shown = ResultViewSize(); // the picture's own size, or fitted into the view
  const int w = shown.width(), h = shown.height();
  // A new size updates the scroll ranges and repaints.
  if (ErgPaintBox->width() != w) ErgPaintBox->resize(w, ErgPaintBox->height());
  if (ErgPaintBox->height() != h) ErgPaintBox->resize(ErgPaintBox->width(), h);
  drawDib(ErgPaintBox->Handle(), FResultDib, w, h);
}

void TMainForm::ErgPaintBoxMouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int32_t X, int32_t Y) {
  FResultDragging = true;
  FResultDragX = X;
  FResultDragY = Y;
}

void TMainForm::ErgPaintBoxMouseMove(QObject*, Qt::KeyboardModifiers, int32_t X, int32_t Y) {
  if (!FResultDragging) return;
  const int32_t H = ErgScrollBox->HorzPosition(), V = ErgScrollBox->VertPosition();
  const int32_t RH = ErgScrollBox->HorzRange(), RV = ErgScrollBox->VertRange();
  int32_t NH = H + (FResultDragX - X), NV = V + (FResultDragY - Y);
  if (NH < 0) NH = 0;
  if (NV < 0) NV = 0;
  if (NH > RH - 1) NH = RH - 1;
  if (NV > RV - 1) NV = RV - 1;
  // The scroll bars limit each position further to range minus visible extent.
  ErgScrollBox->SetHorzPosition(NH);
  ErgScrollBox->SetVertPosition(NV);
}

void TMainForm::ErgPaintBoxMouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int32_t, int32_t) {
  FResultDragging = false;
}
