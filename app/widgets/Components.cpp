// SPDX-License-Identifier: GPL-3.0-or-later
#include "Components.h"

#include "ShellControls.h"
#include "qt_device_context.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QRegularExpression>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>
#include <QWheelEvent>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace comp {

QColor ButtonFace() { return QApplication::palette().color(QPalette::Button); }
QColor AppWorkspace() { return QColor(171, 171, 171); }
QColor WindowText() { return QApplication::palette().color(QPalette::WindowText); }
QColor FromColorRef(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }

QFont MakeFont(const QString& family, int pixelHeight, bool bold) {
  QFont f(family);
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

// --- alignment ---------------------------------------------------------------------------

TAlignLayout::TAlignLayout(QWidget* parent) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
  setSizeConstraint(QLayout::SetNoConstraint);
}

TAlignLayout::~TAlignLayout() {
  for (auto& e : entries_) delete e.item;
}

void TAlignLayout::addItem(QLayoutItem* item) { entries_.push_back({item, TAlign::Client}); }

void TAlignLayout::addAligned(QWidget* w, TAlign align) {
  for (auto& e : entries_)
    if (e.item->widget() == w) {
      e.align = align;
      invalidate();
      return;
    }
  addChildWidget(w);
  entries_.push_back({new QWidgetItem(w), align});
  invalidate();
}

TAlign TAlignLayout::alignOf(const QWidget* w) const {
  for (auto& e : entries_)
    if (e.item->widget() == w) return e.align;
  return TAlign::None;
}

QSize TAlignLayout::sizeHint() const { return {0, 0}; }
QSize TAlignLayout::minimumSize() const { return {0, 0}; }
QLayoutItem* TAlignLayout::itemAt(int i) const {
  return i >= 0 && i < int(entries_.size()) ? entries_[size_t(i)].item : nullptr;
}
QLayoutItem* TAlignLayout::takeAt(int i) {
  if (i < 0 || i >= int(entries_.size())) return nullptr;
  QLayoutItem* item = entries_[size_t(i)].item;
  entries_.erase(entries_.begin() + i);
  return item;
}
int TAlignLayout::count() const { return int(entries_.size()); }

void TAlignLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  const QMargins m = contentsMargins();
  int left = rect.left() + m.left(), top = rect.top() + m.top();
  int right = rect.right() + 1 - m.right(), bottom = rect.bottom() + 1 - m.bottom();
  for (TAlign pass : {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client}) {
    for (auto& e : entries_) {
      QWidget* w = e.item->widget();
      if (e.align != pass || !w || w->isHidden()) continue;
      const int width = std::max(0, right - left), height = std::max(0, bottom - top);
      switch (pass) {
      case TAlign::Top: {
        const int h = extentFor(e, height);
        w->setGeometry(left, top, width, h);
        top += h;
        break;
      }
      case TAlign::Bottom: {
        const int h = extentFor(e, height);
        w->setGeometry(left, bottom - h, width, h);
        bottom -= h;
        break;
      }
      case TAlign::Left: {
        const int wd = extentFor(e, width);
        w->setGeometry(left, top, wd, height);
        left += wd;
        break;
      }
      case TAlign::Right: {
        const int wd = extentFor(e, width);
        w->setGeometry(right - wd, top, wd, height);
        right -= wd;
        break;
      }
      case TAlign::Client:
        w->setGeometry(left, top, width, height);
        break;
      case TAlign::None:
        break;
      }
    }
  }
}

int TAlignLayout::extentFor(Entry& e, int available) {
  const QWidget* w = e.item->widget();
  const bool vertical = e.align == TAlign::Top || e.align == TAlign::Bottom;
  const int current = vertical ? w->height() : w->width();
  if (e.designed < 0 || current != e.assigned) e.designed = current;
  e.assigned = std::min(e.designed, available);
  return e.assigned;
}

QWidget* TAlignLayout::alignedBefore(const QWidget* w) const {
  const TAlign a = alignOf(w);
  QWidget* before = nullptr;
  for (auto& e : entries_) {
    if (e.item->widget() == w) return before;
    if (e.align == a && e.item->widget() && !e.item->widget()->isHidden()) before = e.item->widget();
  }
  return nullptr;
}

void Align(QWidget* child, TAlign align) {
  QWidget* parent = child->parentWidget();
  if (!parent) return;
  auto* layout = dynamic_cast<TAlignLayout*>(parent->layout());
  if (!layout) {
    if (parent->layout()) return; // a parent with a layout of its own places its children
    layout = new TAlignLayout(parent);
  }
  if (align == TAlign::None) return;
  layout->addAligned(child, align);
}

// --- hints ---------------------------------------------------------------------------------

QString ShortHint(const QString& hint) {
  const qsizetype bar = hint.indexOf('|');
  return bar < 0 ? hint : hint.left(bar);
}

void SetHint(QWidget* w, const QString& hint, bool shown) {
  w->setProperty("Hint", hint);
  w->setToolTip(shown ? ShortHint(hint) : QString());
}

QString Hint(const QWidget* w) { return w->property("Hint").toString(); }

// --- panels --------------------------------------------------------------------------------

TPanel::TPanel(QWidget* parent, TBevel outer, TBevel inner)
    : QWidget(parent), color_(ButtonFace()), outer_(outer), inner_(inner) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  new TAlignLayout(this);
  updateMargins();
}

TPanel* TPanel::Bevelled(QWidget* parent) { return new TPanel(parent, TBevel::Lowered, TBevel::Raised); }
TPanel* TPanel::Plain(QWidget* parent) { return new TPanel(parent, TBevel::None, TBevel::None); }

void TPanel::SetColor(const QColor& c) {
  color_ = c;
  update();
}

void TPanel::SetBevels(TBevel outer, TBevel inner) {
  outer_ = outer;
  inner_ = inner;
  updateMargins();
  update();
}

void TPanel::SetSingleBorder(bool on) {
  singleBorder_ = on;
  updateMargins();
  update();
}

int TPanel::BorderInset() const {
  return (singleBorder_ ? 2 : 0) + (outer_ != TBevel::None ? 1 : 0) + (inner_ != TBevel::None ? 1 : 0);
}

void TPanel::updateMargins() {
  const int m = BorderInset();
  if (layout()) layout()->setContentsMargins(m, m, m, m);
}

namespace {
// One bevel ring: raised has the light edge at the top left, lowered at the bottom right.
void drawBevel(QPainter& p, QRect& r, TBevel bevel) {
  if (bevel == TBevel::None) return;
  const QColor light = QApplication::palette().color(QPalette::Light);
  const QColor dark = QApplication::palette().color(QPalette::Dark);
  const QColor topLeft = bevel == TBevel::Raised ? light : dark;
  const QColor bottomRight = bevel == TBevel::Raised ? dark : light;
  p.setPen(topLeft);
  p.drawLine(r.left(), r.top(), r.right(), r.top());
  p.drawLine(r.left(), r.top(), r.left(), r.bottom());
  p.setPen(bottomRight);
  p.drawLine(r.right(), r.top(), r.right(), r.bottom());
  p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  r.adjust(1, 1, -1, -1);
}
} // namespace

void TPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect r = rect();
  p.fillRect(r, color_);
  if (singleBorder_) {
    p.setPen(QApplication::palette().color(QPalette::Dark));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(QApplication::palette().color(QPalette::Shadow));
    p.drawRect(r.adjusted(1, 1, -2, -2));
    r.adjust(2, 2, -2, -2);
  }
  drawBevel(p, r, outer_);
  drawBevel(p, r, inner_);
}

// --- labels and edits ------------------------------------------------------------------------

QString TRxLabel::Displayed(const QString& caption) {
  QString out;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += caption[i];
  }
  return out;
}

TRxLabel::TRxLabel(QWidget* parent, const QString& caption, int left, int top)
    : QLabel(Displayed(caption), parent) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_TranslucentBackground);
  move(left, top);
  adjustSize();
}

TRxLabel* HeaderLabel(QWidget* parent, const QString& caption, int left, int top) {
  auto* l = new TRxLabel(parent, QString(), left, top);
  l->setFont(MakeFont("MS Sans Serif", 11, true));
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, WindowText());
  l->setPalette(pal);
  l->setText(TRxLabel::Displayed(caption));
  l->adjustSize();
  return l;
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const QString& text, int left, int top, int width) {
  auto* e = new QLineEdit(text, parent);
  e->setReadOnly(true);
  e->setFocusPolicy(Qt::NoFocus);
  e->setGeometry(left, top, width, 21);
  return e;
}

// --- splitter --------------------------------------------------------------------------------

TSplitter::TSplitter(QWidget* parent, TAlign align, int thickness) : QWidget(parent), align_(align) {
  const bool vertical = align == TAlign::Left || align == TAlign::Right;
  resize(vertical ? thickness : 100, vertical ? 100 : thickness);
  setCursor(vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
  Align(this, align);
}

void TSplitter::mousePressEvent(QMouseEvent* e) {
  auto* layout = parentWidget() ? dynamic_cast<TAlignLayout*>(parentWidget()->layout()) : nullptr;
  target_ = layout ? layout->alignedBefore(this) : nullptr;
  if (!target_) return;
  const bool vertical = align_ == TAlign::Left || align_ == TAlign::Right;
  pressPos_ = vertical ? int(e->globalPosition().x()) : int(e->globalPosition().y());
  startSize_ = vertical ? target_->width() : target_->height();
}

void TSplitter::mouseMoveEvent(QMouseEvent* e) {
  if (!target_ || !(e->buttons() & Qt::LeftButton)) return;
  const bool vertical = align_ == TAlign::Left || align_ == TAlign::Right;
  int delta = (vertical ? int(e->globalPosition().x()) : int(e->globalPosition().y())) - pressPos_;
  if (align_ == TAlign::Right || align_ == TAlign::Bottom) delta = -delta;
  const int size = std::max(30, startSize_ + delta);
  if (vertical) target_->resize(size, target_->height());
  else target_->resize(target_->width(), size);
  parentWidget()->layout()->invalidate();
  parentWidget()->layout()->activate();
}

void TSplitter::mouseReleaseEvent(QMouseEvent*) { target_ = nullptr; }

// --- paint box -------------------------------------------------------------------------------

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {}
TPaintBox::~TPaintBox() = default;

platform::HDC TPaintBox::Handle() const { return dc_; }

void TPaintBox::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  p.setClipRegion(e->region());
  {
    platform::qt::TQtDeviceContext dc(p, e->rect(), platform::qt::TQtDeviceContext::Kind::Display);
    canvas_ = &p;
    dc_ = &dc;
    paintRect_ = e->rect();
    if (OnPaint) OnPaint(this);
    canvas_ = nullptr;
    dc_ = nullptr;
  }
  if (Overlay) Overlay(p);
}

void TPaintBox::mousePressEvent(QMouseEvent* e) {
  if (OnMouseDown) OnMouseDown(e);
}
void TPaintBox::mouseMoveEvent(QMouseEvent* e) {
  if (OnMouseMove) OnMouseMove(e);
}
void TPaintBox::mouseReleaseEvent(QMouseEvent* e) {
  if (OnMouseUp) OnMouseUp(e);
}
void TPaintBox::enterEvent(QEnterEvent* e) {
  if (OnMouseEnter) OnMouseEnter(e->position().toPoint());
}
void TPaintBox::leaveEvent(QEvent*) {
  if (OnMouseLeave) OnMouseLeave();
}

// --- scroll box ------------------------------------------------------------------------------

TScrollBox::TScrollBox(QWidget* parent) : QScrollArea(parent) {
  setWidgetResizable(false);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  SetColor(AppWorkspace());
}

void TScrollBox::SetColor(const QColor& c) {
  QPalette pal = viewport()->palette();
  pal.setColor(QPalette::Window, c);
  viewport()->setPalette(pal);
  viewport()->setAutoFillBackground(true);
}

int TScrollBox::VertPosition() const { return verticalScrollBar()->value(); }
void TScrollBox::SetVertPosition(int v) { verticalScrollBar()->setValue(v); }
int TScrollBox::HorzPosition() const { return horizontalScrollBar()->value(); }
void TScrollBox::SetHorzPosition(int v) { horizontalScrollBar()->setValue(v); }
int TScrollBox::HorzRange() const { return widget() ? widget()->width() : 0; }
int TScrollBox::VertRange() const { return widget() ? widget()->height() : 0; }

void TScrollBox::wheelEvent(QWheelEvent* e) { e->ignore(); }

// --- spin edit -------------------------------------------------------------------------------

bool TSpinEdit::ParseNumber(const QString& text, long double& value) {
  std::string s = text.trimmed().toStdString();
  std::replace(s.begin(), s.end(), ',', '.');
  if (s.empty()) return false;
  if (s[0] == '+') s.erase(0, 1);
  const char* first = s.data();
  const char* last = s.data() + s.size();
  long double v = 0;
  const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::fixed);
  if (ec != std::errc() || end != last) return false;
  value = v;
  return true;
}

QString TSpinEdit::FormatNumber(long double v, TValueType type) {
  if (type == TValueType::Integer) return QString::number(static_cast<long long>(std::trunc(v)));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15Lg", v);
  return QString::fromLatin1(buf).replace(QLatin1Char('.'), QLatin1Char(','));
}

TSpinEdit::TSpinEdit(QWidget* parent, TValueType type, long double minValue, long double maxValue,
                     long double increment, long double value)
    : QAbstractSpinBox(parent), type_(type), min_(minValue), max_(maxValue), increment_(increment) {
  resize(73, 22);
  setKeyboardTracking(true);
  lineEdit()->setText(FormatNumber(clamp(value), type));
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
    if (OnChange) OnChange();
  });
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { edited_ = true; });
  // Enter, and the focus leaving the edit (also a press on the editing view, which takes it).
  connect(this, &QAbstractSpinBox::editingFinished, this, &TSpinEdit::FinishEditing);
}

void TSpinEdit::FinishEditing() {
  const long double used = Value();
  long double read = 0;
  // A text the program set and the user has not touched stays, as long as it reads as the
  // value used (the zoom's two decimals after a picture loads).
  if (!edited_ && ParseNumber(Text(), read) && read == used) return;
  const QString shown = FormatNumber(used, type_);
  if (shown != Text()) SetText(shown);
  edited_ = false;
}

long double TSpinEdit::clamp(long double v) const {
  if (min_ == 0 && max_ == 0) return v;
  return std::clamp(v, min_, max_);
}

long double TSpinEdit::Value() const {
  long double v = 0;
  if (!ParseNumber(lineEdit()->text(), v)) v = min_ == 0 && max_ == 0 ? 0 : min_;
  if (type_ == TValueType::Integer) v = std::trunc(v);
  return clamp(v);
}

void TSpinEdit::SetRange(long double minValue, long double maxValue) {
  min_ = minValue;
  max_ = maxValue;
  long double shown = 0;
  if (ParseNumber(Text(), shown) && shown != clamp(shown)) SetValue(shown);
}

void TSpinEdit::SetValue(long double v) { SetText(FormatNumber(clamp(v), type_)); }
QString TSpinEdit::Text() const { return lineEdit()->text(); }
void TSpinEdit::SetText(const QString& text) {
  lineEdit()->setText(QString(text).replace(QLatin1Char('.'), QLatin1Char(',')));
  edited_ = false;
}

void TSpinEdit::stepBy(int steps) {
  SetValue(Value() + increment_ * steps);
  lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  if (min_ == 0 && max_ == 0) return StepUpEnabled | StepDownEnabled;
  StepEnabled s = StepNone;
  const long double v = Value();
  if (v < max_) s |= StepUpEnabled;
  if (v > min_) s |= StepDownEnabled;
  return s;
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
  // Typing may pass through incomplete forms ("", "-", "0,"); anything else is refused. A typed
  // point becomes the comma at once, so the field never shows two separators.
  input.replace(QLatin1Char('.'), QLatin1Char(','));
  for (QChar c : input)
    if (!(c.isDigit() || c == '.' || c == ',' || c == '-' || c == '+' || c == ' '))
      return QValidator::Invalid;
  if (type_ == TValueType::Integer && (input.contains('.') || input.contains(',')))
    return QValidator::Invalid;
  long double v = 0;
  return ParseNumber(input, v) ? QValidator::Acceptable : QValidator::Intermediate;
}

void TSpinEdit::wheelEvent(QWheelEvent* e) { e->ignore(); }

// --- status bar ------------------------------------------------------------------------------

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  resize(200, 19);
  grip_ = new QSizeGrip(this);
  grip_->resize(grip_->sizeHint());
}

QRect TStatusBar::PanelRect(int index) const {
  // Panels follow each other with 2 pixels between them; the drawing rectangle of each spans
  // rows 2 to height - 2, inside a one-pixel sunken frame. The last panel, whatever its declared
  // width, runs on to the bar's right end (its frame in the last column); the size grip is drawn
  // over its corner.
  int left = 0;
  for (int i = 0; i < int(Panels.size()); ++i) {
    const bool last = i + 1 == int(Panels.size());
    const int right = last ? width() - 1 : left + Panels[size_t(i)].Width;
    if (i == index) return QRect(left, 2, std::max(0, right - left), std::max(0, height() - 3));
    left = right + 2;
  }
  return {};
}

void TStatusBar::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  p.setClipRegion(e->region());
  p.fillRect(rect(), ButtonFace());
  const QColor dark = palette().color(QPalette::Dark), light = palette().color(QPalette::Light);
  for (int i = 0; i < int(Panels.size()); ++i) {
    const QRect r = PanelRect(i);
    const QRect frame = r.adjusted(-1, -1, 1, 1);
    p.setPen(dark);
    p.drawLine(frame.topLeft(), frame.topRight());
    p.drawLine(frame.topLeft(), frame.bottomLeft());
    p.setPen(light);
    p.drawLine(frame.topRight(), frame.bottomRight());
    p.drawLine(frame.bottomLeft(), frame.bottomRight());
    const TPanelInfo& panel = Panels[size_t(i)];
    if (panel.OwnerDraw) {
      if (OnDrawPanel) {
        p.save();
        OnDrawPanel(this, i, p, r);
        p.restore();
      }
    } else if (!panel.Text.isEmpty()) {
      p.setPen(palette().color(QPalette::WindowText));
      p.drawText(r.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, panel.Text);
    }
  }
  if (Overlay) Overlay(p);
}

void TStatusBar::resizeEvent(QResizeEvent*) {
  if (grip_) grip_->move(width() - grip_->width(), height() - grip_->height());
}

// --- tool bar --------------------------------------------------------------------------------

QIcon TSpeedItem::TwoStateIcon(const QString& resource) {
  QIcon icon;
  const QPixmap strip(resource);
  if (strip.isNull()) return icon;
  const int w = strip.width() / 2;
  icon.addPixmap(strip.copy(0, 0, w, strip.height()), QIcon::Normal, QIcon::Off);
  icon.addPixmap(strip.copy(w, 0, w, strip.height()), QIcon::Normal, QIcon::On);
  return icon;
}

TSpeedItem::TSpeedItem(QWidget* parent, const QString& caption, const QString& glyphResource)
    : QToolButton(parent) {
  setText(caption);
  setCheckable(true);
  setAutoRaise(true);
  setIcon(TwoStateIcon(glyphResource));
  setIconSize(QSize(24, 24));
  setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
}

void TSpeedItem::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect r = rect();
  const bool down = isChecked() || isDown();
  if (down) p.fillRect(r.adjusted(1, 1, -1, -1), QColor(255, 255, 255, 110));
  if (down || underMouse()) drawBevel(p, r, down ? TBevel::Lowered : TBevel::Raised);
  const QPixmap glyph = icon().pixmap(iconSize(), isEnabled() ? QIcon::Normal : QIcon::Disabled,
                                      isChecked() ? QIcon::On : QIcon::Off);
  const int shift = down ? 1 : 0;
  const bool glyphOnly = toolButtonStyle() == Qt::ToolButtonIconOnly;
  const int glyphTop = glyphOnly ? (height() - iconSize().height()) / 2 : 1;
  if (!glyph.isNull()) p.drawPixmap((width() - glyph.width()) / 2 + shift, glyphTop + shift, glyph);
  if (!glyphOnly) {
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(QRect(shift, 21 + shift, width(), height() - 21), Qt::AlignHCenter | Qt::AlignTop, text());
  }
  // Reached with the keyboard: a dotted frame inside the edge.
  if (hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(2, 2, -3, -3));
  }
}

TSpeedBar::TSpeedBar(QWidget* parent) : TPanel(parent, TBevel::Lowered, TBevel::Raised) {
  // Where the family is missing, a condensed face keeps the captions about as wide as there.
  QFont f = MakeFont("Arial", 11, true);
  f.setStretch(QFont::Condensed);
  setFont(f);
}

void TSpeedBar::SetWallpaper(const QPixmap& tile) {
  wallpaper_ = tile;
  update();
}

TSpeedItem* TSpeedBar::AddItem(const QString& caption, const QString& hint, const QString& glyph,
                               int left, int top, int group) {
  auto* item = new TSpeedItem(this, caption, glyph);
  item->setGeometry(left, top, BtnSize.width(), BtnSize.height());
  SetHint(item, hint, true);
  QButtonGroup* g = nullptr;
  for (auto& [id, bg] : groups_)
    if (id == group) g = bg;
  if (!g) {
    g = new QButtonGroup(this);
    g->setExclusive(true);
    groups_.push_back({group, g});
  }
  g->addButton(item);
  return item;
}

void TSpeedBar::paintEvent(QPaintEvent* e) {
  TPanel::paintEvent(e);
  if (wallpaper_.isNull()) return;
  QPainter p(this);
  const int m = BorderInset();
  p.drawTiledPixmap(rect().adjusted(m, m, -m, -m), wallpaper_);
}

// --- save dialog -----------------------------------------------------------------------------

std::function<bool(TSaveDialog&)>& TSaveDialog::ExecuteHandler() {
  static std::function<bool(TSaveDialog&)> handler;
  return handler;
}

bool TSaveDialog::Execute(QWidget* parent) {
  if (ExecuteHandler()) return ExecuteHandler()(*this);
  QFileDialog dialog(parent, Title, InitialDir, Filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QFileDialog::Options options = QFileDialog::DontUseNativeDialog;
  if (!OverwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
  dialog.setOptions(options);
  dialog.setIconProvider(TKindIconProvider::Shared()); // never reads files to pick icons
  dialog.setSizeGripEnabled(EnableSizing);
  if (!DefaultExt.isEmpty()) {
    dialog.setDefaultSuffix(DefaultExt);
    // A name typed without an extension gets the one of the file type chosen.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
      const QRegularExpressionMatch m = QRegularExpression(R"(\*\.(\w+))").match(filter);
      if (m.hasMatch()) dialog.setDefaultSuffix(m.captured(1));
    });
  }
  if (!SelectedFilter.isEmpty()) dialog.selectNameFilter(SelectedFilter);
  if (!FileName.isEmpty()) dialog.selectFile(FileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  FileName = dialog.selectedFiles().front();
  SelectedFilter = dialog.selectedNameFilter();
  return true;
}

QIcon TSystemImageList::IconFor(const QString& path) const {
  return TKindIconProvider::Shared()->icon(QFileInfo(path));
}

std::string& ApplicationHelpFile() {
  static std::string name;
  return name;
}

} // namespace comp
