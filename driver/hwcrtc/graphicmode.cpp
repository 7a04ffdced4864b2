// Graphics mode programming: VGA set-up, pixel format, CRTC timings, pixel
// clock, display FIFO watermarks, pitch and display start, then the output
// device of the mode's output class.
#include "hwcrtc/crtcports.h"
#include "hwcrtc/hwcrtc.h"
#include "hwgeneric/hwgeneric.h"
#include "outputs/hwtft.h"
#include "outputs/hwtve.h"
#include "reghost/reghost.h"

namespace {

constexpr UCHAR kCRTCPixelFormat = 0x28;
constexpr UCHAR kPixelFormatPacked = 0x10;  // up to 8 bits per pixel
constexpr UCHAR kPixelFormatDirect = 0x18;  // more than 8 bits per pixel
constexpr UCHAR kPixelFormatCodeMask = 0x07;
constexpr ULONG kPixelDepthCodes = 8;

constexpr UCHAR kCRTCWaterMarkLow = 0x1B;
constexpr UCHAR kCRTCWaterMarkHigh = 0x27;
constexpr ULONG kFractionShift = 10;  // 10-bit interpolation fraction

constexpr UCHAR kTimingListEnd = 0xFF;
constexpr UCHAR kMiscClockSelect = 0x0C;  // Miscellaneous Output bits 2-3

// The 320 x 200 x 8 modes run the attribute controller with 8-bit pixel
// clocking and leave the extended pixel format at code 0.
constexpr ULONG kDoubledWidth = 320;
constexpr ULONG kDoubledHeight = 200;
constexpr ULONG kDoubledDepth = 8;
constexpr UCHAR kAttributeModeControl = 0x10;
constexpr UCHAR kAttributeModeDoubled = 0x41;
constexpr UCHAR kAttributePaletteSource = 0x20;

constexpr ULONG kOutputClassMask = 0xFFFF;
constexpr ULONG kOutputVariantShift = 16;

}  // namespace

extern "C" {

// FIFO thresholds tuned for some frame sizes, one set per memory controller:
// mask 0x1B for the EDO controller, 0xE4 for the SDRAM controller.
const HWCRTC_WATERMARK HWCRTC_psWaterMarkTable[] = {
    {2201600, 0x1B, 0x39, 0xD0},   // 640 x 430 x 8
    {4403200, 0x1B, 0x69, 0xD0},   // 640 x 430 x 16
    {6604800, 0x1B, 0x99, 0xD0},   // 640 x 430 x 24
    {2457600, 0x1B, 0x3B, 0xD0},   // 640 x 480 x 8
    {4915200, 0x1B, 0x6B, 0xD0},   // 640 x 480 x 16
    {7372800, 0x1B, 0x9B, 0xD0},   // 640 x 480 x 24
    {3840000, 0x1B, 0x5B, 0xD0},   // 800 x 600 x 8
    {7680000, 0x1B, 0xAB, 0xD0},   // 800 x 600 x 16
    {11520000, 0x1B, 0xD3, 0xD0},  // 800 x 600 x 24
    {6291456, 0x1B, 0x93, 0xD0},   // 1024 x 768 x 8
    {12582912, 0x1B, 0xD3, 0xD0},  // 1024 x 768 x 16
    {2201600, 0xE4, 0x39, 0xB8},   // 640 x 430 x 8
    {4403200, 0xE4, 0x69, 0xB8},   // 640 x 430 x 16
    {6604800, 0xE4, 0x99, 0xB8},   // 640 x 430 x 24
    {2457600, 0xE4, 0x3B, 0xB8},   // 640 x 480 x 8
    {4915200, 0xE4, 0x6B, 0xB8},   // 640 x 480 x 16
    {7372800, 0xE4, 0x9B, 0xB8},   // 640 x 480 x 24
    {3840000, 0xE4, 0x5B, 0xB8},   // 800 x 600 x 8
    {7680000, 0xE4, 0xAB, 0xB8},   // 800 x 600 x 16
    {11520000, 0xE4, 0xB8, 0xB8},  // 800 x 600 x 24
    {6291456, 0xE4, 0x93, 0xB8},   // 1024 x 768 x 8
    {12582912, 0xE4, 0xB8, 0xB8},  // 1024 x 768 x 16
    {HWCRTC_END, 0, 0x00, 0x00},   // end
};

// Output classes that need a device started after the display controller;
// class 1 (the VGA connector) needs nothing more.
const HWCRTC_CONTROLLER HWCRTC_psControllerTable[] = {
    {2, HWTVE_Init},  // TV encoder
    {3, HWTFT_Init},  // TFT panel interface
    {HWCRTC_END, nullptr},
};

static_assert(sizeof(HWCRTC_WATERMARK) == 12, "watermark row: two words and two bytes");
static_assert(offsetof(HWCRTC_WATERMARK, ucCRTC1B) == 8 &&
                  offsetof(HWCRTC_WATERMARK, ucCRTC27) == 9,
              "watermark bytes follow the two words");
static_assert(sizeof(HWCRTC_MODE) == 20, "mode request: five words");

LONG HWCRTC_InitGraphicMode(const HWCRTC_MODE* psMode, ULONG ulOutput, ULONG ulRefresh) {
  const LONG lRow = HWCRTC_ScanGraphicsMode(psMode->ulWidth, psMode->ulHeight, ulOutput);
  if (lRow < 0) {
    return lRow;
  }
  const ULONG ulRow = static_cast<ULONG>(lRow);

  HWCRTC_InitializeInternalVGA();

  if (HWCRTC_SetPixelDepth(psMode->ulBitsPerPixel) == 0) {
    return -1;
  }

  HWCRTC_SetCRTCTimings(ulRow);

  if (psMode->ulWidth == kDoubledWidth && psMode->ulHeight == kDoubledHeight &&
      psMode->ulBitsPerPixel == kDoubledDepth) {
    // The status read sets the attribute flip-flop to "index".
    (void)HWCRTC_ReadPort(REGHOST_ROW_INPUT_STATUS);
    HWCRTC_WritePort(REGHOST_ROW_ATTRIBUTE, kAttributeModeControl);
    HWCRTC_WritePort(REGHOST_ROW_ATTRIBUTE, kAttributeModeDoubled);
    HWCRTC_WritePort(REGHOST_ROW_ATTRIBUTE, kAttributePaletteSource);
    const UCHAR ucFormat = HWCRTC_ReadCRTC(kCRTCPixelFormat);
    HWCRTC_WriteCRTC(kCRTCPixelFormat, static_cast<UCHAR>(ucFormat & ~kPixelFormatCodeMask));
  }

  HWCRTC_InitializePixelClock(ulRow, ulRefresh);
  HWCRTC_SetWaterMark(psMode->ulWidth, psMode->ulHeight, psMode->ulBitsPerPixel);
  HWCRTC_FlipSurface(psMode->ulOffset, psMode->ulPitch);
  HWCRTC_InitAdditionnalController(ulOutput);
  return 0;
}

ULONG HWCRTC_SetPixelDepth(ULONG ulBitsPerPixel) {
  for (ULONG ulCode = 0; ulCode < kPixelDepthCodes; ++ulCode) {
    if (static_cast<ULONG>(HWCRTC_pucPixelDepthTable[ulCode]) == ulBitsPerPixel) {
      const UCHAR ucBase = ulBitsPerPixel <= 8 ? kPixelFormatPacked : kPixelFormatDirect;
      HWCRTC_WriteCRTC(kCRTCPixelFormat, static_cast<UCHAR>(ucBase + ulCode));
      return 1;
    }
  }
  return 0;
}

void HWCRTC_SetCRTCTimings(ULONG ulRow) {
  const HWCRTC_GRAPHICSMODE* psRow = &HWCRTC_psGraphicsModeTable[ulRow];

  for (const UCHAR* pucPair = psRow->pucTimings; pucPair[0] != kTimingListEnd; pucPair += 2) {
    HWCRTC_WriteCRTC(pucPair[0], pucPair[1]);
  }

  // The row supplies every bit but the clock select, which stays as it is.
  const UCHAR ucMisc = HWCRTC_ReadPort(REGHOST_ROW_MISC_READ);
  HWCRTC_WritePort(
      REGHOST_ROW_MISC_WRITE,
      static_cast<UCHAR>((psRow->ucMiscOutput & ~kMiscClockSelect) | (ucMisc & kMiscClockSelect)));

  HWCRTC_ulOffsetX = HWCRTC_GetOffsetX();
  HWCRTC_ulOffsetY = HWCRTC_GetOffsetY();
}

void HWCRTC_SetWaterMark(ULONG ulWidth, ULONG ulHeight, ULONG ulBitsPerPixel) {
  const ULONG ulFrameBits = ulWidth * ulHeight * ulBitsPerPixel;
  const ULONG ulID = HWGENERIC_GetHardwareID();

  // Nearest tuned rows of this chip's memory controller below and above the
  // frame size; among equal sizes the first row in table order.
  const HWCRTC_WATERMARK* psLower = nullptr;
  const HWCRTC_WATERMARK* psUpper = nullptr;
  for (const HWCRTC_WATERMARK* psRow = HWCRTC_psWaterMarkTable; psRow->ulFrameBits != HWCRTC_END;
       ++psRow) {
    if ((psRow->ulHardwareMask & ulID) == 0) {
      continue;
    }
    if (psRow->ulFrameBits <= ulFrameBits &&
        (psLower == nullptr || psRow->ulFrameBits > psLower->ulFrameBits)) {
      psLower = psRow;
    }
    if (psRow->ulFrameBits >= ulFrameBits &&
        (psUpper == nullptr || psRow->ulFrameBits < psUpper->ulFrameBits)) {
      psUpper = psRow;
    }
  }

  UCHAR ucLow;
  UCHAR ucHigh;
  if (psLower == nullptr && psUpper == nullptr) {
    // A chip without tuned rows keeps whatever thresholds it has.
    return;
  }
  if (psLower == nullptr) {
    ucLow = psUpper->ucCRTC1B;
    ucHigh = psUpper->ucCRTC27;
  } else if (psUpper == nullptr || psLower->ulFrameBits == psUpper->ulFrameBits) {
    ucLow = psLower->ucCRTC1B;
    ucHigh = psLower->ucCRTC27;
  } else {
    // Linear interpolation with a 10-bit fraction. The gap between neighbouring
    // rows is at most 3,840,000, so the products stay within 32 bits; the bytes
    // never decrease with the frame size.
    const ULONG ulFraction = ((ulFrameBits - psLower->ulFrameBits) << kFractionShift) /
                             (psUpper->ulFrameBits - psLower->ulFrameBits);
    ucLow = static_cast<UCHAR>(
        psLower->ucCRTC1B +
        ((static_cast<ULONG>(psUpper->ucCRTC1B - psLower->ucCRTC1B) * ulFraction) >>
         kFractionShift));
    ucHigh = static_cast<UCHAR>(
        psLower->ucCRTC27 +
        ((static_cast<ULONG>(psUpper->ucCRTC27 - psLower->ucCRTC27) * ulFraction) >>
         kFractionShift));
  }

  HWCRTC_WriteCRTC(kCRTCWaterMarkLow, ucLow);
  HWCRTC_WriteCRTC(kCRTCWaterMarkHigh, ucHigh);
}

void HWCRTC_InitAdditionnalController(ULONG ulOutput) {
  const ULONG ulClass = ulOutput & kOutputClassMask;
  for (const HWCRTC_CONTROLLER* psRow = HWCRTC_psControllerTable;
       psRow->ulOutputClass != HWCRTC_END; ++psRow) {
    if (psRow->ulOutputClass == ulClass) {
      // Output variant in bits 0-7, S-VHS as 0x100.
      psRow->pfctInit(ulOutput >> kOutputVariantShift);
      return;
    }
  }
}

}  // extern "C"
