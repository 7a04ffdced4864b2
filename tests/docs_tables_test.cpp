// The generated tables of docs/guide.md against the tool: every orvasim run that
// scripts/gen-docs plans is made here in process, recorded, and handed back to
// scripts/gen-docs, which renders the tables and compares them with the guide.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace orva::docs_test {
namespace {

struct Shell {
  int status = -1;
  std::string out;
};

Shell genDocs(const std::string& arguments) {
  // The system's interpreter when there is one: wrappers on PATH can cost a second a run.
  const std::string python =
      std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const std::string command =
      python + " '" + std::string(ORVA_SOURCE_DIR) + "/scripts/gen-docs' " + arguments + " 2>&1";
  Shell shell;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return shell;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    shell.out.append(buffer, got);
  }
  const int status = pclose(pipe);
  shell.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return shell;
}

TEST(DocsTables, GuideTablesMatchTheTool) {
  const Shell plan = genDocs("--plan");
  ASSERT_EQ(plan.status, 0) << plan.out;

  // One file per process: test runs of other trees may share the folder.
  const std::string recording =
      testing::TempDir() + "orva_docs_runs." + std::to_string(getpid()) + ".jsonl";
  std::ofstream record(recording);
  std::istringstream lines(plan.out);
  unsigned runs = 0;
  for (std::string line; std::getline(lines, line);) {
    const auto args = nlohmann::json::parse(line).get<std::vector<std::string>>();
    std::vector<const char*> argv{"orvasim"};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    const int status = orvasim::runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    record << nlohmann::json{{"args", args}, {"status", status}, {"stdout", out.str()}}.dump()
           << '\n';
    ++runs;
  }
  record.close();
  ASSERT_GT(runs, 0u);

  const Shell check = genDocs("--check --replay '" + recording + "'");
  std::remove(recording.c_str());
  EXPECT_EQ(check.status, 0) << check.out;
}

}  // namespace
}  // namespace orva::docs_test
