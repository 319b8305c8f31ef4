#pragma once
#include <QString>

#include "Settings.h"
#include "StdDialog.h"

class QLabel;
class QLineEdit;
class TPeCheckBox;

// The image's title, author and copyright beside the user's own, which
// "Sign" puts into the image, and the formats whose files carry them.
class TSignForm : public TStdDialogForm {
  Q_OBJECT
public:
  // Title, Author, Rights: the image's texts.
  TSignForm(TSettings& ASettings, const QString& ATitle, const QString& AAuthor, const QString& ARights,
            QWidget* Parent = nullptr);

  void SignBtnClick();

  // The image's texts as OK leaves them.
  QString Title, Author, Rights;

  QLineEdit* ImageTitle = nullptr;
  QLineEdit* ImageAuthor = nullptr;
  QLineEdit* ImageCopyright = nullptr;
  TPeGroupBox* Group2 = nullptr;
  QLineEdit* MyTitle = nullptr;
  QLineEdit* MyAuthor = nullptr;
  QLineEdit* MyCopyright = nullptr;
  TPeGroupBox* Group3 = nullptr;
  TPeCheckBox* PngSignBox = nullptr;
  TPeCheckBox* TifSignBox = nullptr;
  TPeCheckBox* PnmSignBox = nullptr;
  TPeButton* PeButton1 = nullptr;
  TPeGroupBox* Group4 = nullptr;

protected:
  void done(int Result) override;
  void resizeEvent(QResizeEvent* E) override;
  // Enter is OK.
  void keyPressEvent(QKeyEvent* E) override;

private:
  void FormCreate(const QString& ATitle, const QString& AAuthor, const QString& ARights);
  void FormClose();
  void CreateNote();

  TSettings& S;
};

// The most characters of each text the dialog takes.
inline constexpr int SignTextLength = 240;
