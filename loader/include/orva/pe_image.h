// A PE/COFF image loader for kernel-mode drivers: reads and checks the headers,
// maps the sections with their protections, applies the base relocations and
// binds every import by name to a function the caller provides. An image is
// handed out only when all of that succeeded; anything wrong with the file is
// refused with a LoadError that names what is wrong.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orva::loader {

class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Machine : uint16_t { I386 = 0x014C, Amd64 = 0x8664 };

// The machine this process runs: what an image must be built for to be called.
constexpr Machine hostMachine() {
#if defined(__x86_64__)
  return Machine::Amd64;
#elif defined(__i386__)
  return Machine::I386;
#else
#error "images are loaded on x86 hosts only"
#endif
}

const char* machineName(Machine machine);

struct SectionInfo {
  std::string name;
  uint32_t virtualAddress = 0;  // RVA
  uint32_t virtualSize = 0;     // bytes the section occupies in memory
  uint32_t rawOffset = 0;       // file offset of its initialised bytes
  uint32_t rawSize = 0;         // initialised bytes taken from the file
  uint32_t characteristics = 0;
  bool executable() const { return characteristics & 0x20000000u; }
  bool readable() const { return characteristics & 0x40000000u; }
  bool writable() const { return characteristics & 0x80000000u; }
};

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// Indices of the data directories the loader reads.
enum DirectoryIndex : unsigned {
  kExportDirectory = 0,
  kImportDirectory = 1,
  kBaseRelocationDirectory = 5,
  kTlsDirectory = 9,
};

// What the headers say, checked against each other and the file size.
struct ImageHeaders {
  Machine machine = Machine::I386;
  bool pe32Plus = false;  // 64-bit optional header
  uint16_t characteristics = 0;
  uint16_t subsystem = 0;
  uint16_t dllCharacteristics = 0;
  uint64_t imageBase = 0;  // preferred load address
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t entryPoint = 0;  // RVA
  std::vector<DataDirectory> directories;
  std::vector<SectionInfo> sections;

  unsigned pointerSize() const { return pe32Plus ? 8 : 4; }
  DataDirectory directory(unsigned index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
  }
  // The section that holds `rva`, or nullptr.
  const SectionInfo* sectionAt(uint32_t rva) const;
};

// Reads and checks the headers of an image file held in memory. Throws LoadError.
ImageHeaders parseHeaders(std::span<const uint8_t> file);

// One function an import may bind to.
struct ImportSymbol {
  std::string_view name;
  const void* address;
};
// The functions of one library, by the name images import it under
// (compared without regard to case, as the system does).
struct ImportLibrary {
  std::string_view name;
  std::span<const ImportSymbol> symbols;
};

// A relocation site the loader adjusted, and how wide it was.
struct RelocationSite {
  uint32_t rva = 0;
  uint8_t type = 0;  // 3 HIGHLOW (32 bits), 10 DIR64 (64 bits)
};

// An import the loader bound: the address-table slot it wrote and what it wrote.
struct BoundImport {
  std::string library;
  std::string name;
  uint32_t slotRva = 0;
  const void* address = nullptr;
};

struct LoadOptions {
  // Where to map the image; 0: anywhere the system picks. Must be free and page
  // aligned when given.
  uintptr_t placement = 0;
  // Map below 4 GB (the driver keeps addresses in 32-bit words).
  bool below4G = true;
  // Refuse an image built for another machine.
  std::optional<Machine> machine;
};

class Image {
 public:
  // Maps an image file held in memory. `what` names it in error messages.
  static std::unique_ptr<Image> load(std::span<const uint8_t> file,
                                     std::span<const ImportLibrary> libraries,
                                     const std::string& what, const LoadOptions& options = {});
  static std::unique_ptr<Image> loadFile(const std::string& path,
                                         std::span<const ImportLibrary> libraries,
                                         const LoadOptions& options = {});
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  const ImageHeaders& headers() const { return headers_; }
  uintptr_t base() const { return base_; }
  size_t mappedSize() const { return mappedSize_; }
  const uint8_t* at(uint32_t rva) const { return reinterpret_cast<const uint8_t*>(base_ + rva); }
  // The entry point's address in memory (the driver's calling convention).
  void* entryPoint() const { return reinterpret_cast<void*>(base_ + headers_.entryPoint); }

  // Address of a symbol, nullptr when the image has no such name: an export, or a
  // function or variable of the image's COFF symbol table (a driver image exports
  // nothing; a build that keeps its symbol table names them all there). An
  // undecorated name also finds its i386 stdcall form ("DriverEntry" finds
  // "DriverEntry@8"); the i386 table's leading underscore is not part of a name.
  void* symbolAddress(std::string_view name) const;
  // Every exported name as the image spells it.
  std::vector<std::string> exportNames() const;
  // Every symbol-table name of a function or variable (i386: without the underscore).
  std::vector<std::string> symbolNames() const;

  const std::vector<RelocationSite>& relocations() const { return relocations_; }
  const std::vector<BoundImport>& imports() const { return imports_; }
  // Protection of the page holding `rva` as mapped: PROT_* bits.
  int protectionAt(uint32_t rva) const;

 private:
  Image() = default;
  void map(std::span<const uint8_t> file, const LoadOptions& options);
  void relocate();
  void bindImports(std::span<const ImportLibrary> libraries);
  void readExports();
  void readSymbols(std::span<const uint8_t> file);
  void protect();

  std::string what_;
  ImageHeaders headers_;
  uintptr_t base_ = 0;
  size_t mappedSize_ = 0;
  std::vector<int> pageProtections_;
  std::vector<RelocationSite> relocations_;
  std::vector<BoundImport> imports_;
  struct Export {
    std::string name;
    uint32_t rva;
  };
  std::vector<Export> exports_;
  std::vector<Export> symbols_;  // from the COFF symbol table
};

}  // namespace orva::loader
