// Enumeration, look-up by ordinal and search over the graphics mode table.
#include "hwcrtc/hwcrtc.h"
#include "hwgeneric/hwgeneric.h"

namespace {

constexpr LONG SCAN_NOT_ON_THIS_CHIP = -2;
constexpr LONG SCAN_NO_SUCH_MODE = -3;

// The S-VHS bit and everything above the output variant take no part in a search.
constexpr ULONG ROW_OUTPUT_MASK = 0x00FFFFFF;
constexpr ULONG REQUESTED_OUTPUT_MASK = 0x000FFFFF;

inline bool IsEndRow(ULONG ulRow) {
  return HWCRTC_psGraphicsModeTable[ulRow].ulOutput == HWCRTC_END;
}

inline bool ExistsOnChip(ULONG ulRow, ULONG ulHardwareID) {
  return (HWCRTC_psGraphicsModeTable[ulRow].ulHardwareMask & ulHardwareID) != 0;
}

void StoreRow(ULONG ulRow, ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput, ULONG* pulClock) {
  const HWCRTC_GRAPHICSMODE& sRow = HWCRTC_psGraphicsModeTable[ulRow];
  if (pulWidth) *pulWidth = sRow.ulResolution & 0xFFFF;
  if (pulHeight) *pulHeight = sRow.ulResolution >> 16;
  if (pulOutput) *pulOutput = sRow.ulOutput;
  if (pulClock) *pulClock = sRow.ulClock;
}

}  // namespace

extern "C" {

constinit ULONG HWCRTC_ulCurrentOffset = 0;

ULONG HWCRTC_GetFirstMode(ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput, ULONG* pulClock) {
  HWCRTC_ulCurrentOffset = 0;
  return HWCRTC_GetNextMode(pulWidth, pulHeight, pulOutput, pulClock);
}

ULONG HWCRTC_GetNextMode(ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput, ULONG* pulClock) {
  const ULONG ulHardwareID = HWGENERIC_GetHardwareID();
  while (!IsEndRow(HWCRTC_ulCurrentOffset) && !ExistsOnChip(HWCRTC_ulCurrentOffset, ulHardwareID)) {
    ++HWCRTC_ulCurrentOffset;
  }
  // The cursor stays on the end row, so the enumeration keeps ending there.
  if (IsEndRow(HWCRTC_ulCurrentOffset)) {
    return 0;
  }
  StoreRow(HWCRTC_ulCurrentOffset, pulWidth, pulHeight, pulOutput, pulClock);
  ++HWCRTC_ulCurrentOffset;
  return 1;
}

ULONG HWCRTC_GetModeInfo(ULONG ulOrdinal, ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput,
                         ULONG* pulClock) {
  const ULONG ulHardwareID = HWGENERIC_GetHardwareID();
  ULONG ulSeen = 0;
  for (ULONG ulRow = 0; !IsEndRow(ulRow); ++ulRow) {
    if (!ExistsOnChip(ulRow, ulHardwareID)) {
      continue;
    }
    if (ulSeen == ulOrdinal) {
      StoreRow(ulRow, pulWidth, pulHeight, pulOutput, pulClock);
      return 1;
    }
    ++ulSeen;
  }
  return 0;
}

LONG HWCRTC_ScanGraphicsMode(ULONG ulWidth, ULONG ulHeight, ULONG ulOutput) {
  const ULONG ulHardwareID = HWGENERIC_GetHardwareID();
  const ULONG ulKey = ((ulHeight & 0xFFFF) << 16) + (ulWidth & 0xFFFF);
  const ULONG ulWanted = ulOutput & REQUESTED_OUTPUT_MASK;
  bool bSeen = false;
  for (ULONG ulRow = 0; !IsEndRow(ulRow); ++ulRow) {
    const HWCRTC_GRAPHICSMODE& sRow = HWCRTC_psGraphicsModeTable[ulRow];
    if (sRow.ulResolution != ulKey || (sRow.ulOutput & ROW_OUTPUT_MASK) != ulWanted) {
      continue;
    }
    bSeen = true;
    if (ExistsOnChip(ulRow, ulHardwareID)) {
      return static_cast<LONG>(ulRow);
    }
  }
  return bSeen ? SCAN_NOT_ON_THIS_CHIP : SCAN_NO_SUCH_MODE;
}

}  // extern "C"
