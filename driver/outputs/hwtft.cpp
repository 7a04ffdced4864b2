// TFT panel interface: the register list of each panel and the power-up sequence.
//
// The interface has its own timing registers of 16 bits. Mistral reaches them
// through an index/data port pair; the later chips through a memory window in
// which registers 10 to 15 are packed into three words.
#include "outputs/hwtft.h"

#include "hwgeneric/hwgeneric.h"
#include "reghost/reghost.h"

namespace {

constexpr USHORT LIST_END = 0x00FF;
constexpr ULONG SCREEN_END = 0xFFFFFFFF;

// Power control of the panel; its value walks 5, 4, 6 with settling times.
constexpr USHORT TFT_POWER = 11;
constexpr ULONG POWER_STEP1_US = 15000;
constexpr ULONG POWER_STEP2_US = 5000;

constexpr ULONG ID_TFT_PORTS = 0x18;      // Mistral: I/O ports; every other chip: memory
constexpr ULONG ID_TFT_INTERFACE = 0x58;  // the chips with a panel interface

// Byte offsets of the packed words in the memory window.
constexpr ULONG WORD10 = 0x14;  // register 12 in bits 0-7, register 13 in bits 8-15
constexpr ULONG WORD11 = 0x16;  // register 14 in 0-7, register 11 in 8-10, register 15 in 11-15
constexpr ULONG WORD12 = 0x18;  // register 10

inline USHORT ReadWord(ULONG_PTR ulAddress) {
  return VideoPortReadRegisterUshort(reinterpret_cast<PUSHORT>(ulAddress));
}

inline UCHAR ReadByte(ULONG_PTR ulAddress) {
  return VideoPortReadRegisterUchar(reinterpret_cast<PUCHAR>(ulAddress));
}

inline void WriteWord(ULONG_PTR ulAddress, ULONG ulValue) {
  VideoPortWriteRegisterUshort(reinterpret_cast<PUSHORT>(ulAddress), static_cast<USHORT>(ulValue));
}

}  // namespace

extern "C" {

// Register lists: (register, value) pairs in the order they are written, ended
// by register 0x00FF. Registers 0 and 4 hold the width, register 8 the height.
// Register 11 is left to the power-up sequence.
const USHORT HWTFT_PhilipsHLD1201[] = {
    0,      0x0320, 1,      0x0050, 2,      0x0020, 3,      0x0066, 4,        0x0320, 5,
    0x0001, 6,      0x0001, 7,      0x0019, 8,      0x0258, 9,      0x0000,   10,     0x0202,
    12,     0x0000, 13,     0x0000, 14,     0x0000, 15,     0x001F, LIST_END, 0x0000,
};

const USHORT HWTFT_LGPhilipsLM151X2[] = {
    0,      0x0400, 1,      0x002F, 2,      0x002D, 3,      0x0020, 4,        0x0400, 5,
    0x00A0, 6,      0x002C, 7,      0x0001, 8,      0x0300, 9,      0x0000,   10,     0x0802,
    12,     0x0000, 13,     0x0000, 14,     0x0000, 15,     0x001B, LIST_END, 0x0000,
};

const HWTFT_SCREEN HWTFT_ScreenTable[] = {
    {1, HWTFT_PhilipsHLD1201},
    {2, HWTFT_LGPhilipsLM151X2},
    {SCREEN_END, nullptr},
};

// Null until the first initialisation chooses the writer.
void (*HWTFT_RegisterAccess)(USHORT usRegister, USHORT usValue) = nullptr;

void HWTFT_Init(ULONG ulPanel) {
  HWTFT_RegisterAccess =
      (HWGENERIC_GetHardwareID() & ID_TFT_PORTS) ? HWTFT_IORegister : HWTFT_MemoryRegister;

  const HWTFT_SCREEN* psScreen = HWTFT_ScreenTable;
  while (psScreen->ulPanel != SCREEN_END && psScreen->ulPanel != ulPanel) {
    psScreen++;
  }
  if (psScreen->ulPanel == SCREEN_END) {
    return;  // unknown panel: leave it untouched
  }

  for (const USHORT* pusPair = psScreen->pusRegisters; pusPair[0] != LIST_END; pusPair += 2) {
    HWTFT_RegisterAccess(pusPair[0], pusPair[1]);
  }

  // Power-up: the panel needs its supply and then its signals to settle.
  HWTFT_RegisterAccess(TFT_POWER, 5);
  VideoPortStallExecution(POWER_STEP1_US);
  HWTFT_RegisterAccess(TFT_POWER, 4);
  VideoPortStallExecution(POWER_STEP2_US);
  HWTFT_RegisterAccess(TFT_POWER, 6);
}

ULONG HWTFT_IsReachable() {
  const ULONG ulID = HWGENERIC_GetHardwareID();
  if ((ulID & ID_TFT_INTERFACE) == 0) {
    return 1;
  }
  const ULONG ulRow = (ulID & ID_TFT_PORTS) ? REGHOST_ROW_TFT_PORTS : REGHOST_ROW_TFT_MEMORY;
  return REGHOST_GetVirtual(ulRow) != 0 ? 1 : 0;
}

// Index word to the base port, value word to the base port + 4.
void HWTFT_IORegister(USHORT usRegister, USHORT usValue) {
  REGHOST_TFTInterfaceWrite16(REGHOST_GetVirtual(REGHOST_ROW_TFT_PORTS), usRegister, usValue);
}

// Memory window: one word per register, except registers 10 to 15, which
// share words 10 to 12. The kept bits of a shared word are read back just
// before the word is stored whole.
void HWTFT_MemoryRegister(USHORT usRegister, USHORT usValue) {
  const ULONG_PTR ulBase = REGHOST_GetVirtual(REGHOST_ROW_TFT_MEMORY);
  ULONG ulWord = 0;

  switch (usRegister) {
    case 10:
      WriteWord(ulBase + WORD12, usValue);
      return;
    case 11:
      ulWord = (ReadWord(ulBase + WORD11) & ~0x0700U) | ((usValue & 0x07U) << 8);
      WriteWord(ulBase + WORD11, ulWord);
      return;
    case 12:
      ulWord = (static_cast<ULONG>(ReadByte(ulBase + WORD10 + 1)) << 8) | (usValue & 0xFFU);
      WriteWord(ulBase + WORD10, ulWord);
      return;
    case 13:
      ulWord = ((usValue & 0xFFU) << 8) | ReadByte(ulBase + WORD10);
      WriteWord(ulBase + WORD10, ulWord);
      return;
    case 14:
      ulWord = (static_cast<ULONG>(ReadByte(ulBase + WORD11 + 1)) << 8) | (usValue & 0xFFU);
      WriteWord(ulBase + WORD11, ulWord);
      return;
    case 15:
      ulWord = (ReadWord(ulBase + WORD11) & 0x07FFU) | ((usValue & 0x1FU) << 11);
      WriteWord(ulBase + WORD11, ulWord);
      return;
    default:
      break;
  }

  // A register whose word lies beyond the window has no place in it.
  const ULONG ulOffset = 2U * usRegister;
  if (ulOffset + 2 > REGHOST_ChipsetResources[REGHOST_ROW_TFT_MEMORY].ulLength) {
    return;
  }
  WriteWord(ulBase + ulOffset, usValue);
}

}  // extern "C"
