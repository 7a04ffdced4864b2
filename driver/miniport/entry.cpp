// Driver entry, adapter discovery, the output selection and the mode count.
#include <cstddef>

#include "hwcrtc/hwcrtc.h"
#include "hwge/hwge.h"
#include "hwgeneric/hwgeneric.h"
#include "miniport/handlers.h"
#include "outputs/hwtft.h"
#include "outputs/hwtve.h"
#include "reghost/reghost.h"

namespace {

// The classic initialisation record ends with the timer callback: 40 bytes on
// the 32-bit target.
constexpr ULONG HW_INIT_DATA_SIZE =
    offsetof(VIDEO_HW_INITIALIZATION_DATA, HwTimer) + sizeof(PVIDEO_HW_TIMER);
#if defined(ORVA_TARGET) && !defined(_WIN64)
static_assert(HW_INIT_DATA_SIZE == 40, "the initialisation record is 40 bytes");
static_assert(sizeof(HW_DEVICE_EXTENSION) == 40, "the device extension is 40 bytes");
#endif

// Config records shorter than this predate the fields discovery writes.
constexpr ULONG CONFIG_INFO_MIN_LENGTH = 72;

constexpr ULONG FRAMEBUFFER_OFFSET = 0x800000;  // from the graphics base
constexpr ULONG MONITOR_OUTPUT = 0x00010001;

// Registry text is converted to 8 bits in a buffer of this size, terminator included.
constexpr ULONG KEYWORD_BUFFER_SIZE = 100;

// Longest chip description published, in characters.
constexpr ULONG CHIP_NAME_MAX = 31;

WCHAR szOutputType[] = ORVA_WTEXT("HardwareInformation.OutputType");
WCHAR szChipType[] = ORVA_WTEXT("HardwareInformation.ChipType");
WCHAR szDacType[] = ORVA_WTEXT("HardwareInformation.DacType");
WCHAR szAdapterString[] = ORVA_WTEXT("HardwareInformation.AdapterString");
WCHAR szMemorySize[] = ORVA_WTEXT("HardwareInformation.MemorySize");
WCHAR szUnknownChip[] = ORVA_WTEXT("Unknown");
WCHAR szDacName[] = ORVA_WTEXT("ORVA internal DAC");
WCHAR szAdapterName[] = ORVA_WTEXT("ORVA Compatible");

void PublishHardwareInformation(HW_DEVICE_EXTENSION* psExtension, ULONG ulFrameBufferSize) {
  WCHAR szChipName[CHIP_NAME_MAX + 1];
  PWSTR pszChip = szUnknownChip;
  ULONG ulChipLength = sizeof(szUnknownChip);
  const LONG lChip = HWGENERIC_GetFirstEntry(HWGENERIC_TYPE_CHIP);
  if (lChip >= 0) {
    const char* pszDescription = HWGENERIC_psKeywordList[lChip].pszDescription;
    ULONG i = 0;
    for (; i < CHIP_NAME_MAX && pszDescription[i] != 0; ++i) {
      szChipName[i] = static_cast<WCHAR>(static_cast<UCHAR>(pszDescription[i]));
    }
    szChipName[i] = 0;
    pszChip = szChipName;
    ulChipLength = (i + 1) * sizeof(WCHAR);
  }
  VideoPortSetRegistryParameters(psExtension, szChipType, pszChip, ulChipLength);
  VideoPortSetRegistryParameters(psExtension, szDacType, szDacName, sizeof(szDacName));
  VideoPortSetRegistryParameters(psExtension, szAdapterString, szAdapterName,
                                 sizeof(szAdapterName));
  VideoPortSetRegistryParameters(psExtension, szMemorySize, &ulFrameBufferSize,
                                 sizeof(ulFrameBufferSize));
}

}  // namespace

extern "C" {

constinit ULONG_PTR DRIVER_ulDeviceExtension = 0;
constinit ULONG ulRequiredOutput = MONITOR_OUTPUT;

ULONG NTAPI DriverEntry(PVOID Argument1, PVOID Argument2) {
  VIDEO_HW_INITIALIZATION_DATA sInitData;
  VideoPortZeroMemory(&sInitData, sizeof(sInitData));
  sInitData.HwInitDataSize = HW_INIT_DATA_SIZE;
  sInitData.AdapterInterfaceType = Isa;
  sInitData.HwFindAdapter = ORVAFindAdapter;
  sInitData.HwInitialize = ORVAInitialize;
  sInitData.HwInterrupt = nullptr;
  sInitData.HwStartIO = ORVAStartIO;
  sInitData.HwDeviceExtensionSize = sizeof(HW_DEVICE_EXTENSION);
  return VideoPortInitialize(Argument1, Argument2, &sInitData, nullptr);
}

// The callback types are the video port library's: ArgumentString stays PWSTR.
// NOLINTNEXTLINE(readability-non-const-parameter)
VP_STATUS NTAPI ORVAFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PWSTR ArgumentString,
                                PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again) {
  (void)HwContext;
  (void)ArgumentString;
  DRIVER_ulDeviceExtension = reinterpret_cast<ULONG_PTR>(HwDeviceExtension);
  HW_DEVICE_EXTENSION* psExtension = static_cast<HW_DEVICE_EXTENSION*>(HwDeviceExtension);

  if (ConfigInfo->Length < CONFIG_INFO_MIN_LENGTH) {
    return ORVA_ERROR_INVALID_PARAMETER;
  }

  // A range the driver uses that could not be mapped would leave it reaching
  // port 0 or address 0: the adapter is refused, and not looked for again.
  REGHOST_Init(REGHOST_GROUP_MASK);
  if (!REGHOST_CheckMappings()) {
    *Again = FALSE;
    return ORVA_ERROR_INVALID_PARAMETER;
  }
  const ULONG ulFrameBufferSize = HWFRAMEBUF_GetFrameBufferSize();

  // No emulated VGA ports, no state save area and no VDM memory; the driver
  // maps its ranges itself rather than registering them.
  ConfigInfo->NumEmulatorAccessEntries = 0;
  ConfigInfo->EmulatorAccessEntries = nullptr;
  ConfigInfo->EmulatorAccessEntriesContext = 0;
  ConfigInfo->HardwareStateSize = 0;
  ConfigInfo->VdmPhysicalVideoMemoryAddress.QuadPart = 0;
  ConfigInfo->VdmPhysicalVideoMemoryLength = 0;

  psExtension->ulFrameBufferLength = ulFrameBufferSize;
  psExtension->PhysicalFrameBuffer.QuadPart =
      static_cast<LONGLONG>(static_cast<ULONG>(REGHOST_GetGBASE() + FRAMEBUFFER_OFFSET));

  VideoPortGetRegistryParameters(psExtension, szOutputType, FALSE, HwVidQueryNamedValueCallback,
                                 &ulRequiredOutput);

  psExtension->ulNumModes = 0;
  psExtension->ulNumModes = DRIVER_WalkModes(nullptr, 0);

  *Again = FALSE;
  // The walk has identified the chip: the ranges of its output devices.
  if (!HWTVE_IsReachable() || !HWTFT_IsReachable()) {
    return ORVA_ERROR_INVALID_PARAMETER;
  }

  PublishHardwareInformation(psExtension, ulFrameBufferSize);
  return ORVA_NO_ERROR;
}

BOOLEAN NTAPI ORVAInitialize(PVOID HwDeviceExtension) {
  (void)HwDeviceExtension;
  return TRUE;
}

// The library's callback type: ValueName stays PWSTR.
// NOLINTBEGIN(readability-non-const-parameter)
VP_STATUS NTAPI HwVidQueryNamedValueCallback(PVOID HwDeviceExtension, PVOID Context,
                                             PWSTR ValueName, PVOID ValueData, ULONG ValueLength) {
  // NOLINTEND(readability-non-const-parameter)
  (void)HwDeviceExtension;
  (void)Context;
  (void)ValueName;

  // UTF-16 code units, read byte by byte: the data need not be aligned.
  const UCHAR* pucData = static_cast<const UCHAR*>(ValueData);
  const ULONG ulUnits = ValueLength / 2;
  char szKeyword[KEYWORD_BUFFER_SIZE];
  ULONG ulLength = 0;
  for (ULONG i = 0; i < ulUnits; ++i, pucData += 2) {
    const UCHAR ucLow = pucData[0];
    const UCHAR ucHigh = pucData[1];
    if (ucLow == 0 && ucHigh == 0) {
      break;
    }
    if (ulLength == KEYWORD_BUFFER_SIZE - 1) {
      // Longer than any keyword can be: it names nothing, the selection stays.
      return ORVA_NO_ERROR;
    }
    szKeyword[ulLength++] = static_cast<char>(ucLow);
  }
  szKeyword[ulLength] = 0;

  const LONG lEntry = HWGENERIC_GetEntryFromKeyword(szKeyword);
  if (lEntry >= 0) {
    ulRequiredOutput = HWGENERIC_psKeywordList[lEntry].ulValue;
  }
  return ORVA_NO_ERROR;
}

ULONG CheckModeValidity(ULONG ulWidth, ULONG ulHeight, ULONG ulBpp, ULONG ulOutput) {
  if (!DRIVER_SurfaceFits(ulWidth, ulHeight, ulBpp, HWFRAMEBUF_GetFrameBufferSize())) {
    return 0;
  }
  return ulOutput == ulRequiredOutput ? 1 : 0;
}

}  // extern "C"

bool DRIVER_SurfaceFits(ULONG ulWidth, ULONG ulHeight, ULONG ulBpp, ULONG ulFrameBufferSize) {
  const ULONG ulPitch = HWGE_GetNearestPitch((ulBpp >> 3) * ulWidth);
  const ULONGLONG ullNeeded =
      static_cast<ULONGLONG>(ulPitch) * ulHeight + DRIVER_POINTER_AREA_MARGIN;
  return ullNeeded <= ulFrameBufferSize;
}

ULONG DRIVER_WalkModes(PVIDEO_MODE_INFORMATION psList, ULONG ulCapacity) {
  ULONG ulWidth = 0;
  ULONG ulHeight = 0;
  ULONG ulOutput = 0;
  ULONG ulClock = 0;
  ULONG ulCount = 0;
  ULONG ulOrdinal = 0;
  for (ULONG ulMore = HWCRTC_GetFirstMode(&ulWidth, &ulHeight, &ulOutput, &ulClock); ulMore != 0;
       ulMore = HWCRTC_GetNextMode(&ulWidth, &ulHeight, &ulOutput, &ulClock), ++ulOrdinal) {
    for (ULONG d = 0; d < DRIVER_BPP_COUNT; ++d) {
      if (!CheckModeValidity(ulWidth, ulHeight, pulBppList[d], ulOutput)) {
        continue;
      }
      // A clock that follows the refresh rate is offered at every rate; a
      // fixed timing once, with no rate of its own.
      const ULONG ulRates = (ulClock == 0) ? DRIVER_FREQUENCY_COUNT : 1;
      for (ULONG f = 0; f < ulRates; ++f, ++ulCount) {
        if (psList != nullptr && ulCount < ulCapacity) {
          InitModeStructure(&psList[ulCount], (ulOrdinal << 5) + (d << 3) + f, ulWidth, ulHeight,
                            pulBppList[d], (ulClock == 0) ? pulFrequencyList[f] : 0);
        }
      }
    }
  }
  return ulCount;
}
