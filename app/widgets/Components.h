// SPDX-License-Identifier: GPL-3.0-or-later
// Qt stand-ins for the form library the main window is laid out with: controls that align
// themselves to an edge of their parent (top, bottom, left, right, the rest), bevelled panels,
// paint boxes with a paint hook, spin edits holding an extended-precision value, a status bar
// with an owner-drawn panel, a tool bar of grouped tool buttons, a file-save dialog's settings.
#pragma once

#include <QAbstractSpinBox>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include "platform/gdi.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QSizeGrip;
namespace platform::qt {
class TQtDeviceContext;
}

namespace comp {

// Colours of the desktop the window was designed on that Qt's palette has no role for.
QColor ButtonFace();
QColor AppWorkspace();
QColor WindowText();
// A 0x00BBGGRR colour value.
QColor FromColorRef(uint32_t value);

// The window's font: family and pixel height (a negative font height in the form library is a
// pixel height). A family missing on this system is substituted by Qt.
QFont MakeFont(const QString& family, int pixelHeight, bool bold = false);

enum class TAlign { None, Top, Bottom, Left, Right, Client };

// Places the aligned children of a widget: first every top-aligned one (in the order they were
// aligned), then bottom, left, right, and the client-aligned one gets what is left. A child
// keeps its own height (top, bottom) or width (left, right). Children that are not aligned keep
// the position they were given. The margins are the parent's border (bevels).
class TAlignLayout : public QLayout {
public:
  explicit TAlignLayout(QWidget* parent);
  ~TAlignLayout() override;

  void addItem(QLayoutItem* item) override;
  void addAligned(QWidget* w, TAlign align);
  TAlign alignOf(const QWidget* w) const;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override;
  void setGeometry(const QRect& rect) override;
  // The aligned child placed just before `w` along the same edge (for splitters).
  QWidget* alignedBefore(const QWidget* w) const;

private:
  struct Entry {
    QLayoutItem* item;
    TAlign align;
    // The height (top, bottom) or width (left, right) the child asks for, kept when a small
    // parent squeezes it, and the extent the layout last gave it: a child whose extent differs
    // from that was resized on purpose (a splitter) and asks for its new extent.
    int designed = -1;
    int assigned = -1;
  };
  int extentFor(Entry& e, int available);
  std::vector<Entry> entries_;
};

// Aligns `child` within its parent widget (creating the parent's align layout when needed).
void Align(QWidget* child, TAlign align);

// Stores a control's hint. Only controls on the tool bar show hints as tooltips (the text
// before a "|"); everywhere else the hint is kept but not shown.
void SetHint(QWidget* w, const QString& hint, bool shown = false);
QString Hint(const QWidget* w);
// The part of a hint a tooltip shows: the text before the first "|".
QString ShortHint(const QString& hint);

enum class TBevel { None, Lowered, Raised };

// A panel: background colour, an outer and an inner bevel of BevelWidth pixels each, an
// optional single border; aligned children sit inside the bevels.
class TPanel : public QWidget {
  Q_OBJECT
public:
  explicit TPanel(QWidget* parent, TBevel outer = TBevel::Raised, TBevel inner = TBevel::None);
  // "Bevelled": a raised inner and a lowered outer bevel.
  static TPanel* Bevelled(QWidget* parent);
  static TPanel* Plain(QWidget* parent); // no bevel

  void SetColor(const QColor& c);
  QColor Color() const { return color_; }
  void SetBevels(TBevel outer, TBevel inner);
  TBevel BevelOuter() const { return outer_; }
  TBevel BevelInner() const { return inner_; }
  void SetSingleBorder(bool on);
  bool SingleBorder() const { return singleBorder_; }
  // Width of the frame around the children: border plus bevels.
  int BorderInset() const;

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  void updateMargins();
  QColor color_;
  TBevel outer_, inner_;
  bool singleBorder_ = false;
};

// A label drawn on its parent's background; `&&` shows as one ampersand.
class TRxLabel : public QLabel {
  Q_OBJECT
public:
  TRxLabel(QWidget* parent, const QString& caption, int left, int top);
  static QString Displayed(const QString& caption);
};

// A label with the bold header font.
TRxLabel* HeaderLabel(QWidget* parent, const QString& caption, int left, int top);

// A read-only edit outside the tab order.
QLineEdit* ReadOnlyEdit(QWidget* parent, const QString& text, int left, int top, int width);

// A three-pixel bar that resizes the aligned control before it (drag with the mouse).
class TSplitter : public QWidget {
  Q_OBJECT
public:
  TSplitter(QWidget* parent, TAlign align, int thickness = 3);

protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

private:
  TAlign align_;
  QWidget* target_ = nullptr;
  int pressPos_ = 0, startSize_ = 0;
};

// A paint box: no drawing of its own; OnPaint runs inside the paint event and may draw through
// Canvas() or the device context Handle(), both valid only during OnPaint. Overlay runs after
// OnPaint in the same event.
class TPaintBox : public QWidget {
  Q_OBJECT
public:
  explicit TPaintBox(QWidget* parent);
  ~TPaintBox() override;
  platform::HDC Handle() const;
  std::function<void(TPaintBox*)> OnPaint;
  std::function<void(QPainter&)> Overlay;
  std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;
  std::function<void(QPoint)> OnMouseEnter; // where the pointer came in
  std::function<void()> OnMouseLeave;
  QPainter* Canvas() const { return canvas_; }
  bool Painting() const { return canvas_ != nullptr; }
  // The area being repainted, in the box's coordinates; valid during OnPaint.
  QRect PaintRect() const { return paintRect_; }

protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;

private:
  QPainter* canvas_ = nullptr;
  platform::qt::TQtDeviceContext* dc_ = nullptr;
  QRect paintRect_;
};

// A scroll box: its content keeps the size it is given (the scroll range), the background has
// a colour of its own, and the wheel does not scroll it (the window decides what a notch does).
class TScrollBox : public QScrollArea {
  Q_OBJECT
public:
  explicit TScrollBox(QWidget* parent);
  void SetColor(const QColor& c);
  int VertPosition() const;
  void SetVertPosition(int v);
  int HorzPosition() const;
  void SetHorzPosition(int v);
  // The scroll ranges: the content's extent in each direction.
  int HorzRange() const;
  int VertRange() const;

protected:
  void wheelEvent(QWheelEvent* e) override;
};

enum class TValueType { Integer, Float };

// A spin edit. Its value is the number its text reads, in extended precision, limited to
// MinValue..MaxValue (both 0: no limits); the arrows step by Increment; OnChange runs whenever
// the text changes. Decimals show with a comma. When editing ends the field shows the value
// used: a typed 400 in a field up to 300 then reads 300.
class TSpinEdit : public QAbstractSpinBox {
  Q_OBJECT
public:
  TSpinEdit(QWidget* parent, TValueType type, long double minValue, long double maxValue,
            long double increment, long double value);
  long double Value() const;
  void SetValue(long double v);
  QString Text() const;
  // A point in `text` is shown as the comma.
  void SetText(const QString& text);
  long double MinValue() const { return min_; }
  long double MaxValue() const { return max_; }
  // A new range; a value outside it is shown clamped.
  void SetRange(long double minValue, long double maxValue);
  long double Increment() const { return increment_; }
  TValueType ValueType() const { return type_; }
  std::function<void()> OnChange;

  // Reads a number as the edit does: decimal comma or point, surrounding blanks allowed.
  // False for anything else.
  static bool ParseNumber(const QString& text, long double& value);
  // The text the edit shows for a value: up to 15 significant digits, comma as separator.
  static QString FormatNumber(long double v, TValueType type);

  // Shows the value used (clamped, in the form FormatNumber gives) unless the text already
  // reads as that value and the user has not edited it.
  void FinishEditing();

  void stepBy(int steps) override;

protected:
  StepEnabled stepEnabled() const override;
  QValidator::State validate(QString& input, int& pos) const override;
  void wheelEvent(QWheelEvent* e) override;

private:
  long double clamp(long double v) const;
  TValueType type_;
  long double min_, max_, increment_;
  bool edited_ = false; // typed into since the program last set the text
};

// The status bar: text panels of fixed widths, the last one reaching to the end of the bar;
// owner-drawn panels are drawn by OnDrawPanel on the bar's canvas; a size grip at the right.
class TStatusBar : public QWidget {
  Q_OBJECT
public:
  struct TPanelInfo {
    int Width;
    bool OwnerDraw;
    QString Text;
  };
  explicit TStatusBar(QWidget* parent);
  std::vector<TPanelInfo> Panels;
  // Drawing rectangle of a panel, inside its sunken frame, in the bar's coordinates.
  QRect PanelRect(int index) const;
  std::function<void(TStatusBar*, int panel, QPainter& canvas, const QRect& rect)> OnDrawPanel;
  // Extra drawing after the panels in the same paint event (for synchronous partial updates).
  std::function<void(QPainter&)> Overlay;
  bool SizeGrip() const { return grip_ != nullptr; }

protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

private:
  QSizeGrip* grip_ = nullptr;
};

// An image list: icons by index.
struct TImageList {
  std::vector<QIcon> Images;
  int Width = 16, Height = 16;
};

// A tool button of the tool bar with a two-state glyph: the left half of the picture shows the
// button up, the right half down.
class TSpeedItem : public QToolButton {
  Q_OBJECT
public:
  TSpeedItem(QWidget* parent, const QString& caption, const QString& glyphResource);
  void SetDown(bool down) { setChecked(down); }
  bool Down() const { return isChecked(); }
  static QIcon TwoStateIcon(const QString& resource);

protected:
  // Flat: a frame only while the pointer is over the button or it is down; the glyph at the
  // top, the caption under it.
  void paintEvent(QPaintEvent* e) override;
};

// The vertical tool bar: a wallpaper tiled behind flat buttons; hints of the bar and everything
// on it are shown as tooltips. Buttons of one group are exclusive.
class TSpeedBar : public TPanel {
  Q_OBJECT
public:
  explicit TSpeedBar(QWidget* parent);
  void SetWallpaper(const QPixmap& tile);
  // Button size and offsets between the buttons.
  QSize BtnSize{78, 36};
  int BtnOffsetHorz = 3, BtnOffsetVert = 3;
  TSpeedItem* AddItem(const QString& caption, const QString& hint, const QString& glyph, int left,
                      int top, int group);

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  QPixmap wallpaper_;
  std::vector<std::pair<int, class QButtonGroup*>> groups_;
};

// The settings of a file-save dialog; Execute shows the dialog and fills FileName.
struct TSaveDialog {
  QString InitialDir;
  QString FileName;
  QString Filter;     // Qt's "Description (*.a *.b);;..." form; empty: all files
  QString DefaultExt; // without a dot; empty: none
  QString SelectedFilter; // one of Filter's entries: in, the one shown first; out, the one chosen
  QString Title;
  bool OverwritePrompt = true;
  bool HideReadOnly = true;
  bool EnableSizing = true;
  bool Execute(QWidget* parent);
  // Tests answer the dialog through this: return true and set FileName to accept.
  static std::function<bool(TSaveDialog&)>& ExecuteHandler();
};

// A shell object browser of file-system objects; kept for the layout, nothing drives it.
class TShellBrowser : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
  QString Filter = "*";
  bool FileSystemOnly = true;
};

// The system's shared icon list.
class TSystemImageList : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
  QIcon IconFor(const QString& path) const;
};

// The application's help-file name (the window sets it at creation and tells the help system
// to quit with it at the end).
std::string& ApplicationHelpFile();

} // namespace comp
