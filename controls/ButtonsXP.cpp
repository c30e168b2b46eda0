// SPDX-License-Identifier: GPL-3.0-or-later
#include "ButtonsXP.h"

#include "VisualStyles.h"
#include "resources.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Bitmaps and image lists

QColor TBitmap::TransparentColor() const {
  if (FFixedTransparent) return *FFixedTransparent;
  if (Empty()) return QColor(128, 128, 0);
  // QImage rows run top-down: the bottom-left pixel is in the last row.
  return QColor(FImage.pixel(0, FImage.height() - 1));
}

TGlyphList::TGlyphList(int Width, int Height) : FWidth(Width), FHeight(Height) {}

bool TGlyphList::Used(int Index) const {
  return Index >= 0 && size_t(Index) < FUsed.size() && FUsed[size_t(Index)];
}

int TGlyphList::AllocateIndex() {
  const auto free = std::find(FUsed.begin(), FUsed.end(), false);
  const int index = int(free - FUsed.begin());
  if (free == FUsed.end()) {
    FImages.emplace_back();
    FUsed.push_back(false);
  }
  FUsed[size_t(index)] = true;
  return index;
}

int TGlyphList::AddMasked(const QImage& Image, QColor Mask) {
  const int index = AllocateIndex();
  QImage masked = Image.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = Mask.rgb() & 0x00FFFFFFu;
  for (int y = 0; y < masked.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(masked.scanLine(y));
    for (int x = 0; x < masked.width(); ++x)
      if ((row[x] & 0x00FFFFFFu) == key) row[x] = 0;
  }
  FImages[size_t(index)] = masked;
  ++FCount;
  return index;
}

void TGlyphList::Delete(int Index) {
  if (!Used(Index)) return;
  FUsed[size_t(Index)] = false;
  --FCount;
}

void TGlyphList::Draw(QPainter& Painter, int Index, int X, int Y) const {
  if (Index < 0 || size_t(Index) >= FImages.size()) return;
  Painter.drawImage(X, Y, FImages[size_t(Index)]);
}

TGlyphList* TGlyphCache::GetList(int Width, int Height) {
  for (auto it = FLists.rbegin(); it != FLists.rend(); ++it)
    if ((*it)->Width() == Width && (*it)->Height() == Height) return it->get();
  FLists.push_back(std::make_unique<TGlyphList>(Width, Height));
  return FLists.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
  if (List == nullptr || List->Count() != 0) return;
  const auto it = std::find_if(FLists.begin(), FLists.end(),
                               [List](const auto& l) { return l.get() == List; });
  if (it != FLists.end()) FLists.erase(it);
}

namespace {
std::unique_ptr<TGlyphCache> gGlyphCache;

TGlyphCache& GlyphCache() {
  if (!gGlyphCache) gGlyphCache = std::make_unique<TGlyphCache>();
  return *gGlyphCache;
}
} // namespace

TGlyphCache* SharedGlyphCache() { return gGlyphCache.get(); }

TButtonColours TButtonColours::FromPalette(const QPalette& Palette) {
  TButtonColours c;
  c.Face = Palette.color(QPalette::Button);
  c.Highlight = Palette.color(QPalette::Light);
  c.Shadow = Palette.color(QPalette::Dark);
  c.Text = Palette.color(QPalette::ButtonText);
  c.WindowFrame = Palette.color(QPalette::Shadow);
  return c;
}

// ---------------------------------------------------------------------------------------------
// The glyph

TButtonGlyph::TButtonGlyph() : FColours(TButtonColours::FromPalette(QGuiApplication::palette())) {
  GlyphCache();
}

TButtonGlyph::~TButtonGlyph() {
  ReleaseImages();
  if (gGlyphCache && gGlyphCache->Empty()) gGlyphCache.reset();
}

void TButtonGlyph::SetColours(const TButtonColours& Colours) {
  const bool same = Colours.Face == FColours.Face && Colours.Highlight == FColours.Highlight &&
                    Colours.Shadow == FColours.Shadow && Colours.Text == FColours.Text &&
                    Colours.WindowFrame == FColours.WindowFrame;
  FColours = Colours;
  if (!same) ReleaseImages();
}

void TButtonGlyph::SetGlyph(const TBitmap& Value) {
  ReleaseImages();
  FOriginal = Value;
  GlyphChanged();
  if (!Value.Image().isNull() && Value.Height() > 0) {
    FTransparentColor = Value.TransparentColor();
    if (Value.Width() % Value.Height() == 0) {
      int glyphs = Value.Width() / Value.Height();
      if (glyphs > 4) glyphs = 1;
      SetNumGlyphs(glyphs);
    }
  }
}

void TButtonGlyph::SetNumGlyphs(int Value) {
  if (Value == FNumGlyphs || Value <= 0) return;
  ReleaseImages();
  FNumGlyphs = Value;
  GlyphChanged();
}

void TButtonGlyph::GlyphChanged() {
  FTransparentColor = FOriginal.Empty() ? QColor(128, 128, 0) : FOriginal.TransparentColor();
  ReleaseImages();
  if (OnChange) OnChange();
}

void TButtonGlyph::ReleaseImages() {
  for (int& index : FIndexs) {
    if (index != -1 && FGlyphList != nullptr) FGlyphList->Delete(index);
    index = -1;
  }
  if (FGlyphList != nullptr && gGlyphCache) gGlyphCache->ReturnList(FGlyphList);
  FGlyphList = nullptr;
}

namespace {

// Where the mask is set, paint Colour; elsewhere leave Target unchanged.
void PaintThroughMask(QImage& Target, const std::vector<bool>& Mask, int W, int H, int Dx, int Dy,
                      QColor Colour) {
  const QRgb c = Colour.rgb();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      if (!Mask[size_t(y * W + x)]) continue;
      const int tx = x + Dx, ty = y + Dy;
      if (tx >= 0 && tx < W && ty >= 0 && ty < H) Target.setPixel(tx, ty, c);
    }
}

std::vector<bool> MaskOfColour(const QImage& Cell, QRgb Key) {
  std::vector<bool> mask(size_t(Cell.width() * Cell.height()));
  for (int y = 0; y < Cell.height(); ++y)
    for (int x = 0; x < Cell.width(); ++x)
      mask[size_t(y * Cell.width() + x)] = (Cell.pixel(x, y) & 0x00FFFFFFu) == (Key & 0x00FFFFFFu);
  return mask;
}

// The pixels a single-cell glyph embosses when disabled: its black ones, the lines of the
// drawing; every other colour drops out. A two-colour bitmap is taken the other way round, its
// pixels that are not black.
std::vector<bool> MaskOfBlackPixels(const QImage& Cell, bool Monochrome) {
  std::vector<bool> mask(size_t(Cell.width() * Cell.height()));
  for (int y = 0; y < Cell.height(); ++y)
    for (int x = 0; x < Cell.width(); ++x) {
      const bool black = (Cell.pixel(x, y) & 0x00FFFFFFu) == 0;
      mask[size_t(y * Cell.width() + x)] = black != Monochrome;
    }
  return mask;
}

} // namespace

int TButtonGlyph::BuildStateImage(TButtonState State) {
  if (State == bsDown && FNumGlyphs < 3) State = bsUp;
  const size_t slot = size_t(State);
  if (FIndexs[slot] != -1) return FIndexs[slot];
  if (FOriginal.Width() == 0 || FOriginal.Height() == 0) return -1;
  const int W = FOriginal.Width() / FNumGlyphs, H = FOriginal.Height();
  if (W <= 0) return -1;
  if (FGlyphList == nullptr) FGlyphList = GlyphCache().GetList(W, H);

  const int cell = int(State) < FNumGlyphs ? int(State) : 0;
  const QImage source =
      FOriginal.Image().copy(cell * W, 0, W, H).convertToFormat(QImage::Format_RGB32);
  QImage work(W, H, QImage::Format_RGB32);
  work.fill(FColours.Face);

  int index;
  if (State != bsDisabled) {
    work = source;
    const QColor mask = FOriginal.TransparentFixed() ? FTransparentColor
                                                     : QColor(work.pixel(0, H - 1));
    index = FGlyphList->AddMasked(work, mask);
  } else {
    if (FNumGlyphs >= 2) {
      // The strip's own disabled cell, in the desktop's colours.
      work = source;
      const auto white = MaskOfColour(source, qRgb(255, 255, 255));
      const auto grey = MaskOfColour(source, qRgb(128, 128, 128));
      const auto clear = MaskOfColour(source, FTransparentColor.rgb());
      PaintThroughMask(work, white, W, H, 0, 0, FColours.Highlight);
      PaintThroughMask(work, grey, W, H, 0, 0, FColours.Shadow);
      PaintThroughMask(work, clear, W, H, 0, 0, FColours.Face);
    } else {
      // No disabled cell: an embossed copy of the black pixels, light one pixel down and right.
      const QImage first = FOriginal.Image().copy(0, 0, W, H).convertToFormat(QImage::Format_RGB32);
      const auto lines = MaskOfBlackPixels(first, FOriginal.Image().depth() == 1);
      PaintThroughMask(work, lines, W, H, 1, 1, FColours.Highlight);
      PaintThroughMask(work, lines, W, H, 0, 0, FColours.Shadow);
    }
    index = FGlyphList->AddMasked(work, QColor(work.pixel(0, H - 1)));
  }
  FIndexs[slot] = index;
  return index;
}

QImage TButtonGlyph::StateImage(TButtonState State) {
  const int index = BuildStateImage(State);
  if (index < 0) return {};
  return FGlyphList->Image(index);
}

TGlyphTextLayout TButtonGlyph::LayoutGlyphAndText(const QFontMetrics& Metrics, const QRect& Client,
                                                  const QString& Caption, TButtonLayout Layout,
                                                  int Margin, int Spacing, int BiDiFlags) const {
  if (BiDiFlags & DT_RIGHT) {
    if (Layout == blGlyphLeft)
      Layout = blGlyphRight;
    else if (Layout == blGlyphRight)
      Layout = blGlyphLeft;
  }
  const QPoint C(Client.width(), Client.height());
  QPoint G(0, 0);
  if (!FOriginal.Image().isNull() && FNumGlyphs > 0)
    G = QPoint(FOriginal.Width() / FNumGlyphs, FOriginal.Height());
  QRect textBounds;
  QPoint T(0, 0);
  if (!Caption.isEmpty()) {
    const QRect measured = Metrics.boundingRect(QRect(0, 0, Client.width(), 0),
                                                Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                                                Caption);
    textBounds = QRect(0, 0, measured.width(), measured.height());
    T = QPoint(measured.width(), measured.height());
  } else {
    textBounds = QRect(0, 0, 0, 0);
  }

  QPoint glyphPos, textPos;
  const bool horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  if (horizontal) {
    glyphPos.setY((C.y() - G.y() + 1) / 2);
    textPos.setY((C.y() - T.y() + 1) / 2);
  } else {
    glyphPos.setX((C.x() - G.x() + 1) / 2);
    textPos.setX((C.x() - T.x() + 1) / 2);
  }
  if (T.x() == 0 || G.x() == 0) Spacing = 0;

  const int c = horizontal ? C.x() : C.y();
  const int g = horizontal ? G.x() : G.y();
  const int t = horizontal ? T.x() : T.y();
  if (Margin == -1) {
    if (Spacing == -1) {
      Margin = (c - (g + t)) / 3;
      Spacing = Margin;
    } else {
      Margin = (c - (g + Spacing + t) + 1) / 2;
    }
  } else if (Spacing == -1) {
    Spacing = (c - (Margin + g) - t) / 2;
  }

  switch (Layout) {
    case blGlyphLeft:
      glyphPos.setX(Margin);
      textPos.setX(glyphPos.x() + g + Spacing);
      break;
    case blGlyphRight:
      glyphPos.setX(c - Margin - g);
      textPos.setX(glyphPos.x() - Spacing - t);
      break;
    case blGlyphTop:
      glyphPos.setY(Margin);
      textPos.setY(glyphPos.y() + g + Spacing);
      break;
    case blGlyphBottom:
      glyphPos.setY(c - Margin - g);
      textPos.setY(glyphPos.y() - Spacing - t);
      break;
  }
  glyphPos += Client.topLeft();
  textBounds.translate(textPos + Client.topLeft());
  return {glyphPos, textBounds};
}

void TButtonGlyph::DrawGlyphImage(QPainter& Painter, QPoint GlyphPos, TButtonState State) {
  if (FOriginal.Width() == 0 || FOriginal.Height() == 0) return;
  const int index = BuildStateImage(State);
  if (index >= 0 && FGlyphList != nullptr) FGlyphList->Draw(Painter, index, GlyphPos.x(), GlyphPos.y());
}

void TButtonGlyph::DrawCaptionText(QPainter& Painter, const QString& Caption,
                                   const QRect& TextBounds, TButtonState State,
                                   int BiDiFlags) const {
  if (Caption.isEmpty()) return;
  Painter.save();
  Painter.setBrush(Qt::NoBrush);
  Painter.setLayoutDirection((BiDiFlags & DT_RTLREADING) ? Qt::RightToLeft : Qt::LeftToRight);
  const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  if (State == bsDisabled) {
    Painter.setPen(FColours.Highlight);
    Painter.drawText(TextBounds.translated(1, 1), flags, Caption);
    Painter.setPen(FColours.Shadow);
    Painter.drawText(TextBounds, flags, Caption);
  } else {
    Painter.setPen(FColours.Text);
    Painter.drawText(TextBounds, flags, Caption);
  }
  Painter.restore();
}

QRect TButtonGlyph::Draw(QPainter& Painter, const QRect& Client, const QString& Caption,
                         TButtonLayout Layout, int Margin, int Spacing, TButtonState State,
                         int BiDiFlags) {
  const TGlyphTextLayout layout = LayoutGlyphAndText(QFontMetrics(Painter.font()), Client, Caption,
                                                     Layout, Margin, Spacing, BiDiFlags);
  DrawGlyphImage(Painter, layout.GlyphPos, State);
  DrawCaptionText(Painter, Caption, layout.TextBounds, State, BiDiFlags);
  return layout.TextBounds;
}

// ---------------------------------------------------------------------------------------------
// Kinds

namespace {
// Captions are the program's own strings; the glyphs are resources named after the kind.
const TKindInfo kKinds[] = {
    {"", "", mrNone, false, false},
    {"OK", "BBOKX", mrOk, true, false},
    {"Cancel", "BBCANCELX", mrCancel, false, true},
    {"&Help", "BBHELPX", mrNone, false, false},
    {"&Yes", "BBYESX", mrYes, true, false},
    {"&No", "BBNOX", mrNo, false, true},
    {"&Close", "BBCLOSEX", mrNone, false, false},
    {"Abort", "BBABORTX", mrAbort, false, false},
    {"&Retry", "BBRETRYX", mrRetry, false, false},
    {"&Ignore", "BBIGNOREX", mrIgnore, false, false},
    {"&All", "BBALLX", mrAll, false, false},
};
static_assert(std::size(kKinds) == 11);
} // namespace

const TKindInfo& KindInfo(TBitBtnXPKind Kind) {
  const int k = std::clamp(int(Kind), 0, 10);
  return kKinds[k];
}

const TBitmap& LoadKindGlyph(TBitBtnXPKind Kind) {
  // Loaded on first use, shared by all buttons, released at program end.
  static std::array<std::optional<TBitmap>, 11> gKindGlyphs;
  const size_t k = size_t(std::clamp(int(Kind), 0, 10));
  if (!gKindGlyphs[k]) {
    gKindGlyphs[k].emplace();
    if (k != 0) {
      InitMorphaneResources();
      gKindGlyphs[k]->SetImage(QImage(QStringLiteral(":/kinds/%1.bmp").arg(QLatin1String(kKinds[k].GlyphName))));
    }
  }
  return *gKindGlyphs[k];
}

// ---------------------------------------------------------------------------------------------
// The button

TBitBtnXP::TBitBtnXP(QWidget* Parent) : QPushButton(Parent) {
  FGlyph.OnChange = [this] { update(); };
  FGlyph.SetColours(TButtonColours::FromPalette(palette()));
  uxtheme::LoadVisualStyles();
  if (uxtheme::VisualStylesActive()) FThemeHandle = uxtheme::OpenThemeData();
  connect(this, &QAbstractButton::clicked, this, [this] { Click(); });
  FFocusConnection = connect(qApp, &QApplication::focusChanged, this,
                             [this](QWidget*, QWidget* Now) { FocusChanged(Now); });
}

// The focus moves while the base destructors run; by then this is no longer a TBitBtnXP.
TBitBtnXP::~TBitBtnXP() { disconnect(FFocusConnection); }

TBitBtnXPKind TBitBtnXP::Kind() {
  if (FKind != bkCustom) {
    const TKindInfo& info = KindInfo(FKind);
    if (FDefault != info.Default || FCancel != info.Cancel || FModalResult != info.ModalResult ||
        FGlyphEdited)
      FKind = bkCustom;
  }
  return FKind;
}

void TBitBtnXP::SetKind(TBitBtnXPKind Value) {
  if (Value == FKind) return;
  if (Value != bkCustom) {
    const TKindInfo& info = KindInfo(Value);
    SetDefault(info.Default);
    SetCancel(info.Cancel);
    if (!FLoading || text().isEmpty()) setText(QString::fromUtf8(info.Caption));
    FModalResult = info.ModalResult;
    FGlyph.SetGlyph(LoadKindGlyph(Value));
    FGlyph.SetNumGlyphs(2);
    FGlyphEdited = false;
  }
  FKind = Value;
  update();
}

void TBitBtnXP::SetGlyph(const TBitmap& Value) {
  FGlyph.SetGlyph(Value);
  FGlyphEdited = true;
  update();
}

void TBitBtnXP::SetNumGlyphs(int Value) {
  if (Value < 0)
    Value = 1;
  else if (Value > 4)
    Value = 4;
  if (Value != FGlyph.NumGlyphs()) {
    FGlyph.SetNumGlyphs(Value);
    update();
  }
}

void TBitBtnXP::SetLayout(TButtonLayout Value) {
  if (Value == FLayout) return;
  FLayout = Value;
  update();
}

void TBitBtnXP::SetMargin(int Value) {
  if (Value == FMargin || Value < -1) return;
  FMargin = Value;
  update();
}

void TBitBtnXP::SetSpacing(int Value) {
  if (Value == FSpacing) return;
  FSpacing = Value;
  update();
}

void TBitBtnXP::SetStyle(TButtonStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  update();
}

void TBitBtnXP::SetModalResult(int Value) { FModalResult = Value; }

void TBitBtnXP::SetDefault(bool Value) {
  FDefault = Value;
  QPushButton::setDefault(Value);
  UpdateActiveDefault(window()->focusWidget());
}

void TBitBtnXP::SetCancel(bool Value) {
  FCancel = Value;
  UpdateCancelShortcut();
}

// Escape presses the cancel button of the active window.
void TBitBtnXP::UpdateCancelShortcut() {
  if (FCancel && FCancelShortcut == nullptr) {
    FCancelShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    FCancelShortcut->setContext(Qt::WindowShortcut);
    connect(FCancelShortcut, &QShortcut::activated, this, [this] {
      if (isEnabled() && isVisible()) click();
    });
  }
  if (FCancelShortcut != nullptr) FCancelShortcut->setEnabled(FCancel);
}

void TBitBtnXP::FocusChanged(QWidget* Now) {
  if (Now == nullptr || Now->window() != window()) return;
  UpdateActiveDefault(Now);
}

void TBitBtnXP::UpdateActiveDefault(QWidget* FocusWidget) {
  if (FocusWidget != nullptr && qobject_cast<QPushButton*>(FocusWidget) != nullptr)
    SetActiveDefault(FocusWidget == this);
  else
    SetActiveDefault(FDefault);
}

void TBitBtnXP::SetActiveDefault(bool Value) {
  if (Value == FActiveDefault) return;
  FActiveDefault = Value;
  update();
}

void TBitBtnXP::Click() {
  const TBitBtnXPKind kind = Kind();
  if (kind == bkClose && parentWidget() != nullptr) {
    window()->close();
    return;
  }
  QPointer<TBitBtnXP> self(this);
  if (OnClick) OnClick(this);
  if (!self) return;
  if (FModalResult != mrNone) {
    auto* dialog = qobject_cast<QDialog*>(window());
    if (dialog != nullptr && dialog->isModal()) dialog->done(FModalResult);
  }
}

void TBitBtnXP::mouseDoubleClickEvent(QMouseEvent* Event) { mousePressEvent(Event); }

void TBitBtnXP::keyPressEvent(QKeyEvent* Event) {
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && (Event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (!Event->isAutoRepeat()) click();
    Event->accept();
    return;
  }
  QPushButton::keyPressEvent(Event);
}

void TBitBtnXP::changeEvent(QEvent* Event) {
  QPushButton::changeEvent(Event);
  switch (Event->type()) {
    case QEvent::PaletteChange:
      FGlyph.SetColours(TButtonColours::FromPalette(palette()));
      update();
      break;
    case QEvent::FontChange:
    case QEvent::EnabledChange:
      update();
      break;
    default:
      break;
  }
}

void TBitBtnXP::showEvent(QShowEvent* Event) {
  QPushButton::showEvent(Event);
  FGlyph.BuildStateImage(isEnabled() ? bsUp : bsDisabled);
}

void TBitBtnXP::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintButton(painter);
}

void TBitBtnXP::PaintThemed(QPainter& Painter, QRect& R, bool Pressed, bool Focus,
                            TButtonState State) {
  QStyle* theme = FThemeHandle ? FThemeHandle.data() : style();
  QStyleOptionButton option;
  option.initFrom(this);
  option.rect = R;
  option.state &= ~(QStyle::State_Sunken | QStyle::State_Raised | QStyle::State_On |
                    QStyle::State_HasFocus);
  option.features = QStyleOptionButton::None;
  if (Pressed) {
    option.state |= QStyle::State_Sunken;
  } else if (State == bsDisabled) {
    option.state &= ~QStyle::State_Enabled;
    option.state |= QStyle::State_Raised;
  } else {
    option.state |= QStyle::State_Raised;
    if (FActiveDefault || Focus) option.features |= QStyleOptionButton::DefaultButton;
  }
  if (Focus) option.state |= QStyle::State_HasFocus;
  theme->drawControl(QStyle::CE_PushButtonBevel, &option, &Painter, this);
}

// The classic raised face: white and light grey above and left, black and dark grey below and
// right, the face inside; R shrinks to the face.
void TBitBtnXP::PaintClassic(QPainter& Painter, QRect& R, bool Pressed, bool) {
  const TButtonColours& c = FGlyph.Colours();
  Painter.save();
  if (Pressed) {
    Painter.setPen(c.Shadow);
    Painter.setBrush(c.Face);
    Painter.drawRect(R.adjusted(0, 0, -1, -1));
  } else {
    const QColor light = palette().color(QPalette::Midlight);
    const QColor dark = palette().color(QPalette::Shadow);
    Painter.fillRect(R, c.Face);
    auto edge = [&](const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
      Painter.setPen(topLeft);
      Painter.drawLine(r.left(), r.bottom() - 1, r.left(), r.top());
      Painter.drawLine(r.left(), r.top(), r.right() - 1, r.top());
      Painter.setPen(bottomRight);
      Painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
      Painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
    };
    edge(R, c.Highlight, dark);
    edge(R.adjusted(1, 1, -1, -1), light, c.Shadow);
    R.adjust(2, 2, -2, -2);
  }
  Painter.restore();
}

void TBitBtnXP::PaintButton(QPainter& Painter) {
  FDrawCanvas = &Painter;
  const QRect client = rect();
  QRect R = client;
  const bool styles = uxtheme::VisualStylesActive();
  const TButtonColours& colours = FGlyph.Colours();
  if (styles) Painter.fillRect(R, palette().color(QPalette::Button));

  const bool Pressed = isDown();
  const bool Focus = hasFocus();
  const TButtonState State = !isEnabled() ? bsDisabled : Pressed ? bsDown : bsUp;

  if ((FActiveDefault || Focus) && !styles) {
    Painter.setPen(colours.WindowFrame);
    Painter.setBrush(Qt::NoBrush);
    Painter.drawRect(R.adjusted(0, 0, -1, -1));
    R.adjust(1, 1, -1, -1);
  }
  if (Pressed) {
    if (styles)
      PaintThemed(Painter, R, true, Focus, State);
    else
      PaintClassic(Painter, R, true, Focus);
    R.adjust(1, 1, -1, -1);
  } else if (styles) {
    PaintThemed(Painter, R, false, Focus, State);
  } else {
    PaintClassic(Painter, R, false, Focus);
  }
  if (FActiveDefault) R = client.adjusted(1, 1, -1, -1);

  Painter.setFont(font());
  if (Pressed) R.translate(1, 1);
  const int biDi = layoutDirection() == Qt::RightToLeft ? (DT_RIGHT | DT_RTLREADING) : 0;
  FGlyph.Draw(Painter, R, text(), FLayout, FMargin, FSpacing, State, biDi);

  if (FActiveDefault && Focus) {
    R = client.adjusted(4, 4, -4, -4);
    if (styles) {
      QStyleOptionFocusRect option;
      option.initFrom(this);
      option.rect = R;
      option.backgroundColor = palette().color(QPalette::Button);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &Painter, this);
    } else {
      // A dotted rectangle: every other pixel along the edge.
      Painter.setPen(colours.WindowFrame);
      for (int x = R.left(); x <= R.right(); x += 2) {
        Painter.drawPoint(x, R.top());
        Painter.drawPoint(x, R.bottom());
      }
      for (int y = R.top(); y <= R.bottom(); y += 2) {
        Painter.drawPoint(R.left(), y);
        Painter.drawPoint(R.right(), y);
      }
    }
  }
  FDrawCanvas = nullptr;
}
