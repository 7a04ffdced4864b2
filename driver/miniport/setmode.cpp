// The set-mode request and the layout of display memory behind the screen.
#include "hwcrtc/hwcrtc.h"
#include "hwcursor/hwcursor.h"
#include "hwge/hwge.h"
#include "miniport/handlers.h"
#include "reghost/reghost.h"

namespace {

constexpr ULONG DEPTH_INDEX_NONE = 3;  // the two depth bits can name a fourth depth; none exists

constexpr ULONG POINTER_COLOR_BLACK = 0x000000;
constexpr ULONG POINTER_COLOR_WHITE = 0xFFFFFF;

void ClearSurface(ULONG ulBytes) {
  const ULONG_PTR ulFrameBuffer = REGHOST_GetVirtual(REGHOST_ROW_FRAMEBUFFER);
  if (ulFrameBuffer != 0 && ulBytes != 0) {
    VideoPortZeroMemory(reinterpret_cast<PVOID>(ulFrameBuffer), ulBytes);
  }
}

}  // namespace

extern "C" {
constinit ULONG ulStartFBFree = 0;
}

void DRIVER_SetCurrentMode(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->InputBufferLength < sizeof(VIDEO_MODE)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  const ULONG ulMode = static_cast<const VIDEO_MODE*>(psPacket->InputBuffer)->RequestedMode;
  const ULONG ulOrdinal = ulMode >> 5;
  const ULONG ulDepthIndex = (ulMode >> 3) & 3;
  const ULONG ulRefreshIndex = ulMode & 7;

  // Only a number the mode list handed out is set. Anything else is refused
  // before the hardware, the frame buffer or the current mode is touched.
  ULONG ulWidth = 0;
  ULONG ulHeight = 0;
  ULONG ulOutput = 0;
  ULONG ulClock = 0;
  if (ulDepthIndex == DEPTH_INDEX_NONE ||
      !HWCRTC_GetModeInfo(ulOrdinal, &ulWidth, &ulHeight, &ulOutput, &ulClock) ||
      (ulClock != 0 && ulRefreshIndex != 0) || ulOutput != ulRequiredOutput ||
      !DRIVER_SurfaceFits(ulWidth, ulHeight, pulBppList[ulDepthIndex],
                          psExtension->ulFrameBufferLength)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INVALID_PARAMETER);
    return;
  }

  psExtension->ulCurrentMode = ulMode;
  psExtension->ulCurrentWidth = ulWidth;
  psExtension->ulCurrentHeight = ulHeight;
  psExtension->ulCurrentBpp = pulBppList[ulDepthIndex];
  psExtension->ulCurrentFrequency = pulFrequencyList[ulRefreshIndex];

  const ULONG ulPitch =
      HWGE_GetNearestPitch((psExtension->ulCurrentBpp >> 3) * psExtension->ulCurrentWidth);
  const ULONG ulSurface = psExtension->ulCurrentHeight * ulPitch;

  ClearSurface(ulSurface);
  HWCRTC_MODE sMode;
  sMode.ulOffset = 0;
  sMode.ulWidth = psExtension->ulCurrentWidth;
  sMode.ulHeight = psExtension->ulCurrentHeight;
  sMode.ulPitch = ulPitch;
  sMode.ulBitsPerPixel = psExtension->ulCurrentBpp;
  HWCRTC_InitGraphicMode(&sMode, ulOutput, psExtension->ulCurrentFrequency);
  ClearSurface(ulSurface);

  // Behind the screen: two pointer shapes, the cursor's two shifted masks,
  // then memory the display driver may use.
  const ULONG ulPointerArea =
      (ulSurface + DRIVER_POINTER_AREA_ALIGN - 1) & ~(DRIVER_POINTER_AREA_ALIGN - 1);
  HWCURSOR_Init(ulPointerArea + DRIVER_SHIFTED_MASK1, ulPointerArea + DRIVER_SHIFTED_MASK2);
  HWCURSOR_HideCursor();
  HWCURSOR_ChangeColor(POINTER_COLOR_BLACK, POINTER_COLOR_WHITE);

  ulStartFBFree = ulPointerArea + DRIVER_FREE_MEMORY;
  psExtension->ulPointerShapeOffset = ulPointerArea;
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}
