// Reference copies of the chip's constant tables, written out independently of
// the driver's own so that a slip in either one makes a test fail. Plain data
// only: the tests compare what the emulated board holds after a mode set, a TV
// or panel start, with these values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace orva::reference {

// --- Graphics modes ----------------------------------------------------------------

// One write of a timing list: the index goes to CRTC port 0x3D4, the value to 0x3D5.
struct CrtcWrite {
  uint8_t index;
  uint8_t value;
};

// A CRTC timing list under the driver's name for it. The CRTC receives these
// writes in this order when a mode of the list is set; the FF:00 pair that ends
// the list in memory is never written and is left out here. Every list is in
// ascending index order. After a mode set the CRTC still holds these values,
// except the TV lists' registers 0x40 (bits 0-2) and 0x42 (bit 3), which the TV
// encoder start rewrites (kTvCrtcHeld below).
struct TimingList {
  std::string_view name;
  std::span<const CrtcWrite> writes;
};

// One row of the graphics mode table, in the table's own field order (the
// resolution word split into width and height). After a mode of the row is set
// the Miscellaneous Output register (read at 0x3CC) holds miscOutputHeld: the
// row's value with the clock-select bits 2-3 taken from the VGA set-up, which
// always selects dot clock 2.
struct ModeRow {
  uint32_t output;
  uint16_t width;
  uint16_t height;
  uint32_t hardwareMask;
  std::string_view timingName;
  std::span<const CrtcWrite> timings;
  uint32_t clock;  // 0: follows the refresh rate; bit 30: fixed kHz in bits 0-23; bit 31: external
  uint8_t miscOutput;
  uint8_t miscOutputHeld;
};

// The mode table ends with a row whose output is this value and whose other
// fields are all 0.
inline constexpr uint32_t kModeTableEnd = 0xFFFFFFFF;

// Timing lists, in the order the driver defines them.
// clang-format off
// Register 0x09 = 0x40: one scan line per frame-buffer line (0x4F, a text
// mode's 16-line character cell, would show 25 lines of the surface).
inline constexpr std::array<CrtcWrite, 15> kMonitor640x400Writes{{
    {0x00, 0x5F}, {0x01, 0x4F}, {0x02, 0x50}, {0x03, 0x82}, {0x04, 0x55}, {0x05, 0x81}, {0x06, 0xBF},
    {0x07, 0x1F}, {0x09, 0x40}, {0x10, 0x9C}, {0x11, 0x0E}, {0x12, 0x8F}, {0x15, 0x96}, {0x16, 0xB9},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 15> kMonitor640x480Writes{{
    {0x00, 0x5F}, {0x01, 0x4F}, {0x02, 0x50}, {0x03, 0x82}, {0x04, 0x54}, {0x05, 0x80}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x40}, {0x10, 0xEA}, {0x11, 0x0C}, {0x12, 0xDF}, {0x15, 0xE7}, {0x16, 0x04},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 15> kMonitor800x600Writes{{
    {0x00, 0x7F}, {0x01, 0x63}, {0x02, 0x64}, {0x03, 0x82}, {0x04, 0x6B}, {0x05, 0x1B}, {0x06, 0x72},
    {0x07, 0xF0}, {0x09, 0x60}, {0x10, 0x59}, {0x11, 0x0D}, {0x12, 0x57}, {0x15, 0x57}, {0x16, 0x73},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 15> kMonitor1024x768Writes{{
    {0x00, 0x99}, {0x01, 0x7F}, {0x02, 0x80}, {0x03, 0x9C}, {0x04, 0x83}, {0x05, 0x19}, {0x06, 0x2F},
    {0x07, 0xF5}, {0x09, 0x60}, {0x10, 0x01}, {0x11, 0x09}, {0x12, 0xFF}, {0x15, 0xFF}, {0x16, 0x30},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 16> kMonitor1280x1024Writes{{
    {0x00, 0xCE}, {0x01, 0x9F}, {0x02, 0xA0}, {0x03, 0x91}, {0x04, 0xA6}, {0x05, 0x14}, {0x06, 0x28},
    {0x07, 0x52}, {0x09, 0x40}, {0x10, 0x01}, {0x11, 0x04}, {0x12, 0xFF}, {0x15, 0x01}, {0x16, 0x00},
    {0x1A, 0x3C}, {0x25, 0x0D}
}};
inline constexpr std::array<CrtcWrite, 16> kMonitor1600x1200Writes{{
    {0x00, 0xFF}, {0x01, 0xC7}, {0x02, 0xC8}, {0x03, 0x81}, {0x04, 0xD0}, {0x05, 0x18}, {0x06, 0x12},
    {0x07, 0x11}, {0x09, 0x40}, {0x10, 0xB1}, {0x11, 0x04}, {0x12, 0xAF}, {0x15, 0xB0}, {0x16, 0x0A},
    {0x1A, 0x38}, {0x25, 0x1F}
}};
inline constexpr std::array<CrtcWrite, 20> kExternalTVPALWrites{{
    {0x00, 0x67}, {0x01, 0x4F}, {0x02, 0x53}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x6F},
    {0x07, 0xBA}, {0x09, 0x40}, {0x10, 0x01}, {0x11, 0x0C}, {0x12, 0xDF}, {0x15, 0xF7}, {0x16, 0x57},
    {0x25, 0x00}, {0x40, 0xB9}, {0x41, 0xB8}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x00}
}};
inline constexpr std::array<CrtcWrite, 20> kExternalTVNTSCWrites{{
    {0x00, 0x67}, {0x01, 0x4F}, {0x02, 0x55}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x40}, {0x10, 0xCE}, {0x11, 0x09}, {0x12, 0xDF}, {0x15, 0xAD}, {0x16, 0x05},
    {0x25, 0x00}, {0x40, 0xE1}, {0x41, 0xAF}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x00}
}};
inline constexpr std::array<CrtcWrite, 20> kTVPALWrites{{
    {0x00, 0x67}, {0x01, 0x4F}, {0x02, 0x53}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x6F},
    {0x07, 0xBA}, {0x09, 0x00}, {0x10, 0x01}, {0x11, 0x0C}, {0x12, 0xDF}, {0x15, 0xF7}, {0x16, 0x57},
    {0x25, 0x00}, {0x40, 0xE1}, {0x41, 0xB7}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 20> kTVPAL320x200Writes{{
    {0x00, 0x67}, {0x01, 0x4F}, {0x02, 0x53}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x6F},
    {0x07, 0xBA}, {0x09, 0x41}, {0x10, 0x01}, {0x11, 0x0C}, {0x12, 0x8F}, {0x15, 0xF7}, {0x16, 0x57},
    {0x25, 0x00}, {0x40, 0xE1}, {0x41, 0xB7}, {0x42, 0x08}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 20> kTVPALFullWrites{{
    {0x00, 0x67}, {0x01, 0x59}, {0x02, 0x5A}, {0x03, 0x8A}, {0x04, 0x5B}, {0x05, 0x80}, {0x06, 0x6F},
    {0x07, 0xF0}, {0x09, 0x60}, {0x10, 0x4F}, {0x11, 0x0C}, {0x12, 0x3F}, {0x15, 0x42}, {0x16, 0x6E},
    {0x25, 0x00}, {0x40, 0xE1}, {0x41, 0x80}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 20> kTVNTSCWrites{{
    {0x00, 0x66}, {0x01, 0x4F}, {0x02, 0x55}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x00}, {0x10, 0xCE}, {0x11, 0x09}, {0x12, 0xDF}, {0x15, 0xAD}, {0x16, 0x05},
    {0x25, 0x00}, {0x40, 0xF9}, {0x41, 0xAF}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 20> kTVNTSC640x480Writes{{
    {0x00, 0x66}, {0x01, 0x4F}, {0x02, 0x55}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x00}, {0x10, 0xE8}, {0x11, 0x05}, {0x12, 0xE0}, {0x15, 0xE0}, {0x16, 0x05},
    {0x25, 0x00}, {0x40, 0xF9}, {0x41, 0xAF}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 20> kTVNTSC320x200Writes{{
    {0x00, 0x67}, {0x01, 0x4F}, {0x02, 0x55}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x41}, {0x10, 0xCE}, {0x11, 0x09}, {0x12, 0x8F}, {0x15, 0xAE}, {0x16, 0x05},
    {0x25, 0x00}, {0x40, 0xF9}, {0x41, 0xB1}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 25> kTVNTSC27MHZWrites{{
    {0x00, 0x66}, {0x01, 0x4F}, {0x02, 0x55}, {0x03, 0x8A}, {0x04, 0x58}, {0x05, 0x80}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x00}, {0x10, 0xCE}, {0x11, 0x09}, {0x12, 0xDF}, {0x15, 0xAD}, {0x16, 0x05},
    {0x25, 0x00}, {0x3F, 0xF0}, {0x40, 0xF9}, {0x41, 0x6D}, {0x42, 0x28}, {0x43, 0x15}, {0x44, 0x80},
    {0x80, 0x00}, {0x81, 0xA0}, {0x82, 0xB4}, {0x83, 0x1E}
}};
inline constexpr std::array<CrtcWrite, 15> kVGANTSC960x234Writes{{
    {0x00, 0x91}, {0x01, 0x77}, {0x02, 0x77}, {0x03, 0x95}, {0x04, 0x79}, {0x05, 0x09}, {0x06, 0x09},
    {0x07, 0x11}, {0x09, 0x60}, {0x10, 0xF6}, {0x11, 0x8E}, {0x12, 0xE9}, {0x15, 0xEE}, {0x16, 0x06},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 15> kVGANTSC480x234Writes{{
    {0x00, 0x48}, {0x01, 0x3B}, {0x02, 0x40}, {0x03, 0x89}, {0x04, 0x3E}, {0x05, 0x07}, {0x06, 0x09},
    {0x07, 0x11}, {0x09, 0x40}, {0x10, 0xF4}, {0x11, 0x0C}, {0x12, 0xE9}, {0x15, 0xEC}, {0x16, 0x04},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 15> kVGANTSC400x234Writes{{
    {0x00, 0x3B}, {0x01, 0x31}, {0x02, 0x34}, {0x03, 0x97}, {0x04, 0x36}, {0x05, 0x98}, {0x06, 0x09},
    {0x07, 0x11}, {0x09, 0x40}, {0x10, 0xF6}, {0x11, 0x8E}, {0x12, 0xE9}, {0x15, 0xEE}, {0x16, 0x06},
    {0x25, 0x00}
}};
inline constexpr std::array<CrtcWrite, 16> k100HZPALWrites{{
    {0x00, 0x67}, {0x01, 0x59}, {0x02, 0x5A}, {0x03, 0x8A}, {0x04, 0x5B}, {0x05, 0x80}, {0x06, 0x6F},
    {0x07, 0xF0}, {0x09, 0x60}, {0x10, 0x4F}, {0x11, 0x0C}, {0x12, 0x3F}, {0x15, 0x42}, {0x16, 0x6E},
    {0x25, 0x00}, {0x39, 0x2A}
}};
inline constexpr std::array<CrtcWrite, 20> kTVNTSCFullWrites{{
    {0x00, 0x66}, {0x01, 0x5A}, {0x02, 0x5B}, {0x03, 0x80}, {0x04, 0x5B}, {0x05, 0x00}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x40}, {0x10, 0xE8}, {0x11, 0x05}, {0x12, 0xE0}, {0x15, 0xE0}, {0x16, 0x05},
    {0x25, 0x00}, {0x40, 0xF9}, {0x41, 0x6C}, {0x42, 0x00}, {0x43, 0x15}, {0x44, 0x80}
}};
inline constexpr std::array<CrtcWrite, 25> kTVNTSCFull27MHZWrites{{
    {0x00, 0x66}, {0x01, 0x5A}, {0x02, 0x5B}, {0x03, 0x80}, {0x04, 0x5B}, {0x05, 0x00}, {0x06, 0x0B},
    {0x07, 0x3E}, {0x09, 0x40}, {0x10, 0xE8}, {0x11, 0x05}, {0x12, 0xE0}, {0x15, 0xE0}, {0x16, 0x05},
    {0x25, 0x00}, {0x3F, 0xF0}, {0x40, 0xF9}, {0x41, 0x6D}, {0x42, 0x28}, {0x43, 0x15}, {0x44, 0x80},
    {0x80, 0x00}, {0x81, 0xA0}, {0x82, 0xB4}, {0x83, 0x1E}
}};
// clang-format on

// Every timing list once, in the same order.
inline constexpr std::array<TimingList, 21> kTimingLists{{
    {"HWCRTC_pucMonitor640x400", kMonitor640x400Writes},
    {"HWCRTC_pucMonitor640x480", kMonitor640x480Writes},
    {"HWCRTC_pucMonitor800x600", kMonitor800x600Writes},
    {"HWCRTC_pucMonitor1024x768", kMonitor1024x768Writes},
    {"HWCRTC_pucMonitor1280x1024", kMonitor1280x1024Writes},
    {"HWCRTC_pucMonitor1600x1200", kMonitor1600x1200Writes},
    {"HWCRTC_pucExternalTVPAL", kExternalTVPALWrites},
    {"HWCRTC_pucExternalTVNTSC", kExternalTVNTSCWrites},
    {"HWCRTC_pucTVPAL", kTVPALWrites},
    {"HWCRTC_pucTVPAL320x200", kTVPAL320x200Writes},
    {"HWCRTC_pucTVPALFull", kTVPALFullWrites},
    {"HWCRTC_pucTVNTSC", kTVNTSCWrites},
    {"HWCRTC_pucTVNTSC640x480", kTVNTSC640x480Writes},
    {"HWCRTC_pucTVNTSC320x200", kTVNTSC320x200Writes},
    {"HWCRTC_pucTVNTSC27MHZ", kTVNTSC27MHZWrites},
    {"HWCRTC_pucVGANTSC960x234", kVGANTSC960x234Writes},
    {"HWCRTC_pucVGANTSC480x234", kVGANTSC480x234Writes},
    {"HWCRTC_pucVGANTSC400x234", kVGANTSC400x234Writes},
    {"HWCRTC_puc100HZPAL", k100HZPALWrites},
    {"HWCRTC_pucTVNTSCFull", kTVNTSCFullWrites},
    {"HWCRTC_pucTVNTSCFull27MHZ", kTVNTSCFull27MHZWrites},
}};

// The graphics mode table, rows 0 to 27 in table order (the end row is not
// included). Row ordinals, enumeration and search all follow this order.
// clang-format off
inline constexpr std::array<ModeRow, 28> kModes{{
    // 0: "MONITOR"
    {0x00010001, 640, 400, 0xFF, "HWCRTC_pucMonitor640x400", kMonitor640x400Writes,
     0x00000000, 0x2B, 0x2B},
    // 1: "MONITOR"
    {0x00010001, 640, 480, 0xFF, "HWCRTC_pucMonitor640x480", kMonitor640x480Writes,
     0x00000000, 0x2B, 0x2B},
    // 2: "MONITOR"
    {0x00010001, 800, 600, 0xFF, "HWCRTC_pucMonitor800x600", kMonitor800x600Writes,
     0x00000000, 0x2B, 0x2B},
    // 3: "MONITOR"
    {0x00010001, 1024, 768, 0xFF, "HWCRTC_pucMonitor1024x768", kMonitor1024x768Writes,
     0x00000000, 0x2B, 0x2B},
    // 4: "MONITOR"
    {0x00010001, 1280, 1024, 0xFF, "HWCRTC_pucMonitor1280x1024", kMonitor1280x1024Writes,
     0x00000000, 0x2B, 0x2B},
    // 5: "MONITOR"
    {0x00010001, 1600, 1200, 0xFF, "HWCRTC_pucMonitor1600x1200", kMonitor1600x1200Writes,
     0x00000000, 0x2B, 0x2B},
    // 6: "TVPAL"
    {0x00010002, 640, 480, 0x01, "HWCRTC_pucExternalTVPAL", kExternalTVPALWrites,
     0x80000001, 0x2B, 0x2B},
    // 7: "TVNTSC"
    {0x00020002, 640, 430, 0x01, "HWCRTC_pucExternalTVNTSC", kExternalTVNTSCWrites,
     0x80000001, 0x2B, 0x2B},
    // 8: "TVPAL"
    {0x00010002, 320, 200, 0xA6, "HWCRTC_pucTVPAL320x200", kTVPAL320x200Writes,
     0x80000001, 0x2B, 0x2B},
    // 9: "TVPAL"
    {0x00010002, 640, 480, 0xA6, "HWCRTC_pucTVPAL", kTVPALWrites,
     0x80000001, 0x2B, 0x2B},
    // 10: "TVPAL"
    {0x00010002, 720, 576, 0xA6, "HWCRTC_pucTVPALFull", kTVPALFullWrites,
     0x80000001, 0x2B, 0x2B},
    // 11: "TVNTSC"
    {0x00020002, 640, 430, 0x80, "HWCRTC_pucTVNTSC27MHZ", kTVNTSC27MHZWrites,
     0x80000001, 0x2B, 0x2B},
    // 12: "TVNTSC"
    {0x00020002, 640, 430, 0xA6, "HWCRTC_pucTVNTSC", kTVNTSCWrites,
     0x80000001, 0x2B, 0x2B},
    // 13: "TVNTSC269"
    {0x00030002, 640, 430, 0xA6, "HWCRTC_pucTVNTSC", kTVNTSCWrites,
     0x80000001, 0x2B, 0x2B},
    // 14: "TVNTSC269"
    {0x00030002, 720, 480, 0xA6, "HWCRTC_pucTVNTSCFull", kTVNTSCFullWrites,
     0x80000001, 0x2B, 0x2B},
    // 15: "TVNTSC"
    {0x00020002, 720, 480, 0x80, "HWCRTC_pucTVNTSCFull27MHZ", kTVNTSCFull27MHZWrites,
     0x80000001, 0x2B, 0x2B},
    // 16: "TVNTSC"
    {0x00020002, 720, 480, 0xA6, "HWCRTC_pucTVNTSCFull", kTVNTSCFullWrites,
     0x80000001, 0x2B, 0x2B},
    // 17: "TVNTSC269"
    {0x00030002, 720, 480, 0xA6, "HWCRTC_pucTVNTSCFull", kTVNTSCFullWrites,
     0x80000001, 0x2B, 0x2B},
    // 18: "TVNTSC"
    {0x00020002, 320, 200, 0xA6, "HWCRTC_pucTVNTSC320x200", kTVNTSC320x200Writes,
     0x80000001, 0x2B, 0x2B},
    // 19: "TVNTSC269"
    {0x00030002, 320, 200, 0xA6, "HWCRTC_pucTVNTSC320x200", kTVNTSC320x200Writes,
     0x80000001, 0x2B, 0x2B},
    // 20: "TVNTSC"
    {0x00020002, 640, 480, 0xA6, "HWCRTC_pucTVNTSC640x480", kTVNTSC640x480Writes,
     0x80000001, 0x2B, 0x2B},
    // 21: "TVNTSC269"
    {0x00030002, 640, 480, 0xA6, "HWCRTC_pucTVNTSC640x480", kTVNTSC640x480Writes,
     0x80000001, 0x2B, 0x2B},
    // 22: "TFTPHILIPSHLD1201"
    {0x00010003, 800, 600, 0x58, "HWCRTC_pucMonitor800x600", kMonitor800x600Writes,
     0x00000000, 0x2B, 0x2B},
    // 23: "TFTLGPHILIPSLM151X2"
    {0x00020003, 1024, 768, 0x58, "HWCRTC_pucMonitor1024x768", kMonitor1024x768Writes,
     0x00000000, 0x2B, 0x2B},
    // 24: "VGANTSC"
    {0x00030001, 480, 234, 0xFF, "HWCRTC_pucVGANTSC480x234", kVGANTSC480x234Writes,
     0x400025DF, 0xA3, 0xAB},
    // 25: "VGANTSC"
    {0x00030001, 400, 234, 0xFF, "HWCRTC_pucVGANTSC400x234", kVGANTSC400x234Writes,
     0x4000203E, 0xAB, 0xAB},
    // 26: "VGANTSC"
    {0x00030001, 960, 234, 0xFF, "HWCRTC_pucVGANTSC960x234", kVGANTSC960x234Writes,
     0x40004BBD, 0x2B, 0x2B},
    // 27: "100HZPAL"
    {0x00020001, 720, 576, 0xFF, "HWCRTC_puc100HZPAL", k100HZPALWrites,
     0x40006978, 0x23, 0x2B},
}};
// clang-format on

// --- CRTC fields of each timing list --------------------------------------------------

// The standard VGA CRTC fields that a timing list leaves in the CRTC, put
// together from its bytes as raw field values (no lines or characters added),
// and the sync polarities of the mode rows that load it (every row of a list
// has the same Miscellaneous Output value: bit 6 set makes horizontal sync
// negative, bit 7 vertical sync). Every list writes every register these
// fields need. Where the bits come from:
//   horizontalTotal 0x00; horizontalDisplayEnd 0x01; horizontalBlankStart 0x02;
//   horizontalBlankEnd 0x03 bits 0-4, 0x05 bit 7 as bit 5; horizontalRetraceStart 0x04;
//   horizontalRetraceEnd 0x05 bits 0-4;
//   verticalTotal 0x06, 0x07 bit 0 as bit 8, 0x07 bit 5 as bit 9, 0x25 bit 0 as bit 10;
//   verticalRetraceStart 0x10, 0x07 bit 2 as bit 8, 0x07 bit 7 as bit 9;
//   verticalRetraceEnd 0x11 bits 0-3;
//   verticalDisplayEnd 0x12, 0x07 bit 1 as bit 8, 0x07 bit 6 as bit 9, 0x25 bit 1 as bit 10;
//   verticalBlankStart 0x15, 0x07 bit 3 as bit 8, 0x09 bit 5 as bit 9, 0x25 bit 3 as bit 10;
//   verticalBlankEnd 0x16.
// Register 0x25 bits 2 and 4, set in the 1280 x 1024 and 1600 x 1200 lists, are
// not taken into any field.
struct CrtcFields {
  std::string_view timingName;
  uint16_t horizontalTotal;
  uint16_t horizontalDisplayEnd;
  uint16_t horizontalBlankStart;
  uint16_t horizontalBlankEnd;
  uint16_t horizontalRetraceStart;
  uint16_t horizontalRetraceEnd;
  uint16_t verticalTotal;
  uint16_t verticalRetraceStart;
  uint16_t verticalRetraceEnd;
  uint16_t verticalDisplayEnd;
  uint16_t verticalBlankStart;
  uint16_t verticalBlankEnd;
  bool hsyncNegative;
  bool vsyncNegative;
};

// One row per timing list, in the order of kTimingLists.
// clang-format off
inline constexpr std::array<CrtcFields, 21> kCrtcFields{{
    // name
    //  horizontal: total, display end, blank start, blank end, retrace start, retrace end
    //  vertical:   total, retrace start, retrace end, display end, blank start, blank end
    //  sync negative: horizontal, vertical
    {"HWCRTC_pucMonitor640x400",
     95, 79, 80, 34, 85, 1,
     447, 412, 14, 399, 406, 185,
     false, false},
    {"HWCRTC_pucMonitor640x480",
     95, 79, 80, 34, 84, 0,
     523, 490, 12, 479, 487, 4,
     false, false},
    {"HWCRTC_pucMonitor800x600",
     127, 99, 100, 2, 107, 27,
     626, 601, 13, 599, 599, 115,
     false, false},
    {"HWCRTC_pucMonitor1024x768",
     153, 127, 128, 28, 131, 25,
     815, 769, 9, 767, 767, 48,
     false, false},
    {"HWCRTC_pucMonitor1280x1024",
     206, 159, 160, 17, 166, 20,
     1064, 1, 4, 1023, 1025, 0,
     false, false},
    {"HWCRTC_pucMonitor1600x1200",
     255, 199, 200, 1, 208, 24,
     1298, 177, 4, 1199, 1200, 10,
     false, false},
    {"HWCRTC_pucExternalTVPAL",
     103, 79, 83, 42, 88, 0,
     623, 513, 12, 479, 503, 87,
     false, false},
    {"HWCRTC_pucExternalTVNTSC",
     103, 79, 85, 42, 88, 0,
     523, 462, 9, 479, 429, 5,
     false, false},
    {"HWCRTC_pucTVPAL",
     103, 79, 83, 42, 88, 0,
     623, 513, 12, 479, 503, 87,
     false, false},
    {"HWCRTC_pucTVPAL320x200",
     103, 79, 83, 42, 88, 0,
     623, 513, 12, 399, 503, 87,
     false, false},
    {"HWCRTC_pucTVPALFull",
     103, 89, 90, 42, 91, 0,
     623, 591, 12, 575, 578, 110,
     false, false},
    {"HWCRTC_pucTVNTSC",
     102, 79, 85, 42, 88, 0,
     523, 462, 9, 479, 429, 5,
     false, false},
    {"HWCRTC_pucTVNTSC640x480",
     102, 79, 85, 42, 88, 0,
     523, 488, 5, 480, 480, 5,
     false, false},
    {"HWCRTC_pucTVNTSC320x200",
     103, 79, 85, 42, 88, 0,
     523, 462, 9, 399, 430, 5,
     false, false},
    {"HWCRTC_pucTVNTSC27MHZ",
     102, 79, 85, 42, 88, 0,
     523, 462, 9, 479, 429, 5,
     false, false},
    {"HWCRTC_pucVGANTSC960x234",
     145, 119, 119, 21, 121, 9,
     265, 246, 14, 233, 750, 6,
     false, false},
    {"HWCRTC_pucVGANTSC480x234",
     72, 59, 64, 9, 62, 7,
     265, 244, 12, 233, 236, 4,
     false, true},
    {"HWCRTC_pucVGANTSC400x234",
     59, 49, 52, 55, 54, 24,
     265, 246, 14, 233, 238, 6,
     false, true},
    {"HWCRTC_puc100HZPAL",
     103, 89, 90, 42, 91, 0,
     623, 591, 12, 575, 578, 110,
     false, false},
    {"HWCRTC_pucTVNTSCFull",
     102, 90, 91, 0, 91, 0,
     523, 488, 5, 480, 480, 5,
     false, false},
    {"HWCRTC_pucTVNTSCFull27MHZ",
     102, 90, 91, 0, 91, 0,
     523, 488, 5, 480, 480, 5,
     false, false},
}};
// clang-format on

// --- TV encoder ------------------------------------------------------------------------

// One encoder register write: register number and value, both 8-bit.
struct EncoderWrite {
  uint8_t reg;
  uint8_t value;
};

// How a chip variant reaches its encoder: chipset configuration registers
// (number to 0x2B, value to 0x2C, through the 0x22/0x23 pair), the memory window
// (byte at the register number), the I2C bus (device byte 0x40, sub-address =
// register number) or nowhere (writes vanish, reads give 0xFF).
enum class EncoderAccess : uint8_t { Io, Memory, I2c, None };

// Which value column of the encoder programs a variant takes: BrambleR for
// ID & 0xA0 (Bramble-R, Bramble-RX); Bramble for ID & 0xA6 without 0xA0
// (Bramble, Bramble-L); Other for every other ID.
enum class EncoderColumn : uint8_t { BrambleR, Bramble, Other };

struct EncoderVariant {
  uint32_t hardwareId;
  EncoderAccess access;
  EncoderColumn column;
};

// Every identified chip variant, and ID 0 of an unrecognised chip.
inline constexpr std::array<EncoderVariant, 8> kEncoderVariants{{
    {0x01, EncoderAccess::I2c, EncoderColumn::Other},
    {0x02, EncoderAccess::Io, EncoderColumn::Bramble},
    {0x04, EncoderAccess::Memory, EncoderColumn::Bramble},
    {0x08, EncoderAccess::None, EncoderColumn::Other},
    {0x20, EncoderAccess::Memory, EncoderColumn::BrambleR},
    {0x40, EncoderAccess::None, EncoderColumn::Other},
    {0x80, EncoderAccess::Memory, EncoderColumn::BrambleR},
    {0x00, EncoderAccess::None, EncoderColumn::Other},
}};

inline constexpr uint8_t kEncoderIndexConfigRegister = 0x2B;
inline constexpr uint8_t kEncoderDataConfigRegister = 0x2C;
inline constexpr uint32_t kEncoderWindowOffset = 0x4CA000;  // from the graphics base
inline constexpr uint32_t kEncoderWindowLength = 0x1000;
inline constexpr uint8_t kEncoderI2cDevice = 0x40;
inline constexpr uint8_t kEncoderDummyRead = 0xFF;

// One read-modify-write of a chipset configuration register: bits in clear are
// cleared, bits in set are set, then the driver stalls for stallAfterUs.
struct ConfigBitStep {
  uint8_t reg;
  uint8_t clear;
  uint8_t set;
  uint32_t stallAfterUs;
};

// Before every encoder program on ORVA Pinto (ID 0x01) the external encoder is
// reset through configuration register 0x7B, in this order; afterwards bits 1
// and 6 of 0x7B are set and the other bits are as before.
inline constexpr std::array<ConfigBitStep, 3> kEncoderI2cPreparation{{
    {0x7B, 0x02, 0x00, 1000},
    {0x7B, 0x00, 0x02, 0},
    {0x7B, 0x00, 0x40, 0},
}};

// An encoder program: the writes the encoder receives, in order, for a format
// number (argument bits 0-7) on the variants of one value column: the format's
// block, then the common tail; and the registers it holds afterwards, by
// ascending register number (the last write wins: PAL writes register 0x02
// twice, 0x61 then 0x28). The S-VHS choice does not change these writes.
struct EncoderProgram {
  uint32_t format;
  EncoderColumn column;
  std::span<const EncoderWrite> writes;
  std::span<const EncoderWrite> held;
};

// clang-format off
inline constexpr std::array<EncoderWrite, 13> kEncoderFormat1BrambleRWrites{{
    {0x00, 0x09}, {0x05, 0x80}, {0x01, 0xF4}, {0x02, 0x61}, {0x03, 0xC0}, {0x04, 0x00}, {0x0A, 0x2A},
    {0x0B, 0x09}, {0x0C, 0x8B}, {0x07, 0x00}, {0x08, 0x20}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 12> kEncoderFormat1BrambleRHeld{{
    {0x00, 0x09}, {0x01, 0xF4}, {0x02, 0x28}, {0x03, 0xC0}, {0x04, 0x00}, {0x05, 0x80}, {0x06, 0x90},
    {0x07, 0x00}, {0x08, 0x20}, {0x0A, 0x2A}, {0x0B, 0x09}, {0x0C, 0x8B}
}};
inline constexpr std::array<EncoderWrite, 11> kEncoderFormat1BrambleWrites{{
    {0x00, 0x09}, {0x05, 0x01}, {0x01, 0xF4}, {0x02, 0x61}, {0x03, 0xC0}, {0x04, 0x00}, {0x0A, 0x2A},
    {0x0B, 0x09}, {0x0C, 0x8B}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat1BrambleHeld{{
    {0x00, 0x09}, {0x01, 0xF4}, {0x02, 0x28}, {0x03, 0xC0}, {0x04, 0x00}, {0x05, 0x01}, {0x06, 0x90},
    {0x0A, 0x2A}, {0x0B, 0x09}, {0x0C, 0x8B}
}};
inline constexpr std::array<EncoderWrite, 11> kEncoderFormat1OtherWrites{{
    {0x00, 0x19}, {0x05, 0x01}, {0x01, 0xF4}, {0x02, 0x61}, {0x03, 0xC0}, {0x04, 0x00}, {0x0A, 0x2A},
    {0x0B, 0x09}, {0x0C, 0x8B}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat1OtherHeld{{
    {0x00, 0x19}, {0x01, 0xF4}, {0x02, 0x28}, {0x03, 0xC0}, {0x04, 0x00}, {0x05, 0x01}, {0x06, 0x90},
    {0x0A, 0x2A}, {0x0B, 0x09}, {0x0C, 0x8B}
}};
inline constexpr std::array<EncoderWrite, 12> kEncoderFormat2BrambleRWrites{{
    {0x00, 0x94}, {0x05, 0x80}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0xC8}, {0x0A, 0x21}, {0x0B, 0xF0},
    {0x0C, 0x7C}, {0x07, 0x00}, {0x08, 0x20}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 12> kEncoderFormat2BrambleRHeld{{
    {0x00, 0x94}, {0x01, 0x14}, {0x02, 0x28}, {0x03, 0x80}, {0x04, 0xC8}, {0x05, 0x80}, {0x06, 0x90},
    {0x07, 0x00}, {0x08, 0x20}, {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat2BrambleWrites{{
    {0x00, 0x91}, {0x05, 0x01}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0x80}, {0x0A, 0x21}, {0x0B, 0xF0},
    {0x0C, 0x7C}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat2BrambleHeld{{
    {0x00, 0x91}, {0x01, 0x14}, {0x02, 0x28}, {0x03, 0x80}, {0x04, 0x80}, {0x05, 0x01}, {0x06, 0x90},
    {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat2OtherWrites{{
    {0x00, 0x99}, {0x05, 0x31}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0x80}, {0x0A, 0x21}, {0x0B, 0xF0},
    {0x0C, 0x7C}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat2OtherHeld{{
    {0x00, 0x99}, {0x01, 0x14}, {0x02, 0x28}, {0x03, 0x80}, {0x04, 0x80}, {0x05, 0x31}, {0x06, 0x90},
    {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}
}};
inline constexpr std::array<EncoderWrite, 12> kEncoderFormat3BrambleRWrites{{
    {0x00, 0x94}, {0x05, 0x80}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0xC8}, {0x0A, 0x22}, {0x0B, 0x04},
    {0x0C, 0xF8}, {0x07, 0x00}, {0x08, 0x20}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 12> kEncoderFormat3BrambleRHeld{{
    {0x00, 0x94}, {0x01, 0x14}, {0x02, 0x28}, {0x03, 0x80}, {0x04, 0xC8}, {0x05, 0x80}, {0x06, 0x90},
    {0x07, 0x00}, {0x08, 0x20}, {0x0A, 0x22}, {0x0B, 0x04}, {0x0C, 0xF8}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat3BrambleWrites{{
    {0x00, 0x91}, {0x05, 0x01}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0x80}, {0x0A, 0x22}, {0x0B, 0x04},
    {0x0C, 0xC9}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat3BrambleHeld{{
    {0x00, 0x91}, {0x01, 0x14}, {0x02, 0x28}, {0x03, 0x80}, {0x04, 0x80}, {0x05, 0x01}, {0x06, 0x90},
    {0x0A, 0x22}, {0x0B, 0x04}, {0x0C, 0xC9}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat3OtherWrites{{
    {0x00, 0x99}, {0x05, 0x31}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0x80}, {0x0A, 0x22}, {0x0B, 0x04},
    {0x0C, 0xC9}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 10> kEncoderFormat3OtherHeld{{
    {0x00, 0x99}, {0x01, 0x14}, {0x02, 0x28}, {0x03, 0x80}, {0x04, 0x80}, {0x05, 0x31}, {0x06, 0x90},
    {0x0A, 0x22}, {0x0B, 0x04}, {0x0C, 0xC9}
}};
inline constexpr std::array<EncoderWrite, 4> kEncoderFormat4BrambleRWrites{{
    {0x07, 0x00}, {0x08, 0x20}, {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 4> kEncoderFormat4BrambleRHeld{{
    {0x02, 0x28}, {0x06, 0x90}, {0x07, 0x00}, {0x08, 0x20}
}};
inline constexpr std::array<EncoderWrite, 2> kEncoderFormat4BrambleWrites{{
    {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 2> kEncoderFormat4BrambleHeld{{
    {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 2> kEncoderFormat4OtherWrites{{
    {0x02, 0x28}, {0x06, 0x90}
}};
inline constexpr std::array<EncoderWrite, 2> kEncoderFormat4OtherHeld{{
    {0x02, 0x28}, {0x06, 0x90}
}};
// clang-format on

// Every format argument's encoder program per value column: formats 1 (PAL),
// 2 (NTSC), 3 (NTSC with 26.937 MHz clock) and 4, which stands for every other
// format number (NTSC with internal clock among them): only the common tail.
inline constexpr std::array<EncoderProgram, 12> kEncoderPrograms{{
    {1, EncoderColumn::BrambleR, kEncoderFormat1BrambleRWrites, kEncoderFormat1BrambleRHeld},
    {1, EncoderColumn::Bramble, kEncoderFormat1BrambleWrites, kEncoderFormat1BrambleHeld},
    {1, EncoderColumn::Other, kEncoderFormat1OtherWrites, kEncoderFormat1OtherHeld},
    {2, EncoderColumn::BrambleR, kEncoderFormat2BrambleRWrites, kEncoderFormat2BrambleRHeld},
    {2, EncoderColumn::Bramble, kEncoderFormat2BrambleWrites, kEncoderFormat2BrambleHeld},
    {2, EncoderColumn::Other, kEncoderFormat2OtherWrites, kEncoderFormat2OtherHeld},
    {3, EncoderColumn::BrambleR, kEncoderFormat3BrambleRWrites, kEncoderFormat3BrambleRHeld},
    {3, EncoderColumn::Bramble, kEncoderFormat3BrambleWrites, kEncoderFormat3BrambleHeld},
    {3, EncoderColumn::Other, kEncoderFormat3OtherWrites, kEncoderFormat3OtherHeld},
    {4, EncoderColumn::BrambleR, kEncoderFormat4BrambleRWrites, kEncoderFormat4BrambleRHeld},
    {4, EncoderColumn::Bramble, kEncoderFormat4BrambleWrites, kEncoderFormat4BrambleHeld},
    {4, EncoderColumn::Other, kEncoderFormat4OtherWrites, kEncoderFormat4OtherHeld},
}};

// After every encoder start, on every variant (encoder or none), the CRTC holds
// in register 0x40 the timing list's bits 3-7 with flicker-filter level 6 in
// bits 0-2, and in register 0x42 the list's value with bit 3 (S-VHS) cleared, or
// set when the argument's bits 8-15 are 0x01. Here for each TV timing list.
struct TvCrtcHeld {
  std::string_view timingName;
  uint8_t crtc40;
  uint8_t crtc42;      // normal output
  uint8_t crtc42Svhs;  // S-VHS output
};

inline constexpr uint8_t kFlickerFilterLevel = 6;
inline constexpr uint8_t kSvhsCrtc42Bit = 0x08;

inline constexpr std::array<TvCrtcHeld, 11> kTvCrtcHeld{{
    {"HWCRTC_pucExternalTVPAL", 0xBE, 0x00, 0x08},
    {"HWCRTC_pucExternalTVNTSC", 0xE6, 0x00, 0x08},
    {"HWCRTC_pucTVPAL", 0xE6, 0x00, 0x08},
    {"HWCRTC_pucTVPAL320x200", 0xE6, 0x00, 0x08},
    {"HWCRTC_pucTVPALFull", 0xE6, 0x00, 0x08},
    {"HWCRTC_pucTVNTSC", 0xFE, 0x00, 0x08},
    {"HWCRTC_pucTVNTSC640x480", 0xFE, 0x00, 0x08},
    {"HWCRTC_pucTVNTSC320x200", 0xFE, 0x00, 0x08},
    {"HWCRTC_pucTVNTSC27MHZ", 0xFE, 0x20, 0x28},
    {"HWCRTC_pucTVNTSCFull", 0xFE, 0x00, 0x08},
    {"HWCRTC_pucTVNTSCFull27MHZ", 0xFE, 0x20, 0x28},
}};

// --- TFT panels ------------------------------------------------------------------------

// One TFT register write: register number and 16-bit value.
struct TftWrite {
  uint16_t reg;
  uint16_t value;
};

// One 16-bit store into the panel interface's memory window.
struct TftStore {
  uint16_t byteOffset;
  uint16_t word;
};

// A panel's register list (without the 0x00FF end pair) as the interface
// receives it, in order, before the power-up writes of kTftPowerUp; on the
// memory-window variants, the stores that list and power-up make into a window
// that held zeros, and the window words 0 to 12 they leave (whatever the window
// held before: every bit of words 10 and 11 is written).
struct TftPanel {
  uint32_t number;
  std::string_view listName;
  std::span<const TftWrite> writes;
  std::span<const TftStore> windowStores;
  std::array<uint16_t, 13> windowWords;
};

// Register 11 after the list: each value, then a stall of stallAfterUs.
struct TftPowerStep {
  uint16_t value;
  uint32_t stallAfterUs;
};

inline constexpr uint16_t kTftPowerRegister = 11;
inline constexpr std::array<TftPowerStep, 3> kTftPowerUp{{{5, 15000}, {4, 5000}, {6, 0}}};

// ORVA Mistral (ID & 0x18) writes through I/O ports: the register number as a
// 16-bit word to the base port, then the value as a 16-bit word to base + 4.
// Every other variant writes the memory window at this offset from the graphics
// base.
inline constexpr uint32_t kTftIoHardwareMask = 0x18;
inline constexpr uint16_t kTftIoValuePortOffset = 4;
inline constexpr uint32_t kTftWindowOffset = 0x4CC000;
inline constexpr uint32_t kTftWindowLength = 0x1000;

// Where a register's value goes in the memory window: (value AND mask) shifted
// left by shift replaces those bits of the 16-bit word at byteOffset, and the
// word's other bits are kept. Registers 0 to 9, and 16 and above, fill word n
// (byte offset 2 x n) whole.
struct TftPacking {
  uint16_t reg;
  uint16_t byteOffset;
  uint16_t shift;
  uint16_t mask;
};

inline constexpr std::array<TftPacking, 16> kTftPacking{{
    {0, 0x00, 0, 0xFFFF},
    {1, 0x02, 0, 0xFFFF},
    {2, 0x04, 0, 0xFFFF},
    {3, 0x06, 0, 0xFFFF},
    {4, 0x08, 0, 0xFFFF},
    {5, 0x0A, 0, 0xFFFF},
    {6, 0x0C, 0, 0xFFFF},
    {7, 0x0E, 0, 0xFFFF},
    {8, 0x10, 0, 0xFFFF},
    {9, 0x12, 0, 0xFFFF},
    {10, 0x18, 0, 0xFFFF},
    {11, 0x16, 8, 0x0007},
    {12, 0x14, 0, 0x00FF},
    {13, 0x14, 8, 0x00FF},
    {14, 0x16, 0, 0x00FF},
    {15, 0x16, 11, 0x001F},
}};

// clang-format off
inline constexpr std::array<TftWrite, 15> kPhilipsHLD1201Writes{{
    {0, 0x0320}, {1, 0x0050}, {2, 0x0020}, {3, 0x0066}, {4, 0x0320}, {5, 0x0001},
    {6, 0x0001}, {7, 0x0019}, {8, 0x0258}, {9, 0x0000}, {10, 0x0202}, {12, 0x0000},
    {13, 0x0000}, {14, 0x0000}, {15, 0x001F}
}};
inline constexpr std::array<TftStore, 18> kPhilipsHLD1201Stores{{
    {0x00, 0x0320}, {0x02, 0x0050}, {0x04, 0x0020}, {0x06, 0x0066}, {0x08, 0x0320}, {0x0A, 0x0001},
    {0x0C, 0x0001}, {0x0E, 0x0019}, {0x10, 0x0258}, {0x12, 0x0000}, {0x18, 0x0202}, {0x14, 0x0000},
    {0x14, 0x0000}, {0x16, 0x0000}, {0x16, 0xF800}, {0x16, 0xFD00}, {0x16, 0xFC00}, {0x16, 0xFE00}
}};
inline constexpr std::array<TftWrite, 15> kLgPhilipsLM151X2Writes{{
    {0, 0x0400}, {1, 0x002F}, {2, 0x002D}, {3, 0x0020}, {4, 0x0400}, {5, 0x00A0},
    {6, 0x002C}, {7, 0x0001}, {8, 0x0300}, {9, 0x0000}, {10, 0x0802}, {12, 0x0000},
    {13, 0x0000}, {14, 0x0000}, {15, 0x001B}
}};
inline constexpr std::array<TftStore, 18> kLgPhilipsLM151X2Stores{{
    {0x00, 0x0400}, {0x02, 0x002F}, {0x04, 0x002D}, {0x06, 0x0020}, {0x08, 0x0400}, {0x0A, 0x00A0},
    {0x0C, 0x002C}, {0x0E, 0x0001}, {0x10, 0x0300}, {0x12, 0x0000}, {0x18, 0x0802}, {0x14, 0x0000},
    {0x14, 0x0000}, {0x16, 0x0000}, {0x16, 0xD800}, {0x16, 0xDD00}, {0x16, 0xDC00}, {0x16, 0xDE00}
}};
// clang-format on

// Panels 1 and 2, in the order of the screen table; any other number writes nothing.
inline constexpr std::array<TftPanel, 2> kTftPanels{{
    {1,
     "HWTFT_PhilipsHLD1201",
     kPhilipsHLD1201Writes,
     kPhilipsHLD1201Stores,
     {0x0320, 0x0050, 0x0020, 0x0066, 0x0320, 0x0001, 0x0001, 0x0019, 0x0258, 0x0000, 0x0000,
      0xFE00, 0x0202}},
    {2,
     "HWTFT_LGPhilipsLM151X2",
     kLgPhilipsLM151X2Writes,
     kLgPhilipsLM151X2Stores,
     {0x0400, 0x002F, 0x002D, 0x0020, 0x0400, 0x00A0, 0x002C, 0x0001, 0x0300, 0x0000, 0x0000,
      0xDE00, 0x0802}},
}};

// --- Keyword table ---------------------------------------------------------------------

inline constexpr uint32_t kEntryBoard = 1;
inline constexpr uint32_t kEntryChip = 2;
inline constexpr uint32_t kEntryFeature = 4;
inline constexpr uint32_t kEntryOutput = 8;
inline constexpr uint32_t kEntryTvStandard = 16;

// One keyword row in the table's field order. The chip-name and feature rows
// have the empty keyword (an empty string, not a null pointer).
struct KeywordRow {
  std::string_view keyword;
  uint32_t value;
  uint32_t hardwareMask;
  uint32_t type;
  std::string_view description;
};

// The keyword table, rows 0 to 54 in table order; an end row with a null
// keyword pointer and every other field 0 follows them.
// clang-format off
inline constexpr std::array<KeywordRow, 55> kKeywords{{
    {"MONITOR", 0x00010001, 0xFF, 8, "SVGA Monitor 640x480, 800x600 or 1024x768"},  // 0
    {"100HZPAL", 0x00020001, 0xFF, 8, "TV 100Hz PAL 720x576 connected on VGA"},  // 1
    {"VGANTSC", 0x00030001, 0xFF, 8, "NTSC TFT 480x234 or 400x234 connected on VGA"},  // 2
    {"TVPAL", 0x00010002, 0xFF, 8, "TV output PAL 640x480"},  // 3
    {"TVNTSC", 0x00020002, 0xA7, 8, "TV output NTSC 640x430"},  // 4
    {"TVNTSC269", 0x00030002, 0xA7, 8, "TV output NTSC 640x430 with 26.937MHz clock"},  // 5
    {"TVNTSCINTERNAL", 0x00040002, 0xA7, 8, "TV output NTSC 640x430 with internal clock"},  // 6
    {"TVPALSVHS", 0x01010002, 0xFF, 8, "TV output PAL 640x480"},  // 7
    {"TVNTSCSVHS", 0x01020002, 0xA7, 8, "TV output NTSC 640x430"},  // 8
    {"TVNTSC269SVHS", 0x01030002, 0xA7, 8, "TV output NTSC 640x430 with 26.937MHz clock"},  // 9
    {"TFTPHILIPSHLD1201", 0x00010003, 0x58, 8, "TFT Philips HLD1201 800x600"},  // 10
    {"TFTLGPHILIPSLM151X2", 0x00020003, 0x58, 8, "TFT LG-Philips LM151x2 1024x768"},  // 11
    {"WREN", 0x01, 0x01, 1, "Wren board"},  // 12
    {"MOOSE", 0x02, 0x02, 1, "Moose board"},  // 13
    {"EGRET", 0x04, 0x04, 1, "Egret board"},  // 14
    {"BISON", 0x08, 0x08, 1, "Bison board"},  // 15
    {"HERON", 0x10, 0x10, 1, "Heron board"},  // 16
    {"OTTER", 0x20, 0x20, 1, "Otter board"},  // 17
    {"LYNX", 0x40, 0x40, 1, "Lynx board"},  // 18
    {"", 0x00, 0x01, 2, "ORVA Pinto"},  // 19
    {"", 0x00, 0x02, 2, "ORVA Bramble"},  // 20
    {"", 0x00, 0x04, 2, "ORVA Bramble-L"},  // 21
    {"", 0x00, 0x20, 2, "ORVA Bramble-R"},  // 22
    {"", 0x00, 0x80, 2, "ORVA Bramble-RX"},  // 23
    {"", 0x00, 0x18, 2, "ORVA Mistral"},  // 24
    {"", 0x00, 0x40, 2, "ORVA Kestrel"},  // 25
    {"", 0x00, 0x1B, 4, "EDO controller"},  // 26
    {"", 0x00, 0xE4, 4, "SDRAM controller"},  // 27
    {"", 0x00, 0xFF, 4, "SVGA controller"},  // 28
    {"", 0x00, 0x58, 4, "TFT interface"},  // 29
    {"", 0x00, 0x02, 4, "TV encoder accessible via I/O"},  // 30
    {"", 0x00, 0xA4, 4, "TV encoder accessible via memory"},  // 31
    {"", 0x00, 0x01, 4, "TV encoder accessible via i2c"},  // 32
    {"", 0x00, 0xFF, 4, "2D graphics accelerator"},  // 33
    {"", 0x00, 0x40, 4, "Alpha Font Engine"},  // 34
    {"", 0x00, 0x40, 4, "Line drawing Engine"},  // 35
    {"", 0x00, 0xFF, 4, "Hardware cursor"},  // 36
    {"", 0x00, 0xFF, 4, "Video overlay"},  // 37
    {"", 0x00, 0xFF, 4, "Video Input Port"},  // 38
    {"", 0x00, 0x02, 4, "SAA encoder on SMC GPIO"},  // 39
    {"", 0x00, 0xE4, 4, "SAA encoder on DDC"},  // 40
    {"", 0x00, 0x1F, 4, "Rondo PLLs"},  // 41
    {"", 0x00, 0x00, 4, "Tessel legacy PLLs"},  // 42
    {"", 0x00, 0xE0, 4, "Tessel new PLLs"},  // 43
    {"", 0x00, 0x80, 4, "NTSC format with 27MHz oscillator"},  // 44
    {"PAL", 0x00030001, 0xFFFFFFFF, 16, "PAL"},  // 45
    {"PALBGHI", 0x00040001, 0xFFFFFFFF, 16, "PAL BGHI"},  // 46
    {"NTSC", 0x00000001, 0xFFFFFFFF, 16, "NTSC"},  // 47
    {"NTSCM", 0x00010001, 0xFFFFFFFF, 16, "NTSC M"},  // 48
    {"NTSCJAPAN", 0x00000001, 0xFFFFFFFF, 16, "NTSC Japan"},  // 49
    {"PAL443", 0x00030011, 0xFFFFFFFF, 16, "PAL 443"},  // 50
    {"PALM", 0x00030031, 0xFFFFFFFF, 16, "PAL M"},  // 51
    {"NTSCN", 0x00000031, 0xFFFFFFFF, 16, "NTSC N"},  // 52
    {"PALN", 0x00030041, 0xFFFFFFFF, 16, "PAL N"},  // 53
    {"SECAM", 0x00020051, 0xFFFFFFFF, 16, "SECAM"},  // 54
}};
// clang-format on

// --- Display FIFO watermarks -----------------------------------------------------------

// One watermark row: frame bits (width x height x bits per pixel it was tuned
// for), the variants it applies to (0x1B EDO, 0xE4 SDRAM memory controller) and
// the values for CRTC extension registers 0x1B and 0x27. Setting a mode of
// exactly these frame bits leaves these two values in the CRTC.
struct WatermarkRow {
  uint32_t frameBits;
  uint32_t hardwareMask;
  uint8_t crtc1B;
  uint8_t crtc27;
};

// Rows 0 to 21 in table order; an end row of frame bits 0xFFFFFFFF follows.
// clang-format off
inline constexpr std::array<WatermarkRow, 22> kWatermarks{{
    { 2201600, 0x1B, 0x39, 0xD0},  // 0: 640 x 430 x 8
    { 4403200, 0x1B, 0x69, 0xD0},  // 1: 640 x 430 x 16
    { 6604800, 0x1B, 0x99, 0xD0},  // 2: 640 x 430 x 24
    { 2457600, 0x1B, 0x3B, 0xD0},  // 3: 640 x 480 x 8
    { 4915200, 0x1B, 0x6B, 0xD0},  // 4: 640 x 480 x 16
    { 7372800, 0x1B, 0x9B, 0xD0},  // 5: 640 x 480 x 24
    { 3840000, 0x1B, 0x5B, 0xD0},  // 6: 800 x 600 x 8
    { 7680000, 0x1B, 0xAB, 0xD0},  // 7: 800 x 600 x 16
    {11520000, 0x1B, 0xD3, 0xD0},  // 8: 800 x 600 x 24
    { 6291456, 0x1B, 0x93, 0xD0},  // 9: 1024 x 768 x 8
    {12582912, 0x1B, 0xD3, 0xD0},  // 10: 1024 x 768 x 16
    { 2201600, 0xE4, 0x39, 0xB8},  // 11: 640 x 430 x 8
    { 4403200, 0xE4, 0x69, 0xB8},  // 12: 640 x 430 x 16
    { 6604800, 0xE4, 0x99, 0xB8},  // 13: 640 x 430 x 24
    { 2457600, 0xE4, 0x3B, 0xB8},  // 14: 640 x 480 x 8
    { 4915200, 0xE4, 0x6B, 0xB8},  // 15: 640 x 480 x 16
    { 7372800, 0xE4, 0x9B, 0xB8},  // 16: 640 x 480 x 24
    { 3840000, 0xE4, 0x5B, 0xB8},  // 17: 800 x 600 x 8
    { 7680000, 0xE4, 0xAB, 0xB8},  // 18: 800 x 600 x 16
    {11520000, 0xE4, 0xB8, 0xB8},  // 19: 800 x 600 x 24
    { 6291456, 0xE4, 0x93, 0xB8},  // 20: 1024 x 768 x 8
    {12582912, 0xE4, 0xB8, 0xB8},  // 21: 1024 x 768 x 16
}};
// clang-format on

// --- Pixel depth -----------------------------------------------------------------------

// Bits per pixel of each pixel-format code 0 to 7 (bits 0-2 of CRTC 0x28);
// 0xFF for a code no depth uses.
inline constexpr std::array<uint8_t, 8> kPixelDepths{0xFF, 8, 15, 16, 24, 32, 0xFF, 0xFF};

// CRTC 0x28 after a mode of each depth is set (the whole register is written).
// A 320 x 200 mode at 8 bits per pixel ends with 0x10 instead (code 0).
struct PixelFormat {
  uint32_t bitsPerPixel;
  uint8_t crtc28;
};

inline constexpr std::array<PixelFormat, 5> kPixelFormats{
    {{8, 0x11}, {15, 0x1A}, {16, 0x1B}, {24, 0x1C}, {32, 0x1D}}};
inline constexpr uint8_t kCrtc28For320x200x8 = 0x10;

// --- Output controllers ----------------------------------------------------------------

// The device started after a mode of each output class is set, called with the
// output value shifted right by 16. Class 1 starts nothing; the table ends with
// class 0xFFFFFFFF.
struct ControllerRow {
  uint32_t outputClass;
  std::string_view initFunction;
};

inline constexpr std::array<ControllerRow, 2> kControllers{{{2, "HWTVE_Init"}, {3, "HWTFT_Init"}}};

// --- Internal VGA set-up ---------------------------------------------------------------

enum class VgaStepKind : uint8_t {
  Config,     // chipset configuration register reg (0x22/0x23) <- value
  Port,       // value written as a byte to port reg
  ReadPort,   // a byte read from port reg
  Sequencer,  // sequencer register reg (0x3C4/0x3C5) <- value
  Graphics,   // graphics controller register reg (0x3CE/0x3CF) <- value
  Attribute,  // index byte reg, then data byte value, to port 0x3C0
  Crtc,       // CRTC register reg (0x3D4/0x3D5) <- value
};

// One step of the fixed VGA set-up at the start of every mode set. keep: bits of
// the register's previous value that the step carries over into value.
struct VgaStep {
  VgaStepKind kind;
  uint16_t reg;
  uint8_t value;
  uint8_t keep;
};

// The set-up in order; afterwards each register holds its last value here until
// the mode's own writes (pixel format, timing list, the 320 x 200 x 8 attribute
// change) replace some of them. Port 0x3C0 receives 43 bytes in all.
// clang-format off
inline constexpr std::array<VgaStep, 61> kVgaSetup{{
    {VgaStepKind::Config, 0x29, 0x03, 0x00},
    {VgaStepKind::Port, 0x94, 0x00, 0x00},
    {VgaStepKind::Port, 0x102, 0x01, 0x00},
    {VgaStepKind::Port, 0x94, 0x28, 0x00},
    {VgaStepKind::Port, 0x3C3, 0x01, 0x00},
    {VgaStepKind::Port, 0x3C2, 0x03, 0x00},
    {VgaStepKind::Sequencer, 0x06, 0x57, 0x00},
    {VgaStepKind::Sequencer, 0x00, 0x00, 0x00},
    {VgaStepKind::Port, 0x3C2, 0x2B, 0x00},
    {VgaStepKind::Sequencer, 0x00, 0x00, 0x00},
    {VgaStepKind::Sequencer, 0x01, 0x01, 0x20},
    {VgaStepKind::Sequencer, 0x02, 0x0F, 0x00},
    {VgaStepKind::Sequencer, 0x03, 0x00, 0x00},
    {VgaStepKind::Sequencer, 0x04, 0x0E, 0x00},
    {VgaStepKind::Sequencer, 0x06, 0x57, 0x00},
    {VgaStepKind::Sequencer, 0x00, 0x03, 0x00},
    {VgaStepKind::Graphics, 0x00, 0x00, 0x00},
    {VgaStepKind::Graphics, 0x01, 0x00, 0x00},
    {VgaStepKind::Graphics, 0x02, 0x00, 0x00},
    {VgaStepKind::Graphics, 0x03, 0x00, 0x00},
    {VgaStepKind::Graphics, 0x04, 0x00, 0x00},
    {VgaStepKind::Graphics, 0x05, 0x40, 0x00},
    {VgaStepKind::Graphics, 0x06, 0x05, 0x00},
    {VgaStepKind::Graphics, 0x07, 0x0F, 0x00},
    {VgaStepKind::Graphics, 0x08, 0xFF, 0x00},
    {VgaStepKind::ReadPort, 0x3DA, 0x00, 0x00},
    {VgaStepKind::Attribute, 0x00, 0x00, 0x00},
    {VgaStepKind::Attribute, 0x01, 0x01, 0x00},
    {VgaStepKind::Attribute, 0x02, 0x02, 0x00},
    {VgaStepKind::Attribute, 0x03, 0x03, 0x00},
    {VgaStepKind::Attribute, 0x04, 0x04, 0x00},
    {VgaStepKind::Attribute, 0x05, 0x05, 0x00},
    {VgaStepKind::Attribute, 0x06, 0x06, 0x00},
    {VgaStepKind::Attribute, 0x07, 0x07, 0x00},
    {VgaStepKind::Attribute, 0x08, 0x08, 0x00},
    {VgaStepKind::Attribute, 0x09, 0x09, 0x00},
    {VgaStepKind::Attribute, 0x0A, 0x0A, 0x00},
    {VgaStepKind::Attribute, 0x0B, 0x0B, 0x00},
    {VgaStepKind::Attribute, 0x0C, 0x0C, 0x00},
    {VgaStepKind::Attribute, 0x0D, 0x0D, 0x00},
    {VgaStepKind::Attribute, 0x0E, 0x0E, 0x00},
    {VgaStepKind::Attribute, 0x0F, 0x0F, 0x00},
    {VgaStepKind::Attribute, 0x10, 0x01, 0x00},
    {VgaStepKind::Attribute, 0x11, 0x00, 0x00},
    {VgaStepKind::Attribute, 0x12, 0x0F, 0x00},
    {VgaStepKind::Attribute, 0x13, 0x00, 0x00},
    {VgaStepKind::Attribute, 0x14, 0x00, 0x00},
    {VgaStepKind::Port, 0x3C0, 0x20, 0x00},
    {VgaStepKind::Crtc, 0x11, 0x0C, 0x00},
    {VgaStepKind::Crtc, 0x08, 0x00, 0x00},
    {VgaStepKind::Crtc, 0x14, 0x00, 0x00},
    {VgaStepKind::Crtc, 0x17, 0xE3, 0x00},
    {VgaStepKind::Crtc, 0x18, 0xFF, 0x00},
    {VgaStepKind::Crtc, 0x1A, 0x3C, 0x00},
    {VgaStepKind::Crtc, 0x1C, 0x04, 0x00},
    {VgaStepKind::Crtc, 0x21, 0xFF, 0x00},
    {VgaStepKind::Crtc, 0x28, 0x10, 0x00},
    {VgaStepKind::Crtc, 0x33, 0xFF, 0x00},
    {VgaStepKind::Crtc, 0x39, 0xFF, 0x00},
    {VgaStepKind::Crtc, 0x3C, 0x60, 0x00},
    {VgaStepKind::Crtc, 0x40, 0xE1, 0x00},
}};
// clang-format on

// --- Dot clocks ------------------------------------------------------------------------

inline constexpr uint32_t kPllReferenceHz = 14318180;
// Reference dividers N whose quotient 14,318,180 / N lies in 1 to 2 MHz.
inline constexpr uint32_t kPllDividedReferenceMinHz = 1000000;
inline constexpr uint32_t kPllDividedReferenceMaxHz = 2000000;
inline constexpr uint32_t kPllReferenceDividerMin = 8;
inline constexpr uint32_t kPllReferenceDividerMax = 14;
inline constexpr uint32_t kPllStartErrorHz = 100000000;
// Dot clock c is held in chipset configuration registers 0x42 + 2c (first byte)
// and 0x43 + 2c (second byte). A mode set uses dot clock 2: 0x46 and 0x47.
inline constexpr uint8_t kPllFirstRegister = 0x42;
// Variants with one of these bits hold N and P in the first byte, M in the second.
inline constexpr uint32_t kPllNewLayoutMask = 0xE0;

// The VCO and post-divider range of the two PLL designs: VCO = multiplier x
// (14,318,180 / N) x M, output = VCO / 2^P. The Rondo design applies to IDs that
// share a bit with its mask; every other ID, 0 included, has the wide range.
struct PllRange {
  uint32_t hardwareMask;
  uint32_t vcoMultiplier;
  uint32_t vcoMinHz;
  uint32_t vcoMaxHz;
  uint32_t maxPostDivider;
};

inline constexpr PllRange kPllRondo{0x1F, 1, 128000000, 256000000, 4};
// The mask of the wide design is that of its feature row.
inline constexpr PllRange kPllWide{0xE0, 2, 200000000, 622000000, 5};

// Worked searches: the settings chosen for a target, and the two bytes that the
// dot clock's configuration registers hold after it is programmed to it.
struct PllExample {
  uint32_t hardwareId;
  uint32_t targetHz;
  uint32_t n;
  uint32_t m;
  uint32_t p;
  uint32_t outputHz;
  uint8_t first;
  uint8_t second;
};

inline constexpr std::array<PllExample, 6> kPllExamples{{
    {0x01, 25104000, 10, 140, 3, 25056815, 0x54, 0xB1},
    {0x20, 25104000, 10, 70, 3, 25056815, 0x53, 0x46},
    {0x01, 27000000, 12, 181, 3, 26995720, 0x65, 0xD5},
    {0x20, 27000000, 12, 181, 4, 26995720, 0x64, 0xB5},
    {0x20, 9695000, 12, 130, 5, 9694595, 0x65, 0x82},
    {0x01, 135000000, 14, 132, 0, 134999964, 0x74, 0x10},
}};

// --- Mode list and engine pitches ------------------------------------------------------

// Refresh rates (index 0 to 7) and depths (index 0 to 2) of the mode numbers.
inline constexpr std::array<uint32_t, 8> kRefreshRates{60, 70, 75, 80, 85, 90, 95, 100};
inline constexpr std::array<uint32_t, 3> kDepths{8, 16, 24};

// The engine's pitch-code terms, indexed by field value; 0xFFFFFFFF marks a
// field value with no term.
inline constexpr std::array<uint32_t, 8> kPitchShift0{0,   0xFFFFFFFF, 0xFFFFFFFF, 128,
                                                      256, 512,        1024,       2048};
inline constexpr std::array<uint32_t, 7> kPitchShift1{0, 0xFFFFFFFF, 64, 128, 256, 512, 1024};
inline constexpr std::array<uint32_t, 6> kPitchShift2{0, 32, 64, 128, 256, 512};
inline constexpr std::array<uint32_t, 4> kPitchShift3{0, 1024, 2048, 4096};

// Every pitch the engine supports, ascending.
inline constexpr std::array<uint32_t, 158> kPitches{
    0,    32,   64,   96,   128,  160,  192,  224,  256,  288,  320,  352,  384,  416,  448,  512,
    544,  576,  608,  640,  672,  704,  768,  800,  832,  896,  1024, 1056, 1088, 1120, 1152, 1184,
    1216, 1248, 1280, 1312, 1344, 1376, 1408, 1440, 1472, 1536, 1568, 1600, 1632, 1664, 1696, 1728,
    1792, 1824, 1856, 1920, 2048, 2080, 2112, 2144, 2176, 2208, 2240, 2272, 2304, 2336, 2368, 2400,
    2432, 2464, 2496, 2560, 2592, 2624, 2656, 2688, 2720, 2752, 2816, 2848, 2880, 2944, 3072, 3104,
    3136, 3168, 3200, 3232, 3264, 3328, 3360, 3392, 3456, 3584, 3616, 3648, 3712, 3840, 4096, 4128,
    4160, 4192, 4224, 4256, 4288, 4320, 4352, 4384, 4416, 4448, 4480, 4512, 4544, 4608, 4640, 4672,
    4704, 4736, 4768, 4800, 4864, 4896, 4928, 4992, 5120, 5152, 5184, 5216, 5248, 5280, 5312, 5376,
    5408, 5440, 5504, 5632, 5664, 5696, 5760, 5888, 6144, 6176, 6208, 6240, 6272, 6304, 6336, 6400,
    6432, 6464, 6528, 6656, 6688, 6720, 6784, 6912, 7168, 7200, 7232, 7296, 7424, 7680};

// --- Access ranges ---------------------------------------------------------------------

// One row of the chip's access-range table as written in it, before discovery
// relocates and maps it: flags, port number or physical address (graphics-base
// relative rows for a base of 0x08000000; row 31's port is not in the table but
// read from the chipset at discovery), and length (rows 42 and 43: 0x400000,
// replaced by the frame-buffer size).
struct ResourceRow {
  uint32_t flags;
  std::optional<uint32_t> physical;
  uint32_t length;
};

// Rows 0 to 43; an end row of flags 0xFFFFFFFF follows.
// clang-format off
inline constexpr std::array<ResourceRow, 44> kResources{{
    {0xA000FFFF, 0x80, 0x1},  // 0
    {0xA0008000, 0x3E0, 0x2},  // 1
    {0x60008000, 0x000D0000, 0x10000},  // 2
    {0xA0002000, 0x3F8, 0x8},  // 3
    {0xA0002000, 0x2F8, 0x8},  // 4
    {0xA0002000, 0x40, 0x4},  // 5
    {0xA0004000, 0x61, 0x1},  // 6
    {0xA0004000, 0x60, 0x1},  // 7
    {0xA0004000, 0x64, 0x1},  // 8
    {0xA0001000, 0x1F0, 0x8},  // 9
    {0xA0001000, 0x3F0, 0x8},  // 10
    {0xA0001000, 0x170, 0x8},  // 11
    {0xA0001000, 0x370, 0x8},  // 12
    {0xA0000001, 0x3DA, 0x1},  // 13
    {0xA0000001, 0x94, 0x1},  // 14
    {0xA0000001, 0x102, 0x1},  // 15
    {0xA0000001, 0x3C3, 0x1},  // 16
    {0xA0000001, 0x3C2, 0x1},  // 17
    {0xA0000001, 0x3CC, 0x1},  // 18
    {0xA0000001, 0x3C0, 0x2},  // 19
    {0xA0000001, 0x3C6, 0x1},  // 20
    {0xA0000001, 0x3C8, 0x1},  // 21
    {0xA0000001, 0x3C7, 0x1},  // 22
    {0xA0000001, 0x3C9, 0x1},  // 23
    {0xA0000001, 0x3C4, 0x1},  // 24
    {0xA000FFFF, 0x22, 0x2},  // 25
    {0xA0000001, 0x3CE, 0x2},  // 26
    {0xA000FFFF, 0x3D4, 0x2},  // 27
    {0xA000FFFF, 0xEA, 0x2},  // 28
    {0xA000FFFF, 0x370, 0x2},  // 29
    {0xA0000020, 0x378, 0x2},  // 30
    {0x80000010, std::nullopt, 0x8},  // 31
    {0xA000FFFF, 0xCF8, 0x8},  // 32
    {0x50000004, 0x08400000, 0x40000},  // 33
    {0x50000400, 0x084D4000, 0x1000},  // 34
    {0x50000200, 0x084D5000, 0x1000},  // 35
    {0x50000010, 0x084CC000, 0x1000},  // 36
    {0x50000004, 0x08C00000, 0x400000},  // 37
    {0x50000080, 0x08600000, 0x40000},  // 38
    {0x50000100, 0x08480000, 0x40000},  // 39
    {0x50000040, 0x084CA000, 0x1000},  // 40
    {0x60000001, 0x000A0000, 0x20000},  // 41
    {0x50000004, 0x08800000, 0x400000},  // 42
    {0x50000004, 0x08000000, 0x400000},  // 43
}};
// clang-format on

}  // namespace orva::reference
