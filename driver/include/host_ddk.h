// Host declarations of the video port library's types, records and functions:
// the same names and record layouts as the Windows DDK, with ULONG 32 bits.
// The hosted video port library (platform/) implements the functions.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void VOID;
typedef void* PVOID;
typedef uint8_t UCHAR, *PUCHAR;
typedef int8_t CHAR;
typedef uint16_t USHORT, *PUSHORT;
typedef int16_t SHORT;
typedef uint32_t ULONG, *PULONG;
typedef int32_t LONG;
typedef uint64_t ULONGLONG;
typedef int64_t LONGLONG;
typedef uintptr_t ULONG_PTR;
typedef uint8_t BOOLEAN;
typedef char16_t WCHAR, *PWSTR;
typedef void* HANDLE;
typedef LONG VP_STATUS;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define NTAPI
#define IN
#define OUT
#define OPTIONAL

// 8-byte aligned inside records on every build, as the Windows ABI lays it out.
typedef union alignas(8) _LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  } u;
  struct {
    ULONG LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER, PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;

typedef enum _INTERFACE_TYPE { Internal = 0, Isa = 1 } INTERFACE_TYPE;
typedef enum _KINTERRUPT_MODE { LevelSensitive = 0, Latched = 1 } KINTERRUPT_MODE;

typedef struct _EMULATOR_ACCESS_ENTRY* PEMULATOR_ACCESS_ENTRY;

typedef struct _VIDEO_PORT_CONFIG_INFO {
  ULONG Length;
  ULONG SystemIoBusNumber;
  INTERFACE_TYPE AdapterInterfaceType;
  ULONG BusInterruptLevel;
  ULONG BusInterruptVector;
  KINTERRUPT_MODE InterruptMode;
  ULONG NumEmulatorAccessEntries;
  PEMULATOR_ACCESS_ENTRY EmulatorAccessEntries;
  ULONG_PTR EmulatorAccessEntriesContext;
  PHYSICAL_ADDRESS VdmPhysicalVideoMemoryAddress;
  ULONG VdmPhysicalVideoMemoryLength;
  ULONG HardwareStateSize;
  ULONG DmaChannel;
  ULONG DmaPort;
  UCHAR DmaShareable;
  UCHAR InterruptShareable;
  BOOLEAN Master;
  ULONG DmaWidth;
  ULONG DmaSpeed;
  BOOLEAN bMapBuffers;
  BOOLEAN NeedPhysicalAddresses;
  BOOLEAN DemandMode;
  ULONG MaximumTransferLength;
  ULONG NumberOfPhysicalBreaks;
  BOOLEAN ScatterGather;
  ULONG MaximumScatterGatherChunkSize;
  PVOID VideoPortGetProcAddress;
  PWSTR DriverRegistryPath;
  ULONGLONG SystemMemorySize;
} VIDEO_PORT_CONFIG_INFO, *PVIDEO_PORT_CONFIG_INFO;

typedef struct _STATUS_BLOCK {
  union {
    VP_STATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
} STATUS_BLOCK, *PSTATUS_BLOCK;

typedef struct _VIDEO_REQUEST_PACKET {
  ULONG IoControlCode;
  PSTATUS_BLOCK StatusBlock;
  PVOID InputBuffer;
  ULONG InputBufferLength;
  PVOID OutputBuffer;
  ULONG OutputBufferLength;
} VIDEO_REQUEST_PACKET, *PVIDEO_REQUEST_PACKET;

typedef VP_STATUS(NTAPI* PVIDEO_HW_FIND_ADAPTER)(PVOID HwDeviceExtension, PVOID HwContext,
                                                 PWSTR ArgumentString,
                                                 PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again);
typedef BOOLEAN(NTAPI* PVIDEO_HW_INITIALIZE)(PVOID HwDeviceExtension);
typedef BOOLEAN(NTAPI* PVIDEO_HW_INTERRUPT)(PVOID HwDeviceExtension);
typedef BOOLEAN(NTAPI* PVIDEO_HW_START_IO)(PVOID HwDeviceExtension,
                                           PVIDEO_REQUEST_PACKET RequestPacket);
typedef BOOLEAN(NTAPI* PVIDEO_HW_RESET_HW)(PVOID HwDeviceExtension, ULONG Columns, ULONG Rows);
typedef VOID(NTAPI* PVIDEO_HW_TIMER)(PVOID HwDeviceExtension);

typedef struct _VIDEO_HW_INITIALIZATION_DATA {
  ULONG HwInitDataSize;
  INTERFACE_TYPE AdapterInterfaceType;
  PVIDEO_HW_FIND_ADAPTER HwFindAdapter;
  PVIDEO_HW_INITIALIZE HwInitialize;
  PVIDEO_HW_INTERRUPT HwInterrupt;
  PVIDEO_HW_START_IO HwStartIO;
  ULONG HwDeviceExtensionSize;
  ULONG StartingDeviceNumber;
  PVIDEO_HW_RESET_HW HwResetHw;
  PVIDEO_HW_TIMER HwTimer;
  // Windows 2000 and later; the library calls none of these.
  PVOID HwStartDma;
  PVOID HwSetPowerState;
  PVOID HwGetPowerState;
  PVOID HwGetVideoChildDescriptor;
  PVOID HwQueryInterface;
  ULONG HwChildDeviceExtensionSize;
  PVOID HwLegacyResourceList;
  ULONG HwLegacyResourceCount;
  PVOID HwGetLegacyResources;
  BOOLEAN AllowEarlyEnumeration;
  ULONG Reserved;  // Windows XP
} VIDEO_HW_INITIALIZATION_DATA, *PVIDEO_HW_INITIALIZATION_DATA;

// The record sizes the video port library accepts: the NT 4.0, Windows 2000 and
// Windows XP layouts.
#define SIZE_OF_NT4_VIDEO_HW_INITIALIZATION_DATA offsetof(VIDEO_HW_INITIALIZATION_DATA, HwStartDma)
#define SIZE_OF_W2K_VIDEO_HW_INITIALIZATION_DATA offsetof(VIDEO_HW_INITIALIZATION_DATA, Reserved)
#define SIZE_OF_WXP_VIDEO_HW_INITIALIZATION_DATA \
  (SIZE_OF_W2K_VIDEO_HW_INITIALIZATION_DATA + sizeof(ULONG))

typedef VP_STATUS(NTAPI* PMINIPORT_GET_REGISTRY_ROUTINE)(PVOID HwDeviceExtension, PVOID Context,
                                                         PWSTR ValueName, PVOID ValueData,
                                                         ULONG ValueLength);

// Standard video records.
typedef struct _VIDEO_MODE {
  ULONG RequestedMode;
} VIDEO_MODE, *PVIDEO_MODE;

typedef struct _VIDEO_MODE_INFORMATION {
  ULONG Length;
  ULONG ModeIndex;
  ULONG VisScreenWidth;
  ULONG VisScreenHeight;
  ULONG ScreenStride;
  ULONG NumberOfPlanes;
  ULONG BitsPerPlane;
  ULONG Frequency;
  ULONG XMillimeter;
  ULONG YMillimeter;
  ULONG NumberRedBits;
  ULONG NumberGreenBits;
  ULONG NumberBlueBits;
  ULONG RedMask;
  ULONG GreenMask;
  ULONG BlueMask;
  ULONG AttributeFlags;
  ULONG VideoMemoryBitmapWidth;
  ULONG VideoMemoryBitmapHeight;
  ULONG DriverSpecificAttributeFlags;
} VIDEO_MODE_INFORMATION, *PVIDEO_MODE_INFORMATION;

typedef struct _VIDEO_NUM_MODES {
  ULONG NumModes;
  ULONG ModeInformationLength;
} VIDEO_NUM_MODES, *PVIDEO_NUM_MODES;

typedef struct _VIDEO_MEMORY {
  PVOID RequestedVirtualAddress;
} VIDEO_MEMORY, *PVIDEO_MEMORY;

typedef struct _VIDEO_MEMORY_INFORMATION {
  PVOID VideoRamBase;
  ULONG VideoRamLength;
  PVOID FrameBufferBase;
  ULONG FrameBufferLength;
} VIDEO_MEMORY_INFORMATION, *PVIDEO_MEMORY_INFORMATION;

typedef struct _VIDEO_SHARE_MEMORY {
  HANDLE ProcessHandle;
  ULONG ViewOffset;
  ULONG ViewSize;
  PVOID RequestedVirtualAddress;
} VIDEO_SHARE_MEMORY, *PVIDEO_SHARE_MEMORY;

typedef struct _VIDEO_SHARE_MEMORY_INFORMATION {
  ULONG SharedViewOffset;
  ULONG SharedViewSize;
  PVOID VirtualAddress;
} VIDEO_SHARE_MEMORY_INFORMATION, *PVIDEO_SHARE_MEMORY_INFORMATION;

typedef struct _VIDEO_CLUTDATA {
  UCHAR Red;
  UCHAR Green;
  UCHAR Blue;
  UCHAR Unused;
} VIDEO_CLUTDATA, *PVIDEO_CLUTDATA;

typedef struct {
  USHORT NumEntries;
  USHORT FirstEntry;
  union {
    VIDEO_CLUTDATA RgbArray;
    ULONG RgbLong;
  } LookupTable[1];
} VIDEO_CLUT, *PVIDEO_CLUT;

typedef struct _VIDEO_POINTER_ATTRIBUTES {
  ULONG Flags;
  ULONG Width;
  ULONG Height;
  ULONG WidthInBytes;
  ULONG Enable;
  SHORT Column;
  SHORT Row;
  UCHAR Pixels[1];
} VIDEO_POINTER_ATTRIBUTES, *PVIDEO_POINTER_ATTRIBUTES;

typedef struct _VIDEO_POINTER_POSITION {
  SHORT Column;
  SHORT Row;
} VIDEO_POINTER_POSITION, *PVIDEO_POINTER_POSITION;

typedef struct _VIDEO_POINTER_CAPABILITIES {
  ULONG Flags;
  ULONG MaxWidth;
  ULONG MaxHeight;
  ULONG HWPtrBitmapStart;
  ULONG HWPtrBitmapEnd;
} VIDEO_POINTER_CAPABILITIES, *PVIDEO_POINTER_CAPABILITIES;

#define VIDEO_MODE_ASYNC_POINTER 0x01
#define VIDEO_MODE_MONO_POINTER 0x02
#define VIDEO_MODE_COLOR_POINTER 0x04
#define VIDEO_MODE_ANIMATE_START 0x08
#define VIDEO_MODE_ANIMATE_UPDATE 0x10

#define VIDEO_MODE_COLOR 0x0001
#define VIDEO_MODE_GRAPHICS 0x0002
#define VIDEO_MODE_PALETTE_DRIVEN 0x0004
#define VIDEO_MODE_MANAGED_PALETTE 0x0008

#define VIDEO_MEMORY_SPACE_MEMORY 0x00
#define VIDEO_MEMORY_SPACE_IO 0x01
#define VIDEO_MEMORY_SPACE_USER_MODE 0x02
#define VIDEO_MEMORY_SPACE_DENSE 0x04
#define VIDEO_MEMORY_SPACE_P6CACHE 0x08

// Control codes: device type 0x23, buffered, any access.
#define ORVA_VIDEO_CTL(function) ((0x23u << 16) | ((function) << 2))
#define IOCTL_VIDEO_QUERY_AVAIL_MODES ORVA_VIDEO_CTL(0x100)
#define IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES ORVA_VIDEO_CTL(0x101)
#define IOCTL_VIDEO_QUERY_CURRENT_MODE ORVA_VIDEO_CTL(0x102)
#define IOCTL_VIDEO_SET_CURRENT_MODE ORVA_VIDEO_CTL(0x103)
#define IOCTL_VIDEO_RESET_DEVICE ORVA_VIDEO_CTL(0x104)
#define IOCTL_VIDEO_SET_COLOR_REGISTERS ORVA_VIDEO_CTL(0x107)
#define IOCTL_VIDEO_ENABLE_POINTER ORVA_VIDEO_CTL(0x10e)
#define IOCTL_VIDEO_DISABLE_POINTER ORVA_VIDEO_CTL(0x10f)
#define IOCTL_VIDEO_SET_POINTER_ATTR ORVA_VIDEO_CTL(0x110)
#define IOCTL_VIDEO_QUERY_POINTER_ATTR ORVA_VIDEO_CTL(0x111)
#define IOCTL_VIDEO_SET_POINTER_POSITION ORVA_VIDEO_CTL(0x112)
#define IOCTL_VIDEO_QUERY_POINTER_POSITION ORVA_VIDEO_CTL(0x113)
#define IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES ORVA_VIDEO_CTL(0x114)
#define IOCTL_VIDEO_MAP_VIDEO_MEMORY ORVA_VIDEO_CTL(0x116)
#define IOCTL_VIDEO_UNMAP_VIDEO_MEMORY ORVA_VIDEO_CTL(0x117)
#define IOCTL_VIDEO_SHARE_VIDEO_MEMORY ORVA_VIDEO_CTL(0x11d)
#define IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY ORVA_VIDEO_CTL(0x11e)

extern "C" {
ULONG NTAPI VideoPortInitialize(PVOID Argument1, PVOID Argument2,
                                PVIDEO_HW_INITIALIZATION_DATA HwInitializationData,
                                PVOID HwContext);
VP_STATUS NTAPI VideoPortGetRegistryParameters(PVOID HwDeviceExtension, PWSTR ParameterName,
                                               UCHAR IsParameterFileName,
                                               PMINIPORT_GET_REGISTRY_ROUTINE CallbackRoutine,
                                               PVOID Context);
VP_STATUS NTAPI VideoPortSetRegistryParameters(PVOID HwDeviceExtension, PWSTR ValueName,
                                               PVOID ValueData, ULONG ValueLength);
PVOID NTAPI VideoPortGetDeviceBase(PVOID HwDeviceExtension, PHYSICAL_ADDRESS IoAddress,
                                   ULONG NumberOfUchars, UCHAR InIoSpace);
VP_STATUS NTAPI VideoPortMapMemory(PVOID HwDeviceExtension, PHYSICAL_ADDRESS PhysicalAddress,
                                   PULONG Length, PULONG InIoSpace, PVOID* VirtualAddress);
VP_STATUS NTAPI VideoPortUnmapMemory(PVOID HwDeviceExtension, PVOID VirtualAddress,
                                     HANDLE ProcessHandle);
UCHAR NTAPI VideoPortReadPortUchar(PUCHAR Port);
USHORT NTAPI VideoPortReadPortUshort(PUSHORT Port);
ULONG NTAPI VideoPortReadPortUlong(PULONG Port);
VOID NTAPI VideoPortWritePortUchar(PUCHAR Port, UCHAR Value);
VOID NTAPI VideoPortWritePortUshort(PUSHORT Port, USHORT Value);
VOID NTAPI VideoPortWritePortUlong(PULONG Port, ULONG Value);
UCHAR NTAPI VideoPortReadRegisterUchar(PUCHAR Register);
USHORT NTAPI VideoPortReadRegisterUshort(PUSHORT Register);
ULONG NTAPI VideoPortReadRegisterUlong(PULONG Register);
VOID NTAPI VideoPortWriteRegisterUchar(PUCHAR Register, UCHAR Value);
VOID NTAPI VideoPortWriteRegisterUshort(PUSHORT Register, USHORT Value);
VOID NTAPI VideoPortWriteRegisterUlong(PULONG Register, ULONG Value);
VOID NTAPI VideoPortStallExecution(ULONG Microseconds);
VOID NTAPI VideoPortZeroMemory(PVOID Destination, ULONG Length);
}
