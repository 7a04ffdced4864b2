// Software I2C master: what the board's bus and its slave saw, the line
// actions the bus operations asked for, and the bus delays between them.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "i2c_slave.h"
#include "orva_test.h"
#include "outputs/regi2c.h"
#include "tv_encoder.h"
#include "vcd.h"

namespace orva::test {
namespace {

// Watching the bus delay. The delay is a busy count on a file-local counter
// that touches no hardware; what can be observed is the counter itself: every
// step of the wait stores to it. The page holding it is made read-only, each
// store faults, is counted when it hits the counter, and is let through by
// single-stepping the faulting instruction with the page writable again.
class StoreWatch {
 public:
  static inline StoreWatch* active = nullptr;

  explicit StoreWatch(void* target) : target_(reinterpret_cast<uintptr_t>(target)) {
    pageSize_ = size_t(sysconf(_SC_PAGESIZE));
    page_ = target_ & ~uintptr_t(pageSize_ - 1);
    struct sigaction sa = {};
    sa.sa_sigaction = &StoreWatch::onSignal;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    active = this;
    if (sigaction(SIGSEGV, &sa, &oldSegv_) != 0 || sigaction(SIGTRAP, &sa, &oldTrap_) != 0) {
      throw std::runtime_error("cannot install the watch handlers");
    }
    protect(true);
  }
  ~StoreWatch() {
    protect(false);
    sigaction(SIGSEGV, &oldSegv_, nullptr);
    sigaction(SIGTRAP, &oldTrap_, nullptr);
    active = nullptr;
  }
  uint64_t stores() const { return stores_; }

 private:
  void protect(bool on) const {
    mprotect(reinterpret_cast<void*>(page_), pageSize_, on ? PROT_READ : PROT_READ | PROT_WRITE);
  }
  static void onSignal(int signal, siginfo_t* info, void* context) {
    StoreWatch* self = active;
    auto* uc = static_cast<ucontext_t*>(context);
    constexpr greg_t kTrapFlag = 0x100;
    if (signal == SIGTRAP) {
      uc->uc_mcontext.gregs[REG_EFL] &= ~kTrapFlag;
      if (self != nullptr) self->protect(true);
      return;
    }
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (self == nullptr || address < self->page_ || address >= self->page_ + self->pageSize_) {
      ::signal(SIGSEGV, SIG_DFL);  // not ours: a real fault, let it kill the process
      return;
    }
    if (address >= self->target_ && address < self->target_ + 4) self->stores_++;
    self->protect(false);
    uc->uc_mcontext.gregs[REG_EFL] |= kTrapFlag;
  }

  uintptr_t target_ = 0, page_ = 0;
  size_t pageSize_ = 0;
  uint64_t stores_ = 0;
  struct sigaction oldSegv_ = {}, oldTrap_ = {};
};

// Address of a file-local variable of the loaded driver module, from the
// module's symbol table (it has no dynamic symbol).
void* LocalVariable(const Session& session, const char* exported, const char* file,
                    const char* name) {
  Dl_info info = {};
  if (dladdr(session.symbol(exported), &info) == 0 || info.dli_fname == nullptr) return nullptr;
  std::ifstream in(info.dli_fname, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(in)), {});
  auto at = [&image](auto& record, size_t offset) {
    std::memcpy(&record, image.data() + offset, sizeof record);
  };
  if (image.size() < sizeof(Elf64_Ehdr)) return nullptr;
  Elf64_Ehdr header;
  at(header, 0);
  for (unsigned s = 0; s < header.e_shnum; s++) {
    Elf64_Shdr symtab, strtab;
    at(symtab, header.e_shoff + s * sizeof symtab);
    if (symtab.sh_type != SHT_SYMTAB) continue;
    at(strtab, header.e_shoff + symtab.sh_link * sizeof strtab);
    std::string currentFile;
    for (size_t n = 0; n < symtab.sh_size / sizeof(Elf64_Sym); n++) {
      Elf64_Sym symbol;
      at(symbol, symtab.sh_offset + n * sizeof symbol);
      const std::string symbolName = image.data() + strtab.sh_offset + symbol.st_name;
      if (ELF64_ST_TYPE(symbol.st_info) == STT_FILE) currentFile = symbolName;
      if (ELF64_ST_TYPE(symbol.st_info) == STT_OBJECT && currentFile == file &&
          symbolName == name) {
        return static_cast<char*>(info.dli_fbase) + symbol.st_value;
      }
    }
  }
  return nullptr;
}

// A line function that records each action, with the number of counter stores
// seen before it, and passes it on to the driver's GPIO line function.
struct LineRecord {
  uint32_t action;
  uint64_t storesBefore;
};
std::vector<LineRecord> g_lines;
void (*g_gpio)(ULONG) = nullptr;
void RecordingLine(ULONG action) {
  g_lines.push_back({action, StoreWatch::active ? StoreWatch::active->stores() : 0});
  g_gpio(action);
}

class I2cBus : public testing::TestWithParam<bool> {};

// With the encoder present the slave decodes one complete transfer and the
// encoder takes the value. Without it nobody holds SDA low in the acknowledge
// clocks, so the master's SDA fall at the end of each ninth clock shows on the
// wire as a repeated START: each byte travels as the address of a transfer of
// its own, unanswered. The master runs the whole sequence either way.
TEST_P(I2cBus, RegisterWriteWithItsLineActionsClocksAndDelays) {
  const bool present = GetParam();
  auto session = Boot({.variant = Variant::Pinto, .tvEncoder = present});
  board::Board& board = session->board();
  g_gpio = DRIVER_FN(*session, REGI2C_GPIOFunction);
  void* counter = LocalVariable(*session, "REGI2C_Wait", "regi2c.cpp", "_ZL1i");
  if (counter == nullptr) counter = LocalVariable(*session, "REGI2C_Wait", "regi2c.cpp", "i");
  ASSERT_NE(counter, nullptr) << "the delay counter is not in the module's symbol table";
  const board::I2cCounters before = board.i2c().counters();
  const size_t from = board.i2c().transactions().size(), logFrom = board.i2c().lineLog().size();
  const auto encoderBefore = board.tvEncoder().registers();
  g_lines.clear();
  uint64_t stores = 0;
  {
    StoreWatch watch(counter);
    DRIVER_FN(*session, REGI2C_WriteRegister)(&RecordingLine, 0x40, 0x1C, 0xA5);
    stores = watch.stores();
  }
  const board::I2cCounters after = board.i2c().counters();

  // 90 line actions, the first the transfer marker; 89 move a line (one GPIO
  // register write each).
  ASSERT_EQ(g_lines.size(), 90u);
  EXPECT_EQ(g_lines.front().action, 1u);
  EXPECT_EQ(after.lineActions - before.lineActions, 89u);
  EXPECT_EQ(after.sclRising - before.sclRising, 28u);
  EXPECT_EQ(after.starts - before.starts, present ? 1u : 4u);
  EXPECT_EQ(after.stops - before.stops, 1u);
  // 97 delays of 100 counter steps each (one store to clear, one per step);
  // every level change is preceded by a delay, the marker needs none.
  EXPECT_EQ(stores, 97u * 101u);
  for (size_t n = 1; n < g_lines.size(); n++) {
    EXPECT_GT(g_lines[n].storesBefore, g_lines[n - 1].storesBefore) << "line action " << n;
  }
  // In the ninth clock of each byte the master lets SDA go.
  const auto& log = board.i2c().lineLog();
  std::vector<bool> masterAtRise;
  for (size_t n = logFrom; n < log.size(); n++) {
    const bool sclBefore = n > 0 ? log[n - 1].scl : board.i2c().initialSample().scl;
    if (log[n].scl && !sclBefore) masterAtRise.push_back(log[n].sdaMaster);
    if (n > logFrom) {  // every access takes time
      EXPECT_LT(log[n - 1].timeNs, log[n].timeNs);
    }
  }
  ASSERT_EQ(masterAtRise.size(), 28u);
  for (unsigned ack : {8u, 17u, 26u}) EXPECT_TRUE(masterAtRise[ack]) << "clock " << ack;
  EXPECT_TRUE(board.i2c().sda() && board.i2c().scl());  // the bus is left idle

  const auto& transactions = board.i2c().transactions();
  ASSERT_GT(transactions.size(), from);
  EXPECT_TRUE(transactions.back().endedByStop);
  if (present) {
    ASSERT_EQ(transactions.size(), from + 1);
    const board::I2cTransaction& t = transactions.back();
    EXPECT_EQ(t.address, 0x40);
    EXPECT_TRUE(t.addressAcked && t.forUs);
    EXPECT_FALSE(t.ackClockMissing);
    EXPECT_EQ(t.trailingBits, 0u);
    EXPECT_EQ(t.data, (std::vector<uint8_t>{0x1C, 0xA5}));
    EXPECT_EQ(board.tvEncoder().registers()[0x1C], 0xA5);
    return;
  }
  std::vector<uint8_t> addresses;
  for (size_t n = from; n < transactions.size(); n++) {
    EXPECT_FALSE(transactions[n].forUs);
    EXPECT_FALSE(transactions[n].addressAcked && transactions[n].addressComplete);
    if (transactions[n].addressComplete) addresses.push_back(transactions[n].address);
  }
  EXPECT_EQ(addresses, (std::vector<uint8_t>{0x40, 0x1C, 0xA5}));
  EXPECT_EQ(board.i2c().missingAcks().size(), 3u);
  EXPECT_EQ(board.tvEncoder().registers(), encoderBefore);
}

INSTANTIATE_TEST_SUITE_P(Encoder, I2cBus, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Present" : "Absent"; });

// Each line action is one read-modify-write of configuration register 0x7B
// that touches only its own bit; other actions touch nothing.
TEST(I2cGpio, EachActionChangesOnlyItsOwnBit) {
  struct Case {
    uint8_t before;
    uint32_t action;
    uint8_t after;
    bool accessed;
  };
  const Case cases[] = {
      {0x42, 2, 0x46, true},           {0x46, 5, 0x46, true},  {0x42, 4, 0x4A, true},
      {0xFF, 3, 0xFB, true},           {0xFF, 5, 0xF7, true},  {0x00, 4, 0x08, true},
      {0x42, 1, 0x42, false},          {0x42, 0, 0x42, false}, {0x42, 6, 0x42, false},
      {0x42, 0xFFFFFFFF, 0x42, false},
  };
  auto session = Boot(Variant::Pinto);
  board::Board& board = session->board();
  auto* gpio = DRIVER_FN(*session, REGI2C_GPIOFunction);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "0x7B = 0x" << std::hex << int(c.before) << ", action " << c.action);
    board.presetConfig(0x7B, c.before);
    session->trace().clear();
    gpio(c.action);
    EXPECT_EQ(board.config(0x7B), c.after);
    const std::vector<PortAccess> rmw = {Out(0x22, 0x7B), In(0x23), Out(0x22, 0x7B),
                                         Out(0x23, c.after)};
    EXPECT_EQ(Ports(*session), c.accessed ? rmw : std::vector<PortAccess>());
  }
}

// The waveform file ends kI2cBusFreeNs after the last line change: the time the master
// leaves the bus idle between a STOP and the next START, measured here over a whole TV
// mode set.
TEST(I2cBus, TransfersAreApartByTheBusFreeTimeTheWaveformEndsWith) {
  auto session = Boot(Variant::Pinto, "TVPAL");
  const auto modes = platform::queryModes(*session).value;
  ASSERT_FALSE(modes.empty());
  ASSERT_EQ(platform::setMode(*session, modes.front().ModeIndex).status, 0u);
  const auto& transactions = session->board().i2c().transactions();
  ASSERT_GE(transactions.size(), 2u);
  for (size_t n = 1; n < transactions.size(); n++) {
    ASSERT_TRUE(transactions[n - 1].endedByStop);
    EXPECT_EQ(transactions[n].startNs - transactions[n - 1].endNs, board::kI2cBusFreeNs) << n;
  }
}

}  // namespace
}  // namespace orva::test
