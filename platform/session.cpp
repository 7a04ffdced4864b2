#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "call_site.h"
#include "completion.h"
#include "guarded_buffer.h"
#include "session_impl.h"
#include "text.h"

#ifndef ORVA_DRIVER_MODULE
#define ORVA_DRIVER_MODULE "orva_host.so"
#endif

namespace orva::platform {
namespace {

Session::Impl* g_current = nullptr;

const char* const kOutputTypeName = "HardwareInformation.OutputType";

std::string defaultModulePath() {
  if (const char* path = std::getenv("ORVA_DRIVER_MODULE"); path != nullptr && *path != '\0') {
    return path;
  }
  return ORVA_DRIVER_MODULE;
}

// Copies the module file to a new file of its own: the dynamic loader shares an
// image between loads of one file, so a private copy is what guarantees that
// every module variable starts at its load-time value.
std::string privateCopy(const std::string& path) {
  const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw std::runtime_error("cannot open driver module " + path);
  const char* tmp = std::getenv("TMPDIR");
  std::string name =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orva-driver-XXXXXX.so";
  const int out = mkostemps(name.data(), 3, O_CLOEXEC);
  if (out < 0) {
    close(in);
    throw std::runtime_error("cannot create a private copy of the driver module in " + name);
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    const ssize_t got = read(in, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0 || write(out, buffer, static_cast<size_t>(got)) != got) {
      ok = false;
      break;
    }
  }
  close(in);
  if (close(out) != 0) ok = false;
  if (!ok) {
    unlink(name.c_str());
    throw std::runtime_error("cannot copy driver module " + path);
  }
  return name;
}

}  // namespace

std::vector<uint8_t> registryString(std::string_view text) {
  std::vector<uint8_t> out;
  for (char16_t unit : text::utf8ToUtf16(text)) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

Session::Impl::Impl(const SessionOptions& options)
    : board(std::make_unique<board::Board>(options.board)),
      space(std::make_unique<detail::AddressSpace>(*board)) {
  configure(options);
  loadModule(modulePath);
}

void Session::Impl::configure(const SessionOptions& options) {
  if (options.outputType)
    presetValues[kOutputTypeName] = {options.outputTypeKind, *options.outputType};
  checks = options.verify ? options.verifyChecks : 0;
  failMappings = options.failMappings;
  modulePath = options.driverPath.empty() ? defaultModulePath() : options.driverPath;
}

void Session::Impl::reset(const SessionOptions& options) {
  space->reset();
  board->reset(options.board);
  std::fill(std::begin(driverObject), std::end(driverObject), 0);
  registryPath = kRegistryPath;
  deviceKey = registryPath + u"\\Device0";
  inRegistryCallback = false;
  notices.clear();
  mappingSites.clear();
  failMappings.clear();
  entryRan = false;
  entryStatus = 0;
  initializeCalled = false;
  discovering = false;
  opened = false;
  initializeRoutine = nullptr;
  startIo = nullptr;
  adapters.clear();
  findAdapterCalls = 0;
  presetValues.clear();
  writtenValues.clear();
  configure(options);
  if (image) {
    unloadModule();
    loadModule(modulePath);
  } else {
    moduleData->restore();
  }
}

Session::Impl::~Impl() {
  space.reset();
  unloadModule();
  board.reset();
}

namespace detail {

// Ends the process with a message. The private copy of the driver module goes
// first: nothing else would remove it.
void fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("videoprt: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::fflush(stderr);
  if (g_current != nullptr && !g_current->moduleCopy.empty()) {
    unlink(g_current->moduleCopy.c_str());
  }
  std::abort();
}

}  // namespace detail

Session::Impl& Session::Impl::current(const char* function) {
  if (g_current == nullptr) detail::fatal("%s called with no session", function);
  return *g_current;
}

void Session::Impl::loadModule(const std::string& path) {
  if (loader::looksLikePeImage(path)) {
    // The loader maps a fresh copy of the image's sections for every load.
    try {
      image = loader::DriverImage::load(path);
    } catch (const loader::LoadError& error) {
      throw std::runtime_error(error.what());
    }
    return;
  }
  moduleName = path.substr(path.rfind('/') + 1);
  moduleCopy = privateCopy(path);
  module = dlopen(moduleCopy.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    // The loader names the copy; the caller knows the file by its own name.
    std::string error = dlerror();
    for (size_t at; (at = error.find(moduleCopy)) != std::string::npos;) {
      error.replace(at, moduleCopy.size(), path);
    }
    unlink(moduleCopy.c_str());
    moduleCopy.clear();
    throw std::runtime_error("cannot load driver module " + path + ": " + error);
  }
  try {
    moduleData = std::make_unique<detail::ModuleData>(module, moduleCopy);
  } catch (...) {
    unloadModule();
    throw;
  }
}

void Session::Impl::unloadModule() {
  siteNames.clear();
  image.reset();
  moduleData.reset();
  if (module != nullptr) dlclose(module);
  module = nullptr;
  if (!moduleCopy.empty()) unlink(moduleCopy.c_str());
  moduleCopy.clear();
}

void Session::Impl::checkExtension(PVOID extension, const char* function) const {
  if (adapters.empty()) return;  // single driver functions run without discovery
  for (const Adapter& adapter : adapters) {
    if (adapter.extension.get() == extension) return;
  }
  detail::fatal("%s: %p is not a device extension the library handed out", function, extension);
}

ULONG Session::Impl::initialize(PVOID argument1, PVOID argument2,
                                PVIDEO_HW_INITIALIZATION_DATA data, PVOID context) {
  constexpr ULONG kStatusRevisionMismatch = 0xC0000059;
  constexpr ULONG kStatusNoSuchDevice = 0xC000000E;
  if (argument1 != driverObject || argument2 != registryPath.data() || data == nullptr) {
    return detail::kStatusInvalidParameter;
  }
  // The record is versioned by its size: only the layouts the library knows.
  const ULONG size = data->HwInitDataSize;
  if (size != SIZE_OF_NT4_VIDEO_HW_INITIALIZATION_DATA &&
      size != SIZE_OF_W2K_VIDEO_HW_INITIALIZATION_DATA &&
      size != SIZE_OF_WXP_VIDEO_HW_INITIALIZATION_DATA) {
    return kStatusRevisionMismatch;
  }
  if (data->HwFindAdapter == nullptr || data->HwInitialize == nullptr ||
      data->HwStartIO == nullptr) {
    return detail::kStatusInvalidParameter;
  }
  if (initializeCalled) return kStatusNoSuchDevice;  // one driver, one adapter search
  initializeCalled = true;

  // Find adapters while the driver says there may be another one.
  constexpr unsigned kMaxAdapters = 4;
  UCHAR again = TRUE;
  VP_STATUS firstStatus = 0;
  while (again && adapters.size() < kMaxAdapters) {
    Adapter& adapter = adapters.emplace_back();
    adapter.extensionSize = data->HwDeviceExtensionSize;
    adapter.extension.reset(new uint8_t[adapter.extensionSize ? adapter.extensionSize : 1]());
    VIDEO_PORT_CONFIG_INFO config;
    fillConfig(data->AdapterInterfaceType, &config);
    again = FALSE;
    ++findAdapterCalls;
    discovering = true;
    routine = "HwFindAdapter";
    adapter.findStatus =
        data->HwFindAdapter(adapter.extension.get(), context, nullptr, &config, &again);
    discovering = false;
    routine = "";
    if (adapters.size() == 1) firstStatus = adapter.findStatus;
    if (adapter.findStatus != 0) break;  // no adapter here: no further one is looked for
  }
  initializeRoutine = data->HwInitialize;
  startIo = data->HwStartIO;
  return firstStatus == 0 ? detail::kStatusSuccess : detail::ntStatusOf(firstStatus);
}

void Session::Impl::fillConfig(INTERFACE_TYPE interfaceType, VIDEO_PORT_CONFIG_INFO* config) {
  // What the library knows of the board: an adapter on the first bus of the
  // type the driver names, without an interrupt, and the service's device key.
  std::memset(config, 0, sizeof *config);
  config->Length = sizeof *config;
  config->SystemIoBusNumber = 0;
  config->AdapterInterfaceType = interfaceType;
  config->BusInterruptLevel = 0;
  config->BusInterruptVector = 0;
  config->InterruptMode = interfaceType == Isa ? Latched : LevelSensitive;
  config->DriverRegistryPath = deviceKey.data();
  config->SystemMemorySize = kSystemMemorySize;
}

std::optional<Session::Impl::Value> Session::Impl::findValue(const std::string& name) const {
  for (const auto& [key, data] : writtenValues) {
    if (text::equalsIgnoreCase(key, name)) return Value{kRegBinary, data};
  }
  for (const auto& [key, value] : presetValues) {
    if (text::equalsIgnoreCase(key, name)) return value;
  }
  return std::nullopt;
}

void Session::Impl::storeValue(const std::string& name, std::vector<uint8_t> data) {
  for (auto& [key, value] : writtenValues) {
    if (text::equalsIgnoreCase(key, name)) {
      value = std::move(data);
      return;
    }
  }
  writtenValues.emplace(name, std::move(data));
}

Session::Session(const SessionOptions& options) : impl_(nullptr) {
  if (g_current != nullptr) throw std::logic_error("only one Session may exist at a time");
  impl_ = new Impl(options);
  g_current = impl_;
  if (!options.runDriverEntry) return;
  try {
    startDriver();
  } catch (...) {
    g_current = nullptr;
    delete impl_;
    throw;
  }
}

uint32_t Session::startDriver() {
  if (impl_->entryRan) throw std::logic_error("DriverEntry has already run");
  using Entry = ULONG NTAPI (*)(PVOID, PVOID);
  Entry entry = nullptr;
  if (impl_->image) {
    entry = impl_->image->entry();
  } else {
    entry = reinterpret_cast<Entry>(dlsym(impl_->module, "DriverEntry"));
  }
  if (entry == nullptr) throw std::runtime_error("driver module has no DriverEntry");
  impl_->entryRan = true;
  impl_->entryStatus = entry(impl_->driverObject, impl_->registryPath.data());
  return impl_->entryStatus;
}

void Session::reset(const SessionOptions& options) {
  const std::string path = options.driverPath.empty() ? defaultModulePath() : options.driverPath;
  if (path != impl_->modulePath) throw std::logic_error("a reset cannot load another driver");
  impl_->reset(options);
  if (options.runDriverEntry) startDriver();
}

Session::~Session() {
  delete impl_;
  g_current = nullptr;
}

uint32_t Session::driverEntryStatus() const { return impl_->entryStatus; }

bool Session::found() const {
  return impl_->startIo != nullptr && !impl_->adapters.empty() &&
         impl_->adapters.front().findStatus == 0;
}

bool Session::open() {
  if (!impl_->entryRan) throw std::logic_error("open before DriverEntry");
  if (impl_->opened) throw std::logic_error("the device is already open");
  impl_->opened = true;
  if (!found()) return false;
  for (Impl::Adapter& adapter : impl_->adapters) {
    if (adapter.findStatus == 0) {
      impl_->routine = "HwInitialize";
      adapter.initialized = impl_->initializeRoutine(adapter.extension.get()) == TRUE;
      impl_->routine = "";
    }
  }
  return started();
}

void Session::close() {
  if (!impl_->opened) throw std::logic_error("the device is not open");
  impl_->opened = false;
  for (Impl::Adapter& adapter : impl_->adapters) adapter.initialized = false;
}

bool Session::started() const {
  return found() && impl_->opened && impl_->adapters.front().initialized;
}

board::Board& Session::board() { return *impl_->board; }
board::Trace& Session::trace() { return impl_->board->trace(); }

RequestResult Session::request(uint32_t code, std::span<const uint8_t> input,
                               uint32_t outputLength) {
  if (!started()) throw std::logic_error("request to a device that is not open");
  board::TraceEvent entering;
  entering.op = board::TraceEvent::Op::Request;
  entering.value = code;
  entering.extra = outputLength;
  // Events are only counted while the trace does not record: no copies then.
  const bool recording = trace().recording();
  if (recording) entering.bytes.assign(input.begin(), input.end());
  trace().add(std::move(entering));

  RequestResult result = impl_->complete(code, input, outputLength);

  board::TraceEvent done;
  done.op = board::TraceEvent::Op::Done;
  done.value = code;
  done.extra = result.status;
  done.extra2 = result.information;
  // What reached the caller: nothing under an error status.
  const size_t shown =
      detail::ntError(result.ntStatus)
          ? 0
          : static_cast<size_t>(std::min<uint64_t>(result.information, outputLength));
  if (recording) {
    done.bytes.assign(result.output.begin(), result.output.begin() + static_cast<ptrdiff_t>(shown));
  }
  trace().add(std::move(done));
  return result;
}

namespace {

// The first byte at or after `from` of a system buffer of `size` bytes that no
// longer holds what it was handed: the input, then the pattern.
size_t firstChange(const uint8_t* buffer, size_t size, std::span<const uint8_t> input,
                   size_t from) {
  const size_t inputEnd = std::min(input.size(), size);
  if (from < inputEnd) {
    // Mostly unchanged: one memcmp says so, the byte walk only finds where.
    if (std::memcmp(buffer + from, input.data() + from, inputEnd - from) != 0) {
      const auto at = std::mismatch(buffer + from, buffer + inputEnd, input.begin() + from);
      return static_cast<size_t>(at.first - buffer);
    }
    from = inputEnd;
  }
  // A block at a time against the pattern, then byte by byte inside the block.
  static const std::vector<uint8_t> kBlock(256, detail::GuardedBuffer::kPattern);
  while (from < size) {
    const size_t n = std::min(kBlock.size(), size - from);
    if (std::memcmp(buffer + from, kBlock.data(), n) != 0) {
      while (buffer[from] == detail::GuardedBuffer::kPattern) ++from;
      return from;
    }
    from += n;
  }
  return size;
}

}  // namespace

RequestResult Session::Impl::complete(uint32_t code, std::span<const uint8_t> input,
                                      uint32_t outputLength) {
  // The I/O manager's system buffer: max(input, output) bytes holding the input,
  // not zeroed past it, ending where an inaccessible page begins so that a byte
  // beyond it faults.
  const size_t size = std::max<size_t>(input.size(), outputLength);
  if (requestBuffer) {
    requestBuffer->reuse(size);
  } else {
    requestBuffer = std::make_unique<detail::GuardedBuffer>(size);
  }
  detail::GuardedBuffer& buffer = *requestBuffer;
  if (!input.empty()) std::memcpy(buffer.data(), input.data(), input.size());

  // Windows hands the status block over zeroed, so a miniport that stores no
  // status reports success there. Here a value no miniport stores marks it.
  constexpr VP_STATUS kUnset = static_cast<VP_STATUS>(0xDEADBEEF);
  STATUS_BLOCK status{};
  status.Status = kUnset;
  status.Information = 0;

  VIDEO_REQUEST_PACKET packet{};
  packet.IoControlCode = code;
  packet.StatusBlock = &status;
  packet.InputBuffer = buffer.data();
  packet.InputBufferLength = static_cast<ULONG>(input.size());
  packet.OutputBuffer = buffer.data();
  packet.OutputBufferLength = outputLength;
  routine = "HwStartIO";
  const BOOLEAN returned = startIo(adapters.front().extension.get(), &packet);
  routine = "";

  if (returned != TRUE) detail::fatal("request %#x: HwStartIO returned %d", code, returned);
  if (status.Status == kUnset) detail::fatal("request %#x: no status stored", code);
  RequestResult result;
  result.status = static_cast<uint32_t>(status.Status);
  result.ntStatus = detail::ntStatusOf(status.Status);
  result.information = status.Information;
  result.output.assign(outputLength, 0);
  if (!detail::ntError(result.ntStatus)) {
    if (status.Information > outputLength) {
      detail::fatal("request %#x: %lu bytes reported in an output of %u", code,
                    static_cast<unsigned long>(status.Information), outputLength);
    }
    if (status.Information != 0) {
      std::memcpy(result.output.data(), buffer.data(), static_cast<size_t>(status.Information));
    }
  }
  // Bytes changed past those reported never reach the caller: legal, but a sign
  // that the driver and its caller disagree about the record. Only the verifier
  // reports it, so only the verifier pays for the scan.
  if (!checking(kVerifyOutput)) return result;
  const size_t reported = static_cast<size_t>(std::min<uint64_t>(status.Information, size));
  const size_t changed = firstChange(buffer.data(), size, input, reported);
  if (changed < size) {
    char message[128];
    std::snprintf(message, sizeof message,
                  "request %#x: byte %zu written beyond the %zu bytes reported (output %u)", code,
                  changed, reported, outputLength);
    notices.push_back({"unreported-output", message, "HwStartIO", "HwStartIO"});
  }
  return result;
}

void Session::Impl::notice(std::string kind, std::string message, std::string site) {
  notices.push_back({std::move(kind), std::move(message), std::move(site), routine});
}

void Session::Impl::notice(std::string kind, std::string message, const void* returnAddress) {
  notice(std::move(kind), std::move(message), siteName(returnAddress));
}

void Session::Impl::noteMapping(const void* address, const void* returnAddress) {
  if (!checking(kVerifyMappings) || address == nullptr) return;
  mappingSites.try_emplace(reinterpret_cast<uintptr_t>(address),
                           MappingSite{returnAddress, routine});
}

const std::string& Session::Impl::siteName(const void* returnAddress) const {
  auto it = siteNames.find(returnAddress);
  if (it == siteNames.end()) {
    it = siteNames.emplace(returnAddress, detail::callSite(returnAddress, moduleCopy, moduleName))
             .first;
  }
  return it->second;
}

const std::vector<Notice>& Session::notices() const { return impl_->notices; }

std::vector<Notice> Session::verifierReport() const {
  std::vector<Notice> report = impl_->notices;
  if (!impl_->checking(kVerifyMappings)) return report;
  for (const Mapping& mapping : mappings()) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "%s %#llx, %u bytes, mapped at %#llx (%u reference%s) never released",
                  mapping.io ? "I/O range" : "memory range",
                  static_cast<unsigned long long>(mapping.physical), mapping.length,
                  static_cast<unsigned long long>(mapping.address), mapping.references,
                  mapping.references == 1 ? "" : "s");
    const auto site = impl_->mappingSites.find(static_cast<uintptr_t>(mapping.address));
    report.push_back({"unreleased-mapping", message,
                      site != impl_->mappingSites.end()
                          ? impl_->siteName(site->second.returnAddress)
                          : std::string(),
                      site != impl_->mappingSites.end() ? site->second.routine : ""});
  }
  return report;
}

const std::map<std::string, std::vector<uint8_t>>& Session::registry() const {
  return impl_->writtenValues;
}

std::span<const uint8_t> Session::deviceExtension() const {
  if (impl_->adapters.empty()) return {};
  const Impl::Adapter& adapter = impl_->adapters.front();
  return {adapter.extension.get(), adapter.extensionSize};
}

std::vector<Mapping> Session::mappings() const { return impl_->space->mappings(); }

std::vector<Mapping> Session::userMappings() const {
  std::vector<Mapping> out = mappings();
  std::erase_if(out, [](const Mapping& mapping) { return mapping.process == 0; });
  return out;
}

HANDLE Session::createProcess() { return reinterpret_cast<HANDLE>(impl_->space->createProcess()); }
unsigned Session::findAdapterCalls() const { return impl_->findAdapterCalls; }

void* Session::symbol(const char* name) const {
  if (impl_->image) return impl_->image->symbol(name);
  if (impl_->module == nullptr) return nullptr;
  void* address = dlsym(impl_->module, name);
  if (address == nullptr) return nullptr;
  // dlsym also searches the module's dependencies; only the module's own count.
  Dl_info info{};
  if (dladdr(address, &info) == 0) return nullptr;
  if (info.dli_fname == nullptr || impl_->moduleCopy != info.dli_fname) return nullptr;
  return address;
}

}  // namespace orva::platform
