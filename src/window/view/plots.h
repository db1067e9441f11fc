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

// Measured spectra in black (clears the box, sets wl_last).
void vyvid_vymiryanyh_spectriv(const DataSet& data, Settings& settings, Canvas& spectrs);
// Calculated spectra in light red over what is drawn.
void vyvid_rozrahovanyh_spectriv(const DataSet& data, const Settings& settings,
                                 const CalcState& calc, Canvas& spectrs);
// Forms' spectra over the legend (redraws the measured spectra first).
void vyvid_spectriv_form(const DataSet& data, Settings& settings, const CalcState& calc,
                         Canvas& spectrs, Canvas& pict_e);
// dA/dpH–pH diagram; remembers its user coordinates in settings for the read-out.
void picpH(const DataSet& data, Settings& settings, Canvas& picture1);

// Tooltip texts for the pointer at pixel (x, y) of the box; empty = leave the tooltip.
std::string spectrs_readout(const DataSet& data, const Settings& settings, double x, double y,
                            char dec);
std::string pict_e_readout(const DataSet& data, const Settings& settings, double x, char dec);
std::string picture1_readout(const DataSet& data, const Settings& settings, double x, char dec);

}  // namespace ferolan
