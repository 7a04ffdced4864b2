// The video port library's functions, as the driver calls them, over the board
// of the session that exists now. They never throw: the driver's frames carry no
// unwind information, so any failure here ends the process with a message.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "session_impl.h"
#include "text.h"

using orva::board::TraceEvent;
using orva::platform::kRegExpandSz;
using orva::platform::kRegMultiSz;
using orva::platform::kRegSz;
using orva::platform::kVerifyClaims;
using orva::platform::kVerifyDeviceBases;
using orva::platform::kVerifyStalls;
using orva::platform::Session;
using orva::platform::detail::fatal;
namespace text = orva::platform::text;

namespace {

constexpr VP_STATUS kNoError = 0;
constexpr VP_STATUS kInvalidParameter = 87;

// Runs a body that reaches the board; turns an escaping exception into a fatal error.
template <typename Body>
auto guarded(const char* function, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const std::exception& error) {
    fatal("%s: %s", function, error.what());
  } catch (...) {
    fatal("%s: unknown failure", function);
  }
}

// x86 in and out take the port in DX: the bus sees the low 16 bits of whatever
// number the driver passed. The trace keeps that number when it differs.
void noteRequestedPort(Session::Impl& session, const void* port) {
  const auto passed = reinterpret_cast<uintptr_t>(port);
  if (passed > 0xFFFF) session.board->trace().setRequestedPort(passed);
}

uint32_t portIn(const char* function, unsigned width, const void* port) {
  return guarded(function, [&] {
    Session::Impl& session = Session::Impl::current(function);
    const auto bus = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(port) & 0xFFFF);
    const uint32_t value = session.board->in(width, bus);
    noteRequestedPort(session, port);
    return value;
  });
}

void portOut(const char* function, unsigned width, const void* port, uint32_t value) {
  guarded(function, [&] {
    Session::Impl& session = Session::Impl::current(function);
    session.board->out(width, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(port) & 0xFFFF),
                       value);
    noteRequestedPort(session, port);
  });
}

uint32_t registerRead(const char* function, unsigned width, const void* address) {
  return guarded(function, [&] {
    Session::Impl& session = Session::Impl::current(function);
    const uint64_t physical =
        session.space->physicalOf(reinterpret_cast<uintptr_t>(address), width / 8, function);
    return session.board->read(width, physical);
  });
}

void registerWrite(const char* function, unsigned width, const void* address, uint32_t value) {
  guarded(function, [&] {
    Session::Impl& session = Session::Impl::current(function);
    const uint64_t physical =
        session.space->physicalOf(reinterpret_cast<uintptr_t>(address), width / 8, function);
    session.board->write(width, physical, value);
  });
}

}  // namespace

extern "C" {

ULONG NTAPI VideoPortInitialize(PVOID Argument1, PVOID Argument2,
                                PVIDEO_HW_INITIALIZATION_DATA HwInitializationData,
                                PVOID HwContext) {
  static const char* const kName = "VideoPortInitialize";
  Session::Impl& session = Session::Impl::current(kName);
  return session.initialize(Argument1, Argument2, HwInitializationData, HwContext);
}

VP_STATUS NTAPI VideoPortGetRegistryParameters(PVOID HwDeviceExtension, PWSTR ParameterName,
                                               UCHAR IsParameterFileName,
                                               PMINIPORT_GET_REGISTRY_ROUTINE CallbackRoutine,
                                               PVOID Context) {
  static const char* const kName = "VideoPortGetRegistryParameters";
  Session::Impl& session = Session::Impl::current(kName);
  session.checkExtension(HwDeviceExtension, kName);
  if (ParameterName == nullptr) return kInvalidParameter;
  const std::string name = guarded(kName, [&] { return text::wideToUtf8(ParameterName); });
  const auto value = session.findValue(name);

  guarded(kName, [&] {
    TraceEvent event;
    event.op = TraceEvent::Op::RegistryGet;
    event.name = name;
    event.found = value.has_value();
    // Text for the string types; the first string of a REG_MULTI_SZ.
    if (value &&
        (value->type == kRegSz || value->type == kRegExpandSz || value->type == kRegMultiSz)) {
      event.text = text::utf16leToUtf8(value->data);
    }
    session.board->trace().add(std::move(event));
  });
  // A missing value: no callback. Values naming a file to read are not kept.
  if (IsParameterFileName || !value || CallbackRoutine == nullptr) return kInvalidParameter;
  // The callback gets a buffer of exactly the value's length, once, with the
  // data as stored whatever its type.
  const size_t length = value->data.size();
  std::unique_ptr<uint8_t[]> data(new uint8_t[length ? length : 1]);
  if (length != 0) std::memcpy(data.get(), value->data.data(), length);
  session.inRegistryCallback = true;
  const VP_STATUS status = CallbackRoutine(HwDeviceExtension, Context, ParameterName, data.get(),
                                           static_cast<ULONG>(length));
  session.inRegistryCallback = false;
  return status;
}

VP_STATUS NTAPI VideoPortSetRegistryParameters(PVOID HwDeviceExtension, PWSTR ValueName,
                                               PVOID ValueData, ULONG ValueLength) {
  static const char* const kName = "VideoPortSetRegistryParameters";
  Session::Impl& session = Session::Impl::current(kName);
  session.checkExtension(HwDeviceExtension, kName);
  if (ValueName == nullptr || (ValueData == nullptr && ValueLength != 0)) return kInvalidParameter;
  guarded(kName, [&] {
    const auto* bytes = static_cast<const uint8_t*>(ValueData);
    std::vector<uint8_t> data(bytes, bytes + ValueLength);
    const std::string name = text::wideToUtf8(ValueName);
    TraceEvent event;
    event.op = TraceEvent::Op::RegistrySet;
    event.name = name;
    event.extra = ValueLength;
    event.bytes = data;
    session.board->trace().add(std::move(event));
    session.storeValue(name, std::move(data));
  });
  return kNoError;
}

PVOID NTAPI VideoPortGetDeviceBase(PVOID HwDeviceExtension, PHYSICAL_ADDRESS IoAddress,
                                   ULONG NumberOfUchars, UCHAR InIoSpace) {
  static const char* const kName = "VideoPortGetDeviceBase";
  const void* caller = __builtin_return_address(0);
  Session::Impl& session = Session::Impl::current(kName);
  session.checkExtension(HwDeviceExtension, kName);
  const auto physical = static_cast<uint64_t>(IoAddress.QuadPart);
  return guarded(kName, [&] {
    // The notices' text, made only when the verifier keeps it.
    const auto range = [&](const char* tail) {
      char text[160];
      std::snprintf(text, sizeof text, "%s range %#llx, %u bytes %s", InIoSpace ? "I/O" : "memory",
                    static_cast<unsigned long long>(physical), NumberOfUchars, tail);
      return std::string(text);
    };
    if (session.checking(kVerifyDeviceBases) && !session.discovering &&
        !session.inRegistryCallback) {
      session.notice("device-base-outside-discovery", range("mapped outside HwFindAdapter"),
                     caller);
    }
    const bool refused = std::find(session.failMappings.begin(), session.failMappings.end(),
                                   physical) != session.failMappings.end();
    void* base =
        refused ? nullptr : session.space->deviceBase(physical, NumberOfUchars, InIoSpace != 0);
    TraceEvent event;
    event.op = TraceEvent::Op::Map;
    event.io = InIoSpace != 0;
    event.address = physical;
    event.value = NumberOfUchars;
    event.failed = base == nullptr;
    session.board->trace().add(std::move(event));
    if (base != nullptr) {
      if (session.checking(kVerifyClaims)) {
        session.notice("unclaimed-range", range("mapped without being claimed as an access range"),
                       caller);
      }
      session.noteMapping(base, caller);
    }
    return base;
  });
}

VP_STATUS NTAPI VideoPortMapMemory(PVOID HwDeviceExtension, PHYSICAL_ADDRESS PhysicalAddress,
                                   PULONG Length, PULONG InIoSpace, PVOID* VirtualAddress) {
  static const char* const kName = "VideoPortMapMemory";
  const void* caller = __builtin_return_address(0);
  Session::Impl& session = Session::Impl::current(kName);
  session.checkExtension(HwDeviceExtension, kName);
  return guarded(kName, [&] {
    const VP_STATUS status = session.space->mapMemory(
        static_cast<uint64_t>(PhysicalAddress.QuadPart), Length, InIoSpace, VirtualAddress);
    if (status == kNoError) session.noteMapping(*VirtualAddress, caller);
    return status;
  });
}

VP_STATUS NTAPI VideoPortUnmapMemory(PVOID HwDeviceExtension, PVOID VirtualAddress,
                                     HANDLE ProcessHandle) {
  static const char* const kName = "VideoPortUnmapMemory";
  Session::Impl& session = Session::Impl::current(kName);
  session.checkExtension(HwDeviceExtension, kName);
  return guarded(kName, [&] {
    const VP_STATUS status =
        session.space->unmapMemory(VirtualAddress, reinterpret_cast<uintptr_t>(ProcessHandle));
    const auto address = reinterpret_cast<uintptr_t>(VirtualAddress);
    const auto live = session.space->mappings();
    if (std::none_of(live.begin(), live.end(),
                     [&](const auto& m) { return m.address == address; })) {
      session.mappingSites.erase(address);
    }
    return status;
  });
}

UCHAR NTAPI VideoPortReadPortUchar(PUCHAR Port) {
  return static_cast<UCHAR>(portIn("VideoPortReadPortUchar", 8, Port));
}
USHORT NTAPI VideoPortReadPortUshort(PUSHORT Port) {
  return static_cast<USHORT>(portIn("VideoPortReadPortUshort", 16, Port));
}
ULONG NTAPI VideoPortReadPortUlong(PULONG Port) {
  return portIn("VideoPortReadPortUlong", 32, Port);
}
VOID NTAPI VideoPortWritePortUchar(PUCHAR Port, UCHAR Value) {
  portOut("VideoPortWritePortUchar", 8, Port, Value);
}
VOID NTAPI VideoPortWritePortUshort(PUSHORT Port, USHORT Value) {
  portOut("VideoPortWritePortUshort", 16, Port, Value);
}
VOID NTAPI VideoPortWritePortUlong(PULONG Port, ULONG Value) {
  portOut("VideoPortWritePortUlong", 32, Port, Value);
}

UCHAR NTAPI VideoPortReadRegisterUchar(PUCHAR Register) {
  return static_cast<UCHAR>(registerRead("VideoPortReadRegisterUchar", 8, Register));
}
USHORT NTAPI VideoPortReadRegisterUshort(PUSHORT Register) {
  return static_cast<USHORT>(registerRead("VideoPortReadRegisterUshort", 16, Register));
}
ULONG NTAPI VideoPortReadRegisterUlong(PULONG Register) {
  return registerRead("VideoPortReadRegisterUlong", 32, Register);
}
VOID NTAPI VideoPortWriteRegisterUchar(PUCHAR Register, UCHAR Value) {
  registerWrite("VideoPortWriteRegisterUchar", 8, Register, Value);
}
VOID NTAPI VideoPortWriteRegisterUshort(PUSHORT Register, USHORT Value) {
  registerWrite("VideoPortWriteRegisterUshort", 16, Register, Value);
}
VOID NTAPI VideoPortWriteRegisterUlong(PULONG Register, ULONG Value) {
  registerWrite("VideoPortWriteRegisterUlong", 32, Register, Value);
}

VOID NTAPI VideoPortStallExecution(ULONG Microseconds) {
  static const char* const kName = "VideoPortStallExecution";
  const void* caller = __builtin_return_address(0);
  guarded(kName, [&] {
    Session::Impl& session = Session::Impl::current(kName);
    if (Microseconds > Session::Impl::kStallLimitUs && session.checking(kVerifyStalls)) {
      session.notice("long-stall",
                     std::to_string(Microseconds) + " us in one call (at most " +
                         std::to_string(Session::Impl::kStallLimitUs) + ")",
                     caller);
    }
    session.board->stall(Microseconds);
  });
}

VOID NTAPI VideoPortZeroMemory(PVOID Destination, ULONG Length) {
  if (Length != 0) std::memset(Destination, 0, Length);
}

}  // extern "C"
