// Inside of a Session: the board, the loaded driver module, its adapters, the
// registry and the address space. The VideoPort* functions reach the session
// that exists now through current().
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "address_space.h"
#include "board.h"
#include "guarded_buffer.h"
#include "host_ddk.h"
#include "module_data.h"
#include "orva/driver_image.h"
#include "session.h"

namespace orva::platform {

struct Session::Impl {
  explicit Impl(const SessionOptions& options);
  ~Impl();
  // Everything but the loaded module back to a new session's state for
  // `options`; the module's variables back to their load-time values.
  void reset(const SessionOptions& options);
  // The state that follows from the options alone.
  void configure(const SessionOptions& options);

  // The one session of this process, or a fatal error when there is none.
  static Impl& current(const char* function);

  // A PE image (.sys, told by its header) goes through the loader, anything else
  // through the dynamic loader. Throws std::runtime_error when it cannot load.
  void loadModule(const std::string& path);
  void unloadModule();
  ULONG initialize(PVOID argument1, PVOID argument2, PVIDEO_HW_INITIALIZATION_DATA data,
                   PVOID context);
  // VIDEO_PORT_CONFIG_INFO as the library fills it for HwFindAdapter.
  void fillConfig(INTERFACE_TYPE interfaceType, VIDEO_PORT_CONFIG_INFO* config);
  // A device extension the driver passes back must be one the library handed out.
  void checkExtension(PVOID extension, const char* function) const;

  struct Adapter {
    std::unique_ptr<uint8_t[]> extension;
    size_t extensionSize = 0;
    VP_STATUS findStatus = 0;
    bool initialized = false;
  };

  std::unique_ptr<board::Board> board;
  std::unique_ptr<detail::AddressSpace> space;
  // The driver: a host module, or a .sys image.
  void* module = nullptr;
  std::string modulePath;  // the file the options named
  std::string moduleCopy;  // the private copy of the module file this session loaded
  std::unique_ptr<detail::ModuleData> moduleData;  // its load-time variables
  std::unique_ptr<orva::loader::DriverImage> image;

  // What DriverEntry gets: a stand-in driver object and the service's registry path.
  uint64_t driverObject[8] = {};
  static constexpr const char16_t* kRegistryPath =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\orva";
  std::u16string registryPath = kRegistryPath;
  // The adapter's key, which HwFindAdapter gets in its config record.
  std::u16string deviceKey = registryPath + u"\\Device0";
  // The memory the system reports to HwFindAdapter.
  static constexpr ULONGLONG kSystemMemorySize = 256ull << 20;

  // The verifier.
  static constexpr ULONG kStallLimitUs = 50;  // KeStallExecutionProcessor's per-call guidance
  unsigned checks = 0;                        // the verifier's checks, none without the verifier
  bool checking(unsigned check) const { return (checks & check) != 0; }
  bool inRegistryCallback = false;
  std::vector<Notice> notices;
  // Where each live mapping was first made: the return address of the call,
  // named when a report needs it.
  struct MappingSite {
    const void* returnAddress;
    const char* routine;
  };
  std::map<uintptr_t, MappingSite> mappingSites;
  std::string moduleName;  // the driver module's file name
  // Records a verifier notice for a call that returns to `returnAddress`.
  void notice(std::string kind, std::string message, const void* returnAddress);
  void notice(std::string kind, std::string message, std::string site);
  void noteMapping(const void* address, const void* returnAddress);
  // The name of the call site that returns to `returnAddress`, looked up once
  // for each address while the module stays loaded.
  const std::string& siteName(const void* returnAddress) const;
  mutable std::map<const void*, std::string> siteNames;
  std::vector<uint64_t> failMappings;  // device bases refused on purpose

  bool entryRan = false;
  uint32_t entryStatus = 0;
  bool initializeCalled = false;
  bool discovering = false;  // inside HwFindAdapter
  const char* routine = "";  // the driver routine running now, for the notices
  bool opened = false;
  PVIDEO_HW_INITIALIZE initializeRoutine = nullptr;
  PVIDEO_HW_START_IO startIo = nullptr;
  std::vector<Adapter> adapters;
  unsigned findAdapterCalls = 0;
  // The system buffer of the last request: its pages serve the next one too.
  std::unique_ptr<detail::GuardedBuffer> requestBuffer;

  // One buffered request through HwStartIO, completed as the I/O manager does.
  RequestResult complete(uint32_t code, std::span<const uint8_t> input, uint32_t outputLength);

  // Registry: values given by the session's options and values the driver wrote.
  struct Value {
    uint32_t type = kRegSz;
    std::vector<uint8_t> data;
  };
  std::map<std::string, Value> presetValues;
  std::map<std::string, std::vector<uint8_t>> writtenValues;  // REG_BINARY
  std::optional<Value> findValue(const std::string& name) const;
  void storeValue(const std::string& name, std::vector<uint8_t> data);
};

}  // namespace orva::platform
