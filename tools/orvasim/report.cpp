#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <stdexcept>
#include <tuple>

#include "files.h"
#include "hwgeneric/hwgeneric.h"
#include "i2c_slave.h"
#include "miniport/miniport.h"
#include "parse.h"
#include "png_writer.h"
#include "scanout.h"
#include "tft.h"
#include "timing.h"
#include "tv_encoder.h"

namespace orvasim {

namespace {

using orva::board::Board;

std::string utf16Text(const std::vector<uint8_t>& data) {
  std::string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    uint16_t unit = static_cast<uint16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

bool sameKeyword(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Names of the hardware-ID bits, as the board names its variants.
std::string idName(uint32_t id) {
  switch (id) {
    case HWGENERIC_ID_PINTO:
      return "pinto";
    case HWGENERIC_ID_BRAMBLE:
      return "bramble";
    case HWGENERIC_ID_BRAMBLE_L:
      return "bramble-l";
    case HWGENERIC_ID_MISTRAL:
      return "mistral";
    case HWGENERIC_ID_BRAMBLE_R:
      return "bramble-r";
    case HWGENERIC_ID_KESTREL:
      return "kestrel";
    case HWGENERIC_ID_BRAMBLE_RX:
      return "bramble-rx";
    case 0:
      return "unrecognised";
    default:
      return "not identified";
  }
}

std::string sizeText(uint64_t bytes) {
  if (bytes && bytes % (1024 * 1024) == 0) return std::to_string(bytes >> 20) + "M";
  if (bytes && bytes % 1024 == 0) return std::to_string(bytes >> 10) + "K";
  return std::to_string(bytes);
}

std::string mhz(uint64_t hz) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g MHz", static_cast<double>(hz) / 1e6);
  return buf;
}

std::string fixed(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

std::string pixelFormat(unsigned bpp) {
  switch (bpp) {
    case 8:
      return "8 bpp through the palette";
    case 15:
      return "15 bpp x:5:5:5";
    case 16:
      return "16 bpp 5:6:5";
    case 24:
      return "24 bpp blue, green, red bytes";
    case 32:
      return "32 bpp x:8:8:8";
    default:
      return "no packed pixels";
  }
}

std::string accessName(orva::board::TvAccess how) {
  switch (how) {
    case orva::board::TvAccess::Io:
      return "io";
    case orva::board::TvAccess::Memory:
      return "memory";
    case orva::board::TvAccess::I2c:
      return "i2c";
  }
  return "?";
}

std::string rgb(uint64_t value) { return hex(value, 6); }

}  // namespace

std::string keywordProblem(orva::platform::Session& session, const std::string& keyword) {
  const auto* table = session.driverSymbol<const HWGENERIC_KEYWORD>("HWGENERIC_psKeywordList");
  if (!table) return "";
  // The modes discovery counted for the selection (the device extension's count).
  HW_DEVICE_EXTENSION extension{};
  std::span<const uint8_t> raw = session.deviceExtension();
  std::memcpy(&extension, raw.data(), std::min(raw.size(), sizeof extension));
  const bool noMode = raw.size() >= sizeof extension && extension.ulNumModes == 0;
  const std::string quoted = "output keyword '" + keyword + "'";
  for (const HWGENERIC_KEYWORD* row = table; row->pszKeyword; ++row) {
    if (!sameKeyword(row->pszKeyword, keyword)) continue;
    if (row->ulType != HWGENERIC_TYPE_OUTPUT)
      return quoted + " names the driver's \"" + row->pszDescription + "\", which is no output" +
             (noMode ? ": the driver offers no mode"
                     : ": its value selects the modes of the output that shares it");
    if (noMode) {
      const auto* id = session.driverSymbol<ULONG>("HWGENERIC_ulHardwareID");
      return quoted + " (" + row->pszDescription + ") offers no mode on " +
             (id ? idName(*id) : std::string("this chip")) +
             " with this display memory: the driver lists none";
    }
    return "";
  }
  std::string outputs;
  for (const HWGENERIC_KEYWORD* row = table; row->pszKeyword; ++row)
    if (row->ulType == HWGENERIC_TYPE_OUTPUT) outputs += std::string(" ") + row->pszKeyword;
  return quoted + " matches no keyword of the driver, which keeps MONITOR (outputs:" + outputs +
         ")";
}

Json infoReport(orva::platform::Session& session, Client& client, const ToolOptions& options) {
  Board& board = session.board();
  Json info;
  const auto& registry = session.registry();
  auto value = [&](const std::string& name) -> const std::vector<uint8_t>* {
    auto it = registry.find(name);
    return it == registry.end() ? nullptr : &it->second;
  };

  // The chip: the board's variant and the name the driver published.
  const std::vector<uint8_t>* chipType = value("HardwareInformation.ChipType");
  info["chip"] = {{"variant", std::string(orva::board::variantName(board.config().variant))},
                  {"name", chipType ? utf16Text(*chipType) : std::string()}};

  // What PCI configuration space says, and the hardware ID the driver made of it.
  uint32_t device11 = board.pciConfig(0x80005800) >> 16;
  uint32_t device12 = board.pciConfig(0x80006000) >> 16;
  Json hardware = {{"signature", (device11 << 16) | device12},
                   {"device11", device11},
                   {"device12", device12},
                   {"device12Function1", board.pciConfig(0x80006100)}};
  // The display function is device 12: its identification word is what an INF's
  // hardware ID names.
  const uint32_t display = board.pciConfig(0x80006000);
  char pnp[32];
  std::snprintf(pnp, sizeof pnp, "PCI\\VEN_%04X&DEV_%04X", display & 0xFFFF, display >> 16);
  hardware["pnpId"] = pnp;
  if (auto* id = session.driverSymbol<ULONG>("HWGENERIC_ulHardwareID")) {
    hardware["id"] = *id;
    hardware["idName"] = idName(*id);
  }
  info["hardwareId"] = hardware;

  Json published = Json::object();
  for (const char* name : {"HardwareInformation.ChipType", "HardwareInformation.DacType",
                           "HardwareInformation.AdapterString", "HardwareInformation.MemorySize"}) {
    const std::vector<uint8_t>* data = value(name);
    if (!data) {
      published[name] = nullptr;
      continue;
    }
    Json entry;
    if (std::string_view(name).ends_with("MemorySize") && data->size() == 4) {
      uint32_t bytes = 0;
      std::memcpy(&bytes, data->data(), 4);
      entry["value"] = bytes;
    } else {
      entry["value"] = utf16Text(*data);
    }
    entry["length"] = data->size();
    published[name] = entry;
  }
  info["registry"] = published;

  HW_DEVICE_EXTENSION extension{};
  std::span<const uint8_t> raw = session.deviceExtension();
  std::memcpy(&extension, raw.data(), std::min(raw.size(), sizeof extension));
  info["frameBuffer"] = {
      {"physicalBase", static_cast<uint64_t>(extension.PhysicalFrameBuffer.QuadPart)},
      {"length", extension.ulFrameBufferLength}};

  // The output: the keyword given (or the driver's default), its description in
  // the driver's keyword table, and the selection the driver holds.
  Json output = {{"keyword", options.output.value_or("MONITOR")},
                 {"given", options.output.has_value()}};
  if (auto* table = session.driverSymbol<const HWGENERIC_KEYWORD>("HWGENERIC_psKeywordList")) {
    std::string keyword = options.output.value_or("MONITOR");
    for (const HWGENERIC_KEYWORD* row = table; row->pszKeyword; ++row) {
      if (sameKeyword(row->pszKeyword, keyword)) {
        output["description"] = row->pszDescription;
        output["type"] = row->ulType;
        break;
      }
    }
    if (!output.contains("description")) output["description"] = nullptr;
  }
  if (auto* selected = session.driverSymbol<ULONG>("ulRequiredOutput"))
    output["selection"] = *selected;
  info["output"] = output;

  Exchange count = client.queryNumModes();
  info["modes"] = count.status == 0 ? Json(count.result["NumModes"]) : Json(nullptr);
  return info;
}

void printInfo(const Json& info, std::ostream& out) {
  const Json& hw = info["hardwareId"];
  out << "chip            " << info["chip"]["variant"].get<std::string>() << ", published as \""
      << info["chip"]["name"].get<std::string>() << "\"\n";
  out << "PCI signature   " << hex(hw["signature"].get<uint32_t>(), 8) << " (device 11 "
      << hex(hw["device11"].get<uint32_t>(), 4) << ", device 12 "
      << hex(hw["device12"].get<uint32_t>(), 4) << ", device 12 function 1 "
      << hex(hw["device12Function1"].get<uint32_t>(), 8) << ")\n";
  out << "PCI ID          " << hw["pnpId"].get<std::string>()
      << " (the hardware ID the INF names)\n";
  if (hw.contains("id"))
    out << "hardware ID     " << hex(hw["id"].get<uint32_t>(), 2) << " ("
        << hw["idName"].get<std::string>() << ")\n";
  out << "registry\n";
  for (const auto& [name, entry] : info["registry"].items()) {
    out << "  " << name << " = ";
    if (entry.is_null()) {
      out << "(not written)\n";
    } else if (entry["value"].is_number()) {
      uint64_t bytes = entry["value"].get<uint64_t>();
      out << bytes << " (" << sizeText(bytes) << ", " << entry["length"].get<size_t>()
          << " bytes)\n";
    } else {
      out << "\"" << entry["value"].get<std::string>() << "\" (" << entry["length"].get<size_t>()
          << " bytes)\n";
    }
  }
  const Json& fb = info["frameBuffer"];
  out << "frame buffer    " << hex(fb["physicalBase"].get<uint64_t>(), 8) << ", "
      << fb["length"].get<uint64_t>() << " bytes (" << sizeText(fb["length"].get<uint64_t>())
      << ")\n";
  const Json& output = info["output"];
  std::string keyword = output["keyword"].get<std::string>();
  out << "output          " << (keyword.empty() ? std::string("\"\"") : keyword)
      << (output["given"].get<bool>() ? "" : " (default)");
  if (output.contains("description") && !output["description"].is_null()) {
    out << ": " << output["description"].get<std::string>();
    static const std::map<uint32_t, const char*> kKinds = {
        {HWGENERIC_TYPE_BOARD, "board"},
        {HWGENERIC_TYPE_CHIP, "chip-name"},
        {HWGENERIC_TYPE_FEATURE, "feature"},
        {HWGENERIC_TYPE_TVSTANDARD, "TV-standard"}};
    if (auto kind = kKinds.find(output["type"].get<uint32_t>()); kind != kKinds.end())
      out << " (a " << kind->second << " row)";
  } else {
    out << ": no such keyword";
  }
  if (output.contains("selection"))
    out << "; selection " << hex(output["selection"].get<uint32_t>(), 8);
  out << "\n";
  out << "modes           ";
  if (info["modes"].is_null())
    out << "(query failed)\n";
  else
    out << info["modes"].get<uint32_t>() << "\n";
}

Json modesReport(const std::vector<ModeInformation>& modes) {
  Json list = Json::array();
  for (const ModeInformation& m : modes) list.push_back(modeJson(m));
  return list;
}

void printModes(const std::vector<ModeInformation>& modes, std::ostream& out) {
  if (modes.empty()) {
    out << "no modes\n";
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%6s %5s %6s %3s %4s %6s %-26s %5s\n", "mode", "width", "height",
                "bpp", "Hz", "stride", "masks R G B", "flags");
  out << line;
  for (const ModeInformation& m : modes) {
    std::string masks =
        m.RedMask | m.GreenMask | m.BlueMask
            ? hex(m.RedMask, 6) + " " + hex(m.GreenMask, 6) + " " + hex(m.BlueMask, 6)
            : std::string("palette");
    std::snprintf(line, sizeof line, "%6u %5u %6u %3u %4u %6u %-26s %5s\n", m.ModeIndex,
                  m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency, m.ScreenStride,
                  masks.c_str(), hex(m.AttributeFlags, 2).c_str());
    out << line;
  }
  out << modes.size() << " modes\n";
  // Modes no record tells apart: the same size, depth and rate from different rows of
  // the driver's mode table (bits 5 and up of the mode number), which program
  // different register sets. A WxHxBPP picks the first.
  std::map<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>, std::vector<uint32_t>> same;
  for (const ModeInformation& m : modes)
    same[{m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency}].push_back(m.ModeIndex);
  for (const ModeInformation& m : modes) {
    const std::vector<uint32_t>& group =
        same[{m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency}];
    if (group.size() < 2 || group.front() != m.ModeIndex) continue;
    out << "modes";
    for (size_t i = 0; i < group.size(); ++i)
      out << (i == 0 ? " " : i + 1 == group.size() ? " and " : ", ") << group[i];
    out << " are all " << m.VisScreenWidth << "x" << m.VisScreenHeight << "x" << m.BitsPerPlane;
    if (m.Frequency) out << "@" << m.Frequency;
    out << ", from mode-table rows";
    for (size_t i = 0; i < group.size(); ++i)
      out << (i == 0 ? " " : i + 1 == group.size() ? " and " : ", ") << (group[i] >> 5);
    out << " (different register sets); " << m.VisScreenWidth << "x" << m.VisScreenHeight << "x"
        << m.BitsPerPlane << " picks " << group.front() << "\n";
  }
}

DeviceMarks markDevices(const Board& board) {
  DeviceMarks marks;
  marks.tvWrites = board.tvEncoder().writes().size();
  marks.i2cTransactions = board.i2c().transactions().size();
  marks.tftIoWrites = board.tft().ioWrites().size();
  marks.tftWindowWrites = board.tft().windowRegisterWrites().size();
  marks.stallMicroseconds = board.trace().counters().stallMicroseconds;
  return marks;
}

Json hardwareReport(const Board& board, const DeviceMarks& since) {
  orva::board::DisplayState state = orva::board::captureDisplayState(board);
  orva::board::Timing t = orva::board::decodeTiming(state);
  orva::board::CursorState cursor = orva::board::decodeCursor(state);
  Json hw;

  unsigned rows = t.linesPerRow ? (t.visibleHeight + t.linesPerRow - 1) / t.linesPerRow : 0;
  hw["display"] = {{"width", t.visibleWidth},
                   {"height", t.visibleHeight},
                   {"frameBufferLines", rows},
                   {"offsetY", t.offsetY},
                   {"crtc28", board.crtc(0x28)},
                   {"bitsPerPixel", t.bitsPerPixel},
                   {"pixelFormat", pixelFormat(t.bitsPerPixel)},
                   {"pitch", t.pitch},
                   {"startAddress", t.startAddress},
                   {"startByte", t.startByte}};

  Board::PixelClock pixel = board.pixelClock();
  Json clock;
  if (pixel.external) {
    clock = {{"source", "external"}};
  } else {
    Board::DotClock dot = board.dotClock(pixel.dotClock);
    clock = {{"source", "internal"},
             {"dotClock", pixel.dotClock},
             {"n", dot.n},
             {"m", dot.m},
             {"p", dot.p},
             {"hz", dot.hz},
             {"vcoInRange", dot.vcoInRange}};
  }
  if (pixel.inconsistent) clock["inconsistentSelect"] = true;
  hw["pixelClock"] = clock;

  // Rates in Hz to the millihertz; null when the pixel clock is not known.
  auto rate = [](double hz) { return hz > 0 ? Json(std::round(hz * 1000) / 1000) : Json(nullptr); };
  auto polarity = [](orva::board::SyncPolarity p) {
    return p == orva::board::SyncPolarity::Negative ? "negative" : "positive";
  };
  hw["timing"] = {{"hTotal", t.hTotal},
                  {"vTotal", t.vTotal},
                  {"hFrequencyHz", rate(t.hFrequencyHz)},
                  {"vRefreshHz", rate(t.vRefreshHz)},
                  {"hSync", polarity(t.hSync)},
                  {"vSync", polarity(t.vSync)}};
  hw["fifo"] = {{"crtc1B", t.fifo1B}, {"crtc27", t.fifo27}};

  // Output devices: what each one received since the marks.
  Json tv = Json::object();
  const auto& tvWrites = board.tvEncoder().writes();
  Json writes = Json::array();
  for (size_t i = since.tvWrites; i < tvWrites.size(); ++i)
    writes.push_back({{"register", tvWrites[i].reg},
                      {"value", tvWrites[i].value},
                      {"access", accessName(tvWrites[i].how)}});
  const auto& transactions = board.i2c().transactions();
  Json i2c = Json::array();
  for (size_t i = since.i2cTransactions; i < transactions.size(); ++i) {
    const orva::board::I2cTransaction& x = transactions[i];
    bool acked = x.addressAcked;
    for (bool a : x.dataAcked) acked = acked && a;
    i2c.push_back({{"device", x.address}, {"bytes", x.data}, {"acknowledged", acked}});
  }
  std::string device = "vga";
  if (!writes.empty() || !i2c.empty()) {
    device = "tv-encoder";
    tv["writes"] = writes;
    if (!i2c.empty()) tv["i2c"] = i2c;
    if (auto pulse = board.tvEncoder().lastResetPulseNs()) tv["resetPulseUs"] = *pulse / 1000;
    tv["svhs"] = (board.crtc(0x42) & 0x08) != 0;
    tv["flickerFilter"] = board.crtc(0x40) & 0x07;
  }
  Json tft = Json::object();
  const auto& io = board.tft().ioWrites();
  const auto& window = board.tft().windowRegisterWrites();
  if (io.size() > since.tftIoWrites || window.size() > since.tftWindowWrites) {
    device = "tft";
    bool viaIo = io.size() > since.tftIoWrites;
    Json list = Json::array();
    const auto& log = viaIo ? io : window;
    for (size_t i = viaIo ? since.tftIoWrites : since.tftWindowWrites; i < log.size(); ++i)
      list.push_back({{"register", log[i].reg}, {"value", log[i].value}});
    auto panel = viaIo ? board.tft().ioPanelRegisters() : board.tft().windowPanelRegisters();
    tft = {{"access", viaIo ? "io" : "memory"},
           {"writes", list},
           {"registers", panel},
           {"stallUs", board.trace().counters().stallMicroseconds - since.stallMicroseconds}};
  }
  Json output = {{"device", device}};
  if (device == "tv-encoder") output["tvEncoder"] = tv;
  if (device == "tft") output["tft"] = tft;
  hw["output"] = output;

  hw["cursor"] = {{"visible", cursor.visible},
                  {"position", cursor.position},
                  {"x", cursor.x},
                  {"y", cursor.y},
                  {"height", cursor.height},
                  {"patternOffset", cursor.patternOffset},
                  {"color0", cursor.color0},
                  {"color1", cursor.color1}};
  return hw;
}

void printHardware(const Json& hw, std::ostream& out) {
  const Json& d = hw["display"];
  out << "display         " << d["width"] << "x" << d["height"] << ", "
      << d["pixelFormat"].get<std::string>()
      << " (CRTC 0x28 = " << hex(d["crtc28"].get<uint32_t>(), 2) << "), pitch " << d["pitch"]
      << ", start " << hex(d["startByte"].get<uint32_t>(), 6);
  if (d["offsetY"].get<unsigned>()) out << ", picture " << d["offsetY"] << " lines down";
  out << "\n";

  const Json& c = hw["pixelClock"];
  out << "pixel clock     ";
  if (c["source"] == "external") {
    out << "external (its frequency is set outside the chip)";
  } else {
    out << "internal dot clock " << c["dotClock"] << ": N " << c["n"] << ", M " << c["m"] << ", P "
        << c["p"] << ", " << mhz(c["hz"].get<uint64_t>()) << " (" << c["hz"].get<uint64_t>()
        << " Hz)";
    if (!c["vcoInRange"].get<bool>()) out << ", VCO out of range";
  }
  if (c.contains("inconsistentSelect")) out << " (clock select bits disagree)";
  out << "\n";

  const Json& t = hw["timing"];
  bool known = !t["hFrequencyHz"].is_null();
  out << "timing          horizontal "
      << (known ? fixed(t["hFrequencyHz"].get<double>() / 1000, 3) + " kHz"
                : std::string("rate not known"))
      << " (total " << t["hTotal"] << "), vertical "
      << (known ? fixed(t["vRefreshHz"].get<double>(), 3) + " Hz" : std::string("rate not known"))
      << " (total " << t["vTotal"] << "), sync H " << t["hSync"].get<std::string>() << ", V "
      << t["vSync"].get<std::string>() << "\n";
  out << "FIFO            CRTC 0x1B = " << hex(hw["fifo"]["crtc1B"].get<uint32_t>(), 2)
      << ", CRTC 0x27 = " << hex(hw["fifo"]["crtc27"].get<uint32_t>(), 2) << "\n";

  const Json& o = hw["output"];
  out << "output          ";
  if (o["device"] == "vga") {
    out << "VGA connector (no TV encoder or TFT register reached)\n";
  } else if (o["device"] == "tv-encoder") {
    const Json& tv = o["tvEncoder"];
    const Json& writes = tv["writes"];
    out << "TV encoder, " << writes.size() << " register writes";
    if (!writes.empty()) out << " via " << writes[0]["access"].get<std::string>();
    out << "; S-VHS " << (tv["svhs"].get<bool>() ? "on" : "off") << ", flicker filter "
        << tv["flickerFilter"] << "\n";
    if (tv.contains("resetPulseUs"))
      out << "                reset line held low " << tv["resetPulseUs"] << " us\n";
    if (tv.contains("i2c")) {
      size_t acked = 0;
      std::vector<uint32_t> devices;
      for (const Json& x : tv["i2c"]) {
        acked += x["acknowledged"].get<bool>();
        uint32_t device = x["device"].get<uint32_t>();
        if (std::find(devices.begin(), devices.end(), device) == devices.end())
          devices.push_back(device);
      }
      out << "                I2C: " << tv["i2c"].size() << " transfers, " << acked
          << " acknowledged; first bytes";
      for (size_t k = 0; k < devices.size() && k < 8; ++k) out << " " << hex(devices[k], 2);
      if (devices.size() > 8) out << " ...";
      out << "\n";
    }
    std::string line;
    for (size_t i = 0; i < writes.size(); ++i) {
      line += " " + hex(writes[i]["register"].get<uint32_t>(), 2) + "=" +
              hex(writes[i]["value"].get<uint32_t>(), 2);
      if ((i + 1) % 6 == 0 || i + 1 == writes.size()) {
        out << "               " << line << "\n";
        line.clear();
      }
    }
  } else {
    const Json& tft = o["tft"];
    const Json& writes = tft["writes"];
    out << "TFT interface via " << tft["access"].get<std::string>() << ", " << writes.size()
        << " register writes, " << tft["stallUs"] << " us of stalls\n";
    std::string line;
    for (size_t i = 0; i < writes.size(); ++i) {
      line += " " + std::to_string(writes[i]["register"].get<unsigned>()) + "=" +
              hex(writes[i]["value"].get<uint32_t>(), 4);
      if ((i + 1) % 6 == 0 || i + 1 == writes.size()) {
        out << "               " << line << "\n";
        line.clear();
      }
    }
  }

  const Json& cur = hw["cursor"];
  out << "cursor          ";
  if (cur["visible"].get<bool>())
    out << "shown at " << cur["x"] << "," << cur["y"];
  else
    out << "hidden";
  out << " (position register " << hex(cur["position"].get<uint32_t>(), 8) << "), pattern "
      << hex(cur["patternOffset"].get<uint32_t>(), 6) << ", height " << cur["height"]
      << ", colours " << rgb(cur["color0"].get<uint32_t>()) << " / "
      << rgb(cur["color1"].get<uint32_t>()) << "\n";
}

Json setReport(orva::platform::Session& session, Client& client, uint32_t mode,
               const std::vector<ModeInformation>& listed) {
  Board& board = session.board();
  Json report;
  Json asked = {{"modeIndex", mode},
                {"row", mode >> 5},
                {"depthIndex", (mode >> 3) & 3},
                {"refreshIndex", mode & 7}};
  asked["listed"] = false;
  for (const ModeInformation& m : listed) {
    if (m.ModeIndex != mode) continue;
    asked["listed"] = true;
    asked["width"] = m.VisScreenWidth;
    asked["height"] = m.VisScreenHeight;
    asked["bitsPerPixel"] = m.BitsPerPlane;
    asked["refresh"] = m.Frequency;
    break;
  }
  report["mode"] = asked;

  DeviceMarks marks = markDevices(board);
  Exchange set = client.setMode(mode);
  report["status"] = set.status;
  report["statusName"] = statusName(set.status);
  report["hardware"] = hardwareReport(board, marks);

  // The frame buffer behind the screen: the surface of the mode asked for (the
  // programmed pitch times the mode's lines, or the lines the CRTC shows when the
  // mode is not listed), then what the driver reports after the mode set.
  const Json& display = report["hardware"]["display"];
  uint64_t lines = asked["listed"].get<bool>() ? asked["height"].get<uint64_t>()
                                               : display["frameBufferLines"].get<uint64_t>();
  uint64_t visible = display["pitch"].get<uint64_t>() * lines;
  Json layout = {{"size", board.vramSize()}, {"visibleBytes", visible}};
  Exchange caps = client.queryPointerCapabilities();
  if (caps.status == 0) {
    uint32_t start = caps.result["HWPtrBitmapStart"].get<uint32_t>();
    layout["pointerArea"] = {start, caps.result["HWPtrBitmapEnd"].get<uint32_t>()};
    layout["pointerShapes"] = {start, start + 0x400};
    layout["shiftedMasks"] = {start + 0x800, start + 0xC00};
  }
  Exchange free = client.queryFbFree();
  if (free.status == 0) layout["freeStart"] = free.result["offset"];
  report["frameBuffer"] = layout;
  return report;
}

void printSet(const Json& report, std::ostream& out) {
  const Json& m = report["mode"];
  out << "mode            " << m["modeIndex"] << " (row " << m["row"] << ", depth index "
      << m["depthIndex"] << ", refresh index " << m["refreshIndex"] << ")";
  if (m["listed"].get<bool>())
    out << ": " << m["width"] << "x" << m["height"] << "x" << m["bitsPerPixel"] << ", refresh "
        << (m["refresh"].get<uint32_t>() ? std::to_string(m["refresh"].get<uint32_t>()) + " Hz"
                                         : std::string("fixed timing"));
  else
    out << ": not in the driver's mode list";
  out << "\n";
  // A size that more than one listed mode has: which one it picked.
  if (m.contains("picked") && !m["picked"]["alsoListed"].empty()) {
    out << "                picked by " << m["picked"]["by"].get<std::string>()
        << ", the first listed; also listed with the same size, depth and rate (another "
           "mode-table row):";
    for (const Json& other : m["picked"]["alsoListed"]) out << " " << other.get<uint32_t>();
    out << "\n";
  }
  out << "status          " << report["status"] << " " << report["statusName"].get<std::string>()
      << "\n";
  printHardware(report["hardware"], out);
  const Json& fb = report["frameBuffer"];
  uint64_t visible = fb["visibleBytes"].get<uint64_t>();
  out << "frame buffer    " << fb["size"].get<uint64_t>() << " bytes; visible ";
  if (visible)
    out << "0x000000-" << hex(visible - 1, 6) << " (" << visible << " bytes)\n";
  else
    out << "surface empty\n";
  if (fb.contains("pointerArea")) {
    out << "                pointer area " << hex(fb["pointerArea"][0].get<uint32_t>(), 6) << "-"
        << hex(fb["pointerArea"][1].get<uint32_t>() - 1, 6) << ": shapes at "
        << hex(fb["pointerShapes"][0].get<uint32_t>(), 6) << " and "
        << hex(fb["pointerShapes"][1].get<uint32_t>(), 6) << ", shifted masks at "
        << hex(fb["shiftedMasks"][0].get<uint32_t>(), 6) << " and "
        << hex(fb["shiftedMasks"][1].get<uint32_t>(), 6) << "\n";
  }
  if (fb.contains("freeStart")) {
    uint64_t start = fb["freeStart"].get<uint64_t>();
    uint64_t size = fb["size"].get<uint64_t>();
    out << "                free from " << hex(start, 6) << " ("
        << (size > start ? size - start : 0) << " bytes)\n";
  }
}

Json writeScreenshot(const Board& board, const std::string& file) {
  orva::board::Scanout picture = orva::board::scanout(board);
  if (!picture.ok) throw std::runtime_error("no picture to save: " + picture.error);
  std::string error;
  std::vector<uint8_t> png;
  if (!orva::board::encodePng(picture.image, png, &error))
    throw std::runtime_error("cannot encode the picture for '" + file + "': " + error);
  writeFile(file, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()), "PNG",
            std::cout);
  return {{"file", file},
          {"width", picture.image.width},
          {"height", picture.image.height},
          {"cursorVisible", picture.cursor.visible}};
}

}  // namespace orvasim
