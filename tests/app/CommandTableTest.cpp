#include <QAction>
#include <set>
#include <string>

#include "BarPopupMenu.h"
#include "Commands.h"

#include "AppTestUtil.h"

namespace {

class CommandTable : public TMainFixture {
protected:
  // The popup whose tree holds A.
  const QObject* PopupOf(const QAction* A) const {
    for (const QObject* O = A->parent(); O; O = O->parent())
      if (O == Main->MainPopup || O == Main->WorkPopup)
        return O;
    return nullptr;
  }
};

TEST_F(CommandTable, EachNameBuildsOneItemAndTwinsOnlyInTheWorkbench) {
  std::set<std::string> Seen;
  for (const TCommandRow& Row : CommandRows()) {
    if (Row.Kind == ckLine || Row.Kind == ckEnd)
      continue;
    SCOPED_TRACE(Row.Name);
    EXPECT_TRUE(Seen.insert(Row.Name).second) << "a name twice replaces the first item";
    const QAction* A = Main->Item(QString::fromLatin1(Row.Name));
    ASSERT_NE(A, nullptr);
    EXPECT_EQ(PopupOf(A), Main->MainPopup);
    if (!*Row.Twin)
      continue;
    EXPECT_TRUE(Seen.insert(Row.Twin).second);
    const QAction* Twin = Main->Item(QString::fromLatin1(Row.Twin));
    ASSERT_NE(Twin, nullptr) << "a twin outside the workbench is never built";
    EXPECT_EQ(PopupOf(Twin), Main->WorkPopup);
    EXPECT_EQ(Twin->shortcut(), A->shortcut());
    EXPECT_EQ(Twin->property("Tag"), A->property("Tag"));
    EXPECT_EQ(Twin->property("Built"), A->property("Built"));
  }
  // Only the main popup's shortcuts reach the window.
  for (const QAction* A : Main->actions())
    EXPECT_EQ(PopupOf(A), Main->MainPopup) << A->objectName().toStdString();
}

TEST_F(CommandTable, TwinsRunTheCommandAndFollowTheRuleOfTheirRow) {
  WriteBmp(File("a.bmp"), *Pattern24(8, 6));
  Main->LoadImage(QFile("a.bmp"), false);
  ASSERT_TRUE(Main->TriggerItem(QStringLiteral("N901")));
  EXPECT_EQ(Main->Image->Width(), 6);
  EXPECT_EQ(Main->Image->Height(), 8);
  const TColor Before = Main->Image->GetPixelColor(0, 0);
  ASSERT_TRUE(Main->TriggerItem(QStringLiteral("WInvertItem")));
  EXPECT_EQ(Main->Image->GetPixelColor(0, 0), Before ^ 0xFFFFFFu);
  for (const bool Full : {false, true}) {
    Main->ScreenForm->setVisible(Full);
    Main->WorkPopupPopup();
    for (const TCommandRow& Row : CommandRows()) {
      if (*Row.Twin) {
        EXPECT_EQ(Main->RuleEnabled(QString::fromLatin1(Row.Twin)), Main->RuleEnabled(QString::fromLatin1(Row.Name)))
            << Row.Twin << (Full ? " in full screen" : "");
      }
    }
  }
}

} // namespace
