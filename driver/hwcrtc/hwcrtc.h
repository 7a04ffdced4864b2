// Display controller: mode table, dot clocks, mode programming, VGA set-up,
// pitch, display start and palette.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

struct HWCRTC_GRAPHICSMODE {
  ULONG ulOutput;      // output value; 0xFFFFFFFF in the end row
  ULONG ulResolution;  // width in bits 0-15, height in bits 16-31
  ULONG ulHardwareMask;
  const UCHAR* pucTimings;  // (CRTC index, value) pairs ended by index 0xFF
  ULONG ulClock;            // bit 31 external, bit 30 fixed kHz, 0 refresh-derived
  UCHAR ucMiscOutput;
};

struct HWCRTC_MODE {
  ULONG ulOffset;
  ULONG ulWidth;
  ULONG ulHeight;
  ULONG ulPitch;
  ULONG ulBitsPerPixel;
};

struct HWCRTC_WATERMARK {
  ULONG ulFrameBits;  // 0xFFFFFFFF in the end row
  ULONG ulHardwareMask;
  UCHAR ucCRTC1B;
  UCHAR ucCRTC27;
};

struct HWCRTC_CONTROLLER {
  ULONG ulOutputClass;  // 0xFFFFFFFF in the end row
  void (*pfctInit)(ULONG ulArgument);
};

constexpr ULONG HWCRTC_END = 0xFFFFFFFF;
constexpr ULONG HWCRTC_CLOCK_EXTERNAL = 0x80000000;
constexpr ULONG HWCRTC_CLOCK_FIXED = 0x40000000;

extern const HWCRTC_GRAPHICSMODE HWCRTC_psGraphicsModeTable[];
extern const HWCRTC_WATERMARK HWCRTC_psWaterMarkTable[];
extern const HWCRTC_CONTROLLER HWCRTC_psControllerTable[];
extern const UCHAR HWCRTC_pucPixelDepthTable[8];

extern ULONG HWCRTC_ulCurrentOffset;
extern ULONG HWCRTC_ulOffsetX;
extern ULONG HWCRTC_ulOffsetY;

// Mode table enumeration and search.
ULONG HWCRTC_GetFirstMode(ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput, ULONG* pulClock);
ULONG HWCRTC_GetNextMode(ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput, ULONG* pulClock);
ULONG HWCRTC_GetModeInfo(ULONG ulOrdinal, ULONG* pulWidth, ULONG* pulHeight, ULONG* pulOutput,
                         ULONG* pulClock);
LONG HWCRTC_ScanGraphicsMode(ULONG ulWidth, ULONG ulHeight, ULONG ulOutput);

// Dot clocks.
ULONG HWCRTC_GetCurrentDotClock();
// Returns non-zero when a candidate was found; the bytes are stored only then.
ULONG HWCRTC_GetRegistersFromDotClock(LONG lFrequency, UCHAR* pucFirst, UCHAR* pucSecond);
void HWCRTC_SetDotClock(ULONG ulDotClock, LONG lFrequency);
void HWCRTC_SetRefreshRate(ULONG ulRefresh);
void HWCRTC_SetExternalDCLK(ULONG ulDotClock, ULONG ulRefresh);
void HWCRTC_SetInternalDCLK();
void HWCRTC_InitializePixelClock(ULONG ulRow, ULONG ulRefresh);

// Mode programming.
LONG HWCRTC_InitGraphicMode(const HWCRTC_MODE* psMode, ULONG ulOutput, ULONG ulRefresh);
ULONG HWCRTC_SetPixelDepth(ULONG ulBitsPerPixel);
void HWCRTC_SetCRTCTimings(ULONG ulRow);
void HWCRTC_SetWaterMark(ULONG ulWidth, ULONG ulHeight, ULONG ulBitsPerPixel);
void HWCRTC_InitAdditionnalController(ULONG ulOutput);

// VGA core set-up.
void HWCRTC_InitializeInternalVGA();

// Pitch, display start and palette.
ULONG HWCRTC_GetPixelDepth();
ULONG HWCRTC_GetPitch();
ULONG HWCRTC_GetOffsetX();
ULONG HWCRTC_GetOffsetY();
void HWCRTC_FlipSurface(ULONG ulOffset, ULONG ulPitch);
void HWCRTC_FlipBase(ULONG ulOffset);
void HWCRTC_SetPaletteEntry4Bytes(const UCHAR* pucEntries, ULONG ulFirst, ULONG ulCount);

}  // extern "C"
