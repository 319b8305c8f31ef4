#include "ControlTestUtil.h"
#include "GalleryForm.h"

#include <QSet>

// Every control of the gallery must paint itself: grabbed alone, a control
// whose painting stopped comes out transparent, as none of them fills its
// background through Qt.
TEST(Gallery, EveryControlPaints) {
  TGalleryForm Form;
  ShowActive(Form);
  Form.ShowStates();
  const QImage Shot = Grab(Form);
  ASSERT_FALSE(Shot.isNull());
  EXPECT_GT(DistinctColors(Shot), 100);
  ASSERT_GE(Form.Controls().size(), 40);

  for (QWidget* Control : Form.Controls()) {
    const char* Name = Control->metaObject()->className();
    const QImage Own = Control->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int Opaque = 0;
    QSet<QRgb> Colors;
    for (int y = 0; y < Own.height(); ++y)
      for (int x = 0; x < Own.width(); ++x)
        if (qAlpha(Own.pixel(x, y)) == 255) {
          ++Opaque;
          Colors.insert(Own.pixel(x, y));
        }
    EXPECT_GT(Opaque, Own.width() * Own.height() / 20) << Name;
    EXPECT_GE(Colors.size(), 2) << Name;
  }
}
