#include "module_data.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace orva::platform::detail {
namespace {

// Copies bytes without the address sanitizer's view of the module's globals:
// their redzones are part of the sections being put back.
__attribute__((no_sanitize("address", "undefined"))) void copyRaw(uint8_t* to, const uint8_t* from,
                                                                  size_t n) {
  volatile uint8_t* out = to;
  size_t i = 0;
  for (; i < n && (reinterpret_cast<uintptr_t>(to + i) % 8 != 0 ||
                   reinterpret_cast<uintptr_t>(from + i) % 8 != 0);
       ++i) {
    out[i] = from[i];
  }
  // Both sides aligned: a word at a time.
  for (; i + 8 <= n; i += 8) {
    *reinterpret_cast<volatile uint64_t*>(to + i) = *reinterpret_cast<const uint64_t*>(from + i);
  }
  for (; i < n; ++i) out[i] = from[i];
}

// (address relative to the load base, size) of the sections that hold module
// variables.
std::vector<std::pair<uintptr_t, size_t>> writableSections(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  const auto bad = [&](const char* what) { return std::runtime_error(path + ": " + what); };
  if (image.size() < sizeof(ElfW(Ehdr))) throw bad("not an ELF file");
  ElfW(Ehdr) header;
  std::memcpy(&header, image.data(), sizeof header);
  if (header.e_shoff + uint64_t{header.e_shnum} * sizeof(ElfW(Shdr)) > image.size() ||
      header.e_shstrndx >= header.e_shnum) {
    throw bad("section headers out of the file");
  }
  std::vector<ElfW(Shdr)> sections(header.e_shnum);
  std::memcpy(sections.data(), image.data() + header.e_shoff, header.e_shnum * sizeof(ElfW(Shdr)));
  const ElfW(Shdr)& names = sections[header.e_shstrndx];
  std::vector<std::pair<uintptr_t, size_t>> out;
  for (const ElfW(Shdr) & s : sections) {
    if ((s.sh_flags & (SHF_ALLOC | SHF_WRITE)) != (SHF_ALLOC | SHF_WRITE) || s.sh_size == 0) {
      continue;
    }
    if (names.sh_offset + s.sh_name >= image.size()) throw bad("section name out of the file");
    const std::string name(image.data() + names.sh_offset + s.sh_name);
    if (name == ".data" || name == ".bss" || name == ".data.rel" ||
        name.rfind(".data.rel.local", 0) == 0) {
      out.emplace_back(s.sh_addr, s.sh_size);
    }
  }
  return out;
}

}  // namespace

ModuleData::ModuleData(void* handle, const std::string& path) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
    throw std::runtime_error(path + ": no link map");
  }
  const auto base = static_cast<uintptr_t>(map->l_addr);
  for (const auto& [offset, size] : writableSections(path)) {
    Section s;
    s.at = reinterpret_cast<uint8_t*>(base + offset);
    s.image.resize(size);
    copyRaw(s.image.data(), s.at, size);
    sections_.push_back(std::move(s));
  }
}

void ModuleData::restore() {
  for (Section& s : sections_) copyRaw(s.at, s.image.data(), s.image.size());
}

}  // namespace orva::platform::detail
