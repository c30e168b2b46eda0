// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: three pages (choose a picture, deform it, view the result), the bottom bar
// and the status bar with the progress indicator. It owns all of the program's state.
#pragma once

#include "Components.h"

#include "EditorCore.h"
#include "Velbrik.h"
#include "platform/win.h"

#include <QMainWindow>
#include <QRegion>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TBitBtnXP;
class TWindowPlacement;
class TImageBtn;
class QCheckBox;
class QFileDialog;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QToolButton;

// Page "Motiv laden": the shell controls (app/widgets/ShellControls.h).
class TJamShellTree;
class TJamShellList;
class TJamShellLink;
class TFilterComboBox;
// The project file and the autosave (app/MainProject.cpp).
class TProjectSupport;
namespace project { struct TSettings; }

// The main window. The pictures, the mask, the zoom ratio and the stroke state live in the
// editing engine it derives from (FSourceDib, FResultDib, FMask, FZoomNum, ...); the window turns
// its events into calls of the engine and gives the engine its drawing, timer and capture.
class TMainForm : public QMainWindow, public platform::TMessageTarget, public warp::TEditorCore {
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
  TImageBtn* ueberbtn = nullptr;
  TImageBtn* endebtn = nullptr;
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
  QToolButton* RueckgaengigBtn = nullptr; // undo and redo, first in the bottom bar's row
  QToolButton* WiederholenBtn = nullptr;
  QCheckBox* GlaettenCheck = nullptr; // smooth rendering, in the bottom bar
  // The bottom bar's free middle, between "Glätten" and "Info": one compact row of small icon
  // buttons for what came after the designed window (each with a tool tip naming its key).
  QWidget* BottomTools = nullptr;
  // A new icon button at the row's end; `keys` is the key's name as the tool tip shows it.
  QToolButton* AddBottomTool(const QString& glyph, const QString& caption, const QString& keys);
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
  TBitBtnXP* SaveAsBtn = nullptr;
  TBitBtnXP* PrintBtn = nullptr;
  TBitBtnXP* AnimBtn = nullptr; // "Animation speichern...", in the left column under its picture
  comp::TScrollBox* ErgScrollBox = nullptr;
  comp::TPaintBox* ErgPaintBox = nullptr;

  // Components without a window.
  comp::TShellBrowser* ShellBrowser1 = nullptr;
  comp::TSystemImageList* JamSystemImageList1 = nullptr;
  comp::TSaveDialog SaveDialog1;
  QTimer* Timer1 = nullptr;

  // --- state ---------------------------------------------------------------------------------
  // (The editing engine holds the pictures, the mask, the zoom ratio and the stroke state.)
  warp::TRect FProgressRect; // panel 1 of StatusBar1 as last drawn; all zero until then
  int32_t FProgress = 0;     // progress percentage
  std::string FProgramDir;   // ends in "/"
  std::string FFavouritesFile; // folders.dat: in FProgramDir or the user's data folder
  std::string FPicturePath;    // the picture being edited; empty for the blank start picture
  bool FResultDragging = false;
  int32_t FResultDragX = 0, FResultDragY = 0;

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
  void ReportReduced(int32_t fullWidth, int32_t fullHeight); // picture opened reduced: say so
  void PictureLoaded(TDib& Record);
  void DibPrevPaintPaint(QObject* Sender);
  void AddToPrefFolders(const std::string& Folder);
  void PrefListBoxDblClick(QObject* Sender);
  void PrefListBoxKeyPress(QObject* Sender, char& Key);
  // A picture or folder named on the command line or dropped on the window: a file opens as a
  // double click in the file list opens it, a folder is shown on page "Motiv laden".
  void OpenFromOutside(const QString& Path);

  // --- about, save and print (app/MainDialogs.cpp) -------------------------------------------
  void ueberbtnClick(QObject* Sender);
  void BitBtn1Click(QObject* Sender);
  void BitBtn2Click(QObject* Sender);
  // The deformation as an animation: GIF, MP4 video or WebP (app/MainAnimation.cpp).
  void AnimBtnClick(QObject* Sender);
  // "Gesicht formen" (app/MainFaces.cpp): the button, the key G and the view's context menu.
  QToolButton* FaceBtn = nullptr;
  void BuildFaceTools();
  void FaceBtnClick(QObject* Sender);

  // --- the work as a project file, autosave and recovery (app/MainProject.cpp) ----------------
  std::string FProjectPath; // the project saved to or opened last; empty: Ctrl+S asks for a name
  TProjectSupport* FProjectSupport = nullptr;
  void FormCreateProject();
  // A picture file replaced the work: it belongs to no project yet.
  void ProjectPictureReplaced(const std::string& PicturePath);
  // The work was saved to Path as a project: Ctrl+S saves there again without asking.
  void ProjectSaved(const std::string& Path);
  project::TSettings ProjectSettings();
  bool SaveProjectTo(const std::string& Path);
  void SaveProject(); // Ctrl+S: to the project of the work, or asks for a name the first time
  bool OpenProject(const std::string& Path);
  void ApplyDeformationClick(QObject* Sender);
  bool ApplyDeformationFrom(const std::string& Path);
  // Offers to restore the autosave a killed session left, then writes the work in the
  // background a few seconds after each change (the program calls it once it is shown).
  void StartAutosave();
  void ProjectHistoryChanged();
  void AutosaveNow();
  std::string AutosavePath() const;
  // The save dialog and the saving of the result in the background; true when it was saved.
  bool SaveResultAs();

  // --- work not yet saved (app/MainWork.cpp) ---------------------------------------------------
  // The present state counts as saved (a picture or a project was written, a picture opened).
  void MarkWorkSaved();
  // Strokes since the last save that are not undone again.
  bool HasUnsavedWork() const;
  // Before unsaved work is dropped: asks "Speichern / Verwerfen / Abbrechen" naming the picture;
  // true when the work may go (saved or discarded, or there was none). Caption names the action.
  bool KeepWorkBeforeDropping(const std::string& Caption);
  void FormCreateWork();
  uint64_t FSavedWork = 0; // FHistory.StateId() at the last save
  // --- clipboard (app/MainClipboard.cpp): Ctrl+C copies the result as shown, Ctrl+V opens a
  // picture from the clipboard (image data or a copied picture file) as a new picture to edit.
  void CopyResultToClipboard();
  void PasteFromClipboard();

  // --- editing view ----------------------------------------------------------------------------
  // Button and modifiers are not looked at: any button starts and ends a stroke.
  void PaintBox1MouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int32_t X, int32_t Y);
  void PaintBox1MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int32_t X, int32_t Y);
  void PaintBox1MouseUp(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int32_t X, int32_t Y);
  void PaintBox1Paint(QObject* Sender);
  void ZoomEdChange(QObject* Sender);
  void PageControl2Change(QObject* Sender);
  void Timer1Timer(QObject* Sender);
  // The smooth rendering on or off: the result is rendered anew and the choice remembered.
  void GlaettenCheckClick(QObject* Sender);

  // --- undo, redo and the keyboard (app/MainKeys.cpp) -----------------------------------------
  void RueckgaengigBtnClick(QObject* Sender);
  void WiederholenBtnClick(QObject* Sender);
  void HistoryChanged() override;
  // While the before/after key is held the editing view shows FSourceDib instead of FResultDib.
  bool FShowingSource = false;
  void SetShowingSource(bool On);
  // The user's guide in the desktop's viewer (F1); its file, empty when none is found.
  void OpenGuide();
  QString GuideFile() const;

  // --- zoom and pan (app/MainZoom.cpp) --------------------------------------------------------
  bool FResultFit = false; // the result page shows the whole picture fitted into its view
  double ViewScale() const; // FZoomNum / FZoomDen
  // Steps the zoom field along its ladder; the picture point at Anchor (ScrollBox1's viewport)
  // stays in place.
  void ZoomBy(int Steps, QPoint Anchor);
  void ZoomToFit();
  QSize ResultViewSize() const;
  void SetResultFit(bool Fit);

  // --- protection brushes, pen pressure, brush range (app/MainProtection.cpp) ----------------
  QToolButton* SchuetzenBtn = nullptr;    // in the bottom row: paint protection
  QToolButton* FreigebenBtn = nullptr;    // release it
  QToolButton* SchutzZeigenBtn = nullptr; // show or hide it on the editing view
  void SetProtectionBrush(TBrush Brush);
  // The radius field's range for the picture being edited.
  void UpdateRadiusRange();

  // --- hooks of the editing engine ------------------------------------------------------------
  warp::TToolBarState ReadToolBar() override;
  void RepaintView() override;
  void RepaintViewRect(const warp::TRect& Rect) override;
  void InvertOutline(const warp::TRect& Rect) override;
  void SetMouseCapture(bool On) override;
  void SetTimerEnabled(bool On) override;
  void ResizeView(int32_t Width, int32_t Height) override;
  platform::HWND MessageOwner() override { return this; }

  // --- progress indicator ----------------------------------------------------------------------
  void SetProStatus(int32_t Value) override;
  void StatusBar1DrawPanel(comp::TStatusBar* StatusBar, int Panel, QPainter& Canvas, const QRect& Rect);
  void SBarPaintMore();
  platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM wParam,
                               platform::LPARAM lParam) override;
  void WMUser(platform::WPARAM wParam, platform::LPARAM lParam);

  // --- result page -----------------------------------------------------------------------------
  void ErgPaintBoxPaint(QObject* Sender);
  void ErgPaintBoxMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int32_t X, int32_t Y);
  void ErgPaintBoxMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int32_t X, int32_t Y);
  void ErgPaintBoxMouseUp(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int32_t X, int32_t Y);

protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void buildWindow();
  void buildBottomBar(QWidget* client);
  void buildPageOperieren(QWidget* page);
  void buildPageErgebnis(QWidget* page);
  void buildHistoryRow();
  void buildKeys();
  void buildClipboard(); // the two keys and the result view's context menu
  bool keyEvent(QObject* watched, QEvent* e);
  bool spinKey(QObject* watched, QKeyEvent* k);
  void orderTabs();
  void stepRadius(int steps);
  std::vector<QObject*> editingKeys_; // shortcuts that work only on the editing page
  quint32 sourceKeyCode_ = 0;         // scan code of the held before/after key
  void wheel(QWheelEvent* e);
  void buildZoomKeys();
  bool zoomWheel(QWheelEvent* e);
  bool viewEvent(QObject* watched, QEvent* e);
  std::optional<QPoint> zoomAnchor_; // while the zoom steps: the point that stays
  int zoomRest_ = 0, panRest_ = 0;   // wheel movement short of a whole notch
  void drawOutlineOverlay(QPainter& p);
  void buildProtection();
  void drawProtectionOverlay(QPainter& p);
  int32_t progressSplit(const warp::TRect& r) const;
  // Collects the editing view's repaints of one pointer move or timer tick into one update.
  class TOneViewUpdate {
  public:
    explicit TOneViewUpdate(TMainForm& form);
    ~TOneViewUpdate();
  private:
    TMainForm& form_;
    bool outer_;
    QRegion pending_;
  };
  void repaintViewPart(const QRect& part);
  void viewPointerLeft();
  void viewPointerEntered(QPoint at);
  QRegion* viewUpdate_ = nullptr; // while a move or tick runs: what it repaints
  int wheelRest_ = 0;       // wheel movement short of a whole notch
  TWindowPlacement* placement_ = nullptr;
};

// The main window while it exists.
extern TMainForm* MainForm;
