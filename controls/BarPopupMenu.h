#pragma once

#include <QColor>
#include <QFont>
#include <QMenu>
#include <QMenuBar>

enum class TVertTextAlignment { Bottom, Center, Top };

// A popup menu with a vertical side bar down its left. It and every submenu
// below it (built with the usual QMenu calls) draw their items in the
// program's style; keyboard, mouse, submenus, enabling, check marks and
// shortcut texts are QMenu's own.
class TBarPopupMenu : public QMenu {
  Q_OBJECT
public:
  explicit TBarPopupMenu(QWidget* parent = nullptr);

  int BarWidth() const { return FBarWidth; }
  void SetBarWidth(int Value);
  bool BarVisible() const { return FBarVisible; }
  void SetBarVisible(bool Value);
  QColor GradientStart() const { return FGradientStart; }
  void SetGradientStart(const QColor& Value);
  QColor GradientEnd() const { return FGradientEnd; }
  void SetGradientEnd(const QColor& Value);
  QFont VerticalFont() const { return FVerticalFont; }
  void SetVerticalFont(const QFont& Value);
  QColor VerticalFontColor() const { return FVerticalFontColor; }
  void SetVerticalFontColor(const QColor& Value);
  QString VerticalText() const { return FVerticalText; }
  void SetVerticalText(const QString& Value);
  TVertTextAlignment VertTextAlignment() const { return FVertTextAlignment; }
  void SetVertTextAlignment(TVertTextAlignment Value);
  int VerticalTextOffsetY() const { return FVerticalTextOffsetY; }
  void SetVerticalTextOffsetY(int Value);
  bool ShowIcons() const { return FShowIcons; }
  void SetShowIcons(bool Value);
  bool ShowQuenna() const { return FShowQuenna; }
  void SetShowQuenna(bool Value);

  QRect BarRect() const;

  // Gives Menu and all its submenus the item drawing and the menu font.
  static void ApplyStyle(QMenu* Menu, bool ShowIcons);

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  void UpdateMargins();
  void PaintBar(QPainter& Canvas, const QRect& Bar);

  int FBarWidth = 26;
  bool FBarVisible = true;
  QColor FGradientStart{0x00, 0x00, 0x80};
  QColor FGradientEnd{0xFF, 0x00, 0x00};
  QFont FVerticalFont;
  QColor FVerticalFontColor{Qt::white};
  QString FVerticalText;
  TVertTextAlignment FVertTextAlignment = TVertTextAlignment::Bottom;
  int FVerticalTextOffsetY = 5;
  bool FShowIcons = true;
  bool FShowQuenna = true;
};

// A menu bar drawn in the same style; its drop-down menus draw their items
// like TBarPopupMenu's, without the side bar.
class TBarMainMenu : public QMenuBar {
  Q_OBJECT
public:
  explicit TBarMainMenu(QWidget* parent = nullptr);

  bool ShowIcons() const { return FShowIcons; }
  void SetShowIcons(bool Value);

protected:
  void actionEvent(QActionEvent* e) override;

private:
  void StyleMenus();

  bool FShowIcons = true;
};
