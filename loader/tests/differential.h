// Runs one scenario on two builds of the driver and compares what the board saw.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orva::loader::test {

// A folder of its own under /tmp, removed with everything in it; an empty path
// when none could be made.
struct TempFolder {
  std::filesystem::path path;
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
};

struct BoardSetup {
  std::string chip;                   // board variant name
  std::optional<std::string> output;  // "HardwareInformation.OutputType"
  std::string memory = "4M";
  std::string label() const { return chip + (output ? "-" + *output : std::string("-unset")); }
};

// gtest prints a board by its label.
inline void PrintTo(const BoardSetup& board, std::ostream* out) { *out << board.label(); }

struct Outcome {
  std::string trace;          // JSON Lines
  std::vector<uint8_t> vram;  // display memory after the last step
};

// The scenario a display driver session would make on this board: discovery,
// the mode list, a sample of mode sets at every depth, refused mode numbers,
// then a session on one mode with pointer shapes and moves across every edge,
// palette loads, frame-buffer maps and shares and the private requests. Mode
// numbers come from `modes` (index, width, height, bpp per entry).
struct ListedMode {
  uint32_t index, width, height, bpp, frequency;
};
std::string sessionScenario(const std::vector<ListedMode>& modes);

// In this process: the host build of the driver (driverImage empty) or a .sys
// through the loader.
Outcome runHere(const BoardSetup& board, const std::string& scenario,
                const std::string& driverImage);
std::vector<ListedMode> listModesHere(const BoardSetup& board);

// In the 32-bit harness: its host build (driverImage empty) or a .sys.
// Throws std::runtime_error when the harness cannot run.
Outcome runHarness32(const BoardSetup& board, const std::string& scenarioFile,
                     const std::string& driverImage);
// The command prefix that runs 32-bit programs here ("" or an emulator), or
// nullopt when none can.
std::optional<std::string> runner32();

// Compares two traces of the same pointer width line by line: the platform
// places every mapping deterministically, so even the addresses that mappings
// hand out must agree. Returns "" when equal, else the first difference.
std::string compareTraces(const std::string& a, const std::string& b);

// The events a request's records do not shape (port and register accesses,
// mappings, stalls, registry) must be equal across pointer widths.
std::string compareHardwareEvents(const std::string& a, const std::string& b);

// Index of the first differing byte, or -1.
long firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace orva::loader::test
