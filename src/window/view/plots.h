// The three diagrams and their pointer read-outs.
#pragma once

#include "window/layer.h"

#include <string>

#include "engine/data/state.h"
#include "window/platform/canvas.h"

namespace ferolan {

// Size of the picture boxes' drawing areas in pixels.
constexpr int kSpectraWidth = 401, kSpectraHeight = 253;  // spectrs, Pict_e
constexpr int kPicture1Width = 170, kPicture1Height = 110;

// What the diagrams keep between drawings: the right end of both spectra plots' wavelength
// axis, and the user coordinates last given to Picture1 (for its read-out).
struct PlotView {
  int16_t wl_last = 0;
  bool p1_scaled = false;
  double p1_left = 0, p1_top = 0, p1_width = 0, p1_height = 0;
};

// Measured spectra in black (clears the box, sets wl_last).
void vyvid_vymiryanyh_spectriv(const DataSet& data, PlotView& view, Canvas& spectrs);
// Calculated spectra in light red over what is drawn.
void vyvid_rozrahovanyh_spectriv(const DataSet& data, const PlotView& view, const CalcState& calc,
                                 Canvas& spectrs);
// Forms' spectra over the legend (redraws the measured spectra first).
void vyvid_spectriv_form(const DataSet& data, PlotView& view, const CalcState& calc,
                         Canvas& spectrs, Canvas& pict_e);
// dA/dpH–pH diagram; remembers its user coordinates in view for the read-out.
void picpH(const DataSet& data, PlotView& view, Canvas& picture1);

// Tooltip texts for the pointer at pixel (x, y) of the box; empty = leave the tooltip.
std::string spectrs_readout(const DataSet& data, const PlotView& view, double x, double y,
                            char dec);
std::string pict_e_readout(const DataSet& data, const PlotView& view, double x, char dec);
std::string picture1_readout(const DataSet& data, const PlotView& view, double x, char dec);

}  // namespace ferolan
