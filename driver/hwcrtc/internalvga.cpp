// VGA core set-up: one fixed packed-pixel graphics state with the extension
// registers enabled, written in a fixed order at the start of every mode set.
#include "hwcrtc/crtcports.h"
#include "hwcrtc/hwcrtc.h"
#include "reghost/reghost.h"

namespace {

// (index, value) pairs ended by index 0xFF, like the timing lists.
constexpr UCHAR kListEnd = 0xFF;

// Graphics controller: set/reset, enable set/reset, colour compare, rotate and
// read map cleared; 256-colour shift mode, graphics at 0xA0000-0xAFFFF, every
// plane compared, every bit writable.
constexpr UCHAR kGraphicsState[] = {
    0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04,     0x00,
    0x05, 0x40, 0x06, 0x05, 0x07, 0x0F, 0x08, 0xFF, kListEnd, 0x00,
};

// Attribute controller after the identity palette: graphics mode, overscan 0,
// all planes enabled, no panning, colour select 0.
constexpr UCHAR kAttributeState[] = {
    0x10, 0x01, 0x11, 0x00, 0x12, 0x0F, 0x13, 0x00, 0x14, 0x00, kListEnd, 0x00,
};

// CRTC: write protection of 0x00-0x07 off, preset row scan 0, byte addressing,
// mode control, line compare at its maximum, then the extension registers with
// pixel-format code 0 until the mode's depth is set.
constexpr UCHAR kCRTCState[] = {
    0x11, 0x0C, 0x08, 0x00, 0x14, 0x00, 0x17, 0xE3, 0x18, 0xFF, 0x1A, 0x3C, 0x1C,     0x04,
    0x21, 0xFF, 0x28, 0x10, 0x33, 0xFF, 0x39, 0xFF, 0x3C, 0x60, 0x40, 0xE1, kListEnd, 0x00,
};

constexpr UCHAR kConfigVGAEnable = 0x29;
constexpr UCHAR kVGAEnableBits = 0x03;

constexpr UCHAR kMiscColourAndMemory = 0x03;  // 0x3Dx addresses, display memory on
constexpr UCHAR kMiscGraphics = 0x2B;         // plus dot clock 2 and page bit 5

constexpr UCHAR kSequencerReset = 0x00;
constexpr UCHAR kSequencerClocking = 0x01;
constexpr UCHAR kSequencerMapMask = 0x02;
constexpr UCHAR kSequencerCharacterMap = 0x03;
constexpr UCHAR kSequencerMemoryMode = 0x04;
constexpr UCHAR kSequencerExtensions = 0x06;
constexpr UCHAR kExtensionsUnlock = 0x57;
constexpr UCHAR kSequencerHeld = 0x00;
constexpr UCHAR kSequencerRunning = 0x03;
constexpr UCHAR kScreenOff = 0x20;           // sequencer 0x01 bit 5
constexpr UCHAR kEightDotCharacters = 0x01;  // sequencer 0x01 bit 0
constexpr UCHAR kAllPlanes = 0x0F;
constexpr UCHAR kChain4 = 0x0E;  // extended memory, odd/even off, chain-4

constexpr UCHAR kPaletteEntries = 16;
constexpr UCHAR kAttributePaletteSource = 0x20;

void WriteIndexedList(ULONG ulRow, const UCHAR* pucList) {
  for (; pucList[0] != kListEnd; pucList += 2) {
    HWCRTC_WriteIndexed(ulRow, pucList[0], pucList[1]);
  }
}

// The attribute controller takes index and data alternately on one port.
void WriteAttribute(UCHAR ucIndex, UCHAR ucValue) {
  HWCRTC_WritePort(REGHOST_ROW_ATTRIBUTE, ucIndex);
  HWCRTC_WritePort(REGHOST_ROW_ATTRIBUTE, ucValue);
}

}  // namespace

extern "C" {

void HWCRTC_InitializeInternalVGA() {
  // Wake the VGA core.
  HWCRTC_WriteConfig(kConfigVGAEnable, kVGAEnableBits);
  HWCRTC_WritePort(REGHOST_ROW_VGA_SETUP, 0x00);
  HWCRTC_WritePort(REGHOST_ROW_VGA_OPTION, 0x01);
  HWCRTC_WritePort(REGHOST_ROW_VGA_SETUP, 0x28);
  HWCRTC_WritePort(REGHOST_ROW_VGA_ENABLE, 0x01);
  HWCRTC_WritePort(REGHOST_ROW_MISC_WRITE, kMiscColourAndMemory);

  // Sequencer, held in reset while the clock and memory mode change.
  HWCRTC_WriteSequencer(kSequencerExtensions, kExtensionsUnlock);
  HWCRTC_WriteSequencer(kSequencerReset, kSequencerHeld);
  HWCRTC_WritePort(REGHOST_ROW_MISC_WRITE, kMiscGraphics);
  HWCRTC_WriteSequencer(kSequencerReset, kSequencerHeld);
  // The screen-off bit is carried over; everything else but 8-dot characters
  // is cleared.
  const UCHAR ucClocking = HWCRTC_ReadSequencer(kSequencerClocking);
  HWCRTC_WriteSequencer(kSequencerClocking,
                        static_cast<UCHAR>((ucClocking & kScreenOff) | kEightDotCharacters));
  HWCRTC_WriteSequencer(kSequencerMapMask, kAllPlanes);
  HWCRTC_WriteSequencer(kSequencerCharacterMap, 0x00);
  HWCRTC_WriteSequencer(kSequencerMemoryMode, kChain4);
  HWCRTC_WriteSequencer(kSequencerExtensions, kExtensionsUnlock);
  HWCRTC_WriteSequencer(kSequencerReset, kSequencerRunning);

  WriteIndexedList(REGHOST_ROW_GRAPHICS, kGraphicsState);

  // Reading the input status sets the attribute flip-flop to "index". The
  // display stays blanked until the palette-address-source bit is set again.
  (void)HWCRTC_ReadPort(REGHOST_ROW_INPUT_STATUS);
  for (UCHAR ucEntry = 0; ucEntry < kPaletteEntries; ++ucEntry) {
    WriteAttribute(ucEntry, ucEntry);
  }
  for (const UCHAR* pucPair = kAttributeState; pucPair[0] != kListEnd; pucPair += 2) {
    WriteAttribute(pucPair[0], pucPair[1]);
  }
  HWCRTC_WritePort(REGHOST_ROW_ATTRIBUTE, kAttributePaletteSource);

  WriteIndexedList(REGHOST_ROW_CRTC, kCRTCState);
}

}  // extern "C"
