// The orvasim command line: parses the arguments, boots the board with a freshly
// loaded driver, runs one command and writes the requested files.
#pragma once
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "board.h"

namespace orvasim {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the run failed (driver did not start, file not written,
                                 // an expectation or a verifier notice outside the baseline)
constexpr int kExitUsage = 2;    // bad input: options, command, mode, scenario line

struct ToolOptions {
  orva::board::BoardConfig board;
  std::optional<std::string> output;  // "HardwareInformation.OutputType"; absent: not set
  bool json = false;
  bool strict = false;    // warnings are errors
  std::string traceFile;  // bus trace, JSON Lines
  std::string vcdFile;    // I2C lines, Value Change Dump
};

// Runs the tool on argv; what a user sees goes to `out` and `err`, and `run -` reads
// `in` (default: standard input). Returns the exit code.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           std::istream* in = nullptr);

}  // namespace orvasim
