// Page "Motiv laden": its controls, picture loading and the favourite folders.
#include "MainUnit.h"

void TMainForm::BuildPageMotivLaden(QWidget*) {}
void TMainForm::FormCreateFilter() {}
void TMainForm::FormCreateFolders() {}
void TMainForm::JamShellList1DblClick(QObject*) {}
void TMainForm::JamShellList1KeyPress(QObject*, char&) {}
void TMainForm::FilterComboBox1Change(QObject*) {}
void TMainForm::openfilenow(const std::string&) {}
void TMainForm::PictureLoaded(TDib&) {}
void TMainForm::DibPrevPaintPaint(QObject*) {}
void TMainForm::AddToPrefFolders(const std::string&) {}
void TMainForm::PrefListBoxDblClick(QObject*) {}
void TMainForm::PrefListBoxKeyPress(QObject*, char&) {}
