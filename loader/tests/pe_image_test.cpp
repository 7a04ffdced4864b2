// The loader on the shipped images (i686 and x86-64 orva.sys), checked against
// the cross binutils' reading of the same files, and on damaged copies.
#include "orva/pe_image.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "layouts.h"
#include "orva/driver_image.h"

namespace orva::loader {
namespace {

struct Shipped {
  const char* name;
  const char* path;
  const char* objdump;
};
const Shipped kImages[] = {{"i686", ORVA_SYS_I686, ORVA_OBJDUMP_I686},
                           {"x86_64", ORVA_SYS_X86_64, ORVA_OBJDUMP_X86_64}};

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

// Every function of videoprt.sys at a made-up address below 4 GB, so that
// either image can be bound in this process without being run.
struct FakeLibrary {
  std::vector<ImportSymbol> symbols;
  ImportLibrary library;
  FakeLibrary() {
    uintptr_t address = 0x1000;
    for (const ImportSymbol& s : videoPortImports()) {
      symbols.push_back({s.name, reinterpret_cast<const void*>(address)});
      address += 0x10;
    }
    library = {"VIDEOPRT.SYS", symbols};
  }
  std::span<const ImportLibrary> libraries() const { return {&library, 1}; }
};

class ShippedImage : public testing::TestWithParam<Shipped> {
 protected:
  void SetUp() override {
    if (std::string(GetParam().path).empty()) GTEST_SKIP() << "image not built";
    file_ = readFile(GetParam().path);
    ASSERT_FALSE(file_.empty()) << GetParam().path;
  }
  std::string objdump(const char* options) const {
    return run(std::string(GetParam().objdump) + " " + options + " " + GetParam().path);
  }
  std::vector<uint8_t> file_;
  FakeLibrary fake_;
};

TEST_P(ShippedImage, SectionsAndEntryPointAreThoseTheBinutilsRead) {
  const ImageHeaders h = parseHeaders(file_);
  std::set<std::tuple<std::string, uint64_t, uint64_t>> ours, theirs;
  for (const SectionInfo& s : h.sections)
    ours.insert({s.name, h.imageBase + s.virtualAddress, s.virtualSize});
  static const std::regex row(R"(^\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s)");
  std::istringstream in(objdump("-h"));
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, row)) {
      theirs.insert({m[1], std::stoull(m[3], nullptr, 16), std::stoull(m[2], nullptr, 16)});
    }
  }
  EXPECT_EQ(ours, theirs);
  const std::string f = objdump("-f");
  std::smatch start;
  ASSERT_TRUE(std::regex_search(f, start, std::regex("start address 0x([0-9a-f]+)")));
  EXPECT_EQ(h.imageBase + h.entryPoint, std::stoull(start[1], nullptr, 16));
  EXPECT_EQ(h.pe32Plus, std::string(GetParam().name) == "x86_64");
}

TEST_P(ShippedImage, RelocatedAndBoundImageDiffersFromTheFileOnlyAtFixups) {
  const auto image = Image::load(file_, fake_.libraries(), GetParam().path);
  const ImageHeaders& h = image->headers();
  ASSERT_NE(image->base(), h.imageBase) << "the image must be moved for this test";

  // The relocation sites are exactly those the binutils list.
  std::set<uint32_t> theirs;
  static const std::regex fixup(
      R"(reloc\s+\d+\s+offset\s+[0-9a-f]+\s+\[([0-9a-f]+)\]\s+(HIGHLOW|DIR64))");
  std::istringstream in(objdump("-p"));
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, fixup)) theirs.insert(std::stoul(m[1], nullptr, 16));
  }
  std::set<uint32_t> ours;
  for (const RelocationSite& r : image->relocations()) ours.insert(r.rva);
  ASSERT_FALSE(ours.empty());
  EXPECT_EQ(ours, theirs);

  // Each site moved by the load delta; the bound slots hold the provided
  // addresses; every other byte of every section is the file's.
  const unsigned width = h.pointerSize();
  const uint64_t delta = image->base() - h.imageBase;
  std::map<uint32_t, const void*> slots;
  for (const BoundImport& b : image->imports()) slots[b.slotRva] = b.address;
  for (const SectionInfo& s : h.sections) {
    for (uint32_t i = 0; i < s.rawSize;) {
      const uint32_t rva = s.virtualAddress + i;
      uint64_t mapped = 0, original = 0;
      if (ours.count(rva) || slots.count(rva)) {
        std::memcpy(&mapped, image->at(rva), width);
        std::memcpy(&original, file_.data() + s.rawOffset + i, width);
        if (ours.count(rva)) {
          if (width == 8) {
            EXPECT_EQ(mapped - original, delta) << std::hex << rva;
          } else {
            EXPECT_EQ(static_cast<uint32_t>(mapped - original), static_cast<uint32_t>(delta))
                << std::hex << rva;
          }
        } else {
          EXPECT_EQ(mapped, reinterpret_cast<uintptr_t>(slots[rva])) << std::hex << rva;
        }
        i += width;
        continue;
      }
      ASSERT_EQ(*image->at(rva), file_[s.rawOffset + i]) << s.name << " +" << std::hex << i;
      ++i;
    }
  }
}

TEST_P(ShippedImage, EveryImportIsBoundByNameAsTheBinutilsListThem) {
  const auto image = Image::load(file_, fake_.libraries(), GetParam().path);
  std::multiset<std::string> ours, theirs;
  for (const BoundImport& b : image->imports()) {
    EXPECT_EQ(b.library, "videoprt.sys");
    ours.insert(b.name);
  }
  static const std::regex member(R"(^\s+[0-9a-f]+\s+\d+\s+(VideoPort\w+))");
  std::istringstream in(objdump("-p"));
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, member)) theirs.insert(m[1]);
  }
  EXPECT_EQ(ours, theirs);
}

TEST_P(ShippedImage, SectionsGetTheirProtections) {
  const auto image = Image::load(file_, fake_.libraries(), GetParam().path);
  EXPECT_EQ(image->protectionAt(0), PROT_READ);  // headers
  for (const SectionInfo& s : image->headers().sections) {
    const int expected = (s.executable() ? PROT_EXEC | PROT_READ : 0) |
                         (s.writable() ? PROT_WRITE | PROT_READ : 0) |
                         (s.readable() ? PROT_READ : 0);
    EXPECT_EQ(image->protectionAt(s.virtualAddress), expected) << s.name;
  }
  const SectionInfo* text = image->headers().sectionAt(image->headers().entryPoint);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->name, ".text");
  EXPECT_FALSE(image->protectionAt(text->virtualAddress) & PROT_WRITE);
}

// The image exports nothing; its symbol table names the driver's functions and
// variables.
TEST_P(ShippedImage, SymbolsAreFoundByTheirUndecoratedNames) {
  const auto image = Image::load(file_, fake_.libraries(), GetParam().path);
  EXPECT_TRUE(image->exportNames().empty());
  EXPECT_EQ(image->symbolAddress("DriverEntry"), image->entryPoint());
  for (const char* name : {"ORVAStartIO", "ORVAFindAdapter", "DRIVER_ulDeviceExtension",
                           "HWCRTC_psGraphicsModeTable", "ulRequiredOutput"}) {
    void* address = image->symbolAddress(name);
    ASSERT_NE(address, nullptr) << name;
    EXPECT_GE(reinterpret_cast<uintptr_t>(address), image->base());
    EXPECT_LT(reinterpret_cast<uintptr_t>(address), image->base() + image->mappedSize());
  }
  EXPECT_EQ(image->symbolAddress("ORVAStartI"), nullptr);
  EXPECT_EQ(image->symbolAddress("NoSuchSymbol"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Images, ShippedImage, testing::ValuesIn(kImages),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Damaged copies of the i686 image ---------------------------------------

struct Offsets {
  uint32_t pe, file, optional, sections;
  uint32_t section(const std::vector<uint8_t>& f, const char* name) const {
    const uint16_t count = static_cast<uint16_t>(f[file + 2] | f[file + 3] << 8);
    for (uint32_t i = 0; i < count; ++i) {
      if (std::strncmp(reinterpret_cast<const char*>(&f[sections + i * 40]), name, 8) == 0) {
        return sections + i * 40;
      }
    }
    ADD_FAILURE() << "no section " << name;
    return sections;
  }
};

Offsets offsetsOf(const std::vector<uint8_t>& f) {
  Offsets o;
  std::memcpy(&o.pe, &f[0x3C], 4);
  o.file = o.pe + 4;
  o.optional = o.file + 20;
  const uint16_t optionalSize = static_cast<uint16_t>(f[o.file + 16] | f[o.file + 17] << 8);
  o.sections = o.optional + optionalSize;
  return o;
}

void put16(std::vector<uint8_t>& f, size_t at, uint16_t v) { std::memcpy(&f[at], &v, 2); }
void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); }
uint32_t get32(const std::vector<uint8_t>& f, size_t at) {
  uint32_t v;
  std::memcpy(&v, &f[at], 4);
  return v;
}
void replaceText(std::vector<uint8_t>& f, const std::string& from, const std::string& to) {
  const auto it = std::search(f.begin(), f.end(), from.begin(), from.end());
  ASSERT_NE(it, f.end()) << from;
  std::fill_n(it, from.size(), 0);
  std::copy(to.begin(), to.end(), it);
}

struct Damage {
  const char* name;
  std::function<void(std::vector<uint8_t>&, const Offsets&)> apply;
  const char* message;  // what the refusal must say
};

const Damage kDamages[] = {
    {"Empty", [](auto& f, auto&) { f.resize(32); }, "too short for a DOS header"},
    {"NoMz", [](auto& f, auto&) { f[0] = 'Z'; }, "does not start with MZ"},
    {"PeOffsetPastEnd", [](auto& f, auto&) { put32(f, 0x3C, static_cast<uint32_t>(f.size())); },
     "PE signature and file header"},
    {"NoPeSignature", [](auto& f, auto& o) { f[o.pe + 1] = 'X'; }, "no PE signature"},
    {"ArmMachine", [](auto& f, auto& o) { put16(f, o.file, 0x01C4); }, "0x1c4 (ARMNT)"},
    {"Pe32PlusMagicOnI386", [](auto& f, auto& o) { put16(f, o.optional, 0x20B); },
     "PE32+ optional header does not belong to a i386 image"},
    {"OptionalHeaderTooSmall", [](auto& f, auto& o) { put16(f, o.file + 16, 80); },
     "smaller than the fixed fields"},
    {"NoSections", [](auto& f, auto& o) { put16(f, o.file + 2, 0); }, "section count 0"},
    {"ObjectFile", [](auto& f, auto& o) { f[o.file + 18] &= ~2; }, "not an executable image"},
    {"TruncatedInSectionTable", [](auto& f, auto& o) { f.resize(o.sections + 50); },
     "section table"},
    {"TruncatedInCode",
     [](auto& f, auto& o) { f.resize(get32(f, o.section(f, ".text") + 20) + 100); },
     "section .text data"},
    {"MisalignedSection", [](auto& f, auto& o) { put32(f, o.section(f, ".data") + 12, 0x6100); },
     "not aligned to the section alignment"},
    {"SectionPastImageEnd", [](auto& f, auto& o) { put32(f, o.section(f, ".text") + 8, 0x20000); },
     "section .text (0x1000, 131072 bytes) extends past the image size"},
    {"EntryPointInData",
     [](auto& f, auto& o) { put32(f, o.optional + 16, get32(f, o.section(f, ".data") + 12)); },
     "not in an executable section"},
    {"GuiSubsystem", [](auto& f, auto& o) { put16(f, o.optional + 68, 2); },
     "not the native subsystem"},
    {"ThreadLocalStorage",
     [](auto& f, auto& o) {
       put32(f, o.optional + 96 + 9 * 8, 0x1000);
       put32(f, o.optional + 96 + 9 * 8 + 4, 24);
     },
     "thread-local storage"},
    {"DirectoryOutsideImage",
     [](auto& f, auto& o) { put32(f, o.optional + 96 + 1 * 8, 0x7FFF0000); }, "data directory 1"},
    {"HighAdjRelocation",
     [](auto& f, auto& o) {
       const uint32_t at = get32(f, o.section(f, ".reloc") + 20) + 8;
       put16(f, at, static_cast<uint16_t>(0x4000 | (f[at] | (f[at + 1] & 0x0F) << 8)));
     },
     "relocation type 4 (HIGHADJ)"},
    {"Dir64RelocationInI386",
     [](auto& f, auto& o) {
       const uint32_t at = get32(f, o.section(f, ".reloc") + 20) + 8;
       f[at + 1] = static_cast<uint8_t>(0xA0 | (f[at + 1] & 0x0F));
     },
     "relocation type 10 (DIR64)"},
    {"RelocationBlockSize",
     [](auto& f, auto& o) { put32(f, get32(f, o.section(f, ".reloc") + 20) + 4, 3); },
     "has a size of 3 bytes"},
    {"StrippedButMoved", [](auto& f, auto& o) { put32(f, o.optional + 96 + 5 * 8 + 4, 0); },
     "has no base relocations"},
    {"OtherLibrary", [](auto& f, auto&) { replaceText(f, "videoprt.sys", "hal.dll"); },
     "imports from hal.dll; only VIDEOPRT.SYS"},
    {"UnknownFunction",
     [](auto& f, auto&) { replaceText(f, "VideoPortZeroMemory", "VideoPortZeroMemorX"); },
     "imports VideoPortZeroMemorX from videoprt.sys, which is not provided"},
    {"ImportByOrdinal",
     [](auto& f, auto& o) {
       // The first import descriptor's lookup table, found through .idata.
       const uint32_t idata = o.section(f, ".idata");
       const uint32_t rva = get32(f, idata + 12), raw = get32(f, idata + 20);
       const uint32_t lookup = get32(f, raw + (get32(f, o.optional + 96 + 8) - rva));
       put32(f, raw + (lookup - rva), 0x80000007);
     },
     "imports ordinal 7 of videoprt.sys"},
};

class DamagedImage : public testing::TestWithParam<Damage> {};

TEST_P(DamagedImage, IsRefusedNamingWhatIsWrong) {
  if (std::string(ORVA_SYS_I686).empty()) GTEST_SKIP() << "image not built";
  std::vector<uint8_t> f = readFile(ORVA_SYS_I686);
  GetParam().apply(f, offsetsOf(f));
  FakeLibrary fake;
  try {
    Image::load(f, fake.libraries(), "damaged.sys");
    FAIL() << "loaded";
  } catch (const LoadError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind("damaged.sys: ", 0), 0u) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Copies, DamagedImage, testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The driver image as the video port library loads it -------------------

TEST(DriverImage, RefusesAnImageOfTheOtherMachineAndASecondImage) {
  if (std::string(ORVA_SYS_I686).empty() || std::string(ORVA_SYS_X86_64).empty()) {
    GTEST_SKIP() << "images not built";
  }
  try {
    DriverImage::load(ORVA_SYS_I686);
    FAIL() << "an i386 image loaded into an AMD64 process";
  } catch (const LoadError& e) {
    EXPECT_NE(std::string(e.what()).find("built for i386, this process runs AMD64"),
              std::string::npos)
        << e.what();
  }
  const auto first = DriverImage::load(ORVA_SYS_X86_64);
  EXPECT_THROW(DriverImage::load(ORVA_SYS_X86_64), LoadError);
  // Module variables are reached through the exports, at their load-time values.
  const auto* output = static_cast<const uint32_t*>(first->symbol("ulRequiredOutput"));
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(*output, 0x00010001u);
  EXPECT_LT(reinterpret_cast<uintptr_t>(output), uintptr_t{1} << 32);
}

TEST(DriverImage, ThunksPopWhatTheImportLibraryAndTheDriverDeclare) {
  // The i686 import library names every function Name@N with the bytes its
  // callers push; the driver's exported callbacks carry theirs.
  const std::string symbols =
      run(std::string(ORVA_NM_I686) + " " + ORVA_VIDEOPRT_IMPLIB_I686 + " 2>/dev/null");
#define ORVA_EXPECT_DECORATED(function, bytes)                                 \
  EXPECT_NE(symbols.find(" T _" #function "@" #bytes "\n"), std::string::npos) \
      << #function "@" #bytes;
  ORVA_IMPORT_ARGUMENT_BYTES(ORVA_EXPECT_DECORATED)
#undef ORVA_EXPECT_DECORATED
  if (std::string(ORVA_SYS_I686).empty()) GTEST_SKIP() << "image not built";
  const std::vector<uint8_t> file = readFile(ORVA_SYS_I686);
  FakeLibrary fake;
  const auto image = Image::load(file, fake.libraries(), ORVA_SYS_I686);
  const auto names = image->symbolNames();
  const std::set<std::string> exported(names.begin(), names.end());
  const struct {
    const char* name;
    unsigned bytes;
  } callbacks[] = {
#define ORVA_BYTES_OF(type, bytes) {#type, bytes},
      ORVA_CALLBACK_ARGUMENT_BYTES(ORVA_BYTES_OF)
#undef ORVA_BYTES_OF
  };
  auto bytesOf = [&](const char* type) {
    for (const auto& c : callbacks) {
      if (std::string(c.name) == type) return c.bytes;
    }
    return 0u;
  };
  for (const auto& [function, type] :
       {std::pair{"ORVAFindAdapter", "PVIDEO_HW_FIND_ADAPTER"},
        std::pair{"ORVAInitialize", "PVIDEO_HW_INITIALIZE"},
        std::pair{"ORVAStartIO", "PVIDEO_HW_START_IO"},
        std::pair{"HwVidQueryNamedValueCallback", "PMINIPORT_GET_REGISTRY_ROUTINE"}}) {
    const std::string decorated = std::string(function) + "@" + std::to_string(bytesOf(type));
    EXPECT_TRUE(exported.count(decorated)) << decorated;
  }
  EXPECT_TRUE(exported.count("DriverEntry@8"));
}

}  // namespace
}  // namespace orva::loader
