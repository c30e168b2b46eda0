// The main window: three pages (choose a picture, deform it, view the result), the bottom bar
// and the status bar with the progress indicator. It owns all of the program's state.
#pragma once

#include "Components.h"

#include "Velbrik.h"
#include "platform/win.h"

#include <QMainWindow>

#include <cstdint>
#include <string>

class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QToolButton;

// Page "Motiv laden": the shell controls (app/ShellControls.h).
class TJamShellTree;
class TJamShellList;
class TJamShellLink;
class TFilterComboBox;

// One mask entry: the source pixel a result pixel shows (rows counted bottom-up).
struct TMaskEntry {
  int32_t X;
  int32_t Y;
};

struct TRect32 {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class TMainForm : public QMainWindow, public platform::TMessageTarget {
  Q_OBJECT
public:
  // An empty programFile means the running program's file; its folder is FProgramDir.
  explicit TMainForm(const std::string& programFile = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // --- components, named as in the window layout -------------------------------------------
  QMenuBar* MainMenu1 = nullptr;
  comp::TStatusBar* StatusBar1 = nullptr;
  comp::TPanel* Panel7 = nullptr;
  QToolButton* wwwBtn = nullptr;
  comp::TPanel* Panel8 = nullptr;
  QLabel* ueberbtn = nullptr; // image buttons; plain pictures until the image button exists
  QLabel* endebtn = nullptr;
  comp::TPanel* OuterPanel = nullptr;
  QTabWidget* PageControl2 = nullptr;
  comp::TImageList TaBImages;

  // Page 0, "Motiv laden" (built by BuildPageMotivLaden).
  QWidget* TabSheetMotivLaden = nullptr;
  comp::TPanel* Panel5 = nullptr;
  comp::TRxLabel* RxLabel8 = nullptr;
  comp::TPanel* Panel3 = nullptr;
  comp::TPanel* Panel18 = nullptr;
  comp::TRxLabel* RxLabel12 = nullptr;
  QListWidget* PrefListBox = nullptr;
  comp::TPanel* Panel9 = nullptr;
  comp::TPanel* Panel10 = nullptr;
  TJamShellTree* JamShellTree1 = nullptr;
  comp::TSplitter* Splitter1 = nullptr;
  TJamShellList* JamShellList1 = nullptr;
  TJamShellLink* JamShellLink1 = nullptr;
  comp::TPanel* Panel11 = nullptr;
  TFilterComboBox* FilterComboBox1 = nullptr;
  comp::TSplitter* Splitter2 = nullptr;
  comp::TPanel* Panel12 = nullptr;
  comp::TPanel* Panel13 = nullptr;
  comp::TRxLabel* RxLabel1 = nullptr;
  comp::TPanel* Panel15 = nullptr;
  comp::TPaintBox* DibPrevPaint = nullptr;
  comp::TPanel* Panel14 = nullptr;
  comp::TRxLabel* RxLabel2 = nullptr;
  comp::TRxLabel* RxLabel4 = nullptr;
  comp::TRxLabel* RxLabel5 = nullptr;
  QLineEdit* Breit = nullptr;
  QLineEdit* Hoch = nullptr;
  QLineEdit* Tief = nullptr;

  // Page 1, "Gesicht operieren".
  QWidget* TabSheet2 = nullptr;
  comp::TPanel* Panel6 = nullptr;
  comp::TRxLabel* RxLabel9 = nullptr;
  comp::TPanel* Panel43 = nullptr;
  comp::TSpeedBar* SpeedBar1 = nullptr;
  comp::TSpeedItem* WachsenBtn = nullptr;
  comp::TSpeedItem* SchrumpfenBtn = nullptr;
  comp::TSpeedItem* SchmierenBtn = nullptr;
  comp::TSpeedItem* ZerrenBtn = nullptr;
  comp::TSpeedItem* RadiererBtn = nullptr;
  QCheckBox* NormalizeCheck = nullptr;
  QRadioButton* xyCheck = nullptr;
  QRadioButton* xCheck = nullptr;
  QRadioButton* ycheck = nullptr;
  comp::TRxLabel* RxLabel3 = nullptr;
  comp::TRxLabel* RxLabel6 = nullptr;
  comp::TRxLabel* RxLabel7 = nullptr;
  comp::TSpinEdit* StarkED = nullptr;
  comp::TSpinEdit* RadiusED = nullptr;
  comp::TSpinEdit* ZoomEd = nullptr;
  comp::TScrollBox* ScrollBox1 = nullptr;
  comp::TPaintBox* PaintBox1 = nullptr;

  // Page 2, "Ergebnis verarbeiten".
  QWidget* TabSheet4 = nullptr;
  comp::TPanel* Panel16 = nullptr;
  comp::TRxLabel* RxLabel10 = nullptr;
  comp::TPanel* Panel21 = nullptr;
  comp::TPanel* Panel22 = nullptr;
  QLabel* Image1 = nullptr;
  comp::TPanel* Panel23 = nullptr;
  comp::TRxLabel* RxLabel27 = nullptr;
  comp::TPanel* Panel1 = nullptr;
  comp::TPanel* Panel17 = nullptr;
  QPushButton* SaveAsBtn = nullptr; // theme-aware bitmap buttons once they exist
  QPushButton* PrintBtn = nullptr;
  comp::TScrollBox* ErgScrollBox = nullptr;
  comp::TPaintBox* ErgPaintBox = nullptr;

  // Components without a window.
  comp::TShellBrowser* ShellBrowser1 = nullptr;
  comp::TSystemImageList* JamSystemImageList1 = nullptr;
  comp::TSaveDialog SaveDialog1;
  QTimer* Timer1 = nullptr;

  // --- state ---------------------------------------------------------------------------------
  TRect32 FProgressRect;   // panel 1 of StatusBar1 as last drawn; all zero until then
  int32_t FProgress = 0;   // progress percentage
  uint8_t FOutlineShown = 0;
  TDib FSourceDib{};
  std::string FProgramDir; // ends in "/"
  uint8_t FResultDragging = 0;
  int32_t FResultDragX = 0, FResultDragY = 0;
  TDib FResultDib{};
  TMaskEntry* FMask = nullptr;
  int32_t FLastX = 0, FLastY = 0;
  int32_t FZoomDen = 0, FZoomNum = 0;
  uint8_t FStrokeActive = 0;
  TRect32 FOutlineRect;

  // --- life cycle ----------------------------------------------------------------------------
  void FormCreate(QObject* Sender);
  void FormDestroy(QObject* Sender);
  void FormCloseQuery(QObject* Sender, bool& CanClose);
  void EndeBtnClick(QObject* Sender);
  void wwwBtnClick(QObject* Sender);
  // Shift is the keyboard modifiers, MousePos in screen coordinates.
  void FormMouseWheelDown(QObject* Sender, Qt::KeyboardModifiers Shift, QPoint MousePos, bool& Handled);
  void FormMouseWheelUp(QObject* Sender, Qt::KeyboardModifiers Shift, QPoint MousePos, bool& Handled);

  // --- page "Motiv laden", picture loading and favourites (app/MainLoading.cpp) ---------------
  void BuildPageMotivLaden(QWidget* TabSheetMotivLaden);
  void FormCreateFilter();
  void FormCreateFolders();
  void JamShellList1DblClick(QObject* Sender);
  void JamShellList1KeyPress(QObject* Sender, char& Key);
  void FilterComboBox1Change(QObject* Sender);
  void openfilenow(const std::string& FileName);
  void PictureLoaded(TDib& Record);
  void DibPrevPaintPaint(QObject* Sender);
  void AddToPrefFolders(const std::string& Folder);
  void PrefListBoxDblClick(QObject* Sender);
  void PrefListBoxKeyPress(QObject* Sender, char& Key);

  // --- about, save and print (app/MainDialogs.cpp) -------------------------------------------
  void ueberbtnClick(QObject* Sender);
  void BitBtn1Click(QObject* Sender);
  void BitBtn2Click(QObject* Sender);

  // --- editing view ----------------------------------------------------------------------------
  void PaintBox1Paint(QObject* Sender);
  void ZoomEdChange(QObject* Sender);
  void PageControl2Change(QObject* Sender);
  void Timer1Timer(QObject* Sender);

  // --- progress indicator ----------------------------------------------------------------------
  void SetProStatus(int32_t Value);
  void StatusBar1DrawPanel(comp::TStatusBar* StatusBar, int Panel, QPainter& Canvas, const QRect& Rect);
  void SBarPaintMore();
  platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM wParam,
                               platform::LPARAM lParam) override;
  void WMUser(platform::WPARAM wParam, platform::LPARAM lParam);

  // --- result page -----------------------------------------------------------------------------
  void ErgPaintBoxPaint(QObject* Sender);

protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void buildWindow();
  void buildBottomBar(QWidget* client);
  void buildPageOperieren(QWidget* page);
  void buildPageErgebnis(QWidget* page);
  void wheel(QWheelEvent* e);
  int wheelRest_ = 0;       // wheel movement short of a whole notch
  bool sizedToFrame_ = false;
};

// The main window while it exists.
extern TMainForm* MainForm;
