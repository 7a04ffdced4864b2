// TV encoder: access method per chip variant and the format sequences.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

extern void (*HWTVE_pfctWriteAccess)(UCHAR ucRegister, UCHAR ucValue);
extern UCHAR (*HWTVE_pfctReadAccess)(UCHAR ucRegister);

void HWTVE_Init(ULONG ulFormat);
// 1 when the access method of this chip has the range it needs mapped.
ULONG HWTVE_IsReachable();
void HWTVE_DetectHardware();
void HWTVE_ChangeFormat(ULONG ulFormat);
void HWTVE_FlickerFilter(ULONG ulLevel);

UCHAR HWTVE_ReadIORegister(UCHAR ucRegister);
void HWTVE_WriteIORegister(UCHAR ucRegister, UCHAR ucValue);
UCHAR HWTVE_ReadMemoryRegister(UCHAR ucRegister);
void HWTVE_WriteMemoryRegister(UCHAR ucRegister, UCHAR ucValue);
UCHAR HWTVE_ReadDummyRegister(UCHAR ucRegister);
void HWTVE_WriteDummyRegister(UCHAR ucRegister, UCHAR ucValue);
void HWTVE_WriteGPIORegister(UCHAR ucRegister, UCHAR ucValue);

}  // extern "C"
