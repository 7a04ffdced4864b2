// The verifier's baseline: the notices accepted by design, each with its reason, as
// sanitizer suppressions are kept. `--verify` counts the notices a baseline matches
// and shows, and fails on, any other one.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "session.h"

namespace orvasim {

struct BaselineEntry {
  std::string kind, routine, function, reason;  // "*": any routine or function
  int line = 0;
};

// "KIND ROUTINE FUNCTION REASON" lines; '#' comments. Throws UsageError naming
// `name` and the line.
std::vector<BaselineEntry> parseBaseline(std::string_view text, const std::string& name);
std::vector<BaselineEntry> loadBaseline(const std::string& file);
// The project's own baseline (tools/orvasim/verifier-baseline.txt, built in).
const std::string& defaultBaselineText();
std::vector<BaselineEntry> defaultBaseline();

bool inBaseline(const orva::platform::Notice& notice, const std::vector<BaselineEntry>& baseline);

struct VerifierSummary {
  size_t total = 0, accepted = 0, fresh = 0;
};
VerifierSummary summarise(const std::vector<orva::platform::Notice>& notices,
                          const std::vector<BaselineEntry>& baseline);

}  // namespace orvasim
