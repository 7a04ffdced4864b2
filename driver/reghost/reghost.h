// Register host: the chip's I/O and memory ranges, their mapping at start,
// the graphics base and indexed register access.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

struct REGHOST_RESOURCE {
  ULONG ulFlags;
  ULONG ulPhysical;
  ULONG ulLength;
  ULONG_PTR ulVirtual;  // mapped address; 0 while not mapped
};

constexpr ULONG REGHOST_IO = 0x80000000;
constexpr ULONG REGHOST_MEMORY = 0x40000000;
constexpr ULONG REGHOST_FIXED = 0x20000000;
constexpr ULONG REGHOST_GBASE_RELATIVE = 0x10000000;
constexpr ULONG REGHOST_GROUP_MASK = 0x0000FFFF;
constexpr ULONG REGHOST_END = 0xFFFFFFFF;

// Fixed row numbers of REGHOST_ChipsetResources that the modules use.
enum : ULONG {
  REGHOST_ROW_INPUT_STATUS = 13,     // 0x3DA
  REGHOST_ROW_VGA_SETUP = 14,        // 0x94
  REGHOST_ROW_VGA_OPTION = 15,       // 0x102
  REGHOST_ROW_VGA_ENABLE = 16,       // 0x3C3
  REGHOST_ROW_MISC_WRITE = 17,       // 0x3C2
  REGHOST_ROW_MISC_READ = 18,        // 0x3CC
  REGHOST_ROW_ATTRIBUTE = 19,        // 0x3C0
  REGHOST_ROW_DAC_INDEX = 21,        // 0x3C8
  REGHOST_ROW_DAC_DATA = 23,         // 0x3C9
  REGHOST_ROW_SEQUENCER = 24,        // 0x3C4/0x3C5
  REGHOST_ROW_CONFIG = 25,           // 0x22/0x23
  REGHOST_ROW_GRAPHICS = 26,         // 0x3CE/0x3CF
  REGHOST_ROW_CRTC = 27,             // 0x3D4/0x3D5
  REGHOST_ROW_CLOCK_SELECT = 28,     // 0xEA/0xEB
  REGHOST_ROW_SUPERIO = 29,          // 0x370/0x371
  REGHOST_ROW_TFT_PORTS = 31,        // base from configuration registers 0x1D/0x1E
  REGHOST_ROW_PCI = 32,              // 0xCF8/0xCFC
  REGHOST_ROW_GE_REGISTERS = 33,     // GBASE + 0x400000
  REGHOST_ROW_TFT_MEMORY = 36,       // GBASE + 0x4CC000
  REGHOST_ROW_TVE_MEMORY = 40,       // GBASE + 0x4CA000
  REGHOST_ROW_FRAMEBUFFER = 42,      // GBASE + 0x800000, the request handlers' view
  REGHOST_ROW_FRAMEBUFFER_LOW = 43,  // GBASE + 0, the cursor module's view
  REGHOST_ROW_COUNT = 44,
};

extern REGHOST_RESOURCE REGHOST_ChipsetResources[REGHOST_ROW_COUNT + 1];

// Mapped address of a row (a port number for I/O rows).
inline ULONG_PTR REGHOST_GetVirtual(ULONG ulRow) {
  return REGHOST_ChipsetResources[ulRow].ulVirtual;
}

// Maps the selected rows. When a range that every chip needs cannot be mapped,
// it stops before any register is touched; REGHOST_CheckMappings tells.
void REGHOST_Init(ULONG ulSelection);
// 1 when every range the register host and the display modules use on every
// chip is mapped (the frame-buffer views only when there is display memory).
ULONG REGHOST_CheckMappings();
ULONG REGHOST_GetGBASE();
UCHAR REGHOST_IndexedIORead8(ULONG_PTR ulPort, UCHAR ucIndex);
void REGHOST_IndexedIOWrite8(ULONG_PTR ulPort, UCHAR ucIndex, UCHAR ucValue);
ULONG REGHOST_IndexedIORead32(ULONG_PTR ulPort, ULONG ulAddress);
USHORT REGHOST_IndexedIORead2x8(ULONG_PTR ulPort, UCHAR ucIndex);
void REGHOST_TFTInterfaceWrite16(ULONG_PTR ulPort, USHORT usIndex, USHORT usValue);

// The only place where ranges are mapped; 0 when the mapping failed.
ULONG_PTR OSAL_IOMap(ULONG ulPort, ULONG ulLength);
ULONG_PTR OSAL_MemoryMap(ULONG ulPhysical, ULONG ulLength);

}  // extern "C"
