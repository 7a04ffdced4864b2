// The board's C interface as an emulator uses it: settings and their errors,
// PCI configuration seen as mechanism #1 accesses, the streamed trace, the
// layout notifications, reset, and the output files' failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orva_board.h"

namespace {

struct BoardDeleter {
  void operator()(orva_board* b) const { orva_board_free(b); }
};
using BoardPtr = std::unique_ptr<orva_board, BoardDeleter>;

BoardPtr makeBoard(const char* chip = "bramble", uint32_t memory = 4u << 20) {
  orva_board_config c;
  orva_board_config_init(&c);
  c.chip = chip;
  c.memory_bytes = memory;
  char error[256] = "";
  BoardPtr board(orva_board_new(&c, error, sizeof error));
  EXPECT_NE(board, nullptr) << error;
  return board;
}

std::string tempPath(const char* name) {
  return testing::TempDir() + "/orva-capi-" + std::to_string(getpid()) + "-" + name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

void extensions(orva_board* b) {
  orva_board_out(b, 8, 0x3C4, 0x06);
  orva_board_out(b, 8, 0x3C5, 0x57);
}

TEST(BoardC, BadSettingsAreRefusedWithTheReason) {
  struct Case {
    const char* chip;
    uint32_t memory;
    const char* reason;
  } cases[] = {
      {"osprey", 4u << 20, "unknown chip 'osprey'"},
      {"bramble", 3u << 16, "multiple of 128 KB"},
      {"bramble", 8192u << 10, "at most 8064 KB"},
  };
  for (const Case& c : cases) {
    orva_board_config config;
    orva_board_config_init(&config);
    config.chip = c.chip;
    config.memory_bytes = c.memory;
    char error[256] = "";
    orva_board* board = orva_board_new(&config, error, sizeof error);
    EXPECT_EQ(board, nullptr) << c.chip;
    EXPECT_NE(std::strstr(error, c.reason), nullptr) << error;
    orva_board_free(board);
  }
  EXPECT_NE(makeBoard("Kestrel"), nullptr);  // names in any case
}

TEST(BoardC, PciConfigurationReachesTheBoardAsMechanismOneAccesses) {
  BoardPtr board = makeBoard("kestrel");
  const std::string path = tempPath("pci.jsonl");
  ASSERT_EQ(orva_board_set_trace_file(board.get(), path.c_str()), 0);
  EXPECT_EQ(orva_board_pci_read(board.get(), 12, 0, 0, 32), 0x02100B4Au);
  EXPECT_EQ(orva_board_pci_read(board.get(), 11, 0, 2, 16), 0x020Au);
  EXPECT_EQ(orva_board_pci_read(board.get(), 12, 1, 0, 32), 0xFFFFFFFFu);
  orva_board_pci_write(board.get(), 11, 0, 4, 16, 0x0007);
  EXPECT_TRUE(orva_board_pci_present(board.get(), 11, 0));
  EXPECT_FALSE(orva_board_pci_present(board.get(), 12, 1));
  ASSERT_EQ(orva_board_flush(board.get()), 0);
  const std::vector<std::string> expected = {
      R"({"op":"out","width":32,"port":3320,"value":2147508224})",
      R"({"op":"in","width":32,"port":3324,"value":34605898})",
      R"({"op":"out","width":32,"port":3320,"value":2147506176})",
      R"({"op":"in","width":16,"port":3326,"value":522})",
      R"({"op":"out","width":32,"port":3320,"value":2147508480})",
      R"({"op":"in","width":32,"port":3324,"value":4294967295})",
      R"({"op":"out","width":32,"port":3320,"value":2147506180})",
      R"({"op":"out","width":16,"port":3324,"value":7})",
  };
  std::vector<std::string> got = lines(slurp(path));
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].rfind(expected[i], 0), 0u) << got[i];
  std::remove(path.c_str());
}

TEST(BoardC, BadWidthsAnswerAllOnesAndAreNotTraced) {
  BoardPtr board = makeBoard();
  const std::string path = tempPath("width.jsonl");
  ASSERT_EQ(orva_board_set_trace_file(board.get(), path.c_str()), 0);
  for (unsigned width : {0u, 1u, 24u, 64u}) {
    EXPECT_EQ(orva_board_in(board.get(), width, 0x3C4), 0xFFFFFFFFu);
    EXPECT_EQ(orva_board_read(board.get(), width, 0x08400000), 0xFFFFFFFFu);
    EXPECT_EQ(orva_board_pci_read(board.get(), 11, 0, 0, width), 0xFFFFFFFFu);
    orva_board_out(board.get(), width, 0x3C4, 1);
    orva_board_write(board.get(), width, 0x08400000, 1);
  }
  EXPECT_EQ(orva_board_pci_read(board.get(), 11, 0, 256, 8), 0xFFFFFFFFu);
  ASSERT_EQ(orva_board_flush(board.get()), 0);
  EXPECT_EQ(slurp(path), "");
  EXPECT_EQ(orva_board_virtual_time_ns(board.get()), 0u);
  std::remove(path.c_str());
}

struct Moves {
  std::vector<std::pair<uint32_t, uint16_t>> seen;
};

void recordMove(orva_board* board, void* opaque) {
  static_cast<Moves*>(opaque)->seen.emplace_back(orva_board_gbase(board),
                                                 orva_board_tft_base_port(board));
}

TEST(BoardC, MovesOfTheWindowAndTheTftPortsAreNotified) {
  BoardPtr board = makeBoard("mistral");
  Moves moves;
  orva_board_on_layout_change(board.get(), recordMove, &moves);
  EXPECT_EQ(orva_board_gbase(board.get()), 0x08000000u);
  extensions(board.get());
  orva_board_out(board.get(), 8, 0x3D4, 0x20);
  orva_board_out(board.get(), 8, 0x3D5, 0x10);  // bits 31-24, bit 27 always set
  orva_board_out(board.get(), 8, 0x3D5, 0x10);  // the same again: no move
  orva_board_out(board.get(), 8, 0x22, 0x1D);
  orva_board_out(board.get(), 8, 0x23, 0x40);
  ASSERT_EQ(moves.seen.size(), 2u);
  EXPECT_EQ(moves.seen[0], std::make_pair(0x18000000u, uint16_t{0x0D00}));
  EXPECT_EQ(moves.seen[1], std::make_pair(0x18000000u, uint16_t{0x0D40}));
  // The window answers at its new base only.
  orva_board_write(board.get(), 32, 0x18400000, 0x12345678);
  EXPECT_EQ(orva_board_read(board.get(), 32, 0x18400000), 0x12345678u);
  const uint64_t undecoded = orva_board_undecoded(board.get());
  EXPECT_EQ(orva_board_read(board.get(), 32, 0x08400000), 0xFFFFFFFFu);
  EXPECT_EQ(orva_board_undecoded(board.get()), undecoded + 1);
  // A reset is a move back to the power-up layout.
  orva_board_reset(board.get());
  ASSERT_EQ(moves.seen.size(), 3u);
  EXPECT_EQ(moves.seen[2], std::make_pair(0x08000000u, uint16_t{0x0D00}));
  EXPECT_TRUE(orva_board_decodes_tft_ports(board.get()));
  EXPECT_TRUE(orva_board_has_super_io(board.get()));
}

TEST(BoardC, ResetKeepsDisplayMemoryInPlaceAndTheTraceGoing) {
  BoardPtr board = makeBoard("bramble", 2u << 20);
  const std::string path = tempPath("reset.jsonl");
  ASSERT_EQ(orva_board_set_trace_file(board.get(), path.c_str()), 0);
  uint8_t* vram = orva_board_vram(board.get());
  ASSERT_EQ(orva_board_vram_size(board.get()), 2u << 20);
  ASSERT_EQ(reinterpret_cast<uintptr_t>(vram) % 4096, 0u);
  vram[0] = 0x5A;
  vram[(2u << 20) - 1] = 0xA5;
  orva_board_out(board.get(), 8, 0x3C4, 0x06);
  const uint64_t generation = orva_board_state_generation(board.get());
  orva_board_reset(board.get());
  EXPECT_GT(orva_board_state_generation(board.get()), generation);
  EXPECT_EQ(orva_board_vram(board.get()), vram);
  EXPECT_EQ(vram[0], 0);
  EXPECT_EQ(vram[(2u << 20) - 1], 0);
  EXPECT_EQ(orva_board_in(board.get(), 8, 0x3C4), 0u);  // the index is back at power-up
  ASSERT_EQ(orva_board_flush(board.get()), 0);
  std::vector<std::string> got = lines(slurp(path));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].rfind(R"({"op":"out","width":8,"port":964,"value":6)", 0), 0u) << got[0];
  EXPECT_EQ(got[1].rfind(R"({"op":"in","width":8,"port":964,"value":0)", 0), 0u) << got[1];
  std::remove(path.c_str());
}

TEST(BoardC, ScanoutNamesWhyThereIsNoPicture) {
  BoardPtr board = makeBoard();
  unsigned width = 1, height = 1;
  EXPECT_EQ(orva_board_scanout(board.get(), &width, &height), nullptr);
  EXPECT_EQ(width, 0u);
  EXPECT_EQ(height, 0u);
  EXPECT_STRNE(orva_board_error(board.get()), "");
}

TEST(BoardC, OutputFileFailuresNameTheFileAndTheReason) {
  BoardPtr board = makeBoard();
  EXPECT_EQ(orva_board_set_trace_file(board.get(), "/nonexistent/dir/t.jsonl"), -1);
  EXPECT_NE(std::strstr(orva_board_error(board.get()), "/nonexistent/dir/t.jsonl: No such file"),
            nullptr)
      << orva_board_error(board.get());
  ASSERT_EQ(orva_board_set_trace_file(board.get(), "/dev/full"), 0);
  for (int i = 0; i < 20000; ++i) orva_board_in(board.get(), 8, 0x3C4);
  EXPECT_EQ(orva_board_flush(board.get()), -1);
  EXPECT_NE(std::strstr(orva_board_error(board.get()), "/dev/full: No space left"), nullptr)
      << orva_board_error(board.get());
  EXPECT_EQ(orva_board_set_vcd_file(board.get(), "/dev/full"), -1);
  EXPECT_EQ(orva_board_set_trace_file(board.get(), nullptr), -1);  // the failure is reported once
  EXPECT_EQ(orva_board_set_trace_file(board.get(), nullptr), 0);
}

}  // namespace
