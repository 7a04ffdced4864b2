// Checks of the kernel-mode images orva.sys (i686 and x86-64), read with the
// cross binutils: what the loader of a native driver requires of them, and what
// kernel code must not contain.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Image {
  const char* name;
  const char* path;
  const char* objdump;
  const char* entryLabel;  // the entry point's symbol as the disassembly names it
  const char* shipped;     // the package folder's copy, and its symbols
  const char* symbols;
};

const Image kImages[] = {
    {"i686", ORVA_SYS_I686, ORVA_OBJDUMP_I686, "_DriverEntry@8", ORVA_PACKAGE_DIR "/i386/orva.sys",
     ORVA_SYMBOLS_DIR "/i386/orva.sys.debug"},
    {"x86_64", ORVA_SYS_X86_64, ORVA_OBJDUMP_X86_64, "DriverEntry",
     ORVA_PACKAGE_DIR "/amd64/orva.sys", ORVA_SYMBOLS_DIR "/amd64/orva.sys.debug"},
};

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << command;
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The VideoPort* functions the driver's code calls: the undefined dynamic
// symbols of the host build of the same sources.
std::set<std::string> videoPortFunctionsUsed() {
  std::set<std::string> out;
  for (const auto& line : lines(run(std::string("nm -D --undefined-only ") + ORVA_HOST_MODULE))) {
    const auto at = line.find("VideoPort");
    if (at != std::string::npos) out.insert(line.substr(at));
  }
  return out;
}

class OrvaSys : public testing::TestWithParam<Image> {
 protected:
  std::string objdump(const std::string& options) const {
    return run(std::string(GetParam().objdump) + " " + options + " " + GetParam().path);
  }
  struct Section {
    std::string name;
    unsigned long size = 0;
    std::string flags;
  };

  std::vector<Section> sections() const {
    // "  0 .text  00004fe0  00011000 ..." followed by a line of flags.
    static const std::regex header(R"(^\s*\d+\s+(\S+)\s+([0-9a-f]+)\s)");
    std::vector<Section> out;
    const auto text = lines(objdump("-h"));
    for (size_t i = 0; i < text.size(); ++i) {
      std::smatch match;
      if (std::regex_search(text[i], match, header) && i + 1 < text.size()) {
        out.push_back({match[1], std::stoul(match[2], nullptr, 16), text[i + 1]});
      }
    }
    return out;
  }
};

TEST_P(OrvaSys, IsANativeSubsystemImage) {
  static const std::regex subsystem(R"(^Subsystem\s+([0-9a-f]+))");
  std::smatch match;
  bool found = false;
  for (const auto& line : lines(objdump("-p"))) {
    if (std::regex_search(line, match, subsystem)) {
      found = true;
      EXPECT_EQ(std::stoul(match[1], nullptr, 16), 1u) << line;
    }
  }
  EXPECT_TRUE(found);
}

TEST_P(OrvaSys, EntryPointIsDriverEntry) {
  static const std::regex start(R"(start address 0x([0-9a-f]+))");
  std::smatch match;
  const std::string header = objdump("-f");
  ASSERT_TRUE(std::regex_search(header, match, start)) << header;
  const unsigned long entry = std::stoul(match[1], nullptr, 16);

  const std::string label = std::string(" <") + GetParam().entryLabel + ">:";
  bool found = false;
  for (const auto& line : lines(objdump("-d"))) {
    const auto at = line.find(label);
    if (at != std::string::npos && at + label.size() == line.size()) {
      found = true;
      EXPECT_EQ(std::stoul(line.substr(0, at), nullptr, 16), entry) << line;
    }
  }
  EXPECT_TRUE(found) << "no " << GetParam().entryLabel << " in the image";
}

// Exactly the VideoPort* functions the driver calls, all from videoprt.sys.
TEST_P(OrvaSys, ImportsExactlyTheVideoPortFunctionsItUsesFromVideoprt) {
  static const std::regex dll(R"(DLL Name:\s*(\S+))");
  static const std::regex member(R"(^\s+[0-9a-f]+\s+\d+\s+(\S+)\s*$)");
  std::set<std::string> dlls, names;
  bool inImports = false;
  for (const auto& line : lines(objdump("-p"))) {
    std::smatch match;
    if (std::regex_search(line, match, dll)) {
      dlls.insert(match[1]);
      inImports = true;
    } else if (inImports && std::regex_search(line, match, member)) {
      names.insert(match[1]);
    } else if (line.find("Export") != std::string::npos ||
               line.find("Base Relocation") != std::string::npos) {
      inImports = false;
    }
  }
  EXPECT_EQ(dlls, std::set<std::string>{"videoprt.sys"});
  const auto used = videoPortFunctionsUsed();
  EXPECT_EQ(used.count("VideoPortInitialize"), 1u) << "the host module's symbols were not read";
  EXPECT_EQ(names, used);
}

// A miniport exports nothing: the linker's export table, if any, names no function.
// The package ships the image without its symbol table, and the symbols apart.
TEST_P(OrvaSys, ExportsNothingAndShipsItsSymbolsApart) {
  // "Number in:" then the export address table's and the name table's counts.
  static const std::regex count(
      R"(^\s*(Export Address Table|\[Name Pointer/Ordinal\] Table)\s+([0-9a-f]+)$)");
  const std::string objdump = GetParam().objdump;
  for (const char* path : {GetParam().path, GetParam().shipped}) {
    const auto text = lines(run(objdump + " -p " + path));
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i].find("Number in:") == std::string::npos) continue;
      for (size_t k = i + 1; k < i + 3 && k < text.size(); ++k) {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(text[k], match, count)) << text[k];
        EXPECT_EQ(std::stoul(match[2], nullptr, 16), 0u) << path << ": " << text[k];
      }
    }
  }
  EXPECT_NE(run(objdump + " -t " + GetParam().shipped).find("no symbols"), std::string::npos);
  const std::string symbols = run(objdump + " -t " + GetParam().symbols);
  for (const char* name : {"DriverEntry", "HWGENERIC_psKeywordList", "ORVAStartIO"})
    EXPECT_NE(symbols.find(name), std::string::npos) << name;
  // The same code: only the symbol table is gone.
  const auto code = [&](const char* path) {
    const std::string dump = run(objdump + " -s -j .text " + path);
    return dump.substr(dump.find("Contents of section"));
  };
  EXPECT_EQ(code(GetParam().path), code(GetParam().shipped));
}

TEST_P(OrvaSys, HasNoStaticConstructors) {
  for (const Section& section : sections()) {
    const bool constructorTable = section.name == ".ctors" || section.name == ".init_array" ||
                                  section.name.rfind(".CRT$XC", 0) == 0;
    EXPECT_FALSE(constructorTable && section.size != 0) << section.name;
  }
  // Compiler-generated initialisers of namespace-scope objects.
  const std::string symbols = objdump("-t");
  EXPECT_EQ(symbols.find("_GLOBAL__sub_I"), std::string::npos);
  EXPECT_EQ(symbols.find("__cxa_atexit"), std::string::npos);
}

TEST_P(OrvaSys, UsesNoFloatingPointOrVectorInstructions) {
  // "   11003:\tmov    0x163bc,%eax"
  static const std::regex instruction(R"(^\s*[0-9a-f]+:\t(\S+)\s*(.*)$)");
  static const std::regex vectorOperand(R"(%(x|y|z)mm\d|%mm\d|%st\b|%st\()");
  static const std::set<std::string> stateInstructions = {"emms",   "femms",   "ldmxcsr", "stmxcsr",
                                                          "fxsave", "fxrstor", "xsave",   "xrstor"};
  unsigned count = 0;
  std::vector<std::string> offending;
  for (const auto& line : lines(objdump("-d --no-show-raw-insn -M att"))) {
    std::smatch match;
    if (!std::regex_search(line, match, instruction)) continue;
    ++count;
    const std::string mnemonic = match[1];
    const std::string operands = match[2];
    // Every x87 mnemonic starts with f; no integer one does but the fs prefix.
    const bool x87 = mnemonic[0] == 'f' && mnemonic.rfind("fs", 0) != 0;
    if (x87 || stateInstructions.count(mnemonic) || std::regex_search(operands, vectorOperand)) {
      offending.push_back(line);
    }
  }
  EXPECT_GT(count, 100u) << "the disassembly was not read";
  EXPECT_TRUE(offending.empty()) << offending.size() << " instructions, first: "
                                 << (offending.empty() ? "" : offending.front());
}

TEST_P(OrvaSys, CarriesBaseRelocations) {
  bool found = false;
  for (const Section& section : sections()) {
    if (section.name == ".reloc") {
      found = true;
      EXPECT_GT(section.size, 0u);
    }
  }
  EXPECT_TRUE(found);
  EXPECT_NE(objdump("-f").find("HAS_RELOC"), std::string::npos);
}

TEST_P(OrvaSys, NoSectionIsBothWritableAndExecutable) {
  const auto all = sections();
  ASSERT_FALSE(all.empty());
  for (const Section& section : all) {
    const bool code = section.flags.find("CODE") != std::string::npos;
    const bool writable = section.flags.find("READONLY") == std::string::npos;
    EXPECT_FALSE(code && writable) << section.name << ": " << section.flags;
  }
}

INSTANTIATE_TEST_SUITE_P(Images, OrvaSys, testing::ValuesIn(kImages),
                         [](const testing::TestParamInfo<Image>& info) { return info.param.name; });

}  // namespace
