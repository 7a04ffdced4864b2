// Writes the fuzzer's seed inputs: every example scenario turned into the input
// format (its board from the options on its first line), and a short display
// driver session on every chip variant with every kind of output.
//   orva_fuzz_seeds OUTPUT_FOLDER SCENARIO...
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

using orva::fuzz::Op;
using orva::fuzz::Writer;

constexpr const char* kVariantNames[] = {"pinto",     "bramble", "bramble-l",  "mistral",
                                         "bramble-r", "kestrel", "bramble-rx", "unknown"};

uint32_t number(const std::string& text) {
  return static_cast<uint32_t>(std::stoll(text, nullptr, 0));
}

// Board header: variant, 4 MB unless the options say otherwise, graphics base 0,
// encoder present, TFT ports at 0x0D00, and the output keyword as a registry string.
void header(Writer& w, const std::string& variant, uint32_t memoryUnits,
            const std::string& output) {
  uint8_t index = 1;
  for (uint8_t i = 0; i < 8; ++i) {
    if (variant == kVariantNames[i]) index = i;
  }
  w.u8(index);
  w.u8(static_cast<uint8_t>(memoryUnits));
  w.u8(0);
  if (output.empty()) {
    w.u8(0x03);
    return;
  }
  w.u8(0x03 | (static_cast<uint8_t>(orva::fuzz::RegistryKind::Raw) << 4));
  w.u8(static_cast<uint8_t>(2 * output.size() + 2));
  for (char c : output) w.u16(static_cast<uint8_t>(c));
  w.u16(0);
}

void pointerShape(Writer& w, uint32_t flags, uint32_t width, uint32_t height, int x, int y) {
  w.op(Op::PointerAttr);
  w.u32(flags);
  w.u32(width);
  w.u32(height);
  w.u16(static_cast<uint16_t>(x));
  w.u16(static_cast<uint16_t>(y));
  w.u8(1);  // a block of `height` rows
  w.u8(static_cast<uint8_t>(height));
  w.u8(0);  // the display driver's length
}

void setMode(Writer& w, const std::string& mode) {
  w.op(Op::SetMode);
  unsigned width = 0, height = 0, bpp = 0, hz = 0;
  if (mode == "first") {  // the first listed mode
    w.u8(0);
    w.u8(0);
  } else if (std::sscanf(mode.c_str(), "%ux%ux%u@%u", &width, &height, &bpp, &hz) >= 3) {
    w.u8(1);
    w.u16(static_cast<uint16_t>(width));
    w.u16(static_cast<uint16_t>(height));
    w.u8(static_cast<uint8_t>(bpp));
    w.u8(static_cast<uint8_t>(hz));
  } else {
    w.u8(2);
    w.u32(number(mode));
  }
}

uint8_t portIndex(uint32_t port) {
  for (unsigned i = 0; i < orva::fuzz::kPortCount; ++i) {
    if (orva::fuzz::kPorts[i] == port) return static_cast<uint8_t>(i);
  }
  return 0;
}

// One scenario line; false when the line has no request (screenshots, unknown).
bool line(Writer& w, const std::string& text) {
  std::istringstream words(text.substr(0, text.find('#')));
  std::string command;
  if (!(words >> command)) return false;
  std::vector<std::string> args;
  for (std::string arg; words >> arg;) args.push_back(arg);
  auto arg = [&](size_t i, uint32_t fallback = 0) {
    return i < args.size() ? number(args[i]) : fallback;
  };

  if (command == "query-num-modes") {
    w.op(Op::QueryNumModes);
    w.u16(8);
  } else if (command == "query-modes") {
    w.op(Op::QueryModes);
    w.u8(0);
  } else if (command == "query-current-mode") {
    w.op(Op::QueryCurrent);
    w.u16(80);
  } else if (command == "set-mode" && !args.empty()) {
    setMode(w, args[0]);
  } else if (command == "map" || command == "unmap") {
    w.op(Op::Map);
    w.u8(command == "unmap" ? 1 : 0);
  } else if (command == "share" && args.size() >= 2) {
    w.op(Op::Share);
    w.u32(arg(0));
    w.u32(arg(1));
    w.u32(0);
    w.u8(1);
  } else if (command == "query-pointer-caps" || command == "pointer-query") {
    w.op(Op::PointerQuery);
    w.u8(command == "query-pointer-caps" ? 1 : 0);
    w.u16(command == "query-pointer-caps" ? 20 : 4);
  } else if (command == "palette" && !args.empty()) {
    std::vector<uint32_t> colours;
    if (args.size() == 2 && args[1] == "rgb332") {
      // The 256 entries orvasim sends: 3 bits of red, 3 of green and 2 of blue,
      // red counting fastest.
      for (uint32_t i = 0; i < 256; ++i) {
        colours.push_back(((i & 7) * 32) << 16 | (((i >> 3) & 7) * 32) << 8 | (i >> 6) * 64);
      }
    } else {
      for (size_t i = 1; i < args.size(); ++i) {
        colours.push_back(static_cast<uint32_t>(std::stoul(args[i], nullptr, 16)));
      }
    }
    w.op(Op::Palette);
    w.u16(static_cast<uint16_t>(arg(0)));
    w.u16(static_cast<uint16_t>(colours.size()));
    w.u8(0);
    for (const uint32_t rgb : colours) {
      w.u8(static_cast<uint8_t>(rgb >> 16));
      w.u8(static_cast<uint8_t>(rgb >> 8));
      w.u8(static_cast<uint8_t>(rgb));
      w.u8(0);
    }
  } else if (command == "pointer-shape") {
    uint32_t flags = 3, width = 64, height = 64;
    int x = 0, y = 0;
    for (const std::string& a : args) {
      const size_t eq = a.find('=');
      if (eq == std::string::npos || a.substr(eq + 1) == "caps") continue;  // the default flags
      const std::string key = a.substr(0, eq);
      const int value = static_cast<int>(std::stol(a.substr(eq + 1), nullptr, 0));
      if (key == "flags") flags = static_cast<uint32_t>(value);
      if (key == "width") width = static_cast<uint32_t>(value);
      if (key == "height") height = static_cast<uint32_t>(value);
      if (key == "x") x = value;
      if (key == "y") y = value;
    }
    pointerShape(w, flags, width, height, x, y);
  } else if (command == "pointer-move" && args.size() >= 2) {
    w.op(Op::PointerMove);
    w.u16(static_cast<uint16_t>(std::stoi(args[0])));
    w.u16(static_cast<uint16_t>(std::stoi(args[1])));
    w.u8(0);
  } else if (command == "pointer-enable" || command == "pointer-disable") {
    w.op(Op::PointerOnOff);
    w.u8(command == "pointer-disable" ? 1 : 0);
  } else if (command == "reset") {
    w.op(Op::Reset);
  } else if (command == "fb-free" || command == "nop") {
    w.op(Op::NopOrFree);
    w.u8(command == "fb-free" ? 1 : 0);
    w.u16(command == "fb-free" ? 4 : 0);
  } else if ((command == "mem-map" || command == "io-map") && args.size() >= 2) {
    w.op(Op::PrivateMap);
    w.u8(command == "io-map" ? 1 : 0);
    w.u32(arg(0));
    w.u32(arg(1));
  } else if (command.rfind("port-read", 0) == 0 || command.rfind("port-write", 0) == 0) {
    const bool write = command.rfind("port-write", 0) == 0;
    const unsigned width = number(command.substr(write ? 10 : 9));
    w.op(Op::PortAccess);
    w.u8(static_cast<uint8_t>((write ? 3 : 0) + (width == 16 ? 1 : width == 32 ? 2 : 0)));
    w.u8(portIndex(arg(0)));
    w.u32(arg(1));
    w.u32(arg(2));
  } else if (command == "raw" && args.size() >= 3) {
    std::vector<uint8_t> input;
    for (size_t i = 0; args[1] != "-" && i + 1 < args[1].size(); i += 2) {
      input.push_back(static_cast<uint8_t>(std::stoul(args[1].substr(i, 2), nullptr, 16)));
    }
    w.op(Op::Raw);
    w.u8(0);
    w.u32(arg(0));
    w.u16(static_cast<uint16_t>(input.size()));
    w.u16(static_cast<uint16_t>(arg(2)));
    w.u8(0xA5);
    for (uint8_t b : input) w.u8(b);
  } else {
    return false;
  }
  return true;
}

// The board of a scenario's first line: "board chip=X output=Y memory=Z".
void scenarioHeader(Writer& w, const std::string& first) {
  std::istringstream words(first);
  std::string word, variant = "bramble", output;
  uint32_t units = 32;
  words >> word;
  while (word == "board" && words >> word) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
    if (key == "chip") variant = value;
    if (key == "output") output = value;
    if (key == "memory") {
      const uint32_t n = static_cast<uint32_t>(std::stoul(value));
      units = (value.back() == 'K' || value.back() == 'k') ? n / 128 : n * 8;
    }
  }
  header(w, variant, units, output);
}

void save(const std::filesystem::path& file, const Writer& w) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(w.bytes().data()),
            static_cast<std::streamsize>(w.bytes().size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: orva_fuzz_seeds OUTPUT_FOLDER [SCENARIO...]\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  unsigned written = 0;

  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i]);
    std::string text;
    if (!std::getline(in, text)) continue;
    Writer w;
    scenarioHeader(w, text);
    while (std::getline(in, text)) line(w, text);
    save(folder / (std::filesystem::path(argv[i]).stem().string() + ".seed"), w);
    ++written;
  }

  // A display driver's session on every variant and output kind.
  constexpr const char* kOutputs[] = {
      "",        "TVPAL",   "TVNTSC", "TVNTSC269", "TFTPHILIPSHLD1201", "TFTLGPHILIPSLM151X2",
      "VGANTSC", "100HZPAL"};
  for (uint8_t v = 0; v < 8; ++v) {
    for (const char* output : kOutputs) {
      Writer w;
      header(w, kVariantNames[v], v == 3 ? 63 : 16, output);
      for (const char* request :
           {"query-modes", "set-mode 0", "query-current-mode", "map", "palette 0 204080 FF0000",
            "pointer-move -5 -7", "pointer-query", "fb-free"}) {
        line(w, request);
      }
      w.op(Op::SetMode);  // a listed mode, by its place in the list
      w.u8(0);
      w.u8(static_cast<uint8_t>(v * 7 + 3));
      pointerShape(w, 3, 32, 32, -10, 4);
      line(w, "pointer-move 12 -31");
      save(folder / ("session-" + std::string(kVariantNames[v]) + "-" +
                     (*output ? output : "none") + ".seed"),
           w);
      ++written;
    }
  }
  std::printf("%u seeds in %s\n", written, folder.c_str());
  return 0;
}
