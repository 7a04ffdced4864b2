"""scripts/reactos: boots ReactOS to its desktop through orva.sys on the
emulated ORVA board in QEMU, and checks that the desktop is the driver's.

  reactos [--chip C] [--memory M] [--output K] [--mode WxHxBPP] [--iso PATH]
          [--timeout S] [--out DIR] [--display orva|vbe]
  reactos --all [--iso PATH] [--timeout S] [--out DIR] [--docs DIR]
  reactos --bench [--mode WxHxBPP] [--iso PATH] [--out DIR] [--record FILE]

--all boots the matrix (every variant on MONITOR, a PAL TV and an 800 x 600
TFT panel, at 8, 16 and 24 bpp where the output offers the mode) and, with
--docs, copies each desktop there as reactos-CHIP-OUTPUT-WxHxBPP.png; with
--guide, rewrites the table between "<!-- reactos:desktops -->" and
"<!-- /reactos:desktops -->" of that file with each run's figures and picture.
--bench boots the same mode on one QEMU through orva.sys on the board and
through ReactOS's VBE miniport on QEMU's standard VGA, --rounds times each in
turn; it prints each time to the desktop, the medians and their ratio, and with --record rewrites the
section between "<!-- reactos:begin -->" and "<!-- reactos:end -->" of FILE.
Exit status: 0 when every run reached the desktop and passed its checks.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys

import run

# Each output of the matrix: (chips, keyword, resolution).
MATRIX = [
    (["pinto", "bramble", "bramble-l", "mistral", "bramble-r", "kestrel", "bramble-rx"],
     "MONITOR", (800, 600)),
    (["bramble"], "TVPAL", (640, 480)),
    (["mistral"], "TFTPHILIPSHLD1201", (800, 600)),
]
DEPTHS = (8, 16, 24)


def offered_modes(orvasim, chip, memory, output):
    """(width, height, bpp) of every mode the driver lists for this board."""
    listing = subprocess.run([orvasim, "--chip", chip, "--memory", memory, "--output", output,
                              "--json", "modes"], capture_output=True, text=True, check=True)
    modes = set()
    for entry in json.loads(listing.stdout):
        modes.add((entry["VisScreenWidth"], entry["VisScreenHeight"],
                   entry["BitsPerPlane"] * entry["NumberOfPlanes"]))
    return modes


def refresh_text(board):
    """The refresh the board's timing gives; none when the pixel clock is the
    external one (the TV encoder's), which the board does not model."""
    if board["refresh_hz"] == 0:
        return "external pixel clock"
    return f"{board['refresh_hz']:.2f} Hz"


def report(options, result, board, found):
    print(f"reactos: {options.chip} {options.memory} {options.output} "
          f"{'x'.join(map(str, options.mode))} ({options.display})")
    if not result["desktop"]:
        print(f"  FAILED: {result.get('error', 'no desktop')}")
        print(f"  last picture: {result.get('screendump', 'none')}")
        print("  last serial lines:")
        sys.stdout.write("".join(f"    {line}\n" for line in result["serial_tail"].splitlines()))
        return False
    print(f"  desktop after {result['seconds_to_desktop']} s; screendump {result['screendump']}")
    print(f"  serial log {result['serial']}")
    if board is not None:
        print(f"  mode set by the driver (board registers): {board['width']} x {board['height']}, "
              f"{board['bpp']} bpp, {refresh_text(board)}, pitch {board['pitch']} bytes")
        print(f"  screendump equals the board's scanout: {board.get('screen_equal', False)}")
    ok = True
    for name, passed, detail in found:
        print(f"  {'ok  ' if passed else 'FAIL'} {name}: {detail}")
        ok &= passed
    return ok


def one(options):
    result = run.boot(options)
    board, found = None, []
    if result["desktop"] and options.display == "orva":
        board = run.replay(options, result)
        found = run.checks(options, result, board)
    with open(os.path.join(options.out, "result.json"), "w") as file:
        json.dump({"result": result, "board": board and {k: v for k, v in board.items() if k != "dac"},
                   "checks": found}, file, indent=1)
    return report(options, result, board, found), result, board


def bench(args, common):
    """Boots through orva.sys and through VBE in turn, args.rounds times each,
    the order swapped every round; the median of each and their ratio."""
    mode = run.parse_mode(args.mode)
    times = {"orva": [], "vbe": []}
    for round_number in range(args.rounds):
        order = ("orva", "vbe") if round_number % 2 == 0 else ("vbe", "orva")
        for display in order:
            values = dict(common, display=display)
            options = run.Options(chip=args.chip, output=args.output, mode=mode,
                                  out=os.path.join(args.out, f"bench-{display}"), **values)
            ok, result, _ = one(options)
            if not ok:
                return 1
            times[display].append(result["seconds_to_desktop"])
    median = {display: statistics.median(values) for display, values in times.items()}
    ratio = median["orva"] / median["vbe"]
    print(f"reactos: power-on to desktop, median of {args.rounds}: orva.sys {median['orva']:.1f} s, "
          f"VBE on QEMU's standard VGA {median['vbe']:.1f} s, ratio {ratio:.2f}")
    if args.record:
        with open(args.record) as file:
            text = file.read()
        begin, end = "<!-- reactos:begin -->", "<!-- reactos:end -->"
        if begin not in text or end not in text:
            print(f"reactos: {args.record} has no {begin} ... {end} section", file=sys.stderr)
            return 1
        load = os.getloadavg()[0]
        version = subprocess.run([args.qemu, "--version"], capture_output=True,
                                 text=True).stdout.splitlines()[:1]
        each = lambda values: ", ".join(f"{value:.1f}" for value in values)  # noqa: E731
        table = ("| Mode | Board | orva.sys on the board (s) | VBE on standard VGA (s) | "
                 "Ratio of the medians |\n|---|---|---|---|---:|\n"
                 f"| {args.mode} | {args.chip} {args.memory} {args.output} | "
                 f"{each(times['orva'])} (median {median['orva']:.1f}) | "
                 f"{each(times['vbe'])} (median {median['vbe']:.1f}) | {ratio:.2f} |\n\n"
                 f"{args.rounds} rounds, the order swapped each round. Load average at the end of "
                 f"the runs: {load:.1f} on {os.cpu_count()} cores; "
                 f"{version[0] if version else 'QEMU'} with the board device "
                 f"({os.path.realpath(args.qemu).replace(os.path.expanduser('~'), '~')}).\n")
        head, rest = text.split(begin, 1)
        text = head + begin + "\n" + table + end + rest.split(end, 1)[1]
        with open(args.record, "w") as file:
            file.write(text)
    return 0


def write_table(path, rows):
    begin, end = "<!-- reactos:desktops -->", "<!-- /reactos:desktops -->"
    with open(path) as file:
        text = file.read()
    head, rest = text.split(begin, 1)
    tail = rest.split(end, 1)[1] if end in rest else rest
    table = ("| Chip | Output | Mode | Desktop after | Refresh, pitch (board) | Screendump |\n"
             "|---|---|---|---:|---|---|\n" + "\n".join(rows) + "\n")
    with open(path, "w") as file:
        file.write(head + begin + "\n" + table + end + tail)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chip", default="bramble")
    parser.add_argument("--memory", default="4M")
    parser.add_argument("--output", default="MONITOR")
    parser.add_argument("--mode", default="800x600x16")
    parser.add_argument("--iso", required=True)
    parser.add_argument("--timeout", type=float, default=900)
    parser.add_argument("--out", default="build/reactos")
    parser.add_argument("--display", choices=("orva", "vbe"), default="orva")
    parser.add_argument("--hal", default="halacpi.dll",
                        help="the HAL to boot (hal.dll: the boot loader's default)")
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--docs", help="with --all: folder for the desktops' pictures")
    parser.add_argument("--guide", help="with --all: the document whose desktop table to rewrite")
    parser.add_argument("--bench", action="store_true")
    parser.add_argument("--record", help="with --bench: the document whose table to rewrite")
    parser.add_argument("--rounds", type=int, default=3, help="with --bench: boots of each kind")
    parser.add_argument("--qemu", required=True)
    parser.add_argument("--package", required=True)
    parser.add_argument("--replay", required=True)
    parser.add_argument("--orvasim", required=True)
    args = parser.parse_args()
    common = dict(iso=args.iso, timeout=args.timeout, qemu=args.qemu, package=args.package,
                  replay=args.replay, memory=args.memory, display=args.display, hal=args.hal)
    if args.bench:
        return bench(args, common)
    if not args.all:
        options = run.Options(chip=args.chip, output=args.output, mode=run.parse_mode(args.mode),
                              out=args.out, **common)
        return 0 if one(options)[0] else 1
    failures, runs, rows = [], 0, []
    for chips, output, (width, height) in MATRIX:
        for chip in chips:
            offered = offered_modes(args.orvasim, chip, args.memory, output)
            for bpp in DEPTHS:
                mode = (width, height, bpp)
                name = f"{chip}-{output.lower()}-{width}x{height}x{bpp}"
                if mode not in offered:
                    print(f"reactos: {name}: not offered by the driver on this output, not run")
                    continue
                options = run.Options(chip=chip, output=output, mode=mode,
                                      out=os.path.join(args.out, name), **common)
                runs += 1
                ok, result, board = one(options)
                if not ok:
                    failures.append(name)
                    rows.append(f"| {chip} | {output} | {width}x{height}x{bpp} | failed | | |")
                elif args.docs:
                    os.makedirs(args.docs, exist_ok=True)
                    picture = f"reactos-{name}.png"
                    shutil.copyfile(result["screendump"], os.path.join(args.docs, picture))
                    relative = os.path.relpath(os.path.join(args.docs, picture),
                                               os.path.dirname(args.guide or args.docs))
                    rows.append(f"| {chip} | {output} | {width}x{height}x{bpp} | "
                                f"{result['seconds_to_desktop']:.0f} s | "
                                f"{refresh_text(board)}, pitch {board['pitch']} | "
                                f"[{picture}]({relative}) |")
    if args.guide:
        write_table(args.guide, rows)
    print(f"reactos: {runs - len(failures)} of {runs} runs reached the driver's desktop"
          + (f"; failed: {' '.join(failures)}" if failures else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
