#include "cli.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "client.h"
#include "parse.h"
#include "report.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"
#include "vcd.h"

namespace orvasim {

namespace {

using orva::platform::Session;

constexpr const char* kChips =
    "pinto, bramble, bramble-l, mistral, bramble-r, kestrel, bramble-rx, unknown";

struct Command {
  std::string name;  // "", "info", "modes", "set", "screenshot", "run"
  std::string mode;
  std::string scenario;
  std::string screenshot;  // PNG file, empty: none
};

void writeFile(const std::string& path, const std::string& data, const char* what) {
  std::ofstream file(path, std::ios::binary);
  file << data;
  if (!file.flush())
    throw std::runtime_error(std::string("cannot write ") + what + " '" + path + "'");
}

std::vector<ModeInformation> modeList(Client& client) {
  std::vector<ModeInformation> modes;
  Exchange e = client.queryModes(&modes);
  if (e.status != 0)
    throw std::runtime_error("the driver refused the mode list: status " +
                             std::to_string(e.status));
  return modes;
}

// Runs the command on a started session; returns the exit code.
int execute(const Command& command, const ToolOptions& options, Session& session,
            std::ostream& out) {
  Client client(session);
  int code = kExitOk;
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
    std::vector<ListedMode> listed;
    for (const ModeInformation& m : modes)
      listed.push_back(
          {m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane, m.Frequency});
    uint32_t mode = resolveMode(wanted, listed);
    Json report = setReport(session, client, mode, modes);
    if (!options.json) printSet(report, out);
    if (report["status"].get<uint32_t>() != 0) code = kExitFailure;
    screenshot(report);
    json = std::move(report);
  } else if (command.name == "run" || command.name == "screenshot") {
    std::vector<Step> steps;
    if (!command.scenario.empty()) steps = loadScenario(command.scenario);
    if (command.name == "screenshot" && !command.mode.empty()) {
      Step set;
      set.verb = Verb::SetMode;
      set.text = "set-mode " + command.mode;
      set.mode = parseModeName(command.mode);
      steps.push_back(set);
    }
    Runner runner(session, client);
    bool quiet = command.name == "screenshot";
    Json report = {{"steps", runner.runAll(steps, quiet || options.json ? nullptr : &out)}};
    screenshot(report);
    json = command.name == "screenshot" && report.contains("screenshot") ? report["screenshot"]
                                                                         : std::move(report);
  }
  if (options.json) out << json.dump(2) << "\n";
  return code;
}

std::string parseErrorMessage(const CLI::ParseError& e, const CLI::App& app) {
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    std::vector<std::string> extras = app.remaining();
    if (!extras.empty() && extras[0].starts_with("-"))
      return "unknown option '" + extras[0] + "' (see --help)";
    if (!extras.empty())
      return "unknown command or argument '" + extras[0] +
             "' (commands: info, modes, set, screenshot, run)";
  }
  std::string message = e.what();
  for (char& c : message)
    if (c == '\n') c = ' ';
  return message;
}

}  // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "orvasim boots an emulated ORVA board, loads the display driver afresh, sends it the\n"
      "requests a display driver would, and shows what the hardware ended up doing.\n"
      "Without a command it prints `info` and then `modes`.",
      "orvasim"};
  app.footer(
      "Exit status: 0 done; 1 the run failed (driver did not start, a set mode was refused,\n"
      "a file could not be written); 2 bad input (option, command, mode or scenario line).\n"
      "Examples:\n"
      "  orvasim --chip pinto --output TVPAL modes\n"
      "  orvasim set 800x600x16@75 screenshot --out screen.png\n"
      "  orvasim --trace bus.jsonl run examples/session.scn\n");

  std::string chip = "bramble", memory = "4M", gbase = "0", outputKeyword;
  bool noTvEncoder = false;
  ToolOptions options;
  app.add_option("--chip", chip,
                 std::string("chip variant: ") + kChips +
                     " (default bramble: every monitor mode plus the TV encoder on I/O ports)")
      ->type_name("CHIP");
  app.add_option("--memory", memory,
                 "display memory: 128K steps up to 8064K (0: none), as 4M, 8064K, 2MB or bytes "
                 "(default 4M)")
      ->type_name("SIZE");
  app.add_option("--gbase", gbase,
                 "CRTC 0x20 at power-up, hex: the graphics base's bits 31-24 (default 0)")
      ->type_name("HEX");
  CLI::Option* outputOption =
      app.add_option("--output", outputKeyword,
                     "registry value HardwareInformation.OutputType, e.g. MONITOR, TVPAL, "
                     "TVNTSC, TFTPHILIPSHLD1201 (default: not set, the driver picks MONITOR)")
          ->type_name("KEYWORD");
  app.add_flag("--no-tv-encoder", noTvEncoder, "the external I2C TV encoder does not answer");
  bool verify = false;
  app.add_flag("--verify", verify,
               "report on stderr, at the end, what Windows forbids a miniport but does not always "
               "catch (calls outside discovery, unclaimed or unreleased mappings, long stalls)");
  std::string driverPath;
  app.add_option("--driver", driverPath,
                 "driver to load: a .sys image built for this machine, or a host driver module "
                 "(default: the host build of the driver)")
      ->type_name("PATH");
  app.add_flag("--json", options.json, "print JSON instead of text");
  app.add_option("--trace", options.traceFile, "write the bus trace (JSON Lines) to FILE")
      ->type_name("FILE");
  app.add_option("--vcd", options.vcdFile, "write the I2C lines as a Value Change Dump to FILE")
      ->type_name("FILE");

  Command command;
  CLI::App* info = app.add_subcommand(
      "info", "chip, hardware ID, registry values, frame buffer, output, mode count");
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
                         "scenario and mode set");
  shot->add_option("--out", command.screenshot, "PNG file")->type_name("FILE")->required();
  shot->add_option("--scenario", command.scenario, "scenario file to run first")->type_name("FILE");
  shot->add_option("--mode", command.mode, "mode to set (after the scenario)")->type_name("MODE");
  CLI::App* run = app.add_subcommand("run", "run a scenario file of requests, one per line");
  run->add_option("SCENARIO", command.scenario, "scenario file")->required()->type_name("FILE");
  run->footer(
      "Scenario lines ('#' starts a comment; numbers are decimal or 0x hex):\n"
      "  query-num-modes | query-modes | query-current-mode | set-mode MODE\n"
      "  map | unmap [ADDRESS] | share OFFSET SIZE | unshare [ADDRESS]\n"
      "  palette FIRST RRGGBB [RRGGBB...] | query-pointer-caps\n"
      "  pointer-shape arrow|block|cross|FILE [height=H] [x=X] [y=Y] [flags=F] [width=W]\n"
      "  pointer-move X Y | pointer-enable | pointer-disable | pointer-query | reset\n"
      "  mem-map PHYS LENGTH | io-map PORT LENGTH | fb-free | nop\n"
      "  port-read8|16|32 BASE [OFFSET] | port-write8|16|32 BASE OFFSET VALUE\n"
      "  screenshot FILE | raw CODE HEXINPUT|- OUTLENGTH\n"
      "  query-color-caps | fb-probe [VALUE] | set-mode first [output=LENGTH]\n"
      "  palette FIRST rgb332 | pointer-shape ... flags=caps\n");
  CLI::App* runShot = run->add_subcommand("screenshot", "write the picture as PNG at the end");
  runShot->add_option("--out", command.screenshot, "PNG file")->type_name("FILE")->required();
  for (CLI::App* sub : {info, modes, set, shot, run, setShot, runShot}) sub->fallthrough();
  app.require_subcommand(0, 1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << "orvasim: " << parseErrorMessage(e, app) << "\n";
    return kExitUsage;
  }
  for (CLI::App* sub : {info, modes, set, shot, run})
    if (sub->parsed()) command.name = sub->get_name();

  try {
    std::optional<orva::board::Variant> variant = orva::board::parseVariant(chip);
    if (!variant) throw UsageError("unknown chip '" + chip + "' (" + kChips + ")");
    options.board.variant = *variant;
    options.board.memoryBytes = parseMemorySize(memory);
    std::optional<uint64_t> base = parseHex(gbase, 8);
    if (!base) throw UsageError("invalid --gbase '" + gbase + "': expected a hex byte (0 to FF)");
    options.board.gbase = static_cast<uint8_t>(*base);
    options.board.tvEncoderPresent = !noTvEncoder;
    if (outputOption->count()) options.output = outputKeyword;
    // Mode names and scenarios are checked before the board boots.
    if (!command.mode.empty()) parseModeName(command.mode);
    if (command.name == "run") loadScenario(command.scenario);
  } catch (const UsageError& e) {
    err << "orvasim: " << e.what() << "\n";
    return kExitUsage;
  }

  try {
    orva::platform::SessionOptions sessionOptions;
    sessionOptions.board = options.board;
    sessionOptions.driverPath = driverPath;
    sessionOptions.verify = verify;
    if (options.output) sessionOptions.outputType = orva::platform::registryString(*options.output);
    Session session(sessionOptions);
    if (!session.open()) {  // as a display driver opens the device
      err << "orvasim: the driver did not start (DriverEntry returned "
          << session.driverEntryStatus() << ")\n";
      return kExitFailure;
    }
    int code = kExitOk;
    std::string usage;
    try {
      code = execute(command, options, session, out);
    } catch (const UsageError& e) {
      usage = e.what();
    }
    if (!options.traceFile.empty())
      writeFile(options.traceFile, session.trace().toJsonLines(), "trace");
    if (!options.vcdFile.empty())
      writeFile(options.vcdFile, orva::board::i2cVcd(session.board().i2c()), "VCD");
    if (!usage.empty()) {
      err << "orvasim: " << usage << "\n";
      return kExitUsage;
    }
    for (const orva::platform::Notice& notice : session.verifierReport()) {
      err << "orvasim: verifier: " << notice.kind << " at " << notice.site << ": " << notice.message
          << "\n";
    }
    return code;
  } catch (const UsageError& e) {
    err << "orvasim: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    err << "orvasim: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace orvasim
