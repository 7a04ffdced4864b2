// orva-replay: replays a board's bus trace (JSON Lines, as a board or an emulator
// device writes it) into a board of the same settings and reports the display the
// register state then programs, as one JSON object on standard output:
//
//   orva-replay --chip bramble --memory 4096 [--gbase N] [--tft-base N] [--superio-e1 N]
//               [--no-tv-encoder] --trace FILE [--vram FILE] [--png FILE] [--screen FILE]
//
// Every port and register access of the trace ("in", "out", "read", "write") is
// replayed in order; a read that returns another value than the trace recorded is
// counted ("read_mismatches", the first one described). With --vram (the display
// memory's contents, as dumped from the running machine) the board's scanout is
// built from them and written to --png; --screen compares it pixel for pixel with
// another picture (a PNG), e.g. the emulator's screendump. Exit status 0 unless the
// arguments or files are bad.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "board.h"
#include "png_writer.h"
#include "scanout.h"
#include "timing.h"

namespace {

using orva::board::Board;
using orva::board::BoardConfig;

struct Mode {
  unsigned width = 0, height = 0, bpp = 0;
  bool operator==(const Mode&) const = default;
};

struct State {
  Mode mode;
  uint64_t line = 0;  // trace line of the write that made it
};

struct Replay {
  // Discovery: reads of the chipset functions' identification words (00:0b.0 and
  // 00:0c.0 through 0xCF8/0xCFC) and the first unlock of the extension registers
  // (sequencer 0x06 = 0x57) after them.
  uint64_t idReads = 0, unlockLine = 0;
  uint64_t events = 0, mismatches = 0, dacWrites = 0, dacWritesAfterModeSet = 0;
  std::string firstMismatch;
  nlohmann::json modeSets = nlohmann::json::array();
};

// The display mode is decoded after every write to the display's ports. A mode the
// registers hold for fewer than kSettled bus events is a step of a mode set, not a
// mode: the modes that settled are listed in order, and the palette writes after
// the last change counted apart.
constexpr uint64_t kSettled = 32;

void settle(Replay& result, const State& state, uint64_t events) {
  if (events < kSettled || state.line == 0) return;
  const nlohmann::json mode = {
      {"width", state.mode.width}, {"height", state.mode.height}, {"bpp", state.mode.bpp}};
  if (result.modeSets.empty() || result.modeSets.back()["mode"] != mode) {
    result.modeSets.push_back({{"line", state.line}, {"mode", mode}});
  }
}

void replay(Board& board, std::istream& in, Replay& result) {
  std::string line;
  uint8_t sequencerIndex = 0;
  State current;
  uint64_t sinceChange = 0;
  uint32_t pciAddress = 0;
  uint64_t lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty()) continue;
    const auto event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.contains("op")) continue;
    const std::string op = event["op"];
    const unsigned width = event.value("width", 8u);
    const uint32_t value = event.value("value", 0u);
    uint32_t got = value;
    if (op == "in") {
      const uint32_t port = event["port"];
      got = board.in(width, port);
      if (port == 0xCFC && (pciAddress == 0x80005800u || pciAddress == 0x80006000u)) {
        ++result.idReads;
      }
    } else if (op == "out") {
      const uint32_t port = event["port"];
      board.out(width, port, value);
      if (port == 0xCF8 && width == 32) pciAddress = value;
      if (port == 0x3C4) sequencerIndex = value & 0xFF;
      const bool unlock = (port == 0x3C4 && width >= 16 && (value & 0xFFFF) == 0x5706) ||
                          (port == 0x3C5 && sequencerIndex == 0x06 && (value & 0xFF) == 0x57);
      if (unlock && result.unlockLine == 0 && result.idReads > 0) result.unlockLine = lineNumber;
      if (port == 0x3C9 || (port == 0x3C8 && width >= 16)) {
        ++result.dacWrites;
        ++result.dacWritesAfterModeSet;
      }
      if ((port >= 0x3B0 && port <= 0x3DF) || port == 0x22 || port == 0x23) {
        const auto timing = orva::board::decodeTiming(board);
        const Mode mode{timing.visibleWidth, timing.visibleHeight, timing.bitsPerPixel};
        if (!(mode == current.mode)) {
          settle(result, current, sinceChange);
          current = {mode, lineNumber};
          sinceChange = 0;
          result.dacWritesAfterModeSet = 0;
        }
      }
    } else if (op == "read") {
      got = board.read(width, event["addr"].get<uint64_t>());
    } else if (op == "write") {
      board.write(width, event["addr"].get<uint64_t>(), value);
    } else {
      continue;
    }
    ++result.events;
    ++sinceChange;
    if ((op == "in" || op == "read") && got != value) {
      if (result.mismatches++ == 0) {
        result.firstMismatch = "line " + std::to_string(lineNumber) + ": " + line + " replays as " +
                               std::to_string(got);
      }
    }
  }
  settle(result, current, sinceChange);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Replays a board's bus trace and reports the display it programs"};
  std::string chip = "bramble", tracePath, vramPath, pngPath, screenPath;
  unsigned memoryKb = 4096, gbase = 0, tftBase = 0x0D00, superIoE1 = 0x02;
  bool noEncoder = false;
  app.add_option("--chip", chip, "chip variant");
  app.add_option("--memory", memoryKb, "display memory in KB");
  app.add_option("--gbase", gbase, "CRTC 0x20 at power-up");
  app.add_option("--tft-base", tftBase, "TFT interface base port at power-up");
  app.add_option("--superio-e1", superIoE1, "Super I/O 0xE1 strap");
  app.add_flag("--no-tv-encoder", noEncoder, "the TV encoder does not answer");
  app.add_option("--trace", tracePath, "bus trace (JSON Lines)")->required();
  app.add_option("--vram", vramPath, "display memory contents");
  app.add_option("--png", pngPath, "write the scanout built from --vram here");
  app.add_option("--screen", screenPath, "picture (PNG) to compare with the scanout");
  CLI11_PARSE(app, argc, argv);

  const auto variant = orva::board::parseVariant(chip);
  if (!variant) {
    std::cerr << "orva-replay: unknown chip " << chip << "\n";
    return 2;
  }
  BoardConfig config;
  config.variant = *variant;
  config.memoryBytes = memoryKb * 1024;
  config.gbase = static_cast<uint8_t>(gbase);
  config.tftBasePort = static_cast<uint16_t>(tftBase);
  config.superIoE1 = static_cast<uint8_t>(superIoE1);
  config.tvEncoderPresent = !noEncoder;
  Board board(config);

  std::ifstream trace(tracePath);
  if (!trace) {
    std::cerr << "orva-replay: cannot read " << tracePath << "\n";
    return 2;
  }
  Replay result;
  replay(board, trace, result);

  const auto timing = orva::board::decodeTiming(board);
  nlohmann::json report = {
      {"events", result.events},
      {"read_mismatches", result.mismatches},
      {"id_reads", result.idReads},
      {"unlock_line", result.unlockLine},
      {"mode_sets", result.modeSets},
      {"dac_writes", result.dacWrites},
      {"dac_writes_after_last_mode_set", result.dacWritesAfterModeSet},
      {"gbase", board.gbase()},
      {"width", timing.visibleWidth},
      {"height", timing.visibleHeight},
      {"bpp", timing.bitsPerPixel},
      {"refresh_hz", timing.vRefreshHz},
      {"pitch", timing.pitch},
      {"pixel_clock_hz", timing.pixelClockHz},
      {"palette", timing.palette},
      {"dac_mask", board.dacPixelMask()},
  };
  if (!result.firstMismatch.empty()) report["first_mismatch"] = result.firstMismatch;
  nlohmann::json palette = nlohmann::json::array();
  for (unsigned i = 0; i < 256; ++i) {
    const auto entry = board.dac(static_cast<uint8_t>(i));
    palette.push_back({entry[0], entry[1], entry[2]});
  }
  report["dac"] = palette;

  if (!vramPath.empty()) {
    std::ifstream vram(vramPath, std::ios::binary);
    if (!vram) {
      std::cerr << "orva-replay: cannot read " << vramPath << "\n";
      return 2;
    }
    vram.read(reinterpret_cast<char*>(board.vram()),
              static_cast<std::streamsize>(board.vramSize()));
    const auto picture = orva::board::scanout(board);
    report["scanout_ok"] = picture.ok;
    if (!picture.ok) report["scanout_error"] = picture.error;
    if (picture.ok && !pngPath.empty()) {
      std::string error;
      if (!orva::board::writePng(picture.image, pngPath, &error)) {
        std::cerr << "orva-replay: " << error << "\n";
        return 2;
      }
    }
    if (picture.ok && !screenPath.empty()) {
      orva::board::Image screen;
      std::string error;
      if (!orva::board::readPng(screenPath, screen, &error)) {
        std::cerr << "orva-replay: " << error << "\n";
        return 2;
      }
      uint64_t differing = 0;
      const bool sameSize =
          screen.width == picture.image.width && screen.height == picture.image.height;
      if (sameSize) {
        for (size_t i = 0; i < screen.rgb.size(); i += 3) {
          if (screen.rgb[i] != picture.image.rgb[i] ||
              screen.rgb[i + 1] != picture.image.rgb[i + 1] ||
              screen.rgb[i + 2] != picture.image.rgb[i + 2]) {
            ++differing;
          }
        }
      }
      report["screen_size"] = {screen.width, screen.height};
      report["screen_equal"] = sameSize && differing == 0;
      report["screen_differing_pixels"] = differing;
    }
  }
  std::cout << report.dump() << "\n";
  return 0;
}
