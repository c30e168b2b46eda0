// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintFUnit.h"

#include "WindowPlacement.h"

#include "StretchDraw.h"
#include "qt_device_context.h"
#include "resources.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include <unistd.h>

QRect PrintPlacement(const QRect& Printable, QSize PictureSize, const TPrintOptions& Options) {
  if (Printable.isEmpty() || PictureSize.isEmpty()) return {};
  const int wp = std::clamp(Options.WidthPercent, 1, 100);
  const int hp = std::clamp(Options.HeightPercent, 1, 100);
  // The box the picture may fill, in device units; at least one unit.
  const long long boxW = Options.FullPage ? Printable.width()
                                          : std::max(1LL, (1LL * Printable.width() * wp + 50) / 100);
  const long long boxH = Options.FullPage ? Printable.height()
                                          : std::max(1LL, (1LL * Printable.height() * hp + 50) / 100);
  long long w = boxW, h = boxH;
  if (Options.KeepAspect) {
    // The largest size of the picture's proportions inside the box, compared without rounding.
    if (boxW * PictureSize.height() <= boxH * PictureSize.width()) {
      w = boxW;
      h = std::max(1LL, (boxW * PictureSize.height() + PictureSize.width() / 2) / PictureSize.width());
    } else {
      h = boxH;
      w = std::max(1LL, (boxH * PictureSize.width() + PictureSize.height() / 2) / PictureSize.height());
    }
  }
  int x = Printable.left(), y = Printable.top();
  if (Options.Centre) {
    x += int((Printable.width() - w) / 2);
    y += int((Printable.height() - h) / 2);
  }
  return QRect(x, y, int(w), int(h));
}

QImage DibToImage(const TDib& Dib) {
  if (Dib.Bits == nullptr || Dib.Info == nullptr || DibBitCount(Dib) != 24) return {};
  const int w = DibWidth(Dib), h = DibHeight(Dib);
  QImage image(w, h, QImage::Format_BGR888);
  if (image.isNull()) return {};
  for (int y = 0; y < h; ++y)
    std::memcpy(image.scanLine(y), Dib.Bits + int64_t(h - 1 - y) * Dib.BytesPerLine, size_t(w) * 3);
  return image;
}

bool PrintDib(QPrinter& Printer, const TDib& Dib, const TPrintOptions& Options, QString& Message) {
  if (Dib.Bits == nullptr || Dib.Info == nullptr) {
    Message = "Es ist kein Bild zum Drucken vorhanden.";
    return false;
  }
  QPainter painter;
  if (!painter.begin(&Printer)) {
    Message = Printer.outputFileName().isEmpty()
                  ? QString("Der Drucker \"%1\" konnte nicht gestartet werden.").arg(Printer.printerName())
                  : QString("Die Datei \"%1\" konnte nicht geschrieben werden.").arg(Printer.outputFileName());
    return false;
  }
  // Painter coordinates start at the printable area's top left.
  const QRect printable(QPoint(0, 0), Printer.pageLayout().paintRectPixels(Printer.resolution()).size());
  const QRect target = PrintPlacement(printable, QSize(DibWidth(Dib), DibHeight(Dib)), Options);
  const int w = DibWidth(Dib), h = DibHeight(Dib);
  if (target.width() <= w && target.height() <= h) {
    // The printer's dots are coarser than the picture's: drawn at the printer's resolution.
    platform::qt::TQtDeviceContext dc(painter, printable, platform::qt::TQtDeviceContext::Kind::Printer);
    StretchDrawDib(&dc, target.x(), target.y(), target.width(), target.height(), Dib, 0, 0, w, h, true,
                   platform::SRCCOPY, true, nullptr);
  } else {
    // Finer: the picture goes at its own resolution (reduced only along a side that shrinks)
    // and the printer scales it; nothing is sent upsampled.
    QImage image = DibToImage(Dib);
    if (target.width() < w || target.height() < h)
      image = image.scaled(std::min(w, target.width()), std::min(h, target.height()), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(target), image);
  }
  if (!painter.end()) {
    Message = "Der Druck konnte nicht abgeschlossen werden.";
    return false;
  }
  return true;
}

std::string PrintDibToPdf(QPrinter& Printer, const TDib& Dib, const TPrintOptions& Options, const QString& Target,
                          const platform::TJob& Job) {
  const QByteArray target = QFile::encodeName(Target);
  const std::string failed = "Die Datei \xE2\x80\x9E" + Target.toStdString() + "\xE2\x80\x9C konnte nicht gespeichert werden: ";
  char temp[PATH_MAX + 64];
  const int fd = CreateSaveTemporary(target.constData(), temp, sizeof temp);
  if (fd < 0) {
    const int err = errno;
    return failed + (err == EACCES || err == EPERM || err == EROFS ? "Keine Berechtigung zum Schreiben in diesen Ordner."
                     : err == ENOENT                               ? "Der Ordner existiert nicht."
                                                                   : "Die Datei kann dort nicht angelegt werden.");
  }
  // The descriptor keeps the temporary file locked until it is renamed or removed.
  const auto discard = [&](const std::string& message) {
    ::unlink(temp);
    ::close(fd);
    return message;
  };
  if (Job.Cancelled()) return discard(platform::kCancelledText);
  Job.Report(10);
  Printer.setOutputFileName(QFile::decodeName(temp));
  QString message;
  if (!PrintDib(Printer, Dib, Options, message)) return discard(failed + message.toStdString());
  if (Job.Cancelled()) return discard(platform::kCancelledText);
  Job.Report(90);
  if (::fsync(fd) != 0 || ::rename(temp, target.constData()) != 0)
    return discard(failed + "Die Datei konnte nicht an ihren Platz gebracht werden.");
  ::close(fd);
  Job.Report(100);
  return {};
}

void PaintPrintPreview(QPainter& Painter, const QRect& Box, QSizeF PageSize, QRectF PrintableArea,
                       const TDib& Dib, const TPrintOptions& Options) {
  if (PageSize.isEmpty()) return;
  // The page, as large as fits the box with a margin for its shadow.
  const double scale = std::min((Box.width() - 12) / PageSize.width(), (Box.height() - 12) / PageSize.height());
  const QSize page(int(PageSize.width() * scale), int(PageSize.height() * scale));
  const QRect pageRect(Box.left() + (Box.width() - page.width()) / 2,
                       Box.top() + (Box.height() - page.height()) / 2, page.width(), page.height());
  Painter.fillRect(pageRect.translated(3, 3), QColor(0, 0, 0, 70));
  Painter.fillRect(pageRect, Qt::white);
  Painter.setPen(QColor(110, 110, 110));
  Painter.drawRect(pageRect.adjusted(0, 0, -1, -1));
  const QRect printable(pageRect.left() + int(PrintableArea.left() * scale),
                        pageRect.top() + int(PrintableArea.top() * scale),
                        std::max(1, int(PrintableArea.width() * scale)),
                        std::max(1, int(PrintableArea.height() * scale)));
  Painter.setPen(QPen(QColor(160, 170, 200), 1, Qt::DotLine));
  Painter.drawRect(printable.adjusted(0, 0, -1, -1));
  if (Dib.Bits == nullptr || Dib.Info == nullptr) return;
  const QRect target = PrintPlacement(printable, QSize(DibWidth(Dib), DibHeight(Dib)), Options);
  if (target.isEmpty()) return;
  platform::qt::TQtDeviceContext dc(Painter, Box);
  // On a high-density screen the small picture is computed for the device's pixels.
  platform::qt::InDeviceUnits(dc, [&] {
    const int32_t x = dc.InUnits(target.x()), y = dc.InUnits(target.y());
    StretchDrawDib(&dc, x, y, dc.InUnits(target.x() + target.width()) - x, dc.InUnits(target.y() + target.height()) - y,
                   Dib, 0, 0, DibWidth(Dib), DibHeight(Dib), true, platform::SRCCOPY, true, nullptr);
  });
  Painter.setPen(QColor(40, 40, 40));
  Painter.setBrush(Qt::NoBrush);
  Painter.drawRect(target.adjusted(0, 0, -1, -1));
}

namespace {

class TPaintBox : public QWidget {
public:
  TPaintBox(QWidget* parent, std::function<void()> onPaint) : QWidget(parent), FOnPaint(std::move(onPaint)) {}

protected:
  void paintEvent(QPaintEvent*) override { FOnPaint(); }

private:
  std::function<void()> FOnPaint;
};

} // namespace

std::function<bool(QPrinter&)>& TPrintForm::PrinterSetupHandler() {
  static std::function<bool(QPrinter&)> handler;
  return handler;
}

QString& TPrintForm::SettingsFile() {
  static QString file;
  return file;
}

bool& TPrintForm::OrientationChosen() {
  static bool chosen = false;
  return chosen;
}

TPrintForm::TPrintForm(QWidget* Owner, const TDib& Dib, QPrinter& Printer)
    : QDialog(Owner), FDib(Dib), FPrinter(Printer) {
  InitMorphaneResources();
  setWindowTitle("Bild drucken...");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(427, 328);
  new TWindowPlacement(this); // centred on the screen, its frame included
  // The dialog font, or a narrow face of similar width where it is missing.
  QFont font;
  font.setFamilies({"MS Sans Serif", "DejaVu Sans Condensed", "Liberation Sans Narrow"});
  font.setPixelSize(11);
  setFont(font);

  Label1 = new QLabel("Vorschau:", this);
  Label1->setGeometry(16, 0, 120, 22);
  Panel1 = new QFrame(this);
  Panel1->setGeometry(16, 24, 200, 225);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PrintPaintBox = new TPaintBox(Panel1, [this] { PrintPaintBoxPaint(PrintPaintBox); });
  PrintPaintBox->setGeometry(4, 17, 190, 190);

  GroupBox1 = new QGroupBox("Druckgröße", this);
  GroupBox1->setGeometry(232, 24, 185, 129);
  UseFullCheck = new QRadioButton("Seite voll nutzen", GroupBox1);
  UseFullCheck->setGeometry(16, 24, 161, 17);
  UseFullCheck->setChecked(true);
  UserdefCheck = new QRadioButton("Benutzerdefiniert", GroupBox1);
  UserdefCheck->setGeometry(16, 48, 161, 17);
  Label2 = new QLabel("Breite in %:", GroupBox1);
  Label2->setGeometry(16, 72, 62, 22);
  Label3 = new QLabel("Höhe in %:", GroupBox1);
  Label3->setGeometry(16, 96, 62, 22);
  BreitEdit = new QSpinBox(GroupBox1);
  BreitEdit->setGeometry(80, 72, 89, 22);
  HochEdit = new QSpinBox(this); // on the form, lined up below BreitEdit
  HochEdit->setGeometry(312, 120, 89, 22);
  for (QSpinBox* edit : {BreitEdit, HochEdit}) {
    edit->setRange(1, 100);
    edit->setValue(50);
  }

  GroupBox2 = new QGroupBox("Druckoptionen", this);
  GroupBox2->setGeometry(232, 160, 185, 89);
  SverhCheck = new QCheckBox("Seitenverhältnis beibehalten", GroupBox2);
  SverhCheck->setGeometry(8, 24, 171, 17);
  SverhCheck->setChecked(true);
  ZentrCheck = new QCheckBox("Zentrierte Ausgabe", GroupBox2);
  ZentrCheck->setGeometry(8, 48, 171, 17);
  ZentrCheck->setChecked(true);

  Bevel1 = new QFrame(this);
  Bevel1->setGeometry(0, 264, 427, 2);
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

  OkBitBtn1 = new TBitBtnXP(this);
  OkBitBtn1->setGeometry(29, 296, 89, 25);
  OkBitBtn1->SetLoading(true);
  OkBitBtn1->SetCaption("&OK");
  OkBitBtn1->SetKind(bkOK);
  OkBitBtn1->SetLoading(false);
  PrintSetupBtn = new TBitBtnXP(this);
  PrintSetupBtn->setGeometry(125, 296, 177, 25);
  PrintSetupBtn->SetCaption("Drucker &einrichten...");
  PrintSetupBtn->SetGlyph(QImage(":/art/printsetup.bmp"));
  PrintSetupBtn->SetNumGlyphs(2);
  PrintSetupBtn->OnClick = [this](QObject* Sender) { PrintSetupBtnClick(Sender); };
  CancelBitBtn2 = new TBitBtnXP(this);
  CancelBitBtn2->setGeometry(309, 296, 89, 25);
  CancelBitBtn2->SetLoading(true);
  CancelBitBtn2->SetCaption("A&bbrechen");
  CancelBitBtn2->SetKind(bkCancel);
  CancelBitBtn2->SetLoading(false);

  auto repaint = [this] { PrintPaintBox->update(); };
  connect(UseFullCheck, &QRadioButton::clicked, this, [this, repaint] { UpdateSizeControls(); repaint(); });
  connect(UserdefCheck, &QRadioButton::clicked, this, [this] { UserdefCheckClick(UserdefCheck); });
  connect(SverhCheck, &QCheckBox::clicked, this, repaint);
  connect(ZentrCheck, &QCheckBox::clicked, this, repaint);
  connect(BreitEdit, &QSpinBox::valueChanged, this, [this] { BreitEditChange(BreitEdit); });
  connect(HochEdit, &QSpinBox::valueChanged, this, [this] { HochEditChange(HochEdit); });

  RestoreStorage();
  UpdateSizeControls();
  if (!OrientationChosen() && Dib.Info != nullptr)
    FPrinter.setPageOrientation(DibWidth(Dib) > DibHeight(Dib) ? QPageLayout::Landscape : QPageLayout::Portrait);
}

TPrintForm::~TPrintForm() = default;

TPrintOptions TPrintForm::Options() const {
  TPrintOptions o;
  o.FullPage = UseFullCheck->isChecked();
  o.WidthPercent = BreitEdit->value();
  o.HeightPercent = HochEdit->value();
  o.KeepAspect = SverhCheck->isChecked();
  o.Centre = ZentrCheck->isChecked();
  return o;
}

void TPrintForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormShow(this);
}

void TPrintForm::FormShow(QObject*) { PrintPaintBox->update(); }

void TPrintForm::PrintPaintBoxPaint(QObject*) {
  QPainter painter(PrintPaintBox);
  const QPageLayout layout = FPrinter.pageLayout();
  const QRectF full = layout.fullRectPoints();
  const QRectF paint = layout.paintRectPoints();
  PaintPrintPreview(painter, PrintPaintBox->rect(), full.size(), paint, FDib, Options());
}

void TPrintForm::UpdateSizeControls() {
  const bool own = UserdefCheck->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{Label2, Label3, BreitEdit, HochEdit}) w->setEnabled(own);
}

void TPrintForm::UserdefCheckClick(QObject*) {
  UpdateSizeControls();
  PrintPaintBox->update();
}

void TPrintForm::BreitEditChange(QObject*) { PrintPaintBox->update(); }
void TPrintForm::HochEditChange(QObject*) { PrintPaintBox->update(); }

void TPrintForm::PrintSetupBtnClick(QObject*) {
  bool changed;
  const QPageLayout::Orientation before = FPrinter.pageLayout().orientation();
  if (PrinterSetupHandler()) {
    changed = PrinterSetupHandler()(FPrinter);
  } else {
    QPageSetupDialog PrinterSetupDialog1(&FPrinter, this);
    changed = PrinterSetupDialog1.exec() == QDialog::Accepted;
  }
  if (changed && FPrinter.pageLayout().orientation() != before) OrientationChosen() = true;
  if (changed) PrintPaintBox->update();
}

QSettings* TPrintForm::OpenSettings() const {
  if (!SettingsFile().isEmpty()) return new QSettings(SettingsFile(), QSettings::IniFormat);
  return new QSettings("Morphane", "Morphane 2.0");
}

// The two percentages, the size choice and the options live between runs.
void TPrintForm::RestoreStorage() {
  std::unique_ptr<QSettings> s(OpenSettings());
  s->beginGroup("PrintForm");
  BreitEdit->setValue(std::clamp(s->value("BreitEdit", 50).toInt(), 1, 100));
  HochEdit->setValue(std::clamp(s->value("HochEdit", 50).toInt(), 1, 100));
  const bool own = s->value("Benutzerdefiniert", false).toBool();
  UserdefCheck->setChecked(own);
  UseFullCheck->setChecked(!own);
  SverhCheck->setChecked(s->value("Seitenverhaeltnis", true).toBool());
  ZentrCheck->setChecked(s->value("Zentriert", true).toBool());
  s->endGroup();
}

void TPrintForm::SaveStorage() {
  std::unique_ptr<QSettings> s(OpenSettings());
  s->beginGroup("PrintForm");
  s->setValue("BreitEdit", BreitEdit->value());
  s->setValue("HochEdit", HochEdit->value());
  s->setValue("Benutzerdefiniert", UserdefCheck->isChecked());
  s->setValue("Seitenverhaeltnis", SverhCheck->isChecked());
  s->setValue("Zentriert", ZentrCheck->isChecked());
  s->endGroup();
}

void TPrintForm::done(int Result) {
  SaveStorage();
  QDialog::done(Result);
}
