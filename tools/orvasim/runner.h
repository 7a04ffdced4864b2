// Runs a scenario against a session: each step becomes its request (or a
// screenshot), and its status and results are reported as text lines or JSON.
#pragma once
#include <ostream>
#include <vector>

#include "client.h"
#include "scenario.h"

namespace orvasim {

class Runner {
 public:
  Runner(orva::platform::Session& session, Client& client) : session_(session), client_(client) {}

  // Runs one step and returns its report: line, text, and for a request its name,
  // code, status, information and decoded result. Throws UsageError ("line N: ...")
  // when a set-mode size is not listed (or set-mode first finds no mode, or a step
  // needs an earlier query that did not succeed), std::runtime_error when a
  // screenshot fails.
  Json run(const Step& step);

  // Runs every step in order; prints each one as it completes when `text` is set.
  Json runAll(const std::vector<Step>& steps, std::ostream* text);

  static void print(const Json& report, std::ostream& out);

 private:
  const std::vector<ModeInformation>& modeList();

  orva::platform::Session& session_;
  Client& client_;
  std::optional<std::vector<ModeInformation>> modes_;
  std::optional<uint64_t> lastMap_, lastShare_;
  // What the last query-modes, query-pointer-caps and map returned, for
  // set-mode first, pointer-shape flags=caps and fb-probe.
  std::optional<std::vector<ModeInformation>> lastModes_;
  std::optional<uint32_t> lastPointerFlags_;
  std::optional<uint64_t> lastFrameBuffer_;
};

}  // namespace orvasim
