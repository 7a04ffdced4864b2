// Record layouts that the driver and the video port library exchange, as the
// Windows ABI lays them out on i386 and on AMD64: byte offsets of the fields
// either side reads or writes, and record sizes. The same table is checked
// against the DDK headers in the cross builds and against the host
// declarations in every host build (64-bit and the 32-bit harness), so a
// record that one build lays out differently stops the build.
#pragma once
#include <cstddef>

// X(record, field, offset on i386, offset on AMD64)
#define ORVA_RECORD_FIELDS(X)                                       \
  X(HW_DEVICE_EXTENSION, ulCurrentFrequency, 36, 36)                \
  X(HW_DEVICE_EXTENSION, ulFrameBufferLength, 8, 8)                 \
  X(STATUS_BLOCK, Information, 4, 8)                                \
  X(VIDEO_CLUT, FirstEntry, 2, 2)                                   \
  X(VIDEO_CLUT, LookupTable, 4, 4)                                  \
  X(VIDEO_HW_INITIALIZATION_DATA, AdapterInterfaceType, 4, 4)       \
  X(VIDEO_HW_INITIALIZATION_DATA, HwDeviceExtensionSize, 24, 40)    \
  X(VIDEO_HW_INITIALIZATION_DATA, HwFindAdapter, 8, 8)              \
  X(VIDEO_HW_INITIALIZATION_DATA, HwInitialize, 12, 16)             \
  X(VIDEO_HW_INITIALIZATION_DATA, HwInterrupt, 16, 24)              \
  X(VIDEO_HW_INITIALIZATION_DATA, HwResetHw, 32, 48)                \
  X(VIDEO_HW_INITIALIZATION_DATA, HwStartIO, 20, 32)                \
  X(VIDEO_HW_INITIALIZATION_DATA, HwTimer, 36, 56)                  \
  X(VIDEO_HW_INITIALIZATION_DATA, StartingDeviceNumber, 28, 44)     \
  X(VIDEO_MEMORY_INFORMATION, FrameBufferBase, 8, 16)               \
  X(VIDEO_MEMORY_INFORMATION, FrameBufferLength, 12, 24)            \
  X(VIDEO_MEMORY_INFORMATION, VideoRamLength, 4, 8)                 \
  X(VIDEO_POINTER_ATTRIBUTES, Column, 20, 20)                       \
  X(VIDEO_POINTER_ATTRIBUTES, Enable, 16, 16)                       \
  X(VIDEO_POINTER_ATTRIBUTES, Pixels, 24, 24)                       \
  X(VIDEO_POINTER_ATTRIBUTES, Row, 22, 22)                          \
  X(VIDEO_POINTER_CAPABILITIES, HWPtrBitmapEnd, 16, 16)             \
  X(VIDEO_POINTER_POSITION, Row, 2, 2)                              \
  X(VIDEO_PORT_CONFIG_INFO, AdapterInterfaceType, 8, 8)             \
  X(VIDEO_PORT_CONFIG_INFO, BusInterruptLevel, 12, 12)              \
  X(VIDEO_PORT_CONFIG_INFO, DmaChannel, 56, 64)                     \
  X(VIDEO_PORT_CONFIG_INFO, DmaShareable, 64, 72)                   \
  X(VIDEO_PORT_CONFIG_INFO, DmaWidth, 68, 76)                       \
  X(VIDEO_PORT_CONFIG_INFO, DriverRegistryPath, 100, 112)           \
  X(VIDEO_PORT_CONFIG_INFO, EmulatorAccessEntries, 28, 32)          \
  X(VIDEO_PORT_CONFIG_INFO, EmulatorAccessEntriesContext, 32, 40)   \
  X(VIDEO_PORT_CONFIG_INFO, HardwareStateSize, 52, 60)              \
  X(VIDEO_PORT_CONFIG_INFO, InterruptMode, 20, 20)                  \
  X(VIDEO_PORT_CONFIG_INFO, MaximumScatterGatherChunkSize, 92, 100) \
  X(VIDEO_PORT_CONFIG_INFO, MaximumTransferLength, 80, 88)          \
  X(VIDEO_PORT_CONFIG_INFO, NumEmulatorAccessEntries, 24, 24)       \
  X(VIDEO_PORT_CONFIG_INFO, ScatterGather, 88, 96)                  \
  X(VIDEO_PORT_CONFIG_INFO, SystemIoBusNumber, 4, 4)                \
  X(VIDEO_PORT_CONFIG_INFO, SystemMemorySize, 104, 120)             \
  X(VIDEO_PORT_CONFIG_INFO, VdmPhysicalVideoMemoryAddress, 40, 48)  \
  X(VIDEO_PORT_CONFIG_INFO, VdmPhysicalVideoMemoryLength, 48, 56)   \
  X(VIDEO_PORT_CONFIG_INFO, VideoPortGetProcAddress, 96, 104)       \
  X(VIDEO_PORT_CONFIG_INFO, bMapBuffers, 76, 84)                    \
  X(VIDEO_REQUEST_PACKET, InputBuffer, 8, 16)                       \
  X(VIDEO_REQUEST_PACKET, InputBufferLength, 12, 24)                \
  X(VIDEO_REQUEST_PACKET, OutputBuffer, 16, 32)                     \
  X(VIDEO_REQUEST_PACKET, OutputBufferLength, 20, 40)               \
  X(VIDEO_REQUEST_PACKET, StatusBlock, 4, 8)                        \
  X(VIDEO_SHARE_MEMORY_INFORMATION, SharedViewSize, 4, 4)           \
  X(VIDEO_SHARE_MEMORY_INFORMATION, VirtualAddress, 8, 8)           \
  X(VIDEO_SHARE_MEMORY, RequestedVirtualAddress, 12, 16)            \
  X(VIDEO_SHARE_MEMORY, ViewOffset, 4, 8)                           \
  X(VIDEO_SHARE_MEMORY, ViewSize, 8, 12)

// X(record, size on i386, size on AMD64). The initialisation record is versioned
// by its size and grows in newer headers; its fields are checked above.
#define ORVA_RECORD_SIZES(X)            \
  X(HW_DEVICE_EXTENSION, 40, 40)        \
  X(PHYSICAL_ADDRESS, 8, 8)             \
  X(STATUS_BLOCK, 8, 16)                \
  X(VIDEO_CLUT, 8, 8)                   \
  X(VIDEO_CLUTDATA, 4, 4)               \
  X(VIDEO_MEMORY, 4, 8)                 \
  X(VIDEO_MEMORY_INFORMATION, 16, 32)   \
  X(VIDEO_MODE, 4, 4)                   \
  X(VIDEO_MODE_INFORMATION, 80, 80)     \
  X(VIDEO_NUM_MODES, 8, 8)              \
  X(VIDEO_POINTER_ATTRIBUTES, 28, 28)   \
  X(VIDEO_POINTER_CAPABILITIES, 20, 20) \
  X(VIDEO_POINTER_POSITION, 4, 4)       \
  X(VIDEO_PORT_CONFIG_INFO, 112, 128)   \
  X(VIDEO_REQUEST_PACKET, 24, 48)       \
  X(VIDEO_SHARE_MEMORY, 16, 24)         \
  X(VIDEO_SHARE_MEMORY_INFORMATION, 12, 16)

#if defined(_WIN64) || defined(__x86_64__)
#define ORVA_LAYOUT_PICK(on32, on64) on64
#else
#define ORVA_LAYOUT_PICK(on32, on64) on32
#endif
#define ORVA_CHECK_FIELD(record, field, on32, on64)                      \
  static_assert(offsetof(record, field) == ORVA_LAYOUT_PICK(on32, on64), \
                #record "." #field " is not where the other build has it");
#define ORVA_CHECK_SIZE(record, on32, on64)                     \
  static_assert(sizeof(record) == ORVA_LAYOUT_PICK(on32, on64), \
                "sizeof(" #record ") differs from the other build");
// Expands to the static_asserts; use where the records are declared.
#define ORVA_CHECK_RECORD_LAYOUTS()                                              \
  ORVA_RECORD_FIELDS(ORVA_CHECK_FIELD)                                           \
  ORVA_RECORD_SIZES(ORVA_CHECK_SIZE)                                             \
  static_assert(sizeof(PHYSICAL_ADDRESS) == 8 && alignof(PHYSICAL_ADDRESS) == 8, \
                "physical addresses are 8-byte aligned 64-bit values");

// Bytes of arguments that each video port library function and each driver
// callback takes off the stack in the i386 stdcall convention (the N of
// Name@N). X(function or callback pointer type, bytes)
#define ORVA_IMPORT_ARGUMENT_BYTES(X)   \
  X(VideoPortInitialize, 16)            \
  X(VideoPortGetRegistryParameters, 20) \
  X(VideoPortSetRegistryParameters, 16) \
  X(VideoPortGetDeviceBase, 20)         \
  X(VideoPortMapMemory, 24)             \
  X(VideoPortUnmapMemory, 12)           \
  X(VideoPortReadPortUchar, 4)          \
  X(VideoPortReadPortUshort, 4)         \
  X(VideoPortReadPortUlong, 4)          \
  X(VideoPortWritePortUchar, 8)         \
  X(VideoPortWritePortUshort, 8)        \
  X(VideoPortWritePortUlong, 8)         \
  X(VideoPortReadRegisterUchar, 4)      \
  X(VideoPortReadRegisterUshort, 4)     \
  X(VideoPortReadRegisterUlong, 4)      \
  X(VideoPortWriteRegisterUchar, 8)     \
  X(VideoPortWriteRegisterUshort, 8)    \
  X(VideoPortWriteRegisterUlong, 8)     \
  X(VideoPortStallExecution, 4)         \
  X(VideoPortZeroMemory, 8)
#define ORVA_CALLBACK_ARGUMENT_BYTES(X) \
  X(PVIDEO_HW_FIND_ADAPTER, 20)         \
  X(PVIDEO_HW_INITIALIZE, 4)            \
  X(PVIDEO_HW_INTERRUPT, 4)             \
  X(PVIDEO_HW_START_IO, 8)              \
  X(PVIDEO_HW_RESET_HW, 12)             \
  X(PVIDEO_HW_TIMER, 4)                 \
  X(PMINIPORT_GET_REGISTRY_ROUTINE, 20)

#if defined(__i386__)
namespace orva_layout {
template <typename F>
struct StackBytes;
template <typename... A>
constexpr unsigned slots() {
  return (0u + ... + static_cast<unsigned>((sizeof(A) + 3) / 4 * 4));
}
// The target build's declarations carry the stdcall attribute, the host's not.
template <typename R, typename... A>
struct StackBytes<R(A...)> {
  static constexpr unsigned value = slots<A...>();
};
template <typename R, typename... A>
struct StackBytes<R (*)(A...)> {
  static constexpr unsigned value = slots<A...>();
};
#if defined(ORVA_TARGET)
template <typename R, typename... A>
struct StackBytes<R __attribute__((stdcall)) (A...)> {
  static constexpr unsigned value = slots<A...>();
};
template <typename R, typename... A>
struct StackBytes<R(__attribute__((stdcall))*)(A...)> {
  static constexpr unsigned value = slots<A...>();
};
#endif
}  // namespace orva_layout
#define ORVA_CHECK_IMPORT_BYTES(function, bytes)                             \
  static_assert(orva_layout::StackBytes<decltype(function)>::value == bytes, \
                #function " takes other arguments than the other build");
#define ORVA_CHECK_CALLBACK_BYTES(type, bytes)                 \
  static_assert(orva_layout::StackBytes<type>::value == bytes, \
                #type " takes other arguments than the other build");
#define ORVA_CHECK_ARGUMENT_BYTES()                   \
  ORVA_IMPORT_ARGUMENT_BYTES(ORVA_CHECK_IMPORT_BYTES) \
  ORVA_CALLBACK_ARGUMENT_BYTES(ORVA_CHECK_CALLBACK_BYTES)
#else
#define ORVA_CHECK_ARGUMENT_BYTES()
#endif
