// A file that appears under its name whole or not at all: it is written under a temporary
// name in the same folder (a dotfile, which folder scans skip) and renamed when complete, so
// that a stop, a full disk or a crash never leaves part of it, nor spoils the previous one.
#pragma once

#include "cli/layer.h"

#include <string>
#include <string_view>

namespace ferolan::cli {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an uncommitted file is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; false with error() set when it cannot be.
  bool open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  // Buffered; false (and error() set) once anything failed, after which writes are dropped.
  bool write(std::string_view bytes);
  // Writes what is buffered and renames the file to its name.
  bool commit();
  // Removes the temporary file; the name keeps what it held before.
  void discard();

  const std::string& path() const { return path_; }
  // Why the file cannot be written, e.g. "No space left on device"; empty while all is well.
  const std::string& error() const { return error_; }

 private:
  bool flush();
  void fail(int err);

  std::string path_, target_, temp_, error_;
  std::string buffer_;
  int fd_ = -1;
};

// The whole text at once; on failure error holds the reason.
bool write_whole_file(const std::string& path, std::string_view text, std::string& error);

}  // namespace ferolan::cli
