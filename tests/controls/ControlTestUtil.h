#pragma once

#include "DsVCL.h"

#include <QApplication>
#include <QImage>
#include <QSet>
#include <QWidget>

#include <gtest/gtest.h>

inline QColor Rgb(int Hex) { return QColor((Hex >> 16) & 0xFF, (Hex >> 8) & 0xFF, Hex & 0xFF); }

inline QColor Pixel(const QImage& Image, int x, int y) { return QColor(Image.pixel(x, y)); }

inline QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Wide enough stems to give pixels of the pure text color.
inline QFont SolidFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(18);
  f.setBold(true);
  return f;
}

inline bool HasColor(const QImage& Image, const QRect& Area, const QColor& Color) {
  const QRect r = Area.intersected(Image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (Image.pixel(x, y) == Color.rgb())
        return true;
  return false;
}

inline int DistinctColors(const QImage& Image) {
  QSet<QRgb> Seen;
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x)
      Seen.insert(Image.pixel(x, y));
  return int(Seen.size());
}

#define EXPECT_COLOR(actual, expected) EXPECT_EQ((actual).name(), (expected).name())

// Counts the beeps of the controls while it lives.
class TBeepCounter {
public:
  TBeepCounter() {
    SetBeepHandler([this] { ++Count; });
  }
  ~TBeepCounter() { SetBeepHandler(nullptr); }
  int Count = 0;
};

// Keeps the gradient flag as it was found.
class TGradientFlagGuard {
public:
  ~TGradientFlagGuard() { DrawColorGradients = FSaved; }

private:
  bool FSaved = DrawColorGradients;
};

inline void ShowActive(QWidget& w) {
  w.show();
  w.activateWindow();
  QApplication::setActiveWindow(&w);
  QApplication::processEvents();
}
