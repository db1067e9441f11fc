// At a device pixel ratio of 2 (QT_SCALE_FACTOR=2, set before the application starts) the
// window keeps its logical size and the diagrams are drawn at the screen's resolution, each
// curve where the 1× drawing has it.
#include <QApplication>
#include <QFile>
#include <QTest>

#include "qt/picture_box.h"
#include "qt/pictures.h"
#include "qt/qt_canvas.h"
#include "ui_fixture.h"
#include "window/ui/events.h"
#include "window/view/plots.h"

using namespace ferolan;
using ferolan::testing::UiFixture;

namespace {
QImage rgb(const QImage& img) {
  return img.convertToFormat(QImage::Format_RGB32);
}
}  // namespace

class HiDpiTest : public QObject {
  Q_OBJECT
  std::string data_mdf_;

 private slots:
  void initTestCase() {
    QFile f(QString::fromLocal8Bit(qgetenv("FEROLAN_EXAMPLES")) + "/data.mdf");
    QVERIFY2(f.open(QIODevice::ReadOnly), "FEROLAN_EXAMPLES must name the examples folder");
    data_mdf_ = f.readAll().toStdString();
    QCOMPARE(picture_ratio(), 2.0);
  }

  void the_spectra_are_drawn_at_the_screens_resolution() {
    UiFixture f(nullptr, picture_ratio());
    f.fake.files["data.mdf"] = data_mdf_;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QCOMPARE(f.window->size(), QSize(928, 542));
    on_click(f.m, f.m.ui.load);
    f.window->sync_widgets();
    QVERIFY(f.m.state.data.n_spectra > 0);

    const QImage fine = rgb(f.spectrs.image());
    QCOMPARE(fine.size(), QSize(802, 506));
    QCOMPARE(f.spectrs.size(), QSize(401, 253));

    // What the window shows is that drawing, pixel for pixel, inside the box's border.
    auto* box = static_cast<PictureBox*>(f.w(f.m.ui.spectrs));
    const int b = box->border();
    QCOMPARE(box->size(), QSize(401 + 2 * b, 253 + 2 * b));
    const QPixmap shot = box->grab();
    QCOMPARE(shot.devicePixelRatio(), 2.0);
    QCOMPARE(rgb(shot.toImage()).copy(2 * b, 2 * b, 802, 506), fine);

    // The same data drawn at 1×: every curve pixel of the fine drawing lies on a logical
    // pixel the coarse one colours, or next to it; and the fine one is not the coarse one
    // scaled up.
    QtCanvas coarse_canvas(spectrs_background());
    vyvid_vymiryanyh_spectriv(f.m.state.data, f.m.view, coarse_canvas);
    const QImage coarse = rgb(coarse_canvas.image());
    const QRgb white = qRgb(255, 255, 255);
    auto near_coarse_ink = [&](int lx, int ly) {
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const QPoint p(lx + dx, ly + dy);
          if (coarse.rect().contains(p) && coarse.pixel(p) != white) return true;
        }
      return false;
    };
    int ink = 0, unlike_scaled = 0;
    for (int y = 0; y < fine.height(); ++y)
      for (int x = 0; x < fine.width(); ++x) {
        const bool fine_ink = fine.pixel(x, y) != white;
        ink += fine_ink;
        if (fine_ink)
          QVERIFY2(near_coarse_ink(x / 2, y / 2), qPrintable(QString("%1,%2").arg(x).arg(y)));
        unlike_scaled += fine_ink != (coarse.pixel(x / 2, y / 2) != white);
      }
    QVERIFY(ink > 1000);
    QVERIFY(unlike_scaled > ink / 10);
  }

  void the_legend_and_the_help_picture_are_drawn_at_the_screens_resolution() {
    UiFixture f(nullptr, picture_ratio());
    const QImage legend = rgb(f.pict_e.image());
    QCOMPARE(legend.size(), QSize(802, 506));
    QCOMPARE(f.pict_e.size(), QSize(401, 253));
    // Text drawn at 1× and scaled up would colour whole 2 × 2 blocks.
    auto blocks_split = [](const QImage& img) {
      int split = 0;
      for (int y = 0; y + 1 < img.height(); y += 2)
        for (int x = 0; x + 1 < img.width(); x += 2) {
          const QRgb p = img.pixel(x, y);
          split +=
              img.pixel(x + 1, y) != p || img.pixel(x, y + 1) != p || img.pixel(x + 1, y + 1) != p;
        }
      return split;
    };
    QVERIFY(blocks_split(legend) > 100);
    const QImage help = help_picture(picture_ratio());
    QCOMPARE(help.size(), QSize(134, 108));
    QCOMPARE(help.deviceIndependentSize(), QSizeF(67, 54));
    QVERIFY(blocks_split(rgb(help)) > 50);
  }
};

int main(int argc, char** argv) {
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  HiDpiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "hidpi_test.moc"
