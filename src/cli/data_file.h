// The batch tool's reader of spectra files: a table (tabs, spaces, ';' or ',' between cells)
// or a data.mdf-style stream of fields. Unlike the window's paste it checks every cell and
// says where a problem is; for a well-formed file it yields the same data set.
#pragma once

#include "cli/layer.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "engine/data/state.h"

namespace ferolan::cli {

// A cell that was read, but not as written (row and column count from 1 as in the file;
// column 0 when the note concerns a whole row).
struct CellWarning {
  int row = 0, column = 0;
  std::string text;  // "\"n/a\" is not a number, read as 0"
  // Its code; empty: not_a_number for a cell, row_not_read for a row.
  std::string code = {};
};

// The code of a warning of the reading.
inline std::string warning_code(const CellWarning& w) {
  return !w.code.empty() ? w.code : w.column > 0 ? "not_a_number" : "row_not_read";
}

// "row 12, column 7: ..." (or "row 12: ..." for a whole row).
std::string located(const CellWarning& w);

enum class Separator { None, Tab, Space, Semicolon, Comma };
const char* separator_name(Separator s);  // "tab", "space", "semicolon", "comma"

struct DataFile {
  bool ok = false;
  std::string code, message;  // when !ok: stable code and one English sentence
  InputFormat format = InputFormat::Detect;
  Separator separator = Separator::None;  // of a table
  char decimal_mark = '.';
  std::vector<CellWarning> warnings;
  std::shared_ptr<DataSet> data;  // as read, before the import sorts it by pH
  // A table's optional concentration row (mol/L, one per spectrum as read): a titration
  // diluted as it goes. data->acid_conc is then their mean, which the searches take.
  std::vector<double> conc_spectra;
};

constexpr size_t kMaxInputBytes = 64u << 20;

// name decides the layout when format is Detect: *.mdf a field stream, *.csv and *.tsv a
// table, anything else a table when its first line holds a tab or ';', else a field stream.
DataFile read_data_file(std::string_view name, std::string_view bytes, InputFormat format);

// Why bytes cannot be spectra at all (NUL bytes, a first line that is not UTF-8), or empty.
std::string not_text_reason(std::string_view bytes);

}  // namespace ferolan::cli
