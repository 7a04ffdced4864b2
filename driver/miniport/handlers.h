// Request handlers of the miniport frame and what they share.
#pragma once
#include "miniport/miniport.h"

// Every handler checks the buffer lengths first, then does its work, and
// stores a Win32 status in the request's status block.
typedef void (*DRIVER_HANDLER)(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);

// Mode walk shared by the count at discovery and the mode list: calls the
// depth check for every row the chip has, and (when psList is not null)
// writes up to ulCapacity descriptions. Returns the number of modes offered.
ULONG DRIVER_WalkModes(PVIDEO_MODE_INFORMATION psList, ULONG ulCapacity);

// Whether a surface of that size and depth, with the pointer area behind it,
// fits a frame buffer of ulFrameBufferSize bytes.
bool DRIVER_SurfaceFits(ULONG ulWidth, ULONG ulHeight, ULONG ulBpp, ULONG ulFrameBufferSize);

// Standard video requests.
void DRIVER_QueryAvailModes(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_QueryNumAvailModes(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_QueryCurrentMode(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_SetCurrentMode(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_ResetDevice(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_MapVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_UnmapVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_ShareVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_UnshareVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_SetColorRegisters(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_EnablePointer(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_DisablePointer(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_QueryPointerCapabilities(HW_DEVICE_EXTENSION* psExtension,
                                     PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_SetPointerAttributes(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_SetPointerPosition(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_QueryPointerPosition(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);

// Private requests.
void DRIVER_MemoryMap(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_IOMap(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_ReadPortUchar(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_ReadPortUshort(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_ReadPortUlong(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_WritePortUchar(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_WritePortUshort(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_WritePortUlong(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_Nop(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);
void DRIVER_QueryFrameBufferFree(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket);

inline void DRIVER_Complete(PVIDEO_REQUEST_PACKET psPacket, ULONG ulStatus) {
  psPacket->StatusBlock->Status = static_cast<VP_STATUS>(ulStatus);
}

// Frame-buffer offsets of the pointer area behind the visible surface.
constexpr ULONG DRIVER_POINTER_AREA_ALIGN = 0x800;
constexpr ULONG DRIVER_POINTER_SHAPE_SIZE = 0x400;
constexpr ULONG DRIVER_SHIFTED_MASK1 = 0x800;
constexpr ULONG DRIVER_SHIFTED_MASK2 = 0xC00;
constexpr ULONG DRIVER_FREE_MEMORY = 0x1400;
// Room the pointer area needs behind the visible surface, alignment included.
constexpr ULONG DRIVER_POINTER_AREA_MARGIN = 8192;
