// A minimal miniport that records what the video port library hands it. Tests
// load it in place of the driver to check the library's side of the contract.
// Knobs are module variables a test sets through Session::symbol() before it
// starts the driver; observations are module variables it reads back.
#include <cstring>

#include "host_ddk.h"

extern "C" {

// Knobs.
ULONG PROBE_ulInitDataSize = sizeof(VIDEO_HW_INITIALIZATION_DATA);
ULONG PROBE_ulExtensionSize = 48;
ULONG PROBE_ulAdapters = 1;  // adapters to report through the Again flag
VP_STATUS PROBE_lFindStatus = 0;
BOOLEAN PROBE_ucInitializeResult = TRUE;

// Observations.
ULONG PROBE_ulLoadMarker = 0x5EED;  // changed by tests; back at this value in every load
ULONG PROBE_ulFindCalls = 0;
ULONG PROBE_ulInitializeCalls = 0;
VIDEO_PORT_CONFIG_INFO PROBE_sConfig = {};  // the config record as HwFindAdapter got it
WCHAR PROBE_szRegistryPath[160] = {};       // the text its DriverRegistryPath names
ULONG PROBE_ulExtensionNonZero = 0;         // nonzero bytes of the device extension at discovery
UCHAR PROBE_ucAgainIn = 0xFF;
PVOID PROBE_pvFirstExtension = nullptr;
ULONG PROBE_ulSameBuffer = 0;
ULONG PROBE_ulBufferMisalignment = 0xFFFFFFFF;  // the request buffer's address modulo 8
ULONG PROBE_ulInformationIn = 0xFFFFFFFF;
ULONG PROBE_ulStartCalls = 0;

// Control codes of the probe (device type 0x8301).
constexpr ULONG PROBE_ECHO = 0x83010000;  // output = input reversed, Information = output length
constexpr ULONG PROBE_RETURN_FALSE = 0x83010004;  // refuses the packet
constexpr ULONG PROBE_COPY = 0x83010010;          // output = input, as much as fits
constexpr ULONG PROBE_WRITE_PAST_OUTPUT = 0x83010014;
constexpr ULONG PROBE_READ_PAST_INPUT = 0x83010018;
constexpr ULONG PROBE_NO_STATUS = 0x8301001C;
constexpr ULONG PROBE_WRITE_UNREPORTED = 0x83010020;      // fills the output, reports none of it
constexpr ULONG PROBE_WRITE_ONE_UNREPORTED = 0x83010024;  // fills it, reports all but the last
constexpr ULONG PROBE_OVERSTATE = 0x83010028;  // reports one byte more than the output holds
// Fill the output with 0x22, report all of it, and store the Win32 status given
// in the first input byte (ERROR_MORE_DATA, ERROR_INVALID_PARAMETER, ...).
constexpr ULONG PROBE_FILL_WITH_STATUS = 0x8301002C;

static ULONG CountNonZero(const void* pvData, ULONG ulLength) {
  const UCHAR* puc = static_cast<const UCHAR*>(pvData);
  ULONG ulCount = 0;
  for (ULONG i = 0; i < ulLength; ++i) ulCount += puc[i] != 0;
  return ulCount;
}

static VP_STATUS NTAPI ProbeFindAdapter(PVOID pvExtension, PVOID, PWSTR,
                                        PVIDEO_PORT_CONFIG_INFO psConfig, PUCHAR pucAgain) {
  ++PROBE_ulFindCalls;
  if (PROBE_pvFirstExtension == nullptr) PROBE_pvFirstExtension = pvExtension;
  PROBE_ucAgainIn = *pucAgain;
  PROBE_sConfig = *psConfig;
  for (ULONG i = 0; psConfig->DriverRegistryPath != nullptr && i + 1 < 160; ++i) {
    PROBE_szRegistryPath[i] = psConfig->DriverRegistryPath[i];
    if (PROBE_szRegistryPath[i] == 0) break;
  }
  PROBE_ulExtensionNonZero = CountNonZero(pvExtension, PROBE_ulExtensionSize);
  std::memset(pvExtension, 0xA5, PROBE_ulExtensionSize);  // the whole extension is ours
  *pucAgain = PROBE_ulFindCalls < PROBE_ulAdapters;
  return PROBE_lFindStatus;
}

static BOOLEAN NTAPI ProbeInitialize(PVOID) {
  ++PROBE_ulInitializeCalls;
  return PROBE_ucInitializeResult;
}

static BOOLEAN NTAPI ProbeStartIO(PVOID, PVIDEO_REQUEST_PACKET psPacket) {
  ++PROBE_ulStartCalls;
  PROBE_ulSameBuffer = psPacket->InputBuffer == psPacket->OutputBuffer;
  PROBE_ulBufferMisalignment =
      static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(psPacket->InputBuffer) & 7);
  PROBE_ulInformationIn = static_cast<ULONG>(psPacket->StatusBlock->Information);
  UCHAR* pucIn = static_cast<UCHAR*>(psPacket->InputBuffer);
  UCHAR* pucOut = static_cast<UCHAR*>(psPacket->OutputBuffer);
  volatile UCHAR ucSink = 0;
  switch (psPacket->IoControlCode) {
    case PROBE_ECHO:
      break;
    case PROBE_RETURN_FALSE:
      return FALSE;
    case PROBE_COPY: {
      const ULONG ulCount = psPacket->InputBufferLength < psPacket->OutputBufferLength
                                ? psPacket->InputBufferLength
                                : psPacket->OutputBufferLength;
      for (ULONG i = 0; i < ulCount; ++i) pucOut[i] = pucIn[i];
      psPacket->StatusBlock->Status = 0;
      psPacket->StatusBlock->Information = ulCount;
      return TRUE;
    }
    case PROBE_WRITE_PAST_OUTPUT:
      pucOut[psPacket->OutputBufferLength] = 1;
      psPacket->StatusBlock->Status = 0;
      return TRUE;
    case PROBE_READ_PAST_INPUT:
      ucSink = pucIn[psPacket->InputBufferLength];
      psPacket->StatusBlock->Status = ucSink;
      return TRUE;
    case PROBE_NO_STATUS:
      return TRUE;
    case PROBE_WRITE_UNREPORTED:
    case PROBE_WRITE_ONE_UNREPORTED:
      for (ULONG i = 0; i < psPacket->OutputBufferLength; ++i) pucOut[i] = 0x11;
      psPacket->StatusBlock->Status = 0;
      if (psPacket->IoControlCode == PROBE_WRITE_ONE_UNREPORTED) {
        psPacket->StatusBlock->Information = psPacket->OutputBufferLength - 1;
      }
      return TRUE;
    case PROBE_FILL_WITH_STATUS:
      psPacket->StatusBlock->Status = psPacket->InputBufferLength != 0 ? pucIn[0] : 0;
      for (ULONG i = 0; i < psPacket->OutputBufferLength; ++i) pucOut[i] = 0x22;
      psPacket->StatusBlock->Information = psPacket->OutputBufferLength;
      return TRUE;
    case PROBE_OVERSTATE:
      psPacket->StatusBlock->Status = 0;
      psPacket->StatusBlock->Information = psPacket->OutputBufferLength + 1;
      return TRUE;
    default:
      psPacket->StatusBlock->Status = 1;
      return TRUE;
  }
  // Reversing in place reads every input byte before it is overwritten only
  // when input and output are the same memory of max(input, output) bytes.
  UCHAR* puc = static_cast<UCHAR*>(psPacket->OutputBuffer);
  const ULONG ulIn = psPacket->InputBufferLength;
  for (ULONG i = 0; i < ulIn / 2; ++i) {
    const UCHAR ucTmp = puc[i];
    puc[i] = puc[ulIn - 1 - i];
    puc[ulIn - 1 - i] = ucTmp;
  }
  psPacket->StatusBlock->Status = 0;
  psPacket->StatusBlock->Information = psPacket->OutputBufferLength;
  return TRUE;
}

ULONG NTAPI DriverEntry(PVOID pvArgument1, PVOID pvArgument2) {
  VIDEO_HW_INITIALIZATION_DATA sInit;
  VideoPortZeroMemory(&sInit, sizeof sInit);
  sInit.HwInitDataSize = PROBE_ulInitDataSize;
  sInit.AdapterInterfaceType = Isa;
  sInit.HwFindAdapter = ProbeFindAdapter;
  sInit.HwInitialize = ProbeInitialize;
  sInit.HwStartIO = ProbeStartIO;
  sInit.HwDeviceExtensionSize = PROBE_ulExtensionSize;
  return VideoPortInitialize(pvArgument1, pvArgument2, &sInit, nullptr);
}

}  // extern "C"
