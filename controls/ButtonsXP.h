// SPDX-License-Identifier: GPL-3.0-or-later
// The bitmap push button that draws its face with the desktop's style (or the classic 3-D face),
// its predefined kinds, and the glyph machinery behind it: a glyph strip of one to four cells is
// cut into state images (up, disabled, down, exclusive) that live in image lists shared by all
// buttons, and glyph and caption are laid out and drawn inside the face.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QStyle;

enum TBitBtnXPKind {
  bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll
};
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
// Numbers are the cell indexes in a glyph strip.
enum TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3 };

// Text flags of the caption drawing that matter here.
constexpr int DT_RIGHT = 0x0002;
constexpr int DT_RTLREADING = 0x20000;

// Modal results, as a dialog's result code.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
              mrYes = 6, mrNo = 7, mrAll = 8;

// A bitmap with its transparent colour: the bottom-left pixel's colour, unless a fixed one is set.
class TBitmap {
public:
  TBitmap() = default;
  TBitmap(const QImage& Image) : FImage(Image) {} // NOLINT: a picture is a bitmap
  explicit TBitmap(const QString& FileName) : FImage(FileName) {}

  const QImage& Image() const { return FImage; }
  void SetImage(const QImage& Image) { FImage = Image; }
  int Width() const { return FImage.width(); }
  int Height() const { return FImage.height(); }
  bool Empty() const { return FImage.isNull() || FImage.width() == 0 || FImage.height() == 0; }

  bool TransparentFixed() const { return FFixedTransparent.has_value(); }
  void SetTransparentColor(QColor Colour) { FFixedTransparent = Colour; }
  void SetTransparentAuto() { FFixedTransparent.reset(); }
  QColor TransparentColor() const;

private:
  QImage FImage;
  std::optional<QColor> FFixedTransparent;
};

// An image list: images of one size, a set of used slots and their count.
class TGlyphList {
public:
  TGlyphList(int Width, int Height);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Count() const { return FCount; }
  int Capacity() const { return int(FImages.size()); }
  bool Used(int Index) const;
  // Puts Image into the first free slot; pixels of colour Mask become transparent.
  int AddMasked(const QImage& Image, QColor Mask);
  // Frees the slot; its image stays for the next allocation.
  void Delete(int Index);
  const QImage& Image(int Index) const { return FImages.at(size_t(Index)); }
  void Draw(QPainter& Painter, int Index, int X, int Y) const;

private:
  int AllocateIndex();

  int FWidth, FHeight;
  std::vector<QImage> FImages;
  std::vector<bool> FUsed;
  int FCount = 0;
};

// All glyph lists, found by image size; shared by every glyph.
class TGlyphCache {
public:
  TGlyphList* GetList(int Width, int Height);
  // Gives a list back; frees it when none of its slots is used any more.
  void ReturnList(TGlyphList* List);
  bool Empty() const { return FLists.empty(); }
  int ListCount() const { return int(FLists.size()); }

private:
  std::vector<std::unique_ptr<TGlyphList>> FLists;
};

// The cache all glyphs share while at least one glyph exists (null otherwise).
TGlyphCache* SharedGlyphCache();

struct TGlyphTextLayout {
  QPoint GlyphPos;
  QRect TextBounds;
};

// System colours the glyph and caption drawing use.
struct TButtonColours {
  QColor Face, Highlight, Shadow, Text, WindowFrame;
  static TButtonColours FromPalette(const QPalette& Palette);
};

class TButtonGlyph {
public:
  TButtonGlyph();
  ~TButtonGlyph();
  TButtonGlyph(const TButtonGlyph&) = delete;
  TButtonGlyph& operator=(const TButtonGlyph&) = delete;

  const TBitmap& Glyph() const { return FOriginal; }
  void SetGlyph(const TBitmap& Value);
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int Value);
  QColor TransparentColor() const { return FTransparentColor; }
  // Index of a state's image in the glyph list, -1 until built.
  int ImageIndex(TButtonState State) const { return FIndexs[size_t(State)]; }
  TGlyphList* GlyphList() const { return FGlyphList; }
  const TButtonColours& Colours() const { return FColours; }
  void SetColours(const TButtonColours& Colours);

  std::function<void()> OnChange;

  void ReleaseImages();
  // Builds (once) and returns the image index for State; -1 without a glyph.
  int BuildStateImage(TButtonState State);
  TGlyphTextLayout LayoutGlyphAndText(const QFontMetrics& Metrics, const QRect& Client,
                                      const QString& Caption, TButtonLayout Layout, int Margin,
                                      int Spacing, int BiDiFlags) const;
  void DrawGlyphImage(QPainter& Painter, QPoint GlyphPos, TButtonState State);
  void DrawCaptionText(QPainter& Painter, const QString& Caption, const QRect& TextBounds,
                       TButtonState State, int BiDiFlags) const;
  // Lays out and draws glyph and caption; returns the text rectangle.
  QRect Draw(QPainter& Painter, const QRect& Client, const QString& Caption, TButtonLayout Layout,
             int Margin, int Spacing, TButtonState State, int BiDiFlags);

  // The image a state shows (for tests and previews); empty without a glyph.
  QImage StateImage(TButtonState State);

private:
  void GlyphChanged();

  TBitmap FOriginal;
  TGlyphList* FGlyphList = nullptr;
  std::array<int, 4> FIndexs{-1, -1, -1, -1};
  QColor FTransparentColor{128, 128, 0};
  int FNumGlyphs = 1;
  TButtonColours FColours;
};

// The caption, glyph resource and roles of each kind.
struct TKindInfo {
  const char* Caption;
  const char* GlyphName;
  int ModalResult;
  bool Default;
  bool Cancel;
};
const TKindInfo& KindInfo(TBitBtnXPKind Kind);
// The shared kind glyph (two 18-pixel cells: normal, disabled); empty for bkCustom.
const TBitmap& LoadKindGlyph(TBitBtnXPKind Kind);

class TBitBtnXP : public QPushButton {
  Q_OBJECT
public:
  using TNotifyEvent = std::function<void(QObject* Sender)>;

  explicit TBitBtnXP(QWidget* Parent = nullptr);
  ~TBitBtnXP() override;

  // Falls back to bkCustom for good once roles, result or glyph no longer match the kind.
  TBitBtnXPKind Kind();
  void SetKind(TBitBtnXPKind Value);
  const TBitmap& Glyph() const { return FGlyph.Glyph(); }
  void SetGlyph(const TBitmap& Value);
  int NumGlyphs() const { return FGlyph.NumGlyphs(); }
  void SetNumGlyphs(int Value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  // Pixels from the edge to the glyph; -1 centres glyph and caption as a group.
  int Margin() const { return FMargin; }
  void SetMargin(int Value);
  // Pixels between glyph and caption; -1 spreads them evenly.
  int Spacing() const { return FSpacing; }
  void SetSpacing(int Value);
  TButtonStyle Style() const { return FStyle; }
  void SetStyle(TButtonStyle Value);
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value);
  // Enter presses the default button of its window, Escape the cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value);
  QString Caption() const { return text(); }
  void SetCaption(const QString& Value) { setText(Value); }
  // The button Enter would press: it has the focus, or it is Default while the focus is on a
  // control that is not a button.
  bool ActiveDefault() const { return FActiveDefault; }
  // While a window is being built, a kind sets its caption only when the caption is empty.
  void SetLoading(bool Value) { FLoading = Value; }

  TButtonGlyph& GlyphObject() { return FGlyph; }
  TNotifyEvent OnClick;

  // Paints the whole button on Painter (client rectangle at the origin).
  void PaintButton(QPainter& Painter);

protected:
  virtual void Click();
  void paintEvent(QPaintEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  // Enter presses the focused button, in a dialog or any other window.
  void keyPressEvent(QKeyEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

private:
  void FocusChanged(QWidget* Now);
  void UpdateActiveDefault(QWidget* FocusWidget);
  void SetActiveDefault(bool Value);
  void UpdateCancelShortcut();
  void PaintThemed(QPainter& Painter, QRect& R, bool Pressed, bool Focus, TButtonState State);
  void PaintClassic(QPainter& Painter, QRect& R, bool Pressed, bool Focus);

  QPointer<QStyle> FThemeHandle;
  QPainter* FDrawCanvas = nullptr;
  TButtonGlyph FGlyph;
  TButtonStyle FStyle = bsAutoDetect;
  TBitBtnXPKind FKind = bkCustom;
  TButtonLayout FLayout = blGlyphLeft;
  int FSpacing = 4;
  int FMargin = -1;
  bool FActiveDefault = false;
  bool FGlyphEdited = false;
  int FModalResult = mrNone;
  bool FDefault = false;
  bool FCancel = false;
  bool FLoading = false;
  class QShortcut* FCancelShortcut = nullptr;
  QMetaObject::Connection FFocusConnection;
};
