// Write-only software I2C master over a line function.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

// Line actions.
constexpr ULONG REGI2C_TRANSFER = 1;
constexpr ULONG REGI2C_SDA_HIGH = 2;
constexpr ULONG REGI2C_SDA_LOW = 3;
constexpr ULONG REGI2C_SCL_HIGH = 4;
constexpr ULONG REGI2C_SCL_LOW = 5;

typedef void (*REGI2C_LINE_FUNCTION)(ULONG ulAction);

void REGI2C_Wait();
void REGI2C_GPIOFunction(ULONG ulAction);
void REGI2C_Start(REGI2C_LINE_FUNCTION pfctLine);
void REGI2C_ReStart(REGI2C_LINE_FUNCTION pfctLine);
void REGI2C_Stop(REGI2C_LINE_FUNCTION pfctLine);
void REGI2C_Write(REGI2C_LINE_FUNCTION pfctLine, UCHAR ucData);
void REGI2C_WriteRegister(REGI2C_LINE_FUNCTION pfctLine, UCHAR ucDevice, UCHAR ucSubAddress,
                          UCHAR ucData);

}  // extern "C"
