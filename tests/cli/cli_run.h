// Runs the batch tool as a shell script does: real process, real files, exit codes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace ferolan {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out, err;
};

inline std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs the tool through the shell with the arguments as written; stdin from `input`.
inline CliRun cli(const std::string& args, const std::string& input = "") {
  static int n = 0;
  const fs::path dir = fs::temp_directory_path() / ("ferolan_cli_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path in = dir / ("in" + std::to_string(n));
  const fs::path out = dir / ("out" + std::to_string(n));
  const fs::path err = dir / ("err" + std::to_string(n++));
  std::ofstream(in, std::ios::binary) << input;
  const std::string cmd = std::string(FEROLAN_CLI) + " " + args + " <" + in.string() + " >" +
                          out.string() + " 2>" + err.string();
  CliRun r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

inline const std::string kExample = std::string(FEROLAN_EXAMPLES) + "/data.mdf";

inline std::string line_starting(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) return line;
  return {};
}

}  // namespace ferolan
