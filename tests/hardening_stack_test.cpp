// Kernel stacks are small: every function of the cross-built orva.sys keeps a
// frame of at most 512 bytes, with no frame whose size depends on its input. The
// compiler's -fstack-usage records (one .su file per source) are the evidence.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orva::hardening_test {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kLargestFrame = 512;

struct Frame {
  std::string function;  // file:line:column:name as the compiler writes it
  unsigned bytes = 0;
  std::string kind;  // static, dynamic, or dynamic,bounded
};

// The object folders of both orva.sys builds, when this build cross-builds them.
std::vector<fs::path> objectFolders() {
#ifdef ORVA_SYS_I686_OBJECTS
  return {ORVA_SYS_I686_OBJECTS, ORVA_SYS_X86_64_OBJECTS};
#else
  return {};
#endif
}

std::vector<Frame> framesIn(const fs::path& folder) {
  std::vector<Frame> frames;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().extension() != ".su") continue;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      const size_t tab1 = line.find('\t');
      const size_t tab2 = line.find('\t', tab1 + 1);
      if (tab1 == std::string::npos || tab2 == std::string::npos) {
        ADD_FAILURE() << entry.path() << ": unreadable line: " << line;
        continue;
      }
      frames.push_back({line.substr(0, tab1),
                        static_cast<unsigned>(std::stoul(line.substr(tab1 + 1, tab2 - tab1 - 1))),
                        line.substr(tab2 + 1)});
    }
  }
  return frames;
}

TEST(KernelStack, EveryFrameOfTheTargetBuildIsSmallAndFixed) {
  const std::vector<fs::path> folders = objectFolders();
  if (folders.empty()) GTEST_SKIP() << "this build does not cross-build orva.sys";
  for (const fs::path& folder : folders) {
    SCOPED_TRACE(folder.string());
    const std::vector<Frame> frames = framesIn(folder);
    ASSERT_GT(frames.size(), 50u) << "stack usage records of the driver's functions";
    const Frame* largest = &frames.front();
    for (const Frame& frame : frames) {
      EXPECT_LE(frame.bytes, kLargestFrame) << frame.function;
      EXPECT_EQ(frame.kind, "static") << frame.function;
      if (frame.bytes > largest->bytes) largest = &frame;
    }
    std::printf("%s: largest frame %u bytes, %s\n",
                folder.parent_path().parent_path().parent_path().filename().c_str(), largest->bytes,
                largest->function.c_str());
  }
}

}  // namespace
}  // namespace orva::hardening_test
