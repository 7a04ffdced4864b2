#include "orva/driver_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "layouts.h"
#include "miniport/miniport.h"

// The host declarations lay the exchanged records out as the driver's build does.
ORVA_CHECK_RECORD_LAYOUTS()
ORVA_CHECK_ARGUMENT_BYTES()

namespace orva::loader {
namespace {

// The calling convention of driver code, for pointers to the driver's functions.
#if defined(__x86_64__)
#define ORVA_DRIVER_ABI __attribute__((ms_abi))
#else
#define ORVA_DRIVER_ABI __attribute__((stdcall))
#endif

// --- Imports: driver convention in, host convention out ----------------------

template <auto Function>
struct Thunk;

template <typename R, typename... A, R (*Function)(A...)>
struct Thunk<Function> {
  static R ORVA_DRIVER_CALL call(A... arguments) { return Function(arguments...); }
  // Bytes the i386 stdcall callee removes: every argument in 4-byte slots.
  static constexpr unsigned kStackBytes =
      (0u + ... + static_cast<unsigned>((sizeof(A) + 3) / 4 * 4));
};

// --- Callbacks: host convention in, driver convention out --------------------

enum Role : unsigned {
  kEntry,
  kFindAdapter,
  kInitialize,
  kInterrupt,
  kStartIo,
  kResetHw,
  kTimer,
  kRegistry,
  kRoleCount
};

template <Role Which, typename HostFunction>
struct Trampoline;

template <Role Which, typename R, typename... A>
struct Trampoline<Which, R (*)(A...)> {
  using Target = R(ORVA_DRIVER_ABI*)(A...);
  static inline Target target = nullptr;
  static R call(A... arguments) { return target(arguments...); }
  static R (*host())(A...) { return &call; }
};

using EntryTrampoline = Trampoline<kEntry, DriverImage::Entry>;
using FindAdapterTrampoline = Trampoline<kFindAdapter, PVIDEO_HW_FIND_ADAPTER>;
using InitializeTrampoline = Trampoline<kInitialize, PVIDEO_HW_INITIALIZE>;
using InterruptTrampoline = Trampoline<kInterrupt, PVIDEO_HW_INTERRUPT>;
using StartIoTrampoline = Trampoline<kStartIo, PVIDEO_HW_START_IO>;
using ResetHwTrampoline = Trampoline<kResetHw, PVIDEO_HW_RESET_HW>;
using TimerTrampoline = Trampoline<kTimer, PVIDEO_HW_TIMER>;
using RegistryTrampoline = Trampoline<kRegistry, PMINIPORT_GET_REGISTRY_ROUTINE>;

// Replaces a driver function pointer with the trampoline that calls it.
template <typename T, typename HostPointer>
void wrap(HostPointer* field) {
  if (*field == nullptr) return;
  T::target = reinterpret_cast<typename T::Target>(*field);
  *field = T::host();
}

template <typename T>
void clear() {
  T::target = nullptr;
}

void clearTrampolines() {
  clear<EntryTrampoline>();
  clear<FindAdapterTrampoline>();
  clear<InitializeTrampoline>();
  clear<InterruptTrampoline>();
  clear<StartIoTrampoline>();
  clear<ResetHwTrampoline>();
  clear<TimerTrampoline>();
  clear<RegistryTrampoline>();
}

// The miniport's initialization record goes to the library as a copy whose
// callbacks are trampolines; the library keeps only the pointers.
ULONG ORVA_DRIVER_CALL initializeThunk(PVOID argument1, PVOID argument2,
                                       PVIDEO_HW_INITIALIZATION_DATA data, PVOID context) {
  if (data == nullptr) return VideoPortInitialize(argument1, argument2, nullptr, context);
  VIDEO_HW_INITIALIZATION_DATA copy;
  std::memset(&copy, 0, sizeof copy);
  std::memcpy(&copy, data, std::min<size_t>(data->HwInitDataSize, sizeof copy));
  copy.HwInitDataSize = data->HwInitDataSize;
  wrap<FindAdapterTrampoline>(&copy.HwFindAdapter);
  wrap<InitializeTrampoline>(&copy.HwInitialize);
  wrap<InterruptTrampoline>(&copy.HwInterrupt);
  wrap<StartIoTrampoline>(&copy.HwStartIO);
  if (data->HwInitDataSize >= offsetof(VIDEO_HW_INITIALIZATION_DATA, HwTimer) + sizeof(PVOID)) {
    wrap<ResetHwTrampoline>(&copy.HwResetHw);
    wrap<TimerTrampoline>(&copy.HwTimer);
  }
  return VideoPortInitialize(argument1, argument2, &copy, context);
}

// The registry callback runs during the call only; a nested call keeps the
// outer one's target.
VP_STATUS ORVA_DRIVER_CALL getRegistryParametersThunk(PVOID extension, PWSTR name, UCHAR isFileName,
                                                      PMINIPORT_GET_REGISTRY_ROUTINE callback,
                                                      PVOID context) {
  const RegistryTrampoline::Target outer = RegistryTrampoline::target;
  wrap<RegistryTrampoline>(&callback);
  const VP_STATUS status =
      VideoPortGetRegistryParameters(extension, name, isFileName, callback, context);
  RegistryTrampoline::target = outer;
  return status;
}

#define ORVA_IMPORT(name) \
  { #name, reinterpret_cast < const void*>(&Thunk <&name>::call) }
const ImportSymbol kVideoPortImports[] = {
    {"VideoPortInitialize", reinterpret_cast<const void*>(&initializeThunk)},
    {"VideoPortGetRegistryParameters", reinterpret_cast<const void*>(&getRegistryParametersThunk)},
    ORVA_IMPORT(VideoPortSetRegistryParameters),
    ORVA_IMPORT(VideoPortGetDeviceBase),
    ORVA_IMPORT(VideoPortMapMemory),
    ORVA_IMPORT(VideoPortUnmapMemory),
    ORVA_IMPORT(VideoPortReadPortUchar),
    ORVA_IMPORT(VideoPortReadPortUshort),
    ORVA_IMPORT(VideoPortReadPortUlong),
    ORVA_IMPORT(VideoPortWritePortUchar),
    ORVA_IMPORT(VideoPortWritePortUshort),
    ORVA_IMPORT(VideoPortWritePortUlong),
    ORVA_IMPORT(VideoPortReadRegisterUchar),
    ORVA_IMPORT(VideoPortReadRegisterUshort),
    ORVA_IMPORT(VideoPortReadRegisterUlong),
    ORVA_IMPORT(VideoPortWriteRegisterUchar),
    ORVA_IMPORT(VideoPortWriteRegisterUshort),
    ORVA_IMPORT(VideoPortWriteRegisterUlong),
    ORVA_IMPORT(VideoPortStallExecution),
    ORVA_IMPORT(VideoPortZeroMemory),
};
#undef ORVA_IMPORT

struct StackBytes {
  std::string_view name;
  unsigned bytes;
};
#define ORVA_BYTES(name) \
  { #name, Thunk < &name> ::kStackBytes }
const StackBytes kStackBytes[] = {
    ORVA_BYTES(VideoPortInitialize),
    ORVA_BYTES(VideoPortGetRegistryParameters),
    ORVA_BYTES(VideoPortSetRegistryParameters),
    ORVA_BYTES(VideoPortGetDeviceBase),
    ORVA_BYTES(VideoPortMapMemory),
    ORVA_BYTES(VideoPortUnmapMemory),
    ORVA_BYTES(VideoPortReadPortUchar),
    ORVA_BYTES(VideoPortReadPortUshort),
    ORVA_BYTES(VideoPortReadPortUlong),
    ORVA_BYTES(VideoPortWritePortUchar),
    ORVA_BYTES(VideoPortWritePortUshort),
    ORVA_BYTES(VideoPortWritePortUlong),
    ORVA_BYTES(VideoPortReadRegisterUchar),
    ORVA_BYTES(VideoPortReadRegisterUshort),
    ORVA_BYTES(VideoPortReadRegisterUlong),
    ORVA_BYTES(VideoPortWriteRegisterUchar),
    ORVA_BYTES(VideoPortWriteRegisterUshort),
    ORVA_BYTES(VideoPortWriteRegisterUlong),
    ORVA_BYTES(VideoPortStallExecution),
    ORVA_BYTES(VideoPortZeroMemory),
};
#undef ORVA_BYTES

#if defined(__i386__)
// What each thunk removes from the stack is what the driver pushed.
#define ORVA_CHECK_THUNK(function, bytes)               \
  static_assert(Thunk<&function>::kStackBytes == bytes, \
                #function "'s thunk pops another number of bytes");
ORVA_IMPORT_ARGUMENT_BYTES(ORVA_CHECK_THUNK)
#undef ORVA_CHECK_THUNK
#endif

const ImportLibrary kLibraries[] = {{"videoprt.sys", kVideoPortImports}};

DriverImage* g_live = nullptr;

}  // namespace

std::span<const ImportSymbol> videoPortImports() { return kVideoPortImports; }
std::span<const ImportLibrary> driverLibraries() { return kLibraries; }

unsigned stdcallArgumentBytes(std::string_view name) {
  for (const StackBytes& entry : kStackBytes) {
    if (entry.name == name) return entry.bytes;
  }
  return 0;
}

std::unique_ptr<DriverImage> DriverImage::load(const std::string& path,
                                               const LoadOptions& options) {
  if (g_live != nullptr) throw LoadError(path + ": another driver image is loaded");
  LoadOptions checked = options;
  checked.machine = hostMachine();
  std::unique_ptr<DriverImage> driver(new DriverImage(Image::loadFile(path, kLibraries, checked)));
  g_live = driver.get();
  clearTrampolines();
  EntryTrampoline::target = reinterpret_cast<EntryTrampoline::Target>(driver->image_->entryPoint());
  return driver;
}

DriverImage::~DriverImage() {
  clearTrampolines();
  g_live = nullptr;
}

DriverImage::Entry DriverImage::entry() const { return EntryTrampoline::host(); }

void* DriverImage::symbol(const char* name) const { return image_->symbolAddress(name); }

const void* DriverImage::driverFunctionOf(const void* trampoline) {
  struct Known {
    const void* host;
    const void* target;
  };
  const Known known[] = {
      {reinterpret_cast<const void*>(EntryTrampoline::host()),
       reinterpret_cast<const void*>(EntryTrampoline::target)},
      {reinterpret_cast<const void*>(FindAdapterTrampoline::host()),
       reinterpret_cast<const void*>(FindAdapterTrampoline::target)},
      {reinterpret_cast<const void*>(InitializeTrampoline::host()),
       reinterpret_cast<const void*>(InitializeTrampoline::target)},
      {reinterpret_cast<const void*>(InterruptTrampoline::host()),
       reinterpret_cast<const void*>(InterruptTrampoline::target)},
      {reinterpret_cast<const void*>(StartIoTrampoline::host()),
       reinterpret_cast<const void*>(StartIoTrampoline::target)},
      {reinterpret_cast<const void*>(ResetHwTrampoline::host()),
       reinterpret_cast<const void*>(ResetHwTrampoline::target)},
      {reinterpret_cast<const void*>(TimerTrampoline::host()),
       reinterpret_cast<const void*>(TimerTrampoline::target)},
      {reinterpret_cast<const void*>(RegistryTrampoline::host()),
       reinterpret_cast<const void*>(RegistryTrampoline::target)},
  };
  for (const Known& k : known) {
    if (k.host == trampoline) return k.target;
  }
  return nullptr;
}

bool looksLikePeImage(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char magic[2] = {};
  const bool pe = read(fd, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
  close(fd);
  return pe;
}

}  // namespace orva::loader
