// One file's determination on the engine: its data set, the model setup built from the
// options as the window would read its boxes, the search, and what the window would show.
#pragma once

#include "cli/layer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/stop_signal.h"
#include "engine/data/state.h"
#include "engine/search/workspace.h"

namespace ferolan::cli {

struct Session {
  Session();
  std::unique_ptr<State> st;  // data set, settings, fit and search state (large: on the heap)
  ModelSetup setup;           // slot modes and values of the last search
  Arr1<std::string, kSlots> pk_text;  // the pKa boxes' texts (before and after a search)
  Arr1<std::string, kSlots> range_start, range_end, range_step;
  std::string s_a_text;  // the window's s(A) label
  long trials = 0;
  // The set the window shows as the best of the last search, with its s(A) at full
  // resolution and on the searches' grid: with every slot removed, the searches still try
  // slot 1, and this is what the window then shows.
  struct Shown {
    Arr1<double, kSlots> ka{};
    float pk1 = 0;
    double s_a = 0, s_a_thinned = 0;
  } shown;

  // A table's concentration per spectrum, in the data set's order (after the sort by pH);
  // empty: the data set's one for all.
  std::vector<double> conc_spectra;
  bool stopped = false;                 // a search was cut short
  const CancelToken* cancel = nullptr;  // ends the searches; none: the stop signal's token
  // What ends this session's searches and resamplings.
  const CancelToken* token() const { return cancel ? cancel : &stop_token(); }
  Workspace workspace() { return Workspace{st->data, st->calc, st->search, token()}; }
  SlotModes modes() const { return setup.modes(); }
};

// Makes parsed the session's data set as an import leaves it: sorted by pH, largest
// absorbance found, every spectrum included.
void load_data(Session& s, const DataSet& parsed);

// The concentration as the window's label shows it.
std::string acid_conc_text(const DataSet& d);

// Slot modes, texts, level, path length and included spectra from the options. constants is
// the number of constants to keep when neither --pk, --constants nor --zero decides it. On a
// mistake returns false with a stable code and an English sentence.
bool apply_options(Session& s, const Options& o, int constants, std::string& code,
                   std::string& problem);

// Fits slots 1..k and removes the rest, as ticking "Обнулити?" of slot k + 1 would.
void set_model(Session& s, int k);

// Reads the texts into the setup's values as the chosen search reads its boxes (a text the
// strict reader rejects becomes a value the search refuses).
void read_values(Session& s, Search search);

// A caller of the analysis other than the command line (the Python module) watching a search:
// told at every yield, on the search's thread; it stops the search through the session's
// cancel token.
class SearchWatch {
 public:
  virtual ~SearchWatch() = default;
  virtual void yielded(const SearchState& search) = 0;
};

// The search's observer in the batch tool: the trace, the threads of a sweep, and the
// window's s(A) label.
class BatchObserver : public SearchObserver {
 public:
  BatchObserver(Session& s, int threads, OutputFile* trace, SearchWatch* watch = nullptr)
      : s_(s), threads_(threads), trace_(trace), watch_(watch) {}
  void yield() override;
  void scored(const TrialScore& t) override;
  void best(BestKind kind, double s_a_sq_thinned, const Shown& at) override;
  bool plan_sweeps() const override { return true; }
  int sweep_threads() const override { return threads_; }

 private:
  Session& s_;
  int threads_;
  OutputFile* trace_;
  SearchWatch* watch_;
};

// Runs the search on the setup read from the session's texts.
// Each scored trial goes to trace as it is scored, when one is given.
SearchResult run_search(Session& s, Search search, int threads, OutputFile* trace,
                        SearchWatch* watch = nullptr);

// The pKa boxes after a search, as the window writes them.
void show_result(Session& s, Search search, const SearchResult& r);

}  // namespace ferolan::cli
