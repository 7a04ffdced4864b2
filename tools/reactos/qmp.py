"""A QEMU machine under QMP: launch, screendumps, quit."""
import json
import os
import socket
import subprocess
import time


def execute(channel, name, arguments=None):
    """One QMP command over `channel` (a text stream in both directions): its
    return value; events on the way are skipped. Raises RuntimeError on an error
    reply and EOFError when QEMU closes the stream."""
    message = {"execute": name}
    if arguments:
        message["arguments"] = arguments
    channel.write(json.dumps(message) + "\n")
    channel.flush()
    while True:
        line = channel.readline()
        if not line:
            raise EOFError(f"QEMU closed QMP during {name}")
        reply = json.loads(line)
        if "return" in reply:
            return reply["return"]
        if "error" in reply:
            raise RuntimeError(f"QMP {name}: {reply['error'].get('desc')}")


class Machine:
    def __init__(self, qemu, args, folder):
        self.folder = folder
        self.socket_path = os.path.join(folder, "qmp.sock")
        if os.path.exists(self.socket_path):
            os.unlink(self.socket_path)
        self.log = open(os.path.join(folder, "qemu.log"), "w")
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            [qemu, *args, "-qmp", f"unix:{self.socket_path},server=on,wait=off", "-display", "none"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        self.sock = None
        deadline = time.monotonic() + 30
        while self.sock is None:
            if self.process.poll() is not None:
                raise RuntimeError(f"QEMU stopped at start: {self.qemu_log()}")
            try:
                sock = socket.socket(socket.AF_UNIX)
                sock.connect(self.socket_path)
                self.sock = sock
            except OSError:
                sock.close()
                if time.monotonic() > deadline:
                    raise RuntimeError("QEMU's QMP socket did not open")
                time.sleep(0.05)
        self.channel = self.sock.makefile("rw", buffering=1)
        json.loads(self.channel.readline())  # greeting
        self.command("qmp_capabilities")

    def qemu_log(self):
        self.log.flush()
        with open(os.path.join(self.folder, "qemu.log")) as file:
            return file.read()[-2000:]

    def command(self, name, **arguments):
        try:
            return execute(self.channel, name, arguments)
        except EOFError:
            raise RuntimeError(f"QEMU closed QMP: {self.qemu_log()}")

    def screendump(self, path, fmt="ppm"):
        arguments = {"filename": path}
        if fmt != "ppm":
            arguments["format"] = fmt
        self.command("screendump", **arguments)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            try:
                self.command("quit")
            except (RuntimeError, OSError):
                pass
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.sock is not None:
            self.sock.close()
        self.log.close()


def read_ppm(path):
    """(width, height, rgb bytes) of a binary PPM as QEMU writes it."""
    with open(path, "rb") as file:
        data = file.read()
    fields, position = [], 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position) + 1
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    position += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[position:position + width * height * 3]
