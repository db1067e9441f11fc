#include "cli/batch.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "cli/manifest.h"
#include "cli/outputs.h"
#include "cli/path_identity.h"
#include "cli/pictures.h"
#include "engine/format/format.h"

namespace ferolan::cli {

namespace fs = std::filesystem;

namespace {

bool is_data_name(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".mdf" || ext == ".txt" || ext == ".csv" || ext == ".tsv";
}

// Standard input, read no further than one byte past the limit.
std::string read_stdin(std::istream& in) {
  std::string bytes;
  char buf[1 << 16];
  while (bytes.size() <= kMaxInputBytes && (in.read(buf, sizeof buf) || in.gcount() > 0))
    bytes.append(buf, static_cast<size_t>(in.gcount()));
  return bytes;
}

bool write_file(const std::string& path, const std::string& text, std::ostream& err) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  f.flush();
  if (!f) {
    err << "ferolan-cli: " << path << ": cannot be written\n";
    return false;
  }
  return true;
}

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
  for (const std::string& input : o.inputs) {
    FileJob job;
    job.settings = o;
    job.path = input;
    job.sample = stem_of(input);
    std::error_code ec;
    if (input == "-") {
      job.bytes = read_stdin(in);
      if (in.bad()) {
        problems.push_back("standard input: read error");
        status = std::max(status, static_cast<int>(kInput));
        continue;
      }
    } else if (fs::is_directory(input, ec)) {
      std::vector<fs::path> names;
      for (const auto& e : fs::directory_iterator(input, ec)) {
        std::error_code ignored;  // a broken link is named, and found unreadable later
        if (is_data_name(e.path()) && !fs::is_directory(e.path(), ignored))
          names.push_back(e.path());
      }
      if (ec) {
        problems.push_back(input + ": cannot be read: " + ec.message());
        status = std::max(status, static_cast<int>(kInput));
      }
      std::sort(names.begin(), names.end(),
                [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
      if (names.empty() && !ec) {
        problems.push_back(input + ": holds no *.mdf, *.txt, *.csv or *.tsv file");
        status = std::max(status, static_cast<int>(kInput));
      }
      for (const fs::path& p : names) {
        FileJob f = job;
        f.path = p.string();
        f.sample = stem_of(f.path);
        jobs.push_back(std::move(f));
      }
      continue;
    }
    jobs.push_back(std::move(job));
  }
  return jobs;
}

std::vector<FileResult> analyse_all(const std::vector<FileJob>& jobs, int threads,
                                    const std::function<void(const FileResult&)>& done,
                                    const std::function<void(size_t)>& tick) {
  const size_t n = jobs.size();
  std::vector<std::optional<FileResult>> ready(n);
  std::mutex mu;
  std::condition_variable cv;
  size_t next = 0, finished = 0;
  auto worker = [&] {
    while (true) {
      size_t i = 0;
      {
        std::lock_guard lock(mu);
        if (next >= n) return;
        i = next++;
      }
      FileResult r = analyse_file(jobs[i]);
      {
        std::lock_guard lock(mu);
        ready[i] = std::move(r);
        ++finished;
      }
      cv.notify_all();
    }
  };
  std::vector<std::thread> pool;
  const size_t count =
      std::clamp<size_t>(static_cast<size_t>(std::max(threads, 1)), 1, std::max<size_t>(n, 1));
  for (size_t t = 0; t < count; ++t) pool.emplace_back(worker);

  std::vector<FileResult> results;
  results.reserve(n);
  std::unique_lock lock(mu);
  while (results.size() < n) {
    cv.wait_for(lock, std::chrono::milliseconds(250),
                [&] { return ready[results.size()].has_value(); });
    const size_t f = finished;
    while (results.size() < n && ready[results.size()]) {
      results.push_back(std::move(*ready[results.size()]));
      ready[results.size() - 1].reset();
      lock.unlock();
      done(results.back());
      lock.lock();
    }
    lock.unlock();
    tick(f);
    lock.lock();
  }
  lock.unlock();
  for (std::thread& t : pool) t.join();
  return results;
}

int run_batch(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
              bool err_is_terminal) {
  int status = kOk;
  std::vector<std::string> problems;
  std::vector<FileJob> jobs = jobs_of(o, in, problems, status);
  for (const std::string& p : problems) err << "ferolan-cli: " << p << "\n";
  if (status == kUsage) return status;

  bool several = jobs.size() > 1 || !o.manifest.empty();
  for (const std::string& input : o.inputs) {
    std::error_code ec;
    several = several || (input != "-" && fs::is_directory(input, ec));
  }
  if (several && (!o.forms_file.empty() || !o.calc_file.empty())) {
    err << "ferolan-cli: --forms and --calc take a single input file\n";
    return kUsage;
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
    job.trace = !o.trace_file.empty();
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

  const bool progress = err_is_terminal && !o.quiet;
  const auto t0 = std::chrono::steady_clock::now();
  bool bar_shown = false;
  auto clear_bar = [&] {
    if (!bar_shown) return;
    err << "\r" << std::string(72, ' ') << "\r" << std::flush;
    bar_shown = false;
  };
  size_t printed = 0;
  // The bar is cleared only for lines that would land on it.
  const bool out_on_terminal = isatty(STDOUT_FILENO) != 0;
  auto done = [&](const FileResult& r) {
    const bool says = r.status != Status::Ok || !r.notes.empty() ||
                      (r.input && !r.input->warnings.empty()) ||
                      (out_on_terminal && !o.json && r.status == Status::Ok);
    if (says) clear_bar();
    if (r.input)
      for (const CellWarning& w : r.input->warnings)
        err << "ferolan-cli: " << r.file << ": " << located(w) << "\n";
    if (r.status != Status::Ok) err << "ferolan-cli: " << r.file << ": " << r.message << "\n";
    for (const std::string& note : r.notes) err << note;
    if (!o.json && r.status == Status::Ok) {
      if (printed++) out << "\n";
      out << r.text;
    }
  };
  auto tick = [&](size_t finished) {
    if (!progress || jobs.empty()) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const size_t width = 30, filled = width * finished / jobs.size();
    err << "\r[" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << finished
        << "/" << jobs.size() << " files  " << clock_text(elapsed) << " elapsed";
    if (finished > 0 && finished < jobs.size())
      err << ", about " << clock_text(elapsed / finished * (jobs.size() - finished)) << " left";
    err << "   " << std::flush;
    bar_shown = true;
  };
  const int threads =
      o.jobs > 0 ? o.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const std::vector<FileResult> results = analyse_all(jobs, threads, done, tick);
  clear_bar();

  for (const FileResult& r : results) status = std::max(status, r.exit_status);
  if (o.json) out << json_text(results, several);

  auto output_failed = [&] { status = std::max(status, static_cast<int>(kOutput)); };
  if (!o.trace_file.empty()) {
    for (size_t i = 0; i < results.size(); ++i) {
      if (results[i].status != Status::Ok && results[i].trace.empty()) continue;
      const std::string path = trace_path(o, names[i], several);
      if (!write_file(path, results[i].trace, err)) output_failed();
    }
  }
  if (results.size() == 1 && results[0].status == Status::Ok) {
    if (!o.forms_file.empty() && !write_file(o.forms_file, results[0].forms_text, err))
      output_failed();
    if (!o.calc_file.empty() && !write_file(o.calc_file, results[0].calc_text, err))
      output_failed();
  }
  if (!o.summary_file.empty() && !write_file(o.summary_file, summary_csv(results, o.refine), err))
    output_failed();
  if (!o.by_sample_file.empty() && !write_file(o.by_sample_file, by_sample_csv(results), err))
    output_failed();
  return status;
}

}  // namespace ferolan::cli
