#pragma once
#include <QRect>
#include <cstdint>
#include <memory>

#include "Settings.h"
#include "StdDialog.h"

class QLabel;
class QSlider;
class TDib;
class TPeCheckBox;
class TPeRadioBox;

// Base of the save option dialogs: the controls come from the settings when
// the dialog is made and go back to them only when it is closed with OK.
class TSaveOptionsForm : public TStdDialogForm {
  Q_OBJECT
protected:
  TSaveOptionsForm(TSettings& ASettings, const QString& Caption, const QString& Group, QWidget* Parent);

  void done(int Result) override;
  void resizeEvent(QResizeEvent* E) override;
  // Enter is OK.
  void keyPressEvent(QKeyEvent* E) override;
  // Writes the controls back to the settings.
  virtual void FormClose() = 0;
  // Keeps GroupBox1 at Place instead of filling the form, for dialogs with
  // several groups.
  void PlaceGroup1(const QRect& Place);

  static TPeRadioBox* AddRadio(QWidget* Parent, const char* Name, const QString& Caption, const QRect& Place);
  static TPeCheckBox* AddCheck(QWidget* Parent, const char* Name, const QString& Caption, const QRect& Place);
  static QLabel* AddLabel(QWidget* Parent, const QString& Caption, const QRect& Place);

  TSettings& S;

private:
  QRect Group1Place;
};

class TSaveBmpForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSaveBmpForm(TSettings& ASettings, QWidget* Parent = nullptr);
  TPeRadioBox* WinRadio = nullptr;
  TPeRadioBox* Os2Radio = nullptr;

protected:
  void FormClose() override;
};

class TSaveGifForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSaveGifForm(TSettings& ASettings, QWidget* Parent = nullptr);
  TPeRadioBox* NoCmpRadio = nullptr;
  TPeRadioBox* LzwCmpRadio = nullptr;
  TPeCheckBox* IBox = nullptr;

protected:
  void FormClose() override;
};

// The caption names the kind of map; the command sets it for the image.
class TSavePnmForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSavePnmForm(TSettings& ASettings, QWidget* Parent = nullptr);
  TPeRadioBox* RadioBtn1 = nullptr; // Ascii
  TPeRadioBox* RadioBtn2 = nullptr; // Binary

protected:
  void FormClose() override;
};

class TSaveTgaForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSaveTgaForm(TSettings& ASettings, QWidget* Parent = nullptr);
  TPeRadioBox* Radio1 = nullptr; // none
  TPeRadioBox* Radio2 = nullptr; // run length coding

protected:
  void FormClose() override;
};

class TSaveJpgForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSaveJpgForm(TSettings& ASettings, QWidget* Parent = nullptr);
  void TrackBar1Change();
  QLabel* Label2 = nullptr;
  QSlider* TrackBar1 = nullptr;
  TPeCheckBox* CheckBox1 = nullptr;

protected:
  void FormClose() override;
};

class TSavePngForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSavePngForm(TSettings& ASettings, QWidget* Parent = nullptr);
  // 0 for 1-bit images, 1 for gray and true-color ones, 2 for other indexed
  // ones (PngSaveMode); called before the dialog shows.
  void SetMode(int32_t AMode);
  // 1 when the row filters are used: mode 1 above compression level 0;
  // otherwise 0 in mode 1 and the mode itself in modes 0 and 2.
  int32_t FiltersInUse() const;
  void TrackChange();

  QLabel* Label2 = nullptr;
  QSlider* Track = nullptr;
  TPeGroupBox* PeGroupBox2 = nullptr;
  TPeCheckBox* SubBox = nullptr;
  TPeCheckBox* UpBox = nullptr;
  TPeCheckBox* AverageBox = nullptr;
  TPeCheckBox* PaethBox = nullptr;
  TPeGroupBox* PeGroupBox3 = nullptr;
  TPeCheckBox* IntBox = nullptr;

protected:
  void FormClose() override;

private:
  void EnableFilters(bool Enabled);
  int32_t Mode = 1;
};

class TSaveTifForm : public TSaveOptionsForm {
  Q_OBJECT
public:
  explicit TSaveTifForm(TSettings& ASettings, QWidget* Parent = nullptr);
  // Whether the image allows prediction; called before the dialog shows.
  void SetPrediction(bool Allowed);
  void RbLzwCmpClick();
  void RbNoCmpClick();

  TPeRadioBox* RBPc = nullptr;
  TPeRadioBox* RBMac = nullptr;
  TPeGroupBox* PeGroupBox1 = nullptr;
  TPeRadioBox* Rb8k = nullptr;
  TPeRadioBox* Rb16k = nullptr;
  TPeRadioBox* Rb32k = nullptr;
  TPeGroupBox* PeGroupBox2 = nullptr;
  TPeRadioBox* RbNoCmp = nullptr;
  TPeRadioBox* RbLzwCmp = nullptr;
  TPeRadioBox* RbZZCmp = nullptr;
  TPeCheckBox* PredictBox = nullptr;

protected:
  void FormClose() override;

private:
  bool PredictionAllowed = true;
};

// The options dialog of the save filter, told about Image, or none for
// formats without options.
std::unique_ptr<TSaveOptionsForm> SaveOptionsFormFor(int32_t FilterIndex, const TDib& Image, TSettings& S,
                                                     QWidget* Owner);
