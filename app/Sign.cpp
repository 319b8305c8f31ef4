#include "Sign.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "DsVCL.h"

namespace {
constexpr int FormWidth = 449, FormHeight = 421;
constexpr int GroupLeft = 8, GroupWidth = 433;
constexpr int LabelLeft = 10, EditLeft = 84, EditWidth = 339, RowHeight = 21;
const QString NoText = QStringLiteral("NONE");

QString ShownText(const QString& Text) { return Text.isEmpty() ? NoText : Text; }

// The image text a field stands for: "NONE" in any letter case is none.
QString TextOfField(const QLineEdit* Edit) {
  const QString T = Edit->text().trimmed();
  return T.compare(NoText, Qt::CaseInsensitive) == 0 ? QString() : T;
}

TPeGroupBox* AddGroup(QWidget* Parent, const char* Name, const QString& Caption, int Top, int Height) {
  auto* Group = new TPeGroupBox(Caption, Parent);
  Group->setObjectName(QLatin1String(Name));
  Group->setGeometry(GroupLeft, Top, GroupWidth, Height);
  return Group;
}

// The three rows of labels and edits of a text group.
void AddTextRows(TPeGroupBox* Group, const char* const (&Names)[3], QLineEdit* (&Edits)[3], bool ReadOnly) {
  static const char* const Labels[3] = {"Title:", "Author:", "Copyright:"};
  for (int I = 0; I < 3; ++I) {
    auto* Edit = new QLineEdit(Group);
    Edit->setObjectName(QLatin1String(Names[I]));
    Edit->setGeometry(EditLeft, 20 + I * 24, EditWidth, RowHeight);
    if (ReadOnly) {
      // The image's own texts may be longer than what the user can type;
      // they are shown whole so that OK gives them back unchanged.
      Edit->setReadOnly(true);
      Edit->setFocusPolicy(Qt::ClickFocus);
      QPalette P = Edit->palette();
      P.setColor(QPalette::Base, BtnFaceColor());
      Edit->setPalette(P);
    } else {
      Edit->setMaxLength(SignTextLength);
    }
    auto* Label = new QLabel(QLatin1String(Labels[I]), Group);
    Label->setGeometry(LabelLeft, 20 + I * 24, EditLeft - LabelLeft - 4, RowHeight);
    Label->setBuddy(Edit);
    Edits[I] = Edit;
  }
}

TPeCheckBox* AddSwitch(QWidget* Parent, const char* Name, const QString& Caption, int Left, int Width) {
  auto* Box = new TPeCheckBox(Caption, Parent);
  Box->setObjectName(QLatin1String(Name));
  Box->setGeometry(Left, 24, Width, 17);
  return Box;
}
} // namespace

TSignForm::TSignForm(TSettings& ASettings, const QString& ATitle, const QString& AAuthor, const QString& ARights,
                     QWidget* Parent)
    : TStdDialogForm(Parent), Title(ATitle), Author(AAuthor), Rights(ARights), S(ASettings) {
  setWindowTitle(QStringLiteral("Signature"));
  SetClientSize(FormWidth, FormHeight);
  GroupBox1->SetCaption(QStringLiteral("Image"));
  GroupBox1->setGeometry(GroupLeft, 8, GroupWidth, 92);
  QLineEdit* Image[3];
  AddTextRows(GroupBox1, {"ImageTitle", "ImageAuthor", "ImageCopyright"}, Image, true);
  ImageTitle = Image[0];
  ImageAuthor = Image[1];
  ImageCopyright = Image[2];
  Group2 = AddGroup(this, "Group2", QStringLiteral("Yours"), 106, 92);
  QLineEdit* Mine[3];
  AddTextRows(Group2, {"MyTitle", "MyAuthor", "MyCopyright"}, Mine, false);
  MyTitle = Mine[0];
  MyAuthor = Mine[1];
  MyCopyright = Mine[2];
  Group3 = AddGroup(this, "Group3", QStringLiteral("Apply to"), 204, 52);
  PngSignBox = AddSwitch(Group3, "PngSignBox", QStringLiteral("&PNG files"), 10, 90);
  TifSignBox = AddSwitch(Group3, "TifSignBox", QStringLiteral("&TIFF files"), 104, 90);
  PnmSignBox = AddSwitch(Group3, "PnmSignBox", QStringLiteral("PB&M/PGM/PPM files"), 198, 140);
  PeButton1 = new TPeButton(QStringLiteral("&Sign"), Group3);
  PeButton1->setObjectName(QStringLiteral("PeButton1"));
  PeButton1->setGeometry(GroupWidth - 83, 20, 73, 25);
  CreateNote();
  connect(PeButton1, &QAbstractButton::clicked, this, &TSignForm::SignBtnClick);
  FormCreate(ATitle, AAuthor, ARights);
  setTabOrder(MyTitle, MyAuthor);
  setTabOrder(MyAuthor, MyCopyright);
  MyTitle->setFocus();
}

void TSignForm::CreateNote() {
  Group4 = AddGroup(this, "Group4", QString(), 262, 118);
  auto* Note = new QLabel(QStringLiteral("Note:"), Group4);
  QFont Bold = Note->font();
  Bold.setBold(true);
  Note->setFont(Bold);
  Note->setGeometry(LabelLeft, 8, 40, 17);
  const QString Texts[2] = {
      QStringLiteral("This feature should give you, as the artist, creator or author of the picture, the "
                     "possibility to add a signature to your image file. "),
      QStringLiteral("But please do respect other peoples work and do not overwrite an existing authorship and "
                     "copyright information. If you have simply resized or converted the image format, you may not "
                     "claim to be an artist.")};
  const QRect Places[2] = {{52, 9, GroupWidth - 62, 34}, {52, 45, GroupWidth - 62, 66}};
  for (int I = 0; I < 2; ++I) {
    auto* Text = new QLabel(Texts[I], Group4);
    Text->setWordWrap(true);
    Text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Text->setGeometry(Places[I]);
  }
}

void TSignForm::FormCreate(const QString& ATitle, const QString& AAuthor, const QString& ARights) {
  MyAuthor->setText(QString::fromStdString(S.SignAuthor.Text()));
  MyCopyright->setText(QString::fromStdString(S.SignCopyright.Text()));
  ImageTitle->setText(ShownText(ATitle));
  ImageAuthor->setText(ShownText(AAuthor));
  ImageCopyright->setText(ShownText(ARights));
  PngSignBox->SetChecked(S.SignPng);
  TifSignBox->SetChecked(S.SignTif);
  PnmSignBox->SetChecked(S.SignPnm);
}

void TSignForm::SignBtnClick() {
  ImageTitle->setText(ShownText(MyTitle->text().trimmed()));
  ImageAuthor->setText(ShownText(MyAuthor->text().trimmed()));
  ImageCopyright->setText(ShownText(MyCopyright->text().trimmed()));
}

void TSignForm::done(int Result) {
  if (Result == Accepted)
    FormClose();
  TStdDialogForm::done(Result);
}

void TSignForm::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter)
    OkBtn->click();
  else
    TStdDialogForm::keyPressEvent(E);
}

void TSignForm::resizeEvent(QResizeEvent* E) {
  TStdDialogForm::resizeEvent(E);
  GroupBox1->setGeometry(GroupLeft, 8, GroupWidth, 92);
}

// The settings record holds Windows-1252 only: characters outside it are
// lost there but stay in the image's texts.
void TSignForm::FormClose() {
  S.SignAuthor.SetText(MyAuthor->text().left(SignTextLength).toStdString());
  S.SignCopyright.SetText(MyCopyright->text().left(SignTextLength).toStdString());
  S.SignPng = PngSignBox->Checked();
  S.SignTif = TifSignBox->Checked();
  S.SignPnm = PnmSignBox->Checked();
  Title = TextOfField(ImageTitle);
  Author = TextOfField(ImageAuthor);
  Rights = TextOfField(ImageCopyright);
}
