// The parsers of the two imports of measured spectra. A parser fills a working copy and
// reports the first problem; the caller commits the copy only when it is complete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/data/state.h"

namespace ferolan {

// The window's capacity: its imports read at most this many spectra and wavelength points
// (the engine's own data set has no such bound).
constexpr int kWindowSpectra = 50;
constexpr int kWindowPoints = 1000;

// Parse a pasted table / a data.mdf text over a copy of the current data set (so entries
// beyond the new counts keep their earlier values), as the window reads them: at most
// kWindowSpectra spectra and kWindowPoints points (out is given room for them). On failure
// returns false and a short Ukrainian sentence in problem; out is then unspecified.
bool parse_clipboard_table(std::string_view text, DataSet& out, std::string& problem);
bool parse_mdf(std::string_view text, DataSet& out, std::string& problem);

// The largest counts of a data set read whole (an int, with room for the fit's rounding up).
constexpr int kMostSpectra = 2147483647 - 64;
constexpr int kMostPoints = 2147483647 - 64;

// data.mdf as the engine's other clients read it: every spectrum and point, as much memory as
// the file needs (none left is a refusal, never an abort). window_note is set, in English,
// when the file holds more than the window reads of it.
bool parse_mdf_whole(std::string_view text, DataSet& out, std::string& problem,
                     std::string& window_note);

// A text whose lines end in bare line feeds (as spreadsheets outside Windows copy them) with
// CR LF line ends, so that its lines become the table's rows; a text that has carriage
// returns already is returned as it is.
std::string with_row_ends(std::string_view text);

// Sort by pH (stable bubble passes) and find a_max.
void sort_by_ph(DataSet& data);
void find_a_max(DataSet& data);

// Where sort_by_ph takes spectra 1..n_spectra of data: the i-th spectrum after the sort
// (0-based) is spectrum order[i] + 1 before it. Carries values kept beside the data set
// (a concentration per spectrum) through the sort.
std::vector<int> ph_order(const DataSet& data);

}  // namespace ferolan
