// The bus trace's JSON Lines form and its counters.
#include <gtest/gtest.h>

#include "board.h"

namespace orva::board {
namespace {

TraceEvent event(TraceEvent::Op op) {
  TraceEvent e{};
  e.op = op;
  return e;
}

// Each event kept by a board carries the board's virtual time: a port access takes
// 1 us, a register access 100 ns, a stall its length; library events take none.
TEST(BoardTrace, JsonLinesOfEveryOperation) {
  Board board(BoardConfig{});
  Trace& t = board.trace();
  TraceEvent map = event(TraceEvent::Op::Map);
  map.io = true, map.address = 0x3C0, map.value = 2;
  t.add(map);
  board.out(8, 0x3D4, 0x11);
  board.in(16, 0x3D4);
  board.write(32, 0x0840011C, 0xFFFFFFFF);
  board.read(8, 0x08400004);
  board.in(8, 0x1F0);
  board.stall(1000);
  TraceEvent get = event(TraceEvent::Op::RegistryGet);
  get.name = "HardwareInformation.OutputType", get.found = true, get.text = "TV\"PAL\"";
  t.add(get);
  TraceEvent missing = event(TraceEvent::Op::RegistryGet);
  missing.name = "X";
  t.add(missing);
  TraceEvent set = event(TraceEvent::Op::RegistrySet);
  set.name = "HardwareInformation.MemorySize", set.extra = 4, set.bytes = {0x00, 0x00, 0x40, 0x00};
  t.add(set);
  TraceEvent request = event(TraceEvent::Op::Request);
  request.value = 0x230404, request.extra = 8, request.bytes = {0xAB};
  t.add(request);
  TraceEvent done = event(TraceEvent::Op::Done);
  done.value = 0x230404, done.extra = 0, done.extra2 = 2, done.bytes = {0x18, 0x00};
  t.add(done);

  EXPECT_EQ(t.toJsonLines(),
            "{\"op\":\"map\",\"space\":\"io\",\"phys\":960,\"length\":2,\"time_ns\":0}\n"
            "{\"op\":\"out\",\"width\":8,\"port\":980,\"value\":17,\"time_ns\":1000}\n"
            "{\"op\":\"in\",\"width\":16,\"port\":980,\"value\":32785,\"time_ns\":2000}\n"
            "{\"op\":\"write\",\"width\":32,\"addr\":138412316,\"value\":4294967295,"
            "\"time_ns\":2100}\n"
            "{\"op\":\"read\",\"width\":8,\"addr\":138412036,\"value\":0,\"time_ns\":2200}\n"
            "{\"op\":\"in\",\"width\":8,\"port\":496,\"value\":255,\"undecoded\":true,"
            "\"time_ns\":3200}\n"
            "{\"op\":\"stall\",\"us\":1000,\"time_ns\":1003200}\n"
            "{\"op\":\"registry-get\",\"name\":\"HardwareInformation.OutputType\",\"found\":true,"
            "\"text\":\"TV\\\"PAL\\\"\",\"time_ns\":1003200}\n"
            "{\"op\":\"registry-get\",\"name\":\"X\",\"found\":false,\"time_ns\":1003200}\n"
            "{\"op\":\"registry-set\",\"name\":\"HardwareInformation.MemorySize\",\"length\":4,"
            "\"data\":\"00004000\",\"time_ns\":1003200}\n"
            "{\"op\":\"request\",\"code\":2294788,\"input\":\"ab\",\"output_length\":8,"
            "\"time_ns\":1003200}\n"
            "{\"op\":\"done\",\"code\":2294788,\"status\":0,\"information\":2,\"output\":\"1800\","
            "\"time_ns\":1003200}\n");
}

TEST(BoardTrace, StringsStayValidJson) {
  TraceEvent e = event(TraceEvent::Op::RegistryGet);
  e.found = true;
  e.name = "a\\b\x01";
  e.text = "\xC3\xA9\xFF";  // well-formed UTF-8 passes, a stray byte is escaped
  EXPECT_EQ(Trace::toJson(e),
            "{\"op\":\"registry-get\",\"name\":\"a\\\\b\\u0001\",\"found\":true,"
            "\"text\":\"\xC3\xA9\\u00ff\"}");
}

TEST(BoardTrace, CountersKeepCountingWhileEventsAreOff) {
  Board board(BoardConfig{});
  board.trace().setRecording(false);
  board.in(8, 0x3CC);
  board.out(8, 0x1F0, 0);
  board.write(32, 0x08400000, 1);
  board.stall(5);
  EXPECT_TRUE(board.trace().events().empty());
  const TraceCounters& c = board.trace().counters();
  EXPECT_EQ(c.portReads, 1u);
  EXPECT_EQ(c.portWrites, 1u);
  EXPECT_EQ(c.registerWrites, 1u);
  EXPECT_EQ(c.stallMicroseconds, 5u);
  EXPECT_EQ(c.undecoded, 1u);
  board.trace().clear();
  EXPECT_EQ(board.trace().counters().portReads, 0u);
}

}  // namespace
}  // namespace orva::board
