// The package's INF against the driver: package/infcheck.py finds no problem with
// the driver's own keyword table, the project's version and the memory the driver
// maps, catches each kind of broken INF, and the variants the INF names for each
// output keyword are those whose mode list the driver fills for it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board.h"
#include "hwgeneric/hwgeneric.h"
#include "orva/requests.h"

namespace orva::inf_test {
namespace {

const std::string kInf = std::string(ORVA_SOURCE_DIR) + "/package/orva.inf";

struct CheckerRun {
  int status = -1;
  std::string out;
};

// The system's interpreter when there is one: wrappers on PATH can cost a second a run.
std::string python() {
  return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

CheckerRun checker(const std::string& arguments) {
  const std::string command = python() + " '" + std::string(ORVA_SOURCE_DIR) +
                              "/package/infcheck.py' " + arguments + " 2>&1";
  CheckerRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Megabytes of memory space the driver maps on the board that needs the most (the
// largest display memory, a mode set and the display driver's view of the frame
// buffer), rounded up.
unsigned driverMappedMegabytes() {
  uint64_t most = 0;
  for (int v = 0; v < static_cast<int>(board::Variant::Unknown); ++v) {
    platform::BootOptions options;
    options.chip = board::variantName(static_cast<board::Variant>(v));
    options.memoryBytes = 63u * 128u * 1024u;
    auto session = platform::boot(options);
    const auto modes = platform::queryModes(*session);
    if (!modes.value.empty()) platform::setMode(*session, modes.value.front().ModeIndex);
    platform::mapVideoMemory(*session);
    uint64_t bytes = 0;
    for (const board::TraceEvent& event : session->trace().events())
      if (event.op == board::TraceEvent::Op::Map && !event.io && !event.failed)
        bytes += event.value;
    most = std::max(most, bytes);
  }
  return static_cast<unsigned>((most + (1u << 20) - 1) >> 20);
}

// What every check is run with: the driver's keywords, the project's version and
// the memory the driver maps.
const std::string& driverFacts();

// The output keywords of the driver's keyword table, as the loaded driver holds them.
std::string driverOutputKeywords() {
  auto session = platform::boot({});
  const auto* row = session->driverSymbol<const HWGENERIC_KEYWORD>("HWGENERIC_psKeywordList");
  if (row == nullptr) return {};
  std::string list;
  for (; row->pszKeyword != nullptr; ++row) {
    if (row->ulType != HWGENERIC_TYPE_OUTPUT) continue;
    list += (list.empty() ? "" : ",") + std::string(row->pszKeyword);
  }
  return list;
}

const std::string& driverFacts() {
  static const std::string facts = " --binary orva.sys --keywords " + driverOutputKeywords() +
                                   " --version " ORVA_VERSION " --device-memory " +
                                   std::to_string(driverMappedMegabytes());
  return facts;
}

// A package folder for a (possibly broken) INF: the INF and stand-ins for the
// files it may copy.
class PackageFolder {
 public:
  PackageFolder(const std::string& name, const std::string& inf)
      : path_(std::filesystem::path(testing::TempDir()) / ("orva_package_" + name)) {
    std::filesystem::remove_all(path_);
    for (const char* arch : {"i386", "amd64"}) {
      std::filesystem::create_directories(path_ / arch);
      for (const char* file : {"orva.sys", "orvadisp.dll"})
        std::ofstream(path_ / arch / file) << "MZ";
    }
    std::ofstream(path_ / "orva.inf") << inf;
  }
  ~PackageFolder() { std::filesystem::remove_all(path_); }
  CheckerRun check() const {
    return checker("'" + (path_ / "orva.inf").string() + "' --package '" + path_.string() + "'" +
                   driverFacts());
  }

 private:
  std::filesystem::path path_;
};

TEST(InfPackage, CheckerFindsNothingWrongWithTheDriversKeywords) {
  const CheckerRun run = PackageFolder("as_shipped", readFile(kInf)).check();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "");
}

// A board maker's own display DLL, copied to the system directory and named as the
// display driver, is a working package too.
TEST(InfPackage, CheckerAcceptsADisplayDllInTheSystemDirectory) {
  std::string text = readFile(kInf);
  const std::pair<std::string, std::string> edits[] = {
      {"CopyFiles = orva.Miniport", "CopyFiles = orva.Miniport, orva.Display"},
      {"orva.Miniport  = 12", "orva.Miniport  = 12\norva.Display   = 11"},
      {"[orva.Miniport]\norva.sys\n",
       "[orva.Miniport]\norva.sys\n\n[orva.Display]\norvadisp.dll\n"},
      {"[SourceDisksFiles.x86]\norva.sys = 1",
       "[SourceDisksFiles.x86]\norva.sys = 1\norvadisp.dll = 1"},
      {"[SourceDisksFiles.amd64]\norva.sys = 1",
       "[SourceDisksFiles.amd64]\norva.sys = 1\norvadisp.dll = 1"},
      {"%REG_MULTI_SZ%, framebuf", "%REG_MULTI_SZ%, orvadisp"},
  };
  for (const auto& [from, to] : edits) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }
  const CheckerRun run = PackageFolder("display_dll", text).check();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "");
}

// One fault put into the INF, and a fragment of the message that must name it.
struct Fault {
  const char* name;
  const char* from;
  const char* to;
  const char* message;
};

const Fault kFaults[] = {
    {"class", "Class       = Display", "Class       = Monitor", "Class is not Display"},
    {"class_guid", "{4d36e968-e325-11ce-bfc1-08002be10318}",
     "{00000000-0000-0000-0000-000000000000}", "ClassGUID"},
    {"no_amd64_models", "[ORVA.NTamd64]", "[ORVA.NTia64]", "[ORVA.NTamd64] (a model section)"},
    {"no_amd64_decoration", "ORVA, NTx86, NTamd64", "ORVA, NTx86", "no NTamd64 decoration"},
    {"install_section", "%ORVA.Kestrel%        = orva_Install,",
     "%ORVA.Kestrel%        = orva_Setup,", "install section orva_Setup is missing"},
    {"copy_section", "CopyFiles = orva.Miniport", "CopyFiles = orva.Driver",
     "section orva.Driver is missing"},
    {"destination", "orva.Miniport  = 12", "orva.Miniport  = 11",
     "orva.sys is not copied to the drivers directory"},
    {"destination_entry", "DefaultDestDir = 12", "orva.Display = 12",
     "[DestinationDirs] orva.Display: no such section"},
    {"addreg_section", "AddReg = orva.SoftwareSettings", "AddReg = orva.Settings",
     "section orva.Settings is missing"},
    {"software_settings", "[orva_Install.SoftwareSettings]", "[orva_Install.Settings]",
     "[orva_Install.SoftwareSettings] is missing"},
    {"services_section", "[orva_Install.Services]", "[orva_Install.Service]",
     "[orva_Install.Services] is missing"},
    {"service_install", "AddService = orva, 0x00000002, orva_Service_Inst",
     "AddService = orva, 0x00000002, orva_Service", "service section of orva is missing"},
    {"not_function_driver", "AddService = orva, 0x00000002,", "AddService = orva, 0x00000000,",
     "not the device's function driver"},
    {"service_type", "ServiceType    = 1", "ServiceType    = 2", "ServiceType is not 1"},
    {"load_order", "LoadOrderGroup = Video", "LoadOrderGroup = Base", "LoadOrderGroup"},
    {"start_type", "StartType      = 1", "StartType      = 7", "StartType 7 is not 1"},
    {"start_disabled", "StartType      = 1", "StartType      = 4", "StartType 4 is not 1"},
    {"no_undecorated_models", "[ORVA]\n%ORVA.Pinto%", "[ORVA.NTia64]\n%ORVA.Pinto%",
     "undecorated model section"},
    {"undecorated_lacks_id", "orva_Install, PCI\\VEN_0B4A&DEV_55CC\n",
     "orva_Install, PCI\\VEN_0B4A&DEV_55CD\n", "[ORVA] lacks PCI\\VEN_0B4A&DEV_55CC"},
    {"no_display_driver", "HKR,, InstalledDisplayDrivers, %REG_MULTI_SZ%, framebuf\n", "",
     "no InstalledDisplayDrivers"},
    {"display_driver_not_multi_sz", "InstalledDisplayDrivers, %REG_MULTI_SZ%",
     "InstalledDisplayDrivers, %REG_SZ%", "InstalledDisplayDrivers is not REG_MULTI_SZ"},
    {"display_driver_not_shipped", "%REG_MULTI_SZ%, framebuf", "%REG_MULTI_SZ%, orvadisp",
     "names orvadisp, neither framebuf"},
    {"display_dll_destination", "[orva.Miniport]\norva.sys\n",
     "[orva.Miniport]\norva.sys\norvadisp.dll\n",
     "orvadisp.dll is not copied to the system directory (dirid 11)"},
    {"no_config_data", "[orva_Install.GeneralConfigData]", "[orva_Install.ConfigData]",
     "[orva_Install.GeneralConfigData] is missing"},
    {"config_memory_missing", "MaximumDeviceMemoryConfiguration = 32", "",
     "MaximumDeviceMemoryConfiguration is missing"},
    {"config_memory_small", "MaximumDeviceMemoryConfiguration = 32",
     "MaximumDeviceMemoryConfiguration = 4", "4 MB is less than"},
    {"driver_ver_version", "DriverVer   = 06/01/2025,1.0.0.0", "DriverVer   = 06/01/2025,0.9.0.0",
     "DriverVer version 0.9.0.0 is not the project's version"},
    {"driver_ver_format", "DriverVer   = 06/01/2025,1.0.0.0", "DriverVer   = 2025-06-01,1.0",
     "is not mm/dd/yyyy,w.x.y.z"},
    {"catalog_missing", "Provider    = %ORVA%", "Provider    = %ORVA%\nCatalogFile = orva.cat",
     "CatalogFile orva.cat is not in the package"},
    {"binary_name", "ServiceBinary  = %12%\\orva.sys", "ServiceBinary  = %12%\\orva2.sys",
     "not the built driver orva.sys"},
    {"binary_folder", "ServiceBinary  = %12%\\orva.sys", "ServiceBinary  = %11%\\orva.sys",
     "is not in %12%"},
    {"source_file", "[SourceDisksFiles.amd64]\norva.sys = 1", "[SourceDisksFiles.amd64]\n",
     "[SourceDisksFiles.amd64] does not list orva.sys"},
    {"source_disk", "[SourceDisksNames.x86]\n1 =", "[SourceDisksNames.x86]\n2 =",
     "disk 1 is not in [SourceDisksNames.x86]"},
    {"string", "ORVA.BrambleL      = \"ORVA Bramble-L display adapter\"\n", "",
     "%ORVA.BrambleL%, which [Strings] does not define"},
    {"default_output_without_modes", "OutputType, %REG_SZ%, \"MONITOR\"",
     "OutputType, %REG_SZ%, \"TVPAL\"",
     "'TVPAL' offers no mode on kestrel (PCI\\VEN_0B4A&DEV_0210)"},
    {"default_output_unknown", "OutputType, %REG_SZ%, \"MONITOR\"",
     "OutputType, %REG_SZ%, \"TFTPHILIPS\"", "'TFTPHILIPS' is not a known output keyword"},
    {"default_output_missing", "HKR,, HardwareInformation.OutputType, %REG_SZ%, \"MONITOR\"\n", "",
     "OutputType is not set"},
    {"output_not_string", "OutputType, %REG_SZ%,", "OutputType, 0x00010000,", "not a string"},
    {"output_flags_undefined", "OutputType, %REG_SZ%,", "OutputType, %REG_EXPAND_SZ%,",
     "%REG_EXPAND_SZ%, which [Strings] does not define"},
    {"unknown_keyword", ";   TVNTSCINTERNAL  ", ";   TVNTSCEXTERNAL  ",
     "TVNTSCEXTERNAL is not one the driver accepts"},
    {"undocumented_keyword", ";   TVNTSCINTERNAL  ", ";   TVNTSC          ", "documented twice"},
};

class InfFault : public testing::TestWithParam<Fault> {};

TEST_P(InfFault, IsReportedByTheChecker) {
  std::string text = readFile(kInf);
  const Fault& fault = GetParam();
  const size_t at = text.find(fault.from);
  ASSERT_NE(at, std::string::npos) << "the INF no longer holds: " << fault.from;
  text.replace(at, std::string(fault.from).size(), fault.to);

  const CheckerRun run = PackageFolder(fault.name, text).check();
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find(fault.message), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Faults, InfFault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A board maker's INF: the models of one chip and the keyword of its output.
TEST(InfPackage, ACustomisedKeywordForTheModelsNamedPasses) {
  struct Board {
    const char* keyword;
    const char* keep;  // the one hardware ID the models keep
  };
  for (const Board& b : {Board{"TFTPHILIPSHLD1201", "DEV_0210"}, Board{"TVPAL", "DEV_55CC"},
                         Board{"tvntsc269", "DEV_021B"}}) {
    std::istringstream lines(readFile(kInf));
    std::string text;
    for (std::string line; std::getline(lines, line);) {
      if (line.find("orva_Install, PCI\\") != std::string::npos &&
          line.find(b.keep) == std::string::npos)
        continue;
      const size_t at = line.find("\"MONITOR\"");
      if (line.find("OutputType") != std::string::npos && at != std::string::npos)
        line.replace(at, 9, std::string("\"") + b.keyword + "\"");
      text += line + "\n";
    }
    const CheckerRun run = PackageFolder(b.keyword, text).check();
    EXPECT_EQ(run.status, 0) << b.keyword << ": " << run.out;
  }
}

TEST(InfPackage, DocumentedVariantsAreThoseTheDriverOffersModesFor) {
  const CheckerRun listed = checker("'" + kInf + "' --list-keywords");
  ASSERT_EQ(listed.status, 0) << listed.out;
  std::istringstream lines(listed.out);
  unsigned keywords = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string keyword, word;
    words >> keyword;
    std::set<std::string> documented;
    while (words >> word) {
      if (word != "none") documented.insert(word);
    }
    std::set<std::string> offering;
    for (int v = 0; v < static_cast<int>(board::Variant::Unknown); ++v) {
      const std::string chip(board::variantName(static_cast<board::Variant>(v)));
      platform::BootOptions options;
      options.chip = chip;
      options.output = keyword;
      auto session = platform::boot(options);
      if (platform::queryNumModes(*session).value.NumModes != 0) offering.insert(chip);
    }
    EXPECT_EQ(documented, offering) << keyword;
    ++keywords;
  }
  EXPECT_NE(keywords, 0u);
}

}  // namespace
}  // namespace orva::inf_test
