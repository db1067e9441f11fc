#include "cli/batch.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "cli/global.h"
#include "cli/manifest.h"
#include "cli/output_file.h"
#include "cli/outputs.h"
#include "cli/path_identity.h"
#include "cli/pictures.h"
#include "cli/provenance.h"
#include "cli/stop_signal.h"
#include "cli/text.h"
#include "engine/format/format.h"

namespace ferolan::cli {

namespace fs = std::filesystem;

namespace {

bool is_data_name(const fs::path& p) {
  const std::string ext = ascii_lower(p.extension().string());
  return ext == ".mdf" || ext == ".txt" || ext == ".csv" || ext == ".tsv";
}

const char* kind_of(fs::file_type t) {
  switch (t) {
    case fs::file_type::fifo:
      return "a FIFO";
    case fs::file_type::socket:
      return "a socket";
    case fs::file_type::character:
      return "a character device";
    case fs::file_type::block:
      return "a block device";
    default:
      return "not a regular file";
  }
}

// A folder's data files sorted by name. Hidden files (also the "._" companions a Mac leaves)
// are passed over; other names are listed once as skipped; FIFOs and devices are skipped with
// a warning, since reading one could wait for ever.
std::vector<fs::path> scan_folder(const std::string& folder, std::vector<std::string>& problems,
                                  std::error_code& ec) {
  std::vector<fs::path> names;
  std::vector<std::string> other;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code ignored;
    const fs::file_status st = e.status(ignored);  // through links
    if (st.type() == fs::file_type::directory) continue;
    if (!is_data_name(e.path())) {
      other.push_back(name);
      continue;
    }
    // A link to nothing is kept: it is named, and found unreadable, later.
    if (st.type() != fs::file_type::regular && st.type() != fs::file_type::not_found) {
      problems.push_back(e.path().string() + ": skipped: " + kind_of(st.type()) + ", not a file");
      continue;
    }
    names.push_back(e.path());
  }
  std::sort(names.begin(), names.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
  if (!other.empty()) {
    std::sort(other.begin(), other.end());
    std::string list;
    for (size_t i = 0; i < other.size() && i < 10; ++i) list += (i ? ", " : "") + other[i];
    if (other.size() > 10) list += " and " + std::to_string(other.size() - 10) + " more";
    problems.push_back(folder + ": skipped " + std::to_string(other.size()) +
                       (other.size() == 1 ? " file" : " files") +
                       " not named *.mdf, *.txt, *.csv or *.tsv: " + list);
  }
  return names;
}

// Standard input, read no further than one byte past the limit.
std::string read_stdin(std::istream& in) {
  std::string bytes;
  char buf[1 << 16];
  while (bytes.size() <= kMaxInputBytes && (in.read(buf, sizeof buf) || in.gcount() > 0))
    bytes.append(buf, static_cast<size_t>(in.gcount()));
  return bytes;
}

// Warnings of one file on standard error; the rest are counted.
constexpr size_t kWarningsShown = 20;

std::string clock_text(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  return std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") + std::to_string(s % 60);
}

std::string trace_path(const Options& o, const std::string& name, bool several) {
  return several ? o.trace_file + "/" + name + ".trace" : o.trace_file;
}

// Every file the run would write, checked against its inputs, its plan and each other.
std::vector<std::string> output_clashes_of(const Options& o, const std::vector<FileJob>& jobs,
                                           const std::vector<std::string>& names, bool several) {
  std::vector<NamedPath> inputs, outputs;
  if (!o.manifest.empty()) inputs.push_back({o.manifest, "the plan"});
  for (const FileJob& job : jobs)
    if (!job.bytes) inputs.push_back({job.path, "an input"});
  outputs.push_back({o.summary_file, "--summary"});
  outputs.push_back({o.by_sample_file, "--by-sample"});
  outputs.push_back({o.json_lines_file, "--json-lines"});
  outputs.push_back({o.global_summary_file, "--global-summary"});
  outputs.push_back({o.forms_file, "--forms"});
  outputs.push_back({o.calc_file, "--calc"});
  if (!o.trace_file.empty())
    for (const std::string& name : names)
      outputs.push_back({trace_path(o, name, several), "--trace"});
  for (const FileJob& job : jobs) {
    if (job.plots_dir.empty()) continue;
    for (const char* picture : kPictureNames)
      outputs.push_back({job.plots_dir + "/" + picture, "--plots"});
  }
  return output_clashes(inputs, outputs);
}

}  // namespace

std::vector<FileJob> jobs_of(const Options& o, std::istream& in, std::vector<std::string>& problems,
                             int& status) {
  std::vector<FileJob> jobs;
  if (!o.manifest.empty()) {
    FileResult probe;
    const auto text = read_input_file(o.manifest, probe);
    if (!text) {
      problems.push_back(o.manifest + ": " + probe.message);
      status = kInput;
      return jobs;
    }
    std::string error;
    const std::string dir = fs::path(o.manifest).parent_path().string();
    if (!plan_jobs(*text, dir, o, jobs, error)) {
      problems.push_back(o.manifest + ": " + error);
      status = kUsage;
      jobs.clear();
    }
    return jobs;
  }
  const auto settings = std::make_shared<const Options>(o);
  for (const std::string& input : o.inputs) {
    FileJob job;
    job.settings = settings;
    job.path = input;
    job.sample = sample_of(input);
    std::error_code ec;
    if (input == "-") {
      job.bytes = read_stdin(in);
      if (in.bad()) {
        problems.push_back("standard input: read error");
        status = std::max(status, static_cast<int>(kInput));
        continue;
      }
    } else if (fs::is_directory(input, ec)) {
      const std::vector<fs::path> names = scan_folder(input, problems, ec);
      if (ec) {
        problems.push_back(input + ": cannot be read: " + ec.message());
        status = std::max(status, static_cast<int>(kInput));
      }
      if (names.empty() && !ec) {
        problems.push_back(input + ": holds no *.mdf, *.txt, *.csv or *.tsv file");
        status = std::max(status, static_cast<int>(kInput));
      }
      for (const fs::path& p : names) {
        FileJob f = job;
        f.path = p.string();
        f.sample = sample_of(f.path);
        jobs.push_back(std::move(f));
      }
      continue;
    }
    jobs.push_back(std::move(job));
  }
  return jobs;
}

FileResult analyse_or_refuse(const FileJob& job) {
  // The refusal is made before the analysis: when memory has run out there may be none left
  // to make it. Once the analysis has unwound, what it held is free again.
  std::optional<FileResult> refusal;
  for (int attempt = 0;; ++attempt) {
    try {
      if (!refusal) {
        refusal.emplace();
        refusal->file = job.path;
        refusal->sample = job.sample;
        refusal->plan_cells = job.plan_cells;
        refusal->status = Status::Refused;
        refusal->exit_status = kInput;
        refusal->code = "out_of_memory";
        refusal->message = "not enough memory to analyse it";
      }
      return analyse_file(job);
    } catch (const std::bad_alloc&) {
      if (refusal && !refusal->message.empty()) return std::move(*refusal);
      refusal.reset();
      if (attempt == 100) throw;
      // Other files in work may free memory.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

size_t analyse_all(const std::vector<FileJob>& jobs, int threads,
                   const std::function<void(FileResult&&)>& done,
                   const std::function<void(size_t)>& tick, int& started, const CancelToken* stop) {
  const size_t n = jobs.size();
  auto stopping = [stop] { return stop_signal() != 0 || (stop && stop->cancelled()); };
  const size_t want =
      std::clamp<size_t>(static_cast<size_t>(std::max(threads, 1)), 1, std::max<size_t>(n, 1));
  // How far ahead of the first unfinished file the workers may go.
  const size_t window = std::max<size_t>(4 * want, 16);
  // Results finished ahead of the next one to pass on: at most the window's, never one per
  // file (ten thousand empty slots of a result would stay to the end).
  std::map<size_t, FileResult> ready;
  std::mutex mu;
  std::condition_variable cv;
  size_t next = 0, next_out = 0, finished = 0, running = 0;
  auto worker = [&] {
    std::unique_lock lock(mu);
    while (true) {
      cv.wait(lock, [&] { return next >= n || stopping() || next < next_out + window; });
      if (next >= n || stopping()) break;
      const size_t i = next++;
      lock.unlock();
      FileResult r = analyse_or_refuse(jobs[i]);
      lock.lock();
      ready.insert_or_assign(i, std::move(r));
      ++finished;
      cv.notify_all();
    }
    --running;
    cv.notify_all();
  };
  std::vector<std::thread> pool;
  started = 0;
  {
    std::lock_guard lock(mu);
    for (size_t t = 0; t < want; ++t) {
      try {
        pool.emplace_back(worker);
      } catch (const std::system_error&) {
        break;  // the system allows no more threads: go on with those started
      }
      ++running;
      ++started;
    }
  }
  size_t passed = 0;
  std::unique_lock lock(mu);
  auto pass = [&](size_t i) {
    auto node = ready.extract(i);
    FileResult r = std::move(node.mapped());
    if (r.code == "stopped") return;  // cut short: nothing of it is written
    lock.unlock();
    done(std::move(r));
    lock.lock();
    ++passed;
  };
  while (next_out < n) {
    if (ready.count(next_out)) {
      pass(next_out++);
      cv.notify_all();
      continue;
    }
    if (running == 0) {
      if (started > 0 || stopping() || next >= n) break;
      const size_t i = next++;  // no worker at all: this thread does the work
      lock.unlock();
      FileResult r = analyse_or_refuse(jobs[i]);
      lock.lock();
      ready.insert_or_assign(i, std::move(r));
      ++finished;
      continue;
    }
    const size_t f = finished;
    lock.unlock();
    tick(f);
    lock.lock();
    cv.wait_for(lock, std::chrono::milliseconds(250),
                [&] { return ready.count(next_out) > 0 || running == 0; });
    if (stopping()) cv.notify_all();  // a signal handler cannot wake the workers itself
  }
  while (!ready.empty()) pass(ready.begin()->first);
  lock.unlock();
  for (std::thread& t : pool) t.join();
  return passed;
}

namespace {

// Columns of the terminal standard error is on; when it does not say, COLUMNS, else 80.
size_t terminal_width() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  if (const char* c = std::getenv("COLUMNS")) {
    const long n = std::strtol(c, nullptr, 10);
    if (n >= 2 && n <= 10000) return static_cast<size_t>(n);
  }
  return 80;
}

// The summary goes to a file whole or not at all, or to standard output as it grows.
class TableOutput {
 public:
  TableOutput(const std::string& path, std::ostream& out) : path_(path), out_(out) {}
  bool wanted() const { return !path_.empty(); }
  bool open(std::ostream& err) {
    if (path_ == "-" || !wanted()) return true;
    if (file_.open(path_)) return true;
    err << "ferolan-cli: " << path_ << ": cannot be written: " << file_.error() << "\n";
    return false;
  }
  void write(std::string_view text) {
    if (path_ == "-")
      out_ << text;
    else if (file_.is_open())
      file_.write(text);
  }
  bool commit(std::ostream& err) {
    if (path_ == "-") return out_.flush().good();
    if (!file_.is_open()) return !wanted();
    if (file_.commit()) return true;
    err << "ferolan-cli: " << path_ << ": cannot be written: " << file_.error() << "\n";
    return false;
  }

 private:
  std::string path_;
  std::ostream& out_;
  OutputFile file_;
};

// What the replicate statistics need of a file, and no more: ten thousand files must not
// keep their reports, diagnostics and warnings to the end.
FileResult slim(const FileResult& r, bool keep_texts) {
  FileResult s;
  s.file = r.file;
  s.sample = r.sample;
  s.status = r.status;
  s.exit_status = r.exit_status;
  for (int k = 1; k <= kSlots; ++k) {
    s.per_slot[k].state = r.per_slot[k].state;
    s.per_slot[k].pka = r.per_slot[k].pka;
  }
  s.s_a = r.s_a;
  if (keep_texts) {
    s.forms_text = r.forms_text;
    s.calc_text = r.calc_text;
  }
  return s;
}

const char* signal_name(int sig) {
  return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "a signal";
}

}  // namespace

int run_batch(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
              bool err_is_terminal) {
  int status = kOk;
  std::vector<std::string> problems;
  std::vector<FileJob> jobs = jobs_of(o, in, problems, status);
  for (const std::string& p : problems) err << "ferolan-cli: " << p << "\n";
  if (status == kUsage) return status;

  bool several = jobs.size() > 1 || !o.manifest.empty() || o.shards > 0;
  // Before sharding: an empty part's summary has the columns of the others.
  const std::vector<std::string> plan_columns =
      jobs.empty() || !jobs[0].plan_columns ? std::vector<std::string>() : *jobs[0].plan_columns;
  if (o.shards > 0) {
    // Consecutive parts, so that the parts' tables in order are the whole run's.
    const size_t n = jobs.size(), k = static_cast<size_t>(o.shard), parts = o.shards;
    std::vector<FileJob> part(std::make_move_iterator(jobs.begin() + n * (k - 1) / parts),
                              std::make_move_iterator(jobs.begin() + n * k / parts));
    jobs = std::move(part);
  }
  for (const std::string& input : o.inputs) {
    std::error_code ec;
    several = several || (input != "-" && fs::is_directory(input, ec));
  }
  if (several && (!o.forms_file.empty() || !o.calc_file.empty())) {
    err << "ferolan-cli: --forms and --calc take a single input file\n";
    return kUsage;
  }
  {
    // One table or stream on standard output at most.
    std::vector<std::string> users;
    if (o.json) users.push_back("--json");
    if (o.summary_file == "-") users.push_back("--summary -");
    if (o.by_sample_file == "-") users.push_back("--by-sample -");
    if (o.json_lines_file == "-") users.push_back("--json-lines -");
    if (users.size() > 1) {
      err << "ferolan-cli: " << users[0] << " and " << users[1]
          << " would both write to standard output\n";
      return kUsage;
    }
  }
  // Per-file names under --trace DIR and --plots DIR.
  std::set<std::string> taken;
  std::vector<std::string> names;
  for (FileJob& job : jobs) {
    std::string name = stem_of(job.path);
    for (int k = 2; !taken.insert(name).second; ++k)
      name = stem_of(job.path) + "-" + std::to_string(k);
    names.push_back(name);
    if (!o.plots_dir.empty()) job.plots_dir = several ? o.plots_dir + "/" + name : o.plots_dir;
  }
  if (const std::vector<std::string> clashes = output_clashes_of(o, jobs, names, several);
      !clashes.empty()) {
    for (const std::string& c : clashes) err << "ferolan-cli: " << c << "; nothing written\n";
    return kUsage;
  }
  if (several && !o.trace_file.empty()) {
    std::error_code ec;
    fs::create_directories(o.trace_file, ec);
    if (!fs::is_directory(o.trace_file, ec)) {
      err << "ferolan-cli: " << o.trace_file << ": cannot create the folder for the traces\n";
      return kOutput;
    }
  }
  if (!o.trace_file.empty())
    for (size_t i = 0; i < jobs.size(); ++i) jobs[i].trace_path = trace_path(o, names[i], several);

  // Files at a time times threads of a sweep stay within the cores unless both are given.
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  int at_once = o.jobs > 0 ? o.jobs : o.threads > 0 ? std::max(1, cores / o.threads) : cores;
  at_once = std::max(1, std::min<int>(at_once, static_cast<int>(jobs.size())));
  const int sweep_threads = o.threads > 0 ? o.threads : std::max(1, cores / at_once);
  // Jobs that shared their settings share the changed ones.
  std::shared_ptr<const Options> before, after;
  for (FileJob& job : jobs) {
    if (job.settings != before) {
      before = job.settings;
      auto changed = std::make_shared<Options>(*before);
      changed->threads = sweep_threads;
      after = std::move(changed);
    }
    job.settings = after;
  }

  auto output_failed = [&] { status = std::max(status, static_cast<int>(kOutput)); };
  auto record = std::make_shared<RunRecord>();
  record->started_utc = utc_now();
  record->timing = !o.no_timing;
  TableOutput summary(o.summary_file, out);
  if (!summary.open(err)) output_failed();
  TableOutput json_lines(o.json_lines_file, out);
  if (!json_lines.open(err)) output_failed();
  summary.write(summary_head(o.refine, plan_columns));

  const bool progress = err_is_terminal && !o.quiet;
  const auto t0 = std::chrono::steady_clock::now();
  size_t bar_length = 0;
  auto clear_bar = [&] {
    if (bar_length == 0) return;
    err << "\r" << std::string(bar_length, ' ') << "\r" << std::flush;
    bar_length = 0;
  };
  size_t printed = 0;
  // The bar is cleared only for lines that would land on it.
  const bool out_on_terminal = isatty(STDOUT_FILENO) != 0;
  const bool text_out =
      !o.json && o.summary_file != "-" && o.by_sample_file != "-" && o.json_lines_file != "-";
  // What stays to the end: a few numbers per file for the by-sample table, and the one
  // file's texts for --forms and --calc; nothing when neither is asked.
  const bool keep = !o.by_sample_file.empty() || jobs.size() == 1;
  std::vector<FileResult> kept;
  size_t objects = 0;             // JSON objects written
  std::vector<FileResult> whole;  // --global: every file's result, data set included
  std::string global_rows;
  if (o.json && several && !o.global) out << "[";
  auto done = [&](FileResult&& r) {
    r.run = record;
    status = std::max(status, r.exit_status);
    const bool result = has_result(r.status);
    std::vector<std::string> lines;
    if (r.input)
      for (const CellWarning& w : r.input->warnings) lines.push_back(located(w));
    for (const Problem& p : r.warnings) lines.push_back(p.message);
    // A warning that --strict turned into the refusal is said once, as the refusal.
    if (!result)
      std::erase_if(lines, [&](const std::string& l) { return r.message.starts_with(l); });
    const bool says =
        !result || !r.notes.empty() || !lines.empty() || (out_on_terminal && text_out);
    if (says) clear_bar();
    for (size_t i = 0; i < lines.size() && i < kWarningsShown; ++i)
      err << "ferolan-cli: " << r.file << ": " << lines[i] << "\n";
    if (lines.size() > kWarningsShown)
      err << "ferolan-cli: " << r.file << ": " << lines.size() - kWarningsShown
          << " more warnings (all of them are in the JSON)\n";
    if (!result) err << "ferolan-cli: " << r.file << ": " << r.message << "\n";
    for (const std::string& note : r.notes) err << note;
    if (text_out && result) {
      if (printed++) out << "\n";
      out << r.text;
    }
    if (o.json && !o.global) {
      std::string obj = json_object(r);
      if (several) {
        obj.pop_back();  // its line end
        out << (objects == 0 ? "\n" : ",\n");
      }
      out << obj;
      ++objects;
    }
    summary.write(summary_row(r, o.refine));
    json_lines.write(json_line(r));
    if (keep) kept.push_back(slim(r, jobs.size() == 1));
    if (o.global) whole.push_back(std::move(r));
  };
  auto tick = [&](size_t finished) {
    if (!progress || jobs.empty()) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const size_t width = 30, filled = width * finished / jobs.size();
    std::string line = "[";
    line.append(filled, '#').append(width - filled, '.');
    line += "] " + std::to_string(finished) + "/" + std::to_string(jobs.size()) + " files  " +
            clock_text(elapsed) + " elapsed";
    if (finished > 0 && finished < jobs.size())
      line += ", about " + clock_text(elapsed / finished * (jobs.size() - finished)) + " left";
    // A line as wide as the terminal would wrap, and "\r" would not return to its start.
    const size_t columns = terminal_width() - 1;
    if (line.size() > columns) line.resize(columns);
    const size_t pad = bar_length > line.size() ? bar_length - line.size() : 0;
    err << "\r" << line << std::string(pad, ' ') << std::flush;
    bar_length = line.size() + pad;
  };
  int started = 0;
  tick(0);  // the bar from the start, however soon the first file is done
  const size_t passed = analyse_all(jobs, at_once, done, tick, started);
  clear_bar();
  if (started < at_once)
    err << "ferolan-cli: the system allowed " << started << " of " << at_once
        << " threads; going on with " << std::max(started, 1) << "\n";

  if (o.global) {
    std::vector<std::shared_ptr<const GlobalRun>> globals;
    for (GlobalRun& g : run_global(whole, o, !o.manifest.empty()))
      globals.push_back(std::make_shared<const GlobalRun>(std::move(g)));
    for (FileResult& r : whole) {
      for (const auto& g : globals)
        if (g->sample == (o.manifest.empty() ? std::string("all") : r.sample)) r.global = g;
      r.data.reset();
    }
    std::vector<GlobalRun> rows;
    for (const auto& g : globals) {
      if (g->status != "ok") {
        err << "ferolan-cli: global fit of " << g->sample << ": " << g->message << "\n";
        status = std::max(status, static_cast<int>(kRefused));
      }
      if (g->fit)
        for (const std::string& w : g->fit->warnings)
          err << "ferolan-cli: global fit of " << g->sample << ": " << w << "\n";
      if (text_out) out << (printed++ ? "\n" : "") << global_text(*g);
      rows.push_back(*g);
    }
    // The files' objects wait for their sample's fit, which needs them all.
    if (o.json) {
      if (several) out << "[";
      for (size_t i = 0; i < whole.size(); ++i) {
        std::string obj = json_object(whole[i]);
        if (several) {
          obj.pop_back();
          out << (i ? ",\n" : "\n");
        }
        out << obj;
      }
    }
    global_rows = global_summary_csv(rows);
  }
  if (o.json) out << (several ? "\n]\n" : "");

  if (!summary.commit(err)) output_failed();
  if (!json_lines.commit(err)) output_failed();
  auto write = [&](const std::string& path, const std::string& text) {
    std::string why;
    if (path.empty() || write_whole_file(path, text, why)) return;
    err << "ferolan-cli: " << path << ": cannot be written: " << why << "\n";
    output_failed();
  };
  if (kept.size() == 1 && jobs.size() == 1 && has_result(kept[0].status)) {
    write(o.forms_file, kept[0].forms_text);
    write(o.calc_file, kept[0].calc_text);
  }
  if (o.global) write(o.global_summary_file, global_rows);
  if (!o.by_sample_file.empty()) {
    std::vector<std::string> pooled;
    const std::string table = by_sample_csv(kept, &pooled);
    for (const std::string& w : pooled) err << "ferolan-cli: --by-sample: " << w << "\n";
    if (o.by_sample_file == "-")
      out << table;
    else
      write(o.by_sample_file, table);
  }
  if (const int sig = stop_signal()) {
    err << "ferolan-cli: stopped by " << signal_name(sig) << " after " << passed << " of "
        << jobs.size() << " files; the results of those are written\n";
    return 128 + sig;
  }
  return status;
}

}  // namespace ferolan::cli
