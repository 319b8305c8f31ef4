#pragma once
#include <QFileInfo>
#include <QString>
#include <array>
#include <functional>

#include "Quenna.h"
#include "Settings.h"

#include <vector>

class QLineEdit;
class QStackedWidget;
class TPeButton;
class TPeCheckBox;
class TPeColorButton;
class TPeGroupBox;
class TPeRadioBox;
class TPeSpinEdit;

// The load switches' captions, which the help texts name.
inline constexpr const char* OrientCaption = "turn images by their stored orientation";
inline constexpr const char* ProfileCaption = "apply embedded color profiles";

// Takes the place of the program file dialog when set: answers the chosen
// program, or nothing for Cancel.
extern std::function<QString(QWidget* Parent, const QString& Start)> ChooseProgramHook;

// What the program dialog lists and takes: folders to go into, and files
// the user may run.
bool IsProgramFile(const QFileInfo& Info);
bool ListedInProgramDialog(const QFileInfo& Info);

// Pages under tabs in as many rows as their captions need, each row filled
// to the full width; the row of the shown page lies next to it.
class TPageControl : public QWidget {
  Q_OBJECT
public:
  explicit TPageControl(QWidget* Parent = nullptr);

  QWidget* AddPage(const QString& Caption);
  int Count() const { return int(Captions.size()); }
  QString TabText(int Index) const { return Captions.at(size_t(Index)); }
  int CurrentIndex() const { return Current; }
  void SetCurrentIndex(int Index);
  QWidget* Page(int Index) const;
  // Where the tab of a page lies; the rows follow the shown page.
  QRect TabRect(int Index) const { return Rects.at(size_t(Index)); }
  int RowCount() const { return Rows; }

protected:
  void paintEvent(QPaintEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  void resizeEvent(QResizeEvent* E) override;

private:
  void LayOut();

  std::vector<QString> Captions;
  std::vector<QRect> Rects;
  QStackedWidget* Stack;
  int Current = 0;
  int Rows = 0;
};

// The "Configuration" dialog: the general options of the settings record
// on seven pages. It reads them when it is created and writes them back on
// OK only; applying them is the main window's.
class TCfgForm : public TQuennaForm {
  Q_OBJECT
public:
  // ChooseColor: the main window's color dialog, started at the color it is
  // given; false for Cancel.
  TCfgForm(TSettings& ASettings, std::function<bool(TColor& Color)> AChooseColor, QWidget* Parent = nullptr);

  void TiledRadioClick();
  void PcdIdxClick(TPeRadioBox* Sender);
  void SpinKey(TPeSpinEdit* Sender, int& Key);
  void EditClick(QLineEdit* Sender);
  void RunProgBrowseClick(int Index);
  void BackColBtnClick();
  void TiledSpinDblClick();
  void DefaultDpiSpinDblClick();
  void PrinterDpiSpinDblClick();

  TPageControl* PageControl = nullptr;
  TPeButton* OkBtn = nullptr;
  TPeButton* CancelBtn = nullptr;

  TPeCheckBox* A_Check = nullptr;
  TPeColorButton* BackColBtn = nullptr;
  TPeCheckBox* ZA_Check = nullptr;
  TPeCheckBox* Ds_Check = nullptr;
  TPeCheckBox* SW_Check = nullptr;
  TPeCheckBox* OrientBox = nullptr;
  TPeCheckBox* ProfileBox = nullptr;

  TPeRadioBox* TileNeverRadio = nullptr;
  TPeRadioBox* TileAlwaysRadio = nullptr;
  TPeRadioBox* TileAutoRadio = nullptr;
  TPeSpinEdit* TiledSpin = nullptr;
  TPeRadioBox* ResLinearRadio = nullptr;
  TPeRadioBox* ResFilt1Radio = nullptr;
  TPeRadioBox* ResFilt2Radio = nullptr;

  TPeCheckBox* AutoOpenBox = nullptr;
  TPeCheckBox* TwainBox = nullptr;

  TPeCheckBox* MFMB_Check = nullptr;
  TPeCheckBox* SFMB_Check = nullptr;
  TPeSpinEdit* DefaultDpiSpin = nullptr;
  TPeSpinEdit* PrinterDpiSpin = nullptr;
  TPeCheckBox* CG_Check = nullptr;

  std::array<TPeRadioBox*, 5> PcdIdx{};

  TPeCheckBox* LuvCtrlBox = nullptr;
  TPeCheckBox* LuvStonitsBox = nullptr;

  std::array<QLineEdit*, 3> RunProgEdit{};
  std::array<TPeButton*, 3> DirBtn{};

  // The Photo CD resolution chosen on its page.
  int PcdIndex = 2;

protected:
  void done(int Result) override;
  bool eventFilter(QObject* Watched, QEvent* E) override;

private:
  QWidget* AddPage(const QString& Caption);
  void CreateImagePage();
  void CreateDisplayPage();
  void CreateStartupPage();
  void CreateMiscPage();
  void CreatePhotoCdPage();
  void CreateLogLuvPage();
  void CreateLaunchPage();
  void ConnectHandlers();
  void FormCreate();
  void FormClose();

  TSettings& S;
  std::function<bool(TColor&)> ChooseColor;
};
