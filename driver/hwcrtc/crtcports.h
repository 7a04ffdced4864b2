// Register access shared by the display-controller files: single VGA ports and
// indexed register pairs, each reached through the mapped address of its row in
// the register host's range table.
#pragma once
#include "orva_port.h"
#include "reghost/reghost.h"

// Chipset configuration registers of the dot clocks and the clock selection.
constexpr UCHAR HWCRTC_CONFIG_PLL_BASE = 0x42;  // dot clock c: 0x42 + 2c, 0x43 + 2c
constexpr UCHAR HWCRTC_CONFIG_CLOCK_SOURCE = 0x4C;
constexpr UCHAR HWCRTC_CONFIG_PINTO_CLOCK = 0x7B;

inline UCHAR HWCRTC_ReadPort(ULONG ulRow) {
  return VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(REGHOST_GetVirtual(ulRow)));
}

inline void HWCRTC_WritePort(ULONG ulRow, UCHAR ucValue) {
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(REGHOST_GetVirtual(ulRow)), ucValue);
}

inline UCHAR HWCRTC_ReadIndexed(ULONG ulRow, UCHAR ucIndex) {
  return REGHOST_IndexedIORead8(REGHOST_GetVirtual(ulRow), ucIndex);
}

inline void HWCRTC_WriteIndexed(ULONG ulRow, UCHAR ucIndex, UCHAR ucValue) {
  REGHOST_IndexedIOWrite8(REGHOST_GetVirtual(ulRow), ucIndex, ucValue);
}

inline UCHAR HWCRTC_ReadCRTC(UCHAR ucIndex) {
  return HWCRTC_ReadIndexed(REGHOST_ROW_CRTC, ucIndex);
}

inline void HWCRTC_WriteCRTC(UCHAR ucIndex, UCHAR ucValue) {
  HWCRTC_WriteIndexed(REGHOST_ROW_CRTC, ucIndex, ucValue);
}

inline UCHAR HWCRTC_ReadSequencer(UCHAR ucIndex) {
  return HWCRTC_ReadIndexed(REGHOST_ROW_SEQUENCER, ucIndex);
}

inline void HWCRTC_WriteSequencer(UCHAR ucIndex, UCHAR ucValue) {
  HWCRTC_WriteIndexed(REGHOST_ROW_SEQUENCER, ucIndex, ucValue);
}

inline UCHAR HWCRTC_ReadConfig(UCHAR ucIndex) {
  return HWCRTC_ReadIndexed(REGHOST_ROW_CONFIG, ucIndex);
}

inline void HWCRTC_WriteConfig(UCHAR ucIndex, UCHAR ucValue) {
  HWCRTC_WriteIndexed(REGHOST_ROW_CONFIG, ucIndex, ucValue);
}
