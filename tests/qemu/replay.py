#!/usr/bin/env python3
"""The QEMU board device against the in-process board.

Each case runs a scenario in-process (orva_qemu_capture: the bus trace, the
display memory and the screenshot), starts qemu-system-i386 with the device
under QEMU's device-test protocol (qtest), replays every recorded bus access
into it and checks that every value read equals the recorded one and that the
device's own trace holds the same bus events, event for event. Screendump cases
then copy the display memory in and compare QMP's screendump with the
screenshot pixel for pixel.

  replay.py --qemu BIN --capture BIN --examples DIR --case NAME
  replay.py --list                      prints the case names
"""
import argparse
import base64
import json
import os
import socket
import subprocess
import sys
import tempfile

# The QMP client the ReactOS run uses.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "reactos"))
from qmp import execute  # noqa: E402

# Outputs with modes per variant (every variant drives the VGA connector).
VGA_OUTPUTS = ["MONITOR", "100HZPAL", "VGANTSC"]
TV_OUTPUTS = ["TVPAL", "TVNTSC", "TVNTSC269"]
TFT_OUTPUTS = ["TFTPHILIPSHLD1201", "TFTLGPHILIPSLM151X2"]
VARIANT_OUTPUTS = {
    "pinto": VGA_OUTPUTS + ["TVPAL", "TVNTSC"],
    "bramble": VGA_OUTPUTS + TV_OUTPUTS,
    "bramble-l": VGA_OUTPUTS + TV_OUTPUTS,
    "mistral": VGA_OUTPUTS + TFT_OUTPUTS,
    "bramble-r": VGA_OUTPUTS + TV_OUTPUTS,
    "kestrel": VGA_OUTPUTS + TFT_OUTPUTS,
    "bramble-rx": VGA_OUTPUTS + TV_OUTPUTS,
}

# Example scenarios and the board each one is written for.
EXAMPLES = {
    "framebuf": {"chip": "pinto", "output": "TVPAL"},
    "pattern-depths": {},
    "pointer-edges": {},
    "session": {},
    "tft-panel": {"chip": "mistral", "output": "TFTPHILIPSHLD1201"},
    "tv-pal": {"chip": "pinto", "output": "TVPAL"},
}

BUS_OPS = {"in", "out", "read", "write"}


def cases():
    table = {}
    for name, board in EXAMPLES.items():
        table["example." + name] = dict(board, scenario=name + ".scn")
    for chip, outputs in VARIANT_OUTPUTS.items():
        for output in outputs:
            table[f"mode.{chip}.{output}"] = {"chip": chip, "output": output,
                                               "steps": ["query-modes", "set-mode first"]}
    for depth in (8, 16, 24):
        table[f"screendump.{depth}"] = {
            "steps": [f"set-mode 640x480x{depth}", "map", "pattern card"],
            "screendump": True}
    # A cursor over the picture, on a chip whose registers sit in memory.
    table["screendump.kestrel-cursor"] = {
        "chip": "kestrel",
        "steps": ["set-mode 800x600x16", "map", "pattern card",
                  "pointer-shape arrow x=200 y=150", "pointer-move 200 150"],
        "screendump": True}
    table["window.moved"] = {"kind": "moved"}
    # Accesses of every width, aligned or not, at the edges of what the board
    # decodes, with no driver: the TFT block moved over the end of the VGA
    # block and back, the register windows, the frame buffer beyond the memory,
    # the legacy window.
    table["bus.edges"] = {"chip": "mistral", "accesses": [
        "outb 0x22 0x1d", "outb 0x23 0xdc", "outb 0x22 0x1e", "outb 0x23 0x03",
        "inl 0x3dc", "inw 0x3df", "inw 0x3e0", "inl 0x3e0", "outw 0x3e1 0x1234", "inw 0x3e1",
        "inb 0x3e3", "inw 0x22", "outl 0x3d4 0x00005720", "inl 0x3d4",
        "outb 0x22 0x1d", "outb 0x23 0x00", "outb 0x22 0x1e", "outb 0x23 0x0d",
        "inl 0xd00", "inw 0xd03", "inl 0x370", "inw 0xea",
        "readl 0x840011d", "writew 0x840011f 0xbeef", "readl 0x840011c", "readl 0x84ca000",
        "readl 0x8600000", "writel 0x8600000 0x1", "readb 0xa0000", "writew 0xbfffe 0x55aa",
        "readl 0x8fffffc"]}
    # A machine reset powers the board up again: the same run replays alike.
    table["reset.session"] = {"scenario": "session.scn", "kind": "reset"}
    for name, (device, expect) in BAD_PROPERTIES.items():
        table["property." + name] = {"kind": "property", "device": device, "expect": expect}
    return table


# Device settings QEMU must refuse at start (with the message's key words), and
# one it must accept with a warning.
BAD_PROPERTIES = {
    "chip": ("orva,chip=tern", "tern"),
    "memory-step": ("orva,memory=100K", "memory"),
    "memory-size": ("orva,memory=9M", "memory"),
    "gbase": ("orva,gbase=0x100", "gbase"),
    "tft-base": ("orva,tft-base=0x10000", "tft-base"),
    "superio-e1": ("orva,superio-e1=0x1ff", "superio-e1"),
    "tv-encoder": ("orva,tv-encoder=maybe", "tv-encoder"),
    "trace": ("orva,trace=/nonexistent/folder/t.jsonl", "trace"),
    "unknown": ("orva,colour=red", "colour"),
    "window-in-ram": ("orva", "warning"),  # with -m 256: the window hides in RAM
}


class Qemu:
    """qemu-system-i386 under qtest, with a QMP monitor."""

    def __init__(self, binary, folder, device, extra=()):
        self.folder = folder
        qtest_path = os.path.join(folder, "qtest.sock")
        qmp_path = os.path.join(folder, "qmp.sock")
        listeners = []
        for path in (qtest_path, qmp_path):
            if os.path.exists(path):
                os.unlink(path)
            listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            listener.bind(path)
            listener.listen(1)
            listener.settimeout(60)
            listeners.append(listener)
        self.stderr = open(os.path.join(folder, "qemu.stderr"), "w+")
        self.process = subprocess.Popen(
            [binary, "-M", "pc", "-accel", "qtest", "-m", "112", "-nodefaults",
             "-vga", "none", "-nic", "none", "-display", "none",
             "-device", device, "-qtest", "unix:" + qtest_path, "-qtest-log", "/dev/null",
             "-chardev", f"socket,path={qmp_path},id=qmp", "-mon", "chardev=qmp,mode=control",
             *extra],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.stderr)
        try:
            self.qtest = listeners[0].accept()[0].makefile("rw", buffering=1)
            self.qmp = listeners[1].accept()[0].makefile("rw", buffering=1)
        except socket.timeout:
            self.process.kill()
            raise RuntimeError("QEMU did not connect: " + self.errors())
        self.qmp.readline()  # greeting
        self.command("qmp_capabilities")

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().strip()

    def qtest_line(self, line):
        self.qtest.write(line + "\n")
        reply = self.qtest.readline().split()
        if not reply or reply[0] != "OK":
            raise RuntimeError(f"qtest {line[:60]!r}: {' '.join(reply) or 'no reply'}")
        return reply[1:]

    def command(self, name, **arguments):
        return execute(self.qmp, name, arguments)

    def quit(self):
        """Ends QEMU the way a user does; the device writes its trace out."""
        try:
            self.command("quit")
        except (OSError, ValueError, EOFError):
            pass
        return self.process.wait(timeout=60)


def bus_events(path):
    """The bus accesses of a trace, without the board's virtual time: the device's
    board sees only the replayed accesses, not the driver's stalls, so its clock
    runs behind the in-process one."""
    with open(path) as lines:
        events = [event for event in map(json.loads, lines) if event["op"] in BUS_OPS]
    for event in events:
        event.pop("time_ns", None)
    return events


def access_line(event):
    width = {8: "b", 16: "w", 32: "l"}[event["width"]]
    if event["op"] in ("in", "out"):
        command, where = ("in" if event["op"] == "in" else "out") + width, event["port"]
    else:
        command, where = event["op"] + width, event["addr"]
    if event["op"] in ("out", "write"):
        return f"{command} {where:#x} {event['value']:#x}"
    return f"{command} {where:#x}"


def replay(qemu, events):
    """Replays the accesses; returns the first mismatch of a value read, or None."""
    for number, event in enumerate(events):
        reply = qemu.qtest_line(access_line(event))
        if event["op"] in ("in", "read"):
            value = int(reply[0], 16)
            if value != event["value"]:
                return f"access {number} ({access_line(event)}): read {value:#x}, recorded {event['value']:#x}"
    return None


def first_difference(expected, actual):
    for number, (want, got) in enumerate(zip(expected, actual)):
        if want != got:
            return f"event {number}: in-process {json.dumps(want)}, device {json.dumps(got)}"
    if len(expected) != len(actual):
        return f"in-process trace has {len(expected)} bus events, the device's {len(actual)}"
    return None


def run_property_case(args, case, folder):
    ram = "256" if case["expect"] == "warning" else "112"
    result = subprocess.run(
        [args.qemu, "-M", "pc", "-accel", "qtest", "-m", ram, "-nodefaults", "-vga", "none",
         "-nic", "none", "-display", "none", "-device", case["device"], "-qmp", "stdio"],
        input='{"execute":"qmp_capabilities"}\n{"execute":"quit"}\n', capture_output=True,
        text=True, timeout=60)
    message = result.stderr.strip()
    if case["expect"] == "warning":
        if result.returncode != 0:
            return f"QEMU refused the setting: {message}"
        if "warning" not in message or "inside guest RAM" not in message:
            return f"no warning about the window in RAM (stderr: {message!r})"
        return None
    if result.returncode == 0:
        return f"QEMU accepted {case['device']}"
    if case["expect"] not in message:
        return f"the error does not name {case['expect']!r}: {message!r}"
    return None


def run_moved_case(args, folder):
    """After the driver's way of moving the graphics base (sequencer 0x06 = 0x57
    unlocks the extension registers, CRTC 0x20 holds bits 31-24), the old base
    reaches nothing and the new one reaches the same registers and memory."""
    device_trace = os.path.join(folder, "device.jsonl")
    qemu = Qemu(args.qemu, folder, f"orva,trace={device_trace}")
    old, new = 0x08000000, 0x18000000
    cursor = 0x400000 + 0x11C  # hardware cursor position: all ones at power-up
    problems = []

    def read(address):
        return int(qemu.qtest_line(f"readl {address:#x}")[0], 16)

    try:
        qemu.qtest_line(f"writel {old + 0x800000:#x} 0x5a5a1234")  # frame buffer, second view
        for line in ("outb 0x3c4 0x06", "outb 0x3c5 0x57", "outb 0x3d4 0x20", "outb 0x3d5 0x18"):
            qemu.qtest_line(line)
        checks = [
            ("the frame buffer at the new base", read(new + 0x800000), 0x5a5a1234),
            ("the cursor register at the new base", read(new + cursor), 0xFFFFFFFF),
        ]
        qemu.qtest_line(f"writel {old + 0x800000:#x} 0x11111111")  # reaches nothing now
        checks.append(("the old base's write", read(new + 0x800000), 0x5a5a1234))
        stale = read(old + cursor)
        for what, got, want in checks:
            if got != want:
                problems.append(f"{what}: {got:#x}, expected {want:#x}")
        if stale == 0xFFFFFFFF:
            problems.append("the old base still answers like the board")
    finally:
        qemu.quit()
    traced = [e.get("addr") for e in bus_events(device_trace) if e["op"] in ("read", "write")]
    if traced != [new + cursor]:
        problems.append(f"register accesses the board saw: {[hex(a) for a in traced]}")
    return "; ".join(problems) or None


def run_case(args, name, case, folder):
    if case.get("kind") == "property":
        return run_property_case(args, case, folder)
    if case.get("kind") == "moved":
        return run_moved_case(args, folder)
    chip = case.get("chip", "bramble")
    scenario = os.path.join(args.examples, case["scenario"]) if "scenario" in case else None
    if scenario is None:
        scenario = os.path.join(folder, "case.scn")
        with open(scenario, "w") as file:
            file.write("\n".join(case.get("steps", case.get("accesses"))) + "\n")
    trace, vram, png = (os.path.join(folder, f) for f in ("inprocess.jsonl", "vram.bin", "screenshot.png"))
    if "accesses" in case:  # on a board alone
        capture = [args.capture, "accesses", chip, scenario, trace]
    else:
        capture = [args.capture, "--chip", chip, "--trace", trace, "--vram", vram, "--png", png]
        if "output" in case:
            capture += ["--output", case["output"]]
        capture.append(scenario)
    result = subprocess.run(capture, cwd=folder, capture_output=True, text=True)
    if result.returncode != 0:
        return f"the in-process run failed: {result.stderr.strip()}"
    if not case.get("screendump"):
        png = None  # the scenario may show no picture: only the bus is compared

    events = bus_events(trace)
    device_trace = os.path.join(folder, "device.jsonl")
    qemu = Qemu(args.qemu, folder, f"orva,chip={chip},trace={device_trace}")
    try:
        problem = replay(qemu, events)
        if problem is None and case.get("kind") == "reset":
            qemu.command("system_reset")
            problem = replay(qemu, events)
            events = events + events
        if problem is None and png:
            with open(vram, "rb") as file:
                memory = file.read()
            # The frame buffer's second view, at the window's base (gbase 0) +
            # 8 MB: no register window overlaps it.
            base = 0x08800000
            step = 1 << 20
            for offset in range(0, len(memory), step):
                chunk = memory[offset:offset + step]
                qemu.qtest_line(f"b64write {base + offset:#x} {len(chunk):#x} "
                                + base64.b64encode(chunk).decode())
            dump = os.path.join(folder, "screendump.png")
            qemu.command("screendump", filename=dump, format="png")
            problem = compare_pictures(args.capture, png, dump)
    finally:
        status = qemu.quit()
    if problem:
        return problem
    if status != 0:
        return f"QEMU exited with {status}: {qemu.errors()}"
    return first_difference(events, bus_events(device_trace))


def compare_pictures(capture, expected_path, actual_path):
    result = subprocess.run([capture, "compare", expected_path, actual_path],
                            capture_output=True, text=True)
    return None if result.returncode == 0 else "screendump: " + result.stderr.strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--qemu")
    parser.add_argument("--capture")
    parser.add_argument("--examples")
    parser.add_argument("--case")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--keep", help="keep the case's files in this folder")
    args = parser.parse_args()
    for name in ("qemu", "capture", "examples"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    table = cases()
    if args.list:
        print("\n".join(table))
        return 0
    if args.case not in table:
        print(f"unknown case {args.case}", file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory(prefix="orva-qemu-") as folder:
        if args.keep:
            folder = args.keep
            os.makedirs(folder, exist_ok=True)
        problem = run_case(args, args.case, table[args.case], folder)
    if problem:
        print(f"{args.case}: {problem}", file=sys.stderr)
        return 1
    print(f"{args.case}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
