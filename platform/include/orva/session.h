// One emulated board with a freshly loaded driver on it: the hosted video port
// library's view of a single adapter.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board.h"
#include "host_ddk.h"

namespace orva::platform {

// Registry value types.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

// The verifier's checks, one bit each (SessionOptions::verifyChecks).
enum VerifierCheck : unsigned {
  kVerifyDeviceBases = 1u << 0,  // "device-base-outside-discovery"
  kVerifyClaims = 1u << 1,       // "unclaimed-range"
  kVerifyStalls = 1u << 2,       // "long-stall"
  kVerifyMappings = 1u << 3,     // "unreleased-mapping"
  kVerifyOutput = 1u << 4,       // "unreported-output"
  kVerifyAll = (1u << 5) - 1,
};

struct SessionOptions {
  board::BoardConfig board;
  // Raw data of the registry value "HardwareInformation.OutputType"; absent when
  // not set. The driver's callback gets these bytes as they are, whatever the
  // type: REG_EXPAND_SZ unexpanded, REG_MULTI_SZ whole in one call.
  std::optional<std::vector<uint8_t>> outputType;
  uint32_t outputTypeKind = kRegSz;  // its registry type
  // Driver to load: a .sys image built for this process's machine (run through
  // the PE loader) or a host driver module; empty selects the host build.
  std::string driverPath;
  // false: load the module but do not call DriverEntry (tests that drive single
  // driver functions through symbol()).
  bool runDriverEntry = true;
  // The verifier: report, as notices (Session::notices()), what Windows forbids
  // a miniport but does not always catch. Without it the same checks run and
  // nothing is recorded.
  bool verify = false;
  // Which checks the verifier makes: a caller that reads only some notices can
  // spare the others' bookkeeping.
  unsigned verifyChecks = kVerifyAll;
  // Physical addresses (port numbers for I/O) whose VideoPortGetDeviceBase
  // mapping fails, to exercise the driver's handling of failed mappings. Every
  // failed mapping's trace event has its `failed` flag set ("failed": true).
  std::vector<uint64_t> failMappings;
};

// A registry string as the video port library hands it over: UTF-16LE with the
// terminating zero counted in the length.
std::vector<uint8_t> registryString(std::string_view text);

// A request as the caller sees it once the I/O manager has completed it.
struct RequestResult {
  uint32_t status = 0;    // the miniport's status (a Win32 code)
  uint32_t ntStatus = 0;  // the NT status the video port library made of it
  uint64_t information = 0;
  // The caller's output buffer: zero-filled, then the first `information` bytes
  // copied back, unless ntStatus is an error.
  std::vector<uint8_t> output;
};

// Something the verifier reports.
struct Notice {
  std::string kind;     // e.g. "unreported-output", "long-stall"
  std::string message;  // what happened
  std::string site;     // where: module+offset (and symbol) of the call, or the callback
  // The driver routine the library was in: "HwFindAdapter", "HwInitialize",
  // "HwStartIO" (for an unreleased mapping: where it was made), "" elsewhere.
  std::string routine;
};

// A live mapping the library handed out. System-space ones (device bases, and
// VideoPortMapMemory with no process) lie high: from 0x80000000 in a 32-bit
// process, at 0x4000'8000'0000 and up in a 64-bit one; a range mapped there
// again comes back at the same address with one more reference. Mappings into
// a process lie at 0x10000000 and up and belong to it. Each area is handed out
// in request order, a guard page behind each range, and a freed range is used
// again only once the area is used up; so the same calls give the same
// addresses on every run.
struct Mapping {
  uint64_t address = 0;  // the address handed out (a port number for I/O space)
  uint64_t physical = 0;
  uint32_t length = 0;
  bool io = false;
  uint64_t process = 0;  // the process handle it was mapped into; 0: system space
  unsigned references = 1;
};

// NtCurrentProcess(): the session's current process, the display driver's.
inline const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(~uintptr_t{0});

class Session {
 public:
  // Boots the board, loads the driver afresh (every module variable at its
  // load-time value) and runs DriverEntry, which calls VideoPortInitialize and
  // with it HwFindAdapter. HwInitialize waits for open().
  explicit Session(const SessionOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The session as `options` would make it new, without loading the driver
  // again: its module variables are put back to their load-time values (a .sys
  // image is mapped afresh), the board powers up again in the display memory
  // it had, and every mapping, process, adapter, registry value, notice and
  // request buffer of before is gone. For a fuzzer, which must not load a
  // module per input; everything else makes a new Session. Throws
  // std::logic_error when `options` names another driver file.
  void reset(const SessionOptions& options);

  // Runs DriverEntry now, for a session made with runDriverEntry = false (tests
  // that set module variables before the driver starts); returns its value.
  // Throws std::logic_error when DriverEntry has already run.
  uint32_t startDriver();
  uint32_t driverEntryStatus() const;  // the value DriverEntry returned (an NT status)
  bool found() const;                  // HwFindAdapter found the adapter
  // Opens the device as the display driver does before its first request:
  // HwInitialize runs now, at every open, as the video port library runs it
  // whenever the device is opened (a display driver that is disabled and enabled
  // again opens it again). Returns started(). Throws std::logic_error before
  // DriverEntry or when the device is already open (the display driver opens it
  // exclusively).
  bool open();
  // Closes the device as the display driver does when it is disabled: no
  // miniport routine runs; requests are refused until the next open(). Throws
  // std::logic_error when the device is not open.
  void close();
  bool started() const;  // found, open and initialised: requests are accepted

  board::Board& board();
  board::Trace& trace();

  // One buffered request through HwStartIO, completed as the I/O manager does:
  // input and output share one system buffer of max(input, output) bytes, not
  // zeroed (a pattern past the input), ending where an inaccessible page
  // begins; Information starts at 0 and Status at a value no miniport stores.
  // HwStartIO returning FALSE, no status stored, or more bytes reported than
  // the output holds under a status that is not an error end the process with
  // a message.
  RequestResult request(uint32_t code, std::span<const uint8_t> input, uint32_t outputLength);

  // What the verifier reported so far (empty unless SessionOptions::verify).
  const std::vector<Notice>& notices() const;
  // The notices, then one "unreleased-mapping" for every mapping still live:
  // the report at the end of a run.
  std::vector<Notice> verifierReport() const;

  // Values the driver wrote with VideoPortSetRegistryParameters (stored as
  // REG_BINARY, as the video port library writes them).
  const std::map<std::string, std::vector<uint8_t>>& registry() const;
  // The device extension as the driver left it.
  std::span<const uint8_t> deviceExtension() const;

  // Live mappings: all of them, or those in some process only.
  std::vector<Mapping> mappings() const;
  std::vector<Mapping> userMappings() const;
  // Another process a display driver may share the frame buffer with: its
  // handle (4, 8, 12 ... in order of creation).
  HANDLE createProcess();
  // Calls of HwFindAdapter so far (the library calls it again while the driver
  // sets its Again flag).
  unsigned findAdapterCalls() const;

  // Address of a C-linkage symbol of this session's driver module (functions and
  // module variables), nullptr when absent. Tests call single driver functions
  // through it; the calls reach this session's board like any other. For a .sys
  // image these are its exports, and only its variables are usable as they are:
  // its functions keep the driver's calling convention.
  void* symbol(const char* name) const;
  template <typename T>
  T* driverSymbol(const char* name) const {
    return reinterpret_cast<T*>(symbol(name));
  }

  // The library's side of a session (platform/session_impl.h).
  struct Impl;

 private:
  Impl* impl_;
};

}  // namespace orva::platform
