"""Boots ReactOS on the emulated ORVA board (or on QEMU's standard VGA) and
waits for its desktop; then checks that the desktop is the driver's.

A run: the test CD for the run's chip, output and mode (image.py); QEMU with
the board, its bus trace and the serial port in files; periodic QMP
screendumps until the picture stops changing and shows the shell's taskbar,
or the deadline passes; then the machine is paused, the picture and the
display memory saved, the machine stopped, and the trace replayed into a board
of the same settings (orva-replay), which tells the mode the registers
program and builds the board's own scanout from the saved display memory.
"""
import json
import os
import re
import subprocess
import time
from collections import Counter

import image
import qmp

POLL_SECONDS = 2.0
STABLE_FRAMES = 3  # equal screendumps in a row (two poll periods unchanged)


class Options:
    def __init__(self, **values):
        self.chip = "bramble"
        self.memory = "4M"
        self.output = "MONITOR"
        self.mode = (800, 600, 16)
        self.iso = None
        self.timeout = 900.0
        self.out = None
        self.display = "orva"  # or "vbe": QEMU's standard VGA and ReactOS's VBE miniport
        self.qemu = None
        self.package = None
        self.replay = None
        self.hal = image.DEFAULT_HAL
        self.__dict__.update(values)


def parse_mode(text):
    match = re.fullmatch(r"(\d+)x(\d+)x(\d+)", text)
    if not match:
        raise ValueError(f"mode {text!r} is not WIDTHxHEIGHTxBPP")
    return tuple(int(part) for part in match.groups())


def memory_kb(text):
    match = re.fullmatch(r"(\d+)([KkMm]?)", text)
    if not match:
        raise ValueError(f"memory {text!r} is not a size (4M, 2048K)")
    number = int(match[1])
    return number if match[2] in "Kk" and match[2] else number * 1024


def taskbar(width, height, rgb):
    """Whether the picture shows a taskbar: a band at the bottom (16 rows or
    more within the lowest 48) whose rows are mostly one colour, and not the
    colour that fills the desktop above it."""
    def dominant(y):
        row = rgb[y * width * 3:(y + 1) * width * 3]
        colour, count = Counter(row[x:x + 3] for x in range(0, len(row), 3)).most_common(1)[0]
        return colour, count / width

    if height < 64:
        return False
    desktop, _ = dominant(height // 3)
    band = 0
    for y in range(height - 48, height):
        colour, share = dominant(y)
        band = band + 1 if share >= 0.6 and colour != desktop else 0
        if band >= 16:
            return True
    return False


def serial_tail(path, lines=25):
    try:
        with open(path, errors="replace") as file:
            return "".join(file.readlines()[-lines:])
    except OSError:
        return "(no serial log)\n"


def frame_buffer_address(machine):
    """Guest-physical address of the board's frame buffer, from QEMU's memory map."""
    tree = machine.command("human-monitor-command", **{"command-line": "info mtree -f"})
    for line in tree.splitlines():
        # The frame buffer is RAM over the board's display memory (its lowest
        # mapping is the one at the graphics base).
        match = re.match(r"\s*([0-9a-f]+)-[0-9a-f]+ \(prio [-\d]+, ram\): orva\.(?:vram|fb)\b", line)
        if match:
            return int(match[1], 16)
    return None


def boot(options):
    """Boots and waits. Returns a result dict; "desktop" tells whether it got there."""
    out = options.out
    os.makedirs(out, exist_ok=True)
    for name in ("serial.log", "trace.jsonl", "desktop.png", "last.png", "vram.bin", "board.png"):
        if os.path.exists(os.path.join(out, name)):
            os.unlink(os.path.join(out, name))
    width, height, bpp = options.mode
    cd = image.make(options.iso, options.package, options.chip, options.output, options.mode,
                    options.display, options.hal)
    args = ["-M", "pc", "-m", "112", "-nic", "none", "-cdrom", cd, "-boot", "d",
            "-serial", f"file:{os.path.join(out, 'serial.log')}"]
    if options.display == "orva":
        device = (f"orva,chip={options.chip},memory={memory_kb(options.memory)}K,"
                  f"trace={os.path.join(out, 'trace.jsonl')}")
        args += ["-vga", "none", "-device", device]
    else:
        args += ["-vga", "std"]
    result = {"chip": options.chip, "memory": options.memory, "output": options.output,
              "mode": f"{width}x{height}x{bpp}", "display": options.display, "iso": cd,
              "desktop": False, "serial": os.path.join(out, "serial.log")}
    machine = qmp.Machine(options.qemu, args, out)
    frame = os.path.join(out, "frame.ppm")
    try:
        previous, first_equal, equal = None, None, 0
        while True:
            now = time.monotonic() - machine.started
            if not machine.running():
                result["error"] = f"QEMU stopped: {machine.qemu_log()}"
                break
            machine.screendump(frame)
            picture = qmp.read_ppm(frame)
            if picture == previous:
                equal += 1
            else:
                equal, first_equal = 1, now
            previous = picture
            if equal >= STABLE_FRAMES and taskbar(*picture):
                result["desktop"] = True
                result["seconds_to_desktop"] = round(first_equal, 1)
                break
            if now > options.timeout:
                result["error"] = f"no desktop after {options.timeout:.0f} s"
                break
            time.sleep(max(0.0, POLL_SECONDS - (time.monotonic() - machine.started - now)))
        if machine.running():
            machine.command("stop")
            picture_path = os.path.join(out, "desktop.png" if result["desktop"] else "last.png")
            machine.screendump(picture_path, "png")
            result["screendump"] = picture_path
            result["screendump_size"] = list(previous[:2]) if previous else None
            if previous:
                result["screendump_colours"] = len(
                    {previous[2][i:i + 3] for i in range(0, len(previous[2]), 3 * 7)})
            if options.display == "orva":
                address = frame_buffer_address(machine)
                if address is not None:
                    vram = os.path.join(out, "vram.bin")
                    machine.command("pmemsave", val=address,
                                    size=memory_kb(options.memory) * 1024, filename=vram)
                    result["frame_buffer"] = address
    finally:
        machine.stop()
        if os.path.exists(frame):
            os.unlink(frame)
    if not result["desktop"]:
        result["serial_tail"] = serial_tail(result["serial"])
    return result


def replay(options, result):
    """The board's view of the run: the trace replayed into a board."""
    out = options.out
    command = [options.replay, "--chip", options.chip, "--memory", str(memory_kb(options.memory)),
               "--trace", os.path.join(out, "trace.jsonl")]
    if os.path.exists(os.path.join(out, "vram.bin")):
        command += ["--vram", os.path.join(out, "vram.bin"), "--png", os.path.join(out, "board.png")]
        if result.get("screendump"):
            command += ["--screen", result["screendump"]]
    run = subprocess.run(command, capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f"orva-replay failed: {run.stderr.strip()}")
    return json.loads(run.stdout)


# The colours of an NT display driver's default 8-bit palette in entries 0-8
# and 248-255 (of its twenty static colours; ReactOS's framebuf puts its own
# theme colours in entries 9 and 247, and 246 is the same in both).
STATIC_COLOURS = {
    0: (0, 0, 0), 1: (0x80, 0, 0), 2: (0, 0x80, 0), 3: (0x80, 0x80, 0), 4: (0, 0, 0x80),
    5: (0x80, 0, 0x80), 6: (0, 0x80, 0x80), 7: (0xC0, 0xC0, 0xC0), 8: (0xC0, 0xDC, 0xC0),
    246: (0xFF, 0xFB, 0xF0), 248: (0x80, 0x80, 0x80), 249: (0xFF, 0, 0), 250: (0, 0xFF, 0),
    251: (0xFF, 0xFF, 0), 252: (0, 0, 0xFF), 253: (0xFF, 0, 0xFF), 254: (0, 0xFF, 0xFF),
    255: (0xFF, 0xFF, 0xFF)}


def checks(options, result, board):
    """(name, passed, detail) of each check that the desktop is the driver's."""
    width, height, bpp = options.mode
    found = []

    def check(name, passed, detail):
        found.append((name, bool(passed), detail))

    events = board["events"]
    check("trace", events > 0, f"{events} bus events replayed, {board['read_mismatches']} reads "
          "answered otherwise on replay" + (f" ({board['first_mismatch']})"
                                            if board.get("first_mismatch") else ""))
    check("discovery", board["id_reads"] > 0 and board["unlock_line"] > 0,
          f"{board['id_reads']} reads of the chipset functions' IDs, extension registers first "
          f"unlocked at trace line {board['unlock_line']}")
    sets = board["mode_sets"]
    last = sets[-1]["mode"] if sets else None
    wanted = {"width": width, "height": height, "bpp": bpp}
    check("mode set", last == wanted,
          f"modes set in the trace: {[s['mode'] for s in sets]}; DefaultSettings {wanted}")
    programmed = {"width": board["width"], "height": board["height"], "bpp": board["bpp"]}
    check("registers", programmed == wanted,
          f"the board's registers at the desktop program {programmed} (the last mode the "
          "trace sets: no other miniport programmed the display after the driver)")
    size = result.get("screendump_size")
    check("screendump size", size == [width, height], f"screendump {size}")
    colours = result.get("screendump_colours", 0)
    check("screendump colours", colours > 1, f"{colours} colours in a sample of the screendump")
    if "screen_equal" in board:
        check("board scanout", board["screen_equal"],
              f"screendump against the board's scanout of the saved display memory: "
              f"{board['screen_differing_pixels']} pixels differ")
    else:
        check("board scanout", False, board.get("scanout_error", "no display memory saved"))
    if bpp == 8:
        writes = board["dac_writes_after_last_mode_set"]
        dac = [tuple(entry) for entry in board["dac"]]
        shift = 2 if max(max(entry) for entry in dac) < 64 else 0
        palette = [tuple(component << shift for component in entry) for entry in dac]
        close = all(abs(a - b) <= (3 if shift else 0)
                    for index, colour in STATIC_COLOURS.items()
                    for a, b in zip(palette[index], colour))
        check("palette", writes >= 3 * 256 and close,
              f"{writes} palette writes after the mode set; the static entries "
              f"{'are' if close else 'are not'} the display driver's static colours")
    return found
