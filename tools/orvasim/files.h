// Files the tool reads and writes. Every output is written to a temporary file in
// its folder and renamed over the target only once complete, so a failed run never
// leaves a half-written file under the name asked for; "-" is standard output.
// Every error names the file and the system's reason.
#pragma once
#include <istream>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>

namespace orvasim {

// An input or output file that could not be read or written.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file ("-": all of `in`). Throws FileError "cannot read WHAT 'PATH': REASON".
std::string readFile(const std::string& path, std::string_view what, std::istream& in);

// Writes `data` to `path` ("-": to `out`, which must take it all). Throws FileError
// "cannot write WHAT 'PATH': REASON", the target left as it was.
void writeFile(const std::string& path, std::string_view data, std::string_view what,
               std::ostream& out);

// A stream buffer over a file descriptor (the standard output) that keeps the
// system's reason for the first write that failed.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~FdBuffer() override { sync(); }
  int error() const { return error_; }  // errno of the first failed write, 0: none

 protected:
  int overflow(int c) override;
  int sync() override;

 private:
  bool drain();
  int fd_;
  int error_ = 0;
  char buffer_[8192];
};

}  // namespace orvasim
