#include "BarPopupMenu.h"

#include "DsVCL.h"

#include <QActionEvent>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

const int IconColumn = 24;
const int TextGap = 6;
const int ArrowSpace = 16;
const int ShortcutGap = 16;
const char ShowIconsProperty[] = "DsShowIcons";

QFont MenuFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(12);
  return f;
}

class TBarMenuStyle : public QProxyStyle {
public:
  TBarMenuStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  int pixelMetric(PixelMetric Metric, const QStyleOption* Option, const QWidget* Widget) const override {
    switch (Metric) {
    case PM_MenuPanelWidth: return 1;
    case PM_MenuHMargin: return 0;
    case PM_MenuVMargin: return 1;
    case PM_SmallIconSize: return 16;
    case PM_MenuBarPanelWidth:
    case PM_MenuBarHMargin:
    case PM_MenuBarVMargin:
    case PM_MenuBarItemSpacing: return 0;
    default: return QProxyStyle::pixelMetric(Metric, Option, Widget);
    }
  }

  int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                QStyleHintReturn* Return) const override {
    if (Hint == SH_Menu_FlashTriggeredItem)
      return 0;
    return QProxyStyle::styleHint(Hint, Option, Widget, Return);
  }

  QSize sizeFromContents(ContentsType Type, const QStyleOption* Option, const QSize& Size,
                         const QWidget* Widget) const override {
    const auto* Item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option);
    if (Type == CT_MenuItem && Item) {
      if (Item->menuItemType == QStyleOptionMenuItem::Separator)
        return {Size.width() + IconColumn + TextGap, 7};
      int Width = IconColumn + TextGap + Size.width() + ArrowSpace;
      if (Item->menuItemType == QStyleOptionMenuItem::DefaultItem) {
        QFont Bold = Item->font;
        Bold.setBold(true);
        const QString Caption = Item->text.section(QLatin1Char('\t'), 0, 0);
        Width += QFontMetrics(Bold).horizontalAdvance(Caption) - QFontMetrics(Item->font).horizontalAdvance(Caption);
      }
      if (Item->text.contains(QLatin1Char('\t')))
        Width += ShortcutGap;
      return {Width, std::max(20, QFontMetrics(Item->font).height() + 6)};
    }
    if (Type == CT_MenuBarItem && Item)
      return {Size.width() + 14, std::max(20, QFontMetrics(Item->font).height() + 6)};
    return QProxyStyle::sizeFromContents(Type, Option, Size, Widget);
  }

  void drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget) const override {
    switch (Element) {
    case PE_PanelMenu: Painter->fillRect(Option->rect, BtnFaceColor()); return;
    case PE_FrameMenu:
      Painter->setPen(DsColors::Navy);
      Painter->setBrush(Qt::NoBrush);
      Painter->drawRect(Option->rect.adjusted(0, 0, -1, -1));
      return;
    case PE_PanelMenuBar: return;
    default: QProxyStyle::drawPrimitive(Element, Option, Painter, Widget);
    }
  }

  void drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                   const QWidget* Widget) const override {
    const auto* Item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option);
    switch (Element) {
    case CE_MenuItem:
      if (Item) {
        DrawMenuItem(*Item, *Painter, Widget);
        return;
      }
      break;
    case CE_MenuEmptyArea: GradientRect(*Painter, Option->rect, DsColors::Light, BtnFaceColor()); return;
    case CE_MenuBarEmptyArea: GradientRect(*Painter, Option->rect, DsColors::Light, BtnFaceColor()); return;
    case CE_MenuBarItem:
      if (Item) {
        DrawMenuBarItem(*Item, *Painter, Widget);
        return;
      }
      break;
    default: break;
    }
    QProxyStyle::drawControl(Element, Option, Painter, Widget);
  }

private:
  int MnemonicFlags(const QStyleOption& Option, const QWidget* Widget) const {
    int Flags = Qt::TextShowMnemonic | Qt::TextSingleLine | Qt::AlignVCenter;
    if (!proxy()->styleHint(SH_UnderlineShortcut, &Option, Widget))
      Flags |= Qt::TextHideMnemonic;
    return Flags;
  }

  void DrawMenuItem(const QStyleOptionMenuItem& Item, QPainter& p, const QWidget* Widget) const {
    const QRect r = Item.rect;
    const bool Enabled = Item.state & State_Enabled;
    const bool Selected = Item.state & State_Selected;
    p.save();

    if (Item.menuItemType == QStyleOptionMenuItem::Separator) {
      GradientRect(p, r, DsColors::Light, BtnFaceColor());
      p.setPen(DsColors::Separator);
      const int y = r.top() + r.height() / 2;
      p.drawLine(r.left() + IconColumn + 2, y, r.right() - 4, y);
      p.restore();
      return;
    }

    if (Selected) {
      GradientRect(p, r, DsColors::HotLight, DsColors::HotDefault);
      p.setPen(DsColors::Navy);
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
      GradientRect(p, r, DsColors::Light, BtnFaceColor());
    }

    const bool ShowIcons =
        !Widget || Widget->property(ShowIconsProperty).toBool() || !Widget->property(ShowIconsProperty).isValid();
    const QRect IconRect(r.left() + (IconColumn - 16) / 2 + 1, r.top() + (r.height() - 16) / 2, 16, 16);
    const QColor Ink = Enabled ? QColor(Qt::black) : DsColors::DisabledText;
    const bool HasIcon = ShowIcons && !Item.icon.isNull();
    if (HasIcon) {
      const QPixmap Pix = Item.icon.pixmap(QSize(16, 16), Painter2Dpr(p), Enabled ? QIcon::Normal : QIcon::Disabled,
                                           Item.checked ? QIcon::On : QIcon::Off);
      p.drawPixmap(IconRect, Pix);
      if (Item.checkType != QStyleOptionMenuItem::NotCheckable && Item.checked) {
        p.setPen(DsColors::Navy);
        p.setBrush(Qt::NoBrush);
        p.drawRect(IconRect.adjusted(-2, -2, 1, 1));
      }
    } else if (Item.checkType != QStyleOptionMenuItem::NotCheckable && Item.checked) {
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(Qt::NoPen);
      p.setBrush(Enabled ? DsColors::Navy : DsColors::DisabledText);
      if (Item.checkType == QStyleOptionMenuItem::Exclusive) {
        p.drawEllipse(QRectF(IconRect).center(), 3.0, 3.0);
      } else {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Enabled ? DsColors::Navy : DsColors::DisabledText, 2));
        const QPointF o = QRectF(IconRect).topLeft();
        const QPointF Tick[] = {o + QPointF(4, 8), o + QPointF(7, 11), o + QPointF(12, 4)};
        p.drawPolyline(Tick, 3);
      }
      p.setRenderHint(QPainter::Antialiasing, false);
    }

    QFont f = Item.font;
    if (Item.menuItemType == QStyleOptionMenuItem::DefaultItem)
      f.setBold(true);
    p.setFont(f);
    p.setPen(Ink);
    const int Flags = MnemonicFlags(Item, Widget);
    const int TextLeft = r.left() + IconColumn + TextGap;
    const QString Caption = Item.text.section(QLatin1Char('\t'), 0, 0);
    const QString Shortcut = Item.text.section(QLatin1Char('\t'), 1);
    p.drawText(QRect(TextLeft, r.top(), r.right() - ArrowSpace - TextLeft, r.height()), Flags | Qt::AlignLeft, Caption);
    if (!Shortcut.isEmpty()) {
      p.setFont(Item.font);
      p.drawText(QRect(TextLeft, r.top(), r.right() - ArrowSpace - TextLeft + 1, r.height()),
                 Qt::TextSingleLine | Qt::AlignVCenter | Qt::AlignRight, Shortcut);
    }

    if (Item.menuItemType == QStyleOptionMenuItem::SubMenu) {
      const QPoint c(r.right() - ArrowSpace / 2, r.top() + r.height() / 2);
      const QPoint Arrow[] = {c + QPoint(-2, -4), c + QPoint(-2, 4), c + QPoint(2, 0)};
      p.setPen(Qt::NoPen);
      p.setBrush(Selected && Enabled ? QColor(Qt::white) : Ink);
      p.drawPolygon(Arrow, 3);
    }
    p.restore();
  }

  static qreal Painter2Dpr(const QPainter& p) { return p.device() ? p.device()->devicePixelRatioF() : 1.0; }

  void DrawMenuBarItem(const QStyleOptionMenuItem& Item, QPainter& p, const QWidget* Widget) const {
    const QRect r = Item.rect;
    const bool Enabled = Item.state & State_Enabled;
    const bool Selected = (Item.state & State_Selected) || (Item.state & State_Sunken);
    p.save();
    if (Selected && Enabled) {
      GradientRect(p, r, DsColors::HotLight, DsColors::HotDefault);
      p.setPen(DsColors::Navy);
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
      const QRect Bar = Widget ? Widget->rect() : r;
      p.setClipRect(r);
      GradientRect(p, Bar, DsColors::Light, BtnFaceColor());
    }
    p.setPen(Enabled ? QColor(Qt::black) : DsColors::DisabledText);
    p.drawText(r, MnemonicFlags(Item, Widget) | Qt::AlignHCenter, Item.text);
    p.restore();
  }
};

QStyle* SharedMenuStyle() {
  static QPointer<TBarMenuStyle> Style;
  if (!Style) {
    Style = new TBarMenuStyle;
    Style->setParent(QCoreApplication::instance());
  }
  return Style;
}

} // namespace

TBarPopupMenu::TBarPopupMenu(QWidget* parent) : QMenu(parent) {
  FVerticalFont = QFont(QStringLiteral("Arial"));
  FVerticalFont.setPointSize(14);
  FVerticalFont.setBold(true);
  FVerticalText = QGuiApplication::applicationDisplayName();
  setStyle(SharedMenuStyle());
  setFont(MenuFont());
  setProperty(ShowIconsProperty, FShowIcons);
  // The program's menus open and close with a separator on purpose.
  setSeparatorsCollapsible(false);
  UpdateMargins();
  connect(this, &QMenu::aboutToShow, this, [this] { ApplyStyle(this, FShowIcons); });
}

void TBarPopupMenu::ApplyStyle(QMenu* Menu, bool ShowIcons) {
  QStyle* Style = SharedMenuStyle();
  if (Menu->style() != Style)
    Menu->setStyle(Style);
  if (Menu->font() != MenuFont())
    Menu->setFont(MenuFont());
  if (Menu->property(ShowIconsProperty) != QVariant(ShowIcons)) {
    Menu->setProperty(ShowIconsProperty, ShowIcons);
    Menu->update();
  }
  for (QAction* Action : Menu->actions()) {
    Action->setShortcutVisibleInContextMenu(true);
    if (QMenu* Sub = Action->menu(); Sub && Sub != Menu)
      ApplyStyle(Sub, ShowIcons);
  }
}

void TBarPopupMenu::UpdateMargins() {
  setContentsMargins(FBarVisible ? FBarWidth : 0, 0, 0, 0);
  update();
}

void TBarPopupMenu::SetBarWidth(int Value) {
  FBarWidth = std::max(0, Value);
  UpdateMargins();
}

void TBarPopupMenu::SetBarVisible(bool Value) {
  FBarVisible = Value;
  UpdateMargins();
}

void TBarPopupMenu::SetGradientStart(const QColor& Value) {
  FGradientStart = Value;
  update();
}

void TBarPopupMenu::SetGradientEnd(const QColor& Value) {
  FGradientEnd = Value;
  update();
}

void TBarPopupMenu::SetVerticalFont(const QFont& Value) {
  FVerticalFont = Value;
  update();
}

void TBarPopupMenu::SetVerticalFontColor(const QColor& Value) {
  FVerticalFontColor = Value;
  update();
}

void TBarPopupMenu::SetVerticalText(const QString& Value) {
  FVerticalText = Value;
  update();
}

void TBarPopupMenu::SetVertTextAlignment(TVertTextAlignment Value) {
  FVertTextAlignment = Value;
  update();
}

void TBarPopupMenu::SetVerticalTextOffsetY(int Value) {
  FVerticalTextOffsetY = Value;
  update();
}

void TBarPopupMenu::SetShowIcons(bool Value) {
  FShowIcons = Value;
  ApplyStyle(this, Value);
}

void TBarPopupMenu::SetShowQuenna(bool Value) {
  FShowQuenna = Value;
  update();
}

QRect TBarPopupMenu::BarRect() const {
  if (!FBarVisible || FBarWidth <= 0)
    return {};
  const int fw = style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this);
  return {fw, fw, FBarWidth, height() - 2 * fw};
}

void TBarPopupMenu::paintEvent(QPaintEvent* e) {
  QMenu::paintEvent(e);
  const QRect Bar = BarRect();
  if (Bar.isEmpty())
    return;
  QPainter p(this);
  PaintBar(p, Bar);
}

void TBarPopupMenu::PaintBar(QPainter& Canvas, const QRect& Bar) {
  GradientRectV(Canvas, Bar, FGradientStart, FGradientEnd);

  int TopReserve = 0;
  if (FShowQuenna && Bar.width() >= 10) {
    // A small diamond emblem at the head of the bar.
    const int Half = std::min(5, Bar.width() / 2 - 2);
    const QPoint c(Bar.left() + Bar.width() / 2, Bar.top() + 4 + Half);
    const QPoint Diamond[] = {c + QPoint(0, -Half), c + QPoint(Half, 0), c + QPoint(0, Half), c + QPoint(-Half, 0)};
    Canvas.save();
    Canvas.setRenderHint(QPainter::Antialiasing, true);
    Canvas.setPen(QPen(FVerticalFontColor, 1));
    Canvas.setBrush(Lighter(FGradientEnd));
    Canvas.drawPolygon(Diamond, 4);
    Canvas.restore();
    TopReserve = 2 * Half + 8;
  }

  if (FVerticalText.isEmpty())
    return;
  Canvas.save();
  Canvas.setClipRect(Bar);
  Canvas.translate(Bar.left(), Bar.bottom() + 1);
  Canvas.rotate(-90);
  // Rotated: x runs up the bar from its bottom, y across it.
  const QRect Along(FVerticalTextOffsetY, 0, Bar.height() - FVerticalTextOffsetY - TopReserve, Bar.width());
  int Align = Qt::AlignLeft;
  if (FVertTextAlignment == TVertTextAlignment::Center)
    Align = Qt::AlignHCenter;
  else if (FVertTextAlignment == TVertTextAlignment::Top)
    Align = Qt::AlignRight;
  Canvas.setFont(FVerticalFont);
  Canvas.setPen(FVerticalFontColor);
  Canvas.drawText(Along, Align | Qt::AlignVCenter | Qt::TextSingleLine, FVerticalText);
  Canvas.restore();
}

TBarMainMenu::TBarMainMenu(QWidget* parent) : QMenuBar(parent) {
  setNativeMenuBar(false);
  setStyle(SharedMenuStyle());
  setFont(MenuFont());
}

void TBarMainMenu::SetShowIcons(bool Value) {
  FShowIcons = Value;
  StyleMenus();
}

void TBarMainMenu::StyleMenus() {
  for (QAction* Action : actions())
    if (QMenu* Menu = Action->menu())
      TBarPopupMenu::ApplyStyle(Menu, FShowIcons);
}

void TBarMainMenu::actionEvent(QActionEvent* e) {
  QMenuBar::actionEvent(e);
  if (e->type() == QEvent::ActionRemoved)
    return;
  if (QMenu* Menu = e->action()->menu()) {
    TBarPopupMenu::ApplyStyle(Menu, FShowIcons);
    connect(Menu, &QMenu::aboutToShow, this, &TBarMainMenu::StyleMenus, Qt::UniqueConnection);
  }
}
