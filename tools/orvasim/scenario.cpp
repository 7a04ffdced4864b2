#include "scenario.h"

#include <array>
#include <iostream>

#include "board.h"
#include "files.h"
#include "shapes.h"

namespace orvasim {

namespace {

struct VerbInfo {
  std::string_view name;
  Verb verb;
  unsigned portWidth;
};

constexpr std::array kVerbs = {
    VerbInfo{"query-num-modes", Verb::QueryNumModes, 0},
    VerbInfo{"query-modes", Verb::QueryModes, 0},
    VerbInfo{"query-current-mode", Verb::QueryCurrentMode, 0},
    VerbInfo{"set-mode", Verb::SetMode, 0},
    VerbInfo{"map", Verb::Map, 0},
    VerbInfo{"unmap", Verb::Unmap, 0},
    VerbInfo{"share", Verb::Share, 0},
    VerbInfo{"unshare", Verb::Unshare, 0},
    VerbInfo{"query-pointer-caps", Verb::QueryPointerCaps, 0},
    VerbInfo{"palette", Verb::Palette, 0},
    VerbInfo{"pointer-shape", Verb::PointerShape, 0},
    VerbInfo{"pointer-move", Verb::PointerMove, 0},
    VerbInfo{"pointer-enable", Verb::PointerEnable, 0},
    VerbInfo{"pointer-disable", Verb::PointerDisable, 0},
    VerbInfo{"pointer-query", Verb::PointerQuery, 0},
    VerbInfo{"reset", Verb::Reset, 0},
    VerbInfo{"nop", Verb::Nop, 0},
    VerbInfo{"fb-free", Verb::FbFree, 0},
    VerbInfo{"mem-map", Verb::MemMap, 0},
    VerbInfo{"io-map", Verb::IoMap, 0},
    VerbInfo{"port-read8", Verb::PortRead, 8},
    VerbInfo{"port-read16", Verb::PortRead, 16},
    VerbInfo{"port-read32", Verb::PortRead, 32},
    VerbInfo{"port-write8", Verb::PortWrite, 8},
    VerbInfo{"port-write16", Verb::PortWrite, 16},
    VerbInfo{"port-write32", Verb::PortWrite, 32},
    VerbInfo{"screenshot", Verb::Screenshot, 0},
    VerbInfo{"raw", Verb::Raw, 0},
    VerbInfo{"query-color-caps", Verb::QueryColorCaps, 0},
    VerbInfo{"fb-probe", Verb::FbProbe, 0},
    VerbInfo{"pattern", Verb::Pattern, 0},
    VerbInfo{"board", Verb::Board, 0},
    VerbInfo{"expect", Verb::Expect, 0},
};

struct ExpectInfo {
  std::string_view name;
  ExpectKind kind;
  size_t arguments;  // after the name
};

constexpr std::array kExpects = {
    ExpectInfo{"status", ExpectKind::Status, 1},  ExpectInfo{"crtc", ExpectKind::Crtc, 2},
    ExpectInfo{"seq", ExpectKind::Sequencer, 2},  ExpectInfo{"gc", ExpectKind::Graphics, 2},
    ExpectInfo{"attr", ExpectKind::Attribute, 2}, ExpectInfo{"config", ExpectKind::Config, 2},
    ExpectInfo{"misc", ExpectKind::Misc, 1},      ExpectInfo{"ge", ExpectKind::Ge, 2},
    ExpectInfo{"dac", ExpectKind::Dac, 2},        ExpectInfo{"pixel", ExpectKind::Pixel, 3},
    ExpectInfo{"mode", ExpectKind::Mode, 1},
};

constexpr std::array kStatusNames = {
    std::pair<std::string_view, uint32_t>{"NO_ERROR", 0},
    std::pair<std::string_view, uint32_t>{"ERROR_INVALID_FUNCTION", 1},
    std::pair<std::string_view, uint32_t>{"ERROR_INVALID_PARAMETER", 87},
    std::pair<std::string_view, uint32_t>{"ERROR_INSUFFICIENT_BUFFER", 122},
};

// A palette a frame-buffer display driver loads at start: 3 bits of red, 3 of
// green and 2 of blue, red counting fastest.
std::vector<uint32_t> rgb332() {
  std::vector<uint32_t> colours;
  for (uint32_t i = 0; i < 256; ++i)
    colours.push_back(((i & 7) * 32) << 16 | (((i >> 3) & 7) * 32) << 8 | (i >> 6) * 64);
  return colours;
}

// Reads the arguments of one line, each failure naming the line and the argument.
class Args {
 public:
  Args(std::vector<std::string> words, int line, std::string_view verb)
      : words_(std::move(words)), line_(line), verb_(verb) {}

  [[noreturn]] void fail(const std::string& why) const {
    throw UsageError("line " + std::to_string(line_) + ": " + std::string(verb_) + ": " + why);
  }
  size_t count() const { return words_.size(); }
  void expect(size_t least, size_t most, std::string_view usage) const {
    if (words_.size() < least || words_.size() > most) fail("expected " + std::string(usage));
  }
  const std::string& word(size_t i) const { return words_[i]; }
  uint32_t u32(size_t i, std::string_view what) const {
    std::optional<uint64_t> v = parseUnsigned(words_[i], 32);
    if (!v) fail(std::string(what) + " '" + words_[i] + "' " + numberProblem(words_[i], 32));
    return static_cast<uint32_t>(*v);
  }
  int32_t s16(size_t i, std::string_view what) const { return s16(words_[i], what); }
  int32_t s16(const std::string& text, std::string_view what) const {
    std::optional<int64_t> v = parseSigned(text);
    const std::string_view magnitude = std::string_view(text).substr(text.starts_with('-'));
    if (v ? *v < INT16_MIN || *v > INT16_MAX : numberProblem(magnitude, 32) != "is not a number")
      fail(std::string(what) + " '" + text + "' is too large (-32768 to 32767)");
    if (!v) fail(std::string(what) + " '" + text + "' is not a number from -32768 to 32767");
    return static_cast<int32_t>(*v);
  }
  uint64_t address(size_t i) const {
    std::optional<uint64_t> v = parseUnsigned(words_[i], 64);
    if (!v) fail("address '" + words_[i] + "' " + numberProblem(words_[i], 64));
    return *v;
  }

 private:
  std::vector<std::string> words_;
  int line_;
  std::string_view verb_;
};

void parsePointerShape(Step& step, const Args& args, const std::filesystem::path& folder) {
  if (args.count() < 1) args.fail("expected SHAPE [height=H] [x=X] [y=Y] [flags=F] [width=W]");
  step.shapeName = args.word(0);
  if (std::optional<std::vector<uint8_t>> shape = builtinShape(step.shapeName)) {
    step.shape = *shape;
  } else {
    std::filesystem::path file = folder / step.shapeName;
    if (!std::filesystem::exists(file))
      args.fail("'" + step.shapeName +
                "' is neither a built-in shape (arrow, block, cross) nor a shape file");
    try {
      step.shape = loadShapeFile(file);
    } catch (const UsageError& e) {
      args.fail(e.what());
    }
  }
  for (size_t i = 1; i < args.count(); ++i) {
    const std::string& option = args.word(i);
    size_t eq = option.find('=');
    if (eq == std::string::npos) args.fail("option '" + option + "' is not NAME=VALUE");
    std::string key = option.substr(0, eq), value = option.substr(eq + 1);
    if (key == "x" || key == "y") {
      (key == "x" ? step.x : step.y) = args.s16(value, key);
      continue;
    }
    if (key == "flags" && value == "caps") {
      step.flagsFromCaps = true;
      continue;
    }
    std::optional<uint64_t> v = parseUnsigned(value, 32);
    if (!v) args.fail(key + " '" + value + "' " + numberProblem(value, 32));
    if (key == "height") {
      step.height = static_cast<uint32_t>(*v);
    } else if (key == "width") {
      step.width = static_cast<uint32_t>(*v);
    } else if (key == "flags") {
      step.flags = static_cast<uint32_t>(*v);
    } else {
      args.fail("unknown option '" + key + "' (height, width, x, y, flags)");
    }
  }
}

void parseBoard(Step& step, const Args& args) {
  if (args.count() == 0)
    args.fail("expected chip=CHIP, output=KEYWORD, memory=SIZE, gbase=HEX or tv-encoder=yes|no");
  for (size_t i = 0; i < args.count(); ++i) {
    const std::string& option = args.word(i);
    const size_t eq = option.find('=');
    if (eq == std::string::npos) args.fail("setting '" + option + "' is not NAME=VALUE");
    std::string key = option.substr(0, eq), value = option.substr(eq + 1);
    for (const auto& [seen, _] : step.settings)
      if (seen == key) args.fail("setting '" + key + "' given twice");
    try {
      if (key == "chip") {
        if (!orva::board::parseVariant(lowerCase(value))) args.fail("unknown chip '" + value + "'");
      } else if (key == "memory") {
        parseMemorySize(value);
      } else if (key == "gbase") {
        if (!parseHex(value, 8)) args.fail("gbase '" + value + "' is not a hex byte (0 to FF)");
      } else if (key == "tv-encoder") {
        if (value != "yes" && value != "no")
          args.fail("tv-encoder '" + value + "' is not yes or no");
      } else if (key != "output") {
        args.fail("unknown setting '" + key + "' (chip, output, memory, gbase, tv-encoder)");
      }
    } catch (const UsageError& e) {
      if (std::string_view(e.what()).starts_with("line ")) throw;
      args.fail(e.what());
    }
    step.settings.emplace_back(std::move(key), std::move(value));
  }
}

void parseExpect(Step& step, const Args& args) {
  std::string names;
  for (const ExpectInfo& info : kExpects)
    names += (names.empty() ? "" : ", ") + std::string(info.name);
  if (args.count() == 0) args.fail("expected what to check (" + names + ")");
  const ExpectInfo* info = nullptr;
  for (const ExpectInfo& candidate : kExpects)
    if (candidate.name == args.word(0)) info = &candidate;
  if (!info) args.fail("unknown check '" + args.word(0) + "' (" + names + ")");
  if (args.count() != info->arguments + 1) {
    static const std::array<std::string_view, 11> kUsage = {
        "STATUS", "INDEX VALUE",  "INDEX VALUE",  "INDEX VALUE", "INDEX VALUE", "INDEX VALUE",
        "VALUE",  "OFFSET VALUE", "INDEX RRGGBB", "X Y RRGGBB",  "WxHxBPP[@HZ]"};
    args.fail("expected " + std::string(info->name) + " " +
              std::string(kUsage[static_cast<size_t>(info->kind)]));
  }
  step.expect = info->kind;
  auto colour = [&](size_t i) {
    std::optional<uint32_t> value = parseColour(args.word(i));
    if (!value) args.fail("colour '" + args.word(i) + "' is not RRGGBB");
    return *value;
  };
  switch (info->kind) {
    case ExpectKind::Status: {
      const std::string name = upperCase(args.word(1));
      for (const auto& [statusName, status] : kStatusNames)
        if (name == statusName) step.wanted = status;
      if (std::optional<uint64_t> number = parseUnsigned(args.word(1), 32)) {
        step.wanted = *number;
      } else if (step.wanted == 0 && name != "NO_ERROR") {
        args.fail("status '" + args.word(1) +
                  "' is neither a number nor NO_ERROR, ERROR_INVALID_FUNCTION, "
                  "ERROR_INVALID_PARAMETER or ERROR_INSUFFICIENT_BUFFER");
      }
      break;
    }
    case ExpectKind::Misc:
      step.wanted = args.u32(1, "value");
      if (step.wanted > 0xFF) args.fail("value '" + args.word(1) + "' is too large (a byte)");
      break;
    case ExpectKind::Ge:
      step.a = args.u32(1, "offset");
      step.wanted = args.u32(2, "value");
      break;
    case ExpectKind::Dac:
      step.a = args.u32(1, "index");
      if (step.a > 0xFF) args.fail("index '" + args.word(1) + "' is too large (0 to 255)");
      step.wanted = colour(2);
      break;
    case ExpectKind::Pixel:
      step.x = static_cast<int32_t>(args.u32(1, "x"));
      step.y = static_cast<int32_t>(args.u32(2, "y"));
      step.wanted = colour(3);
      break;
    case ExpectKind::Mode:
      try {
        step.mode = parseModeName(args.word(1));
      } catch (const UsageError& e) {
        args.fail(e.what());
      }
      if (step.mode.number) args.fail("mode '" + args.word(1) + "' is not WxHxBPP[@HZ]");
      break;
    default:  // the registers reached through an index
      step.a = args.u32(1, "index");
      if (step.a > 0xFF) args.fail("index '" + args.word(1) + "' is too large (0 to 255)");
      step.wanted = args.u32(2, "value");
      if (step.wanted > 0xFF) args.fail("value '" + args.word(2) + "' is too large (a byte)");
      break;
  }
}

}  // namespace

std::string_view verbName(Verb verb) {
  for (const VerbInfo& info : kVerbs)
    if (info.verb == verb) return info.name;
  return "?";
}

std::optional<Step> parseScenarioLine(std::string_view line, int lineNumber,
                                      const std::filesystem::path& folder) {
  if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
  std::vector<std::string> words = splitWords(line);
  if (words.empty()) return std::nullopt;

  Step step;
  step.line = lineNumber;
  step.text = trim(line);
  const VerbInfo* info = nullptr;
  for (const VerbInfo& candidate : kVerbs)
    if (candidate.name == words[0]) info = &candidate;
  if (!info)
    throw UsageError("line " + std::to_string(lineNumber) + ": unknown request '" + words[0] + "'");
  step.verb = info->verb;
  step.portWidth = info->portWidth;
  Args args({words.begin() + 1, words.end()}, lineNumber, info->name);

  switch (step.verb) {
    case Verb::QueryNumModes:
    case Verb::QueryModes:
    case Verb::QueryCurrentMode:
    case Verb::Map:
    case Verb::QueryPointerCaps:
    case Verb::PointerEnable:
    case Verb::PointerDisable:
    case Verb::PointerQuery:
    case Verb::Reset:
    case Verb::Nop:
    case Verb::FbFree:
    case Verb::QueryColorCaps:
      args.expect(0, 0, "no arguments");
      break;
    case Verb::SetMode:
      args.expect(1, 2, "MODE (a mode number, WxHxBPP[@HZ] or first) [output=LENGTH]");
      if (args.word(0) == "first") {
        step.firstUsable = true;
      } else {
        try {
          step.mode = parseModeName(args.word(0));
        } catch (const UsageError& e) {
          args.fail(e.what());
        }
      }
      if (args.count() == 2) {
        const std::string& option = args.word(1);
        if (!option.starts_with("output="))
          args.fail("option '" + option + "' is not output=LENGTH");
        std::optional<uint64_t> length = parseUnsigned(option.substr(7), 32);
        if (!length || *length > 4096)
          args.fail("output length '" + option.substr(7) + "' is not 0 to 4096");
        step.outputLength = static_cast<uint32_t>(*length);
      }
      break;
    case Verb::FbProbe:
      args.expect(0, 1, "[VALUE]");
      if (args.count() == 1) step.probe = args.u32(0, "value");
      break;
    case Verb::Unmap:
    case Verb::Unshare:
      args.expect(0, 1, "[ADDRESS]");
      if (args.count() == 1) step.address = args.address(0);
      break;
    case Verb::Share:
      args.expect(2, 2, "OFFSET SIZE");
      step.a = args.u32(0, "offset");
      step.b = args.u32(1, "size");
      break;
    case Verb::Palette: {
      if (args.count() < 2) args.fail("expected FIRST RRGGBB [RRGGBB...] or FIRST rgb332");
      step.first = args.u32(0, "first entry");
      if (step.first > 0xFFFF) args.fail("first entry above 65535");
      if (args.count() == 2 && args.word(1) == "rgb332") {
        step.colours = rgb332();
        break;
      }
      for (size_t i = 1; i < args.count(); ++i) {
        std::optional<uint32_t> colour = parseColour(args.word(i));
        if (!colour) args.fail("colour '" + args.word(i) + "' is not RRGGBB");
        step.colours.push_back(*colour);
      }
      break;
    }
    case Verb::PointerShape:
      parsePointerShape(step, args, folder);
      break;
    case Verb::PointerMove:
      args.expect(2, 2, "X Y");
      step.x = args.s16(0, "x");
      step.y = args.s16(1, "y");
      break;
    case Verb::MemMap:
    case Verb::IoMap:
      args.expect(2, 2, step.verb == Verb::MemMap ? "PHYS LENGTH" : "PORT LENGTH");
      step.a = args.u32(0, "address");
      step.b = args.u32(1, "length");
      break;
    case Verb::PortRead:
      args.expect(1, 2, "BASE [OFFSET]");
      step.a = args.u32(0, "base");
      if (args.count() == 2) step.b = args.u32(1, "offset");
      break;
    case Verb::PortWrite:
      args.expect(3, 3, "BASE OFFSET VALUE");
      step.a = args.u32(0, "base");
      step.b = args.u32(1, "offset");
      step.c = args.u32(2, "value");
      break;
    case Verb::Screenshot:
      args.expect(1, 1, "FILE");
      step.file = args.word(0);
      break;
    case Verb::Raw: {
      args.expect(3, 3, "CODE HEXINPUT|- OUTLENGTH");
      step.code = args.u32(0, "code");
      std::optional<std::vector<uint8_t>> input = parseHexBytes(args.word(1));
      if (!input) args.fail("input '" + args.word(1) + "' is not hex bytes (or - for none)");
      step.input = *input;
      step.outputLength = args.u32(2, "output length");
      if (step.outputLength > (1u << 20)) args.fail("output length above 1 MB");
      break;
    }
    case Verb::Board:
      parseBoard(step, args);
      break;
    case Verb::Expect:
      parseExpect(step, args);
      break;
    case Verb::Pattern: {
      args.expect(1, 1, "NAME (" + patternNames() + ")");
      std::optional<Pattern> pattern = parsePattern(args.word(0));
      if (!pattern) args.fail("unknown pattern '" + args.word(0) + "' (" + patternNames() + ")");
      step.pattern = *pattern;
      break;
    }
  }
  return step;
}

std::vector<Step> parseScenario(std::string_view text, const std::filesystem::path& folder) {
  std::vector<Step> steps;
  int number = 0;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number;
    if (std::optional<Step> step = parseScenarioLine(line, number, folder)) {
      if (step->verb == Verb::Board) {
        for (const Step& before : steps)
          throw UsageError(
              "line " + std::to_string(number) + ": board: " +
              (before.verb == Verb::Board
                   ? "a second board line (the first is line " + std::to_string(before.line) + ")"
                   : "comes after a request (line " + std::to_string(before.line) +
                         "): the board is set before the first"));
      }
      steps.push_back(std::move(*step));
    }
    begin = end + 1;
  }
  return steps;
}

std::vector<Step> loadScenario(const std::filesystem::path& file, std::istream* in) {
  std::string text;
  try {
    text = readFile(file.string(), "scenario", in ? *in : std::cin);
  } catch (const FileError& e) {
    throw UsageError(e.what());
  }
  const std::string name = file == "-" ? std::string("(standard input)") : file.string();
  try {
    return parseScenario(text, file == "-" ? std::filesystem::path(".") : file.parent_path());
  } catch (const UsageError& e) {
    throw UsageError(name + ": " + e.what());
  }
}

std::vector<std::pair<std::string, std::string>> boardSettings(const std::vector<Step>& steps) {
  for (const Step& step : steps)
    if (step.verb == Verb::Board) return step.settings;
  return {};
}

}  // namespace orvasim
