#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ferolan::cli {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBuffer = 1 << 16;

// The mode a new file would get; mkstemp gives 0600.
mode_t new_file_mode() {
  static const mode_t mode = [] {
    const mode_t mask = umask(022);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

void OutputFile::fail(int err) {
  if (error_.empty()) error_ = std::generic_category().message(err);
}

bool OutputFile::open(const std::string& path) {
  discard();
  path_ = path;
  error_.clear();
  // Through a link the file it leads to is replaced, not the link.
  std::error_code ec;
  target_ = fs::is_symlink(path, ec) ? fs::canonical(path, ec).string() : path;
  if (ec) target_ = path;
  const fs::path target(target_);
  const fs::path name = target.filename();
  if (name.empty() || fs::is_directory(target, ec)) {
    error_ = "is a folder";
    return false;
  }
  std::string hidden = ".";
  hidden += name.string();
  hidden += ".XXXXXX";
  temp_ = (target.parent_path() / hidden).string();
  std::vector<char> templ(temp_.begin(), temp_.end());
  templ.push_back('\0');
  fd_ = mkostemp(templ.data(), O_CLOEXEC);
  if (fd_ < 0) {
    fail(errno);
    temp_.clear();
    return false;
  }
  temp_ = templ.data();
  fchmod(fd_, new_file_mode());
  return true;
}

bool OutputFile::flush() {
  size_t done = 0;
  while (done < buffer_.size() && error_.empty()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? errno : EIO);
      break;
    }
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
  return error_.empty();
}

bool OutputFile::write(std::string_view bytes) {
  if (fd_ < 0 || !error_.empty()) return false;
  if (buffer_.size() + bytes.size() > kBuffer && !flush()) return false;
  if (bytes.size() >= kBuffer) {
    buffer_.assign(bytes);
    return flush();
  }
  buffer_.append(bytes);
  return true;
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "not open";
    return false;
  }
  flush();
  if (::close(fd_) != 0) fail(errno);
  fd_ = -1;
  if (error_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
  if (!error_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  return true;
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  buffer_.clear();
}

bool write_whole_file(const std::string& path, std::string_view text, std::string& error) {
  OutputFile f;
  const bool ok = f.open(path) && f.write(text) && f.commit();
  error = f.error();
  return ok;
}

}  // namespace ferolan::cli
