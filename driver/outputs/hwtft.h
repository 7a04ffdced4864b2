// TFT panel interface: panel register lists and power-up.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

struct HWTFT_SCREEN {
  ULONG ulPanel;               // 0xFFFFFFFF in the end row
  const USHORT* pusRegisters;  // (register, value) pairs ended by register 0x00FF
};

extern const USHORT HWTFT_PhilipsHLD1201[];
extern const USHORT HWTFT_LGPhilipsLM151X2[];
extern const HWTFT_SCREEN HWTFT_ScreenTable[];
extern void (*HWTFT_RegisterAccess)(USHORT usRegister, USHORT usValue);

void HWTFT_Init(ULONG ulPanel);
// 1 when this chip has no panel interface or the range of its register writer is mapped.
ULONG HWTFT_IsReachable();
void HWTFT_IORegister(USHORT usRegister, USHORT usValue);
void HWTFT_MemoryRegister(USHORT usRegister, USHORT usValue);

}  // extern "C"
