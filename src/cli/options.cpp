#include "cli/options.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace ferolan::cli {

namespace {

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t pos = s.find(sep, start);
    parts.emplace_back(s.substr(start, pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return parts;
}

bool to_int(std::string_view s, int& v) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size();
}

bool to_double(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size();
}

bool slot_list(const std::string& text, std::vector<int>& out, std::string& error, int lo, int hi,
               const char* what) {
  for (const std::string& part : split(text, ',')) {
    int v = 0;
    if (!to_int(part, v) || v < lo || v > hi) {
      error = std::string(what) + " takes numbers from " + std::to_string(lo) + " to " +
              std::to_string(hi) + ", got '" + part + "'";
      return false;
    }
    out.push_back(v);
  }
  return true;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      v = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "--quiet" || arg == "-q") {
      o.quiet = true;
    } else if (arg == "--evaluate") {
      o.evaluate = true;
    } else if (arg == "--factors") {
      o.factors_only = true;
    } else if (arg == "--compare") {
      o.compare = true;
    } else if (arg == "--format") {
      if (!value(v)) return false;
      if (v == "mdf")
        o.format = InputFormat::Mdf;
      else if (v == "table")
        o.format = InputFormat::Table;
      else
        return error = "--format takes mdf or table", false;
    } else if (arg == "--search") {
      if (!value(v)) return false;
      if (v == "opt")
        o.search = Search::Optimisation;
      else if (v == "manual")
        o.search = Search::Manual;
      else if (v == "auto")
        o.search = Search::Auto;
      else
        return error = "--search takes opt, manual or auto", false;
    } else if (arg == "--level") {
      if (!value(v)) return false;
      if (v == "normal")
        o.level = 1;
      else if (v == "high")
        o.level = 2;
      else if (v == "very-high")
        o.level = 3;
      else
        return error = "--level takes normal, high or very-high", false;
    } else if (arg == "--pk") {
      if (!value(v)) return false;
      o.pk = split(v, ',');
      if (o.pk.size() > 5) return error = "--pk takes at most 5 values", false;
    } else if (arg == "--hold") {
      if (!value(v) || !slot_list(v, o.hold, error, 1, 5, "--hold")) return false;
    } else if (arg == "--zero") {
      if (!value(v) || !slot_list(v, o.zero, error, 1, 5, "--zero")) return false;
    } else if (arg == "--exclude") {
      if (!value(v) || !slot_list(v, o.exclude, error, 1, 50, "--exclude")) return false;
    } else if (arg == "--exclude-ph") {
      if (!value(v)) return false;
      for (auto& p : split(v, ',')) o.exclude_ph.push_back(p);
    } else if (arg == "--range") {
      if (!value(v)) return false;
      auto parts = split(v, ':');
      SlotRange r;
      if (parts.size() != 4 || !to_int(parts[0], r.slot) || r.slot < 1 || r.slot > 5)
        return error = "--range takes K:START:END:STEP with K from 1 to 5, got '" + v + "'", false;
      r.start = parts[1];
      r.end = parts[2];
      r.step = parts[3];
      o.ranges.push_back(r);
    } else if (arg == "--path-len") {
      if (!value(v)) return false;
      if (!to_int(v, o.path_len) ||
          !(o.path_len == 1 || o.path_len == 2 || o.path_len == 3 || o.path_len == 5))
        return error = "--path-len takes 1, 2, 3 or 5", false;
    } else if (arg == "--forms") {
      if (!value(o.forms_file)) return false;
    } else if (arg == "--trace") {
      if (!value(o.trace_file)) return false;
    } else if (arg == "--calc") {
      if (!value(o.calc_file)) return false;
    } else if (arg == "--plots") {
      if (!value(o.plots_dir)) return false;
    } else if (arg == "--noise") {
      double d = 0;
      if (!value(v)) return false;
      if (!to_double(v, d) || !(d > 0)) return error = "--noise takes a positive number", false;
      o.noise = d;
    } else if (arg == "--ionic-strength") {
      double d = 0;
      if (!value(v)) return false;
      if (!to_double(v, d) || !(d >= 0) || d > 1)
        return error = "--ionic-strength takes a number from 0 to 1 (mol/L)", false;
      o.ionic_strength = d;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      error = "unknown option " + arg + " (see --help)";
      return false;
    } else if (o.file.empty()) {
      o.file = arg;
    } else {
      error = "only one input file is taken, got also '" + arg + "'";
      return false;
    }
  }
  if (!o.help && !o.version && o.file.empty()) {
    error = "no input file (see --help)";
    return false;
  }
  return true;
}

const char* version_text() {
  return "ferolan-cli 1.0 (Ferolan-H5A V.1.0)";
}

const char* help_text() {
  return R"(Usage: ferolan-cli FILE [options]

Determines the acid dissociation constants pKa1..pKa5 from UV-Vis spectra measured at a
series of pH values, with the same import, fit, searches, uncertainty and formats as the
Ferolan window. FILE is a data.mdf-style file or a text table laid out as for pasting
(concentration top-left, pH values in the first row, wavelengths in the first column);
'-' reads standard input. Results go to standard output; messages go to standard error.

Input
  --format mdf|table     how FILE is laid out (default: detected)
  --path-len 1|2|3|5     cuvette path length in cm, for the forms' spectra (default 1)
  --exclude 3,7          leave out spectra by number, after sorting by pH
  --exclude-ph 7.00      leave out the spectra measured at this pH (as shown, "0.00")

Constants (slots 1..5 stand for pKa1..pKa5)
  --pk 4.2,8.9           start values of the optimisation, values of held slots;
                         without --zero, slots after the last value given are removed
  --hold 2               hold these slots at their --pk value (not fitted)
  --zero 3               remove this step and all after it from the model
                         (without --pk and --zero the number of constants comes from
                         the factor analysis)

Search
  --search opt|manual|auto   optimisation (default), manual grid, automatic grid
  --level normal|high|very-high   thoroughness of the optimisation (default normal)
  --range K:START:END:STEP   range of slot K for the manual grid (default as the window:
                         1:1:5:0.5, 2:3:7:0.5, 3:5:9:0.5, 4:7:11:0.5, 5:9:13:0.5)
  --evaluate             score the --pk set without searching: s(A) at full resolution
                         and on the thinned grid of the searches

Output
  --json                 results as JSON with full-precision numbers
  --forms FILE           the forms' molar absorptivities, exactly as the copy button
  --trace FILE           one line per scored trial: number, pKa1..pKa5 ('-' removed),
                         s(A)^2, thinning step
  --calc FILE            the calculated spectra (wavelength, then one column per spectrum)
  --plots DIR            spectra.png, forms.png, dadph.png (as the window draws them),
                         speciation.png and residuals.png
  --quiet                no progress line on standard error

Diagnostics
  --factors              only the factor analysis: how many absorbing forms the data support
  --noise 0.002          measurement noise (absorbance) for the factor analysis
                         (default: estimated from the smallest singular values)
  --compare              fit 1..k constants with the automatic grid and compare them by
                         s(A), AIC and BIC; k from the factor analysis, at most 5
  --ionic-strength 0.1   also give the constants on the concentration scale at this ionic
                         strength (mol/L): Davies equation at 25 C,
                         log g(z) = -0.509 z^2 (sqrt(I)/(1+sqrt(I)) - 0.3 I)

  --help, --version

Exit status: 0 results; 1 wrong options; 2 the input could not be read; 3 the search
refused to start (its message is on standard error); 4 an output file could not be written.

Examples
  ferolan-cli examples/data.mdf --search auto --pk 4,9
  ferolan-cli spectra.txt --format table --pk 4,9 --hold 2 --json > result.json
  ferolan-cli examples/data.mdf --search manual --zero 3 --range 1:3:6:0.1 --range 2:8:10:0.1
  ferolan-cli examples/data.mdf --compare --plots out/
)";
}

}  // namespace ferolan::cli
