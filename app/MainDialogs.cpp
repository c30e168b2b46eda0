// The information dialog, saving and printing of the result.
#include "MainUnit.h"

void TMainForm::ueberbtnClick(QObject*) {}
void TMainForm::BitBtn1Click(QObject*) {}
void TMainForm::BitBtn2Click(QObject*) {}
