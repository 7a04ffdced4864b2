// Register host: the chip's I/O and memory ranges, their mapping at start,
// the graphics base and indexed register access.
#include "reghost/reghost.h"

#include "hwge/hwge.h"
#include "miniport/miniport.h"

namespace {

// Flag combinations of the table rows.
constexpr ULONG IO_FIXED = REGHOST_IO | REGHOST_FIXED;                // 0xA0000000
constexpr ULONG IO_LATE = REGHOST_IO;                                 // 0x80000000
constexpr ULONG MEM_FIXED = REGHOST_MEMORY | REGHOST_FIXED;           // 0x60000000
constexpr ULONG MEM_GBASE = REGHOST_MEMORY | REGHOST_GBASE_RELATIVE;  // 0x50000000

// Chipset configuration registers behind 0x22/0x23.
constexpr UCHAR CONFIG_VGA_DECODE = 0x29;
constexpr UCHAR CONFIG_TFT_PORT_BASE = 0x1D;  // low byte; 0x1E is read back to back

// VGA core wake-up values.
constexpr UCHAR VGA_SETUP_ENTER = 0x00;
constexpr UCHAR VGA_OPTION_ENABLE = 0x01;
constexpr UCHAR VGA_SETUP_LEAVE = 0x28;
constexpr UCHAR VGA_ENABLE = 0x01;

// CRTC registers the register host touches.
constexpr UCHAR CRTC_GBASE = 0x20;
constexpr UCHAR CRTC_EXTENSION_UNLOCK = 0x1F;
constexpr UCHAR CRTC_EXTENSION_1A = 0x1A;

constexpr UCHAR SEQ_EXTENSION_UNLOCK = 0x06;
constexpr UCHAR SEQ_UNLOCK_KEY = 0x57;

constexpr ULONG GBASE_OFFSET_MASK = 0x00FFFFFF;

// Fixed ranges that the register host, the display controller and the cursor
// reach on every chip. A failed mapping leaves 0 in a row, and an access through
// it would reach port 0 or address 0: nothing is touched without them.
constexpr ULONG NEEDED_FIXED_ROWS[] = {
    REGHOST_ROW_INPUT_STATUS, REGHOST_ROW_VGA_SETUP,    REGHOST_ROW_VGA_OPTION,
    REGHOST_ROW_VGA_ENABLE,   REGHOST_ROW_MISC_WRITE,   REGHOST_ROW_MISC_READ,
    REGHOST_ROW_ATTRIBUTE,    REGHOST_ROW_DAC_INDEX,    REGHOST_ROW_DAC_DATA,
    REGHOST_ROW_SEQUENCER,    REGHOST_ROW_CONFIG,       REGHOST_ROW_GRAPHICS,
    REGHOST_ROW_CRTC,         REGHOST_ROW_CLOCK_SELECT, REGHOST_ROW_SUPERIO,
    REGHOST_ROW_PCI,
};

// Ports the chip decodes at fixed addresses, ahead of any block whose base the
// chipset reports: the configuration pair, the VGA wake-up ports, the clock
// selection pairs, the whole VGA register block and PCI configuration. A late
// block reaching any of them would send its writes into those devices.
struct PORT_BLOCK {
  ULONG ulFirst;
  ULONG ulLength;
};
constexpr PORT_BLOCK CHIP_FIXED_PORTS[] = {
    {0x22, 2}, {0x94, 1}, {0x102, 1}, {0xEA, 2}, {0x370, 2}, {0x3B0, 0x30}, {0xCF8, 8},
};

bool ReachesFixedPorts(const REGHOST_RESOURCE& sRow) {
  for (const PORT_BLOCK& sBlock : CHIP_FIXED_PORTS) {
    if (sRow.ulPhysical < sBlock.ulFirst + sBlock.ulLength &&
        sBlock.ulFirst < sRow.ulPhysical + sRow.ulLength) {
      return true;
    }
  }
  return false;
}

// The two views of the frame buffer: needed whenever there is display memory.
constexpr ULONG FRAMEBUFFER_ROWS[] = {REGHOST_ROW_FRAMEBUFFER, REGHOST_ROW_FRAMEBUFFER_LOW};

inline ULONG_PTR Port(ULONG ulRow) { return REGHOST_ChipsetResources[ulRow].ulVirtual; }

bool FixedRowsMapped() {
  for (const ULONG ulRow : NEEDED_FIXED_ROWS) {
    if (Port(ulRow) == 0) {
      return false;
    }
  }
  return true;
}

inline bool IsSelected(const REGHOST_RESOURCE& sRow, ULONG ulSelection) {
  return (sRow.ulFlags & REGHOST_GROUP_MASK & ulSelection) != 0;
}

void MapRow(REGHOST_RESOURCE& sRow) {
  if (sRow.ulFlags & REGHOST_IO) {
    sRow.ulVirtual = OSAL_IOMap(sRow.ulPhysical, sRow.ulLength);
  } else if (sRow.ulFlags & REGHOST_MEMORY) {
    sRow.ulVirtual = OSAL_MemoryMap(sRow.ulPhysical, sRow.ulLength);
  }
}

ULONG_PTR MapRange(ULONG ulAddress, ULONG ulLength, UCHAR ucInIoSpace) {
  PHYSICAL_ADDRESS sAddress;
  sAddress.QuadPart = 0;
  sAddress.LowPart = ulAddress;
  sAddress.HighPart = 0;
  return reinterpret_cast<ULONG_PTR>(VideoPortGetDeviceBase(
      reinterpret_cast<PVOID>(DRIVER_ulDeviceExtension), sAddress, ulLength, ucInIoSpace));
}

}  // namespace

extern "C" {

// Every I/O and memory range of the system-on-chip a module may need. Rows are
// addressed by their fixed numbers; GBASE-relative addresses are written for a
// graphics base of 0x08000000 and relocated at start.
constinit REGHOST_RESOURCE REGHOST_ChipsetResources[REGHOST_ROW_COUNT + 1] = {
    {IO_FIXED | 0xFFFF, 0x80, 1, 0},               // 0: diagnostic port
    {IO_FIXED | 0x8000, 0x3E0, 2, 0},              // 1
    {MEM_FIXED | 0x8000, 0xD0000, 0x10000, 0},     // 2
    {IO_FIXED | 0x2000, 0x3F8, 8, 0},              // 3: serial port 1
    {IO_FIXED | 0x2000, 0x2F8, 8, 0},              // 4: serial port 2
    {IO_FIXED | 0x2000, 0x40, 4, 0},               // 5: interval timer
    {IO_FIXED | 0x4000, 0x61, 1, 0},               // 6: port B
    {IO_FIXED | 0x4000, 0x60, 1, 0},               // 7: keyboard data
    {IO_FIXED | 0x4000, 0x64, 1, 0},               // 8: keyboard status
    {IO_FIXED | 0x1000, 0x1F0, 8, 0},              // 9: primary disk
    {IO_FIXED | 0x1000, 0x3F0, 8, 0},              // 10
    {IO_FIXED | 0x1000, 0x170, 8, 0},              // 11: secondary disk
    {IO_FIXED | 0x1000, 0x370, 8, 0},              // 12
    {IO_FIXED | 0x0001, 0x3DA, 1, 0},              // 13: VGA input status
    {IO_FIXED | 0x0001, 0x94, 1, 0},               // 14: VGA set-up port
    {IO_FIXED | 0x0001, 0x102, 1, 0},              // 15: VGA option port
    {IO_FIXED | 0x0001, 0x3C3, 1, 0},              // 16: VGA enable
    {IO_FIXED | 0x0001, 0x3C2, 1, 0},              // 17: miscellaneous output, write
    {IO_FIXED | 0x0001, 0x3CC, 1, 0},              // 18: miscellaneous output, read
    {IO_FIXED | 0x0001, 0x3C0, 2, 0},              // 19: attribute controller
    {IO_FIXED | 0x0001, 0x3C6, 1, 0},              // 20: pixel mask
    {IO_FIXED | 0x0001, 0x3C8, 1, 0},              // 21: palette write index
    {IO_FIXED | 0x0001, 0x3C7, 1, 0},              // 22: palette read index
    {IO_FIXED | 0x0001, 0x3C9, 1, 0},              // 23: palette data
    {IO_FIXED | 0x0001, 0x3C4, 1, 0},              // 24: sequencer index (data at 0x3C5)
    {IO_FIXED | 0xFFFF, 0x22, 2, 0},               // 25: chipset configuration 0x22/0x23
    {IO_FIXED | 0x0001, 0x3CE, 2, 0},              // 26: graphics controller
    {IO_FIXED | 0xFFFF, 0x3D4, 2, 0},              // 27: CRTC 0x3D4/0x3D5
    {IO_FIXED | 0xFFFF, 0xEA, 2, 0},               // 28: external dot-clock selection
    {IO_FIXED | 0xFFFF, 0x370, 2, 0},              // 29: external dot-clock selection
    {IO_FIXED | 0x0020, 0x378, 2, 0},              // 30: parallel port 1
    {IO_LATE | 0x0010, 0, 8, 0},                   // 31: TFT interface ports, base from the chipset
    {IO_FIXED | 0xFFFF, 0xCF8, 8, 0},              // 32: PCI configuration 0xCF8/0xCFC
    {MEM_GBASE | 0x0004, 0x08400000, 0x40000, 0},  // 33: graphics-engine registers
    {MEM_GBASE | 0x0400, 0x084D4000, 0x1000, 0},   // 34
    {MEM_GBASE | 0x0200, 0x084D5000, 0x1000, 0},   // 35
    {MEM_GBASE | 0x0010, 0x084CC000, 0x1000, 0},   // 36: TFT interface registers
    {MEM_GBASE | 0x0004, 0x08C00000, 0x400000, 0},  // 37: graphics-engine data port
    {MEM_GBASE | 0x0080, 0x08600000, 0x40000, 0},   // 38
    {MEM_GBASE | 0x0100, 0x08480000, 0x40000, 0},   // 39
    {MEM_GBASE | 0x0040, 0x084CA000, 0x1000, 0},    // 40: TV encoder registers
    {MEM_FIXED | 0x0001, 0xA0000, 0x20000, 0},      // 41: VGA memory window
    {MEM_GBASE | 0x0004, 0x08800000, 0x400000, 0},  // 42: frame buffer, request handlers' view
    {MEM_GBASE | 0x0004, 0x08000000, 0x400000, 0},  // 43: frame buffer, cursor module's view
    {REGHOST_END, 0, 0, 0},
};

void REGHOST_Init(ULONG ulSelection) {
  REGHOST_RESOURCE* psRows = REGHOST_ChipsetResources;

  // Fixed ranges first: the VGA and chipset ports are needed to find the rest.
  for (ULONG i = 0; psRows[i].ulFlags != REGHOST_END; ++i) {
    if ((psRows[i].ulFlags & REGHOST_FIXED) && IsSelected(psRows[i], ulSelection)) {
      MapRow(psRows[i]);
    }
  }
  if (!FixedRowsMapped()) {
    return;
  }

  // Let the chipset decode the VGA ranges.
  const ULONG_PTR ulConfig = Port(REGHOST_ROW_CONFIG);
  REGHOST_IndexedIOWrite8(ulConfig, CONFIG_VGA_DECODE,
                          REGHOST_IndexedIORead8(ulConfig, CONFIG_VGA_DECODE) | 0x03);

  // Wake the VGA core through its set-up and option ports.
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(Port(REGHOST_ROW_VGA_SETUP)), VGA_SETUP_ENTER);
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(Port(REGHOST_ROW_VGA_OPTION)),
                          VGA_OPTION_ENABLE);
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(Port(REGHOST_ROW_VGA_SETUP)), VGA_SETUP_LEAVE);
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(Port(REGHOST_ROW_VGA_ENABLE)), VGA_ENABLE);

  // Colour addressing (CRTC at 0x3D4) and RAM access enabled.
  const UCHAR ucMisc =
      VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(Port(REGHOST_ROW_MISC_READ)));
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(Port(REGHOST_ROW_MISC_WRITE)),
                          static_cast<UCHAR>(ucMisc | 0x03));

  // Unlock the sequencer and CRTC extension registers.
  REGHOST_IndexedIOWrite8(Port(REGHOST_ROW_SEQUENCER), SEQ_EXTENSION_UNLOCK, SEQ_UNLOCK_KEY);
  const ULONG_PTR ulCrtc = Port(REGHOST_ROW_CRTC);
  REGHOST_IndexedIOWrite8(ulCrtc, CRTC_EXTENSION_UNLOCK,
                          REGHOST_IndexedIORead8(ulCrtc, CRTC_EXTENSION_UNLOCK) | 0x80);
  REGHOST_IndexedIOWrite8(ulCrtc, CRTC_EXTENSION_1A,
                          REGHOST_IndexedIORead8(ulCrtc, CRTC_EXTENSION_1A) & 0xFE);

  const ULONG ulGBase = REGHOST_GetGBASE();
  psRows[REGHOST_ROW_TFT_PORTS].ulPhysical =
      REGHOST_IndexedIORead2x8(ulConfig, CONFIG_TFT_PORT_BASE);
  const ULONG ulFrameBufferSize = HWFRAMEBUF_GetFrameBufferSize();

  for (ULONG i = 0; psRows[i].ulFlags != REGHOST_END; ++i) {
    if (psRows[i].ulFlags & REGHOST_GBASE_RELATIVE) {
      psRows[i].ulPhysical = (psRows[i].ulPhysical & GBASE_OFFSET_MASK) + ulGBase;
    }
  }
  psRows[REGHOST_ROW_FRAMEBUFFER].ulLength = ulFrameBufferSize;
  psRows[REGHOST_ROW_FRAMEBUFFER_LOW].ulLength = ulFrameBufferSize;

  // Ranges whose address had to be worked out first. A port block strapped over
  // the chip's fixed ports cannot reach its device and stays unmapped: its
  // module then finds it unreachable.
  for (ULONG i = 0; psRows[i].ulFlags != REGHOST_END; ++i) {
    if (!(psRows[i].ulFlags & REGHOST_FIXED) && IsSelected(psRows[i], ulSelection) &&
        !((psRows[i].ulFlags & REGHOST_IO) && ReachesFixedPorts(psRows[i]))) {
      MapRow(psRows[i]);
    }
  }

  for (ULONG i = 0; psRows[i].ulFlags != REGHOST_END; ++i) {
    if (!IsSelected(psRows[i], ulSelection)) {
      psRows[i].ulVirtual = 0;
    }
  }
}

ULONG REGHOST_CheckMappings() {
  if (!FixedRowsMapped() || Port(REGHOST_ROW_GE_REGISTERS) == 0) {
    return 0;
  }
  // Without display memory the frame-buffer views have nothing to map, and no
  // request reaches them.
  for (const ULONG ulRow : FRAMEBUFFER_ROWS) {
    if (REGHOST_ChipsetResources[ulRow].ulLength != 0 && Port(ulRow) == 0) {
      return 0;
    }
  }
  return 1;
}

ULONG REGHOST_GetGBASE() {
  const UCHAR ucValue = REGHOST_IndexedIORead8(Port(REGHOST_ROW_CRTC), CRTC_GBASE);
  return static_cast<ULONG>((ucValue | 0x08) & 0xFF) << 24;
}

UCHAR REGHOST_IndexedIORead8(ULONG_PTR ulPort, UCHAR ucIndex) {
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(ulPort), ucIndex);
  return VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(ulPort + 1));
}

void REGHOST_IndexedIOWrite8(ULONG_PTR ulPort, UCHAR ucIndex, UCHAR ucValue) {
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(ulPort), ucIndex);
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(ulPort + 1), ucValue);
}

ULONG REGHOST_IndexedIORead32(ULONG_PTR ulPort, ULONG ulAddress) {
  VideoPortWritePortUlong(reinterpret_cast<PULONG>(ulPort), ulAddress);
  return VideoPortReadPortUlong(reinterpret_cast<PULONG>(ulPort + 4));
}

USHORT REGHOST_IndexedIORead2x8(ULONG_PTR ulPort, UCHAR ucIndex) {
  // The data port steps to the next register after each read.
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(ulPort), ucIndex);
  const UCHAR ucLow = VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(ulPort + 1));
  const UCHAR ucHigh = VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(ulPort + 1));
  return static_cast<USHORT>(ucLow | (ucHigh << 8));
}

void REGHOST_TFTInterfaceWrite16(ULONG_PTR ulPort, USHORT usIndex, USHORT usValue) {
  VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(ulPort), usIndex);
  VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(ulPort + 4), usValue);
}

ULONG_PTR OSAL_IOMap(ULONG ulPort, ULONG ulLength) {
  return MapRange(ulPort, ulLength, VIDEO_MEMORY_SPACE_IO);
}

ULONG_PTR OSAL_MemoryMap(ULONG ulPhysical, ULONG ulLength) {
  return MapRange(ulPhysical, ulLength, VIDEO_MEMORY_SPACE_MEMORY);
}

}  // extern "C"

static_assert(sizeof(REGHOST_ChipsetResources) / sizeof(REGHOST_RESOURCE) == REGHOST_ROW_COUNT + 1,
              "44 rows and the end row");
#if defined(ORVA_TARGET) && !defined(_WIN64)
static_assert(sizeof(REGHOST_RESOURCE) == 16, "four 32-bit fields on the 32-bit target");
#endif
