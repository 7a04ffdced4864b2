#include "orva/pe_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orva::loader {
namespace {

// File header, optional header and section header field offsets of the PE/COFF
// format.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kNewHeaderOffsetField = 0x3C;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kRelocationsStripped = 0x0001;
constexpr uint16_t kSubsystemNative = 1;
constexpr unsigned kMaxSections = 96;
constexpr uint32_t kMaxImageSize = 64u << 20;
constexpr uint32_t kSectionUninitialised = 0x00000080;

constexpr uint8_t kRelAbsolute = 0;
constexpr uint8_t kRelHighLow = 3;
constexpr uint8_t kRelDir64 = 10;

uintptr_t pageSize() {
  static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return size;
}

bool fits32(uint64_t value) { return value <= 0xFFFFFFFFu; }

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

const char* relocationTypeName(unsigned type, bool pe32Plus) {
  switch (type) {
    case 0:
      return "ABSOLUTE";
    case 1:
      return "HIGH";
    case 2:
      return "LOW";
    case 3:
      return "HIGHLOW";
    case 4:
      return "HIGHADJ";
    case 5:
      return pe32Plus ? "MIPS_JMPADDR" : "ARM_MOV32";
    case 7:
      return "THUMB_MOV32";
    case 9:
      return "MIPS_JMPADDR16";
    case 10:
      return "DIR64";
    default:
      return "reserved";
  }
}

const char* knownMachine(uint16_t machine) {
  switch (machine) {
    case 0x014C:
      return "i386";
    case 0x8664:
      return "AMD64";
    case 0x01C0:
      return "ARM";
    case 0x01C4:
      return "ARMNT";
    case 0xAA64:
      return "ARM64";
    case 0x0200:
      return "IA64";
    case 0x0000:
      return "unknown";
    default:
      return nullptr;
  }
}

// Bounds-checked little-endian reads from a byte range; `what` names the range
// in errors.
class Bytes {
 public:
  Bytes(std::span<const uint8_t> bytes, const char* what) : bytes_(bytes), what_(what) {}

  bool contains(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  void need(uint64_t offset, uint64_t length, const std::string& field) const {
    if (!contains(offset, length)) {
      throw LoadError(field + " at " + hex(offset) + " lies past the end of the " + what_ + " (" +
                      std::to_string(bytes_.size()) + " bytes)");
    }
  }
  uint8_t u8(uint64_t offset, const std::string& field) const {
    need(offset, 1, field);
    return bytes_[offset];
  }
  uint16_t u16(uint64_t offset, const std::string& field) const {
    need(offset, 2, field);
    return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
  }
  uint32_t u32(uint64_t offset, const std::string& field) const {
    need(offset, 4, field);
    return static_cast<uint32_t>(bytes_[offset]) | static_cast<uint32_t>(bytes_[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes_[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes_[offset + 3]) << 24;
  }
  uint64_t u64(uint64_t offset, const std::string& field) const {
    return u32(offset, field) | static_cast<uint64_t>(u32(offset + 4, field)) << 32;
  }
  // A zero-terminated string of at most `limit` characters.
  std::string text(uint64_t offset, size_t limit, const std::string& field) const {
    need(offset, 1, field);
    std::string out;
    for (uint64_t at = offset;; ++at) {
      if (at >= bytes_.size()) throw LoadError(field + " runs past the end of the " + what_);
      const char c = static_cast<char>(bytes_[at]);
      if (c == '\0') return out;
      if (out.size() == limit) throw LoadError(field + " is longer than " + std::to_string(limit));
      out.push_back(c);
    }
  }
  size_t size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  const char* what_;
};

std::string sectionName(const uint8_t* raw) {
  size_t length = 0;
  while (length < 8 && raw[length] != 0) ++length;
  std::string name(reinterpret_cast<const char*>(raw), length);
  for (char& c : name) {
    if (c < 0x20 || c > 0x7E) c = '?';
  }
  return name;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

const char* machineName(Machine machine) { return knownMachine(static_cast<uint16_t>(machine)); }

const SectionInfo* ImageHeaders::sectionAt(uint32_t rva) const {
  for (const SectionInfo& section : sections) {
    if (rva >= section.virtualAddress && rva - section.virtualAddress < section.virtualSize) {
      return &section;
    }
  }
  return nullptr;
}

ImageHeaders parseHeaders(std::span<const uint8_t> file) {
  const Bytes in(file, "file");
  ImageHeaders h;

  if (file.size() < kDosHeaderSize) {
    throw LoadError("file of " + std::to_string(file.size()) +
                    " bytes is too short for a DOS header (64 bytes)");
  }
  if (file[0] != 'M' || file[1] != 'Z')
    throw LoadError("no DOS header: the file does not start with MZ");
  const uint32_t peOffset = in.u32(kNewHeaderOffsetField, "PE header offset");
  if (peOffset < kDosHeaderSize || peOffset % 4 != 0) {
    throw LoadError("PE header offset " + hex(peOffset) +
                    " is not a 4-byte aligned offset past the DOS header");
  }
  in.need(peOffset, 4 + kFileHeaderSize, "PE signature and file header");
  if (std::memcmp(file.data() + peOffset, "PE\0\0", 4) != 0) {
    throw LoadError("no PE signature at " + hex(peOffset));
  }

  const uint32_t fh = peOffset + 4;
  const uint16_t machine = in.u16(fh, "machine");
  if (machine != static_cast<uint16_t>(Machine::I386) &&
      machine != static_cast<uint16_t>(Machine::Amd64)) {
    const char* name = knownMachine(machine);
    throw LoadError("machine " + hex(machine) + (name ? std::string(" (") + name + ")" : "") +
                    " is neither i386 nor AMD64");
  }
  h.machine = static_cast<Machine>(machine);
  const uint16_t sectionCount = in.u16(fh + 2, "section count");
  const uint16_t optionalSize = in.u16(fh + 16, "optional header size");
  h.characteristics = in.u16(fh + 18, "characteristics");
  if (sectionCount == 0 || sectionCount > kMaxSections) {
    throw LoadError("section count " + std::to_string(sectionCount) + " is not between 1 and " +
                    std::to_string(kMaxSections));
  }
  if (!(h.characteristics & kExecutableImage)) {
    throw LoadError("the file is not an executable image (an object file?)");
  }

  const uint32_t oh = fh + kFileHeaderSize;
  in.need(oh, optionalSize, "optional header");
  const uint16_t magic = in.u16(oh, "optional header magic");
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
    throw LoadError("optional header magic " + hex(magic) + " is neither PE32 nor PE32+");
  }
  h.pe32Plus = magic == kMagicPe32Plus;
  if (h.pe32Plus != (h.machine == Machine::Amd64)) {
    throw LoadError(std::string("a ") + (h.pe32Plus ? "PE32+" : "PE32") +
                    " optional header does not belong to a " + machineName(h.machine) + " image");
  }
  const uint32_t fixedSize = h.pe32Plus ? 112 : 96;
  if (optionalSize < fixedSize) {
    throw LoadError("optional header size " + std::to_string(optionalSize) +
                    " is smaller than the fixed fields (" + std::to_string(fixedSize) + " bytes)");
  }
  h.entryPoint = in.u32(oh + 16, "entry point");
  h.imageBase = h.pe32Plus ? in.u64(oh + 24, "image base") : in.u32(oh + 28, "image base");
  h.sectionAlignment = in.u32(oh + 32, "section alignment");
  h.fileAlignment = in.u32(oh + 36, "file alignment");
  h.sizeOfImage = in.u32(oh + 56, "image size");
  h.sizeOfHeaders = in.u32(oh + 60, "header size");
  h.subsystem = in.u16(oh + 68, "subsystem");
  h.dllCharacteristics = in.u16(oh + 70, "DLL characteristics");
  const uint32_t directoryCount = in.u32(oh + fixedSize - 4, "data directory count");
  if (directoryCount > 16 || fixedSize + directoryCount * 8 > optionalSize) {
    throw LoadError("data directory count " + std::to_string(directoryCount) +
                    " does not fit the optional header of " + std::to_string(optionalSize) +
                    " bytes");
  }

  if (!isPowerOfTwo(h.fileAlignment) || h.fileAlignment < 512 || h.fileAlignment > 0x10000) {
    throw LoadError("file alignment " + hex(h.fileAlignment) +
                    " is not a power of two from 512 to 64K");
  }
  if (!isPowerOfTwo(h.sectionAlignment) || h.sectionAlignment < h.fileAlignment) {
    throw LoadError("section alignment " + hex(h.sectionAlignment) +
                    " is not a power of two at least the file alignment");
  }
  if (h.imageBase % 0x10000 != 0) {
    throw LoadError("image base " + hex(h.imageBase) + " is not a multiple of 64K");
  }
  if (h.sizeOfImage == 0 || h.sizeOfImage > kMaxImageSize ||
      h.sizeOfImage % h.sectionAlignment != 0) {
    throw LoadError("image size " + hex(h.sizeOfImage) +
                    " is not a non-zero multiple of the section alignment up to 64 MB");
  }
  if (h.subsystem != kSubsystemNative) {
    throw LoadError("subsystem " + std::to_string(h.subsystem) +
                    " is not the native subsystem of a kernel-mode driver");
  }

  for (uint32_t i = 0; i < directoryCount; ++i) {
    const std::string field = "data directory " + std::to_string(i);
    DataDirectory d{in.u32(oh + fixedSize + i * 8, field),
                    in.u32(oh + fixedSize + i * 8 + 4, field)};
    if (d.size != 0 && (d.rva == 0 || uint64_t{d.rva} + d.size > h.sizeOfImage)) {
      throw LoadError(field + " (" + hex(d.rva) + ", " + std::to_string(d.size) +
                      " bytes) lies outside the image");
    }
    h.directories.push_back(d);
  }
  if (h.directory(kTlsDirectory).size != 0) {
    throw LoadError("the image has thread-local storage, which a kernel-mode driver cannot use");
  }

  const uint32_t sectionTable = oh + optionalSize;
  const uint64_t tableEnd = uint64_t{sectionTable} + uint64_t{sectionCount} * kSectionHeaderSize;
  in.need(sectionTable, tableEnd - sectionTable, "section table");
  if (h.sizeOfHeaders < tableEnd || h.sizeOfHeaders > file.size() ||
      h.sizeOfHeaders > h.sizeOfImage) {
    throw LoadError("header size " + hex(h.sizeOfHeaders) +
                    " does not cover the section table or exceeds the file or the image");
  }

  uint32_t previousEnd = 0;
  for (unsigned i = 0; i < sectionCount; ++i) {
    const uint32_t at = static_cast<uint32_t>(sectionTable + i * kSectionHeaderSize);
    SectionInfo s;
    s.name = sectionName(file.data() + at);
    const std::string field = "section " + s.name;
    s.virtualSize = in.u32(at + 8, field);
    s.virtualAddress = in.u32(at + 12, field);
    const uint32_t rawSize = in.u32(at + 16, field);
    s.rawOffset = in.u32(at + 20, field);
    s.characteristics = in.u32(at + 36, field);
    if (s.virtualSize == 0) s.virtualSize = rawSize;
    // Bytes past the section's size in memory are file padding.
    s.rawSize = (s.characteristics & kSectionUninitialised) && s.rawOffset == 0
                    ? 0
                    : std::min(rawSize, s.virtualSize);
    if (s.virtualAddress % h.sectionAlignment != 0) {
      throw LoadError(field + " at " + hex(s.virtualAddress) +
                      " is not aligned to the section alignment");
    }
    if (s.virtualAddress < h.sizeOfHeaders || s.virtualAddress < previousEnd) {
      throw LoadError(field + " at " + hex(s.virtualAddress) +
                      " overlaps the headers or the section before it");
    }
    if (uint64_t{s.virtualAddress} + s.virtualSize > h.sizeOfImage) {
      throw LoadError(field + " (" + hex(s.virtualAddress) + ", " + std::to_string(s.virtualSize) +
                      " bytes) extends past the image size " + hex(h.sizeOfImage));
    }
    if (s.rawSize != 0 && !in.contains(s.rawOffset, s.rawSize)) {
      throw LoadError(field + " data (" + std::to_string(s.rawSize) + " bytes at " +
                      hex(s.rawOffset) + ") extends past the end of the file (" +
                      std::to_string(file.size()) + " bytes): truncated?");
    }
    previousEnd = s.virtualAddress + s.virtualSize;
    h.sections.push_back(std::move(s));
  }

  const SectionInfo* entry = h.sectionAt(h.entryPoint);
  if (h.entryPoint == 0 || entry == nullptr || !entry->executable()) {
    throw LoadError("entry point " + hex(h.entryPoint) + " is not in an executable section");
  }
  return h;
}

std::unique_ptr<Image> Image::loadFile(const std::string& path,
                                       std::span<const ImportLibrary> libraries,
                                       const LoadOptions& options) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw LoadError("cannot open " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      const int error = errno;
      close(fd);
      throw LoadError("cannot read " + path + ": " + std::strerror(error));
    }
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  close(fd);
  return load(bytes, libraries, path, options);
}

std::unique_ptr<Image> Image::load(std::span<const uint8_t> file,
                                   std::span<const ImportLibrary> libraries,
                                   const std::string& what, const LoadOptions& options) {
  std::unique_ptr<Image> image(new Image());
  image->what_ = what;
  try {
    image->headers_ = parseHeaders(file);
    if (options.machine && image->headers_.machine != *options.machine) {
      throw LoadError(std::string("the image is built for ") +
                      machineName(image->headers_.machine) + ", this process runs " +
                      machineName(*options.machine));
    }
    image->map(file, options);
    image->relocate();
    image->bindImports(libraries);
    image->readExports();
    image->readSymbols(file);
    image->protect();
  } catch (const LoadError& error) {
    throw LoadError(what + ": " + error.what());
  }
  return image;
}

Image::~Image() {
  if (base_ != 0) munmap(reinterpret_cast<void*>(base_), mappedSize_);
}

void Image::map(std::span<const uint8_t> file, const LoadOptions& options) {
  const uintptr_t page = pageSize();
  mappedSize_ = (headers_.sizeOfImage + page - 1) & ~(page - 1);
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
  void* want = nullptr;
  if (options.placement != 0) {
    if (options.placement % page != 0)
      throw LoadError("placement " + hex(options.placement) + " is not page aligned");
    want = reinterpret_cast<void*>(options.placement);
    flags |= MAP_FIXED_NOREPLACE;
  }
#if defined(__x86_64__)
  else if (options.below4G) {
    flags |= MAP_32BIT;
  }
#endif
  void* at = mmap(want, mappedSize_, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (at == MAP_FAILED) {
    mappedSize_ = 0;
    throw LoadError("cannot map " + std::to_string(headers_.sizeOfImage) +
                    " bytes of image: " + std::strerror(errno));
  }
  base_ = reinterpret_cast<uintptr_t>(at);
  if ((want != nullptr && at != want) ||
      (options.below4G && uint64_t{base_} + mappedSize_ > (uint64_t{1} << 32))) {
    throw LoadError("the image could not be placed " +
                    std::string(want != nullptr ? "at " + hex(options.placement) : "below 4 GB"));
  }
  if (!headers_.pe32Plus && uint64_t{base_} + mappedSize_ > (uint64_t{1} << 32)) {
    throw LoadError("a 32-bit image must lie below 4 GB");
  }
  std::memcpy(at, file.data(), headers_.sizeOfHeaders);
  for (const SectionInfo& section : headers_.sections) {
    if (section.rawSize != 0) {
      std::memcpy(reinterpret_cast<void*>(base_ + section.virtualAddress),
                  file.data() + section.rawOffset, section.rawSize);
    }
  }
}

void Image::relocate() {
  const DataDirectory dir = headers_.directory(kBaseRelocationDirectory);
  const uint64_t delta = uint64_t{base_} - headers_.imageBase;
  if (dir.size == 0) {
    if (delta != 0) {
      throw LoadError("the image has no base relocations and cannot be loaded at " + hex(base_) +
                      " instead of " + hex(headers_.imageBase));
    }
    return;
  }
  if (delta != 0 && (headers_.characteristics & kRelocationsStripped)) {
    throw LoadError("the image's relocations are stripped and it cannot be moved from " +
                    hex(headers_.imageBase));
  }
  const Bytes image({reinterpret_cast<const uint8_t*>(base_), headers_.sizeOfImage}, "image");
  uint32_t at = dir.rva;
  const uint32_t end = dir.rva + dir.size;
  while (at < end) {
    const uint32_t page = image.u32(at, "relocation block");
    const uint32_t blockSize = image.u32(at + 4, "relocation block");
    if (blockSize < 8 || blockSize % 2 != 0 || blockSize > end - at) {
      throw LoadError("relocation block at " + hex(at) + " has a size of " +
                      std::to_string(blockSize) + " bytes that does not fit the directory");
    }
    if (page % 0x1000 != 0 || page >= headers_.sizeOfImage) {
      throw LoadError("relocation block at " + hex(at) + " names page " + hex(page) +
                      " outside the image");
    }
    for (uint32_t entry = at + 8; entry + 2 <= at + blockSize; entry += 2) {
      const uint16_t value = image.u16(entry, "relocation entry");
      const uint8_t type = static_cast<uint8_t>(value >> 12);
      const uint32_t target = page + (value & 0x0FFF);
      if (type == kRelAbsolute) continue;  // padding to a 4-byte block size
      const uint8_t wanted = headers_.pe32Plus ? kRelDir64 : kRelHighLow;
      if (type != wanted) {
        throw LoadError("relocation type " + std::to_string(type) + " (" +
                        relocationTypeName(type, headers_.pe32Plus) + ") at " + hex(target) +
                        " is not supported in a " + machineName(headers_.machine) +
                        " image (only " + relocationTypeName(wanted, headers_.pe32Plus) + ")");
      }
      const unsigned width = type == kRelDir64 ? 8 : 4;
      if (!image.contains(target, width)) {
        throw LoadError("relocation at " + hex(target) + " lies outside the image");
      }
      auto* site = reinterpret_cast<uint8_t*>(base_ + target);
      if (width == 8) {
        uint64_t v;
        std::memcpy(&v, site, 8);
        v += delta;
        std::memcpy(site, &v, 8);
      } else {
        uint32_t v;
        std::memcpy(&v, site, 4);
        v += static_cast<uint32_t>(delta);
        std::memcpy(site, &v, 4);
      }
      relocations_.push_back({target, type});
    }
    at += blockSize;
  }
}

void Image::bindImports(std::span<const ImportLibrary> libraries) {
  const DataDirectory dir = headers_.directory(kImportDirectory);
  if (dir.size == 0) return;
  const Bytes image({reinterpret_cast<const uint8_t*>(base_), headers_.sizeOfImage}, "image");
  const unsigned slot = headers_.pointerSize();
  constexpr uint32_t kDescriptorSize = 20;
  for (uint32_t d = dir.rva;; d += kDescriptorSize) {
    const uint32_t lookup = image.u32(d, "import descriptor");
    const uint32_t nameRva = image.u32(d + 12, "import descriptor");
    const uint32_t table = image.u32(d + 16, "import descriptor");
    if (lookup == 0 && nameRva == 0 && table == 0) break;  // the terminating descriptor
    const std::string library = image.text(nameRva, 255, "imported library name");
    const ImportLibrary* provider = nullptr;
    for (const ImportLibrary& candidate : libraries) {
      if (equalsIgnoreCase(candidate.name, library)) provider = &candidate;
    }
    if (provider == nullptr) {
      std::string known;
      for (const ImportLibrary& candidate : libraries) {
        known += (known.empty() ? "" : ", ") + std::string(candidate.name);
      }
      throw LoadError("the image imports from " + library + "; only " +
                      (known.empty() ? std::string("no library") : known) + " can be provided");
    }
    if (table == 0) throw LoadError("imports of " + library + " have no address table");
    const uint32_t names = lookup != 0 ? lookup : table;
    for (uint32_t i = 0;; ++i) {
      const uint32_t entryAt = names + i * slot;
      const uint64_t entry = slot == 8 ? image.u64(entryAt, "import lookup entry")
                                       : image.u32(entryAt, "import lookup entry");
      if (entry == 0) break;
      const uint64_t ordinalFlag = slot == 8 ? uint64_t{1} << 63 : uint64_t{1} << 31;
      if (entry & ordinalFlag) {
        throw LoadError("the image imports ordinal " + std::to_string(entry & 0xFFFF) + " of " +
                        library + "; imports are resolved by name only");
      }
      if (entry > 0x7FFFFFFF)
        throw LoadError("import lookup entry " + hex(entry) + " of " + library + " is malformed");
      const std::string name =
          image.text(static_cast<uint32_t>(entry) + 2, 255, "imported name of " + library);
      const ImportSymbol* symbol = nullptr;
      for (const ImportSymbol& candidate : provider->symbols) {
        if (candidate.name == name) symbol = &candidate;
      }
      if (symbol == nullptr) {
        throw LoadError("the image imports " + name + " from " + library +
                        ", which is not provided");
      }
      const uint32_t slotAt = table + i * slot;
      image.need(slotAt, slot, "import address slot of " + name);
      const auto address = reinterpret_cast<uintptr_t>(symbol->address);
      if (slot == 4 && !fits32(address)) {
        throw LoadError("the address of " + name + " does not fit a 32-bit image");
      }
      auto* out = reinterpret_cast<uint8_t*>(base_ + slotAt);
      if (slot == 8) {
        const uint64_t v = address;
        std::memcpy(out, &v, 8);
      } else {
        const uint32_t v = static_cast<uint32_t>(address);
        std::memcpy(out, &v, 4);
      }
      imports_.push_back({library, name, slotAt, symbol->address});
    }
  }
}

void Image::readExports() {
  const DataDirectory dir = headers_.directory(kExportDirectory);
  if (dir.size == 0) return;
  const Bytes image({reinterpret_cast<const uint8_t*>(base_), headers_.sizeOfImage}, "image");
  const uint32_t functionCount = image.u32(dir.rva + 20, "export directory");
  const uint32_t nameCount = image.u32(dir.rva + 24, "export directory");
  const uint32_t functions = image.u32(dir.rva + 28, "export directory");
  const uint32_t names = image.u32(dir.rva + 32, "export directory");
  const uint32_t ordinals = image.u32(dir.rva + 36, "export directory");
  if (nameCount > functionCount || functionCount > 0x10000) {
    throw LoadError("export directory counts (" + std::to_string(functionCount) + " functions, " +
                    std::to_string(nameCount) + " names) are malformed");
  }
  for (uint32_t i = 0; i < nameCount; ++i) {
    const std::string name =
        image.text(image.u32(names + i * 4, "export name table"), 1024, "export name");
    const uint16_t ordinal = image.u16(ordinals + i * 2, "export ordinal table");
    if (ordinal >= functionCount) {
      throw LoadError("export " + name + " has ordinal index " + std::to_string(ordinal) +
                      " past the address table");
    }
    const uint32_t rva = image.u32(functions + ordinal * 4u, "export address table");
    // An address inside the export directory is a forwarder to another image.
    if (rva >= dir.rva && rva < dir.rva + dir.size) continue;
    if (rva == 0 || rva >= headers_.sizeOfImage) {
      throw LoadError("export " + name + " at " + hex(rva) + " lies outside the image");
    }
    exports_.push_back({name, rva});
  }
}

void Image::protect() {
  const uintptr_t page = pageSize();
  const size_t pages = mappedSize_ / page;
  pageProtections_.assign(pages, PROT_NONE);
  for (uintptr_t p = 0; p * page < headers_.sizeOfHeaders; ++p) pageProtections_[p] = PROT_READ;
  for (const SectionInfo& section : headers_.sections) {
    int protection = 0;
    if (section.readable()) protection |= PROT_READ;
    if (section.writable()) protection |= PROT_READ | PROT_WRITE;
    if (section.executable()) protection |= PROT_READ | PROT_EXEC;
    const uintptr_t first = section.virtualAddress / page;
    const uintptr_t last =
        (uint64_t{section.virtualAddress} + section.virtualSize + page - 1) / page;
    for (uintptr_t p = first; p < last && p < pages; ++p) pageProtections_[p] |= protection;
  }
  for (size_t p = 0; p < pages;) {
    size_t q = p;
    while (q < pages && pageProtections_[q] == pageProtections_[p]) ++q;
    if (mprotect(reinterpret_cast<void*>(base_ + p * page), (q - p) * page, pageProtections_[p]) !=
        0) {
      throw LoadError(std::string("cannot set page protections: ") + std::strerror(errno));
    }
    p = q;
  }
}

int Image::protectionAt(uint32_t rva) const {
  const size_t page = rva / pageSize();
  return page < pageProtections_.size() ? pageProtections_[page] : PROT_NONE;
}

void Image::readSymbols(std::span<const uint8_t> file) {
  // The COFF file header: PointerToSymbolTable and NumberOfSymbols; the string
  // table follows the 18-byte records.
  const Bytes in(file, "file");
  const uint32_t fh = in.u32(kNewHeaderOffsetField, "PE header offset") + 4;
  const uint32_t table = in.u32(fh + 8, "symbol table offset");
  const uint32_t count = in.u32(fh + 12, "symbol count");
  if (table == 0 || count == 0) return;
  constexpr uint32_t kRecord = 18;
  const uint64_t strings = uint64_t{table} + uint64_t{count} * kRecord;
  in.need(table, uint64_t{count} * kRecord, "symbol table");
  const uint32_t stringsSize = in.contains(strings, 4) ? in.u32(strings, "string table size") : 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = table + uint64_t{i} * kRecord;
    const uint8_t aux = in.u8(at + 17, "symbol record");
    const uint8_t storage = in.u8(at + 16, "symbol record");
    const auto section = static_cast<int16_t>(in.u16(at + 12, "symbol record"));
    const uint32_t value = in.u32(at + 8, "symbol record");
    constexpr uint8_t kExternal = 2, kStatic = 3;
    const bool named = (storage == kExternal || storage == kStatic) && section > 0 &&
                       static_cast<size_t>(section) <= headers_.sections.size();
    if (named) {
      std::string name;
      if (in.u32(at, "symbol name") == 0) {
        const uint32_t offset = in.u32(at + 4, "symbol name");
        if (offset >= 4 && offset < stringsSize)
          name = in.text(strings + offset, stringsSize - offset, "symbol name");
      } else {
        for (unsigned k = 0; k < 8 && file[at + k] != 0; ++k)
          name.push_back(static_cast<char>(file[at + k]));
      }
      if (headers_.machine == Machine::I386 && name.starts_with('_')) name.erase(0, 1);
      const uint32_t rva =
          headers_.sections[static_cast<size_t>(section) - 1].virtualAddress + value;
      // Section-relative names (".text", ".data$...") name no function or variable.
      if (!name.empty() && name[0] != '.' && rva < headers_.sizeOfImage)
        symbols_.push_back({std::move(name), rva});
    }
    i += aux;
  }
}

void* Image::symbolAddress(std::string_view name) const {
  for (const std::vector<Export>* list : {&exports_, &symbols_}) {
    for (const Export& e : *list) {
      std::string_view exported = e.name;
      if (exported == name) return reinterpret_cast<void*>(base_ + e.rva);
      // i386 stdcall names carry their argument bytes: Name@N.
      if (headers_.machine == Machine::I386 && exported.size() > name.size() + 1 &&
          exported.starts_with(name) && exported[name.size()] == '@' &&
          exported.find_first_not_of("0123456789", name.size() + 1) == std::string_view::npos) {
        return reinterpret_cast<void*>(base_ + e.rva);
      }
    }
  }
  return nullptr;
}

std::vector<std::string> Image::exportNames() const {
  std::vector<std::string> out;
  for (const Export& e : exports_) out.push_back(e.name);
  return out;
}

std::vector<std::string> Image::symbolNames() const {
  std::vector<std::string> out;
  for (const Export& e : symbols_) out.push_back(e.name);
  return out;
}

}  // namespace orva::loader
