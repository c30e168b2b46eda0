// SPDX-License-Identifier: GPL-3.0-or-later
// The views as the window draws them: a child widget is painted into the window's backing store
// at its offset, which a grab of the widget alone never shows.
#include "window_fixture.h"

#include <QImage>

TEST_F(WindowTest, ViewsAwayFromTheWindowCornerShowTheirWholePicture) {
  make();
  replacePicture(120, 80);
  std::memset(form->FSourceDib.Bits, 0x40, form->FSourceDib.Info->bmiHeader.biSizeImage);
  form->renderdi();
  for (const int page : {1, 2}) {
    showPage(page);
    QWidget* view = page == 1 ? static_cast<QWidget*>(form->PaintBox1) : form->ErgPaintBox;
    const QImage shot = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal ratio = shot.devicePixelRatio();
    const QPoint lastPixel = view->mapTo(form.get(), QPoint(119, 79)) * ratio;
    EXPECT_EQ(shot.pixel(lastPixel), qRgb(0x40, 0x40, 0x40)) << "page " << page;
  }
}
