// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutBoxUnit.h"

#include "Components.h"
#include "WindowPlacement.h"

#include "StretchDraw.h"
#include "qt_device_context.h"
#include "resources.h"

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

TAboutBox* AboutBox = nullptr;

const char* const kMakerAddress = "http://www.morphane.example";
const char* const kMakerCaption = "www.morphane.example";

std::string InsertYear(const std::string& Caption, int Year) {
  const size_t p = Caption.find("XXXX");
  if (p == std::string::npos) return Caption;
  std::string out = Caption;
  out.replace(p, 4, std::to_string(Year));
  return out;
}

TDibImage::TDibImage(QWidget* Parent) : QWidget(Parent) {}

TDibImage::~TDibImage() {
  if (FDib.Memory != nullptr) deldib(FDib);
}

bool TDibImage::LoadFromMemory(const QByteArray& Data) {
  if (FDib.Memory != nullptr) deldib(FDib);
  FDib = TDib{};
  OpenDibMemory(&FDib, Data.constData(), size_t(Data.size()), nullptr);
  if (FDib.Bits == nullptr) {
    if (FDib.Memory != nullptr) deldib(FDib);
    FDib = TDib{};
    return false;
  }
  update();
  return true;
}

void TDibImage::paintEvent(QPaintEvent* Event) {
  if (FDib.Bits == nullptr) return;
  QPainter painter(this);
  platform::qt::TQtDeviceContext dc(painter, Event->rect());
  StretchDrawDib(&dc, 0, 0, width(), height(), FDib, 0, 0, DibWidth(FDib), DibHeight(FDib), true,
                 platform::SRCCOPY, true, nullptr);
}

std::function<int()>& TAboutBox::CurrentYear() {
  static std::function<int()> year;
  return year;
}

namespace {

QLabel* ColumnLabel(QWidget* parent, const QString& text, int top, int height = 17) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(336, top, 300, height);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget* Owner) : QDialog(Owner) {
  InitMorphaneResources();
  setWindowTitle("Info");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(664, 453);
  new TWindowPlacement(this); // centred on the screen, its frame included
  // The dialog font, or a narrow face of similar width where it is missing.
  QFont font;
  font.setFamilies({"MS Sans Serif", "DejaVu Sans Condensed", "Liberation Sans Narrow"});
  font.setPixelSize(11);
  setFont(font);

  Panel1 = comp::TPanel::Bevelled(this);
  Panel1->setGeometry(8, 8, 649, 385);
  Panel1->SetColor(QColor(240, 202, 166));

  ProgramIcon = new TDibImage(Panel1);
  ProgramIcon->setGeometry(16, 40, 306, 322);
  QFile picture(":/art/about.jpg");
  if (picture.open(QIODevice::ReadOnly)) ProgramIcon->LoadFromMemory(picture.readAll());

  ProductName = new QLabel("Morphane 2.0", Panel1);
  QFont title("Arial Narrow");
  title.setPixelSize(24);
  title.setBold(true);
  title.setStretch(QFont::SemiCondensed);
  ProductName->setFont(title);
  ProductName->setGeometry(8, 8, 400, 28);

  Copyright = ColumnLabel(Panel1, "Copyright © 2004-XXXX Morphane Bildwerkstatt", 40);
  Version = ColumnLabel(Panel1, "Version 2.0", 60);
  Comments = ColumnLabel(Panel1,
                         "Morphane verformt Porträtfotos auf spielerische Weise: Laden Sie ein "
                         "Bild und verändern Sie es mit den fünf Werkzeugen Wachsen, Schrumpfen, "
                         "Schmieren, Zerren und Radierer. Das Original bleibt dabei unverändert, "
                         "der Radierer holt es jederzeit zurück.",
                         92, 82);
  Maker = ColumnLabel(Panel1, "Hersteller: Morphane Bildwerkstatt\nAlle Rechte vorbehalten.", 182, 34);
  WebLabel = ColumnLabel(Panel1, "Neuigkeiten und Hilfe finden Sie im Internet:", 220);

  BitBtnXP1 = new TBitBtnXP(Panel1);
  BitBtnXP1->setGeometry(336, 240, 169, 25);
  BitBtnXP1->SetCaption(kMakerCaption);
  BitBtnXP1->SetGlyph(QImage(":/art/www.png"));
  BitBtnXP1->OnClick = [this](QObject* Sender) { BitBtnXP1Click(Sender); };

  ColumnLabel(Panel1,
              "Bitte verwenden Sie nur Fotos von Menschen, die mit dem Spaß einverstanden sind.",
              284, 34);

  BitBtn1 = new TBitBtnXP(this);
  BitBtn1->setGeometry(241, 404, 181, 37);
  BitBtn1->SetKind(bkOK);

  FormCreate(this);
}

TAboutBox::~TAboutBox() {
  if (AboutBox == this) AboutBox = nullptr;
}

void TAboutBox::FormCreate(QObject*) {
  const int year = CurrentYear() ? CurrentYear()() : QDate::currentDate().year();
  Copyright->setText(QString::fromStdString(InsertYear(Copyright->text().toStdString(), year)));
}

void TAboutBox::BitBtnXP1Click(QObject*) {
  platform::ShellExecute(this, "open", kMakerAddress, "", "", platform::SW_SHOW);
}
