// SPDX-License-Identifier: GPL-3.0-or-later
// The information dialog: picture, product and maker information with the current year, a
// button to the maker's web page and an OK button. Created anew for each showing.
#pragma once

#include "ButtonsXP.h"
#include "Velbrik.h"
#include "platform/win.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;

namespace comp {
class TPanel;
}

// The maker's web page, and what its button shows.
extern const char* const kMakerAddress;
extern const char* const kMakerCaption;

// The caption with the year in place of the first "XXXX"; unchanged when there is none.
std::string InsertYear(const std::string& Caption, int Year);

// Shows a picture of the imaging library stretched over the whole control.
class TDibImage : public QWidget {
public:
  explicit TDibImage(QWidget* Parent = nullptr);
  ~TDibImage() override;
  // Decodes a file image (a resource); false when it is not a picture.
  bool LoadFromMemory(const QByteArray& Data);
  const TDib& Dib() const { return FDib; }

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  TDib FDib{};
};

class TAboutBox : public QDialog, public platform::TMessageTarget {
public:
  explicit TAboutBox(QWidget* Owner);
  ~TAboutBox() override;

  void FormCreate(QObject* Sender);
  void BitBtnXP1Click(QObject* Sender);
  platform::LRESULT WindowProc(platform::UINT, platform::WPARAM, platform::LPARAM) override { return 0; }

  // Tests fix the year here; empty means the local date's year.
  static std::function<int()>& CurrentYear();

  comp::TPanel* Panel1 = nullptr; // bevelled, in the header colour
  TDibImage* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Copyright = nullptr; // holds "XXXX" until FormCreate
  QLabel* Version = nullptr;
  QLabel* Comments = nullptr;
  QLabel* Maker = nullptr;
  QLabel* WebLabel = nullptr;
  TBitBtnXP* BitBtnXP1 = nullptr;
  TBitBtnXP* BitBtn1 = nullptr;
};

extern TAboutBox* AboutBox;
