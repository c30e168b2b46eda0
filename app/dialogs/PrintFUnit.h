// SPDX-License-Identifier: GPL-3.0-or-later
// The print dialog: a preview of the page, the print size (whole printable area or a
// percentage of it), keeping the picture's proportions, centring, the printer set-up, and the
// printing itself.
#pragma once

#include "ButtonsXP.h"
#include "Velbrik.h"
#include "platform/job.h"

#include <QDialog>
#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <string>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPrinter;
class QRadioButton;
class QSettings;
class QSpinBox;

struct TPrintOptions {
  bool FullPage = true;     // fill the printable area; else WidthPercent x HeightPercent of it
  int WidthPercent = 50;    // 1..100
  int HeightPercent = 50;   // 1..100
  bool KeepAspect = true;   // the picture keeps its proportions inside that box
  bool Centre = true;       // centred in the printable area; else at its top left
};

// Where a picture of PictureSize lands inside the printable area Printable (device units).
// Empty for an empty picture or area.
QRect PrintPlacement(const QRect& Printable, QSize PictureSize, const TPrintOptions& Options);

// The picture as a QImage of its own pixels (24 bits, rows top-down); null without a picture.
QImage DibToImage(const TDib& Dib);

// Prints the picture on one page of Printer; false (with a German message) when the printer
// cannot be started. The picture is sent at its own resolution or the printer's, whichever is
// lower: a picture smaller than its place on the page goes whole and the printer scales it.
bool PrintDib(QPrinter& Printer, const TDib& Dib, const TPrintOptions& Options, QString& Message);

// Prints to the PDF file Target as PrintDib does, through a temporary file beside it that is
// renamed over Target only when complete; for a thread of its own (the printer is used by nothing
// else meanwhile). Empty on success, else a German message; platform::kCancelledText when the job
// was cancelled. No temporary file is left.
std::string PrintDibToPdf(QPrinter& Printer, const TDib& Dib, const TPrintOptions& Options, const QString& Target,
                          const platform::TJob& Job);

// Paints the preview: the page, its printable area and where the picture lands, scaled into Box.
void PaintPrintPreview(QPainter& Painter, const QRect& Box, QSizeF PageSize, QRectF PrintableArea,
                       const TDib& Dib, const TPrintOptions& Options);

class TPrintForm : public QDialog {
public:
  // Dib is only read; Printer is the one the dialog sets up and prints on.
  TPrintForm(QWidget* Owner, const TDib& Dib, QPrinter& Printer);
  ~TPrintForm() override;

  TPrintOptions Options() const;
  void FormShow(QObject* Sender);
  void PrintPaintBoxPaint(QObject* Sender);
  void UserdefCheckClick(QObject* Sender);
  void BreitEditChange(QObject* Sender);
  void HochEditChange(QObject* Sender);
  void PrintSetupBtnClick(QObject* Sender);

  // Tests answer the printer set-up here; empty shows the real dialog.
  static std::function<bool(QPrinter&)>& PrinterSetupHandler();
  // Where the dialog keeps its position and values; empty: the program's own settings.
  static QString& SettingsFile();
  // Whether the user set the page orientation in the printer set-up during this session; until
  // then the page follows the picture (landscape for a picture wider than high).
  static bool& OrientationChosen();

  QLabel* Label1 = nullptr;
  QFrame* Panel1 = nullptr;
  QWidget* PrintPaintBox = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* UseFullCheck = nullptr;
  QRadioButton* UserdefCheck = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QSpinBox* BreitEdit = nullptr;
  QSpinBox* HochEdit = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QCheckBox* SverhCheck = nullptr;
  QCheckBox* ZentrCheck = nullptr;
  QFrame* Bevel1 = nullptr;
  TBitBtnXP* OkBitBtn1 = nullptr;
  TBitBtnXP* PrintSetupBtn = nullptr;
  TBitBtnXP* CancelBitBtn2 = nullptr;

protected:
  void showEvent(QShowEvent* Event) override;
  void done(int Result) override;

private:
  QSettings* OpenSettings() const;
  void RestoreStorage();
  void SaveStorage();
  void UpdateSizeControls();

  const TDib& FDib;
  QPrinter& FPrinter;
};
