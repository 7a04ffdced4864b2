#include "verifier_baseline.h"

#include <iostream>

#include "files.h"
#include "parse.h"

namespace orvasim {

extern const char* const kVerifierBaselineText;  // generated from verifier-baseline.txt

namespace {

// The site names its function as "module+0x... (NAME+0x...)" or, for C++, with
// the parameter list: "(NAME(TYPES)+0x...)".
bool siteNames(const std::string& site, const std::string& function) {
  for (const char* after : {"+", "("})
    if (site.find("(" + function + after) != std::string::npos) return true;
  return false;
}

}  // namespace

std::vector<BaselineEntry> parseBaseline(std::string_view text, const std::string& name) {
  std::vector<BaselineEntry> entries;
  int number = 0;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string line = trim(text.substr(begin, end - begin));
    begin = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> words = splitWords(line);
    if (words.size() < 4)
      throw UsageError(name + ": line " + std::to_string(number) +
                       ": expected KIND ROUTINE FUNCTION REASON (the reason is required)");
    BaselineEntry entry{words[0], words[1], words[2], "", number};
    for (size_t i = 3; i < words.size(); ++i) entry.reason += (i > 3 ? " " : "") + words[i];
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<BaselineEntry> loadBaseline(const std::string& file) {
  return parseBaseline(readFile(file, "verifier baseline", std::cin), file);
}

const std::string& defaultBaselineText() {
  static const std::string text = kVerifierBaselineText;
  return text;
}

std::vector<BaselineEntry> defaultBaseline() {
  return parseBaseline(defaultBaselineText(), "the built-in verifier baseline");
}

bool inBaseline(const orva::platform::Notice& notice, const std::vector<BaselineEntry>& baseline) {
  for (const BaselineEntry& entry : baseline) {
    if (entry.kind != notice.kind) continue;
    if (entry.routine != "*" && entry.routine != notice.routine) continue;
    if (entry.function != "*" && !siteNames(notice.site, entry.function)) continue;
    return true;
  }
  return false;
}

VerifierSummary summarise(const std::vector<orva::platform::Notice>& notices,
                          const std::vector<BaselineEntry>& baseline) {
  VerifierSummary summary;
  for (const orva::platform::Notice& notice : notices) {
    ++summary.total;
    ++(inBaseline(notice, baseline) ? summary.accepted : summary.fresh);
  }
  return summary;
}

}  // namespace orvasim
