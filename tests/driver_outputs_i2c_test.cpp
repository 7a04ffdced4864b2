// Software I2C master: what the board's bus and its slave saw, the line
// actions the bus operations asked for, and the bus delays between them.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "board.h"
#include "i2c_slave.h"
#include "orva/session.h"
#include "tv_encoder.h"

namespace {

using orva::board::Board;
using orva::board::Variant;
using orva::platform::Session;
using orva::platform::SessionOptions;

using LineFn = void(uint32_t);
using WriteRegisterFn = void(LineFn*, uint8_t, uint8_t, uint8_t);

template <typename F>
F* need(const Session& session, const char* name) {
  F* f = session.driverSymbol<F>(name);
  if (f == nullptr) throw std::runtime_error(std::string("driver symbol missing: ") + name);
  return f;
}

std::unique_ptr<Session> bootPinto(bool encoderPresent = true) {
  SessionOptions options;
  options.board.variant = Variant::Pinto;
  options.board.tvEncoderPresent = encoderPresent;
  auto session = std::make_unique<Session>(options);
  if (!session->started()) throw std::runtime_error("adapter not started");
  return session;
}

// ---------------------------------------------------------------------------
// Watching the bus delay. The delay is a busy count on a file-local counter
// that touches no hardware; what can be observed is the counter itself: every
// step of the wait stores to it. The page holding it is made read-only, each
// store faults, is counted when it hits the counter, and is let through by
// single-stepping the faulting instruction with the page writable again.

class StoreWatch {
 public:
  static StoreWatch* active;

  StoreWatch(void* target) : target_(reinterpret_cast<uintptr_t>(target)) {
    const long page = sysconf(_SC_PAGESIZE);
    page_ = target_ & ~uintptr_t(page - 1);
    pageSize_ = size_t(page);
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
    if (signal == SIGSEGV) {
      const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
      if (self == nullptr || address < self->page_ || address >= self->page_ + self->pageSize_) {
        // Not ours: a real fault. Let it kill the process as it would have.
        ::signal(SIGSEGV, SIG_DFL);
        return;
      }
      if (address >= self->target_ && address < self->target_ + 4) self->stores_++;
      self->protect(false);
      uc->uc_mcontext.gregs[REG_EFL] |= kTrapFlag;
    } else {
      uc->uc_mcontext.gregs[REG_EFL] &= ~kTrapFlag;
      if (self != nullptr) self->protect(true);
    }
  }

  uintptr_t target_ = 0, page_ = 0;
  size_t pageSize_ = 0;
  uint64_t stores_ = 0;
  struct sigaction oldSegv_ = {}, oldTrap_ = {};
};
StoreWatch* StoreWatch::active = nullptr;

// Address of a file-local variable of the loaded driver module, from the
// module's symbol table (it has no dynamic symbol).
void* localVariable(const Session& session, const char* exported, const char* file,
                    const char* name) {
  Dl_info info = {};
  if (dladdr(session.symbol(exported), &info) == 0 || info.dli_fname == nullptr) return nullptr;
  std::ifstream in(info.dli_fname, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(in)), {});
  if (image.size() < sizeof(Elf64_Ehdr)) return nullptr;
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  for (unsigned s = 0; s < header.e_shnum; s++) {
    Elf64_Shdr symtab;
    std::memcpy(&symtab, image.data() + header.e_shoff + s * sizeof symtab, sizeof symtab);
    if (symtab.sh_type != SHT_SYMTAB) continue;
    Elf64_Shdr strtab;
    std::memcpy(&strtab, image.data() + header.e_shoff + symtab.sh_link * sizeof strtab,
                sizeof strtab);
    const char* strings = image.data() + strtab.sh_offset;
    std::string currentFile;
    for (size_t n = 0; n < symtab.sh_size / sizeof(Elf64_Sym); n++) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, image.data() + symtab.sh_offset + n * sizeof symbol, sizeof symbol);
      const std::string symbolName = strings + symbol.st_name;
      if (ELF64_ST_TYPE(symbol.st_info) == STT_FILE) {
        currentFile = symbolName;
      } else if (ELF64_ST_TYPE(symbol.st_info) == STT_OBJECT && currentFile == file &&
                 symbolName == name) {
        return static_cast<char*>(info.dli_fbase) + symbol.st_value;
      }
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// A line function that records each action and passes it on to the driver's
// GPIO line function, with the number of counter stores seen before it.

struct LineRecord {
  uint32_t action;
  uint64_t storesBefore;
};
std::vector<LineRecord> g_lines;
LineFn* g_gpio = nullptr;

void recordingLine(uint32_t action) {
  g_lines.push_back({action, StoreWatch::active ? StoreWatch::active->stores() : 0});
  g_gpio(action);
}

TEST(I2cBus, RegisterWriteReachesTheEncoderWithItsLineActionsClocksAndDelays) {
  auto session = bootPinto();
  Board& board = session->board();
  auto* writeRegister = need<WriteRegisterFn>(*session, "REGI2C_WriteRegister");
  g_gpio = need<LineFn>(*session, "REGI2C_GPIOFunction");
  void* counter = localVariable(*session, "REGI2C_Wait", "regi2c.cpp", "_ZL1i");
  if (counter == nullptr) counter = localVariable(*session, "REGI2C_Wait", "regi2c.cpp", "i");
  ASSERT_NE(counter, nullptr) << "the delay counter is not in the module's symbol table";

  const orva::board::I2cCounters before = board.i2c().counters();
  const size_t transactionsBefore = board.i2c().transactions().size();
  g_lines.clear();
  uint64_t stores = 0;
  {
    StoreWatch watch(counter);
    writeRegister(&recordingLine, 0x40, 0x1C, 0xA5);
    stores = watch.stores();
  }
  const orva::board::I2cCounters after = board.i2c().counters();

  // Line actions: 90, the first the transfer marker.
  ASSERT_EQ(g_lines.size(), 90u);
  EXPECT_EQ(g_lines.front().action, 1u);
  // 89 of them move a line: one GPIO register write each.
  EXPECT_EQ(after.lineActions - before.lineActions, 89u);
  EXPECT_EQ(after.sclRising - before.sclRising, 28u);
  EXPECT_EQ(after.starts - before.starts, 1u);
  EXPECT_EQ(after.stops - before.stops, 1u);

  // 97 delays of 100 counter steps each (one store to clear, one per step).
  EXPECT_EQ(stores, 97u * 101u);
  // Every level change is preceded by a delay; the marker needs none.
  for (size_t n = 1; n < g_lines.size(); n++) {
    EXPECT_GT(g_lines[n].storesBefore, g_lines[n - 1].storesBefore) << "line action " << n;
  }

  // The slave decoded one complete transfer and the encoder took the value.
  const auto& transactions = board.i2c().transactions();
  ASSERT_EQ(transactions.size(), transactionsBefore + 1);
  const orva::board::I2cTransaction& t = transactions.back();
  EXPECT_EQ(t.address, 0x40);
  EXPECT_TRUE(t.addressAcked);
  EXPECT_TRUE(t.forUs);
  EXPECT_TRUE(t.endedByStop);
  EXPECT_FALSE(t.ackClockMissing);
  EXPECT_EQ(t.trailingBits, 0u);
  EXPECT_EQ(t.data, (std::vector<uint8_t>{0x1C, 0xA5}));
  EXPECT_EQ(board.tvEncoder().registers()[0x1C], 0xA5);
  // The bus is left idle, both lines high.
  EXPECT_TRUE(board.i2c().sda());
  EXPECT_TRUE(board.i2c().scl());
}

TEST(I2cBus, DataBitsAreStableWhileTheClockIsHigh) {
  auto session = bootPinto();
  Board& board = session->board();
  auto* writeRegister = need<WriteRegisterFn>(*session, "REGI2C_WriteRegister");
  auto* gpio = need<LineFn>(*session, "REGI2C_GPIOFunction");
  const auto& log = board.i2c().lineLog();
  const size_t from = log.size();
  writeRegister(gpio, 0x40, 0x00, 0xA5);
  ASSERT_GT(log.size(), from);

  // At each rising clock edge: the master's data level and the wire's.
  std::vector<bool> master, wire;
  orva::board::I2cLineSample previous = from > 0 ? log[from - 1] : board.i2c().initialSample();
  for (size_t n = from; n < log.size(); n++) {
    const orva::board::I2cLineSample& now = log[n];
    if (now.scl && !previous.scl) {
      master.push_back(now.sdaMaster);
      wire.push_back(now.sda);
    }
    // On the wire, SDA moves under a high clock only for the START and the STOP.
    if (now.scl && previous.scl && now.sda != previous.sda) {
      EXPECT_TRUE(n == from || n + 1 == log.size()) << "SDA moved under a high clock at " << n;
    }
    previous = now;
  }
  ASSERT_EQ(master.size(), 28u);
  const bool data[8] = {true, false, true, false, false, true, false, true};  // 0xA5
  for (unsigned b = 0; b < 8; b++) EXPECT_EQ(master[18 + b], data[b]) << "bit " << b;
  // In the ninth clock of each byte the master lets SDA go and the encoder
  // holds it low.
  for (unsigned ack : {8u, 17u, 26u}) {
    EXPECT_TRUE(master[ack]) << "clock " << ack;
    EXPECT_FALSE(wire[ack]) << "clock " << ack;
  }
}

TEST(I2cBus, MissingDeviceStillRunsTheWholeSequence) {
  auto session = bootPinto(/*encoderPresent=*/false);
  Board& board = session->board();
  auto* writeRegister = need<WriteRegisterFn>(*session, "REGI2C_WriteRegister");
  g_gpio = need<LineFn>(*session, "REGI2C_GPIOFunction");
  const orva::board::I2cCounters before = board.i2c().counters();
  const size_t missingBefore = board.i2c().missingAcks().size();
  const size_t transactionsBefore = board.i2c().transactions().size();
  const auto encoderBefore = board.tvEncoder().registers();
  g_lines.clear();

  writeRegister(&recordingLine, 0x40, 0x05, 0x31);

  const orva::board::I2cCounters after = board.i2c().counters();
  EXPECT_EQ(g_lines.size(), 90u);
  EXPECT_EQ(after.lineActions - before.lineActions, 89u);
  EXPECT_EQ(after.sclRising - before.sclRising, 28u);
  EXPECT_EQ(after.stops - before.stops, 1u);
  // Nobody holds SDA low in the acknowledge clocks, so the master's SDA fall
  // at the end of each ninth clock shows on the wire as a repeated START:
  // each byte travels as the address of a transfer of its own.
  const auto& transactions = board.i2c().transactions();
  std::vector<uint8_t> addresses;
  for (size_t n = transactionsBefore; n < transactions.size(); n++) {
    EXPECT_FALSE(transactions[n].forUs);
    EXPECT_FALSE(transactions[n].addressAcked && transactions[n].addressComplete);
    if (transactions[n].addressComplete) addresses.push_back(transactions[n].address);
  }
  EXPECT_EQ(addresses, (std::vector<uint8_t>{0x40, 0x05, 0x31}));
  ASSERT_GT(transactions.size(), transactionsBefore);
  EXPECT_TRUE(transactions.back().endedByStop);
  // All three bytes went unanswered, and the encoder saw nothing.
  EXPECT_EQ(board.i2c().missingAcks().size() - missingBefore, 3u);
  EXPECT_EQ(board.tvEncoder().registers(), encoderBefore);
}

// Each line action is one read-modify-write of configuration register 0x7B
// that touches only its own bit; other actions touch nothing.
struct GpioCase {
  uint8_t before;
  uint32_t action;
  uint8_t after;
  bool accessed;
};

TEST(I2cGpio, EachActionChangesOnlyItsOwnBit) {
  const GpioCase cases[] = {
      {0x42, 2, 0x46, true},           {0x46, 5, 0x46, true},  {0x42, 4, 0x4A, true},
      {0xFF, 3, 0xFB, true},           {0xFF, 5, 0xF7, true},  {0x00, 4, 0x08, true},
      {0x42, 1, 0x42, false},          {0x42, 0, 0x42, false}, {0x42, 6, 0x42, false},
      {0x42, 0xFFFFFFFF, 0x42, false},
  };
  auto session = bootPinto();
  Board& board = session->board();
  auto* gpio = need<LineFn>(*session, "REGI2C_GPIOFunction");
  for (const GpioCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "0x7B = 0x" << std::hex << int(c.before) << ", action " << c.action);
    board.presetConfig(0x7B, c.before);
    const size_t events = board.trace().events().size();
    gpio(c.action);
    EXPECT_EQ(board.config(0x7B), c.after);
    // Index, read, index, write on the 0x22/0x23 pair.
    EXPECT_EQ(board.trace().events().size() - events, c.accessed ? 4u : 0u);
  }
}

}  // namespace
