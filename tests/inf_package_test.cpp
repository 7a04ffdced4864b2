// The package's INF against the driver: package/infcheck.py finds no problem with
// the driver's own keyword table, catches each kind of broken INF, and the
// variants the INF names for each output keyword are those whose mode list the
// driver fills for it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(InfPackage, CheckerFindsNothingWrongWithTheDriversKeywords) {
  const std::string keywords = driverOutputKeywords();
  ASSERT_FALSE(keywords.empty());
  const CheckerRun run = checker("'" + kInf + "' --binary orva.sys --keywords " + keywords);
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
    {"destination", "orva.Miniport  = 12", "orva.Miniport  = 11", "not copied to the drivers"},
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
    {"start_type", "StartType      = 1", "StartType      = 7", "StartType is missing or out"},
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
    {"default_output", "OutputType, %REG_SZ%, \"MONITOR\"", "OutputType, %REG_SZ%, \"TVPAL\"",
     "defaults to 'TVPAL'"},
    {"output_not_string", "OutputType, %REG_SZ%,", "OutputType, 0x00010000,", "not a string"},
    {"output_flags_undefined", "OutputType, %REG_SZ%,", "OutputType, %REG_MULTI_SZ%,",
     "%REG_MULTI_SZ%, which [Strings] does not define"},
    {"unknown_keyword", ";   TVNTSCINTERNAL  ", ";   TVNTSCEXTERNAL  ",
     "TVNTSCEXTERNAL is not one the driver accepts"},
    {"undocumented_keyword", ";   TVNTSCINTERNAL  ", ";   TVNTSC          ", "documented twice"},
};

class InfFault : public testing::TestWithParam<Fault> {};

TEST_P(InfFault, IsReportedByTheChecker) {
  static const std::string keywords = driverOutputKeywords();
  std::string text = readFile(kInf);
  const Fault& fault = GetParam();
  const size_t at = text.find(fault.from);
  ASSERT_NE(at, std::string::npos) << "the INF no longer holds: " << fault.from;
  text.replace(at, std::string(fault.from).size(), fault.to);
  const std::string path =
      testing::TempDir() + "orva_fault_" + fault.name + "." + std::to_string(getpid()) + ".inf";
  std::ofstream(path) << text;

  const CheckerRun run = checker("'" + path + "' --binary orva.sys --keywords " + keywords);
  std::remove(path.c_str());
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find(fault.message), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Faults, InfFault, testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

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
