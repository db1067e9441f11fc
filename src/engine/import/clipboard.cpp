#include <algorithm>
#include <cctype>
#include <limits>
#include <string>
#include <vector>

#include "engine/import/import.h"
#include "engine/import/import_common.h"
#include "engine/import/number.h"

namespace ferolan {

namespace {

constexpr int kMaxColumns = kWindowSpectra + 1;  // the wavelength column and 50 spectra
constexpr int kMaxRows = kWindowPoints;          // the pH row and 999 points

struct Cell {
  int row, col;
  double value;
};

// "inf", "-Infinity", "NaN": a program's text for a value that is no number. The
// leading-number rule would read 0 there; such a table is refused instead. Words that only
// begin like these ("info", "nanoM") are ordinary text.
bool names_non_finite(std::string_view cell) {
  if (!cell.empty() && (cell[0] == '+' || cell[0] == '-')) cell.remove_prefix(1);
  std::string word(cell);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word == "inf" || word == "infinity" || word == "nan";
}

std::string at(int row, int col) {
  return "у рядку " + std::to_string(row) + ", стовпчику " + std::to_string(col);
}

}  // namespace

bool parse_clipboard_table(std::string_view text, DataSet& out, std::string& problem) {
  // Cells are filled one after another (the column only grows within a row), so each one
  // is complete when the splitting leaves it.
  std::vector<Cell> cells;
  std::string cur;
  int row = 1, col = 1, col_count = 0, last_row = 0;
  auto end_cell = [&] {
    if (cur.empty()) return;
    const double v =
        names_non_finite(cur) ? std::numeric_limits<double>::quiet_NaN() : leading_number(cur);
    cells.push_back({row, col, v});
    cur.clear();
  };
  // Past column 52 any character fails the import, so counting further could only overflow.
  auto next_col = [&] { col = std::min(col + 1, kMaxColumns + 1); };
  for (char ch : text) {
    if (ch == ',') ch = '.';
    if (ch == '\t') {
      end_cell();
      next_col();
    } else if (ch == '\r') {
      end_cell();
      ++row;
      col = 1;
    } else if (ch == ' ') {
      if (!cur.empty()) {
        end_cell();
        next_col();
      }
    } else if (ch != '\n') {
      if (row > kMaxRows) break;  // the rows read so far are used
      if (col > kMaxColumns) {
        problem = import_problem("у рядку " + std::to_string(row) +
                                 " більше 51 стовпчика (можна щонайбільше 50 спектрів).");
        return false;
      }
      cur += ch;
      col_count = std::max(col_count, col);
      last_row = row;
    }
  }
  end_cell();

  if (col_count == 0) {
    problem = import_problem("буфер обміну порожній, скопіюйте таблицю спектрів.");
    return false;
  }
  if (col_count < 2) {
    problem = import_problem("у таблиці немає спектрів (потрібно щонайменше два стовпчики).");
    return false;
  }
  if (last_row < 2) {
    problem = import_problem("у таблиці немає довжин хвиль (потрібно щонайменше два рядки).");
    return false;
  }

  // Cells never filled read as 0.
  const int width = col_count + 1;
  std::vector<double> value(static_cast<size_t>(last_row + 1) * width, 0.0);
  for (const Cell& c : cells) value[static_cast<size_t>(c.row) * width + c.col] = c.value;
  auto number = [&](int r, int c) { return value[static_cast<size_t>(r) * width + c]; };
  auto single = [&](int r, int c, float& dst) {
    if (to_single(number(r, c), dst)) return true;
    problem = import_problem(at(r, c) + " число поза допустимими межами.");
    return false;
  };

  out.reserve(kWindowSpectra, kWindowPoints);
  float conc = 0;
  if (!single(1, 1, conc)) return false;
  out.acid_conc = conc == 0 ? 10.0f : conc;
  out.n_spectra = col_count - 1;
  out.n_wavelengths = last_row - 1;
  for (int s = 1; s <= out.n_spectra; ++s)
    if (!single(1, s + 1, out.ph_values[s])) return false;
  for (int w = 1; w <= out.n_wavelengths; ++w) {
    if (!to_wavelength(number(w + 1, 1), out.wavelengths[w])) {
      problem = import_problem(at(w + 1, 1) + " довжина хвилі поза межами -32768…32767.");
      return false;
    }
    for (int s = 1; s <= out.n_spectra; ++s)
      if (!single(w + 1, s + 1, out.absorbance[w][s])) return false;
  }
  return true;
}

std::string with_row_ends(std::string_view text) {
  if (text.find('\r') != std::string_view::npos) return std::string(text);
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

}  // namespace ferolan
