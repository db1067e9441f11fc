// The batch tool on many files: outputs that would overwrite inputs, whole-or-nothing outputs,
// stops by signal, thread and memory limits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "cli/path_identity.h"
#include "cli/sha256.h"
#include "support/synthetic_data.h"

namespace ferolan::cli {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the tool in dir; its standard streams go outside dir so as not to show in listings.
Outcome run(const std::string& args, const fs::path& dir) {
  const fs::path o = dir.string() + ".out", e = dir.string() + ".err";
  const std::string cmd = "cd " + dir.string() + " && " + FEROLAN_CLI + " " + args + " >" +
                          o.string() + " 2>" + e.string() + " </dev/null";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(o), slurp(e)};
}

// A fresh folder of n small tables of one-constant acids (pKa 4 + k/n), named 000.txt ...
fs::path make_folder(const std::string& name, int n, int spectra = 9, int points = 31) {
  const fs::path dir = fs::temp_directory_path() / (name + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "in");
  for (int k = 0; k < n; ++k) {
    testing::SyntheticRecipe r;
    r.pk = {4.0 + static_cast<double>(k) / n};
    r.spectra = spectra;
    r.points = points;
    r.seed = static_cast<uint32_t>(k + 1);
    char file[16];
    std::snprintf(file, sizeof file, "%03d.txt", k);
    std::ofstream(dir / "in" / file, std::ios::binary)
        << testing::table_text(*testing::make_synthetic(r).data);
  }
  return dir;
}

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    names.insert(fs::relative(e.path(), dir).string());
  return names;
}

TEST(PathIdentity, LinksAndSpellingsOfOneFileAreTheSameFile) {
  const fs::path dir = make_folder("ferolan_identity", 2);
  fs::create_symlink("000.txt", dir / "in" / "soft.txt");
  fs::create_hard_link(dir / "in" / "000.txt", dir / "in" / "hard.txt");
  const std::string a = (dir / "in" / "000.txt").string();
  for (const std::string& b :
       {(dir / "in" / "soft.txt").string(), (dir / "in" / "hard.txt").string(),
        (dir / "in" / ".." / "in" / "000.txt").string(), (dir / "in" / "." / "000.txt").string()})
    EXPECT_TRUE(same_file(a, b)) << b;
  EXPECT_FALSE(same_file(a, (dir / "in" / "001.txt").string()));
  // Files that do not exist yet are the same when their names resolve alike.
  EXPECT_TRUE(same_file((dir / "new.csv").string(), (dir / "in" / ".." / "new.csv").string()));
  EXPECT_FALSE(same_file((dir / "new.csv").string(), (dir / "new2.csv").string()));
  const auto clashes =
      output_clashes({{a, "an input"}}, {{(dir / "s.csv").string(), "--summary"},
                                         {(dir / "in" / "soft.txt").string(), "--forms"},
                                         {(dir / "in" / ".." / "s.csv").string(), "--by-sample"},
                                         {"-", "--summary"},
                                         {"", "--calc"}});
  ASSERT_EQ(clashes.size(), 2u);
  EXPECT_NE(clashes[0].find("--forms would overwrite an input (" + a + ")"), std::string::npos)
      << clashes[0];
  EXPECT_NE(clashes[1].find("--by-sample would overwrite what --summary writes"), std::string::npos)
      << clashes[1];
  fs::remove_all(dir);
}

// Every output option pointed at an input, the plan or another output: status 1, and not a
// byte written anywhere.
TEST(OutputsOnInputs, EveryOutputOptionIsRefusedBeforeAnythingIsWritten) {
  const fs::path dir = make_folder("ferolan_clash", 3);
  std::ofstream(dir / "plan.csv") << "file\nin/000.txt\nin/001.txt\n";
  fs::create_symlink("in/001.txt", dir / "link.txt");
  const std::string one = "in/000.txt --pk 4 ";
  const char* const cases[] = {
      "in/000.txt --pk 4 --summary in/000.txt",
      "in/000.txt --pk 4 --by-sample ./in/000.txt",
      "in/000.txt --pk 4 --forms in/../in/000.txt",
      "in/000.txt --pk 4 --calc in/000.txt",
      "in/000.txt --pk 4 --trace in/000.txt",
      "in/000.txt in/001.txt --pk 4 --trace t --summary t/000.trace",
      "in/001.txt --pk 4 --summary link.txt",
      "in/ --pk 4 --summary in/002.txt",
      "--manifest plan.csv --pk 4 --summary plan.csv",
      "--manifest plan.csv --pk 4 --by-sample in/001.txt",
      "in/000.txt --pk 4 --summary s.csv --by-sample s.csv",
      "in/000.txt --pk 4 --summary s.csv --forms ./s.csv",
      "in/000.txt --pk 4 --forms f.txt --calc f.txt",
      "in/000.txt --pk 4 --summary out/spectra.png --plots out",
  };
  const std::set<std::string> before = listing(dir);
  const std::string bytes = slurp(dir / "in" / "000.txt") + slurp(dir / "in" / "001.txt") +
                            slurp(dir / "in" / "002.txt") + slurp(dir / "plan.csv");
  for (const char* args : cases) {
    const Outcome r = run(args, dir);
    EXPECT_EQ(r.status, 1) << args << "\n" << r.err;
    EXPECT_NE(r.err.find("would overwrite"), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(listing(dir), before) << args;
  }
  EXPECT_EQ(slurp(dir / "in" / "000.txt") + slurp(dir / "in" / "001.txt") +
                slurp(dir / "in" / "002.txt") + slurp(dir / "plan.csv"),
            bytes);
  // Outputs that only look alike are written.
  const Outcome ok = run(one + "--summary s.csv --by-sample in/s.csv", dir);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_TRUE(fs::exists(dir / "s.csv") && fs::exists(dir / "in" / "s.csv"));
  fs::remove_all(dir);
}

bool hidden_files_in(const fs::path& dir) {
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().filename().string()[0] == '.') return true;
  return false;
}

TEST(OutputFile, ANameHoldsTheOldFileOrTheWholeNewOne) {
  const fs::path dir = make_folder("ferolan_output_file", 0);
  const std::string path = (dir / "s.csv").string();
  std::ofstream(path) << "old";
  {
    OutputFile f;
    ASSERT_TRUE(f.open(path)) << f.error();
    EXPECT_TRUE(f.write(std::string(200000, 'x')));  // past the buffer
    EXPECT_EQ(slurp(path), "old");
  }  // never committed
  EXPECT_EQ(slurp(path), "old");
  EXPECT_FALSE(hidden_files_in(dir));
  {
    OutputFile f;
    ASSERT_TRUE(f.open(path));
    f.write("new,");
    f.write(std::string(100000, 'y'));
    EXPECT_TRUE(f.commit()) << f.error();
  }
  EXPECT_EQ(slurp(path), "new," + std::string(100000, 'y'));
  // Through a link the file behind it is replaced and the link stays.
  fs::create_symlink("s.csv", dir / "link.csv");
  std::string why;
  EXPECT_TRUE(write_whole_file((dir / "link.csv").string(), "via link", why)) << why;
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
  EXPECT_EQ(slurp(path), "via link");
  struct Bad {
    std::string path, why;
  } bad[] = {{(dir / "nowhere" / "s.csv").string(), "No such file or directory"},
             {dir.string(), "is a folder"},
             {(dir / "s.csv" / "x").string(), "Not a directory"}};
  for (const Bad& b : bad) {
    EXPECT_FALSE(write_whole_file(b.path, "x", why)) << b.path;
    EXPECT_EQ(why, b.why) << b.path;
  }
  EXPECT_FALSE(hidden_files_in(dir));
  // The tool names the reason too.
  const fs::path data = make_folder("ferolan_output_reason", 1);
  const Outcome r = run("in/000.txt --pk 4 --summary nowhere/s.csv", data);
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("nowhere/s.csv: cannot be written: No such file or directory"),
            std::string::npos)
      << r.err;
  fs::remove_all(dir);
  fs::remove_all(data);
}

// SIGINT and SIGTERM in the middle of a 200-file batch: the summary is the old one or a whole
// new one with the files finished, every trace under its name is whole, no temporary file is
// left, and the status is 128 + the signal.
TEST(Stop, SignalsMidBatchLeaveOnlyWholeFiles) {
  const fs::path dir = make_folder("ferolan_stop", 200, 15, 61);
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    fs::remove_all(dir / "t");
    std::ofstream(dir / "s.csv") << "the previous run's summary\n";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      chdir(dir.c_str());
      freopen("/dev/null", "w", stdout);
      freopen((dir.string() + ".err").c_str(), "w", stderr);
      execl(FEROLAN_CLI, FEROLAN_CLI, "in", "--search", "auto", "--jobs", "2", "--summary", "s.csv",
            "--trace", "t", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Signalled once a few files are done, so that it lands mid-batch.
    for (int i = 0; i < 2000; ++i) {
      size_t traces = 0;
      std::error_code ec;
      for (auto it = fs::directory_iterator(dir / "t", ec); !ec && it != fs::directory_iterator();
           ++it)
        traces += it->path().extension() == ".trace";
      if (traces >= 3) break;
      usleep(5000);
    }
    kill(pid, sig);
    int raw = 0;
    waitpid(pid, &raw, 0);
    const std::string err = slurp(dir.string() + ".err");
    ASSERT_TRUE(WIFEXITED(raw)) << err;
    EXPECT_EQ(WEXITSTATUS(raw), 128 + sig) << err;
    EXPECT_FALSE(hidden_files_in(dir)) << "a temporary file was left";
    const std::string summary = slurp(dir / "s.csv");
    ASSERT_EQ(summary.rfind("file,sample,status,", 0), 0u) << summary;
    std::istringstream rows(summary);
    std::string row;
    size_t n = 0;
    long columns = -1;  // every row as wide as the header
    while (std::getline(rows, row)) {
      EXPECT_EQ(row.back(), '\r');
      const long commas = std::count(row.begin(), row.end(), ',');
      if (columns < 0) columns = commas;
      EXPECT_EQ(commas, columns) << row;
      ++n;
    }
    const size_t files = n - 1;
    EXPECT_GE(files, 3u);
    EXPECT_LT(files, 200u);
    EXPECT_NE(err.find("after " + std::to_string(files) + " of 200 files"), std::string::npos)
        << err;
    for (const auto& e : fs::directory_iterator(dir / "t")) {
      const std::string trace = slurp(e.path());
      ASSERT_FALSE(trace.empty()) << e.path();
      EXPECT_EQ(trace.back(), '\n') << e.path();
      // Each trace belongs to a file in the summary.
      EXPECT_NE(summary.find("in/" + e.path().stem().string() + ".txt,"), std::string::npos);
    }
  }
  fs::remove_all(dir);
}

// A folder as a lab's disk holds it: hidden files and a Mac's "._" companions passed over,
// other files listed once, a FIFO and a device skipped (reading them would hang or never end);
// named on the command line they are refused, and the run still ends.
TEST(Folders, OnlyRegularDataFilesAreReadAndTheRestIsSaid) {
  const fs::path dir = make_folder("ferolan_folders", 2);
  const fs::path in = dir / "in";
  fs::copy_file(in / "000.txt", in / "._000.txt");
  fs::copy_file(in / "000.txt", in / ".hidden.txt");
  std::ofstream(in / "notes.docx") << "x";
  std::ofstream(in / "README") << "x";
  ASSERT_EQ(mkfifo((in / "pipe.txt").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", in / "zero.mdf");
  const Outcome r = run("in --pk 4 --summary - --quiet", dir);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* said :
       {"ferolan-cli: in/pipe.txt: skipped: a FIFO, not a file\n",
        "ferolan-cli: in/zero.mdf: skipped: a character device, not a file\n",
        "ferolan-cli: in: skipped 2 files not named *.mdf, *.txt, *.csv or *.tsv: README, "
        "notes.docx\n"})
    EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
  EXPECT_EQ(r.err.find("hidden"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("._000"), std::string::npos) << r.err;
  // The summary went to standard output: a header and the two tables.
  EXPECT_EQ(r.out.rfind("file,sample,status,", 0), 0u) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
  EXPECT_NE(r.out.find("\r\nin/001.txt,in/001,ok,"), std::string::npos) << r.out;

  const Outcome named = run("in/pipe.txt in/zero.mdf in/000.txt --pk 4 --json", dir);
  EXPECT_EQ(named.status, 2);
  EXPECT_NE(named.err.find("in/pipe.txt: is not a regular file but a FIFO"), std::string::npos)
      << named.err;
  EXPECT_NE(named.out.find("\"code\": \"not_regular\""), std::string::npos);
  // --summary - shares standard output with nothing else.
  EXPECT_EQ(run("in --pk 4 --summary - --json", dir).status, 1);
  EXPECT_EQ(run("in --pk 4 --summary - --by-sample -", dir).status, 1);
  fs::remove_all(dir);
}

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256_hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // Lengths around the padding's edges, fed whole and in uneven pieces.
  for (size_t n : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>('!' + (i * 7) % 90);
    Sha256 pieces;
    for (size_t at = 0; at < n; at += 13) pieces.update(std::string_view(text).substr(at, 13));
    Sha256 whole;
    whole.update(text);
    EXPECT_EQ(pieces.finish(), whole.finish()) << n;
  }
}

// Any plan cut into any number of shards, each run with any number of jobs, merges into the
// run over the whole plan: summary, by-sample table and JSON Lines, byte for byte.
TEST(Shards, MergedShardsAreTheWholeRun) {
  const fs::path dir = make_folder("ferolan_shards", 7);
  std::mt19937 random(20261208);
  for (int plan = 0; plan < 3; ++plan) {
    SCOPED_TRACE(plan);
    std::ofstream p(dir / "plan.csv");
    // Replicates of one or two constants: a sample may hold fits of two models.
    p << "file,sample,constants\n";
    const int rows = 3 + static_cast<int>(random() % 5);
    for (int i = 0; i < rows; ++i)
      p << "in/00" << random() % 7 << ".txt,"
        << "S" << random() % 3 << "," << 1 + random() % 2 << "\n";
    p.close();
    const std::string base = "--manifest plan.csv --pk 4 --no-timing --quiet ";
    ASSERT_EQ(run(base + "--summary s.csv --by-sample r.csv --json-lines j.jsonl", dir).status, 0);
    const int n = 1 + static_cast<int>(random() % 4);
    std::string summaries, lines;
    for (int k = 1; k <= n; ++k) {
      const std::string K = std::to_string(k);
      const std::string jobs = std::to_string(1 + random() % 4);
      const Outcome r = run(base + "--shard " + K + "/" + std::to_string(n) + " --jobs " + jobs +
                                " --summary s" + K + ".csv --json-lines j" + K + ".jsonl",
                            dir);
      ASSERT_EQ(r.status, 0) << r.err;
      summaries += " s" + K + ".csv";
      lines += " j" + K + ".jsonl";
    }
    EXPECT_EQ(run("merge sm.csv" + summaries + " --by-sample rm.csv", dir).status, 0);
    EXPECT_EQ(run("merge jm.jsonl" + lines, dir).status, 0);
    EXPECT_EQ(slurp(dir / "sm.csv"), slurp(dir / "s.csv")) << n << " shards";
    EXPECT_EQ(slurp(dir / "rm.csv"), slurp(dir / "r.csv")) << n << " shards";
    EXPECT_EQ(slurp(dir / "jm.jsonl"), slurp(dir / "j.jsonl")) << n << " shards";
    const std::string whole = slurp(dir / "j.jsonl");
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), rows);
  }
  // Parts that are not parts.
  std::ofstream(dir / "cut.csv") << "file,sample,status\r\nin/000.txt,a,ok";
  std::ofstream(dir / "other.csv") << "sample,n\r\n";
  struct Bad {
    std::string args;
    int status;
  } bad[] = {{"merge", 1},
             {"merge out.csv", 1},
             {"merge s.csv s.csv", 1},
             {"merge out.csv cut.csv", 2},
             {"merge out.csv s.csv other.csv", 2},
             {"merge out.csv s.csv j.jsonl", 2},
             {"merge out.jsonl j.jsonl --by-sample r2.csv", 1},
             {"merge out.csv missing.csv", 2},
             {"merge out.csv in", 2}};
  for (const Bad& b : bad) {
    EXPECT_EQ(run(b.args, dir).status, b.status) << b.args;
    EXPECT_FALSE(fs::exists(dir / "out.csv") || fs::exists(dir / "out.jsonl")) << b.args;
  }
  fs::remove_all(dir);
}

// Threads the system will not start, memory it will not give: refusals, never an abort.
TEST(Limits, ThreadAndMemoryLimitsEndInRefusalsNotAborts) {
  const fs::path dir = make_folder("ferolan_limits", 6);
  struct Case {
    const char* limit;
    const char* args;
  } cases[] = {
      {"ulimit -v 400000", "in --pk 4 --jobs 100 --threads 100 --summary s.csv"},
      {"ulimit -v 400000", "in --pk 4 --level very-high --threads 200 --summary s.csv"},
      {"ulimit -v 250000", "in --pk 4 --summary s.csv"},
      {"ulimit -v 100000", "in --pk 4 --jobs 6 --summary s.csv"},
      {"ulimit -u 30", "in --pk 4 --jobs 100 --threads 100 --summary s.csv"},
  };
  for (const Case& c : cases) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (std::string(c.limit).find("-v") != std::string::npos) continue;  // shadow memory
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    if (std::string(c.limit).find("-v") != std::string::npos) continue;
#endif
#endif
    const std::string cmd = "cd " + dir.string() + " && bash -c '" + c.limit + " && exec " +
                            FEROLAN_CLI + " " + c.args + "' >/dev/null 2>" + dir.string() + ".err";
    const int raw = std::system(cmd.c_str());
    const std::string err = slurp(dir.string() + ".err");
    ASSERT_TRUE(WIFEXITED(raw)) << c.limit << " " << c.args;
    const int status = WEXITSTATUS(raw);
    EXPECT_TRUE(status == 0 || status == 2) << c.limit << " " << c.args << "\n" << err;
    EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
    // Every file has its row: analysed, or refused for want of memory.
    const std::string summary = slurp(dir / "s.csv");
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 7) << summary;
    if (status == 2) {
      EXPECT_NE(summary.find("not enough memory"), std::string::npos) << summary;
    }
  }
  fs::remove_all(dir);
}

// The progress bar on a terminal (a pseudo-terminal of no size, so COLUMNS tells the width):
// every state of it fits the width less one column, so that "\r" returns to its start, and
// the last is cleared before the run ends.
TEST(Progress, TheBarFitsTheTerminalAndClearsItsLine) {
  const fs::path dir = make_folder("ferolan_progress", 12);
  for (const int width : {24, 60, 200}) {
    SCOPED_TRACE(width);
    const std::string cmd = "cd " + dir.string() + " && COLUMNS=" + std::to_string(width) +
                            " script -qec '" + FEROLAN_CLI +
                            " in --pk 4 --jobs 2 --summary s.csv 2>&1 >/dev/null' /dev/null >" +
                            dir.string() + ".tty </dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string tty = slurp(dir.string() + ".tty");
    ASSERT_NE(tty.find("\r["), std::string::npos) << tty;
    size_t states = 0, longest = 0;
    for (size_t at = tty.find("\r["); at != std::string::npos; at = tty.find("\r[", at + 1)) {
      const size_t end = tty.find_first_of("\r\n", at + 1);
      const std::string state = tty.substr(at + 1, end == std::string::npos ? end : end - at - 1);
      EXPECT_LE(state.size(), static_cast<size_t>(width - 1)) << state;
      longest = std::max(longest, state.size());
      ++states;
    }
    EXPECT_GT(states, 0u);
    // Cleared: the last state overwritten by blanks, the cursor back at the line's start.
    const size_t last = tty.rfind("\r[");
    std::string cleared(longest + 2, ' ');
    cleared.front() = cleared.back() = '\r';
    const size_t blank = tty.find(cleared, last);
    EXPECT_NE(blank, std::string::npos) << tty;
  }
  fs::remove_all(dir);
  fs::remove(dir.string() + ".tty");
}

// Files of nearly 64 MiB built to make a reader keep what it will refuse: one row of 33
// million cells, one row of 60 million empty cells, five million rows, one quoted cell of
// 60 MB. Under a memory limit far below what a copy of their cells would need, each ends in
// the refusal or the warning that names its shape, and the limit, when it is met, in a
// refusal for want of memory, never an abort. (A copy of every cell of row.txt took 2.2 GB;
// the limits leave room for the malloc arenas of the threads.)
TEST(Limits, HugeTablesCostWhatTheReaderKeepsNotTheirSize) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "memory limits and sanitizer shadow memory do not mix";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "memory limits and sanitizer shadow memory do not mix";
#endif
#endif
  const fs::path dir = fs::temp_directory_path() / ("ferolan_huge_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const size_t size = (64u << 20) - 64;
  auto write = [&](const char* name, const std::string& head, const std::string& unit,
                   const std::string& tail) {
    std::string text = head;
    text.reserve(size);
    while (text.size() + unit.size() + tail.size() < size) text += unit;
    std::ofstream(dir / name, std::ios::binary) << text << tail;
  };
  write("row.txt", "0.001\t", "1\t", "\n");
  const std::string rows = "\n400\t0.1\t0.2\t0.3\t0.4\n401\t0.2\t0.3\t0.3\t0.5\n";
  write("empties.txt", "0.001\t2\t3\t5\t6", "\t\t\t\t", rows);
  write("rows.txt", "0.001\t2\t3\t5\t6" + rows, "400\t0.1\t0.2\t0.3\t0.4\n", "");
  write("cell.csv", "0.001,2,3,5,6\n400,\"", "1,", "\",0.2,0.3,0.4\n401,0.2,0.3,0.3,0.5\n");
  struct Case {
    const char* limit;
    const char* file;
    int status;
    const char* says;  // on standard error
  } cases[] = {
      {"ulimit -v 300000", "row.txt", 2, "the table has no wavelengths"},
      {"ulimit -v 300000", "empties.txt", 0, "pKa1"},
      // Read whole, millions of points need more for the fit than there is.
      {"ulimit -v 200000", "rows.txt", 2, "not enough memory to analyse it"},
      // The cell is kept, and copied once to be read as a number.
      {"ulimit -v 450000", "cell.csv", 0, "row 2, column 2: \"1,1,1,1"},
      // Too little even for the file's bytes: a refusal of the file.
      {"ulimit -v 100000", "row.txt", 2, "not enough memory to analyse it"},
  };
  for (const Case& c : cases) {
    const std::string cmd = "cd " + dir.string() + " && bash -c '" + c.limit + " && exec " +
                            FEROLAN_CLI + " " + c.file +
                            " --pk 4 --jobs 1 --threads 1 --quiet --no-timing' >/dev/null 2>" +
                            dir.string() + ".err";
    const int raw = std::system(cmd.c_str());
    const std::string err = slurp(dir.string() + ".err");
    ASSERT_TRUE(WIFEXITED(raw)) << c.limit << " " << c.file;
    EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.limit << " " << c.file << "\n" << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << c.limit << " " << c.file << "\n" << err;
    EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
  }
  fs::remove_all(dir);
  fs::remove(dir.string() + ".err");
}

}  // namespace
}  // namespace ferolan::cli
