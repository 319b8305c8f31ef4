#include "BarPopupMenu.h"
#include "ControlTestUtil.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QIcon SolidIcon(const QColor& Color) {
  QPixmap Pix(16, 16);
  Pix.fill(Color);
  return QIcon(Pix);
}

struct MenuFixture : ::testing::Test {
  MenuFixture() {
    Open = Menu.addAction(SolidIcon(Rgb(0x00FF00)), QStringLiteral("&Open image..."));
    Open->setShortcut(QKeySequence(Qt::Key_F2));
    Again = Menu.addAction(QStringLiteral("Open again"));
    Again->setShortcut(QKeySequence(Qt::Key_F3));
    Again->setEnabled(false);
    Separator = Menu.addSeparator();
    Zoom = Menu.addMenu(QStringLiteral("Zoom"));
    Zoom21 = Zoom->addAction(QStringLiteral("2 : 1"));
    Zoom11 = Zoom->addAction(QStringLiteral("1 : 1"));
    Quit = Menu.addAction(QStringLiteral("Quit"));
    Quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  }
  ~MenuFixture() override {
    Menu.hide();
    DrawColorGradients = SavedFlag;
  }

  void Popup() {
    Menu.popup(QPoint(40, 40));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Menu));
  }

  // The right end of the dark ink in the middle rows of an item.
  int InkRight(const QImage& Image, QAction* Action) {
    const QRect r = Menu.actionGeometry(Action);
    int Right = -1;
    for (int y = r.top() + 3; y < r.bottom() - 2; ++y)
      for (int x = r.left() + 30; x < r.right(); ++x)
        if (qGray(Image.pixel(x, y)) < 100)
          Right = std::max(Right, x);
    return Right;
  }

  bool SavedFlag = DrawColorGradients;
  TBarPopupMenu Menu;
  QAction *Open, *Again, *Separator, *Quit, *Zoom21, *Zoom11;
  QMenu* Zoom;
};

} // namespace

TEST_F(MenuFixture, Defaults) {
  EXPECT_EQ(Menu.BarWidth(), 26);
  EXPECT_TRUE(Menu.BarVisible());
  EXPECT_COLOR(Menu.GradientStart(), Rgb(0x000080));
  EXPECT_COLOR(Menu.GradientEnd(), Rgb(0xFF0000));
  EXPECT_EQ(Menu.VerticalText(), QStringLiteral("Pelorin"));
  EXPECT_EQ(Menu.VerticalTextOffsetY(), 5);
  EXPECT_EQ(Menu.VerticalFont().pointSize(), 14);
  EXPECT_TRUE(Menu.VerticalFont().bold());
  EXPECT_EQ(Menu.font().pixelSize(), 12);
}

TEST_F(MenuFixture, SideBarAndItemGradients) {
  Popup();
  const QImage Image = Grab(Menu);
  const QRect Bar = Menu.BarRect();
  ASSERT_EQ(Bar.width(), 26);
  EXPECT_COLOR(Pixel(Image, Bar.left() + 1, Bar.top()), Rgb(0xFF0000));
  EXPECT_COLOR(Pixel(Image, Bar.left() + 1, Bar.bottom()), Rgb(0x000080));
  EXPECT_TRUE(HasColor(Image, Bar, Rgb(0xFFFFFF))); // the vertical text

  const QRect Item = Menu.actionGeometry(Quit);
  EXPECT_GT(Item.left(), Bar.right());
  const int y = Item.center().y();
  EXPECT_COLOR(Pixel(Image, Item.left(), y), DsColors::Light);
  EXPECT_COLOR(Pixel(Image, Item.right(), y), BtnFaceColor());
  EXPECT_COLOR(Pixel(Image, 0, 0), DsColors::Navy);
}

TEST_F(MenuFixture, SelectedItemHasNavyFrameOverItsGradient) {
  Popup();
  Menu.setActiveAction(Quit);
  const QImage Image = Grab(Menu);
  const QRect r = Menu.actionGeometry(Quit);
  EXPECT_COLOR(Pixel(Image, r.left(), r.center().y()), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, r.right(), r.center().y()), DsColors::Navy);
  EXPECT_COLOR(Pixel(Image, r.center().x(), r.top()), DsColors::Navy);
  const QColor Near = Pixel(Image, r.left() + 1, r.bottom() - 1);
  EXPECT_NEAR(Near.red(), 0xC8, 3);
  EXPECT_NEAR(Near.blue(), 0xD6, 3);
  const QColor Far = Pixel(Image, r.right() - 1, r.bottom() - 1);
  EXPECT_NEAR(Far.red(), 0x60, 3);
  EXPECT_NEAR(Far.blue(), 0xA0, 3);
}

TEST_F(MenuFixture, DisabledTextSeparatorAndShortcuts) {
  Popup();
  const QImage Image = Grab(Menu);
  EXPECT_TRUE(HasColor(Image, Menu.actionGeometry(Again), DsColors::DisabledText));
  EXPECT_FALSE(HasColor(Image, Menu.actionGeometry(Open), DsColors::DisabledText));
  EXPECT_TRUE(HasColor(Image, Menu.actionGeometry(Separator), DsColors::Separator));

  // "F2" and "Ctrl+Q" end at the same right edge, clear of the submenu arrow.
  const int OpenRight = InkRight(Image, Open);
  const int QuitRight = InkRight(Image, Quit);
  EXPECT_NEAR(OpenRight, QuitRight, 1);
  EXPECT_GT(QuitRight, Menu.actionGeometry(Quit).right() - 24);
  EXPECT_LT(QuitRight, Menu.actionGeometry(Quit).right() - 10);
}

TEST_F(MenuFixture, IconsFollowShowIcons) {
  Popup();
  EXPECT_TRUE(HasColor(Grab(Menu), Menu.actionGeometry(Open), Rgb(0x00FF00)));
  Menu.SetShowIcons(false);
  EXPECT_FALSE(HasColor(Grab(Menu), Menu.actionGeometry(Open), Rgb(0x00FF00)));
}

TEST_F(MenuFixture, GradientFlagOffFillsItemsPlainly) {
  DrawColorGradients = false;
  Popup();
  const QImage Image = Grab(Menu);
  const QRect r = Menu.actionGeometry(Quit);
  const QColor Mixed = Mix(DsColors::Light, BtnFaceColor());
  EXPECT_COLOR(Pixel(Image, r.left(), r.center().y()), Mixed);
  EXPECT_COLOR(Pixel(Image, r.right(), r.center().y()), Mixed);
  const QRect Bar = Menu.BarRect();
  EXPECT_COLOR(Pixel(Image, Bar.left() + 1, Bar.bottom()), Mix(Rgb(0x000080), Rgb(0xFF0000)));
}

TEST_F(MenuFixture, LeadingAndTrailingSeparatorsStay) {
  QAction* First = Menu.actions().first();
  QAction* Top = Menu.insertSeparator(First);
  QAction* Bottom = Menu.addSeparator();
  Popup();
  EXPECT_GT(Menu.actionGeometry(Top).height(), 0);
  EXPECT_GT(Menu.actionGeometry(Bottom).height(), 0);
  EXPECT_GT(Menu.actionGeometry(First).top(), Menu.actionGeometry(Top).top());
}

TEST_F(MenuFixture, HiddenBarGivesItsRoomBack) {
  Menu.SetBarVisible(false);
  Popup();
  EXPECT_TRUE(Menu.BarRect().isEmpty());
  EXPECT_LE(Menu.actionGeometry(Open).left(), 2);
}

TEST_F(MenuFixture, KeyboardOpensTheSubmenuAndTriggersItsItem) {
  QSignalSpy Triggered(Zoom11, &QAction::triggered);
  Popup();
  Menu.setActiveAction(Zoom->menuAction());
  QTest::keyClick(&Menu, Qt::Key_Right);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Zoom->isVisible(); }, 2000));
  EXPECT_EQ(Zoom->style(), Menu.style());
  EXPECT_EQ(Zoom->font().pixelSize(), 12);
  EXPECT_EQ(Zoom->activeAction(), Zoom21);
  QTest::keyClick(Zoom, Qt::Key_Down);
  EXPECT_EQ(Zoom->activeAction(), Zoom11);
  QTest::keyClick(Zoom, Qt::Key_Return);
  EXPECT_EQ(Triggered.count(), 1);
  EXPECT_FALSE(Menu.isVisible());
}

TEST_F(MenuFixture, DisabledItemsDoNotTrigger) {
  QSignalSpy Triggered(&Menu, &QMenu::triggered);
  Popup();
  Menu.setActiveAction(Again);
  QTest::keyClick(&Menu, Qt::Key_Return);
  EXPECT_EQ(Triggered.count(), 0);
  Menu.setActiveAction(Quit);
  QTest::keyClick(&Menu, Qt::Key_Return);
  ASSERT_EQ(Triggered.count(), 1);
  EXPECT_EQ(Triggered.at(0).at(0).value<QAction*>(), Quit);
}

TEST_F(MenuFixture, MouseClickTriggersTheItem) {
  QSignalSpy Triggered(Open, &QAction::triggered);
  Popup();
  const QPoint At = Menu.actionGeometry(Open).center();
  QTest::mouseMove(&Menu, At);
  QTest::mouseClick(&Menu, Qt::LeftButton, {}, At);
  EXPECT_EQ(Triggered.count(), 1);
}

TEST(BarMainMenu, DropDownsDrawInTheSameStyle) {
  TBarMainMenu Bar;
  QMenu* File = Bar.addMenu(QStringLiteral("&File"));
  QMenu* Sort = File->addMenu(QStringLiteral("Sort"));
  Sort->addAction(QStringLiteral("&name"));
  Bar.resize(200, 24);
  EXPECT_EQ(File->style(), Bar.style());
  File->popup(QPoint(0, 24));
  EXPECT_EQ(Sort->style(), Bar.style());
  File->hide();
  const QImage Image = Grab(Bar);
  EXPECT_COLOR(Pixel(Image, 0, 12), DsColors::Light);
  EXPECT_COLOR(Pixel(Image, 199, 12), BtnFaceColor());
}
