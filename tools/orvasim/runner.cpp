#include "runner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "report.h"
#include "scanout.h"
#include "timing.h"

namespace orvasim {

namespace {

// Result fields shown in hex in text output: addresses, masks, flags, port values.
bool hexField(const std::string& key) {
  for (const char* suffix :
       {"Base", "Address", "Mask", "Flags", "address", "value", "port", "Start", "End", "offset"})
    if (key.ends_with(suffix)) return true;
  return false;
}

std::string fieldText(const std::string& key, const Json& value) {
  if (value.is_number_unsigned() && hexField(key)) return hex(value.get<uint64_t>());
  if (value.is_string())
    return value.get<std::string>().empty() ? "(none)" : value.get<std::string>();
  return value.dump();
}

// What a frame-buffer display driver can draw on: one plane, a graphics mode
// that needs no bank switching, a depth it has code for.
bool frameBufferUsable(const ModeInformation& m) {
  constexpr uint32_t kGraphics = 0x02, kBanked = 0x80;
  return m.NumberOfPlanes == 1 && (m.AttributeFlags & kGraphics) != 0 &&
         (m.AttributeFlags & kBanked) == 0 &&
         (m.BitsPerPlane == 8 || m.BitsPerPlane == 16 || m.BitsPerPlane == 24 ||
          m.BitsPerPlane == 32);
}

}  // namespace

const std::vector<ModeInformation>& Runner::modeList() {
  if (!modes_) {
    std::vector<ModeInformation> list;
    client_.queryModes(&list);
    modes_ = std::move(list);
  }
  return *modes_;
}

Json Runner::run(const Step& step) {
  Json report = {{"line", step.line}, {"text", step.text}};
  auto failLine = [&](const std::string& why) {
    return UsageError("line " + std::to_string(step.line) + ": " + why);
  };
  Exchange e;
  switch (step.verb) {
    case Verb::QueryNumModes:
      e = client_.queryNumModes();
      break;
    case Verb::QueryModes: {
      std::vector<ModeInformation> list;
      e = client_.queryModes(&list);
      if (e.status == 0) lastModes_ = std::move(list);
      break;
    }
    case Verb::QueryCurrentMode:
      e = client_.queryCurrentMode();
      break;
    case Verb::SetMode: {
      uint32_t mode = 0;
      if (step.firstUsable) {
        if (!lastModes_) throw failLine("set-mode first: no earlier query-modes");
        const auto usable = std::find_if(lastModes_->begin(), lastModes_->end(), frameBufferUsable);
        if (usable == lastModes_->end())
          throw failLine(
              "set-mode first: no mode of the last list is one plane, graphics, "
              "not banked, 8/16/24/32 bits per pixel");
        mode = usable->ModeIndex;
      } else if (step.mode.number) {
        mode = *step.mode.number;
      } else {
        try {
          std::vector<ListedMode> listed;
          for (const ModeInformation& m : modeList())
            listed.push_back(
                {m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency});
          mode = resolveMode(step.mode, listed);
        } catch (const UsageError& error) {
          throw failLine(error.what());
        }
      }
      DeviceMarks marks = markDevices(session_.board());
      e = client_.setMode(mode, step.outputLength);
      report["mode"] = mode;
      report["hardware"] = hardwareReport(session_.board(), marks);
      break;
    }
    case Verb::Map:
      e = client_.mapVideoMemory();
      if (e.status == 0) {
        lastMap_ = e.result["VideoRamBase"].get<uint64_t>();
        frameBuffer_.emplace(e.result["FrameBufferBase"].get<uint64_t>(),
                             e.result["FrameBufferLength"].get<uint64_t>());
      }
      break;
    case Verb::Unmap: {
      std::optional<uint64_t> address = step.address ? step.address : lastMap_;
      if (!address) throw failLine("unmap: no address given and no earlier map");
      e = client_.unmapVideoMemory(*address);
      if (e.status == 0 && frameBuffer_ && frameBuffer_->first == *address) frameBuffer_.reset();
      report["address"] = *address;
      break;
    }
    case Verb::Share:
      e = client_.shareVideoMemory(step.a, step.b);
      if (e.status == 0) lastShare_ = e.result["VirtualAddress"].get<uint64_t>();
      break;
    case Verb::Unshare: {
      std::optional<uint64_t> address = step.address ? step.address : lastShare_;
      if (!address) throw failLine("unshare: no address given and no earlier share");
      e = client_.unshareVideoMemory(*address);
      report["address"] = *address;
      break;
    }
    case Verb::QueryPointerCaps:
      e = client_.queryPointerCapabilities();
      if (e.status == 0) lastPointerFlags_ = e.result["Flags"].get<uint32_t>();
      break;
    case Verb::Palette:
      e = client_.setPalette(step.first, step.colours);
      break;
    case Verb::PointerShape: {
      if (step.flagsFromCaps && !lastPointerFlags_)
        throw failLine("pointer-shape flags=caps: no earlier query-pointer-caps");
      const uint32_t flags = step.flagsFromCaps ? *lastPointerFlags_ : step.flags;
      e = client_.setPointerShape(step.shape, flags, step.width, step.height, step.x, step.y);
      break;
    }
    case Verb::PointerMove:
      e = client_.setPointerPosition(step.x, step.y);
      break;
    case Verb::PointerEnable:
      e = client_.enablePointer();
      break;
    case Verb::PointerDisable:
      e = client_.disablePointer();
      break;
    case Verb::PointerQuery:
      e = client_.queryPointerPosition();
      break;
    case Verb::Reset:
      e = client_.reset();
      break;
    case Verb::Nop:
      e = client_.nop();
      break;
    case Verb::FbFree:
      e = client_.queryFbFree();
      break;
    case Verb::MemMap:
      e = client_.memoryMap(step.a, step.b);
      break;
    case Verb::IoMap:
      e = client_.ioMap(step.a, step.b);
      break;
    case Verb::PortRead:
      e = client_.readPort(step.portWidth, step.a, step.b);
      break;
    case Verb::PortWrite:
      e = client_.writePort(step.portWidth, step.a, step.b, step.c);
      break;
    case Verb::Raw:
      e = client_.send(step.code, step.input, step.outputLength);
      e.result = {{"output", hexBytes(std::vector<uint8_t>(
                                 e.output.begin(),
                                 e.output.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(
                                                        e.information, e.output.size()))))}};
      break;
    case Verb::QueryColorCaps:
      e = client_.queryColorCapabilities();
      break;
    case Verb::Screenshot:
      report["screenshot"] = writeScreenshot(session_.board(), step.file.string());
      return report;
    case Verb::FbProbe: {
      // The display driver's own access: a plain store and load through the
      // mapping, which the video port library backs with display memory.
      if (!frameBuffer_) throw failLine("fb-probe: no frame-buffer mapping (a map line first)");
      auto* word =
          reinterpret_cast<volatile uint32_t*>(static_cast<uintptr_t>(frameBuffer_->first));
      *word = step.probe;
      const uint32_t read = *word;
      report["probe"] = {{"address", frameBuffer_->first}, {"wrote", step.probe}, {"read", read}};
      return report;
    }
    case Verb::Pattern:
      report["pattern"] = runPattern(step);
      return report;
    case Verb::Board: {
      Json settings = Json::object();
      for (const auto& [key, value] : step.settings) settings[key] = value;
      report["board"] = settings;
      return report;
    }
    case Verb::Expect:
      report["expect"] = runExpect(step);
      return report;
  }
  lastStatus_ = e.status;
  if (e.status != 0) refusals_.push_back(step.line);
  report["request"] = requestName(e.code);
  report["code"] = e.code;
  report["status"] = e.status;
  report["statusName"] = statusName(e.status);
  report["information"] = e.information;
  if (!e.result.empty()) report["result"] = e.result;
  return report;
}

// Reads back what an expect line names and compares it with the value wanted.
Json Runner::runExpect(const Step& step) {
  const orva::board::Board& board = session_.board();
  Json check = {{"check", step.text.substr(std::string_view("expect ").size())}};
  auto compare = [&](uint64_t got, unsigned digits) {
    check["wanted"] = step.wanted;
    check["got"] = got;
    check["ok"] = got == step.wanted;
    check["gotText"] = digits ? hex(got, digits) : std::to_string(got);
  };
  const uint8_t index = static_cast<uint8_t>(step.a);
  switch (step.expect) {
    case ExpectKind::Status:
      if (!lastStatus_) {
        check["ok"] = false;
        check["gotText"] = "no request before it";
        break;
      }
      compare(*lastStatus_, 0);
      check["gotText"] = std::to_string(*lastStatus_) + " " + statusName(*lastStatus_);
      // A refusal that the scenario checks for is what it wanted, whatever the outcome.
      if (!refusals_.empty() && *lastStatus_ != 0) refusals_.pop_back();
      lastStatus_.reset();
      break;
    case ExpectKind::Crtc:
      compare(board.crtc(index), 2);
      break;
    case ExpectKind::Sequencer:
      compare(board.sequencer(index), 2);
      break;
    case ExpectKind::Graphics:
      compare(board.graphics(index), 2);
      break;
    case ExpectKind::Attribute:
      compare(board.attribute(index), 2);
      break;
    case ExpectKind::Config:
      compare(board.config(index), 2);
      break;
    case ExpectKind::Misc:
      compare(board.miscOutput(), 2);
      break;
    case ExpectKind::Ge:
      compare(board.geRegister(step.a), 8);
      break;
    case ExpectKind::Dac: {
      const std::array<uint8_t, 3> entry = board.dac(index);
      compare(uint32_t{entry[0]} << 16 | uint32_t{entry[1]} << 8 | entry[2], 6);
      break;
    }
    case ExpectKind::Pixel: {
      const orva::board::Scanout picture = orva::board::scanout(board);
      if (!picture.ok) {
        check["ok"] = false;
        check["gotText"] = "no picture (" + picture.error + ")";
      } else if (static_cast<unsigned>(step.x) >= picture.image.width ||
                 static_cast<unsigned>(step.y) >= picture.image.height) {
        check["ok"] = false;
        check["gotText"] = "outside the " + std::to_string(picture.image.width) + "x" +
                           std::to_string(picture.image.height) + " picture";
      } else {
        compare(picture.image.pixel(static_cast<unsigned>(step.x), static_cast<unsigned>(step.y)),
                6);
      }
      break;
    }
    case ExpectKind::Mode: {
      const orva::board::Timing t = orva::board::decodeTiming(board);
      std::string shown = std::to_string(t.visibleWidth) + "x" + std::to_string(t.visibleHeight) +
                          "x" + std::to_string(t.bitsPerPixel);
      bool ok = t.visibleWidth == step.mode.width && t.visibleHeight == step.mode.height &&
                t.bitsPerPixel == step.mode.bpp;
      if (step.mode.refresh) {
        const long hz = std::lround(t.vRefreshHz);
        shown += "@" + std::to_string(hz);
        ok = ok && hz == static_cast<long>(*step.mode.refresh);
      }
      check["ok"] = ok;
      check["gotText"] = shown;
      break;
    }
  }
  return check;
}

// As a display driver draws: it asks for the current mode, takes the pixel format, stride
// and colour masks from the answer, loads the palette it needs at 8 bits per pixel, and
// writes the pixels through its frame-buffer mapping.
Json Runner::runPattern(const Step& step) {
  auto fail = [&](const std::string& why) {
    return UsageError("line " + std::to_string(step.line) + ": pattern: " + why);
  };
  if (!frameBuffer_) throw fail("no frame-buffer mapping (a map line first)");
  Json requests = Json::array();
  auto record = [&](const Exchange& e) {
    requests.push_back({{"request", requestName(e.code)},
                        {"status", e.status},
                        {"statusName", statusName(e.status)},
                        {"information", e.information}});
  };
  const Exchange current = client_.queryCurrentMode();
  record(current);
  ModeInformation mode{};
  if (current.status != 0 || current.information < sizeof mode ||
      current.output.size() < sizeof mode)
    throw fail("IOCTL_VIDEO_QUERY_CURRENT_MODE answered status " + std::to_string(current.status));
  std::memcpy(&mode, current.output.data(), sizeof mode);
  if (mode.BitsPerPlane == 0) throw fail("no mode is set");

  const bool indexed = mode.BitsPerPlane * mode.NumberOfPlanes == 8;
  if (indexed) {
    const Exchange palette = client_.setPalette(
        0, std::vector<uint32_t>(kPatternColours.begin(), kPatternColours.end()));
    record(palette);
    if (palette.status != 0)
      throw fail("IOCTL_VIDEO_SET_COLOR_REGISTERS answered status " +
                 std::to_string(palette.status));
  }
  const auto [address, length] = *frameBuffer_;
  const std::string why = drawPattern(
      step.pattern, mode, reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address)), length);
  if (!why.empty()) throw fail(why);

  Json report = {{"name", patternName(step.pattern)},
                 {"width", mode.VisScreenWidth},
                 {"height", mode.VisScreenHeight},
                 {"bitsPerPixel", mode.BitsPerPlane * mode.NumberOfPlanes},
                 {"stride", mode.ScreenStride},
                 {"address", address}};
  if (indexed) {
    report["paletteEntries"] = kPatternColours.size();
  } else {
    report["RedMask"] = mode.RedMask;
    report["GreenMask"] = mode.GreenMask;
    report["BlueMask"] = mode.BlueMask;
  }
  report["requests"] = requests;
  return report;
}

Json Runner::runAll(const std::vector<Step>& steps, std::ostream* text) {
  Json reports = Json::array();
  for (const Step& step : steps) {
    Json report = run(step);
    if (text) print(report, *text);
    reports.push_back(std::move(report));
  }
  return reports;
}

void Runner::print(const Json& report, std::ostream& out) {
  char head[64];
  std::snprintf(head, sizeof head, "%4d  ", report["line"].get<int>());
  out << head << report["text"].get<std::string>() << "\n";
  if (report.contains("screenshot")) {
    const Json& s = report["screenshot"];
    out << "      wrote " << s["file"].get<std::string>() << " (" << s["width"] << "x"
        << s["height"] << ", cursor " << (s["cursorVisible"].get<bool>() ? "shown" : "hidden")
        << ")\n";
    return;
  }
  if (report.contains("probe")) {
    const Json& p = report["probe"];
    out << "      wrote " << hex(p["wrote"].get<uint64_t>(), 8) << " at "
        << hex(p["address"].get<uint64_t>()) << ", read back " << hex(p["read"].get<uint64_t>(), 8)
        << "\n";
    return;
  }
  if (report.contains("board")) return;  // applied before the board booted
  if (report.contains("expect")) {
    const Json& x = report["expect"];
    if (x["ok"].get<bool>())
      out << "      as expected\n";
    else
      out << "      FAILED: got " << x["gotText"].get<std::string>() << "\n";
    return;
  }
  if (report.contains("pattern")) {
    const Json& p = report["pattern"];
    for (const Json& r : p["requests"]) {
      out << "      " << r["request"].get<std::string>() << ": status " << r["status"];
      if (r["status"].get<uint32_t>() != 0) out << " " << r["statusName"].get<std::string>();
      out << ", information " << r["information"] << "\n";
    }
    out << "      drew " << p["name"].get<std::string>() << " " << p["width"] << "x" << p["height"]
        << " at " << p["bitsPerPixel"] << " bpp, stride " << p["stride"];
    if (p.contains("paletteEntries")) {
      out << ", palette entries 0-" << p["paletteEntries"].get<unsigned>() - 1;
    } else {
      out << ", masks " << hex(p["RedMask"].get<uint64_t>()) << " "
          << hex(p["GreenMask"].get<uint64_t>()) << " " << hex(p["BlueMask"].get<uint64_t>());
    }
    out << ", through " << hex(p["address"].get<uint64_t>()) << "\n";
    return;
  }
  out << "      " << report["request"].get<std::string>() << ": status " << report["status"];
  if (report["status"].get<uint32_t>() != 0) out << " " << report["statusName"].get<std::string>();
  out << ", information " << report["information"];
  if (report.contains("mode")) out << ", mode " << report["mode"];
  if (report.contains("address")) out << ", address " << hex(report["address"].get<uint64_t>());
  out << "\n";
  if (report.contains("hardware")) {
    std::ostringstream hardware;
    printHardware(report["hardware"], hardware);
    std::istringstream lines(hardware.str());
    for (std::string line; std::getline(lines, line);) out << "      " << line << "\n";
  }
  if (!report.contains("result")) return;
  const Json& result = report["result"];
  if (result.contains("modes")) {
    std::vector<ModeInformation> modes;
    for (const Json& m : result["modes"]) {
      ModeInformation info{};
      info.ModeIndex = m["ModeIndex"];
      info.VisScreenWidth = m["VisScreenWidth"];
      info.VisScreenHeight = m["VisScreenHeight"];
      info.BitsPerPlane = m["BitsPerPlane"];
      info.Frequency = m["Frequency"];
      info.ScreenStride = m["ScreenStride"];
      info.RedMask = m["RedMask"];
      info.GreenMask = m["GreenMask"];
      info.BlueMask = m["BlueMask"];
      info.AttributeFlags = m["AttributeFlags"];
      modes.push_back(info);
    }
    printModes(modes, out);
    return;
  }
  std::string line;
  for (const auto& [key, value] : result.items()) line += "  " + key + " " + fieldText(key, value);
  out << "     " << line << "\n";
}

}  // namespace orvasim
