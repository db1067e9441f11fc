#include "cli/data_file.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "cli/text.h"
#include "engine/import/import.h"
#include "engine/import/import_common.h"
#include "engine/import/mdf_fields.h"
#include "engine/import/number.h"

namespace ferolan::cli {

const char* separator_name(Separator s) {
  switch (s) {
    case Separator::Tab:
      return "tab";
    case Separator::Space:
      return "space";
    case Separator::Semicolon:
      return "semicolon";
    case Separator::Comma:
      return "comma";
    case Separator::None:
      break;
  }
  return "";
}

std::string located(const CellWarning& w) {
  std::string at = "row " + std::to_string(w.row);
  if (w.column > 0) at += ", column " + std::to_string(w.column);
  return at + ": " + w.text;
}

namespace {

// A table's rows and columns as the data set counts them: the pH row and a point per row,
// the wavelength column and a spectrum per column.
constexpr int kMaxColumns = kMostSpectra + 1;
constexpr size_t kMaxTableRows = static_cast<size_t>(kMostPoints) + 1;

// Only the exact words refuse a cell, as in the window's paste: "info" or "nanoM" is text.
bool names_non_finite(std::string_view cell) {
  if (!cell.empty() && (cell[0] == '+' || cell[0] == '-')) cell.remove_prefix(1);
  if (cell.size() > 8) return false;
  const std::string word = ascii_lower(cell);
  return word == "inf" || word == "infinity" || word == "nan";
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string where(int row, int col) {
  return "row " + std::to_string(row) + ", column " + std::to_string(col);
}

// Shown as the cell was written, within reason: at most 40 characters, cut between
// characters, and bytes that are no UTF-8 written as \xNN so that every output stays text.
std::string quoted(std::string_view cell) {
  std::string q = "\"";
  size_t i = 0, chars = 0;
  while (i < cell.size() && chars < 40) {
    const size_t n = utf8_length(cell.substr(i));
    if (n == 0) {
      static const char hex[] = "0123456789ABCDEF";
      const auto b = static_cast<unsigned char>(cell[i]);
      q += "\\x";
      q += hex[b >> 4];
      q += hex[b & 15];
      ++i;
    } else {
      q.append(cell.substr(i, n));
      i += n;
    }
    ++chars;
  }
  if (i < cell.size()) q += "...";
  return q + "\"";
}

// What a cell stands for: a measured absorbance may be read as 0 with a warning; the pH
// values, wavelengths and concentrations that place the spectra may not, for a made-up one
// moves every constant.
enum class Cell { Absorbance, Ph, Wavelength, Concentration };

struct Reader {
  DataFile& f;
  long cells = 0, not_numbers = 0;  // absorbance cells, and those read as 0

  bool refuse(std::string code, std::string message) {
    f.ok = false;
    f.code = std::move(code);
    f.message = std::move(message);
    return false;
  }

  // A cell's value by the leading-number rule; a cell that is more or less than a number is
  // noted. nullopt (with the file refused) for what cannot be stored at all and for a pH, a
  // wavelength or a concentration that is not a number.
  std::optional<double> number(std::string_view cell, int row, int col, Cell kind,
                               bool empty_is_fine = false) {
    if (names_non_finite(cell)) {
      refuse("non_finite", where(row, col) + ": " + quoted(cell) + " is not a finite number");
      return std::nullopt;
    }
    if (kind != Cell::Absorbance && !is_number_text(cell)) {
      // By Cell, absorbances excepted.
      static constexpr const char* kCode[] = {"", "ph_not_a_number", "wavelength_not_a_number",
                                              "concentration_not_a_number"};
      static constexpr const char* kWhat[] = {"", "pH value", "wavelength", "concentration"};
      const auto k = static_cast<size_t>(kind);
      refuse(kCode[k], where(row, col) + ": " +
                           (cell.empty() ? std::string("an empty cell") : quoted(cell)) +
                           " stands where a " + kWhat[k] + " belongs and is not a number");
      return std::nullopt;
    }
    if (kind == Cell::Absorbance && !empty_is_fine) ++cells;
    if (cell.empty()) {
      if (!empty_is_fine) {
        f.warnings.push_back({row, col, "empty cell read as 0"});
        ++not_numbers;
      }
      return 0.0;
    }
    if (!is_number_text(cell)) {
      f.warnings.push_back({row, col, quoted(cell) + " is not a number, read as 0"});
      if (!empty_is_fine) ++not_numbers;
    }
    return leading_number(cell);
  }

  // A table of which most cells are text is no spectra: another program's output, or ours.
  bool mostly_text() {
    if (cells == 0 || 2 * not_numbers <= cells) return false;
    refuse("mostly_text", std::to_string(not_numbers) + " of " + std::to_string(cells) +
                              " absorbance cells are not numbers: this is not a table of spectra");
    return true;
  }

  bool single(double v, int row, int col, float& out) {
    if (to_single(v, out)) return true;
    return refuse("value_out_of_range",
                  where(row, col) + ": the number is beyond the range of the stored values");
  }

  // A concentration of the optional row: a positive number, never read as 0 (which would
  // mean no acid at all).
  bool concentration(std::string_view cell, int row, int col, double& out) {
    const auto c = number(cell, row, col, Cell::Concentration);
    float v = 0;
    if (!c || !single(*c, row, col, v)) return false;
    if (!(v > 0))
      return refuse("concentration_not_positive", where(row, col) + ": the concentration " +
                                                      quoted(cell) + " is not above 0 mol/L");
    out = v;
    return true;
  }

  bool wavelength(double v, int row, int col, int16_t& out) {
    if (to_wavelength(v, out)) return true;
    return refuse("wavelength_out_of_range",
                  where(row, col) + ": the wavelength is outside -32768..32767 nm");
  }
};

// Where the line that starts at pos ends (find_first_of calls memchr once per byte).
size_t line_end(std::string_view text, size_t pos = 0) {
  while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
  return pos == text.size() ? std::string_view::npos : pos;
}

// The lines of a text one at a time: a file of millions of lines needs no list of them.
class Lines {
 public:
  explicit Lines(std::string_view text) : t_(text) {}
  bool next(std::string_view& line) {
    if (pos_ >= t_.size()) return false;
    const size_t end = line_end(t_, pos_);
    if (end == std::string_view::npos) {
      line = t_.substr(pos_);
      pos_ = t_.size();
      return true;
    }
    line = t_.substr(pos_, end - pos_);
    pos_ = end + (t_[end] == '\r' && end + 1 < t_.size() && t_[end + 1] == '\n' ? 2 : 1);
    return true;
  }

 private:
  std::string_view t_;
  size_t pos_ = 0;
};

// Lines up to the last one that is not blank.
size_t count_lines(std::string_view text) {
  Lines lines(text);
  size_t n = 0, last = 0;
  for (std::string_view line; lines.next(line);)
    if (++n, !trim(line).empty()) last = n;
  return last;
}

// Quoted parts of a line are skipped: a quoted cell may hold the decimal comma.
Separator separator_of(std::string_view first_line) {
  bool tab = false, semicolon = false, comma = false, quote = false;
  for (char c : first_line) {
    if (c == '"') quote = !quote;
    if (quote) continue;
    tab = tab || c == '\t';
    semicolon = semicolon || c == ';';
    comma = comma || c == ',';
  }
  return tab         ? Separator::Tab
         : semicolon ? Separator::Semicolon
         : comma     ? Separator::Comma
                     : Separator::Space;
}

// Hands the cells of one line to take(cell) in order until it returns false, each cell a view
// into the line or, when it had to be rewritten, into scratch: a row of millions of cells
// costs no more than the cells taken. Quotes are read first (RFC 4180: a quoted cell may hold
// the separator, "" stands for a quote), then the decimal comma: every comma of a cell after
// ';' or a tab, and the commas inside quotes after ','. quoted_comma tells whether a quoted
// cell held one.
template <class Take>
void split_cells(std::string_view line, Separator sep, bool& quoted_comma, std::string& scratch,
                 Take&& take) {
  if (sep == Separator::Space) {
    size_t i = 0;
    while (true) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i == line.size()) return;
      const size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      if (!take(line.substr(start, i - start))) return;
    }
  }
  const char c = sep == Separator::Tab ? '\t' : sep == Separator::Semicolon ? ';' : ',';
  auto with_points = [&](std::string_view cell) -> std::string_view {
    if (sep == Separator::Comma || cell.find(',') == std::string_view::npos) return cell;
    scratch.assign(cell);
    std::replace(scratch.begin(), scratch.end(), ',', '.');
    return scratch;
  };
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || (line[i] == '\t' && c != '\t'))) ++i;
    std::string_view cell;
    if (i < line.size() && line[i] == '"') {
      scratch.clear();
      // Room for the quoted part at once: growing by doubling would hold it twice.
      const size_t close = line.find('"', i + 1);
      scratch.reserve((close == std::string_view::npos ? line.size() : close) - i);
      for (++i; i < line.size(); ++i) {
        if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
          scratch += '"';
          ++i;
        } else if (line[i] == '"') {
          ++i;
          break;
        } else {
          scratch += line[i];
        }
      }
      const size_t pos = line.find(c, i);
      scratch += trim(line.substr(i, pos - i));  // text after the closing quote
      const std::string_view t = trim(scratch);
      scratch.resize(static_cast<size_t>(t.data() - scratch.data()) + t.size());
      scratch.erase(0, static_cast<size_t>(t.data() - scratch.data()));
      if (sep != Separator::Comma) {
        std::replace(scratch.begin(), scratch.end(), ',', '.');
      } else if (const size_t comma = scratch.find(',');
                 comma != std::string::npos &&
                 scratch.find_first_of(".,", comma + 1) == std::string::npos &&
                 scratch.find('.') == std::string::npos) {
        // A number holds one point at most, so only a single comma can be a decimal mark.
        scratch[comma] = '.';
        if (is_number_text(scratch))
          quoted_comma = true;
        else
          scratch[comma] = ',';
      }
      cell = scratch;
      i = pos;
    } else {
      const size_t pos = line.find(c, i);
      cell = with_points(trim(line.substr(i, pos - i)));
      i = pos;
    }
    if (!take(cell) || i == std::string_view::npos) return;
    ++i;
  }
}

// Cells per line when the line is split at blanks or commas outside quotes.
int loose_cells(std::string_view line) {
  int n = 0;
  bool in_cell = false, quote = false;
  for (char c : line) {
    if (c == '"') quote = !quote;
    const bool gap = !quote && (c == ' ' || c == '\t' || c == ',' || c == '\r');
    if (!gap && !in_cell) ++n;
    in_cell = !gap;
  }
  return n;
}

// Rows of blank-separated cells, all but the first with the same number of cells (at least
// two) and the first with one fewer: a table whose corner cell is empty. Read as a stream
// of fields, it would take the first pH for the concentration and shift every value.
bool table_with_empty_corner(std::string_view text) {
  const size_t n = count_lines(text);
  if (n < 2) return false;
  Lines lines(text);
  std::string_view line;
  lines.next(line);
  const int first = loose_cells(line);
  int c = -1;
  for (size_t i = 1; i < n && lines.next(line); ++i) {
    if (trim(line).empty()) continue;
    const int k = loose_cells(line);
    if (c < 0) c = k;
    if (k != c || c < 2) return false;
  }
  return c >= 2 && first == c - 1;
}

// The first cell of the optional concentration row: "conc", "Concentration", "conc, mol/L".
bool names_concentration(std::string_view cell) {
  return ascii_lower(trim(cell).substr(0, 4)) == "conc";
}

bool read_table(std::string_view text, DataFile& f) {
  Reader r{f};
  f.format = InputFormat::Table;
  const size_t n_lines = count_lines(text);
  if (n_lines == 0) return r.refuse("empty", "the file holds no table");
  Lines lines(text);
  std::string_view line;
  lines.next(line);
  f.separator = separator_of(line);
  f.decimal_mark = f.separator == Separator::Semicolon ? ',' : '.';

  if (n_lines > kMaxTableRows)
    return r.refuse("too_many_rows", "the table has " + std::to_string(n_lines) +
                                         " rows, more than a data set counts");
  const int rows = static_cast<int>(n_lines);
  // First the shape, with the limits checked cell by cell: cells after a row's last
  // non-empty one do not count, and a row is given up at its first cell beyond the limit.
  std::vector<int> counts(rows);
  int columns = 0;
  bool quoted_comma = false;
  std::string scratch;
  {
    Lines shape(text);
    for (int i = 0; i < rows && shape.next(line); ++i) {
      int n = 0;
      split_cells(line, f.separator, quoted_comma, scratch, [&](std::string_view cell) {
        ++n;
        if (!cell.empty()) counts[i] = n;
        return counts[i] <= kMaxColumns;
      });
      columns = std::max(columns, counts[i]);
      if (columns > kMaxColumns)
        return r.refuse("too_many_columns", "row " + std::to_string(i + 1) +
                                                " has more columns than a data set counts");
    }
  }
  std::string().swap(scratch);
  if (quoted_comma) f.decimal_mark = ',';
  // Blanks cannot show an empty corner cell: a first row one cell short of every other
  // row is one.
  int corner = 0;
  if (f.separator == Separator::Space && rows > 1 && counts[0] > 0) {
    bool short_corner = true;
    for (int i = 1; i < rows; ++i)
      short_corner = short_corner && (counts[i] == 0 || counts[i] == counts[0] + 1);
    if (short_corner) corner = 1;
  }
  if (columns < 2)
    return r.refuse("no_spectra", "the table has no spectra (at least two columns are needed)");
  if (rows < 2)
    return r.refuse("no_wavelengths",
                    "the table has no wavelengths (at least two rows are needed)");

  // Then the values, one row's cells at a time.
  std::vector<std::string> row_cells;
  row_cells.reserve(columns);
  Lines values(text);
  auto next_row = [&](int shift) {
    values.next(line);
    row_cells.assign(shift, std::string());
    split_cells(line, f.separator, quoted_comma, scratch, [&](std::string_view cell) {
      if (static_cast<int>(row_cells.size()) >= columns) return false;
      if (cell.data() == scratch.data()) {
        row_cells.push_back(std::move(scratch));  // a cell of megabytes is not copied
        scratch.clear();
      } else {
        row_cells.emplace_back(cell);
      }
      return true;
    });
  };
  auto cell = [&](int col) -> std::string_view {
    return col <= static_cast<int>(row_cells.size()) ? std::string_view(row_cells[col - 1]) : "";
  };

  auto d = std::make_unique<DataSet>();
  next_row(corner);
  float conc = 0;
  const auto c = r.number(cell(1), 1, 1, Cell::Absorbance, true);
  if (!c || !r.single(*c, 1, 1, conc)) return false;
  d->acid_conc = conc == 0 ? 10.0f : conc;
  d->resize(columns - 1, rows - 1);
  for (int s = 1; s <= d->n_spectra; ++s) {
    const auto v = r.number(cell(s + 1), 1, s + 1, Cell::Ph);
    if (!v || !r.single(*v, 1, s + 1, d->ph_values[s])) return false;
  }
  // The row below the pH values may give each spectrum its concentration.
  int first = 2;  // the row of the first wavelength
  next_row(0);
  if (names_concentration(cell(1))) {
    f.conc_spectra.resize(d->n_spectra);
    double sum = 0;
    for (int s = 1; s <= d->n_spectra; ++s) {
      if (!r.concentration(cell(s + 1), 2, s + 1, f.conc_spectra[s - 1])) return false;
      sum += f.conc_spectra[s - 1];
    }
    if (rows < 3)
      return r.refuse("no_wavelengths",
                      "the table has no wavelengths (no row below the concentrations)");
    if (!r.single(sum / d->n_spectra, 2, 1, d->acid_conc)) return false;
    d->resize(d->n_spectra, rows - 2);
    first = 3;
    next_row(0);
  }
  for (int w = 1; w <= d->n_wavelengths; ++w) {
    const int row = w + first - 1;
    if (w > 1) next_row(0);
    if (counts[row - 1] == 0) {
      f.warnings.push_back({row, 0, "empty row read as wavelength 0 nm with absorbances 0"});
      continue;
    }
    if (names_concentration(cell(1)))
      return r.refuse("concentration_row_misplaced",
                      where(row, 1) +
                          ": a row of concentrations belongs directly below the "
                          "pH values");
    const auto wl = r.number(cell(1), row, 1, Cell::Wavelength);
    if (!wl || !r.wavelength(*wl, row, 1, d->wavelengths[w])) return false;
    for (int s = 1; s <= d->n_spectra; ++s) {
      const auto v = r.number(cell(s + 1), row, s + 1, Cell::Absorbance);
      if (!v || !r.single(*v, row, s + 1, d->absorbance[w][s])) return false;
    }
  }
  if (r.mostly_text()) return false;
  f.data = std::move(d);
  f.ok = true;
  return true;
}

bool read_mdf(std::string_view text, DataFile& f) {
  Reader r{f};
  f.format = InputFormat::Mdf;
  MdfFields in(text);
  if (in.at_end()) return r.refuse("empty", "the file is empty");
  auto d = std::make_unique<DataSet>();
  d->reserve(kWindowSpectra, kWindowPoints);
  // Room doubles as the file goes on, so that growing costs no more than the data once.
  auto room_for = [&](int spectra, int points) {
    const auto twice = [](int v, int most) {
      return static_cast<int>(std::min(2L * v, 1L * most));
    };
    if (spectra > d->spectra_capacity() || points > d->points_capacity())
      d->reserve(spectra > d->spectra_capacity() ? twice(spectra, kMostSpectra) : spectra,
                 points > d->points_capacity() ? twice(points, kMostPoints) : points);
  };
  std::string missing = "the file ends before the first wavelength";
  auto value = [&](Cell kind) -> std::optional<double> {
    if (in.at_end()) {
      r.refuse("truncated", missing);
      return std::nullopt;
    }
    const std::string_view field = in.next();
    return r.number(field, in.line(), in.field(), kind);
  };
  auto single = [&](float& out, Cell kind) {
    const auto v = value(kind);
    return v && r.single(*v, in.line(), in.field(), out);
  };
  auto wavelength = [&](double v, int16_t& out) {
    return r.wavelength(v, in.line(), in.field(), out);
  };

  float conc = 0;
  if (!single(conc, Cell::Absorbance)) return false;
  d->acid_conc = conc == 0 ? 10.0f : conc;
  // The pH list ends at the first value above 20, the first wavelength, however long it is.
  int n = 0;
  int beyond_line = 0, beyond_field = 0;  // where the window's reading would differ
  for (int i = 1; i <= kMostSpectra; ++i) {
    room_for(i, 1);
    if (!single(d->ph_values[i], Cell::Ph)) return false;
    if (i == kWindowSpectra + 1) beyond_line = in.line(), beyond_field = in.field();
    if (d->ph_values[i] > 20) {
      n = i - 1;
      if (!wavelength(d->ph_values[i], d->wavelengths[1])) return false;
      d->ph_values[i] = 0;
      break;
    }
  }
  if (n == 0)
    return r.refuse("no_ph", "no pH values: the first number after the concentration is above 20");
  if (n <= kWindowSpectra) beyond_line = beyond_field = 0;
  d->n_spectra = n;
  auto row = [&](int w) {
    missing = "the file ends in the middle of the row of wavelength " +
              std::to_string(d->wavelengths[w]) + " nm";
    for (int s = 1; s <= n; ++s)
      if (!single(d->absorbance[w][s], Cell::Absorbance)) return false;
    return true;
  };
  if (!row(1)) return false;
  int w = 1;
  while (!in.at_end()) {
    if (w == kMostPoints) return r.refuse("too_many_points", "more points than a data set counts");
    ++w;
    room_for(n, w);
    missing = "the file ends before the wavelength of point " + std::to_string(w);
    const auto v = value(Cell::Wavelength);
    if (w == kWindowPoints + 1 && beyond_line == 0) beyond_line = in.line();
    if (!v || !wavelength(*v, d->wavelengths[w]) || !row(w)) return false;
  }
  d->n_wavelengths = w;
  if (n > kWindowSpectra || w > kWindowPoints)
    f.warnings.push_back({beyond_line, beyond_field,
                          "read whole (" + std::to_string(n) + " spectra of " + std::to_string(w) +
                              " points); the window reads only the first " +
                              std::to_string(kWindowSpectra) + " spectra and " +
                              std::to_string(kWindowPoints) + " points of a data.mdf",
                          "beyond_window"});
  if (r.mostly_text()) return false;
  f.data = std::move(d);
  f.ok = true;
  return true;
}

}  // namespace

std::string not_text_reason(std::string_view bytes) {
  if (bytes.find('\0') != std::string_view::npos)
    return "the file is not text (it holds NUL bytes)";
  const size_t eol = line_end(bytes);
  if (!valid_utf8(bytes.substr(0, eol)))
    return "the file is not text (its first line is not valid UTF-8)";
  return {};
}

DataFile read_data_file(std::string_view name, std::string_view bytes, InputFormat format) {
  DataFile f;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (format == InputFormat::Detect) {
    auto ends = [&](std::string_view ext) {
      if (name.size() < ext.size()) return false;
      return ascii_lower(name.substr(name.size() - ext.size())) == ext;
    };
    const std::string_view first = bytes.substr(0, line_end(bytes));
    if (ends(".csv") || ends(".tsv") || table_with_empty_corner(bytes))
      format = InputFormat::Table;
    else if (ends(".mdf"))
      format = InputFormat::Mdf;
    else
      format = std::any_of(first.begin(), first.end(), [](char c) { return c == '\t' || c == ';'; })
                   ? InputFormat::Table
                   : InputFormat::Mdf;
  }
  if (format == InputFormat::Table)
    read_table(bytes, f);
  else
    read_mdf(bytes, f);
  return f;
}

}  // namespace ferolan::cli
