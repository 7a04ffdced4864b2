// Private requests: raw mapping of memory and I/O ranges, port access at the
// three widths, and the start of free display memory.
#include "miniport/handlers.h"
#include "reghost/reghost.h"

namespace {

constexpr ULONG RESULT_SIZE = sizeof(ULONG);
constexpr ULONG MAP_REQUEST_SIZE = sizeof(DRIVER_MAP_REQUEST);
constexpr ULONG PORT_READ_SIZE = 8;  // ulPortBase, ulPortOffset
constexpr ULONG PORT_WRITE_SIZE = sizeof(DRIVER_PORT_REQUEST);

// Map and read requests: a result word out, at least 8 bytes in.
bool HasResultAndInput(PVIDEO_REQUEST_PACKET psPacket, ULONG ulInput) {
  if (psPacket->OutputBufferLength < RESULT_SIZE || psPacket->InputBufferLength < ulInput) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

void CompleteWithResult(PVIDEO_REQUEST_PACKET psPacket, ULONG ulResult) {
  psPacket->StatusBlock->Information = RESULT_SIZE;
  *static_cast<ULONG*>(psPacket->OutputBuffer) = ulResult;
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

typedef ULONG_PTR (*MAP_FUNCTION)(ULONG ulAddress, ULONG ulLength);

void Map(PVIDEO_REQUEST_PACKET psPacket, MAP_FUNCTION pfctMap) {
  if (!HasResultAndInput(psPacket, MAP_REQUEST_SIZE)) {
    return;
  }
  const DRIVER_MAP_REQUEST* psMap = static_cast<const DRIVER_MAP_REQUEST*>(psPacket->InputBuffer);
  const ULONG_PTR ulMapped = pfctMap(psMap->ulMapAddress, psMap->ulMapLength);
  // The result word is 32 bits: an address beyond it is refused, not cut.
  if ((static_cast<ULONGLONG>(ulMapped) >> 32) != 0) {
    psPacket->StatusBlock->Information = 0;
    DRIVER_Complete(psPacket, ORVA_ERROR_INVALID_PARAMETER);
    return;
  }
  CompleteWithResult(psPacket, static_cast<ULONG>(ulMapped));
}

// The port is the 32-bit sum of base and offset.
ULONG_PTR PortOf(const DRIVER_PORT_REQUEST* psPort) {
  return static_cast<ULONG>(psPort->ulPortBase + psPort->ulPortOffset);
}

const DRIVER_PORT_REQUEST* ReadRequest(PVIDEO_REQUEST_PACKET psPacket) {
  if (!HasResultAndInput(psPacket, PORT_READ_SIZE)) {
    return nullptr;
  }
  return static_cast<const DRIVER_PORT_REQUEST*>(psPacket->InputBuffer);
}

const DRIVER_PORT_REQUEST* WriteRequest(PVIDEO_REQUEST_PACKET psPacket) {
  if (psPacket->InputBufferLength < PORT_WRITE_SIZE) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return nullptr;
  }
  psPacket->StatusBlock->Information = 0;
  return static_cast<const DRIVER_PORT_REQUEST*>(psPacket->InputBuffer);
}

}  // namespace

void DRIVER_MemoryMap(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  Map(psPacket, OSAL_MemoryMap);
}

void DRIVER_IOMap(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  Map(psPacket, OSAL_IOMap);
}

void DRIVER_ReadPortUchar(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (const DRIVER_PORT_REQUEST* psPort = ReadRequest(psPacket)) {
    CompleteWithResult(psPacket, VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(PortOf(psPort))));
  }
}

void DRIVER_ReadPortUshort(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (const DRIVER_PORT_REQUEST* psPort = ReadRequest(psPacket)) {
    CompleteWithResult(psPacket,
                       VideoPortReadPortUshort(reinterpret_cast<PUSHORT>(PortOf(psPort))));
  }
}

void DRIVER_ReadPortUlong(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (const DRIVER_PORT_REQUEST* psPort = ReadRequest(psPacket)) {
    CompleteWithResult(psPacket, VideoPortReadPortUlong(reinterpret_cast<PULONG>(PortOf(psPort))));
  }
}

void DRIVER_WritePortUchar(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (const DRIVER_PORT_REQUEST* psPort = WriteRequest(psPacket)) {
    VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(PortOf(psPort)),
                            static_cast<UCHAR>(psPort->ulData & 0xFF));
    DRIVER_Complete(psPacket, ORVA_NO_ERROR);
  }
}

void DRIVER_WritePortUshort(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (const DRIVER_PORT_REQUEST* psPort = WriteRequest(psPacket)) {
    VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(PortOf(psPort)),
                             static_cast<USHORT>(psPort->ulData & 0xFFFF));
    DRIVER_Complete(psPacket, ORVA_NO_ERROR);
  }
}

void DRIVER_WritePortUlong(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (const DRIVER_PORT_REQUEST* psPort = WriteRequest(psPacket)) {
    VideoPortWritePortUlong(reinterpret_cast<PULONG>(PortOf(psPort)), psPort->ulData);
    DRIVER_Complete(psPacket, ORVA_NO_ERROR);
  }
}

void DRIVER_Nop(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  DRIVER_Complete(psPacket, ORVA_NO_ERROR);
}

void DRIVER_QueryFrameBufferFree(HW_DEVICE_EXTENSION* psExtension, PVIDEO_REQUEST_PACKET psPacket) {
  (void)psExtension;
  if (psPacket->OutputBufferLength < RESULT_SIZE) {
    DRIVER_Complete(psPacket, ORVA_ERROR_INSUFFICIENT_BUFFER);
    return;
  }
  CompleteWithResult(psPacket, ulStartFBFree);
}
