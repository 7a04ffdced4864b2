#!/usr/bin/env python3
"""The QEMU board device's cost per port access and per frame update, measured
beside the in-process board (the C interface the device calls).

  measure.py --qemu BIN --capture BIN --bench BIN --guest ELF --examples DIR

Port and register accesses: the multiboot guest repeats one access COUNT times
(4,000,000 under TCG, 400,000 under KVM); the cost of one is (time with COUNT -
time with none) / COUNT, the best of
three runs, under TCG and (when /dev/kvm opens) KVM. Frames: a mode set and the
`card` picture are recorded in-process, replayed into the device through qtest
with the display memory copied in, and QMP screendump (PPM) is timed after a
write to display memory (the device scans the frame out again) and without one
(an idle screen: the device returns at once); the difference is the device's
frame update. The in-process figures are Google Benchmark's, over the same
recorded frames. Prints a Markdown section.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "qemu"))
import replay  # noqa: E402  (the qtest client and the replay)

# Accesses a guest run repeats: under KVM each one exits to QEMU and costs some
# microseconds, so fewer give the same precision in a reasonable time.
COUNT = {"tcg": 4_000_000, "kvm": 400_000}
ACCESSES = [("in", "port read (8-bit, 0x3CC)", "PortRead"),
            ("out", "port write (8-bit, 0x3D4)", "PortWrite"),
            ("mmio", "register read (32-bit, cursor position)", "RegisterRead")]
FRAMES = [("640x480x8", "bramble"), ("800x600x16", "bramble"), ("1024x768x16", "kestrel")]
SCREENDUMPS = 80


def guest_seconds(qemu, guest, accel, command):
    args = [qemu, "-M", "pc", "-accel", accel, "-m", "112", "-vga", "none", "-nic", "none",
            "-display", "none", "-monitor", "none", "-serial", "none", "-device", "orva",
            "-device", "isa-debug-exit,iobase=0xf4,iosize=1", "-kernel", guest, "-append", command]
    best = None
    for _ in range(3):
        start = time.perf_counter()
        result = subprocess.run(args, capture_output=True, text=True, timeout=300)
        elapsed = time.perf_counter() - start
        if result.returncode != 1:  # debug-exit with 0: status 1
            raise RuntimeError(f"guest {command!r} under {accel}: status {result.returncode}: "
                               f"{result.stderr.strip()}")
        best = elapsed if best is None else min(best, elapsed)
    return best


def kvm_usable():
    try:
        os.close(os.open("/dev/kvm", os.O_RDWR))
        return True
    except OSError:
        return False


def in_process(bench, frames):
    command = [bench, "--benchmark_format=json", "--benchmark_min_time=0.5"]
    for name, chip, trace, vram in frames:
        command += ["--frame", f"{name},{chip},{trace},{vram}"]
    report = json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)
    return {b["name"]: b["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
            for b in report["benchmarks"]}


def frame_update(args, folder, chip, trace, vram):
    """Milliseconds of one screendump with a changed frame, with an idle one, and
    the median difference of the two in a pair."""
    device_trace = os.path.join(folder, "device.jsonl")
    qemu = replay.Qemu(args.qemu, folder, f"orva,chip={chip},trace={device_trace}")
    try:
        replay.replay(qemu, replay.bus_events(trace))
        with open(vram, "rb") as file:
            memory = file.read()
        import base64
        for offset in range(0, len(memory), 1 << 20):
            chunk = memory[offset:offset + (1 << 20)]
            qemu.qtest_line(f"b64write {0x08800000 + offset:#x} {len(chunk):#x} "
                            + base64.b64encode(chunk).decode())
        dump = os.path.join(folder, "dump.ppm")
        qemu.command("screendump", filename=dump, format="ppm")  # the first full update

        def screendump():
            start = time.perf_counter()
            qemu.command("screendump", filename=dump, format="ppm")
            return time.perf_counter() - start

        # Changed and idle frames alternate, so that the machine's load moves
        # both alike; the update's cost is the median of the pairs' differences.
        changed, idle = [], []
        for i in range(SCREENDUMPS):
            # one byte of the visible picture, written back as it was
            qemu.qtest_line(f"writeb {0x08800000 + 64 * i:#x} {memory[64 * i]:#x}")
            changed.append(screendump())
            idle.append(screendump())
        difference = statistics.median(c - d for c, d in zip(changed, idle))
        return statistics.median(changed) * 1e3, statistics.median(idle) * 1e3, difference * 1e3
    finally:
        qemu.quit()


def main():
    parser = argparse.ArgumentParser()
    for name in ("qemu", "capture", "bench", "guest", "examples"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    for name in ("qemu", "capture", "bench", "guest", "examples"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    accels = ["tcg"] + (["kvm"] if kvm_usable() else [])
    base = {accel: guest_seconds(args.qemu, args.guest, accel, "none 0") for accel in accels}
    device = {}
    for kind, _, _ in ACCESSES:
        for accel in accels:
            seconds = guest_seconds(args.qemu, args.guest, accel, f"{kind} {COUNT[accel]}")
            device[kind, accel] = (seconds - base[accel]) / COUNT[accel] * 1e9
            print(f"{kind} under {accel}: {device[kind, accel]:.0f} ns", file=sys.stderr)

    with tempfile.TemporaryDirectory(prefix="orva-bench-") as folder:
        frames = []
        for mode, chip in FRAMES:
            scenario = os.path.join(folder, f"{mode}.scn")
            with open(scenario, "w") as file:
                file.write(f"set-mode {mode}\nmap\npattern card\n")
            trace, vram = (os.path.join(folder, f"{mode}.{e}") for e in ("jsonl", "vram"))
            subprocess.run([args.capture, "--chip", chip, "--trace", trace, "--vram", vram,
                            scenario], cwd=folder, check=True, capture_output=True)
            frames.append((mode, chip, trace, vram))
        host = in_process(args.bench, frames)
        updates = {}
        for mode, chip, trace, vram in frames:
            case = os.path.join(folder, mode)
            os.makedirs(case)
            updates[mode] = frame_update(args, case, chip, trace, vram)

    print("| Access | in-process board (C interface) | QEMU device, TCG |"
          + (" QEMU device, KVM |" if "kvm" in accels else ""))
    print("|---|---:|---:|" + ("---:|" if "kvm" in accels else ""))
    for kind, label, bench_name in ACCESSES:
        row = f"| {label} | {host[bench_name]:.0f} ns | {device[kind, 'tcg']:.0f} ns |"
        if "kvm" in accels:
            row += f" {device[kind, 'kvm']:.0f} ns |"
        print(row)
    print()
    print("| Frame (card picture) | in-process scanout | QEMU screendump, frame changed |"
          " QEMU screendump, idle screen | QEMU device's frame update |")
    print("|---|---:|---:|---:|---:|")
    for mode, chip, _, _ in frames:
        dirty, idle, update = updates[mode]
        print(f"| {mode} ({chip}) | {host['Scanout/' + mode] / 1e6:.2f} ms | {dirty:.2f} ms |"
              f" {idle:.2f} ms | {update:.2f} ms |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
