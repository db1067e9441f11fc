#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>

#include "cli/output_file.h"
#include "cli/pictures.h"
#include "cli/svg.h"
#include "cli_png/png_support.h"
#include "engine/analysis/residual_map.h"
#include "engine/analysis/speciation.h"
#include "qt/pictures.h"
#include "qt/qt_canvas.h"
#include "window/view/plots.h"

namespace ferolan::cli {

namespace {

constexpr int kW = 640, kH = 400, kLeft = 60, kRight = 20, kTop = 30, kBottom = 50;

// The forms' colours of the window's legend.
QColor form_colour(int form) {
  return palette_colour(kFormColour[std::clamp(form, 1, 6)]);
}

QImage speciation_image(const analysis::Speciation& sp) {
  QImage img(kW, kH, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const double lo = sp.ph.front(), hi = sp.ph.back();
  const double span = hi > lo ? hi - lo : 1;
  auto X = [&](double ph) { return kLeft + (ph - lo) / span * (kW - kLeft - kRight); };
  auto Y = [&](double f) { return kTop + (1 - f) * (kH - kTop - kBottom); };
  p.setPen(Qt::black);
  p.drawRect(QRectF(kLeft, kTop, kW - kLeft - kRight, kH - kTop - kBottom));
  for (int t = 0; t <= 4; ++t) {
    const double f = t / 4.0;
    p.drawText(QRectF(0, Y(f) - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(f, 'f', 2));
  }
  // Steps from the range: a pH range of 1e30 must not mean 1e30 labels.
  for (double ph : tick_values(lo, hi))
    if (ph >= lo && ph <= hi)
      p.drawText(QRectF(X(ph) - 25, kH - kBottom + 4, 50, 16), Qt::AlignCenter,
                 QString::number(ph, 'g', 4));
  p.drawText(QRectF(0, kH - 22, kW, 18), Qt::AlignCenter, "pH");
  p.drawText(QRectF(0, 4, kW, 20), Qt::AlignCenter, "Частки форм кислоти");
  for (size_t f = 0; f < sp.forms.size(); ++f) {
    QPolygonF line;
    for (size_t i = 0; i < sp.ph.size(); ++i) line << QPointF(X(sp.ph[i]), Y(sp.at(i, f)));
    p.setPen(QPen(form_colour(sp.forms[f]), 2));
    p.drawPolyline(line);
    p.drawLine(QPointF(kLeft + 10 + 90 * f, kTop + 14), QPointF(kLeft + 30 + 90 * f, kTop + 14));
    p.drawText(QPointF(kLeft + 34 + 90 * f, kTop + 18),
               QString::fromUtf8(analysis::form_name(sp.forms[f])));
  }
  return img;
}

// Residual map: one row per included spectrum (pH), one column per wavelength point;
// blue below, red above the calculated absorbance, white at zero.
QImage residual_image(const analysis::ResidualDiagnostics& rd) {
  QImage img(kW, kH, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  const size_t ns = rd.spectra.size(), nw = rd.wavelengths.size();
  double top = 0;
  for (double v : rd.r) top = std::max(top, std::fabs(v));
  if (ns == 0 || nw == 0 || !(top > 0)) return img;
  const double w = kW - kLeft - kRight, h = kH - kTop - kBottom;
  for (size_t i = 0; i < ns; ++i) {
    for (size_t k = 0; k < nw; ++k) {
      const double t = std::clamp(rd.at(i, k) / top, -1.0, 1.0);
      const int fade = static_cast<int>(255 * (1 - std::fabs(t)));
      const QColor c = t >= 0 ? QColor(255, fade, fade) : QColor(fade, fade, 255);
      p.fillRect(QRectF(kLeft + w * k / nw, kTop + h * i / ns, w / nw + 1, h / ns + 1), c);
    }
  }
  p.setPen(Qt::black);
  p.drawRect(QRectF(kLeft, kTop, w, h));
  for (size_t i = 0; i < ns; i += std::max<size_t>(1, ns / 10))
    p.drawText(QRectF(0, kTop + h * (i + 0.5) / ns - 8, kLeft - 6, 16),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(rd.ph[i], 'f', 2));
  for (int t = 0; t <= 4; ++t) {
    const size_t k = std::min(nw - 1, nw * t / 4);
    p.drawText(QRectF(kLeft + w * k / nw - 25, kH - kBottom + 4, 50, 16), Qt::AlignCenter,
               QString::number(rd.wavelengths[k]));
  }
  p.drawText(QRectF(0, kH - 22, kW, 18), Qt::AlignCenter,
             QString::fromUtf8("довжина хвилі, нм   (рядки: pH; червоне > 0 > синє, ±%1)")
                 .arg(top, 0, 'e', 2));
  p.drawText(QRectF(0, 4, kW, 20), Qt::AlignCenter,
             QString::fromUtf8("Залишки А(експ) − А(розрах)"));
  return img;
}

bool save_png(const QImage& img, const QDir& dir, const char* name, std::ostream& err) {
  const std::string path = dir.filePath(name).toStdString();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  std::string why = "the picture cannot be encoded";
  if (img.save(&buffer, "PNG") &&
      write_whole_file(path, std::string_view(png.constData(), static_cast<size_t>(png.size())),
                       why))
    return true;
  err << "ferolan-cli: " << path << ": cannot be written: " << why << "\n";
  return false;
}

}  // namespace

namespace {

// The window's diagrams on offscreen Qt canvases over the window's backgrounds.
class QtPngPictures : public PngPictures {
 public:
  QtPngPictures()
      : spectrs_(spectrs_background()),
        pict_e_(pict_e_background()),
        picture1_(picture1_background()) {}

  void draw(const DataSet& data, const CalcState* fit) override {
    pict_e_.clear();
    vyvid_vymiryanyh_spectriv(data, view_, spectrs_);
    picpH(data, view_, picture1_);
    if (!fit) return;
    vyvid_spectriv_form(data, view_, *fit, spectrs_, pict_e_);
    vyvid_rozrahovanyh_spectriv(data, view_, *fit, spectrs_);
  }

  bool save(const std::string& dir_name, const analysis::Speciation* species,
            const analysis::ResidualDiagnostics* residuals, std::ostream& err) override {
    const QDir dir(QString::fromStdString(dir_name));
    bool ok = save_png(spectrs_.image(), dir, "spectra.png", err) &&
              save_png(pict_e_.image(), dir, "forms.png", err) &&
              save_png(picture1_.image(), dir, "dadph.png", err);
    if (ok && species && !species->ph.empty())
      ok = save_png(speciation_image(*species), dir, "speciation.png", err);
    if (ok && residuals) ok = save_png(residual_image(*residuals), dir, "residuals.png", err);
    return ok;
  }

 private:
  PlotView view_;  // the diagrams' own display state (axis end, read-out scale)
  QtCanvas spectrs_, pict_e_, picture1_;
};

std::unique_ptr<PngPictures> make_qt_png() {
  return std::make_unique<QtPngPictures>();
}

}  // namespace

struct PngSupport::Impl {
  std::unique_ptr<QGuiApplication> app;
  char runtime_dir[32] = "/tmp/ferolan-cli-XXXXXX";
  bool own_runtime_dir = false;
};

PngSupport::PngSupport(bool needed, int& argc, char** argv) : d_(std::make_unique<Impl>()) {
  if (!needed) return;
  // Pictures need Qt's font and image machinery, but never a display.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt warns on standard error without a runtime folder; a private one keeps it quiet.
  if (!std::getenv("XDG_RUNTIME_DIR") && mkdtemp(d_->runtime_dir)) {
    setenv("XDG_RUNTIME_DIR", d_->runtime_dir, 1);
    d_->own_runtime_dir = true;
  }
  d_->app = std::make_unique<QGuiApplication>(argc, argv);
  // Fonts are found (fontconfig) and shaped (HarfBuzz) when first drawn, and two workers
  // drawing their first pictures at once would enter that together: every font the
  // pictures use draws once here, before any worker starts.
  QImage warm(64, 32, QImage::Format_RGB32);
  QPainter p(&warm);
  const QString text = QStringLiteral("pH 0123456789.e+-\u2212\u00b1? H\u2082A");
  for (int pixels : {0, 8, 11, 15})
    for (bool bold : {false, true}) {
      QFont f;
      if (pixels) {
        f = QFont(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(pixels);
      }
      f.setBold(bold);
      p.setFont(f);
      p.drawText(QRectF(0, 0, 64, 32), Qt::AlignCenter, text);
      p.drawText(QPointF(1, 20), text);
      (void)QFontMetricsF(f).horizontalAdvance(text);
    }
  p.end();
  set_png_maker(&make_qt_png);
}

PngSupport::~PngSupport() {
  if (!d_->app) return;
  set_png_maker(nullptr);
  d_->app.reset();
  if (d_->own_runtime_dir) rmdir(d_->runtime_dir);
}

}  // namespace ferolan::cli
