// Display registers: pixel depth and pitch read-back, the visible-area offsets
// of the loaded timings, pitch and display start of a surface, and the DAC
// palette.
#include "hwcrtc/crtcports.h"
#include "hwcrtc/hwcrtc.h"
#include "reghost/reghost.h"

namespace {

constexpr UCHAR kCRTCStartHigh = 0x0C;
constexpr UCHAR kCRTCStartLow = 0x0D;
constexpr UCHAR kCRTCPitch = 0x13;
constexpr UCHAR kCRTCExtendedAddress = 0x19;  // bits 0-3 start 16-19, bits 4-5 pitch 8-9
constexpr UCHAR kCRTCPixelFormat = 0x28;
constexpr UCHAR kCRTCOverflow = 0x07;
constexpr UCHAR kCRTCMaximumScanLine = 0x09;
constexpr UCHAR kCRTCVerticalDisplayEnd = 0x12;
constexpr UCHAR kCRTCVerticalBlankStart = 0x15;
constexpr UCHAR kCRTCExtendedOverflow = 0x25;
constexpr UCHAR kSequencerExtensions = 0x06;

constexpr UCHAR kStartHighMask = 0x0F;
constexpr UCHAR kPitchHighMask = 0x30;
constexpr ULONG kPixelFormatCodeMask = 0x07;

// The display starts this many lines before a surface when vertical blanking
// begins inside the display area (the TV timings blank the last 50 lines).
constexpr ULONG kBlankedLines = 16;

constexpr ULONG kEntryStride = 4;  // red, green, blue, unused

ULONG Bit(ULONG ulValue, ULONG ulBit) { return (ulValue >> ulBit) & 0x01; }

}  // namespace

extern "C" {

// Bits per pixel of each pixel-format code of CRTC 0x28 bits 0-2; 0xFF where no
// depth uses the code.
const UCHAR HWCRTC_pucPixelDepthTable[8] = {0xFF, 8, 15, 16, 24, 32, 0xFF, 0xFF};

ULONG HWCRTC_ulOffsetX = 0;
ULONG HWCRTC_ulOffsetY = 0;

ULONG HWCRTC_GetPixelDepth() {
  return HWCRTC_pucPixelDepthTable[HWCRTC_ReadCRTC(kCRTCPixelFormat) & kPixelFormatCodeMask];
}

ULONG HWCRTC_GetPitch() {
  // 8-byte units; bits 8-9 are valid only with the extension registers enabled.
  ULONG ulPitch = static_cast<ULONG>(HWCRTC_ReadCRTC(kCRTCPitch)) * 8;
  if (HWCRTC_ReadSequencer(kSequencerExtensions) != 0) {
    ulPitch += static_cast<ULONG>(HWCRTC_ReadCRTC(kCRTCExtendedAddress) & kPitchHighMask) * 128;
  }
  return ulPitch;
}

ULONG HWCRTC_GetOffsetX() { return 0; }

ULONG HWCRTC_GetOffsetY() {
  const ULONG ulDisplayEndLow = HWCRTC_ReadCRTC(kCRTCVerticalDisplayEnd);
  const ULONG ulOverflow = HWCRTC_ReadCRTC(kCRTCOverflow);
  const ULONG ulBlankStartLow = HWCRTC_ReadCRTC(kCRTCVerticalBlankStart);
  const ULONG ulMaximumScanLine = HWCRTC_ReadCRTC(kCRTCMaximumScanLine);

  ULONG ulDisplayEnd = ulDisplayEndLow + 1 + (Bit(ulOverflow, 1) << 8) + (Bit(ulOverflow, 6) << 9);
  ULONG ulBlankStart =
      ulBlankStartLow + 1 + (Bit(ulOverflow, 3) << 8) + (Bit(ulMaximumScanLine, 5) << 9);
  if (HWCRTC_ReadSequencer(kSequencerExtensions) != 0) {
    const ULONG ulExtended = HWCRTC_ReadCRTC(kCRTCExtendedOverflow);
    ulDisplayEnd += Bit(ulExtended, 1) << 10;
    ulBlankStart += Bit(ulExtended, 3) << 10;
  }
  return ulBlankStart < ulDisplayEnd ? kBlankedLines : 0;
}

void HWCRTC_FlipSurface(ULONG ulOffset, ULONG ulPitch) {
  HWCRTC_WriteCRTC(kCRTCPitch, static_cast<UCHAR>(ulPitch >> 3));
  const UCHAR ucExtended = HWCRTC_ReadCRTC(kCRTCExtendedAddress);
  HWCRTC_WriteCRTC(kCRTCExtendedAddress, static_cast<UCHAR>((ucExtended & ~kPitchHighMask) |
                                                            ((ulPitch >> 7) & kPitchHighMask)));
  HWCRTC_FlipBase(ulOffset);
}

void HWCRTC_FlipBase(ULONG ulOffset) {
  const ULONG ulBytesPerPixel = (HWCRTC_GetPixelDepth() + 7) >> 3;
  // Modulo 2^32: a start before the surface wraps in the 4 MB display space.
  ULONG ulStart =
      ulOffset - ulBytesPerPixel * HWCRTC_ulOffsetX - HWCRTC_GetPitch() * HWCRTC_ulOffsetY;
  ulStart >>= 2;  // 4-byte units

  HWCRTC_WriteCRTC(kCRTCStartLow, static_cast<UCHAR>(ulStart));
  HWCRTC_WriteCRTC(kCRTCStartHigh, static_cast<UCHAR>(ulStart >> 8));
  const UCHAR ucExtended = HWCRTC_ReadCRTC(kCRTCExtendedAddress);
  HWCRTC_WriteCRTC(kCRTCExtendedAddress, static_cast<UCHAR>((ucExtended & ~kStartHighMask) |
                                                            ((ulStart >> 16) & kStartHighMask)));
}

void HWCRTC_SetPaletteEntry4Bytes(const UCHAR* pucEntries, ULONG ulFirst, ULONG ulCount) {
  HWCRTC_WritePort(REGHOST_ROW_DAC_INDEX, static_cast<UCHAR>(ulFirst));
  // The DAC advances its index after every third byte; byte 3 is not sent.
  for (ULONG ulEntry = 0; ulEntry < ulCount; ++ulEntry, pucEntries += kEntryStride) {
    HWCRTC_WritePort(REGHOST_ROW_DAC_DATA, pucEntries[0]);
    HWCRTC_WritePort(REGHOST_ROW_DAC_DATA, pucEntries[1]);
    HWCRTC_WritePort(REGHOST_ROW_DAC_DATA, pucEntries[2]);
  }
}

}  // extern "C"
