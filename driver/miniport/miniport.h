// Miniport frame: entry, discovery, request dispatch and handlers.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

struct HW_DEVICE_EXTENSION {
  PHYSICAL_ADDRESS PhysicalFrameBuffer;
  ULONG ulFrameBufferLength;
  ULONG ulPointerShapeOffset;
  ULONG ulNumModes;
  ULONG ulCurrentMode;
  ULONG ulCurrentWidth;
  ULONG ulCurrentHeight;
  ULONG ulCurrentBpp;
  ULONG ulCurrentFrequency;
};
static_assert(sizeof(HW_DEVICE_EXTENSION) == 40, "the device extension is 40 bytes");

// Private request codes: device type 0x8300, functions 0x830 to 0x839.
constexpr ULONG IOCTL_DRIVER_MEMORY_MAP = 0x830020C0;
constexpr ULONG IOCTL_DRIVER_IO_MAP = 0x830020C4;
constexpr ULONG IOCTL_DRIVER_READ_PORT_UCHAR = 0x830020C8;
constexpr ULONG IOCTL_DRIVER_READ_PORT_USHORT = 0x830020CC;
constexpr ULONG IOCTL_DRIVER_READ_PORT_ULONG = 0x830020D0;
constexpr ULONG IOCTL_DRIVER_WRITE_PORT_UCHAR = 0x830020D4;
constexpr ULONG IOCTL_DRIVER_WRITE_PORT_USHORT = 0x830020D8;
constexpr ULONG IOCTL_DRIVER_WRITE_PORT_ULONG = 0x830020DC;
constexpr ULONG IOCTL_DRIVER_NOP = 0x830020E0;
constexpr ULONG IOCTL_DRIVER_QUERY_FB_FREE = 0x830020E4;

struct DRIVER_MAP_REQUEST {
  ULONG ulMapAddress;
  ULONG ulMapLength;
};
struct DRIVER_PORT_REQUEST {
  ULONG ulPortBase;
  ULONG ulPortOffset;
  ULONG ulData;
};
static_assert(sizeof(DRIVER_MAP_REQUEST) == 8 && sizeof(DRIVER_PORT_REQUEST) == 12,
              "private request records");

constexpr ULONG DRIVER_FREQUENCY_COUNT = 8;
constexpr ULONG DRIVER_BPP_COUNT = 3;
extern const ULONG pulFrequencyList[DRIVER_FREQUENCY_COUNT];
extern const ULONG pulBppList[DRIVER_BPP_COUNT];

extern ULONG_PTR DRIVER_ulDeviceExtension;
extern ULONG ulRequiredOutput;
extern ULONG ulStartFBFree;

// The target's DDK headers declare it as well; the host's do not.
// NOLINTNEXTLINE(readability-redundant-declaration)
ULONG NTAPI DriverEntry(PVOID Argument1, PVOID Argument2);
VP_STATUS NTAPI ORVAFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PWSTR ArgumentString,
                                PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again);
BOOLEAN NTAPI ORVAInitialize(PVOID HwDeviceExtension);
BOOLEAN NTAPI ORVAStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET RequestPacket);
VP_STATUS NTAPI HwVidQueryNamedValueCallback(PVOID HwDeviceExtension, PVOID Context,
                                             PWSTR ValueName, PVOID ValueData, ULONG ValueLength);

ULONG CheckModeValidity(ULONG ulWidth, ULONG ulHeight, ULONG ulBpp, ULONG ulOutput);
void InitModeStructure(PVIDEO_MODE_INFORMATION psMode, ULONG ulModeNumber, ULONG ulWidth,
                       ULONG ulHeight, ULONG ulBpp, ULONG ulFrequency);

}  // extern "C"
