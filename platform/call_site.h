// Where a call into the library came from, for the verifier's notices.
#pragma once
#include <string>

namespace orva::platform::detail {

// `returnAddress` as module+offset, with the nearest symbol the module exports
// ("orva_host.so+0x1a2b (REGHOST_Init+0x4c)"). A copy of the driver module the
// session loaded is named as `moduleName`; an address in no module the dynamic
// loader knows (a .sys image reaches the library through thunks) is given bare.
std::string callSite(const void* returnAddress, const std::string& moduleCopy,
                     const std::string& moduleName);

}  // namespace orva::platform::detail
