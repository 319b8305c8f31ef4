#pragma once
#include <QImage>

#include "Tune.h"

class QFrame;
class TDsPaintBox;
class TPeGroupBox;
class TSlider;

// Turns the hue and scales the saturation and the lightness (the largest
// channel) of every color. The sliders' faces show what they change; the
// box beside the hue slider shows where each hue goes.
class TTuneHlsForm : public TTuneForm {
  Q_OBJECT
public:
  explicit TTuneHlsForm(const TDib& Source, QWidget* Parent = nullptr);

  void ApplyTo(TDib& Image) const override;
  THlsShift Shift() const;
  bool IsChanged() const { return Shift().Changed(); }

  void ResetBtnClick();
  // The preview and the buttons after a slider moved.
  void ChangeHLS();

  TPeGroupBox* PeGroupBox1 = nullptr;
  TPeGroupBox* PeGroupBox2 = nullptr;
  TPeGroupBox* PeGroupBox3 = nullptr;
  TSlider* HTrack = nullptr;
  TSlider* LTrack = nullptr;
  TSlider* STrack = nullptr;
  QFrame* Panel1 = nullptr;
  TDsPaintBox* HBox = nullptr;

  // Each as large as its slider less 15 x 22: the rows the thumb travels.
  QImage HueStrip, SatStrip, LightStrip;

private:
  TSlider* CreateTrack(TPeGroupBox* Box, const char* Name, int Min, int Max, int Default);
  void CreateStrips();
  void HTrackPaint(QPainter* Canvas, const QRect& R);
  void LTrackPaint(QPainter* Canvas, const QRect& R);
  void STrackPaint(QPainter* Canvas, const QRect& R);
  void HBoxPaint(QPainter& Canvas);
  void PaintFace(const QImage& Strip, QPainter& Canvas, const QRect& R) const;

  bool Resetting = false;
};
