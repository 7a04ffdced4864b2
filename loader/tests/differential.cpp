#include "differential.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "client.h"
#include "parse.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"

namespace orva::loader::test {
namespace {

platform::SessionOptions sessionOptions(const BoardSetup& setup, const std::string& driverImage) {
  platform::SessionOptions options;
  const auto variant = board::parseVariant(setup.chip);
  if (!variant) throw std::invalid_argument("unknown chip " + setup.chip);
  options.board.variant = *variant;
  options.board.memoryBytes = orvasim::parseMemorySize(setup.memory);
  if (setup.output) options.outputType = platform::registryString(*setup.output);
  options.driverPath = driverImage.empty() ? std::string(ORVA_HOST_MODULE) : driverImage;
  return options;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string sessionScenario(const std::vector<ListedMode>& modes) {
  std::ostringstream s;
  s << "query-num-modes\nquery-modes\nquery-current-mode\n";
  // A sample at every depth: the first, middle and last mode of each.
  std::set<uint32_t> sampled;
  std::map<uint32_t, std::vector<ListedMode>> byDepth;
  for (const ListedMode& m : modes) byDepth[m.bpp].push_back(m);
  for (const auto& [bpp, list] : byDepth) {
    for (size_t at : {size_t{0}, list.size() / 2, list.size() - 1}) {
      if (sampled.insert(list[at].index).second) {
        s << "set-mode " << list[at].index << "\nquery-current-mode\n";
      }
    }
  }
  // Numbers the driver must refuse: past every row, an unused depth index, and
  // refresh indices no listed mode carries.
  uint32_t highest = 0;
  std::set<uint32_t> listed;
  for (const ListedMode& m : modes) {
    listed.insert(m.index);
    highest = std::max(highest, m.index);
  }
  for (uint32_t refused : {(highest / 32 + 1) * 32, 0xFFFFu, 24u, 0x7FFFFFFFu}) {
    if (!listed.count(refused)) s << "set-mode " << refused << "\n";
  }
  for (uint32_t index = 0; index < 32 * 4; index += 7) {
    if (!listed.count(index)) {
      s << "set-mode " << index << "\n";
      break;
    }
  }
  if (modes.empty()) return s.str();

  // The display driver's session on the smallest 8-bit mode (or the first one).
  ListedMode session = modes.front();
  for (const ListedMode& m : modes) {
    if (m.bpp == 8 && m.width * m.height < session.width * session.height) session = m;
  }
  const int w = static_cast<int>(session.width), h = static_cast<int>(session.height);
  s << "set-mode " << session.index << "\nmap\n";
  s << "palette 0 204080 FF0000 00FF00 0000FF\npalette 250 FFFFFF 000000 808080\n";
  s << "query-pointer-caps\npointer-shape arrow height=19 x=8 y=8\n";
  const int moves[][2] = {{-1, 8},          {-5, 8},    {-11, 8},   {-64, 8}, {8, -1},
                          {8, -10},         {8, -18},   {8, -19},   {-4, -6}, {w - 1, h - 1},
                          {w - 32, h - 10}, {w + 5, 3}, {-63, -63}, {0, 0}};
  for (const auto& move : moves) s << "pointer-move " << move[0] << " " << move[1] << "\n";
  s << "pointer-query\npointer-disable\npointer-move 30 40\npointer-enable\npointer-query\n";
  s << "pointer-shape block height=64 x=-3 y=-3\npointer-move -40 -2\n";
  s << "pointer-shape cross height=15 x=" << w / 2 << " y=" << h / 2 << "\n";
  s << "pointer-shape arrow height=65\n";  // taller than the pattern: refused
  s << "query-pointer-caps\nshare 0 0x10000\nunshare\nshare 0x7F000000 1\nunmap\n";
  s << "fb-free\nio-map 0x3D4 2\nport-write8 0x3D4 0 0x1B\nport-read8 0x3D4 1\n";
  s << "port-read16 0x3C4\nport-write16 0x3C4 0 0x0101\nport-read32 0x3C4\n";
  s << "mem-map 0x00800000 0x1000\nnop\n";
  s << "raw 0x830020C8 01000000 4\nraw 0x230444 - 0\nraw 0x23FFFC - 4\n";
  s << "reset\nquery-current-mode\n";
  return s.str();
}

Outcome runHere(const BoardSetup& setup, const std::string& scenario,
                const std::string& driverImage) {
  platform::Session session(sessionOptions(setup, driverImage));
  if (!session.open()) {
    throw std::runtime_error(setup.label() + ": the driver did not start (DriverEntry returned " +
                             std::to_string(session.driverEntryStatus()) + ")");
  }
  orvasim::Client client(session);
  orvasim::Runner runner(session, client);
  runner.runAll(orvasim::parseScenario(scenario, "."), nullptr);
  Outcome run;
  run.trace = session.trace().toJsonLines();
  run.vram.assign(session.board().vram(), session.board().vram() + session.board().vramSize());
  return run;
}

std::vector<ListedMode> listModesHere(const BoardSetup& setup) {
  platform::Session session(sessionOptions(setup, ""));
  session.open();
  orvasim::Client client(session);
  std::vector<orvasim::ModeInformation> modes;
  client.queryModes(&modes);
  std::vector<ListedMode> out;
  for (const auto& m : modes) {
    out.push_back({m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency});
  }
  return out;
}

std::optional<std::string> runner32() {
  static const std::optional<std::string> prefix = []() -> std::optional<std::string> {
    const std::string harness = ORVA_HARNESS32;
    if (harness.empty()) return std::nullopt;
    // The kernel may run 32-bit programs itself, or not at all; then the
    // user-mode emulator does.
    for (const char* candidate : {"", "qemu-i386 "}) {
      const std::string command = std::string(candidate) + harness + " --help >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) return candidate;
    }
    return std::nullopt;
  }();
  return prefix;
}

TempFolder::TempFolder() {
  char name[] = "/tmp/orva-diff-XXXXXX";
  if (mkdtemp(name) != nullptr) path = name;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

Outcome runHarness32(const BoardSetup& setup, const std::string& scenarioFile,
                     const std::string& driverImage) {
  const auto prefix = runner32();
  if (!prefix) throw std::runtime_error("the 32-bit harness cannot run here");
  const TempFolder folder;
  if (folder.path.empty()) throw std::runtime_error("no temporary folder");
  const std::string trace = (folder.path / "trace.jsonl").string();
  const std::string vram = (folder.path / "vram.bin").string();
  std::string command = *prefix + ORVA_HARNESS32 + " --quiet --chip " + setup.chip + " --memory " +
                        setup.memory + " --trace " + trace + " --vram " + vram;
  if (setup.output) command += " --output " + *setup.output;
  if (!driverImage.empty()) command += " --driver " + driverImage;
  command += " " + scenarioFile;
  const int status = std::system(command.c_str());
  if (status != 0) throw std::runtime_error("'" + command + "' failed");
  Outcome run;
  run.trace = readFile(trace);
  const std::string bytes = readFile(vram);
  run.vram.assign(bytes.begin(), bytes.end());
  return run;
}

std::string compareTraces(const std::string& a, const std::string& b) {
  const auto left = lines(a), right = lines(b);
  for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    const std::string where = "event " + std::to_string(i + 1) + ": ";
    if (i >= left.size() || i >= right.size()) {
      return where + "one trace ends early (" + std::to_string(left.size()) + " vs " +
             std::to_string(right.size()) + " events)";
    }
    if (left[i] != right[i]) return where + "differs\n  " + left[i] + "\n  " + right[i];
  }
  return "";
}

std::string compareHardwareEvents(const std::string& a, const std::string& b) {
  auto hardware = [](const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : lines(text)) {
      if (line.find("\"op\":\"request\"") == std::string::npos &&
          line.find("\"op\":\"done\"") == std::string::npos) {
        out.push_back(line);
      }
    }
    return out;
  };
  const auto left = hardware(a), right = hardware(b);
  for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    if (i >= left.size() || i >= right.size()) {
      return "hardware event " + std::to_string(i + 1) + ": one trace ends early";
    }
    if (left[i] != right[i]) {
      return "hardware event " + std::to_string(i + 1) + " differs\n  " + left[i] + "\n  " +
             right[i];
    }
  }
  return left.empty() ? "no hardware events" : "";
}

long firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return static_cast<long>(std::min(a.size(), b.size()));
  const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin());
  return mismatch.first == a.end() ? -1 : static_cast<long>(mismatch.first - a.begin());
}

}  // namespace orva::loader::test
