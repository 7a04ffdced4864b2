// Frame-buffer mapping, palette and hardware pointer requests.
#include "hwcrtc/hwcrtc.h"
#include "hwcursor/hwcursor.h"
#include "miniport/handlers.h"
#include "reghost/reghost.h"

namespace {

#if defined(ORVA_TARGET) && !defined(_WIN64)
static_assert(sizeof(VIDEO_MEMORY) == 4 && sizeof(VIDEO_MEMORY_INFORMATION) == 16,
              "map records on the 32-bit target");
static_assert(sizeof(VIDEO_SHARE_MEMORY) == 16 && sizeof(VIDEO_SHARE_MEMORY_INFORMATION) == 12,
              "share records on the 32-bit target");
#endif

constexpr ULONG CLUT_HEADER_SIZE = 4;  // NumEntries, FirstEntry
constexpr ULONG CLUT_ENTRY_SIZE = 4;

constexpr ULONG POINTER_MAX_SIZE = 64;
constexpr ULONG POINTER_MAX_SCREEN_WIDTH = 1024;  // no hardware pointer on wider screens
constexpr ULONG POINTER_SHAPE_BYTES = 1024;       // AND plane then XOR plane, 64 x 64 bits each
constexpr ULONG POINTER_PIXELS_OFFSET = 24;
// The record with its one-byte pixel array, padded, plus the shape: 0x41C bytes.
constexpr ULONG POINTER_REQUEST_SIZE = sizeof(VIDEO_POINTER_ATTRIBUTES) + POINTER_SHAPE_BYTES;
static_assert(POINTER_REQUEST_SIZE == 0x41C, "pointer request size");
constexpr ULONG POINTER_BITMAP_AREA = 0x1000;

}  // namespace

void DRIVER_MapVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->OutputBufferLength < sizeof(VIDEO_MEMORY_INFORMATION) ||
      psPacket->InputBufferLength < sizeof(VIDEO_MEMORY)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  PVOID pvAddress =
      static_cast<const VIDEO_MEMORY*>(psPacket->InputBuffer)->RequestedVirtualAddress;
  ULONG ulLength = psExtension->ulFrameBufferLength;
  ULONG ulInIoSpace = VIDEO_MEMORY_SPACE_MEMORY;
  psPacket->StatusBlock->Information = sizeof(VIDEO_MEMORY_INFORMATION);
  const VP_STATUS lStatus = VideoPortMapMemory(psExtension, psExtension->PhysicalFrameBuffer,
                                               &ulLength, &ulInIoSpace, &pvAddress);
  PVIDEO_MEMORY_INFORMATION psInfo = static_cast<PVIDEO_MEMORY_INFORMATION>(psPacket->OutputBuffer);
  VideoPortZeroMemory(psInfo, sizeof(*psInfo));  // padding included: the buffer is not zeroed
  psInfo->VideoRamBase = pvAddress;
  psInfo->VideoRamLength = ulLength;
  psInfo->FrameBufferBase = pvAddress;
  psInfo->FrameBufferLength = ulLength;
  psPacket->StatusBlock->Status = lStatus;
}

void DRIVER_UnmapVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->InputBufferLength < sizeof(VIDEO_MEMORY)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  PVOID pvAddress =
      static_cast<const VIDEO_MEMORY*>(psPacket->InputBuffer)->RequestedVirtualAddress;
  psPacket->StatusBlock->Status = VideoPortUnmapMemory(psExtension, pvAddress, nullptr);
}

void DRIVER_ShareVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->OutputBufferLength < sizeof(VIDEO_SHARE_MEMORY_INFORMATION) ||
      psPacket->InputBufferLength < sizeof(VIDEO_SHARE_MEMORY)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  const VIDEO_SHARE_MEMORY* psShare = static_cast<const VIDEO_SHARE_MEMORY*>(psPacket->InputBuffer);
  const ULONG ulOffset = psShare->ViewOffset;
  ULONG ulLength = psShare->ViewSize;
  PVOID pvAddress = psShare->ProcessHandle;  // the process to map into

  // The view must lie inside the frame buffer; the sum is taken without wrapping.
  const ULONG ulFrameBufferLength = psExtension->ulFrameBufferLength;
  if (ulOffset > ulFrameBufferLength ||
      static_cast<ULONGLONG>(ulOffset) + ulLength > ulFrameBufferLength) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INVALID_PARAMETER);
    return;
  }
  psPacket->StatusBlock->Information = sizeof(VIDEO_SHARE_MEMORY_INFORMATION);
  ULONG ulInIoSpace = VIDEO_MEMORY_SPACE_MEMORY;
  // The whole frame buffer from its start; the caller adds the view offset.
  const VP_STATUS lStatus = VideoPortMapMemory(psExtension, psExtension->PhysicalFrameBuffer,
                                               &ulLength, &ulInIoSpace, &pvAddress);
  PVIDEO_SHARE_MEMORY_INFORMATION psInfo =
      static_cast<PVIDEO_SHARE_MEMORY_INFORMATION>(psPacket->OutputBuffer);
  VideoPortZeroMemory(psInfo, sizeof(*psInfo));  // padding included: the buffer is not zeroed
  psInfo->SharedViewOffset = ulOffset;
  psInfo->VirtualAddress = pvAddress;
  psInfo->SharedViewSize = ulLength;
  psPacket->StatusBlock->Status = lStatus;
}

void DRIVER_UnshareVideoMemory(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->InputBufferLength < sizeof(VIDEO_SHARE_MEMORY)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  const VIDEO_SHARE_MEMORY* psShare = static_cast<const VIDEO_SHARE_MEMORY*>(psPacket->InputBuffer);
  psPacket->StatusBlock->Status =
      VideoPortUnmapMemory(psExtension, psShare->RequestedVirtualAddress, psShare->ProcessHandle);
}

void DRIVER_SetColorRegisters(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->InputBufferLength < CLUT_HEADER_SIZE) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  const VIDEO_CLUT* psClut = static_cast<const VIDEO_CLUT*>(psPacket->InputBuffer);
  const ULONG ulCount = psClut->NumEntries;
  if (psPacket->InputBufferLength < ulCount * CLUT_ENTRY_SIZE + CLUT_HEADER_SIZE) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  // Direct-colour modes have no palette to load; the request still succeeds.
  if (psExtension->ulCurrentBpp == 8) {
    HWCRTC_SetPaletteEntry4Bytes(reinterpret_cast<const UCHAR*>(&psClut->LookupTable[0]),
                                 psClut->FirstEntry, ulCount);
  }
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_EnablePointer(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  HWCURSOR_Enable();
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_DisablePointer(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  HWCURSOR_Disable();
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_QueryPointerCapabilities(HW_DEVICE_EXTENSION* psExtension,
                                     PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->OutputBufferLength < sizeof(VIDEO_POINTER_CAPABILITIES)) {
    psPacket->StatusBlock->Information = 0;
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  psPacket->StatusBlock->Information = sizeof(VIDEO_POINTER_CAPABILITIES);
  PVIDEO_POINTER_CAPABILITIES psCaps =
      static_cast<PVIDEO_POINTER_CAPABILITIES>(psPacket->OutputBuffer);
  psCaps->Flags = VIDEO_MODE_ASYNC_POINTER | VIDEO_MODE_MONO_POINTER;
  psCaps->MaxWidth = POINTER_MAX_SIZE;
  psCaps->MaxHeight = POINTER_MAX_SIZE;
  psCaps->HWPtrBitmapStart = psExtension->ulPointerShapeOffset;
  psCaps->HWPtrBitmapEnd = psExtension->ulPointerShapeOffset + POINTER_BITMAP_AREA;
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_SetPointerAttributes(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->InputBufferLength < POINTER_REQUEST_SIZE) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  const VIDEO_POINTER_ATTRIBUTES* psAttributes =
      static_cast<const VIDEO_POINTER_ATTRIBUTES*>(psPacket->InputBuffer);
  const ULONG ulFlags = psAttributes->Flags;
  const ULONG ulHeight = psAttributes->Height;

  // Before the first mode set there is no screen and no pointer area: the
  // cursor's shifted copies would land on the shape buffers.
  if (psExtension->ulCurrentWidth == 0 || psExtension->ulCurrentWidth > POINTER_MAX_SCREEN_WIDTH ||
      psAttributes->Width > POINTER_MAX_SIZE || ulHeight > POINTER_MAX_SIZE) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INVALID_PARAMETER);
    return;
  }
  // The shape goes to the buffer not on display; it must lie in the frame buffer.
  const ULONG ulShapeOffset = psExtension->ulPointerShapeOffset ^ DRIVER_POINTER_SHAPE_SIZE;
  const ULONG_PTR ulFrameBuffer = REGHOST_GetVirtual(REGHOST_ROW_FRAMEBUFFER);
  if (ulFrameBuffer == 0 || static_cast<ULONGLONG>(ulShapeOffset) + POINTER_SHAPE_BYTES >
                                psExtension->ulFrameBufferLength) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INVALID_PARAMETER);
    return;
  }

  if (!(ulFlags & VIDEO_MODE_ANIMATE_UPDATE)) {
    HWCURSOR_Disable();
  }
  // Only two-plane monochrome shapes are drawn in hardware.
  if (!(ulFlags & VIDEO_MODE_MONO_POINTER)) {
    HWCURSOR_Disable();
    DRIVER_Complete(psPacket, ORVA_ERROR_INVALID_PARAMETER);
    return;
  }

  psExtension->ulPointerShapeOffset = ulShapeOffset;
  const UCHAR* pucPixels = static_cast<const UCHAR*>(psPacket->InputBuffer) + POINTER_PIXELS_OFFSET;
  volatile ULONG* pulShape = reinterpret_cast<volatile ULONG*>(ulFrameBuffer + ulShapeOffset);
  for (ULONG i = 0; i < POINTER_SHAPE_BYTES / 4; ++i, pucPixels += 4) {
    pulShape[i] = static_cast<ULONG>(pucPixels[0]) | (static_cast<ULONG>(pucPixels[1]) << 8) |
                  (static_cast<ULONG>(pucPixels[2]) << 16) |
                  (static_cast<ULONG>(pucPixels[3]) << 24);
  }

  HWCURSOR_ChangeCursor(ulShapeOffset, ulHeight);
  HWCURSOR_EnhancedChangeCursorPos(psAttributes->Column, psAttributes->Row);
  HWCURSOR_Enable();
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_SetPointerPosition(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (psPacket->InputBufferLength < sizeof(VIDEO_POINTER_POSITION)) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  const VIDEO_POINTER_POSITION* psPosition =
      static_cast<const VIDEO_POINTER_POSITION*>(psPacket->InputBuffer);
  HWCURSOR_EnhancedChangeCursorPos(psPosition->Column, psPosition->Row);
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_QueryPointerPosition(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (psPacket->OutputBufferLength < sizeof(VIDEO_POINTER_POSITION)) {
    psPacket->StatusBlock->Information = 0;
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  psPacket->StatusBlock->Information = sizeof(VIDEO_POINTER_POSITION);
  PVIDEO_POINTER_POSITION psPosition = static_cast<PVIDEO_POINTER_POSITION>(psPacket->OutputBuffer);
  psPosition->Column = static_cast<SHORT>(HWCURSOR_lCurrentX & 0xFFFF);
  psPosition->Row = static_cast<SHORT>(HWCURSOR_lCurrentY & 0xFFFF);
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}
