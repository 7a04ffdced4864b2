// Request dispatch, the mode queries and reset.
#include "hwge/hwge.h"
#include "miniport/handlers.h"
#include "reghost/reghost.h"

namespace {

// Graphics-engine registers reset puts back to their idle state.
constexpr ULONG GE_REGISTER_04 = 0x04;
constexpr ULONG GE_REGISTER_34 = 0x34;

constexpr ULONG SCREEN_WIDTH_MM = 320;
constexpr ULONG SCREEN_HEIGHT_MM = 240;

struct DISPATCH_ENTRY {
  ULONG ulCode;
  DRIVER_HANDLER pfctHandler;
};

constexpr DISPATCH_ENTRY psDispatchTable[] = {
    {IOCTL_VIDEO_QUERY_AVAIL_MODES, DRIVER_QueryAvailModes},
    {IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, DRIVER_QueryNumAvailModes},
    {IOCTL_VIDEO_QUERY_CURRENT_MODE, DRIVER_QueryCurrentMode},
    {IOCTL_VIDEO_SET_CURRENT_MODE, DRIVER_SetCurrentMode},
    {IOCTL_VIDEO_RESET_DEVICE, DRIVER_ResetDevice},
    {IOCTL_VIDEO_SET_COLOR_REGISTERS, DRIVER_SetColorRegisters},
    {IOCTL_VIDEO_ENABLE_POINTER, DRIVER_EnablePointer},
    {IOCTL_VIDEO_DISABLE_POINTER, DRIVER_DisablePointer},
    {IOCTL_VIDEO_SET_POINTER_ATTR, DRIVER_SetPointerAttributes},
    {IOCTL_VIDEO_SET_POINTER_POSITION, DRIVER_SetPointerPosition},
    {IOCTL_VIDEO_QUERY_POINTER_POSITION, DRIVER_QueryPointerPosition},
    {IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, DRIVER_QueryPointerCapabilities},
    {IOCTL_VIDEO_MAP_VIDEO_MEMORY, DRIVER_MapVideoMemory},
    {IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, DRIVER_UnmapVideoMemory},
    {IOCTL_VIDEO_SHARE_VIDEO_MEMORY, DRIVER_ShareVideoMemory},
    {IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, DRIVER_UnshareVideoMemory},
    {IOCTL_DRIVER_MEMORY_MAP, DRIVER_MemoryMap},
    {IOCTL_DRIVER_IO_MAP, DRIVER_IOMap},
    {IOCTL_DRIVER_READ_PORT_UCHAR, DRIVER_ReadPortUchar},
    {IOCTL_DRIVER_READ_PORT_USHORT, DRIVER_ReadPortUshort},
    {IOCTL_DRIVER_READ_PORT_ULONG, DRIVER_ReadPortUlong},
    {IOCTL_DRIVER_WRITE_PORT_UCHAR, DRIVER_WritePortUchar},
    {IOCTL_DRIVER_WRITE_PORT_USHORT, DRIVER_WritePortUshort},
    {IOCTL_DRIVER_WRITE_PORT_ULONG, DRIVER_WritePortUlong},
    {IOCTL_DRIVER_NOP, DRIVER_Nop},
    {IOCTL_DRIVER_QUERY_FB_FREE, DRIVER_QueryFrameBufferFree},
};

}  // namespace

extern "C" {

constexpr ULONG pulFrequencyList[DRIVER_FREQUENCY_COUNT] = {60, 70, 75, 80, 85, 90, 95, 100};
constexpr ULONG pulBppList[DRIVER_BPP_COUNT] = {8, 16, 24};

BOOLEAN NTAPI ORVAStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET RequestPacket) {
  DRIVER_ulDeviceExtension = reinterpret_cast<ULONG_PTR>(HwDeviceExtension);
  HW_DEVICE_EXTENSION* psExtension = static_cast<HW_DEVICE_EXTENSION*>(HwDeviceExtension);

  for (const DISPATCH_ENTRY& sEntry : psDispatchTable) {
    if (sEntry.ulCode == RequestPacket->IoControlCode) {
      sEntry.pfctHandler(psExtension, RequestPacket);
      return TRUE;
    }
  }
  DRIVER_Complete(RequestPacket, ORVA_ERROR_INVALID_FUNCTION);
  return TRUE;
}

void InitModeStructure(PVIDEO_MODE_INFORMATION psMode, ULONG ulModeNumber, ULONG ulWidth,
                       ULONG ulHeight, ULONG ulBpp, ULONG ulFrequency) {
  // The request buffer is pool memory, not zeroed: a field left alone would hand
  // the display driver whatever was there before.
  VideoPortZeroMemory(psMode, sizeof(*psMode));
  psMode->Length = sizeof(VIDEO_MODE_INFORMATION);
  psMode->ModeIndex = ulModeNumber;
  psMode->VisScreenWidth = ulWidth;
  psMode->VisScreenHeight = ulHeight;
  psMode->ScreenStride = HWGE_GetNearestPitch((ulBpp >> 3) * ulWidth);
  psMode->NumberOfPlanes = 1;
  psMode->BitsPerPlane = ulBpp;
  psMode->Frequency = ulFrequency;
  psMode->XMillimeter = SCREEN_WIDTH_MM;
  psMode->YMillimeter = SCREEN_HEIGHT_MM;
  psMode->NumberRedBits = 8;
  psMode->NumberGreenBits = 8;
  psMode->NumberBlueBits = 8;
  switch (ulBpp) {
    case 8:
      psMode->RedMask = 0;
      psMode->GreenMask = 0;
      psMode->BlueMask = 0;
      psMode->AttributeFlags = VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS | VIDEO_MODE_PALETTE_DRIVEN |
                               VIDEO_MODE_MANAGED_PALETTE;
      break;
    case 16:
      psMode->RedMask = 0xF800;
      psMode->GreenMask = 0x07E0;
      psMode->BlueMask = 0x001F;
      psMode->AttributeFlags = VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS;
      break;
    case 24:
      psMode->RedMask = 0xFF0000;
      psMode->GreenMask = 0x00FF00;
      psMode->BlueMask = 0x0000FF;
      psMode->AttributeFlags = VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS;
      break;
    default:
      // No mode set yet: nothing is displayed, no pixel format to describe.
      psMode->RedMask = 0;
      psMode->GreenMask = 0;
      psMode->BlueMask = 0;
      psMode->AttributeFlags = 0;
      break;
  }
}

}  // extern "C"

void DRIVER_QueryNumAvailModes(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->OutputBufferLength < sizeof(VIDEO_NUM_MODES)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  psPacket->StatusBlock->Information = sizeof(VIDEO_NUM_MODES);
  PVIDEO_NUM_MODES psModes = static_cast<PVIDEO_NUM_MODES>(psPacket->OutputBuffer);
  psModes->NumModes = psExtension->ulNumModes;
  psModes->ModeInformationLength = sizeof(VIDEO_MODE_INFORMATION);
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_QueryAvailModes(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  const ULONG ulModes = psExtension->ulNumModes;
  const ULONGLONG ullNeeded = static_cast<ULONGLONG>(ulModes) * sizeof(VIDEO_MODE_INFORMATION);
  if (psPacket->OutputBufferLength < ullNeeded) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  psPacket->StatusBlock->Information = static_cast<ULONG>(ullNeeded);
  // The walk is bounded by the count, so a list can never run past the buffer.
  DRIVER_WalkModes(static_cast<PVIDEO_MODE_INFORMATION>(psPacket->OutputBuffer), ulModes);
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_QueryCurrentMode(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->OutputBufferLength < sizeof(VIDEO_MODE_INFORMATION)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  psPacket->StatusBlock->Information = sizeof(VIDEO_MODE_INFORMATION);
  InitModeStructure(static_cast<PVIDEO_MODE_INFORMATION>(psPacket->OutputBuffer),
                    psExtension->ulCurrentMode, psExtension->ulCurrentWidth,
                    psExtension->ulCurrentHeight, psExtension->ulCurrentBpp,
                    psExtension->ulCurrentFrequency);
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_ResetDevice(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  const ULONG_PTR ulRegisters = REGHOST_GetVirtual(REGHOST_ROW_GE_REGISTERS);
  if (ulRegisters != 0) {
    VideoPortWriteRegisterUlong(reinterpret_cast<PULONG>(ulRegisters + GE_REGISTER_04), 0);
    VideoPortWriteRegisterUlong(reinterpret_cast<PULONG>(ulRegisters + GE_REGISTER_34), 0xFFFFFFFF);
  }
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}
