// The I2C waveform orvasim writes, read by a logic analyser's own tool: sigrok-cli imports the
// Value Change Dump and its I2C decoder must find, for every TV mode on pinto, each register
// write the encoder received as one whole transfer, STOP included.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace orvasim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json tool(std::vector<std::string> args) {
  args.insert(args.begin(), {"orvasim", "--json", "--chip", "pinto"});
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int code = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
  EXPECT_EQ(code, kExitOk) << err.str();
  return json::parse(out.str());
}

// The decoder's annotations, one a line ("Start", "Address write: 20", "ACK", ...). The bare
// "Write"/"Read" of the direction bit is left out: the address annotation carries it.
std::vector<std::string> sigrokI2c(const fs::path& vcd) {
  const std::string command =
      "sigrok-cli -I vcd -i '" + vcd.string() + "' -P i2c:scl=scl:sda=sda -A i2c=addr-data 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string text;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << command << " (sigrok-cli comes with scripts/setup):\n" << text;
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::string prefix = "i2c-1: ";
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    line.erase(0, prefix.size());
    if (line != "Write" && line != "Read") lines.push_back(line);
  }
  return lines;
}

std::string hex2(unsigned v) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", v & 0xFF);
  return text;
}

// The TV output keywords; those pinto lists modes for are its TV formats.
constexpr const char* kTvKeywords[] = {"TVPAL",     "TVNTSC",     "TVNTSC269",    "TVNTSCINTERNAL",
                                       "TVPALSVHS", "TVNTSCSVHS", "TVNTSC269SVHS"};

TEST(VcdSigrok, EveryEncoderWriteDecodesAsOneWholeTransfer) {
  const fs::path vcd =
      fs::path(testing::TempDir()) / ("orva_" + std::to_string(getpid()) + "_i2c.vcd");
  int modes = 0;
  for (const char* keyword : kTvKeywords) {
    for (const json& mode : tool({"--output", keyword, "modes"})) {
      const std::string number = std::to_string(mode["ModeIndex"].get<unsigned>());
      SCOPED_TRACE(std::string(keyword) + " mode " + number);
      const json report = tool({"--output", keyword, "--vcd", vcd.string(), "set", number});
      const json& writes = report["hardware"]["output"]["tvEncoder"]["writes"];
      ASSERT_FALSE(writes.empty());
      // One transfer per register write: the encoder's address (device byte 0x40, shown
      // shifted as 0x20), the register number and the value, each acknowledged, then STOP.
      std::vector<std::string> expected;
      for (const json& w : writes)
        expected.insert(expected.end(),
                        {"Start", "Address write: 20", "ACK", "Data write: " + hex2(w["register"]),
                         "ACK", "Data write: " + hex2(w["value"]), "ACK", "Stop"});
      const std::vector<std::string> decoded = sigrokI2c(vcd);
      size_t same = 0;
      while (same < decoded.size() && same < expected.size() && decoded[same] == expected[same])
        ++same;
      EXPECT_EQ(same, expected.size())
          << "the decoder's annotation " << same << " of " << decoded.size() << " is \""
          << (same < decoded.size() ? decoded[same] : "(none)") << "\", the encoder's \""
          << (same < expected.size() ? expected[same] : "(none)") << "\"";
      EXPECT_EQ(decoded.size(), expected.size());
      ++modes;
    }
  }
  EXPECT_GE(modes, 6);  // PAL and NTSC at three depths each
  fs::remove(vcd);
}

}  // namespace
}  // namespace orvasim
