// TV encoder: the access method of each chip variant and the format sequences.
//
// The encoder is built into the chip and reached through two chipset
// configuration registers (Bramble) or a memory window (Bramble-L, -R, -RX), or
// it is an external device on the software I2C bus (Pinto), or there is none.
// The method is chosen from the hardware ID at every initialisation; the format
// sequence is then written through it, and the S-VHS and flicker-filter bits of
// the extended CRTC registers are set on every variant, encoder or not.
#include "outputs/hwtve.h"

#include "hwgeneric/hwgeneric.h"
#include "outputs/regi2c.h"
#include "reghost/reghost.h"

namespace {

// Chipset configuration registers of the built-in encoder: index, then data.
constexpr UCHAR CONFIG_TVE_INDEX = 0x2B;
constexpr UCHAR CONFIG_TVE_DATA = 0x2C;
// General-purpose I/O of the external encoder: bit 1 resets it, bit 6 enables it.
constexpr UCHAR CONFIG_GPIO = 0x7B;
constexpr UCHAR GPIO_ENCODER_RESET = 0x02;
constexpr UCHAR GPIO_ENCODER_ENABLE = 0x40;
constexpr ULONG ENCODER_RESET_US = 1000;

constexpr UCHAR ENCODER_I2C_DEVICE = 0x40;  // address and write bit

// Extended CRTC registers.
constexpr UCHAR CRTC_FLICKER_FILTER = 0x40;  // bits 0-2: filter level
constexpr UCHAR CRTC_TV_OUTPUT = 0x42;       // bit 3: S-VHS output
constexpr UCHAR TV_OUTPUT_SVHS = 0x08;
constexpr UCHAR FLICKER_LEVEL_MASK = 0x07;
constexpr ULONG FLICKER_LEVEL = 6;

constexpr ULONG FORMAT_PAL = 1;
constexpr ULONG FORMAT_NTSC = 2;
constexpr ULONG FORMAT_NTSC_26937KHZ = 3;
constexpr ULONG FORMAT_SVHS = 0x01;  // bits 8-15 of the format argument

// Hardware-ID masks that choose the access method and the value column.
constexpr ULONG ID_ENCODER_IO = HWGENERIC_ID_BRAMBLE;
constexpr ULONG ID_ENCODER_MEMORY =
    HWGENERIC_ID_BRAMBLE_L | HWGENERIC_ID_BRAMBLE_R | HWGENERIC_ID_BRAMBLE_RX;
constexpr ULONG ID_ENCODER_I2C = HWGENERIC_ID_PINTO;
constexpr ULONG ID_COLUMN_LATE = HWGENERIC_ID_BRAMBLE_R | HWGENERIC_ID_BRAMBLE_RX;
constexpr ULONG ID_COLUMN_BRAMBLE = HWGENERIC_ID_BRAMBLE | HWGENERIC_ID_BRAMBLE_L |
                                    HWGENERIC_ID_BRAMBLE_R | HWGENERIC_ID_BRAMBLE_RX;

// One encoder register of a format block with its value for each encoder
// generation: Bramble-R and -RX; the other Bramble variants; every other chip.
struct FORMAT_ROW {
  UCHAR ucRegister;  // 0xFF ends a block
  UCHAR ucValue[3];
};

enum : ULONG { COLUMN_LATE = 0, COLUMN_BRAMBLE = 1, COLUMN_OTHER = 2 };

constexpr FORMAT_ROW HWTVE_sPAL[] = {
    {0x00, {0x09, 0x09, 0x19}}, {0x05, {0x80, 0x01, 0x01}}, {0x01, {0xF4, 0xF4, 0xF4}},
    {0x02, {0x61, 0x61, 0x61}}, {0x03, {0xC0, 0xC0, 0xC0}}, {0x04, {0x00, 0x00, 0x00}},
    {0x0A, {0x2A, 0x2A, 0x2A}}, {0x0B, {0x09, 0x09, 0x09}}, {0x0C, {0x8B, 0x8B, 0x8B}},
    {0xFF, {0x00, 0x00, 0x00}},
};

constexpr FORMAT_ROW HWTVE_sNTSC[] = {
    {0x00, {0x94, 0x91, 0x99}}, {0x05, {0x80, 0x01, 0x31}}, {0x01, {0x14, 0x14, 0x14}},
    {0x03, {0x80, 0x80, 0x80}}, {0x04, {0xC8, 0x80, 0x80}}, {0x0A, {0x21, 0x21, 0x21}},
    {0x0B, {0xF0, 0xF0, 0xF0}}, {0x0C, {0x7C, 0x7C, 0x7C}}, {0xFF, {0x00, 0x00, 0x00}},
};

// NTSC from the 26.937 MHz clock: the same block with other subcarrier values.
constexpr FORMAT_ROW HWTVE_sNTSC26937[] = {
    {0x00, {0x94, 0x91, 0x99}}, {0x05, {0x80, 0x01, 0x31}}, {0x01, {0x14, 0x14, 0x14}},
    {0x03, {0x80, 0x80, 0x80}}, {0x04, {0xC8, 0x80, 0x80}}, {0x0A, {0x22, 0x22, 0x22}},
    {0x0B, {0x04, 0x04, 0x04}}, {0x0C, {0xF8, 0xC9, 0xC9}}, {0xFF, {0x00, 0x00, 0x00}},
};

inline ULONG_PTR ConfigPort() { return REGHOST_GetVirtual(REGHOST_ROW_CONFIG); }

inline ULONG_PTR CRTCPort() { return REGHOST_GetVirtual(REGHOST_ROW_CRTC); }

// One read-modify-write of the GPIO configuration register.
void UpdateGPIO(UCHAR ucClear, UCHAR ucSet) {
  const UCHAR ucValue = REGHOST_IndexedIORead8(ConfigPort(), CONFIG_GPIO);
  REGHOST_IndexedIOWrite8(ConfigPort(), CONFIG_GPIO,
                          static_cast<UCHAR>((ucValue & ~ucClear) | ucSet));
}

}  // namespace

extern "C" {

// Null until the first initialisation chooses the method.
void (*HWTVE_pfctWriteAccess)(UCHAR ucRegister, UCHAR ucValue) = nullptr;
UCHAR (*HWTVE_pfctReadAccess)(UCHAR ucRegister) = nullptr;

void HWTVE_Init(ULONG ulFormat) {
  HWTVE_DetectHardware();
  HWTVE_ChangeFormat(ulFormat);
  HWTVE_FlickerFilter(FLICKER_LEVEL);
}

ULONG HWTVE_IsReachable() {
  // Only the memory method has a range of its own; the others go through the
  // configuration port pair.
  const ULONG ulID = HWGENERIC_GetHardwareID();
  if ((ulID & ID_ENCODER_IO) != 0 || (ulID & ID_ENCODER_MEMORY) == 0) {
    return 1;
  }
  return REGHOST_GetVirtual(REGHOST_ROW_TVE_MEMORY) != 0 ? 1 : 0;
}

void HWTVE_DetectHardware() {
  const ULONG ulID = HWGENERIC_GetHardwareID();

  if (ulID & ID_ENCODER_IO) {
    HWTVE_pfctWriteAccess = HWTVE_WriteIORegister;
    HWTVE_pfctReadAccess = HWTVE_ReadIORegister;
  } else if (ulID & ID_ENCODER_MEMORY) {
    HWTVE_pfctWriteAccess = HWTVE_WriteMemoryRegister;
    HWTVE_pfctReadAccess = HWTVE_ReadMemoryRegister;
  } else if (ulID & ID_ENCODER_I2C) {
    // Reset pulse of the external encoder, then enable it; each step is its
    // own read-modify-write so the bus lines' bits keep their levels.
    UpdateGPIO(GPIO_ENCODER_RESET, 0);
    VideoPortStallExecution(ENCODER_RESET_US);
    UpdateGPIO(0, GPIO_ENCODER_RESET);
    UpdateGPIO(0, GPIO_ENCODER_ENABLE);
    HWTVE_pfctWriteAccess = HWTVE_WriteGPIORegister;
    HWTVE_pfctReadAccess = HWTVE_ReadDummyRegister;
  } else {
    HWTVE_pfctWriteAccess = HWTVE_WriteDummyRegister;
    HWTVE_pfctReadAccess = HWTVE_ReadDummyRegister;
  }
}

void HWTVE_ChangeFormat(ULONG ulFormat) {
  // S-VHS selection in the display controller.
  UCHAR ucOutput = REGHOST_IndexedIORead8(CRTCPort(), CRTC_TV_OUTPUT);
  if (((ulFormat >> 8) & 0xFF) == FORMAT_SVHS) {
    ucOutput = static_cast<UCHAR>(ucOutput | TV_OUTPUT_SVHS);
  } else {
    ucOutput = static_cast<UCHAR>(ucOutput & ~TV_OUTPUT_SVHS);
  }
  REGHOST_IndexedIOWrite8(CRTCPort(), CRTC_TV_OUTPUT, ucOutput);

  const ULONG ulID = HWGENERIC_GetHardwareID();
  ULONG ulColumn = COLUMN_OTHER;
  if (ulID & ID_COLUMN_LATE) {
    ulColumn = COLUMN_LATE;
  } else if (ulID & ID_COLUMN_BRAMBLE) {
    ulColumn = COLUMN_BRAMBLE;
  }

  const FORMAT_ROW* psBlock = nullptr;
  switch (ulFormat & 0xFF) {
    case FORMAT_PAL:
      psBlock = HWTVE_sPAL;
      break;
    case FORMAT_NTSC:
      psBlock = HWTVE_sNTSC;
      break;
    case FORMAT_NTSC_26937KHZ:
      psBlock = HWTVE_sNTSC26937;
      break;
    default:
      // NTSC from the internal clock, and any other number: the tail only.
      break;
  }
  if (psBlock != nullptr) {
    for (; psBlock->ucRegister != 0xFF; psBlock++) {
      HWTVE_pfctWriteAccess(psBlock->ucRegister, psBlock->ucValue[ulColumn]);
    }
  }

  // Common tail.
  if (ulID & ID_COLUMN_LATE) {
    HWTVE_pfctWriteAccess(0x07, 0x00);
    HWTVE_pfctWriteAccess(0x08, 0x20);
  }
  HWTVE_pfctWriteAccess(0x02, 0x28);
  HWTVE_pfctWriteAccess(0x06, 0x90);
}

void HWTVE_FlickerFilter(ULONG ulLevel) {
  const UCHAR ucValue = REGHOST_IndexedIORead8(CRTCPort(), CRTC_FLICKER_FILTER);
  REGHOST_IndexedIOWrite8(
      CRTCPort(), CRTC_FLICKER_FILTER,
      static_cast<UCHAR>((ucValue & ~FLICKER_LEVEL_MASK) | (ulLevel & FLICKER_LEVEL_MASK)));
}

// Built-in encoder through configuration registers 0x2B (register number) and
// 0x2C (value).
UCHAR HWTVE_ReadIORegister(UCHAR ucRegister) {
  REGHOST_IndexedIOWrite8(ConfigPort(), CONFIG_TVE_INDEX, ucRegister);
  return REGHOST_IndexedIORead8(ConfigPort(), CONFIG_TVE_DATA);
}

void HWTVE_WriteIORegister(UCHAR ucRegister, UCHAR ucValue) {
  REGHOST_IndexedIOWrite8(ConfigPort(), CONFIG_TVE_INDEX, ucRegister);
  REGHOST_IndexedIOWrite8(ConfigPort(), CONFIG_TVE_DATA, ucValue);
}

// Built-in encoder in its memory window: one byte per register.
UCHAR HWTVE_ReadMemoryRegister(UCHAR ucRegister) {
  return VideoPortReadRegisterUchar(
      reinterpret_cast<PUCHAR>(REGHOST_GetVirtual(REGHOST_ROW_TVE_MEMORY) + ucRegister));
}

void HWTVE_WriteMemoryRegister(UCHAR ucRegister, UCHAR ucValue) {
  VideoPortWriteRegisterUchar(
      reinterpret_cast<PUCHAR>(REGHOST_GetVirtual(REGHOST_ROW_TVE_MEMORY) + ucRegister), ucValue);
}

// No encoder, or one that cannot be read: reads answer like an open bus.
UCHAR HWTVE_ReadDummyRegister(UCHAR /*ucRegister*/) { return 0xFF; }

void HWTVE_WriteDummyRegister(UCHAR /*ucRegister*/, UCHAR /*ucValue*/) {}

// External encoder on the software I2C bus.
void HWTVE_WriteGPIORegister(UCHAR ucRegister, UCHAR ucValue) {
  REGI2C_WriteRegister(REGI2C_GPIOFunction, ENCODER_I2C_DEVICE, ucRegister, ucValue);
}

}  // extern "C"
