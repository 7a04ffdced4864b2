#include "call_site.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva::platform::detail {
namespace {

std::string hex(uintptr_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
  return text;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string demangled(const char* name) {
  int status = 0;
  char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (plain == nullptr) return name;
  std::string out = plain;
  std::free(plain);
  return out;
}

}  // namespace

std::string callSite(const void* returnAddress, const std::string& moduleCopy,
                     const std::string& moduleName) {
  const auto address = reinterpret_cast<uintptr_t>(returnAddress);
  Dl_info info{};
  if (returnAddress == nullptr || dladdr(returnAddress, &info) == 0 || info.dli_fname == nullptr) {
    return hex(address);
  }
  const std::string module =
      !moduleCopy.empty() && moduleCopy == info.dli_fname ? moduleName : baseName(info.dli_fname);
  std::string site = module + "+" + hex(address - reinterpret_cast<uintptr_t>(info.dli_fbase));
  if (info.dli_sname != nullptr && info.dli_saddr != nullptr) {
    site += " (" + demangled(info.dli_sname) + "+" +
            hex(address - reinterpret_cast<uintptr_t>(info.dli_saddr)) + ")";
  }
  return site;
}

}  // namespace orva::platform::detail
