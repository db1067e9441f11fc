#include "cli/options.h"

#include <cctype>
#include <charconv>
#include <cmath>
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

}  // namespace

bool to_double(const std::string& s, double& v) {
  if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && std::isfinite(v);
}

std::optional<Search> search_named(const std::string& name) {
  if (name == "opt") return Search::Optimisation;
  if (name == "manual") return Search::Manual;
  if (name == "auto") return Search::Auto;
  return std::nullopt;
}

namespace {

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
    } else if (arg == "--strict") {
      o.strict = true;
    } else if (arg == "--manifest") {
      if (!value(o.manifest)) return false;
    } else if (arg == "--summary") {
      if (!value(o.summary_file)) return false;
    } else if (arg == "--by-sample") {
      if (!value(o.by_sample_file)) return false;
    } else if (arg == "--threads") {
      if (!value(v)) return false;
      if (!to_int(v, o.threads) || o.threads < 1 || o.threads > 256)
        return error = "--threads takes a number from 1 to 256", false;
      o.threads_given = o.threads;
    } else if (arg == "--jobs" || arg == "-j") {
      if (!value(v)) return false;
      if (!to_int(v, o.jobs) || o.jobs < 1 || o.jobs > 256)
        return error = "--jobs takes a number from 1 to 256", false;
    } else if (arg == "--constants") {
      int n = 0;
      if (!value(v)) return false;
      if (!to_int(v, n) || n < 1 || n > 5) return error = "--constants takes 1 to 5", false;
      o.constants = n;
    } else if (arg == "--factors") {
      o.factors_only = true;
    } else if (arg == "--compare") {
      o.compare = true;
    } else if (arg == "--json-lines") {
      if (!value(o.json_lines_file)) return false;
    } else if (arg == "--no-timing") {
      o.no_timing = true;
    } else if (arg == "--shard") {
      if (!value(v)) return false;
      const size_t slash = v.find('/');
      if (slash == std::string::npos || !to_int(std::string_view(v).substr(0, slash), o.shard) ||
          !to_int(std::string_view(v).substr(slash + 1), o.shards) || o.shards < 1 ||
          o.shards > 100000 || o.shard < 1 || o.shard > o.shards)
        return error = "--shard takes K/N with 1 <= K <= N <= 100000, got '" + v + "'", false;
    } else if (arg == "--refine") {
      o.refine = true;
    } else if (arg == "--global") {
      o.global = true;
    } else if (arg == "--global-summary") {
      if (!value(o.global_summary_file)) return false;
    } else if (arg == "--global-spectra") {
      if (!value(v)) return false;
      if (v != "shared" && v != "own") return error = "--global-spectra takes shared or own", false;
      o.spectra_per_titration = v == "own";
    } else if (arg == "--conc-factors") {
      o.conc_factors = true;
    } else if (arg == "--bootstrap") {
      if (!value(v)) return false;
      if (!to_int(v, o.bootstrap) || o.bootstrap < 10 || o.bootstrap > 100000)
        return error = "--bootstrap takes a number of replicates from 10 to 100000", false;
    } else if (arg == "--seed") {
      if (!value(v)) return false;
      unsigned long long s = 0;
      auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), s);
      if (ec != std::errc() || p != v.data() + v.size())
        return error = "--seed takes a whole number from 0 to 18446744073709551615", false;
      o.seed = s;
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
      const std::optional<Search> s = search_named(v);
      if (!s) return error = "--search takes opt, manual or auto", false;
      o.search = *s;
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
      for (auto& p : split(v, ',')) {
        double d = 0;
        if (!to_double(p, d)) return error = "--exclude-ph takes pH values, got '" + p + "'", false;
        o.exclude_ph.push_back(p);
      }
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
      if (!to_double(v, d) || !(d > 0))
        return error = "--noise takes a finite positive number", false;
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
    } else {
      o.inputs.push_back(arg);
    }
  }
  if (o.help || o.version) return true;
  if (o.inputs.empty() && o.manifest.empty()) return error = "no input file (see --help)", false;
  if (!o.inputs.empty() && !o.manifest.empty())
    return error = "give either input files or --manifest, not both", false;
  if (o.factors_only) {
    const char* other = o.compare                   ? "--compare"
                        : o.refine                  ? "--refine"
                        : o.global                  ? "--global"
                        : o.evaluate                ? "--evaluate"
                        : !o.forms_file.empty()     ? "--forms"
                        : !o.calc_file.empty()      ? "--calc"
                        : !o.plots_dir.empty()      ? "--plots"
                        : !o.trace_file.empty()     ? "--trace"
                        : !o.summary_file.empty()   ? "--summary"
                        : !o.by_sample_file.empty() ? "--by-sample"
                                                    : nullptr;
    if (other)
      return error = std::string("--factors writes no constants, so ") + other +
                     " has nothing to write",
             false;
  }
  if (o.compare && o.evaluate) return error = "--compare and --evaluate exclude each other", false;
  if (o.compare && o.refine)
    return error = "--refine refines one model; --compare fits several", false;
  if (o.global && (o.compare || o.evaluate))
    return error =
               "--global fits one model from the searches' results, not with --compare or "
               "--evaluate",
           false;
  // A shard holds only some of a sample's files, and merge cannot fit them jointly afterwards.
  if (o.global && o.shards > 0)
    return error =
               "--global fits a sample's files together, which --shard would split: run the "
               "global fit without --shard",
           false;
  if (!o.global && (!o.global_summary_file.empty() || o.spectra_per_titration || o.conc_factors))
    return error = "--global-summary, --global-spectra and --conc-factors go with --global", false;
  if (o.bootstrap > 0 && !o.refine && !o.global)
    return error = "--bootstrap resamples a refined or global fit: add --refine or --global", false;
  return true;
}

const char* version_text() {
  return "ferolan-cli " FEROLAN_VERSION " (Ferolan-H5A V.1.0)";
}

const char* help_text() {
  return R"(Usage: ferolan-cli FILE_OR_FOLDER... [options]
       ferolan-cli --manifest PLAN.csv [options]
       ferolan-cli merge OUT PART... [--by-sample FILE]

Determines the acid dissociation constants pKa1..pKa5 from UV-Vis spectra measured at a
series of pH values, with the same fit, searches, uncertainty and formats as the Ferolan
window. Each FILE is a data.mdf-style stream of numbers (*.mdf) or a table (concentration
top-left, pH values in the first row, optionally a row "conc" below them with each
spectrum's concentration, wavelengths in the first column) whose cells are
separated by tabs, spaces, ';' (then ',' is the decimal mark) or ',' (then '.' is);
'-' reads standard input. A FOLDER stands for its *.mdf, *.txt, *.csv and *.tsv files,
sorted by name; hidden files (also "._*") are passed over, other files are listed once as
skipped, and FIFOs and devices are skipped with a warning (named as FILE, refused). Results go to standard output in input order; messages go to standard
error as "ferolan-cli: FILE: ...".

Input
  --format mdf|table     how the files are laid out (default: *.mdf a stream of numbers,
                         *.csv and *.tsv a table, others a table when the first line has a
                         tab or ';')
  --strict               refuse a file with an absorbance cell that is not a number or rows
                         beyond the limits (999 points of a table, 1000 of data.mdf);
                         without it they are warnings and such a cell reads as 0 (a pH or
                         wavelength that is not a number is always refused)
  --path-len 1|2|3|5     cuvette path length in cm, for the forms' spectra (default 1)
  --exclude 3,7          leave out spectra by number, after sorting by pH
  --exclude-ph 7.00      leave out the spectra measured at this pH (as shown, "0.00")

Many files
  --jobs N               analyse N files at a time (default: one per core, or the cores
                         over --threads); the output is the same for every N
  --threads N            score the trials of an optimisation sweep on N threads (default:
                         the cores over the files at a time); the trials, their order and
                         the result are the same for every N. When the system allows fewer
                         threads, the run goes on with those it has and says so
  --manifest PLAN.csv    a plan naming the files instead of FILE: a CSV with a header row
                         and the columns file (required, relative to the plan's folder),
                         sample, constants, search (opt|manual|auto), pk1..pk5, hold (slot
                         numbers separated by spaces), ionic_strength, exclude_ph (pH values
                         separated by spaces); an empty cell keeps the command line's setting.
                         Names are matched whatever their case and blanks; any other column
                         (compound id, operator, date) is passed to the summary after its own
                         columns, in the plan's order; a column named twice, a cell under no
                         column name, or a column named as one of the summary's is refused;
                         empty rows and trailing empty columns are ignored
  --summary FILE.csv     one row per file, written as files finish ('-': to standard
                         output): file, sample, status (ok|ok_with_warnings|refused|
                         unreadable), code, message, warnings (count), counts, constants,
                         search, mode1..5 (fitted|held|removed), pKa1..5, u1..5, se1..5, s_a,
                         preferred_constants, ionic_strength, pKa1_conc..pKa5_conc; a text
                         starting with = + - @ gets a leading ' (no formula); with --refine
                         refine_status, pKa1_refined..pKa5_refined, se1_refined..se5_refined
  --json-lines FILE      one JSON object per line and file, written in input order as files
                         finish ('-': standard output); memory holds only the files in work;
                         written before --global's joint fits, so its `global` is null
  --no-timing            no start time and no elapsed times in the JSON, so that two runs
                         of the same inputs write the same bytes
  --shard K/N            analyse only the K-th of N consecutive parts of the inputs (or of
                         the plan's rows); join the parts with: ferolan-cli merge OUT PART...
                         [--by-sample FILE] (docs/scale-out.md)
  --by-sample FILE.csv   one row per sample and model over its ok replicates (files of one
                         sample fitted with the same constants, mode1..5): sample, n,
                         constants, mode1..5, then per fitted pKa its n, mean, sd (n - 1) and
                         sem (sd and sem empty when n < 2), and the largest s_a. A sample
                         without a plan's sample column is the path without extension; one
                         name over several folders, or fitted with several models, is
                         said in a warning

Constants (slots 1..5 stand for pKa1..pKa5)
  --pk 4.2,8.9           start values of the optimisation, values of held slots;
                         without --zero, slots after the last value given are removed
  --constants N          the model has N constants (slots after N are removed)
  --hold 2               hold these slots at their --pk value (not fitted)
  --zero 3               remove this step and all after it from the model
                         (without --pk, --constants and --zero the number of constants comes
                         from the factor analysis; data that support fewer than two forms
                         are refused)

Search
  --search opt|manual|auto   optimisation (default), manual grid, automatic grid
  --level normal|high|very-high   thoroughness of the optimisation (default normal)
  --range K:START:END:STEP   range of slot K for the manual grid (default as the window:
                         1:1:5:0.5, 2:3:7:0.5, 3:5:9:0.5, 4:7:11:0.5, 5:9:13:0.5)
  --evaluate             score the --pk set without searching: s(A) at full resolution
                         and on the thinned grid of the searches
  --refine               also refine the result (of --evaluate: the --pk set) to the exact
                         least-squares minimum of the same score, in double precision
                         (Levenberg-Marquardt, the forms' spectra solved at every step), with
                         standard errors from its Jacobian; printed beside the search's
                         result, `refined` in the JSON, pKa1_refined.., se1_refined.. and
                         refine_status in the summary
  --bootstrap N          with --refine or --global: N refits of data sets rebuilt from the
                         fit and its resampled residuals (and, for --global, of titrations
                         drawn with replacement); the 2.5 and 97.5 percentiles of each
                         constant beside its standard error. On --jobs threads; the same
                         result for every thread count
  --seed S               seed of --bootstrap (default 1)

Several titrations of one acid
  --global               fit the files (with --manifest: the files of each sample) as
                         titrations of one acid: shared constants, each file its own pH
                         values, concentration and path length, the wavelengths common to
                         all (the others named in a warning); started from the median of
                         the files' own automatic-grid results (their search's results
                         with --search auto). Printed after the files' own results; the
                         JSON of every file gains its sample's `global` object (not with
                         --shard, which would split a sample)
  --global-spectra shared|own   one set of forms' spectra for all (default: the same
                         compound in the same kind of cell) or one per titration
                         (different instruments)
  --conc-factors         fit a concentration factor for every titration after the first
                         (stated concentrations that are not exact)
  --global-summary FILE.csv   one row per global fit: sample, files (separated by ';'),
                         titrations, constants, pKa1..pKa5, se1..se5, lo1..lo5 and hi1..hi5
                         (bootstrap percentiles), s_a (pooled), s_a_titrations and factors
                         (one per titration, separated by ';'), status, code

Output
  --json                 results as JSON (docs/json.md): one object, or an array of them
                         for several files; the same keys in every mode
  --forms FILE           the forms' molar absorptivities, exactly as the copy button
                         (a single input only)
  --calc FILE            the calculated spectra (wavelength, then one column per spectrum)
                         (a single input only)
  --trace FILE|DIR       one line per scored trial: number, pKa1..pKa5 ('-' removed),
                         s(A)^2, thinning step; with several inputs DIR/NAME.trace each
  --plots DIR            spectra.png, forms.png, dadph.png (as the window draws them),
                         speciation.png and residuals.png, and SVG versions with axes and
                         legends; with several inputs DIR/NAME/ each
  --quiet                no progress bar on standard error (there is none on a pipe)

Diagnostics
  --factors              only the factor analysis: how many absorbing forms the data support
  --noise 0.002          measurement noise (absorbance) for the factor analysis
                         (default: estimated from the smallest singular values)
  --compare              fit 1..k constants with the automatic grid and compare them by
                         s(A), AIC and BIC; k from the factor analysis, at most 5
  --ionic-strength 0.1   also give the constants on the concentration scale at this ionic
                         strength (mol/L): Davies equation at 25 C,
                         log g(z) = -0.51 z^2 (sqrt(I)/(1+sqrt(I)) - 0.3 I)

  --help, --version

Status of each file (JSON "status" and "code", summary columns status and code)
  ok                     a result
  ok_with_warnings       a result with warnings to look at (exit status 0; --strict refuses
                         it with the warning's code): not_a_number, row_not_read (cells read
                         as 0, an empty row); beyond_window (a data.mdf read whole of which
                         the window reads only 50 spectra x 1000 points); lack_of_fit (s(A) above 3 x the factor analysis'
                         noise); more_constants_than_forms; pka_outside_ph_range;
                         negative_uncertainty; pictures_not_written; all_constants_removed
                         (--zero 1: slot 1 is tried all the same, as in the window)
  refused                read but not analysed, with a code:
    2: too_large, not_text, empty, no_spectra, no_wavelengths, too_many_columns,
       too_many_rows, too_many_points, no_ph,
       truncated, non_finite, value_out_of_range, wavelength_out_of_range,
       ph_not_a_number, wavelength_not_a_number, mostly_text, not_a_number, row_not_read,
       out_of_memory, concentration_not_a_number, concentration_not_positive,
       concentration_row_misplaced (a table's row of concentrations per spectrum)
    1: hold_removed, exclude_out_of_range, exclude_ph_not_found
    3: no_signal, absorbance_too_small, ph_range_too_narrow (spectra within one pH unit),
       too_few_forms, no_fitted_slot, too_few_spectra, start_value_missing,
       held_value_missing, range_start, range_end, range_order, range_step,
       ph_out_of_range, absorbance_too_large, search_refused, no_result, stopped (by a
       signal), conc_per_spectrum (a concentration per spectrum without --refine or
       --global), and with --strict the fit's warnings
  unreadable             cannot_open, is_directory, not_regular, read_error (exit status 2)

Exit status: 0 when every file is ok or ok_with_warnings; otherwise the highest status of
any file or of the run: 1 wrong options, or an option that does not fit a file's data; 2 a
file could not be read or is not spectra (also --strict); 3 a file was refused before or by
its search (no model the data support, a search that refused to start; with --strict a
warning of its fit); 4 an output (a table, a picture, standard output) could not be written.
Every file is written under a temporary name in its folder and renamed when complete, so a
name holds the previous file or the whole new one. SIGINT (Ctrl-C) or SIGTERM stops the run:
no file is started, those in work finish, the results of the finished files are written, and
the status is 130 (SIGINT) or 143 (SIGTERM). An output that would overwrite an input, the
plan or another output is refused (status 1) before anything is written.

Examples
  ferolan-cli examples/data.mdf --search auto --pk 4,9
  ferolan-cli spectra.txt --format table --pk 4,9 --hold 2 --json > result.json
  ferolan-cli examples/data.mdf --search manual --zero 3 --range 1:3:6:0.1 --range 2:8:10:0.1
  ferolan-cli acids/ --search auto --summary summary.csv
  ferolan-cli examples/data.mdf --compare --plots out/
  ferolan-cli --manifest plan.csv --summary s.csv --by-sample r.csv --jobs 2
  ferolan-cli --global acids/a31_1.txt acids/a31_2.txt acids/a31_3.txt --pk 4.7,8.2 \
      --bootstrap 200
)";
}

}  // namespace ferolan::cli
