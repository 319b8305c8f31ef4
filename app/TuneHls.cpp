#include "TuneHls.h"

#include <QFrame>
#include <QPainter>
#include <cmath>

#include "DsPaintBox.h"
#include "DsSlider.h"
#include "DsVCL.h"

namespace {

constexpr int GroupTop = 8, GroupHeight = PreviewSide + 2, GroupGap = 6, FirstGroupLeft = PreviewSide + 18;
constexpr int CaptionHeight = 19, TrackMargin = 8;
// The strips are the slider less 15 x 22, and the hue box shows the hue
// strip at its own size: 20 x 232 inside a frame of 2.
constexpr int TrackWidth = 35, TrackHeight = 254, StripWidthLess = 15, StripHeightLess = 22;
constexpr int BoxFrame = 2, BoxWidth = 24, BoxHeight = 236, BoxGap = 5;
constexpr int TrackTop = CaptionHeight + (GroupHeight - CaptionHeight - TrackMargin - TrackHeight) / 2;
constexpr int HueGroupWidth = 2 * TrackMargin + TrackWidth + BoxGap + BoxWidth;
// Wide enough for the captions; the slider sits in the middle.
constexpr int GroupWidth = HueGroupWidth;
constexpr int FormWidth = FirstGroupLeft + HueGroupWidth + 2 * (GroupGap + GroupWidth) + 8;
constexpr int FormHeight = GroupTop + GroupHeight + 8 + 25 + 8;

// Rows from Top at the upper edge to Bottom at the lower one, in even steps.
void FillRows(QImage& Image, const QRect& R, QRgb Top, QRgb Bottom) {
  const int N = R.height();
  for (int I = 0; I < N; ++I) {
    const auto Step = [&](int A, int B) { return N == 1 ? A : A + I * (B - A) / (N - 1); };
    const QColor C(Step(qRed(Top), qRed(Bottom)), Step(qGreen(Top), qGreen(Bottom)), Step(qBlue(Top), qBlue(Bottom)));
    for (int X = R.left(); X <= R.right(); ++X)
      Image.setPixelColor(X, R.top() + I, C);
  }
}

QImage StripFor(const TSlider& Track) {
  QImage Strip(std::max(1, Track.width() - StripWidthLess), std::max(1, Track.height() - StripHeightLess),
               QImage::Format_RGB888);
  Strip.fill(Qt::black);
  return Strip;
}

// Three columns, the last taking what the division leaves.
void FillColumns(QImage& Strip, const QRgb (&Tops)[3], const QRgb (&Bottoms)[3]) {
  const int W = Strip.width() / 3;
  for (int I = 0; I < 3; ++I) {
    const int Left = I * W, Right = I == 2 ? Strip.width() : Left + W;
    FillRows(Strip, QRect(Left, 0, Right - Left, Strip.height()), Tops[I], Bottoms[I]);
  }
}

} // namespace

TTuneHlsForm::TTuneHlsForm(const TDib& Source, QWidget* Parent) : TTuneForm(Source, Parent) {
  const char* const Captions[3] = {"Hue", "Lightness", "Saturation"};
  TPeGroupBox** Boxes[3] = {&PeGroupBox1, &PeGroupBox2, &PeGroupBox3};
  int Left = FirstGroupLeft;
  for (int I = 0; I < 3; ++I) {
    auto* Box = new TPeGroupBox(QLatin1String(Captions[I]), this);
    Box->setObjectName(QStringLiteral("PeGroupBox%1").arg(I + 1));
    const int Width = I == 0 ? HueGroupWidth : GroupWidth;
    Box->setGeometry(Left, GroupTop, Width, GroupHeight);
    Left += Width + GroupGap;
    *Boxes[I] = Box;
  }
  HTrack = CreateTrack(PeGroupBox1, "HTrack", -180, 180, 0);
  HTrack->move(TrackMargin, TrackTop);
  HTrack->SetExtension(QStringLiteral("°"));
  LTrack = CreateTrack(PeGroupBox2, "LTrack", 0, 200, 100);
  STrack = CreateTrack(PeGroupBox3, "STrack", 0, 200, 100);

  Panel1 = new QFrame(PeGroupBox1);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(BoxFrame);
  Panel1->setGeometry(TrackMargin + TrackWidth + BoxGap, TrackTop + HTrack->SlideSize() - BoxFrame, BoxWidth,
                      BoxHeight);
  HBox = new TDsPaintBox(Panel1);
  HBox->setObjectName(QStringLiteral("HBox"));
  HBox->setGeometry(BoxFrame, BoxFrame, BoxWidth - 2 * BoxFrame, BoxHeight - 2 * BoxFrame);
  HBox->OnPaint = [this](QPainter& P, const QRect&) { HBoxPaint(P); };

  CreateStrips();
  connect(HTrack, &TSlider::OnPaint, this, [this](TSlider*, QPainter* P, const QRect& R) { HTrackPaint(P, R); });
  connect(LTrack, &TSlider::OnPaint, this, [this](TSlider*, QPainter* P, const QRect& R) { LTrackPaint(P, R); });
  connect(STrack, &TSlider::OnPaint, this, [this](TSlider*, QPainter* P, const QRect& R) { STrackPaint(P, R); });
  for (TSlider* S : {HTrack, LTrack, STrack})
    connect(S, &TSlider::OnSwitch, this, &TTuneHlsForm::ChangeHLS);
  connect(ResetBtn, &QAbstractButton::clicked, this, &TTuneHlsForm::ResetBtnClick);
  SetClientSize(FormWidth, FormHeight);
  ResetBtnClick();
  // The keys turn the hue from the start.
  HTrack->setFocus();
}

TSlider* TTuneHlsForm::CreateTrack(TPeGroupBox* Box, const char* Name, int Min, int Max, int Default) {
  auto* S = new TSlider(Box);
  S->setObjectName(QLatin1String(Name));
  S->setGeometry((Box->width() - TrackWidth) / 2, TrackTop, TrackWidth, TrackHeight);
  S->SetStyle(TSlideStyle::UserDraw);
  S->SetMax(Max);
  S->SetMin(Min);
  S->SetPosDefault(Default);
  S->SetPosition(Default);
  return S;
}

void TTuneHlsForm::CreateStrips() {
  HueStrip = StripFor(*HTrack);
  const int Band = HueStrip.height() / 3;
  const QRgb Ends[4] = {0xC000C0, 0xC0C000, 0x00C0C0, 0xC000C0};
  for (int I = 0; I < 3; ++I) {
    const int Top = I * Band, Bottom = I == 2 ? HueStrip.height() : Top + Band;
    FillRows(HueStrip, QRect(0, Top, HueStrip.width(), Bottom - Top), Ends[I], Ends[I + 1]);
  }
  SatStrip = StripFor(*STrack);
  FillColumns(SatStrip, {0xFF0000, 0x00FF00, 0x0000FF}, {0x7F7F7F, 0x7F7F7F, 0x7F7F7F});
  LightStrip = StripFor(*LTrack);
  FillColumns(LightStrip, {0xFF9090, 0x90FF90, 0x9090FF}, {0x4F0000, 0x004F00, 0x00004F});
}

THlsShift TTuneHlsForm::Shift() const {
  THlsShift S;
  S.Hue = HTrack->Position();
  S.Lightness = LTrack->Position();
  S.Saturation = STrack->Position();
  return S;
}

void TTuneHlsForm::ApplyTo(TDib& Image) const { ApplyHls(Image, Shift()); }

// Each slider sent its own change; the preview is made once at the end.
void TTuneHlsForm::ResetBtnClick() {
  Resetting = true;
  for (TSlider* S : {HTrack, STrack, LTrack})
    S->SetPosition(S->PosDefault());
  Resetting = false;
  ChangeHLS();
}

void TTuneHlsForm::ChangeHLS() {
  if (Resetting)
    return;
  const THlsShift S = Shift();
  MapHlsPreview(*OrigPreview, *WorkPreview, S);
  ResetBtn->setEnabled(S.Changed());
  ApplyBtn->setEnabled(S.Changed());
  if (ShowPreview)
    RepaintPreview();
  HBox->update();
}

// The strip's rows stand beside the rows the thumb's centre travels; the
// slider's ends beyond them repeat the strip's first and last rows.
void TTuneHlsForm::PaintFace(const QImage& Strip, QPainter& Canvas, const QRect& R) const {
  const int Top = R.top() + HTrack->SlideSize(), Below = Top + Strip.height();
  const int W = Strip.width(), H = Strip.height();
  Canvas.drawImage(QRect(R.left(), Top, R.width(), H), Strip);
  if (Top > R.top())
    Canvas.drawImage(QRect(R.left(), R.top(), R.width(), Top - R.top()), Strip, QRect(0, 0, W, 1));
  if (Below <= R.bottom())
    Canvas.drawImage(QRect(R.left(), Below, R.width(), R.bottom() + 1 - Below), Strip, QRect(0, H - 1, W, 1));
}

void TTuneHlsForm::HTrackPaint(QPainter* Canvas, const QRect& R) { PaintFace(HueStrip, *Canvas, R); }

void TTuneHlsForm::LTrackPaint(QPainter* Canvas, const QRect& R) { PaintFace(LightStrip, *Canvas, R); }

void TTuneHlsForm::STrackPaint(QPainter* Canvas, const QRect& R) { PaintFace(SatStrip, *Canvas, R); }

void TTuneHlsForm::HBoxPaint(QPainter& Canvas) {
  const int H = HueStrip.height(), W = HueStrip.width();
  int K = int(std::nearbyint(H * HTrack->Position() / 360.0)) % H;
  if (K < 0)
    K += H;
  const int BoxW = HBox->width();
  Canvas.drawImage(QRect(0, 0, BoxW, H - K), HueStrip, QRect(0, K, W, H - K));
  if (K != 0)
    Canvas.drawImage(QRect(0, H - K, BoxW, K), HueStrip, QRect(0, 0, W, K));
}
