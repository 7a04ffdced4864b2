#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace orvasim {

namespace {

[[noreturn]] void fail(std::string_view verb, std::string_view what, const std::string& path,
                       int error) {
  throw FileError("cannot " + std::string(verb) + " " + std::string(what) + " '" + path +
                  "': " + std::strerror(error));
}

// Writes all of `data` to `fd`; the errno of the failure, or 0.
int writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace

std::string readFile(const std::string& path, std::string_view what, std::istream& in) {
  if (path == "-") {
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw FileError("cannot read " + std::string(what) + " from standard input");
    return text;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail("read", what, path, errno);
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      fail("read", what, path, error);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

void writeFile(const std::string& path, std::string_view data, std::string_view what,
               std::ostream& out) {
  if (path == "-") {
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out.flush()) {
      const auto* fd = dynamic_cast<const FdBuffer*>(out.rdbuf());
      fail("write", what, "-", fd && fd->error() ? fd->error() : EIO);
    }
    return;
  }
  // A device or a pipe (/dev/stderr, a FIFO) is written as it is: it cannot be replaced.
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) fail("write", what, path, EISDIR);
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) fail("write", what, path, errno);
    int error = writeAll(fd, data);
    if (::close(fd) != 0 && !error) error = errno;
    if (error) fail("write", what, path, error);
    return;
  }
  // The temporary lies beside the target, so that the rename stays on one file system.
  const std::filesystem::path target(path);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) fail("write", what, path, errno);
  int error = writeAll(fd, data);
  // A new file gets the permissions any other file the user creates would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (!error && ::fchmod(fd, 0666 & ~mask) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temporary.c_str());
    fail("write", what, path, error);
  }
}

bool FdBuffer::drain() {
  const std::string_view pending(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(buffer_, buffer_ + sizeof buffer_);
  if (error_) return false;
  error_ = writeAll(fd_, pending);
  return error_ == 0;
}

int FdBuffer::overflow(int c) {
  if (!drain()) return traits_type::eof();
  if (c != traits_type::eof()) {
    *pptr() = static_cast<char>(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int FdBuffer::sync() { return drain() ? 0 : -1; }

}  // namespace orvasim
