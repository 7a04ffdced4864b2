// Runs a scenario against a session: each step becomes its request (or a
// screenshot), and its status and results are reported as text lines or JSON.
#pragma once
#include <ostream>
#include <utility>
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

  // Refused requests (a status other than 0) that no expect status line checked.
  const std::vector<int>& uncheckedRefusals() const { return refusals_; }

 private:
  Json runExpect(const Step& step);

  const std::vector<ModeInformation>& modeList();
  Json runPattern(const Step& step);

  orva::platform::Session& session_;
  Client& client_;
  std::optional<std::vector<ModeInformation>> modes_;
  std::optional<uint64_t> lastMap_, lastShare_;
  // What the last query-modes and query-pointer-caps returned, for set-mode
  // first and pointer-shape flags=caps.
  std::optional<std::vector<ModeInformation>> lastModes_;
  std::optional<uint32_t> lastPointerFlags_;
  // The frame buffer of the last map while it is not unmapped (FrameBufferBase
  // and FrameBufferLength), for fb-probe and pattern.
  std::optional<std::pair<uint64_t, uint64_t>> frameBuffer_;
  // The status of the last request, for expect status; the refused ones not checked.
  std::optional<uint32_t> lastStatus_;
  std::vector<int> refusals_;
};

}  // namespace orvasim
