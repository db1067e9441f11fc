// The Python module `ferolan`: the batch tool's reading, analysis and JSON over the engine,
// with numpy arrays in and out. Everything numeric is the engine's or the batch tool's; this
// file only converts, releases the GIL and watches the search for Ctrl-C, a cancel token and
// the progress callback.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/analyse.h"
#include "cli/batch.h"
#include "cli/data_file.h"
#include "cli/global.h"
#include "cli/json.h"
#include "cli/manifest.h"
#include "cli/outputs.h"
#include "cli/refined.h"
#include "cli/report_impl.h"
#include "cli/session.h"
#include "engine/analysis/bootstrap.h"
#include "engine/analysis/fit_access.h"
#include "engine/analysis/global_fit.h"
#include "engine/analysis/ph_scale.h"
#include "engine/import/import.h"
#include "engine/import/import_common.h"
#include "engine/model/fit.h"
#include "engine/search/cancel.h"
#include "engine/search/run.h"
#include "ferolan_py.h"

namespace py = pybind11;
using namespace ferolan;

namespace {

// Borrowed: the module outlives every call into it, and a static owner would be released
// after the interpreter.
py::handle& module_ref() {
  static py::handle m;
  return m;
}

// Raises the module's exception class `kind` (defined in its Python part) with the batch
// tool's code and English sentence.
[[noreturn]] void raise(const char* kind, const std::string& code, const std::string& message) {
  py::object e = module_ref().attr(kind)(message, code);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr());
  throw py::error_already_set();
}

// ---------------------------------------------------------------------------------------------
// Data sets

struct Dataset {
  cli::DataFile input;  // how it was read; input.data holds the data set as read
  std::string source;   // the file, empty for arrays
  int path_len = 1;
  // A concentration per spectrum (mol/L, in the order given) when they differ; the data set's
  // acid_conc is then their mean, which no search may take for the acid's.
  std::vector<double> conc_spectra;
  // score() and evaluate(): the data set as an import leaves it (with whether the batch tool
  // refuses it) and one fit's scratch, made when first needed and kept, as a search's run
  // keeps them.
  std::mutex fit_mutex;
  std::shared_ptr<const DataSet> imported;
  bool refused = false;
  std::unique_ptr<CalcState> scratch;
};

constexpr int kNumpyOk = py::array::forcecast;
// How often a running search or folder looks for Ctrl-C: well within the tenth of a second a
// stop may take.
constexpr int kSignalPollMs = 20;

// The kinds of numpy data a value array may hold: real numbers (integers or floats).
bool real_dtype(const py::array& a) {
  const char k = a.dtype().kind();
  return k == 'f' || k == 'i' || k == 'u';
}

py::array as_array(const py::handle& h, const char* name) {
  if (py::isinstance<py::array>(h)) return py::reinterpret_borrow<py::array>(h);
  if (py::isinstance<py::str>(h) || py::isinstance<py::bytes>(h))
    raise("DataError", "wrong_type", std::string(name) + " must be an array of numbers, not text");
  try {
    return py::array::ensure(h);
  } catch (py::error_already_set&) {
  }
  raise("DataError", "wrong_type", std::string(name) + " must be an array of numbers");
}

// A numeric array of `ndim` dimensions as float64 (C order, a copy when needed): the engine
// stores singles, and float32, float64 and integers of the same values give the same data.
py::array_t<double, py::array::c_style> numeric(const py::handle& h, const char* name, int ndim) {
  py::array a = as_array(h, name);
  if (!real_dtype(a))
    raise("DataError", "wrong_dtype",
          std::string(name) + " must hold real numbers (float or integer), not dtype " +
              py::str(a.dtype()).cast<std::string>());
  if (a.ndim() != ndim)
    raise("DataError", "wrong_shape",
          std::string(name) + " must have " + std::to_string(ndim) + " dimension" +
              (ndim > 1 ? "s" : "") + ", not " + std::to_string(a.ndim()));
  return py::array_t<double, py::array::c_style | kNumpyOk>::ensure(a);
}

std::string index_text(const char* name, long i, long j = -1) {
  std::string t = std::string(name) + "[" + std::to_string(i);
  if (j >= 0) t += ", " + std::to_string(j);
  return t + "]";
}

std::shared_ptr<Dataset> dataset_from_arrays(const py::handle& ph_h, const py::handle& wl_h,
                                             const py::handle& a_h, const py::handle& conc_h,
                                             int path_len) {
  auto ph = numeric(ph_h, "ph", 1);
  auto wl = numeric(wl_h, "wavelengths", 1);
  auto a = numeric(a_h, "absorbance", 2);
  const long n_sp = static_cast<long>(ph.shape(0)), n_wl = static_cast<long>(wl.shape(0));
  if (n_sp == 0) raise("DataError", "no_spectra", "ph is empty: the data set has no spectrum");
  if (n_wl == 0)
    raise("DataError", "no_wavelengths", "wavelengths is empty: the spectra have no point");
  if (a.shape(0) != n_sp || a.shape(1) != n_wl)
    raise("DataError", "wrong_shape",
          "absorbance must be shaped spectra x points = (" + std::to_string(n_sp) + ", " +
              std::to_string(n_wl) + ") to match ph and wavelengths, not (" +
              std::to_string(a.shape(0)) + ", " + std::to_string(a.shape(1)) + ")");
  if (path_len != 1 && path_len != 2 && path_len != 3 && path_len != 5)
    raise("DataError", "path_len",
          "path_len takes 1, 2, 3 or 5 (cm), not " + std::to_string(path_len));
  // conc: one number, or one per spectrum.
  std::vector<double> concs;
  if (py::isinstance<py::str>(conc_h) || py::isinstance<py::bool_>(conc_h) ||
      py::isinstance<py::bytes>(conc_h))
    raise("DataError", "wrong_type", "conc must be a number (mol/L) or one per spectrum");
  if (py::isinstance<py::float_>(conc_h) || py::isinstance<py::int_>(conc_h) ||
      (py::isinstance<py::array>(conc_h) &&
       py::reinterpret_borrow<py::array>(conc_h).ndim() == 0)) {
    try {
      concs.push_back(py::float_(py::reinterpret_borrow<py::object>(conc_h)).cast<double>());
    } catch (py::error_already_set&) {
      raise("DataError", "wrong_type", "conc must be a number (mol/L) or one per spectrum");
    }
  } else {
    auto c = numeric(conc_h, "conc", 1);
    if (c.shape(0) != n_sp)
      raise("DataError", "wrong_shape",
            "conc must be one number or one per spectrum (" + std::to_string(n_sp) + "), not " +
                std::to_string(c.shape(0)));
    auto v = c.unchecked<1>();
    for (long i = 0; i < n_sp; ++i) concs.push_back(v(i));
  }
  auto data = std::make_shared<DataSet>();
  DataSet& d = *data;
  auto single = [](double v, const std::string& where, float& out) {
    if (!std::isfinite(v)) raise("DataError", "non_finite", where + " is not a finite number");
    if (!to_single(v, out))
      raise("DataError", "value_out_of_range", where + " is beyond the range of the stored values");
  };
  std::vector<double> per_spectrum;
  for (size_t i = 0; i < concs.size(); ++i) {
    const std::string where = concs.size() == 1 ? "conc" : index_text("conc", static_cast<long>(i));
    float c = 0;
    single(concs[i], where, c);
    if (!(c > 0)) raise("DataError", "conc_not_positive", where + " must be above 0 mol/L");
    per_spectrum.push_back(c);
  }
  // The same stored value for every spectrum is one concentration.
  if (std::all_of(per_spectrum.begin(), per_spectrum.end(),
                  [&](double c) { return c == per_spectrum[0]; })) {
    d.acid_conc = static_cast<float>(per_spectrum[0]);
    per_spectrum.clear();
  } else {
    d.acid_conc =
        static_cast<float>(std::accumulate(per_spectrum.begin(), per_spectrum.end(), 0.0) /
                           static_cast<double>(per_spectrum.size()));
  }
  // Any size that fits in memory (the wavelengths' range bounds the points).
  if (n_sp > INT_MAX / 2 || n_wl > INT_MAX / 2)
    raise("DataError", "out_of_memory", "the data set is too large to hold");
  try {
    d.resize(static_cast<int>(n_sp), static_cast<int>(n_wl));
  } catch (const std::bad_alloc&) {
    raise("DataError", "out_of_memory",
          std::to_string(n_sp) + " spectra x " + std::to_string(n_wl) +
              " points do not fit in memory");
  }
  auto p = ph.unchecked<1>();
  for (long i = 0; i < n_sp; ++i) single(p(i), index_text("ph", i), d.ph_values[i + 1]);
  auto w = wl.unchecked<1>();
  for (long i = 0; i < n_wl; ++i) {
    if (!std::isfinite(w(i)))
      raise("DataError", "non_finite", index_text("wavelengths", i) + " is not a finite number");
    if (!to_wavelength(w(i), d.wavelengths[i + 1]))
      raise("DataError", "wavelength_out_of_range",
            index_text("wavelengths", i) + " is outside -32768..32767 nm");
  }
  auto ab = a.unchecked<2>();
  for (long i = 0; i < n_sp; ++i)
    for (long j = 0; j < n_wl; ++j)
      single(ab(i, j), index_text("absorbance", i, j), d.absorbance[j + 1][i + 1]);
  for (int i = 1; i <= d.n_spectra; ++i) d.spectrum_used[i] = 1;
  // What a search would refuse in these values is refused here, in the engine's words.
  if (auto r = data_problem(d))
    raise("DataError", message_code(r->msg), message_english(r->msg, r->slot));

  auto ds = std::make_shared<Dataset>();
  ds->input.ok = true;
  ds->input.data = std::move(data);
  ds->path_len = path_len;
  ds->conc_spectra = std::move(per_spectrum);
  return ds;
}

// Searches and scores take one concentration for every spectrum.
void refuse_conc_per_spectrum(const Dataset& ds) {
  if (!ds.conc_spectra.empty())
    raise("RefusedError", "conc_per_spectrum",
          "the searches take one concentration for every spectrum; refine() and global_fit() "
          "fit a concentration per spectrum");
}

std::shared_ptr<Dataset> read_file(const std::string& path, const std::string& format,
                                   int path_len) {
  cli::InputFormat f = cli::InputFormat::Detect;
  if (format == "mdf")
    f = cli::InputFormat::Mdf;
  else if (format == "table")
    f = cli::InputFormat::Table;
  else if (!format.empty())
    raise("DataError", "format", "format takes \"mdf\", \"table\" or None, not \"" + format + "\"");
  if (path_len != 1 && path_len != 2 && path_len != 3 && path_len != 5)
    raise("DataError", "path_len",
          "path_len takes 1, 2, 3 or 5 (cm), not " + std::to_string(path_len));
  cli::FileResult probe;
  std::optional<std::string> bytes;
  {
    py::gil_scoped_release unlocked;
    bytes = cli::read_input_file(path, probe);
  }
  if (!bytes) raise("DataError", probe.code, path + ": " + probe.message);
  if (const std::string why = cli::not_text_reason(*bytes); !why.empty())
    raise("DataError", "not_text", path + ": " + why);
  auto ds = std::make_shared<Dataset>();
  ds->input = cli::read_data_file(path, *bytes, f);
  if (!ds->input.ok) raise("DataError", ds->input.code, path + ": " + ds->input.message);
  ds->source = path;
  ds->path_len = path_len;
  ds->conc_spectra = ds->input.conc_spectra;
  return ds;
}

const DataSet& data_of(const Dataset& ds) {
  return *ds.input.data;
}

py::array_t<double> ph_array(const Dataset& ds) {
  const DataSet& d = data_of(ds);
  py::array_t<double> out(d.n_spectra);
  auto o = out.mutable_unchecked<1>();
  for (int i = 0; i < d.n_spectra; ++i) o(i) = d.ph_values[i + 1];
  return out;
}

py::array_t<double> wavelength_array(const DataSet& d) {
  py::array_t<double> out(d.n_wavelengths);
  auto o = out.mutable_unchecked<1>();
  for (int i = 0; i < d.n_wavelengths; ++i) o(i) = d.wavelengths[i + 1];
  return out;
}

py::array_t<double> absorbance_array(const Dataset& ds) {
  const DataSet& d = data_of(ds);
  py::array_t<double> out(
      {static_cast<py::ssize_t>(d.n_spectra), static_cast<py::ssize_t>(d.n_wavelengths)});
  auto o = out.mutable_unchecked<2>();
  for (int i = 0; i < d.n_spectra; ++i)
    for (int w = 0; w < d.n_wavelengths; ++w) o(i, w) = d.absorbance[w + 1][i + 1];
  return out;
}

std::vector<std::string> warning_texts(const Dataset& ds) {
  std::vector<std::string> out;
  for (const cli::CellWarning& w : ds.input.warnings) out.push_back(cli::located(w));
  return out;
}

// The data set as the batch tool's session loads it (sorted by pH, every spectrum included);
// with ds.fit_mutex held.
const DataSet& imported(Dataset& ds) {
  if (!ds.imported) {
    auto d = std::make_shared<DataSet>(data_of(ds));
    sort_by_ph(*d);
    find_a_max(*d);
    for (int i = 1; i <= d->n_spectra; ++i) d->spectrum_used[i] = 1;
    ds.refused = cli::data_refusal(*d).has_value() || data_problem(*d).has_value();
    ds.imported = std::move(d);
  }
  return *ds.imported;
}

// One fit of a constant set, as a search scores a trial: s(A) on every fit_step-th point.
double score(Dataset& ds, const std::vector<double>& pk, int fit_step, long repeat) {
  if (pk.empty() || pk.size() > kSlots)
    raise("RefusedError", "too_many_constants", "pk takes 1..5 values");
  if (fit_step < 1) raise("RefusedError", "fit_step", "fit_step must be 1 or more");
  refuse_conc_per_spectrum(ds);
  std::lock_guard lock(ds.fit_mutex);
  imported(ds);
  if (!ds.scratch) ds.scratch = std::make_unique<CalcState>();
  CalcState& c = *ds.scratch;
  SlotModes modes{};
  c.ka = {};
  for (int k = 1; k <= kSlots; ++k) {
    modes[k] = k <= static_cast<int>(pk.size()) ? SlotMode::Fitted : SlotMode::Removed;
    if (modes[k] == SlotMode::Removed) continue;
    const float v = static_cast<float>(pk[k - 1]);
    if (!start_value_ok(v))
      raise("RefusedError", "start_value_missing",
            "pKa" + std::to_string(k) + " is no value a fit can use");
    c.ka[k] = ka_of(v);
  }
  const DataSet& d = *ds.imported;
  chy_dostatno_spektriv(d, modes, c);
  if (c.used_spectra_count == 0)
    raise("RefusedError", "too_few_spectra", message_english(Msg::TooFewSpectra, 0));
  c.fit_step = static_cast<int16_t>(std::min(fit_step, 1000));
  {
    py::gil_scoped_release unlocked;
    for (long i = 0; i < repeat; ++i) rozrah(d, c);
  }
  return std::sqrt(c.s_a_sq);
}

// ---------------------------------------------------------------------------------------------
// Watching a search: the GIL is released while it runs; at its yields the watch takes the GIL
// only as often as Ctrl-C and the progress callback need.

class PyWatch : public cli::SearchWatch {
 public:
  using Clock = std::chrono::steady_clock;
  PyWatch(CancelToken& token, py::object progress)
      : token_(token),
        progress_(std::move(progress)),
        t0_(Clock::now()),
        last_signals_(t0_),
        last_progress_(t0_) {}
  ~PyWatch() override {
    py::gil_scoped_acquire locked;
    progress_ = py::object();
    error_.reset();
  }

  void yielded(const SearchState& search) override {
    if (error_ || token_.cancelled()) return;
    const auto now = Clock::now();
    const bool signals = now - last_signals_ >= std::chrono::milliseconds(kSignalPollMs);
    const bool progress = progress_ && now - last_progress_ >= std::chrono::milliseconds(100);
    if (!signals && !progress) return;
    py::gil_scoped_acquire locked;
    if (signals) {
      last_signals_ = now;
      if (PyErr_CheckSignals() != 0) {
        error_.emplace();
        token_.cancel();
        return;
      }
    }
    if (progress) {
      last_progress_ = now;
      try {
        progress_(search.trials, std::chrono::duration<double>(now - t0_).count());
      } catch (py::error_already_set& e) {
        error_.emplace(std::move(e));
        token_.cancel();
      }
    }
  }

  // With the GIL: raises what the watch caught (KeyboardInterrupt, the callback's error).
  void rethrow() {
    if (error_) {
      py::error_already_set e = std::move(*error_);
      error_.reset();
      throw e;
    }
  }
  bool caught() const { return error_.has_value(); }

 private:
  CancelToken& token_;
  py::object progress_;
  Clock::time_point t0_, last_signals_, last_progress_;
  std::optional<py::error_already_set> error_;
};

// ---------------------------------------------------------------------------------------------
// Results

struct Result {
  // What the batch tool reports. A lean evaluation holds only its constants, s(A) and fit
  // until full() completes it with the batch tool's own evaluation (diagnostics, JSON).
  std::shared_ptr<const cli::FileResult> file;
  bool complete = true;
  std::shared_ptr<Dataset> source;      // lean: what to complete from
  py::dict kw;                          // lean: the call's arguments
  std::shared_ptr<const DataSet> data;  // as the search or the evaluation used it
  std::shared_ptr<cli::Session> session;
  bool stopped = false;
  // The fit at the result: the search's or the evaluation's (made when first asked for after
  // a model comparison, which keeps none).
  std::shared_ptr<const FitArrays> fit;
};

// mean_conc_ok: a search for a start only, which may take the mean of per-spectrum
// concentrations.
Result analyse(const Dataset& ds, const std::string& mode, const py::dict& kw,
               bool mean_conc_ok = false);

// The batch tool's result, complete (a lean evaluation is completed once, on first need).
const cli::FileResult& full(Result& r) {
  if (!r.complete) {
    Result f = analyse(*r.source, "evaluate", r.kw);
    if (!r.complete) {  // another thread may have completed it meanwhile
      r.file = std::move(f.file);
      r.session = std::move(f.session);
      r.complete = true;
      r.kw = py::dict();
    }
  }
  return *r.file;
}

const FitArrays& fit_of(Result& r) {
  if (!r.fit) {
    Arr1<float, kSlots> pk{};
    SlotModes modes{};
    for (int k = 1; k <= kSlots; ++k) {
      const cli::SlotResult& s = r.file->per_slot[k];
      modes[k] = !s.state || s.state[0] == 'r' ? SlotMode::Removed
                 : s.state[0] == 'h'           ? SlotMode::Held
                                               : SlotMode::Fitted;
      pk[k] = static_cast<float>(s.pka.value_or(0));
    }
    std::shared_ptr<const FitArrays> fit;
    {
      py::gil_scoped_release unlocked;
      fit = std::make_shared<const FitArrays>(evaluate(*r.data, pk, modes).fit);
    }
    if (!r.fit) r.fit = std::move(fit);  // with the GIL: another thread may have made it
  }
  return *r.fit;
}

std::vector<int> model_slots(const Result& r) {
  std::vector<int> slots;
  for (int k = 1; k <= kSlots; ++k) {
    const char* s = r.file->per_slot[k].state;
    if (s && s[0] != 'r') slots.push_back(k);
  }
  return slots;
}

py::array_t<double> slot_values(const Result& r,
                                const std::optional<double> cli::SlotResult::*field) {
  const std::vector<int> slots = model_slots(r);
  py::array_t<double> out(static_cast<py::ssize_t>(slots.size()));
  auto o = out.mutable_unchecked<1>();
  for (size_t i = 0; i < slots.size(); ++i) {
    const auto& v = r.file->per_slot[slots[i]].*field;
    o(static_cast<py::ssize_t>(i)) = v ? *v : std::nan("");
  }
  return out;
}

std::string shortest(double v) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

// A pKa given from Python as the text a box would hold: the shortest that reads back as it.
std::string pk_text(const py::handle& h, const char* what) {
  if (h.is_none()) return "";
  if (py::isinstance<py::str>(h)) return h.cast<std::string>();
  if (py::isinstance<py::bool_>(h))
    raise("RefusedError", "wrong_type", std::string(what) + " must be numbers");
  double v = 0;
  try {
    v = py::float_(py::reinterpret_borrow<py::object>(h)).cast<double>();
  } catch (py::error_already_set&) {
    raise("RefusedError", "wrong_type", std::string(what) + " must be numbers");
  }
  if (!std::isfinite(v))
    raise("RefusedError", "non_finite", std::string(what) + " must be finite numbers");
  return shortest(v);
}

std::vector<int> slot_list(const py::handle& h, const char* what) {
  std::vector<int> out;
  if (h.is_none()) return out;
  py::list items = py::isinstance<py::int_>(h) ? py::list(py::make_tuple(h))
                                               : py::list(py::reinterpret_borrow<py::object>(h));
  for (const py::handle& i : items) {
    if (!py::isinstance<py::int_>(i) || py::isinstance<py::bool_>(i))
      raise("RefusedError", "wrong_type", std::string(what) + " takes slot numbers 1..5");
    const int k = i.cast<int>();
    if (k < 1 || k > kSlots)
      raise("RefusedError", "slot_out_of_range",
            std::string(what) + " takes slot numbers 1..5, not " + std::to_string(k));
    out.push_back(k);
  }
  return out;
}

// The batch tool's options for one analysis from the Python arguments.
cli::Options options_of(const std::string& mode, const py::dict& kw) {
  cli::Options o;
  auto get = [&](const char* key) -> py::object {
    return kw.contains(key) ? py::reinterpret_borrow<py::object>(kw[key]) : py::none();
  };
  if (mode == "opt")
    o.search = cli::Search::Optimisation;
  else if (mode == "manual")
    o.search = cli::Search::Manual;
  else if (mode == "auto")
    o.search = cli::Search::Auto;
  else if (mode == "evaluate")
    o.evaluate = true;
  else if (mode == "compare")
    o.compare = true;
  else if (mode == "factors")
    o.factors_only = true;
  if (py::object pk = get("pk"); !pk.is_none()) {
    if (py::isinstance<py::str>(pk))
      raise("RefusedError", "wrong_type", "pk must be a list of numbers");
    for (const py::handle& v : py::list(pk)) o.pk.push_back(pk_text(v, "pk"));
    if (o.pk.size() > kSlots) raise("RefusedError", "too_many_constants", "pk takes 1..5 values");
  }
  o.hold = slot_list(get("hold"), "hold");
  if (py::object c = get("constants"); !c.is_none()) {
    if (!py::isinstance<py::int_>(c) || py::isinstance<py::bool_>(c))
      raise("RefusedError", "wrong_type", "constants must be an integer 1..5");
    const int n = c.cast<int>();
    if (n < 1 || n > kSlots)
      raise("RefusedError", "constants", "constants takes 1..5, not " + std::to_string(n));
    o.constants = n;
  }
  if (py::object lv = get("level"); !lv.is_none()) {
    const std::string l = py::str(lv);
    o.level = l == "normal" ? 1 : l == "high" ? 2 : l == "very-high" ? 3 : 0;
    if (!o.level)
      raise("RefusedError", "level",
            "level takes \"normal\", \"high\" or \"very-high\", not \"" + l + "\"");
  }
  if (py::object rs = get("ranges"); !rs.is_none()) {
    int slot = 0;
    for (const py::handle& r : py::list(rs)) {
      ++slot;
      if (r.is_none()) continue;  // a held slot's
      py::tuple t;
      try {
        t = py::tuple(py::reinterpret_borrow<py::object>(r));
      } catch (py::error_already_set&) {
        raise("RefusedError", "wrong_type", "each range is (start, end, step) or None");
      }
      if (t.size() != 3 || slot > kSlots)
        raise("RefusedError", "wrong_shape", "each range is (start, end, step), one per slot 1..5");
      o.ranges.push_back(
          {slot, pk_text(t[0], "ranges"), pk_text(t[1], "ranges"), pk_text(t[2], "ranges")});
    }
    if (!o.constants && o.pk.empty()) o.constants = slot;
  }
  if (py::object t = get("threads"); !t.is_none()) o.threads = std::max(0, t.cast<int>());
  o.exclude = slot_list(py::none(), "exclude");
  if (py::object ex = get("exclude"); !ex.is_none())
    for (const py::handle& i : py::list(ex)) {
      const int s = i.cast<int>();
      if (s < 1) raise("RefusedError", "exclude_out_of_range", "exclude takes spectra from 1");
      o.exclude.push_back(s);
    }
  if (py::object ex = get("exclude_ph"); !ex.is_none())
    for (const py::handle& i : py::list(ex)) o.exclude_ph.push_back(pk_text(i, "exclude_ph"));
  if (py::object i = get("ionic_strength"); !i.is_none()) {
    const double v = i.cast<double>();
    if (!std::isfinite(v) || v < 0)
      raise("RefusedError", "ionic_strength", "ionic_strength must be a finite number >= 0");
    o.ionic_strength = v;
  }
  if (py::object n = get("noise"); !n.is_none()) {
    const double v = n.cast<double>();
    if (!std::isfinite(v) || v <= 0)
      raise("RefusedError", "noise", "noise must be a finite number above 0");
    o.noise = v;
  }
  if (py::object s = get("strict"); !s.is_none()) o.strict = s.cast<bool>();
  return o;
}

Result analyse(const Dataset& ds, const std::string& mode, const py::dict& kw, bool mean_conc_ok) {
  if (!mean_conc_ok) refuse_conc_per_spectrum(ds);
  cli::FileJob job;
  auto settings = std::make_shared<cli::Options>(options_of(mode, kw));
  settings->path_len = ds.path_len;
  job.settings = settings;
  job.path = ds.source;
  job.sample = ds.source.empty() ? "" : cli::sample_of(ds.source);
  if (kw.contains("trace") && !kw["trace"].is_none())
    job.trace_path = py::str(py::module_::import("os").attr("fspath")(kw["trace"]));
  // The caller's token, or one of this call's for Ctrl-C and the callback.
  auto token = std::make_shared<CancelToken>();
  if (kw.contains("cancel") && !kw["cancel"].is_none()) {
    if (!py::isinstance<CancelToken>(kw["cancel"]))
      raise("RefusedError", "wrong_type", "cancel must be a ferolan.CancelToken");
    token = kw["cancel"].cast<std::shared_ptr<CancelToken>>();
  }
  py::object progress =
      kw.contains("progress") ? py::reinterpret_borrow<py::object>(kw["progress"]) : py::none();
  if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
    raise("RefusedError", "wrong_type", "progress must be callable");
  PyWatch watch(*token, progress.is_none() ? py::object() : progress);
  job.watch = &watch;
  job.cancel = token.get();

  Result r;
  {
    py::gil_scoped_release unlocked;
    // A search for a start takes the mean, which the file's data set holds already.
    cli::DataFile mean_only;
    const cli::DataFile* input = &ds.input;
    if (!ds.input.conc_spectra.empty()) {
      mean_only = ds.input;
      mean_only.conc_spectra.clear();
      input = &mean_only;
    }
    auto file = std::make_shared<cli::FileResult>(cli::analyse_data(job, *input, &r.session));
    r.file = std::move(file);
  }
  watch.rethrow();
  r.stopped = token->cancelled();
  const cli::FileResult& f = *r.file;
  // A cancelled search still has its best set so far; the JSON says it was stopped.
  if (!cli::has_result(f.status) && !(r.stopped && f.code == "stopped"))
    raise(f.exit_status == cli::kInput ? "DataError" : "RefusedError", f.code, f.message);
  r.data = std::shared_ptr<const DataSet>(r.session, &r.session->st->data);
  r.fit = f.fit;
  return r;
}

// evaluate(): the engine's evaluation of the constants, the rest of the batch tool's (its
// diagnostics and JSON) only when asked for. Arguments the lean path does not take (texts,
// left-out spectra, held slots) and whatever it would refuse go the batch tool's whole way,
// which words the refusal.
Result evaluate_result(const std::shared_ptr<Dataset>& ds, const py::dict& kw) {
  refuse_conc_per_spectrum(*ds);
  auto whole = [&] { return analyse(*ds, "evaluate", kw); };
  for (const auto& item : kw) {
    const std::string key = py::str(item.first);
    if (key != "pk" && key != "ionic_strength" && key != "noise") return whole();
  }
  if (!kw.contains("pk") || py::isinstance<py::str>(kw["pk"]) ||
      !py::isinstance<py::sequence>(kw["pk"]))
    return whole();
  const py::sequence values = kw["pk"];
  const size_t n = values.size();
  if (n == 0 || n > kSlots) return whole();
  Arr1<float, kSlots> pk{};
  SlotModes modes{};
  for (int k = 1; k <= kSlots; ++k) {
    modes[k] = k <= static_cast<int>(n) ? SlotMode::Fitted : SlotMode::Removed;
    if (modes[k] == SlotMode::Removed) continue;
    const py::object v = values[k - 1];
    if (!PyFloat_Check(v.ptr()) && !(PyLong_Check(v.ptr()) && !PyBool_Check(v.ptr())))
      return whole();
    const double x = PyFloat_AsDouble(v.ptr());
    if (x == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      return whole();
    }
    if (!std::isfinite(x)) return whole();
    pk[k] = static_cast<float>(x);
  }
  std::shared_ptr<const DataSet> data;
  {
    std::lock_guard lock(ds->fit_mutex);
    imported(*ds);
    if (ds->refused) return whole();
    data = ds->imported;
  }
  Evaluation e;
  {
    py::gil_scoped_release unlocked;
    e = evaluate(*data, pk, modes);
  }
  if (e.refusal) return whole();
  auto file = std::make_shared<cli::FileResult>();
  file->mode = "evaluate";
  for (int k = 1; k <= kSlots; ++k) {
    cli::SlotResult& s = file->per_slot[k];
    s.state = slot_mode_name(modes[k]);
    if (modes[k] == SlotMode::Removed) continue;
    s.pka = pk[k];
    s.ka = e.ka[k];
  }
  file->s_a = e.s_a;
  file->s_a_thinned = e.s_a_thinned;
  Result r;
  r.file = std::move(file);
  r.complete = false;
  r.source = ds;
  r.kw = kw;
  r.data = std::move(data);
  r.fit = std::make_shared<const FitArrays>(std::move(e.fit));
  return r;
}

std::string result_repr(const Result& r) {
  std::string out;
  const cli::FileResult& f = *r.file;
  for (int k : model_slots(r)) {
    const cli::SlotResult& s = f.per_slot[k];
    out += "pKa" + std::to_string(k) + " = ";
    if (!s.pka_text.empty() && s.state[0] == 'f' && f.mode != "evaluate")
      out += s.pka_text;
    else
      out += s.pka_text.empty() ? shortest(*s.pka) : s.pka_text;
    if (s.state[0] == 'h') out += " (held)";
    if (f.mode == "evaluate") out += " (evaluated)";
    out += "\n";
  }
  if (f.s_a) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2e", *f.s_a);
    out += std::string("s(A) = ") + buf + "\n";
  }
  if (r.stopped) out += "(stopped before the end of the search)\n";
  if (!out.empty()) out.pop_back();
  return out;
}

int forms_of(const Result& r) {
  analysis::KaSet ka{};
  for (int k = 1; k <= kSlots; ++k) ka[k] = r.file->per_slot[k].ka.value_or(0.0);
  return analysis::present_forms(ka);
}

py::array_t<double> forms_spectra(Result& r) {
  const FitArrays& f = fit_of(r);
  const int forms = forms_of(r);
  py::array_t<double> out({static_cast<py::ssize_t>(f.points), py::ssize_t{forms}});
  auto o = out.mutable_unchecked<2>();
  for (int p = 0; p < f.points; ++p)
    for (int j = 0; j < forms; ++j) o(p, j) = f.form_spectra[static_cast<size_t>(p) * kForms + j];
  return out;
}

py::array_t<double> concentrations(Result& r) {
  const FitArrays& f = fit_of(r);
  const int forms = forms_of(r);
  const auto n = static_cast<py::ssize_t>(f.spectra.size());
  py::array_t<double> out({n, py::ssize_t{forms}});
  auto o = out.mutable_unchecked<2>();
  for (py::ssize_t u = 0; u < n; ++u)
    for (int j = 0; j < forms; ++j) o(u, j) = f.form_conc[static_cast<size_t>(u) * kForms + j];
  return out;
}

enum class Matrix { Measured, Calculated, Residuals };

// Spectra (included, ascending pH) x points.
py::array_t<double> spectra_matrix(Result& r, Matrix which) {
  const FitArrays& f = fit_of(r);
  const DataSet& d = *r.data;
  const auto n = static_cast<py::ssize_t>(f.spectra.size());
  py::array_t<double> out({n, static_cast<py::ssize_t>(f.points)});
  double* o = out.mutable_data();
  const size_t size = static_cast<size_t>(n) * f.points;
  if (which == Matrix::Calculated)
    std::copy(f.calculated.begin(), f.calculated.begin() + size, o);
  else if (which == Matrix::Residuals)
    std::copy(f.residuals.begin(), f.residuals.begin() + size, o);
  else
    for (py::ssize_t u = 0; u < n; ++u)
      for (int p = 0; p < f.points; ++p) *o++ = d.absorbance[p + 1][f.spectra[u]];
  return out;
}

py::array_t<double> result_ph(Result& r) {
  const FitArrays& f = fit_of(r);
  py::array_t<double> out(static_cast<py::ssize_t>(f.spectra.size()));
  auto o = out.mutable_unchecked<1>();
  for (size_t u = 0; u < f.spectra.size(); ++u)
    o(static_cast<py::ssize_t>(u)) = r.data->ph_values[f.spectra[u]];
  return out;
}

// ---------------------------------------------------------------------------------------------
// Refinement, the global fit and the bootstrap

// A refinement of one data set or a global fit of several: what the batch tool's `refined` or
// `global` object holds.
struct Refined {
  analysis::RefineResult fit;
  std::optional<analysis::BootstrapResult> boot;  // residuals (refine, global fit)
  std::shared_ptr<cli::GlobalRun> global;         // global fit only
  std::vector<double> search_pk;                  // refine of a search's result: its pKa
};

const analysis::BootstrapResult* boot_of(const Refined& r) {
  return r.global ? (r.global->boot ? &*r.global->boot : nullptr) : (r.boot ? &*r.boot : nullptr);
}

// An integer argument from lo to hi; None gives `none`.
long int_arg(const py::handle& h, const char* name, long lo, long hi, long none) {
  if (h.is_none()) return none;
  if (!py::isinstance<py::int_>(h) || py::isinstance<py::bool_>(h))
    raise("RefusedError", "wrong_type", std::string(name) + " must be a whole number");
  long v = 0;
  try {
    v = h.cast<long>();
  } catch (py::cast_error&) {
    v = hi + 1;
  }
  if (v < lo || v > hi)
    raise("RefusedError", "out_of_range",
          std::string(name) + " takes " + std::to_string(lo) + " to " + std::to_string(hi));
  return v;
}

struct FitArgs {
  int bootstrap = 0;
  uint64_t seed = 1;
  int threads = 0;
  analysis::RefineOptions refine;
};

FitArgs fit_args(const py::handle& bootstrap, const py::handle& seed, const py::handle& threads,
                 const py::handle& max_iterations) {
  FitArgs a;
  a.bootstrap = static_cast<int>(int_arg(bootstrap, "bootstrap", 0, 100000, 0));
  if (a.bootstrap != 0 && a.bootstrap < 10)
    raise("RefusedError", "out_of_range", "bootstrap takes 0 (none) or 10 to 100000 replicates");
  if (!seed.is_none()) {
    if (!py::isinstance<py::int_>(seed) || py::isinstance<py::bool_>(seed))
      raise("RefusedError", "wrong_type", "seed must be a whole number");
    try {
      a.seed = seed.cast<uint64_t>();
    } catch (py::cast_error&) {
      raise("RefusedError", "out_of_range", "seed takes 0 to 2**64 - 1");
    }
  }
  a.threads = static_cast<int>(int_arg(threads, "threads", 0, 1024, 0));
  a.refine.max_iterations =
      static_cast<int>(int_arg(max_iterations, "max_iterations", 1, 10000, 100));
  return a;
}

void refuse_unless_result(const analysis::RefineResult& f) {
  if (!analysis::refine_has_result(f.status))
    raise("RefusedError", analysis::refine_status_name(f.status), f.message);
}

// The included spectra of a data set as a titration, with each spectrum's concentration when
// it has its own (sorted by pH as the import sorts: equal pH keep their order).
analysis::Titration titration_of(Dataset& ds) {
  std::lock_guard lock(ds.fit_mutex);
  const DataSet& data = imported(ds);
  if (ds.conc_spectra.empty()) return analysis::titration_of(data, ds.path_len);
  const std::vector<int> order = ph_order(data_of(ds));
  std::vector<double> conc(order.size());
  for (size_t i = 0; i < order.size(); ++i) conc[i] = ds.conc_spectra[order[i]];
  return analysis::titration_of(data, ds.path_len, conc).value();
}

// Runs work (which must not touch Python) on a thread of its own while this thread, the
// caller's (in a notebook the main thread, the only one Python runs signal handlers on), looks
// for Ctrl-C every kSignalPollMs and then cancels token, which work polls. Afterwards raises
// KeyboardInterrupt, or rethrows what work threw.
template <class Work>
void interruptible(CancelToken& token, Work work) {
  struct Run {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr error;
  } run;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      run.error = std::current_exception();
    }
    std::lock_guard lock(run.mu);
    run.done = true;
    run.cv.notify_all();
  });
  std::optional<py::error_already_set> interrupted;
  while (true) {
    bool finished = false;
    {
      py::gil_scoped_release unlocked;
      std::unique_lock lock(run.mu);
      finished =
          run.cv.wait_for(lock, std::chrono::milliseconds(kSignalPollMs), [&] { return run.done; });
    }
    if (finished) break;
    if (!interrupted && PyErr_CheckSignals() != 0) {
      interrupted.emplace();
      token.cancel();
    }
  }
  worker.join();
  if (interrupted) throw std::move(*interrupted);
  if (run.error) std::rethrow_exception(run.error);
}

void bootstrap_into(Refined& out, const std::vector<analysis::Titration>& ts,
                    const SlotModes& modes, const analysis::JointOptions& jo, const FitArgs& a,
                    const CancelToken& token) {
  if (a.bootstrap == 0) return;
  analysis::BootstrapOptions bo;
  bo.replicates = a.bootstrap;
  bo.seed = a.seed;
  bo.threads = a.threads;
  bo.cancel = &token;
  out.boot = analysis::bootstrap(ts, modes, out.fit, jo, bo);
}

// The modes and start values of constants given as pk (hold: slots held at their value), as
// the batch tool's boxes hold them (singles).
void model_of(const py::handle& pk_h, const py::handle& hold_h, SlotModes& modes,
              Arr1<double, kSlots>& start) {
  if (py::isinstance<py::str>(pk_h) || !py::isinstance<py::sequence>(pk_h))
    raise("RefusedError", "wrong_type", "pk must be a list of numbers");
  const py::sequence pk = py::reinterpret_borrow<py::sequence>(pk_h);
  if (pk.size() == 0 || pk.size() > kSlots)
    raise("RefusedError", "too_many_constants", "pk takes 1..5 values");
  const std::vector<int> hold = slot_list(hold_h, "hold");
  for (const py::handle& v : pk)
    if (v.is_none() || py::isinstance<py::str>(v) || py::isinstance<py::bytes>(v))
      raise("RefusedError", "wrong_type", "pk must be numbers");
  for (int k = 1; k <= kSlots; ++k) {
    modes[k] = SlotMode::Removed;
    start[k] = NAN;
    if (k > static_cast<int>(pk.size())) continue;
    const std::string text = pk_text(pk[k - 1], "pk");
    start[k] = static_cast<float>(std::strtod(text.c_str(), nullptr));
    modes[k] =
        std::find(hold.begin(), hold.end(), k) != hold.end() ? SlotMode::Held : SlotMode::Fitted;
  }
  for (int k : hold)
    if (k > static_cast<int>(pk.size()))
      raise("RefusedError", "slot_out_of_range",
            "hold names slot " + std::to_string(k) + ", which pk gives no value");
}

Refined refine_result(Result& r, const FitArgs& a) {
  Refined out;
  SlotModes modes{};
  Arr1<double, kSlots> start{};
  for (int k = 1; k <= kSlots; ++k) {
    const cli::SlotResult& s = r.file->per_slot[k];
    modes[k] = !s.state || s.state[0] == 'r' ? SlotMode::Removed
               : s.state[0] == 'h'           ? SlotMode::Held
                                             : SlotMode::Fitted;
    start[k] = s.pka.value_or(NAN);
    if (s.pka) out.search_pk.push_back(*s.pka);
  }
  CancelToken token;
  interruptible(token, [&] {
    out.fit = analysis::refine(*r.data, modes, start, a.refine);
    if (analysis::refine_has_result(out.fit.status))
      bootstrap_into(out, {analysis::titration_of(*r.data)}, modes, {}, a, token);
  });
  refuse_unless_result(out.fit);
  return out;
}

Refined refine_data(const std::shared_ptr<Dataset>& ds, const py::handle& pk,
                    const py::handle& hold, const FitArgs& a) {
  Refined out;
  SlotModes modes{};
  Arr1<double, kSlots> start{};
  model_of(pk, hold, modes, start);
  {
    std::lock_guard lock(ds->fit_mutex);
    if (auto p = data_problem(imported(*ds)))
      raise("DataError", message_code(p->msg), message_english(p->msg, p->slot));
  }
  const std::vector<analysis::Titration> ts{titration_of(*ds)};
  analysis::JointOptions jo;
  jo.refine = a.refine;
  CancelToken token;
  interruptible(token, [&] {
    out.fit = analysis::refine_joint(ts, modes, start, jo);
    if (analysis::refine_has_result(out.fit.status)) bootstrap_into(out, ts, modes, jo, a, token);
  });
  refuse_unless_result(out.fit);
  return out;
}

std::string titration_name(const Dataset& ds, size_t i) {
  return ds.source.empty() ? "array " + std::to_string(i + 1) : ds.source;
}

Refined global(const py::handle& list, const py::dict& search_kw, bool shared, bool factors,
               const py::handle& pk, const py::handle& hold, const FitArgs& a) {
  const auto t0 = std::chrono::steady_clock::now();
  if (py::isinstance<py::str>(list) || py::isinstance<Dataset>(list) ||
      !py::isinstance<py::sequence>(list))
    raise("DataError", "wrong_type", "global_fit takes a list of ferolan.Dataset");
  std::vector<std::shared_ptr<Dataset>> sets;
  for (const py::handle& h : py::reinterpret_borrow<py::sequence>(list)) {
    if (!py::isinstance<Dataset>(h))
      raise("DataError", "wrong_type",
            "titration " + std::to_string(sets.size() + 1) + " is no ferolan.Dataset");
    sets.push_back(h.cast<std::shared_ptr<Dataset>>());
  }
  if (sets.empty()) raise("DataError", "no_titration", "global_fit needs at least one data set");
  if (sets.size() > 1000)
    raise("DataError", "too_many_titrations", "global_fit takes 1000 data sets at most");

  auto run = std::make_shared<cli::GlobalRun>();
  run->sample = "all";
  SlotModes modes{};
  Arr1<double, kSlots> start{};
  if (!pk.is_none()) {
    model_of(pk, hold, modes, start);
  } else {
    // Each titration's own automatic grid; the fit starts from their median.
    for (size_t i = 0; i < sets.size(); ++i) {
      Result own;
      try {
        own = analyse(*sets[i], "auto", search_kw, true);
      } catch (py::error_already_set& e) {
        if (!e.matches(module_ref().attr("RefusedError")) &&
            !e.matches(module_ref().attr("DataError")))
          throw;
        const py::object v = e.value();
        raise(py::str(py::type::handle_of(v).attr("__name__")).cast<std::string>().c_str(),
              py::str(v.attr("code")),
              "titration " + std::to_string(i + 1) + ": " +
                  py::str(v.attr("message")).cast<std::string>());
      }
      Arr1<double, kSlots> mine{};
      SlotModes m{};
      for (int k = 1; k <= kSlots; ++k) {
        const cli::SlotResult& s = own.file->per_slot[k];
        m[k] = !s.state || s.state[0] == 'r' ? SlotMode::Removed
               : s.state[0] == 'h'           ? SlotMode::Held
                                             : SlotMode::Fitted;
        mine[k] = s.pka.value_or(NAN);
      }
      if (i == 0) modes = m;
      if (m != modes)
        raise("RefusedError", "models_differ",
              "titration " + std::to_string(i + 1) +
                  " has another model than the first (give "
                  "constants= or pk= so that all have the same)");
      run->own.push_back(mine);
    }
    start = analysis::median_start(run->own);
    for (int k = 1; k <= kSlots; ++k)
      if (modes[k] == SlotMode::Held) start[k] = run->own[0][k];
  }
  std::vector<analysis::Titration> ts;
  for (size_t i = 0; i < sets.size(); ++i) {
    ts.push_back(titration_of(*sets[i]));
    run->files.push_back(titration_name(*sets[i], i));
  }
  analysis::JointOptions jo;
  jo.refine = a.refine;
  jo.sharing = shared ? analysis::SpectraSharing::Shared : analysis::SpectraSharing::PerTitration;
  jo.fit_factors = factors;
  CancelToken token;
  interruptible(token, [&] {
    run->fit = analysis::global_fit(ts, modes, start, jo);
    const analysis::RefineResult& f = run->fit->fit;
    if (analysis::refine_has_result(f.status) && a.bootstrap > 0) {
      analysis::BootstrapOptions bo;
      bo.replicates = a.bootstrap;
      bo.seed = a.seed;
      bo.threads = a.threads;
      bo.cancel = &token;
      cli::resample_global(*run, ts, modes, jo, bo);
    }
  });
  refuse_unless_result(run->fit->fit);
  run->elapsed_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  Refined out;
  out.fit = run->fit->fit;
  out.global = std::move(run);
  return out;
}

struct GlobalRefined : Refined {
  explicit GlobalRefined(Refined&& r) : Refined(std::move(r)) {}
};

std::string refined_json(const Refined& r) {
  cli::Json j;
  if (r.global)
    cli::json_global(j, {}, r.global.get());
  else
    cli::json_refined(j, {}, &r.fit, boot_of(r));
  return j.str();
}

// The constants of the model, pKa1 first (removed ones left out).
std::vector<int> refined_slots(const Refined& r) {
  std::vector<int> out;
  for (int k = 1; k <= kSlots; ++k)
    if (r.fit.modes[k] != SlotMode::Removed) out.push_back(k);
  return out;
}

py::array_t<double> refined_values(const Refined& r, const Arr1<double, kSlots>& v) {
  const std::vector<int> slots = refined_slots(r);
  py::array_t<double> out(static_cast<py::ssize_t>(slots.size()));
  auto o = out.mutable_unchecked<1>();
  for (size_t i = 0; i < slots.size(); ++i) o(static_cast<py::ssize_t>(i)) = v[slots[i]];
  return out;
}

py::array_t<double> square(const std::vector<double>& v) {
  const auto q = static_cast<py::ssize_t>(std::lround(std::sqrt(static_cast<double>(v.size()))));
  py::array_t<double> out({q, q});
  std::copy(v.begin(), v.end(), out.mutable_data());
  return out;
}

std::string printed(const char* fmt, double a, double b = 0, double c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

// As a chemist writes it: "pKa1 = 4.1992 ± 0.0003", the bootstrap interval beside it.
std::string refined_repr(const Refined& r) {
  const analysis::RefineResult& f = r.fit;
  const analysis::BootstrapResult* b = boot_of(r);
  std::string out;
  if (r.global) out += "global fit of " + std::to_string(r.global->files.size()) + " titrations\n";
  for (int k : refined_slots(r)) {
    out += "pKa" + std::to_string(k) + " = " + printed("%.4f", f.pk[k]);
    if (f.modes[k] == SlotMode::Held) {
      out += " (held)\n";
      continue;
    }
    out += printed(" ± %.4f", f.se[k]);
    if (b && b->ok) out += printed("  (95 %% bootstrap %.4f … %.4f)", b->lo[k], b->hi[k]);
    out += "\n";
  }
  out += printed("s(A) = %.2e", f.s_a);
  if (f.s_a_titration.size() > 1) {
    out += " pooled (";
    for (size_t t = 0; t < f.s_a_titration.size(); ++t)
      out += (t ? ", " : "") + printed("%.2e", f.s_a_titration[t]);
    out += ")";
  }
  out += printed(", %.0f degrees of freedom, ", static_cast<double>(f.dof));
  out += analysis::refine_status_name(f.status);
  out += printed(" after %.0f iterations", f.iterations);
  if (!f.message.empty()) out += "\n(" + f.message + ")";
  return out;
}

// ---------------------------------------------------------------------------------------------
// Many files

cli::Options batch_options(const py::dict& kw) {
  const std::string mode =
      kw.contains("search") ? py::str(kw["search"]).cast<std::string>() : std::string("opt");
  if (mode != "opt" && mode != "manual" && mode != "auto" && mode != "evaluate" &&
      mode != "compare" && mode != "factors")
    raise("RefusedError", "search",
          "search takes \"opt\", \"manual\", \"auto\", \"evaluate\", \"compare\" or \"factors\"");
  return options_of(mode, kw);
}

std::vector<cli::FileJob> jobs_for(const std::vector<std::string>& paths, const py::object& plan,
                                   const cli::Options& base) {
  cli::Options o = base;
  o.inputs = paths;
  if (!plan.is_none()) o.manifest = py::str(plan);
  std::vector<std::string> problems;
  int status = 0;
  std::istringstream no_stdin;
  std::vector<cli::FileJob> jobs = cli::jobs_of(o, no_stdin, problems, status);
  if (!problems.empty() && (jobs.empty() || status == cli::kUsage))
    raise("DataError", status == cli::kUsage ? "plan" : "inputs", problems.front());
  return jobs;
}

// The summary table (CSV) of the jobs `only` (all when empty) of these inputs, and the
// number of jobs.
py::tuple summary(const std::vector<std::string>& paths, const py::object& plan, int jobs_n,
                  const std::vector<int>& only, const py::dict& kw) {
  const cli::Options base = batch_options(kw);
  std::vector<cli::FileJob> jobs = jobs_for(paths, plan, base);
  const size_t total = jobs.size();
  if (!only.empty()) {
    std::vector<cli::FileJob> some;
    for (int i : only) {
      if (i < 0 || static_cast<size_t>(i) >= total)
        raise("RefusedError", "job", "no job " + std::to_string(i));
      some.push_back(jobs[i]);
    }
    jobs = std::move(some);
  }
  // The files are analysed on a thread of their own while this one, the caller's (in a
  // notebook the main thread, the only one Python runs signal handlers on), looks for Ctrl-C:
  // it cancels the token every search of the run polls, and no further file is started.
  const int threads =
      jobs_n > 0 ? jobs_n : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  auto token = std::make_shared<CancelToken>();
  for (cli::FileJob& j : jobs) j.cancel = token.get();
  std::vector<cli::FileResult> results;
  interruptible(*token, [&] {
    int started = 0;
    cli::analyse_all(
        jobs, threads, [&](cli::FileResult&& r) { results.push_back(std::move(r)); }, [](size_t) {},
        started, token.get());
  });
  return py::make_tuple(total, cli::summary_csv(results, base.refine));
}

int count_jobs(const std::vector<std::string>& paths, const py::object& plan, const py::dict& kw) {
  return static_cast<int>(jobs_for(paths, plan, batch_options(kw)).size());
}

py::dict scale(double pk, int step, double ionic_strength, int charge_form1) {
  const analysis::ScaleConversion c = analysis::convert_pk(pk, step, ionic_strength, charge_form1);
  if (!c.ok) raise("RefusedError", "ionic_strength", "ionic_strength must be finite and >= 0");
  py::dict d;
  d["pKa"] = c.pk_measured;
  d["pKa_conc"] = c.pk_concentration;
  d["pKa_thermodynamic"] = c.pk_thermodynamic;
  d["ionic_strength"] = c.ionic_strength;
  d["in_range"] = c.in_range;
  d["z_acid"] = c.z_acid;
  d["z_base"] = c.z_base;
  d["log_gamma_h"] = c.log_gamma_h;
  d["log_gamma_acid"] = c.log_gamma_acid;
  d["log_gamma_base"] = c.log_gamma_base;
  d["davies_A"] = analysis::kDaviesA25;
  return d;
}

}  // namespace

PYBIND11_MODULE(ferolan, m) {
  module_ref() = m;

  py::class_<CancelToken, std::shared_ptr<CancelToken>>(
      m, "CancelToken",
      "A request to stop a search, settable from any thread: pass it as cancel= to a search\n"
      "and call set() from another thread; the search ends at its next stop test and returns\n"
      "the best result found so far, with result.stopped True.")
      .def(py::init<>())
      .def(
          "set", [](CancelToken& t) { t.cancel(); },
          "Asks the search to stop; the token stays set (Ctrl-C sets it too).")
      .def(
          "reset", [](CancelToken& t) { t.reset(); }, "Makes the token usable again.")
      .def_property_readonly(
          "is_set", [](const CancelToken& t) { return t.cancelled(); },
          "Whether set() was called (or Ctrl-C stopped a search with it).");

  py::class_<Dataset, std::shared_ptr<Dataset>>(m, "Dataset")
      .def(py::init([](const py::object& ph, const py::object& wavelengths,
                       const py::object& absorbance, const py::object& conc, int path_len) {
             return dataset_from_arrays(ph, wavelengths, absorbance, conc, path_len);
           }),
           py::arg("ph"), py::arg("wavelengths"), py::arg("absorbance"), py::arg("conc"),
           py::arg("path_len") = 1)
      .def_property_readonly("ph", &ph_array, "pH of each spectrum, in the order read.")
      .def_property_readonly(
          "wavelengths", [](const Dataset& d) { return wavelength_array(data_of(d)); },
          "Wavelength of each point, nm (whole numbers, as stored).")
      .def_property_readonly("absorbance", &absorbance_array,
                             "Absorbances, spectra x points (the values stored: singles).")
      .def_property_readonly(
          "conc",
          [](const Dataset& d) -> py::object {
            if (!d.conc_spectra.empty()) return py::array_t<double>(py::cast(d.conc_spectra));
            return py::float_(static_cast<double>(data_of(d).acid_conc));
          },
          "Total acid concentration, mol/L: a number, or an array of one per spectrum (in\n"
          "the order given) when they differ.")
      .def_property_readonly(
          "path_len", [](const Dataset& d) { return d.path_len; }, "Cuvette path length, cm.")
      .def_property_readonly(
          "n_spectra", [](const Dataset& d) { return static_cast<int>(data_of(d).n_spectra); },
          "Number of spectra.")
      .def_property_readonly(
          "n_points", [](const Dataset& d) { return static_cast<int>(data_of(d).n_wavelengths); },
          "Number of wavelength points.")
      .def_property_readonly("warnings", &warning_texts,
                             "Cells read but not as written, as the batch tool words them\n"
                             "(\"row 12, column 7: ...\"); empty for arrays.")
      .def_property_readonly(
          "source",
          [](const Dataset& d) -> py::object {
            if (d.source.empty()) return py::none();
            return py::str(d.source);
          },
          "The file read, or None for arrays.")
      .def_property_readonly(
          "format",
          [](const Dataset& d) -> py::object {
            if (d.input.format == cli::InputFormat::Mdf) return py::str("mdf");
            if (d.input.format == cli::InputFormat::Table) return py::str("table");
            return py::none();
          },
          "\"mdf\" or \"table\" for a file, None for arrays.")
      .def(
          "score",
          [](Dataset& d, const std::vector<double>& pk, int fit_step) {
            return score(d, pk, fit_step, 1);
          },
          py::arg("pk"), py::arg("fit_step") = 10,
          "s(A) of one fit of the constants pk (pKa1, ...) as a search scores a trial: on\n"
          "every fit_step-th point (10, the searches' grid; 1: every point), all spectra.\n"
          "The fastest call of the module, for loops of your own.")
      .def("__repr__", [](const Dataset& d) {
        const DataSet& s = data_of(d);
        return "<ferolan.Dataset " + std::to_string(s.n_spectra) + " spectra x " +
               std::to_string(s.n_wavelengths) + " points, " +
               (d.conc_spectra.empty() ? "C = " + cli::acid_conc_text(s) + " mol/L"
                                       : std::string("C per spectrum")) +
               (d.source.empty() ? std::string() : ", " + d.source) +
               (d.input.warnings.empty()
                    ? std::string()
                    : ", " + std::to_string(d.input.warnings.size()) + " warnings") +
               ">";
      });

  auto refined_class = [&m](auto& c) {
    using T = typename std::remove_reference_t<decltype(c)>::type;
    c.def_property_readonly(
         "pKa", [](const T& r) { return refined_values(r, r.fit.pk); },
         "Refined pKa of each constant of the model (fitted and held), pKa1 first.")
        .def_property_readonly(
            "Ka", [](const T& r) { return refined_values(r, r.fit.ka); },
            "Ka = 10^-pKa of each constant, mol/L.")
        .def_property_readonly(
            "se", [](const T& r) { return refined_values(r, r.fit.se); },
            "Standard error of each fitted pKa: s_a_dof² (JᵀJ)⁻¹ at the minimum (NaN: held).")
        .def_property_readonly(
            "start", [](const T& r) { return refined_values(r, r.fit.pk_start); },
            "Where the refinement started.")
        .def_property_readonly(
            "slots", [](const T& r) { return refined_slots(r); },
            "Slot numbers (1..5) of the model's constants.")
        .def_property_readonly(
            "states",
            [](const T& r) {
              std::vector<std::string> out;
              for (int k : refined_slots(r)) out.push_back(slot_mode_name(r.fit.modes[k]));
              return out;
            },
            "\"fitted\" or \"held\" for each constant of the model.")
        .def_property_readonly(
            "status", [](const T& r) { return analysis::refine_status_name(r.fit.status); },
            "\"converged\", \"iteration_limit\" or \"off_range\" (a constant more than 2 pH\n"
            "units beyond the measured range: reported, not hidden).")
        .def_property_readonly(
            "message", [](const T& r) { return r.fit.message; },
            "Why the status is not converged (English), empty otherwise.")
        .def_property_readonly(
            "iterations", [](const T& r) { return r.fit.iterations; }, "Iterations made.")
        .def_property_readonly(
            "s_a", [](const T& r) { return r.fit.s_a; },
            "s(A) at the minimum: sqrt(rss / observations), pooled over the titrations.")
        .def_property_readonly(
            "s_a_start", [](const T& r) { return r.fit.s_a_start; }, "s(A) at the start.")
        .def_property_readonly(
            "s_a_dof", [](const T& r) { return r.fit.s_a_dof; },
            "sqrt(rss / dof): the sigma behind the standard errors.")
        .def_property_readonly(
            "rss", [](const T& r) { return r.fit.rss; }, "Sum of squared residuals.")
        .def_property_readonly(
            "dof", [](const T& r) { return r.fit.dof; },
            "Degrees of freedom: observations - parameters.")
        .def_property_readonly(
            "observations", [](const T& r) { return r.fit.observations; },
            "Absorbances fitted (spectra x points over every titration).")
        .def_property_readonly(
            "parameters", [](const T& r) { return r.fit.parameters; },
            "Forms' spectra values, constants and concentration factors fitted.")
        .def_property_readonly(
            "covariance", [](const T& r) { return square(r.fit.covariance); },
            "Covariance of the fitted pKa (then ln of the concentration factors), q x q.")
        .def_property_readonly(
            "correlation", [](const T& r) { return square(r.fit.correlation); },
            "The covariance normalised to correlations.")
        .def_property_readonly(
            "seconds", [](const T& r) { return r.global ? r.global->elapsed_s : r.fit.elapsed_s; },
            "Seconds taken (monotonic clock).")
        .def_property_readonly(
            "ci",
            [](const T& r) -> py::object {
              const analysis::BootstrapResult* b = boot_of(r);
              if (!b || !b->ok) return py::none();
              return py::make_tuple(refined_values(r, b->lo), refined_values(r, b->hi));
            },
            "(lo, hi): the 2.5 and 97.5 percentiles of each pKa over the bootstrap's refits\n"
            "(NaN for held ones); None without bootstrap=.")
        .def(
            "to_json", [](const T& r) { return refined_json(r); },
            "The batch tool's JSON object of this fit (docs/json.md), as text.")
        .def("__repr__", [](const T& r) { return refined_repr(r); });
  };
  py::class_<Refined, std::shared_ptr<Refined>> refinement(m, "Refinement");
  refined_class(refinement);
  py::class_<GlobalRefined, std::shared_ptr<GlobalRefined>> global_class(m, "GlobalFit");
  refined_class(global_class);
  global_class
      .def_property_readonly(
          "s_a_titrations",
          [](const GlobalRefined& r) { return py::array_t<double>(py::cast(r.fit.s_a_titration)); },
          "s(A) of each titration at the joint minimum.")
      .def_property_readonly(
          "factors",
          [](const GlobalRefined& r) { return py::array_t<double>(py::cast(r.fit.factor)); },
          "Concentration factor of each titration (the first 1; all 1 unless conc_factors).")
      .def_property_readonly(
          "factor_se",
          [](const GlobalRefined& r) { return py::array_t<double>(py::cast(r.fit.factor_se)); },
          "Standard error of each factor (the first 0).")
      .def_property_readonly(
          "own",
          [](const GlobalRefined& r) {
            const std::vector<int> slots = refined_slots(r);
            py::array_t<double> out({static_cast<py::ssize_t>(r.global->own.size()),
                                     static_cast<py::ssize_t>(slots.size())});
            auto o = out.mutable_unchecked<2>();
            for (size_t t = 0; t < r.global->own.size(); ++t)
              for (size_t i = 0; i < slots.size(); ++i)
                o(static_cast<py::ssize_t>(t), static_cast<py::ssize_t>(i)) =
                    r.global->own[t][slots[i]];
            return out;
          },
          "Each titration's own automatic-grid pKa (titrations x constants; none when pk=\n"
          "gave the start).")
      .def_property_readonly(
          "wavelengths",
          [](const GlobalRefined& r) {
            return py::array_t<double>(py::cast(r.global->fit->wavelengths));
          },
          "The wavelengths common to all titrations, which were fitted.")
      .def_property_readonly(
          "dropped",
          [](const GlobalRefined& r) {
            return py::array_t<double>(py::cast(r.global->fit->dropped));
          },
          "Wavelengths of some titrations but not of all, left out.")
      .def_property_readonly(
          "warnings", [](const GlobalRefined& r) { return r.global->fit->warnings; },
          "Warnings of the fit (the points left out), English sentences.")
      .def_property_readonly(
          "ci_titrations",
          [](const GlobalRefined& r) -> py::object {
            const auto& b = r.global->boot_t;
            if (!b || !b->ok) return py::none();
            return py::make_tuple(refined_values(r, b->lo), refined_values(r, b->hi));
          },
          "(lo, hi) percentiles from refits of whole titrations drawn with replacement\n"
          "(two or more titrations and bootstrap=), else None.");

  m.def(
      "_refine",
      [](const py::object& source, const py::object& pk, const py::object& hold,
         const py::object& bootstrap, const py::object& seed, const py::object& threads,
         const py::object& max_iterations) {
        const FitArgs a = fit_args(bootstrap, seed, threads, max_iterations);
        if (py::isinstance<Result>(source)) {
          if (!pk.is_none() || !hold.is_none())
            raise("RefusedError", "wrong_type",
                  "a Result is refined from its own constants: give no pk or hold");
          return std::make_shared<Refined>(refine_result(source.cast<Result&>(), a));
        }
        if (!py::isinstance<Dataset>(source))
          raise("DataError", "wrong_type", "refine takes a ferolan.Dataset or a ferolan.Result");
        return std::make_shared<Refined>(
            refine_data(source.cast<std::shared_ptr<Dataset>>(), pk, hold, a));
      },
      py::arg("source"), py::arg("pk"), py::arg("hold"), py::arg("bootstrap"), py::arg("seed"),
      py::arg("threads"), py::arg("max_iterations"));
  m.def(
      "_global_fit",
      [](const py::object& sets, const py::dict& search_kw, bool shared, bool factors,
         const py::object& pk, const py::object& hold, const py::object& bootstrap,
         const py::object& seed, const py::object& threads, const py::object& max_iterations) {
        const FitArgs a = fit_args(bootstrap, seed, threads, max_iterations);
        return std::make_shared<GlobalRefined>(
            global(sets, search_kw, shared, factors, pk, hold, a));
      },
      py::arg("sets"), py::arg("search_kw"), py::arg("shared"), py::arg("factors"), py::arg("pk"),
      py::arg("hold"), py::arg("bootstrap"), py::arg("seed"), py::arg("threads"),
      py::arg("max_iterations"));

  m.def("_read", &read_file, py::arg("path"), py::arg("format"), py::arg("path_len"));

  py::class_<Result, std::shared_ptr<Result>>(m, "Result")
      .def_property_readonly(
          "pKa", [](const Result& r) { return slot_values(r, &cli::SlotResult::pka); },
          "pKa of each constant of the model (fitted and held), pKa1 first.")
      .def_property_readonly(
          "Ka", [](const Result& r) { return slot_values(r, &cli::SlotResult::ka); },
          "Ka = 10^-pKa of each constant, mol/L.")
      .def_property_readonly(
          "u", [](const Result& r) { return slot_values(r, &cli::SlotResult::u); },
          "The window's uncertainty of each fitted pKa (NaN for held ones and evaluate).")
      .def_property_readonly(
          "se",
          [](Result& r) {
            full(r);
            return slot_values(r, &cli::SlotResult::se);
          },
          "Standard error of each fitted pKa from the least-squares curvature (NaN: none).")
      .def_property_readonly(
          "states",
          [](const Result& r) {
            std::vector<std::string> s;
            for (int k : model_slots(r)) s.push_back(r.file->per_slot[k].state);
            return s;
          },
          "\"fitted\" or \"held\" for each constant of the model.")
      .def_property_readonly("slots", &model_slots, "Slot numbers (1..5) of the model's constants.")
      .def_property_readonly(
          "s_a", [](const Result& r) { return r.file->s_a; },
          "s(A): standard deviation of the fit at the result over every point (absorbance).")
      .def_property_readonly(
          "s_a_thinned", [](const Result& r) { return r.file->s_a_thinned; },
          "s(A) of the last trial scored, on the searches' grid of every 10th point.")
      .def_property_readonly(
          "trials", [](Result& r) { return full(r).trials; }, "Trials scored.")
      .def_property_readonly(
          "fits", [](Result& r) { return full(r).fits; },
          "Fits computed, display and uncertainty fits included.")
      .def_property_readonly(
          "seconds", [](Result& r) { return full(r).elapsed_s; },
          "Seconds the search took (monotonic clock).")
      .def_property_readonly(
          "mode", [](const Result& r) { return r.file->mode; },
          "opt, manual, auto, evaluate, compare or factors.")
      .def_property_readonly(
          "stopped", [](const Result& r) { return r.stopped; },
          "True when a CancelToken stopped the search: the best set found until then.")
      .def_property_readonly(
          "warnings",
          [](const Result& r) {
            std::vector<std::string> w;
            const auto& input = r.complete ? r.file->input : r.source->input;
            if (input)
              for (const cli::CellWarning& c : input->warnings) w.push_back(cli::located(c));
            return w;
          },
          "The data's reading warnings.")
      .def_property_readonly(
          "ph", &result_ph,
          "pH of the spectra that took part (ascending): the rows of the arrays below.")
      .def_property_readonly(
          "wavelengths", [](const Result& r) { return wavelength_array(*r.data); },
          "Wavelengths, nm: the columns of the arrays below.")
      .def_property_readonly("forms_spectra", &forms_spectra,
                             "Forms' spectra at the result, points x forms (absorbance per\n"
                             "mol/L at the data's path length; divide by path_len for epsilon).")
      .def_property_readonly("concentrations", &concentrations,
                             "Concentrations of the forms, spectra x forms (mol/L).")
      .def_property_readonly(
          "measured", [](Result& r) { return spectra_matrix(r, Matrix::Measured); },
          "Measured absorbance, spectra x points.")
      .def_property_readonly(
          "residuals", [](Result& r) { return spectra_matrix(r, Matrix::Residuals); },
          "Measured minus calculated absorbance, spectra x points.")
      .def_property_readonly(
          "calculated", [](Result& r) { return spectra_matrix(r, Matrix::Calculated); },
          "Calculated absorbance at the result, spectra x points.")
      .def(
          "to_json", [](Result& r) { return cli::json_text({full(r)}, false); },
          "The batch tool's JSON (schema 1) of this result, as ferolan-cli --json writes it.")
      .def("__repr__", [](Result& r) {
        full(r);
        return result_repr(r);
      });

  m.def(
      "_analyse",
      [](const std::shared_ptr<Dataset>& ds, const std::string& mode, const py::kwargs& kw) {
        if (!ds) raise("DataError", "wrong_type", "the first argument must be a ferolan.Dataset");
        // refine()'s start of a data set with a concentration per spectrum.
        const bool mean_conc_ok = kw.contains("_mean_conc_ok");
        if (mean_conc_ok) PyDict_DelItemString(kw.ptr(), "_mean_conc_ok");
        return std::make_shared<Result>(analyse(*ds, mode, kw, mean_conc_ok));
      },
      py::arg("ds"), py::arg("mode"));
  m.def(
      "_evaluate",
      [](const std::shared_ptr<Dataset>& ds, const py::kwargs& kw) {
        if (!ds) raise("DataError", "wrong_type", "the first argument must be a ferolan.Dataset");
        return std::make_shared<Result>(evaluate_result(ds, kw));
      },
      py::arg("ds"));
  m.def(
      "_summary",
      [](const std::vector<std::string>& paths, const py::object& plan, int jobs,
         const std::vector<int>& only,
         const py::kwargs& kw) { return summary(paths, plan, jobs, only, kw); },
      py::arg("paths"), py::arg("plan"), py::arg("jobs"), py::arg("only"));
  m.def(
      "_count_jobs",
      [](const std::vector<std::string>& paths, const py::object& plan, const py::kwargs& kw) {
        return count_jobs(paths, plan, kw);
      },
      py::arg("paths"), py::arg("plan"));
  // For the benchmark: the same fit n times in C++, the engine's own time without the binding.
  m.def("_score_repeat", [](Dataset& d, const std::vector<double>& pk, int fit_step, long n) {
    return score(d, pk, fit_step, n);
  });
  // For the benchmark: ferolan.evaluate's engine call n times in C++, without the binding.
  m.def("_evaluate_repeat", [](Dataset& d, const std::vector<double>& pk, long n) {
    refuse_conc_per_spectrum(d);
    if (pk.empty() || pk.size() > kSlots)
      raise("RefusedError", "too_many_constants", "pk takes 1..5 values");
    Arr1<float, kSlots> p{};
    SlotModes modes{};
    for (int k = 1; k <= kSlots; ++k) {
      modes[k] = k <= static_cast<int>(pk.size()) ? SlotMode::Fitted : SlotMode::Removed;
      if (modes[k] == SlotMode::Fitted) p[k] = static_cast<float>(pk[k - 1]);
    }
    std::shared_ptr<const DataSet> data;
    {
      std::lock_guard lock(d.fit_mutex);
      imported(d);
      data = d.imported;
    }
    py::gil_scoped_release unlocked;
    double s_a = 0;
    for (long i = 0; i < n; ++i) s_a = evaluate(*data, p, modes).s_a;
    return s_a;
  });
  m.def("_scale", &scale, py::arg("pk"), py::arg("step"), py::arg("ionic_strength"),
        py::arg("charge_form1") = 0);

  // The Python part: exceptions, the public functions' signatures and documentation,
  // DataFrames, plots.
  py::exec(kFerolanPy, m.attr("__dict__"));
}
