#include "cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "client.h"
#include "files.h"
#include "parse.h"
#include "report.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"
#include "trace_output.h"
#include "vcd.h"
#include "verifier_baseline.h"

namespace orvasim {

namespace {

using orva::platform::Session;

constexpr const char* kChips =
    "pinto, bramble, bramble-l, mistral, bramble-r, kestrel, bramble-rx, unknown";

struct Command {
  std::string name;  // "", "info", "modes", "set", "screenshot", "run"
  std::string mode;
  std::string scenario;
  std::string screenshot;   // PNG file, empty: none
  std::vector<Step> steps;  // the scenario, read before the board boots
};

// Where a run stopped part way, for every output to say.
struct Stop {
  int line = 0;  // 0: not in a scenario
  std::string reason;
  int code = kExitFailure;
};

// What a command leaves for the outputs written after it.
struct Outcome {
  int code = kExitOk;
  std::optional<Stop> stop;
  std::vector<TraceMark> marks;  // first trace event of each scenario line
  bool printedJson = false;
};

std::string scenarioName(const std::string& file) {
  return file == "-" ? std::string("(standard input)") : file;
}

std::vector<ModeInformation> modeList(Client& client) {
  std::vector<ModeInformation> modes;
  Exchange e = client.queryModes(&modes);
  if (e.status != 0)
    throw std::runtime_error("the driver refused the mode list: status " +
                             std::to_string(e.status));
  return modes;
}

std::vector<ListedMode> listed(const std::vector<ModeInformation>& modes) {
  std::vector<ListedMode> list;
  for (const ModeInformation& m : modes)
    list.push_back({m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency});
  return list;
}

// The other listed modes of the same size, depth and refresh rate as `mode`.
std::vector<uint32_t> twins(uint32_t mode, const std::vector<ModeInformation>& modes) {
  const ModeInformation* picked = nullptr;
  for (const ModeInformation& m : modes)
    if (m.ModeIndex == mode) picked = &m;
  std::vector<uint32_t> others;
  if (!picked) return others;
  for (const ModeInformation& m : modes)
    if (m.ModeIndex != mode && m.VisScreenWidth == picked->VisScreenWidth &&
        m.VisScreenHeight == picked->VisScreenHeight && m.BitsPerPlane == picked->BitsPerPlane &&
        m.Frequency == picked->Frequency)
      others.push_back(m.ModeIndex);
  return others;
}

// Runs the scenario's steps; a step that cannot run stops the run, and what ran
// until then is kept.
Json runSteps(Runner& runner, const std::vector<Step>& steps, const std::string& file,
              std::ostream* text, Session& session, Outcome& outcome) {
  Json reports = Json::array();
  for (const Step& step : steps) {
    outcome.marks.push_back({session.trace().events().size(), step.line});
    try {
      Json report = runner.run(step);
      if (text) Runner::print(report, *text);
      reports.push_back(std::move(report));
    } catch (const UsageError& e) {
      outcome.stop = Stop{step.line, scenarioName(file) + ": " + e.what(), kExitUsage};
      break;
    } catch (const FileError& e) {
      outcome.stop = Stop{
          step.line, scenarioName(file) + ": line " + std::to_string(step.line) + ": " + e.what(),
          kExitFailure};
      break;
    } catch (const std::runtime_error& e) {
      outcome.stop = Stop{
          step.line, scenarioName(file) + ": line " + std::to_string(step.line) + ": " + e.what(),
          kExitFailure};
      break;
    }
  }
  return reports;
}

// Runs the command on a started session.
Outcome execute(const Command& command, const ToolOptions& options, Session& session,
                std::ostream& out, std::ostream& err) {
  Client client(session);
  Outcome outcome;
  Json json;
  auto screenshot = [&](Json& report) {
    if (command.screenshot.empty()) return;
    Json shot = writeScreenshot(session.board(), command.screenshot);
    if (options.json)
      report["screenshot"] = shot;
    else
      out << "screenshot      " << command.screenshot << " (" << shot["width"] << "x"
          << shot["height"] << ")\n";
  };

  if (command.name.empty() || command.name == "info") {
    Json info = infoReport(session, client, options);
    if (command.name.empty()) {
      std::vector<ModeInformation> modes = modeList(client);
      if (options.json) {
        json = {{"info", info}, {"modes", modesReport(modes)}};
      } else {
        printInfo(info, out);
        out << "\n";
        printModes(modes, out);
      }
    } else if (options.json) {
      json = info;
    } else {
      printInfo(info, out);
    }
  } else if (command.name == "modes") {
    std::vector<ModeInformation> modes = modeList(client);
    if (options.json)
      json = modesReport(modes);
    else
      printModes(modes, out);
  } else if (command.name == "set") {
    ModeName wanted = parseModeName(command.mode);
    std::vector<ModeInformation> modes = modeList(client);
    uint32_t mode = resolveMode(wanted, listed(modes));
    Json report = setReport(session, client, mode, modes);
    if (!wanted.number) {
      Json others = Json::array();
      for (uint32_t other : twins(mode, modes)) others.push_back(other);
      report["mode"]["picked"] = {{"by", formatModeName(wanted)}, {"alsoListed", others}};
    }
    if (!options.json) printSet(report, out);
    const uint32_t status = report["status"].get<uint32_t>();
    if (status != 0) {
      outcome.code = kExitFailure;
      err << "orvasim: the driver refused mode " << mode << ": status " << status << " "
          << report["statusName"].get<std::string>()
          << (report["mode"]["listed"].get<bool>() ? ""
                                                   : " (the mode is not in the driver's list; "
                                                     "`orvasim modes` shows the list)")
          << "\n";
    }
    screenshot(report);
    json = std::move(report);
  } else if (command.name == "run" || command.name == "screenshot") {
    std::vector<Step> steps;
    // A screenshot's mode is set first, so that the scenario draws on it.
    if (command.name == "screenshot" && !command.mode.empty()) {
      Step set;
      set.verb = Verb::SetMode;
      set.text = "set-mode " + command.mode;
      set.mode = parseModeName(command.mode);
      steps.push_back(set);
    }
    steps.insert(steps.end(), command.steps.begin(), command.steps.end());
    Runner runner(session, client);
    bool quiet = command.name == "screenshot";
    Json report = {{"steps", runSteps(runner, steps, command.scenario,
                                      quiet || options.json ? nullptr : &out, session, outcome)}};
    // Expectations that failed, and refusals no expectation checked (--strict).
    for (const Json& step : report["steps"]) {
      if (!step.contains("expect") || step["expect"]["ok"].get<bool>()) continue;
      err << "orvasim: " << scenarioName(command.scenario) << ": line " << step["line"] << ": "
          << step["text"].get<std::string>() << ": got "
          << step["expect"]["gotText"].get<std::string>() << "\n";
      outcome.code = kExitFailure;
    }
    if (outcome.stop) {
      report["stopped"] = {{"line", outcome.stop->line}, {"reason", outcome.stop->reason}};
    } else {
      screenshot(report);
      if (options.strict && !runner.uncheckedRefusals().empty()) {
        for (int line : runner.uncheckedRefusals())
          err << "orvasim: " << scenarioName(command.scenario) << ": line " << line
              << ": the request was refused (--strict; an `expect status` line accepts it)\n";
        outcome.code = kExitFailure;
      }
    }
    if (command.name == "screenshot" && report.contains("screenshot"))
      json = report["screenshot"];
    else
      json = std::move(report);
  }
  if (options.json) {
    out << json.dump(2) << "\n";
    outcome.printedJson = true;
  }
  return outcome;
}

std::string parseErrorMessage(const CLI::ParseError& e, const CLI::App& app) {
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    std::vector<std::string> extras = app.remaining();
    if (!extras.empty() && extras[0].starts_with("-"))
      return "unknown option '" + extras[0] + "' (see --help)";
    if (!extras.empty())
      return "unknown command or argument '" + extras[0] +
             "' (commands: info, modes, set, screenshot, run, help)";
  }
  std::string message = e.what();
  for (char& c : message)
    if (c == '\n') c = ' ';
  return message;
}

// A board setting from the scenario's board line, unless the command line gave one.
struct BoardOption {
  const char* key;   // as the board line spells it
  const char* flag;  // as the command line does
  std::string* value;
  bool given;
};

}  // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           std::istream* in) {
  CLI::App app{
      "orvasim boots an emulated ORVA board, loads the display driver afresh, sends it the\n"
      "requests a display driver would, and shows what the hardware ended up doing.\n"
      "Without a command it prints `info` and then `modes`.",
      "orvasim"};
  app.footer(
      "Exit status: 0 done; 1 the run failed (driver did not start, a set mode was refused,\n"
      "an expectation failed, a verifier notice outside the baseline, a file could not be\n"
      "written); 2 bad input (option, command, mode or scenario line).\n"
      "Examples:\n"
      "  orvasim --chip pinto --output TVPAL modes\n"
      "  orvasim set 800x600x16@75 screenshot --out screen.png\n"
      "  orvasim --trace bus.jsonl run examples/session.scn\n");
  app.set_version_flag("--version", std::string("orvasim ") + ORVA_VERSION);

  std::string chip = "bramble", memory = "4M", gbase = "0", outputKeyword;
  bool noTvEncoder = false;
  ToolOptions options;
  CLI::Option* chipOption =
      app.add_option("--chip", chip,
                     std::string("chip variant: ") + kChips +
                         " (default bramble: every monitor mode plus the TV encoder on I/O ports)")
          ->type_name("CHIP");
  CLI::Option* memoryOption =
      app.add_option("--memory", memory,
                     "display memory: 128K steps up to 8064K (0: none), as 4M, 8064K, 2MB or "
                     "bytes (default 4M)")
          ->type_name("SIZE");
  CLI::Option* gbaseOption =
      app.add_option("--gbase", gbase,
                     "CRTC 0x20 at power-up, hex: the graphics base's bits 31-24 (default 0)")
          ->type_name("HEX");
  CLI::Option* outputOption =
      app.add_option("--output", outputKeyword,
                     "registry value HardwareInformation.OutputType, e.g. MONITOR, TVPAL, "
                     "TVNTSC, TFTPHILIPSHLD1201 (default: not set, the driver picks MONITOR)")
          ->type_name("KEYWORD");
  CLI::Option* encoderOption =
      app.add_flag("--no-tv-encoder", noTvEncoder, "the external I2C TV encoder does not answer");
  app.add_flag("--strict", options.strict,
               "make warnings errors: an output keyword the driver does not take (exit 2), a "
               "scenario request refused without an `expect status` line (exit 1)");
  bool verify = false, verifyAll = false;
  std::string baselineFile;
  app.add_flag("--verify", verify,
               "report on stderr, at the end, what Windows forbids a miniport but does not always "
               "catch (calls outside discovery, unclaimed or unreleased mappings, long stalls); "
               "notices in the baseline are counted, any other one is shown and fails the run");
  app.add_option("--verify-baseline", baselineFile,
                 "the accepted notices: a file of KIND FUNCTION REASON lines (default: the "
                 "driver's own baseline, `--verify-baseline -` shows it)")
      ->type_name("FILE");
  app.add_flag("--verify-all", verifyAll, "with --verify: show the baseline's notices too");
  std::string driverPath;
  app.add_option("--driver", driverPath,
                 "driver to load: a .sys image built for this machine, or a host driver module "
                 "(default: the host build of the driver)")
      ->type_name("PATH");
  app.add_flag("--json", options.json, "print JSON instead of text");
  app.add_option("--trace", options.traceFile,
                 "write the bus trace (JSON Lines) to FILE (-: standard output)")
      ->type_name("FILE");
  std::string traceOnly;
  app.add_option("--trace-only", traceOnly,
                 "keep only these events in the trace, comma-separated: maps, ports, registers, "
                 "stalls, registry, requests, or a port range (0x3D4-0x3D5, 0x3C2)")
      ->type_name("LIST");
  app.add_option("--vcd", options.vcdFile,
                 "write the I2C lines as a Value Change Dump to FILE (-: standard output)")
      ->type_name("FILE");

  Command command;
  CLI::App* info = app.add_subcommand(
      "info", "chip, PCI hardware ID, registry values, frame buffer, output, mode count");
  CLI::App* modes =
      app.add_subcommand("modes", "the mode list as IOCTL_VIDEO_QUERY_AVAIL_MODES returns it");
  CLI::App* set = app.add_subcommand(
      "set", "set a mode and report what the hardware now does (read back from the board)");
  set->add_option("MODE", command.mode,
                  "mode number (74, 0x4A; sent as is) or WIDTHxHEIGHTxBPP[@HZ] from the list")
      ->required()
      ->type_name("MODE");
  CLI::App* setShot = set->add_subcommand("screenshot", "also write the picture as PNG");
  setShot->add_option("--out", command.screenshot, "PNG file")->type_name("FILE")->required();
  CLI::App* shot =
      app.add_subcommand("screenshot",
                         "write the displayed picture (cursor included) as PNG, after an optional "
                         "mode set and scenario");
  shot->add_option("--out", command.screenshot, "PNG file")->type_name("FILE")->required();
  shot->add_option("--scenario", command.scenario, "scenario file to run (after the mode set)")
      ->type_name("FILE");
  shot->add_option("--mode", command.mode, "mode to set first")->type_name("MODE");
  CLI::App* run = app.add_subcommand("run", "run a scenario file of requests, one per line");
  run->add_option("SCENARIO", command.scenario, "scenario file (-: standard input)")
      ->required()
      ->type_name("FILE");
  run->footer(
      "Scenario lines ('#' starts a comment; numbers are decimal or 0x hex):\n"
      "  board [chip=CHIP] [output=KEYWORD] [memory=SIZE] [gbase=HEX] [tv-encoder=yes|no]\n"
      "  query-num-modes | query-modes | query-current-mode | set-mode MODE\n"
      "  map | unmap [ADDRESS] | share OFFSET SIZE | unshare [ADDRESS]\n"
      "  palette FIRST RRGGBB [RRGGBB...] | query-pointer-caps\n"
      "  pointer-shape arrow|block|cross|FILE [height=H] [x=X] [y=Y] [flags=F] [width=W]\n"
      "  pointer-move X Y | pointer-enable | pointer-disable | pointer-query | reset\n"
      "  mem-map PHYS LENGTH | io-map PORT LENGTH | fb-free | nop\n"
      "  port-read8|16|32 BASE [OFFSET] | port-write8|16|32 BASE OFFSET VALUE\n"
      "  screenshot FILE | raw CODE HEXINPUT|- OUTLENGTH | pattern bars|ramp|card\n"
      "  query-color-caps | fb-probe [VALUE] | set-mode first [output=LENGTH]\n"
      "  palette FIRST rgb332 | pointer-shape ... flags=caps\n"
      "  expect status STATUS | expect crtc|seq|gc|attr|config INDEX VALUE\n"
      "  expect misc VALUE | expect ge OFFSET VALUE | expect dac INDEX RRGGBB\n"
      "  expect pixel X Y RRGGBB | expect mode WxHxBPP[@HZ]\n");
  CLI::App* runShot = run->add_subcommand("screenshot", "write the picture as PNG at the end");
  runShot->add_option("--out", command.screenshot, "PNG file")->type_name("FILE")->required();
  std::string helpTopic;
  CLI::App* help = app.add_subcommand("help", "show this help, or a command's (help run)");
  help->add_option("COMMAND", helpTopic, "info, modes, set, screenshot or run")
      ->type_name("COMMAND");
  for (CLI::App* sub : {info, modes, set, shot, run, setShot, runShot}) sub->fallthrough();
  app.require_subcommand(0, 1);

  // Every exit checks the standard output: a report that did not reach it is a failure.
  auto finish = [&](int code) {
    out.flush();
    if (!out) {
      const auto* fd = dynamic_cast<const FdBuffer*>(out.rdbuf());
      err << "orvasim: cannot write standard output"
          << (fd && fd->error() ? std::string(": ") + std::strerror(fd->error()) : std::string())
          << "\n";
      return code == kExitOk ? kExitFailure : code;
    }
    return code;
  };
  // A failure before any report: one line on stderr, and with --json a JSON object.
  auto fail = [&](int code, const std::string& message) {
    err << "orvasim: " << message << "\n";
    if (options.json) out << Json{{"error", message}, {"exitCode", code}}.dump(2) << "\n";
    return finish(code);
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return finish(app.exit(e, out, err));
  } catch (const CLI::CallForAllHelp& e) {
    return finish(app.exit(e, out, err));
  } catch (const CLI::CallForVersion& e) {
    return finish(app.exit(e, out, err));
  } catch (const CLI::ParseError& e) {
    return fail(kExitUsage, parseErrorMessage(e, app));
  }
  for (CLI::App* sub : {info, modes, set, shot, run})
    if (sub->parsed()) command.name = sub->get_name();
  if (help->parsed()) {
    if (helpTopic.empty()) {
      out << app.help();
      return finish(kExitOk);
    }
    for (CLI::App* sub : {info, modes, set, shot, run})
      if (sub->get_name() == helpTopic) {
        out << sub->help();
        return finish(kExitOk);
      }
    return fail(kExitUsage, "no command '" + helpTopic + "' (info, modes, set, screenshot, run)");
  }
  if (baselineFile == "-") {
    out << defaultBaselineText();
    return finish(kExitOk);
  }

  std::vector<BaselineEntry> baseline;
  TraceFilter filter;
  try {
    if (!command.scenario.empty()) command.steps = loadScenario(command.scenario, in);
    // The scenario's board line fills in what the command line left out.
    std::string encoder = noTvEncoder ? "no" : "yes";
    const BoardOption board[] = {
        {"chip", "--chip", &chip, chipOption->count() > 0},
        {"output", "--output", &outputKeyword, outputOption->count() > 0},
        {"memory", "--memory", &memory, memoryOption->count() > 0},
        {"gbase", "--gbase", &gbase, gbaseOption->count() > 0},
        {"tv-encoder", "--no-tv-encoder", &encoder, encoderOption->count() > 0}};
    bool outputGiven = outputOption->count() > 0;
    for (const auto& [key, value] : boardSettings(command.steps)) {
      for (const BoardOption& option : board) {
        if (key != option.key) continue;
        if (!option.given) {
          *option.value = value;
          if (key == std::string("output")) outputGiven = true;
        } else if (lowerCase(*option.value) != lowerCase(value)) {
          err << "orvasim: note: " << option.flag
              << (key == std::string("tv-encoder") ? "" : " " + *option.value)
              << " overrides the scenario's " << key << "=" << value << "\n";
        }
      }
    }
    noTvEncoder = encoder == "no";

    std::optional<orva::board::Variant> variant = orva::board::parseVariant(lowerCase(chip));
    if (!variant) throw UsageError("unknown chip '" + chip + "' (" + kChips + ")");
    options.board.variant = *variant;
    options.board.memoryBytes = parseMemorySize(memory);
    std::optional<uint64_t> base = parseHex(gbase, 8);
    if (!base)
      throw UsageError("invalid --gbase '" + gbase +
                       "': " + (parseHex(gbase, 64) ? "too large: " : "") +
                       "expected a hex byte (0 to FF)");
    options.board.gbase = static_cast<uint8_t>(*base);
    options.board.tvEncoderPresent = !noTvEncoder;
    if (outputGiven) options.output = outputKeyword;
    // Mode names are checked before the board boots.
    if (!command.mode.empty()) parseModeName(command.mode);
    filter = parseTraceFilter(traceOnly);
    if (verify) baseline = baselineFile.empty() ? defaultBaseline() : loadBaseline(baselineFile);
  } catch (const UsageError& e) {
    return fail(kExitUsage, e.what());
  } catch (const FileError& e) {
    return fail(kExitUsage, e.what());
  }

  try {
    orva::platform::SessionOptions sessionOptions;
    sessionOptions.board = options.board;
    sessionOptions.driverPath = driverPath;
    sessionOptions.verify = verify;
    if (options.output) sessionOptions.outputType = orva::platform::registryString(*options.output);
    Session session(sessionOptions);
    if (!session.open()) {  // as a display driver opens the device
      return fail(kExitFailure, "the driver did not start (DriverEntry returned " +
                                    std::to_string(session.driverEntryStatus()) + ")");
    }
    if (options.output) {
      std::string problem = keywordProblem(session, *options.output);
      if (!problem.empty() && options.strict) return fail(kExitUsage, problem + " (--strict)");
      if (!problem.empty()) err << "orvasim: warning: " << problem << "\n";
    }
    Outcome outcome;
    std::optional<Stop> failure;  // outside a scenario
    try {
      outcome = execute(command, options, session, out, err);
    } catch (const UsageError& e) {
      failure = Stop{0, e.what(), kExitUsage};
    } catch (const std::runtime_error& e) {
      failure = Stop{0, e.what(), kExitFailure};
    }
    const std::optional<Stop>& stop = outcome.stop ? outcome.stop : failure;
    // Every output holds what ran, and says where and why a run stopped.
    if (!options.traceFile.empty()) {
      TraceContext context{outcome.marks, filter, std::nullopt};
      if (stop) context.stop = TraceStop{stop->line, stop->reason};
      writeFile(options.traceFile, traceJsonLines(session.trace(), context), "trace", out);
    }
    if (!options.vcdFile.empty()) {
      std::string vcd = orva::board::i2cVcd(session.board().i2c());
      if (stop) vcd += "$comment the run stopped: " + stop->reason + " $end\n";
      writeFile(options.vcdFile, vcd, "VCD", out);
    }
    if (stop) {
      if (outcome.printedJson) {
        err << "orvasim: " << stop->reason << "\n";
        return finish(stop->code);
      }
      return fail(stop->code, stop->reason);
    }
    int code = outcome.code;
    if (verify) {
      VerifierSummary summary = summarise(session.verifierReport(), baseline);
      for (const orva::platform::Notice& notice : session.verifierReport()) {
        const bool accepted = inBaseline(notice, baseline);
        if (accepted && !verifyAll) continue;
        err << "orvasim: verifier: " << (accepted ? "" : "NEW ") << notice.kind << " at "
            << notice.site << ": " << notice.message << "\n";
      }
      err << "orvasim: verifier: " << summary.total << " notices, " << summary.accepted
          << " in the baseline, " << summary.fresh << " outside it\n";
      if (summary.fresh && code == kExitOk) code = kExitFailure;
    }
    return finish(code);
  } catch (const UsageError& e) {
    return fail(kExitUsage, e.what());
  } catch (const std::exception& e) {
    return fail(kExitFailure, e.what());
  }
}

}  // namespace orvasim
