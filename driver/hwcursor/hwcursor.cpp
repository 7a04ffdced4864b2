// The 64 x 64 two-plane hardware cursor.
//
// The display controller overlays a monochrome pattern (AND plane, then XOR
// plane, 64 rows of 8 bytes each, leftmost pixel in bit 7) at the position held
// in one 32-bit graphics-engine register. That register takes only non-negative
// coordinates, so a cursor that hangs over the left or top edge is shown from a
// shifted copy of its pattern, with the off-screen columns and rows cut away,
// placed at the clamped position. Two buffers take the shifted copies in turn, so
// the copy being rebuilt is never the one on display.
#include "hwcursor/hwcursor.h"

#include "reghost/reghost.h"

namespace {

// Cursor registers in the CRTC extension space.
constexpr UCHAR CRTC_HORIZONTAL_DISPLAY_END = 0x01;
constexpr UCHAR CRTC_OVERFLOW = 0x07;
constexpr UCHAR CRTC_MAXIMUM_SCAN_LINE = 0x09;
constexpr UCHAR CRTC_VERTICAL_DISPLAY_END = 0x12;
constexpr UCHAR CRTC_VERTICAL_BLANK_START = 0x15;
constexpr UCHAR CRTC_VERTICAL_EXTENSION = 0x25;
constexpr UCHAR CRTC_CURSOR_HEIGHT = 0x29;
constexpr UCHAR CRTC_CURSOR_COLOR0 = 0x2A;   // 0x2A, 0x2B, 0x2C
constexpr UCHAR CRTC_CURSOR_COLOR1 = 0x2D;   // 0x2D, 0x2E, 0x2F
constexpr UCHAR CRTC_CURSOR_ADDRESS = 0x30;  // 0x30, 0x31, 0x32: offset bits 8-31

constexpr UCHAR SEQUENCER_CLOCKING_MODE = 0x01;  // bit 0: 8-dot characters
constexpr UCHAR SEQUENCER_EXTENSIONS = 0x06;     // non-zero once the extensions are unlocked

constexpr ULONG PATTERN_PLANE_BYTES = 512;  // the XOR plane follows the AND plane
constexpr ULONG PATTERN_ROW_BYTES = 8;
constexpr ULONG PATTERN_WIDTH = 64;
constexpr ULONG PATTERN_ROWS = 64;

// The display controller starts the display this many lines before the
// picture's first line when the vertical blank starts before the display ends.
constexpr ULONG EARLY_START_LINES = 16;

inline void WriteCRTC(UCHAR ucIndex, UCHAR ucValue) {
  REGHOST_IndexedIOWrite8(REGHOST_GetVirtual(REGHOST_ROW_CRTC), ucIndex, ucValue);
}

inline UCHAR ReadCRTC(UCHAR ucIndex) {
  return REGHOST_IndexedIORead8(REGHOST_GetVirtual(REGHOST_ROW_CRTC), ucIndex);
}

inline UCHAR ReadSequencer(UCHAR ucIndex) {
  return REGHOST_IndexedIORead8(REGHOST_GetVirtual(REGHOST_ROW_SEQUENCER), ucIndex);
}

// Pattern height and address: one byte of height, bytes 1-3 of the offset.
void LoadPatternRegisters(ULONG ulOffset, UCHAR ucHeight) {
  WriteCRTC(CRTC_CURSOR_HEIGHT, ucHeight);
  WriteCRTC(CRTC_CURSOR_ADDRESS + 0, static_cast<UCHAR>(ulOffset >> 8));
  WriteCRTC(CRTC_CURSOR_ADDRESS + 1, static_cast<UCHAR>(ulOffset >> 16));
  WriteCRTC(CRTC_CURSOR_ADDRESS + 2, static_cast<UCHAR>(ulOffset >> 24));
}

// One pattern row as a big-endian 64-bit number: bit 63 is pixel 0.
inline ULONGLONG ReadPatternRow(const UCHAR* pucRow) {
  ULONGLONG ullRow = 0;
  for (ULONG ulByte = 0; ulByte < PATTERN_ROW_BYTES; ulByte++) {
    ullRow = (ullRow << 8) | pucRow[ulByte];
  }
  return ullRow;
}

inline void WritePatternRow(UCHAR* pucRow, ULONGLONG ullRow) {
  for (ULONG ulByte = PATTERN_ROW_BYTES; ulByte > 0; ulByte--) {
    pucRow[ulByte - 1] = static_cast<UCHAR>(ullRow);
    ullRow >>= 8;
  }
}

}  // namespace

extern "C" {

// Load-time values: a position far off the right edge keeps an enabled cursor
// hidden until the first position arrives.
LONG HWCURSOR_lCurrentX = 65535;
LONG HWCURSOR_lCurrentY = 65535;
ULONG HWCURSOR_ulIsHide = 0;
ULONG HWCURSOR_ulCurrentMask = 0;
ULONG HWCURSOR_ulCurrentHeight = 0;
ULONG HWCURSOR_ulShiftedMask1 = 0;
ULONG HWCURSOR_ulShiftedMask2 = 0;
ULONG HWCURSOR_ulSwitch = 0;
ULONG HWCURSOR_ulShifted = 0;
ULONG HWCURSOR_ulScreenWidth = 0;
ULONG HWCURSOR_ulOffsetX = 0;
ULONG HWCURSOR_ulOffsetY = 0;

void HWCURSOR_Init(ULONG ulShiftedMask1, ULONG ulShiftedMask2) {
  HWCURSOR_ulShiftedMask1 = ulShiftedMask1;
  HWCURSOR_ulShiftedMask2 = ulShiftedMask2;
  HWCURSOR_ulSwitch = 0;
  HWCURSOR_ulShifted = 0;
  HWCURSOR_ulIsHide = 0;
  HWCURSOR_NotifyGraphicsModeChange();
}

void HWCURSOR_NotifyGraphicsModeChange() {
  HWCURSOR_ulOffsetX = 0;
  HWCURSOR_ulOffsetY = 0;

  // Visible width: character clocks of 8 or 9 dots.
  const ULONG ulCharacters = static_cast<ULONG>(ReadCRTC(CRTC_HORIZONTAL_DISPLAY_END)) + 1;
  const ULONG ulDots = (ReadSequencer(SEQUENCER_CLOCKING_MODE) & 0x01) ? 8 : 9;
  HWCURSOR_ulScreenWidth = ulCharacters * ulDots;

  // Vertical display end and blank start with their overflow bits 8 and 9.
  const ULONG ulDisplayEnd = ReadCRTC(CRTC_VERTICAL_DISPLAY_END);
  const ULONG ulOverflow = ReadCRTC(CRTC_OVERFLOW);
  const ULONG ulBlankStart = ReadCRTC(CRTC_VERTICAL_BLANK_START);
  const ULONG ulScanLine = ReadCRTC(CRTC_MAXIMUM_SCAN_LINE);
  ULONG ulEnd =
      ulDisplayEnd + 1 + ((ulOverflow >> 1) & 1) * 0x100 + ((ulOverflow >> 6) & 1) * 0x200;
  ULONG ulBlank =
      ulBlankStart + 1 + ((ulOverflow >> 3) & 1) * 0x100 + ((ulScanLine >> 5) & 1) * 0x200;

  // Bit 10 of both lives in the extension register once the extensions are on.
  if (ReadSequencer(SEQUENCER_EXTENSIONS) != 0) {
    const ULONG ulExtension = ReadCRTC(CRTC_VERTICAL_EXTENSION);
    ulEnd += ((ulExtension >> 1) & 1) * 0x400;
    ulBlank += ((ulExtension >> 3) & 1) * 0x400;
  }

  // Blank before the display end: the controller starts 16 lines early and
  // frame-buffer line y appears on display line y + 16; the cursor follows.
  if (ulBlank < ulEnd) {
    HWCURSOR_ulOffsetY = EARLY_START_LINES;
  }
}

void HWCURSOR_Enable() {
  HWCURSOR_ulIsHide = 0;
  HWCURSOR_EnhancedChangeCursorPos(HWCURSOR_lCurrentX, HWCURSOR_lCurrentY);
}

void HWCURSOR_Disable() {
  HWCURSOR_ulIsHide = 1;
  HWCURSOR_HideCursor();
}

void HWCURSOR_HideCursor() {
  VideoPortWriteRegisterUlong(
      reinterpret_cast<PULONG>(REGHOST_GetVirtual(REGHOST_ROW_GE_REGISTERS) +
                               HWCURSOR_POSITION_REGISTER),
      HWCURSOR_HIDDEN);
}

void HWCURSOR_ChangeCursorPos(ULONG ulX, ULONG ulY) {
  VideoPortWriteRegisterUlong(
      reinterpret_cast<PULONG>(REGHOST_GetVirtual(REGHOST_ROW_GE_REGISTERS) +
                               HWCURSOR_POSITION_REGISTER),
      ulY * 65536 + ulX);
}

void HWCURSOR_EnhancedChangeCursorPos(LONG lX, LONG lY) {
  HWCURSOR_lCurrentX = lX;
  HWCURSOR_lCurrentY = lY;

  // Beyond the right edge, or disabled: hidden. The bottom edge is left to
  // the hardware.
  if (lX >= static_cast<LONG>(HWCURSOR_ulScreenWidth) || HWCURSOR_ulIsHide != 0) {
    HWCURSOR_HideCursor();
    return;
  }

  if (lX >= 0 && lY >= 0) {
    // Wholly on the left and top of the screen: show the shape itself.
    if (HWCURSOR_ulShifted != 0) {
      LoadPatternRegisters(HWCURSOR_ulCurrentMask, static_cast<UCHAR>(HWCURSOR_ulCurrentHeight));
      HWCURSOR_ulShifted = 0;
    }
    HWCURSOR_ChangeCursorPos(HWCURSOR_ulOffsetX + static_cast<ULONG>(lX),
                             HWCURSOR_ulOffsetY + static_cast<ULONG>(lY));
    return;
  }

  // Over the left or top edge: cut the off-screen columns and rows away. The
  // cut is the coordinate negated, taken unsigned so that no value overflows.
  ULONG ulShiftX = 0;
  ULONG ulShiftY = 0;
  ULONG ulX = static_cast<ULONG>(lX);
  ULONG ulY = static_cast<ULONG>(lY);
  if (lX < 0) {
    ulShiftX = 0U - static_cast<ULONG>(lX);
    ulX = 0;
  }
  if (lY < 0) {
    ulShiftY = 0U - static_cast<ULONG>(lY);
    ulY = 0;
  }

  if (ulShiftX > PATTERN_WIDTH - 1 || ulShiftY >= HWCURSOR_ulCurrentHeight) {
    // Nothing of the pattern is left on screen.
    HWCURSOR_HideCursor();
    return;
  }

  // Rebuild into the buffer that is not on display, then switch to it.
  const ULONG ulDestination =
      (HWCURSOR_ulSwitch != 0) ? HWCURSOR_ulShiftedMask1 : HWCURSOR_ulShiftedMask2;
  const ULONG_PTR ulWindow = REGHOST_GetVirtual(REGHOST_ROW_FRAMEBUFFER_LOW);
  HWCURSOR_ShiftMask(reinterpret_cast<const UCHAR*>(ulWindow + HWCURSOR_ulCurrentMask),
                     reinterpret_cast<UCHAR*>(ulWindow + ulDestination), HWCURSOR_ulCurrentHeight,
                     ulShiftX, ulShiftY);

  LoadPatternRegisters(ulDestination,
                       static_cast<UCHAR>(static_cast<UCHAR>(HWCURSOR_ulCurrentHeight) -
                                          static_cast<UCHAR>(ulShiftY)));
  HWCURSOR_ulSwitch = (HWCURSOR_ulSwitch != 0) ? 0 : 1;
  HWCURSOR_ulShifted = 1;

  HWCURSOR_ChangeCursorPos(HWCURSOR_ulOffsetX + ulX, HWCURSOR_ulOffsetY + ulY);
}

void HWCURSOR_ChangeCursor(ULONG ulOffset, ULONG ulHeight) {
  HWCURSOR_ulCurrentMask = ulOffset;
  HWCURSOR_ulCurrentHeight = ulHeight;
  LoadPatternRegisters(ulOffset, static_cast<UCHAR>(ulHeight));
}

void HWCURSOR_ChangeColor(ULONG ulColor0, ULONG ulColor1) {
  WriteCRTC(CRTC_CURSOR_COLOR0 + 0, static_cast<UCHAR>(ulColor0));
  WriteCRTC(CRTC_CURSOR_COLOR0 + 1, static_cast<UCHAR>(ulColor0 >> 8));
  WriteCRTC(CRTC_CURSOR_COLOR0 + 2, static_cast<UCHAR>(ulColor0 >> 16));
  WriteCRTC(CRTC_CURSOR_COLOR1 + 0, static_cast<UCHAR>(ulColor1));
  WriteCRTC(CRTC_CURSOR_COLOR1 + 1, static_cast<UCHAR>(ulColor1 >> 8));
  WriteCRTC(CRTC_CURSOR_COLOR1 + 2, static_cast<UCHAR>(ulColor1 >> 16));
}

// Copies rows dy .. h - 1 of both planes to rows 0 .. h - dy - 1, each shifted
// left by dx pixels. Pixels moving in from beyond the right edge are
// transparent: AND 1, XOR 0. Built row by row in display memory.
void HWCURSOR_ShiftMask(const UCHAR* pucSource, UCHAR* pucDestination, ULONG ulHeight,
                        ULONG ulShiftX, ULONG ulShiftY) {
  // A pattern has 64 rows; never write past its planes.
  if (ulHeight > PATTERN_ROWS) {
    ulHeight = PATTERN_ROWS;
  }

  // The vacated low bits; a shift of the whole width leaves only them.
  ULONGLONG ullVacated = ~0ULL;
  if (ulShiftX < PATTERN_WIDTH) {
    ullVacated = (1ULL << ulShiftX) - 1;
  }

  if (ulShiftY >= ulHeight) {
    return;  // no row left
  }

  for (ULONG ulRow = 0; ulRow < ulHeight - ulShiftY; ulRow++) {
    const ULONG ulSource = (ulRow + ulShiftY) * PATTERN_ROW_BYTES;
    const ULONG ulDestination = ulRow * PATTERN_ROW_BYTES;

    ULONGLONG ullAnd = ReadPatternRow(pucSource + ulSource);
    ULONGLONG ullXor = ReadPatternRow(pucSource + PATTERN_PLANE_BYTES + ulSource);
    if (ulShiftX < PATTERN_WIDTH) {
      ullAnd <<= ulShiftX;
      ullXor <<= ulShiftX;
    } else {
      ullAnd = 0;
      ullXor = 0;
    }
    WritePatternRow(pucDestination + ulDestination, ullAnd | ullVacated);
    WritePatternRow(pucDestination + PATTERN_PLANE_BYTES + ulDestination, ullXor);
  }
}

}  // extern "C"
