// Dot clock synthesis: the PLL search for a wanted frequency, the two PLL
// register layouts, the frequency a refresh rate needs with the loaded timings,
// and the switch between the internal dot clocks and the external pixel clock.
#include "hwcrtc/crtcports.h"
#include "hwcrtc/hwcrtc.h"
#include "hwgeneric/hwgeneric.h"
#include "reghost/reghost.h"

namespace {

// Every PLL divides the 14.31818 MHz crystal by N, multiplies by M (twice M on
// the newer design) and divides the VCO by 2^P.
constexpr LONG kReference = 14318180;
constexpr LONG kMinComparison = 1000000;  // reference / N must stay in 1-2 MHz
constexpr LONG kMaxComparison = 2000000;
constexpr LONG kRondoMinVCO = 128000000;
constexpr LONG kRondoMaxVCO = 256000000;
constexpr LONG kTesselMinVCO = 200000000;
constexpr LONG kTesselMaxVCO = 622000000;
constexpr LONG kRondoMaxP = 4;
constexpr LONG kTesselMaxP = 5;
constexpr LONG kMaxDivider = 255;

// A candidate is kept only when it comes closer than this to the target.
constexpr LONG kStartError = 100000000;
// No output lies outside 0..kTesselMaxVCO, so a target outside this window has
// no candidate; refusing it early also keeps |f - T| inside 32 bits.
constexpr LONG kLowestTarget = -kStartError;
constexpr LONG kHighestTarget = kTesselMaxVCO + kStartError;

// Rondo PLLs: the chips whose ID has a bit in 0x1F. Their VCO and post-divider
// ranges are narrower.
constexpr ULONG kRondoMask = 0x1F;
// The register layout that carries P in the first byte and M whole in the second.
constexpr ULONG kTesselLayoutMask = 0xE0;

// Miscellaneous Output bits 2-3: which of the four dot clocks drives the display.
constexpr UCHAR kMiscClockShift = 2;
constexpr UCHAR kMiscClockMask = 0x03;

// Super I/O logical device 8 carries the board's external clock strap in
// register 0xE1 bit 1; it says which level of the 0xEA/0xEB register 1 bit 1
// selects the external pixel clock.
constexpr UCHAR kSuperIOEnter = 0x55;
constexpr UCHAR kSuperIOExit = 0xAA;
constexpr UCHAR kSuperIODeviceSelect = 0x07;
constexpr UCHAR kSuperIOClockDevice = 0x08;
constexpr UCHAR kSuperIOClockStrap = 0xE1;
constexpr UCHAR kClockSelectRegister = 0x01;
constexpr UCHAR kClockSelectBit = 0x02;

constexpr UCHAR kClockSourceInternal = 0x10;  // configuration register 0x4C bit 4

// Pinto: configuration register 0x7B bit 4 enables the internal dot clocks and
// bit 6 the external pixel clock.
constexpr UCHAR kPintoInternal = 0x10;
constexpr UCHAR kPintoExternal = 0x40;

// CRTC registers holding the loaded horizontal and vertical totals.
constexpr UCHAR kCRTCHorizontalTotal = 0x00;
constexpr UCHAR kCRTCVerticalTotal = 0x06;
constexpr UCHAR kCRTCOverflow = 0x07;
constexpr UCHAR kCRTCExtendedOverflow = 0x25;
constexpr UCHAR kSequencerClocking = 0x01;

bool IsPinto() { return (HWGENERIC_GetHardwareID() & HWGENERIC_ID_PINTO) != 0; }

// Reads the strap behind Super I/O register 0xE1; entering and leaving the
// configuration mode frames the access.
UCHAR ReadSuperIOClockStrap() {
  HWCRTC_WritePort(REGHOST_ROW_SUPERIO, kSuperIOEnter);
  HWCRTC_WriteIndexed(REGHOST_ROW_SUPERIO, kSuperIODeviceSelect, kSuperIOClockDevice);
  const UCHAR ucStrap = HWCRTC_ReadIndexed(REGHOST_ROW_SUPERIO, kSuperIOClockStrap);
  HWCRTC_WritePort(REGHOST_ROW_SUPERIO, kSuperIOExit);
  return ucStrap;
}

// Register 1 of the 0xEA/0xEB pair, bit 1 set or cleared.
void WriteClockSelectBit(bool bSet) {
  const UCHAR ucValue = HWCRTC_ReadIndexed(REGHOST_ROW_CLOCK_SELECT, kClockSelectRegister);
  HWCRTC_WriteIndexed(REGHOST_ROW_CLOCK_SELECT, kClockSelectRegister,
                      bSet ? static_cast<UCHAR>(ucValue | kClockSelectBit)
                           : static_cast<UCHAR>(ucValue & ~kClockSelectBit));
}

}  // namespace

extern "C" {

ULONG HWCRTC_GetCurrentDotClock() {
  return (HWCRTC_ReadPort(REGHOST_ROW_MISC_READ) >> kMiscClockShift) & kMiscClockMask;
}

ULONG HWCRTC_GetRegistersFromDotClock(LONG lFrequency, UCHAR* pucFirst, UCHAR* pucSecond) {
  const ULONG ulID = HWGENERIC_GetHardwareID();
  const bool bRondo = (ulID & kRondoMask) != 0;
  const LONG lMaxP = bRondo ? kRondoMaxP : kTesselMaxP;

  if (lFrequency <= kLowestTarget || lFrequency >= kHighestTarget) {
    return 0;
  }

  // Exhaustive search in the order N, M, P, each ascending; only a strictly
  // smaller error replaces the kept candidate, so ties keep the earliest.
  LONG lBestError = kStartError;
  LONG lBestN = 0;
  LONG lBestM = 0;
  LONG lBestP = 0;
  for (LONG lN = 1; lN <= kMaxDivider; ++lN) {
    const LONG lComparison = kReference / lN;
    if (lComparison < kMinComparison || lComparison > kMaxComparison) {
      continue;
    }
    for (LONG lM = 1; lM <= kMaxDivider; ++lM) {
      LONG lVCO;
      if (bRondo) {
        lVCO = lComparison * lM;
        if (lVCO < kRondoMinVCO || lVCO > kRondoMaxVCO) {
          continue;
        }
      } else {
        lVCO = 2 * lComparison * lM;
        if (lVCO < kTesselMinVCO || lVCO > kTesselMaxVCO) {
          continue;
        }
      }
      for (LONG lP = 0; lP <= lMaxP; ++lP) {
        const LONG lOutput = lVCO >> lP;
        LONG lError = lOutput - lFrequency;
        if (lError < 0) {
          lError = -lError;
        }
        if (lError < lBestError) {
          lBestError = lError;
          lBestN = lN;
          lBestM = lM;
          lBestP = lP;
        }
      }
    }
  }

  if (lBestN == 0) {
    return 0;
  }

  const UCHAR ucN = static_cast<UCHAR>((lBestN & 0x0F) << 3);
  if ((ulID & kTesselLayoutMask) != 0) {
    // N bits 3-0 in bits 6-3 and P in bits 2-0; M whole in the second byte.
    *pucFirst = static_cast<UCHAR>(ucN | lBestP);
    *pucSecond = static_cast<UCHAR>(lBestM);
  } else {
    // N bits 3-0 in bits 6-3 and M bits 7-5 in bits 2-0; the second byte holds
    // P bit 0 in bit 7, M bits 4-0 in bits 6-2 and P bits 2-1 in bits 1-0.
    *pucFirst = static_cast<UCHAR>(ucN | (lBestM >> 5));
    *pucSecond = static_cast<UCHAR>(((lBestP & 0x01) << 7) | ((lBestM & 0x1F) << 2) |
                                    ((lBestP >> 1) & 0x03));
  }
  return 1;
}

void HWCRTC_SetDotClock(ULONG ulDotClock, LONG lFrequency) {
  UCHAR ucFirst = 0;
  UCHAR ucSecond = 0;
  // A target that no setting approaches leaves the PLL as it is.
  if (HWCRTC_GetRegistersFromDotClock(lFrequency, &ucFirst, &ucSecond) == 0) {
    return;
  }
  const UCHAR ucRegister = static_cast<UCHAR>(HWCRTC_CONFIG_PLL_BASE + 2 * ulDotClock);
  HWCRTC_WriteConfig(ucRegister, ucFirst);
  HWCRTC_WriteConfig(static_cast<UCHAR>(ucRegister + 1), ucSecond);
}

void HWCRTC_SetRefreshRate(ULONG ulRefresh) {
  const ULONG ulDotClock = HWCRTC_GetCurrentDotClock();

  const ULONG ulVerticalTotal = HWCRTC_ReadCRTC(kCRTCVerticalTotal);
  const ULONG ulOverflow = HWCRTC_ReadCRTC(kCRTCOverflow);
  const ULONG ulExtended = HWCRTC_ReadCRTC(kCRTCExtendedOverflow);
  const ULONG ulClocking = HWCRTC_ReadSequencer(kSequencerClocking);
  const ULONG ulHorizontalTotal = HWCRTC_ReadCRTC(kCRTCHorizontalTotal);

  // Characters are 8 pixels wide when sequencer 0x01 bit 0 is set, else 9.
  const ULONG ulCharacterWidth = (ulClocking & 0x01) != 0 ? 8 : 9;
  const ULONG ulWidth = (ulHorizontalTotal + 5) * ulCharacterWidth;
  // The 11-bit vertical total field exactly as stored.
  const ULONG ulHeight = ulVerticalTotal + ((ulOverflow & 0x01) << 8) +
                         (((ulOverflow >> 5) & 0x01) << 9) + ((ulExtended & 0x01) << 10);

  HWCRTC_SetDotClock(ulDotClock, static_cast<LONG>(ulWidth * ulHeight * ulRefresh));
}

void HWCRTC_SetExternalDCLK(ULONG ulDotClock, ULONG ulRefresh) {
  // The external pixel clock runs by itself: neither argument changes the switch.
  (void)ulDotClock;
  (void)ulRefresh;

  if (IsPinto()) {
    const UCHAR ucValue = HWCRTC_ReadConfig(HWCRTC_CONFIG_PINTO_CLOCK);
    HWCRTC_WriteConfig(HWCRTC_CONFIG_PINTO_CLOCK,
                       static_cast<UCHAR>((ucValue & ~kPintoInternal) | kPintoExternal));
    return;
  }

  const UCHAR ucSource = HWCRTC_ReadConfig(HWCRTC_CONFIG_CLOCK_SOURCE);
  HWCRTC_WriteConfig(HWCRTC_CONFIG_CLOCK_SOURCE,
                     static_cast<UCHAR>(ucSource & ~kClockSourceInternal));
  const UCHAR ucStrap = ReadSuperIOClockStrap();
  WriteClockSelectBit((ucStrap & kClockSelectBit) != 0);
}

void HWCRTC_SetInternalDCLK() {
  if (IsPinto()) {
    const UCHAR ucValue = HWCRTC_ReadConfig(HWCRTC_CONFIG_PINTO_CLOCK);
    HWCRTC_WriteConfig(HWCRTC_CONFIG_PINTO_CLOCK,
                       static_cast<UCHAR>((ucValue & ~kPintoExternal) | kPintoInternal));
    return;
  }

  // The selection bit takes the level opposite to the external one.
  const UCHAR ucStrap = ReadSuperIOClockStrap();
  WriteClockSelectBit((ucStrap & kClockSelectBit) == 0);
  const UCHAR ucSource = HWCRTC_ReadConfig(HWCRTC_CONFIG_CLOCK_SOURCE);
  HWCRTC_WriteConfig(HWCRTC_CONFIG_CLOCK_SOURCE,
                     static_cast<UCHAR>(ucSource | kClockSourceInternal));
}

void HWCRTC_InitializePixelClock(ULONG ulRow, ULONG ulRefresh) {
  const ULONG ulClock = HWCRTC_psGraphicsModeTable[ulRow].ulClock;

  if ((ulClock & HWCRTC_CLOCK_EXTERNAL) != 0) {
    // The internal dot clocks keep their settings.
    HWCRTC_SetExternalDCLK(ulClock & 0xFF, ulRefresh);
    return;
  }

  HWCRTC_SetInternalDCLK();
  if ((ulClock & HWCRTC_CLOCK_FIXED) != 0) {
    // Fixed frequency in kHz, whatever the refresh rate.
    HWCRTC_SetDotClock(HWCRTC_GetCurrentDotClock(), static_cast<LONG>((ulClock & 0xFFFFFF) * 1000));
  } else {
    HWCRTC_SetRefreshRate(ulRefresh);
  }
}

}  // extern "C"
