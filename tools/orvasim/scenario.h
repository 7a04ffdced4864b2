// Scenario files: one request a line, as a display driver issues them.
//
//   # comment                       blank lines and comments are skipped
//   query-num-modes                 query-modes          query-current-mode
//   set-mode MODE                   MODE: number, 0x hex, or WxHxBPP[@HZ]
//   map                             unmap [ADDRESS]      (default: the last map)
//   share OFFSET SIZE               unshare [ADDRESS]    (default: the last share)
//   query-pointer-caps              palette FIRST RRGGBB [RRGGBB...]
//   pointer-shape SHAPE [height=H] [x=X] [y=Y] [flags=F] [width=W]
//   pointer-move X Y                pointer-enable  pointer-disable  pointer-query
//   reset                           nop                  fb-free
//   mem-map PHYS LENGTH             io-map PORT LENGTH
//   port-read8|16|32 BASE [OFFSET]  port-write8|16|32 BASE OFFSET VALUE
//   screenshot FILE                 raw CODE HEXINPUT|- OUTLENGTH
//   query-color-caps                fb-probe [VALUE]     (default 0xAA55AA55)
//
// set-mode also takes MODE `first` (the first mode of the last query-modes list
// that a frame-buffer display driver can draw on: one plane, graphics, not banked,
// 8, 16, 24 or 32 bits per pixel) and the option output=LENGTH (an output buffer of
// LENGTH bytes beside the mode number). palette takes `rgb332` for its colours: the
// 256 entries of 3-bit red, 3-bit green and 2-bit blue, red counting fastest.
// pointer-shape takes flags=caps: the flags of the last query-pointer-caps.
// fb-probe writes VALUE to the first frame-buffer word through the last map's
// address and reads it back.
//   pattern NAME                    NAME: bars, ramp, card (drawn through the last map)
//
// Two lines run no request:
//   board [chip=CHIP] [output=KEYWORD] [memory=SIZE] [gbase=HEX] [tv-encoder=yes|no]
//       the board the scenario is written for; before the first request, once. The
//       command line's own options win over it.
//   expect status STATUS            the last request's status (a number or its name)
//   expect crtc|seq|gc|attr|config INDEX VALUE     a register as the chip holds it
//   expect misc VALUE               expect ge OFFSET VALUE
//   expect dac INDEX RRGGBB         a palette entry, its three bytes as written
//   expect pixel X Y RRGGBB         a pixel of the displayed picture (cursor included)
//   expect mode WxHxBPP[@HZ]        what the display shows now
//
// SHAPE is a built-in name (arrow, block, cross) or a file of 1024 bytes in hex.
// Shape files are looked up from the scenario file's folder; screenshots are written
// relative to the current folder.
#pragma once
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parse.h"
#include "pattern.h"

namespace orvasim {

enum class Verb {
  QueryNumModes,
  QueryModes,
  QueryCurrentMode,
  SetMode,
  Map,
  Unmap,
  Share,
  Unshare,
  QueryPointerCaps,
  Palette,
  PointerShape,
  PointerMove,
  PointerEnable,
  PointerDisable,
  PointerQuery,
  Reset,
  Nop,
  FbFree,
  MemMap,
  IoMap,
  PortRead,
  PortWrite,
  Screenshot,
  Raw,
  QueryColorCaps,
  FbProbe,
  Pattern,
  Board,
  Expect,
};

// What an expect line checks.
enum class ExpectKind {
  Status,
  Crtc,
  Sequencer,
  Graphics,
  Attribute,
  Config,
  Misc,
  Ge,
  Dac,
  Pixel,
  Mode
};

struct Step {
  int line = 0;
  std::string text;  // the line as written, trimmed
  Verb verb = Verb::Nop;

  ModeName mode;                    // set-mode
  std::optional<uint64_t> address;  // unmap, unshare (absent: the last map or share)
  uint32_t first = 0;               // palette: first entry
  std::vector<uint32_t> colours;    // palette: 0xRRGGBB each
  int32_t x = 0, y = 0;             // pointer-move, pointer-shape position
  std::string shapeName;            // pointer-shape: built-in name or file as written
  std::vector<uint8_t> shape;       // pointer-shape: 1024 bytes, AND plane then XOR plane
  uint32_t width = 64, height = 64, flags = 0x03;  // pointer-shape
  uint32_t a = 0, b = 0, c = 0;  // share OFFSET SIZE; *-map ADDRESS LENGTH; port BASE OFFSET VALUE
  unsigned portWidth = 8;        // port-read/port-write
  std::filesystem::path file;    // screenshot
  uint32_t code = 0;             // raw
  std::vector<uint8_t> input;    // raw
  uint32_t outputLength = 0;     // raw; set-mode output=LENGTH
  bool firstUsable = false;      // set-mode first
  bool flagsFromCaps = false;    // pointer-shape flags=caps
  uint32_t probe = 0xAA55AA55;   // fb-probe
  Pattern pattern = Pattern::Bars;  // pattern
  // board: the settings as written (chip, output, memory, gbase, tv-encoder), checked
  std::vector<std::pair<std::string, std::string>> settings;
  // expect: what, and the value wanted (index in `a`, position in x/y, mode in `mode`)
  ExpectKind expect = ExpectKind::Status;
  uint64_t wanted = 0;
};

// The request name of a step as scenario files spell it.
std::string_view verbName(Verb verb);

// Parses one line (without its newline). nullopt for blank and comment lines.
// Throws UsageError("line N: ...") on a malformed line. `folder` resolves shape
// file names.
std::optional<Step> parseScenarioLine(std::string_view line, int lineNumber,
                                      const std::filesystem::path& folder);
// Parses a whole scenario text; every line is checked before anything runs. A
// board line after a request, or a second one, is refused.
std::vector<Step> parseScenario(std::string_view text, const std::filesystem::path& folder);
// Reads the file ("-": standard input, read from `in`); errors name the file.
std::vector<Step> loadScenario(const std::filesystem::path& file, std::istream* in = nullptr);
// The board line's settings (empty when the scenario has none).
std::vector<std::pair<std::string, std::string>> boardSettings(const std::vector<Step>& steps);

}  // namespace orvasim
