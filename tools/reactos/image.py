"""Test CDs for ReactOS: a live CD with the package installed offline.

From a ReactOS live CD (.iso or .iso.xz) and the package folder (orva.inf,
i386/orva.sys) this writes a CD that boots straight to the desktop through
orva.sys: the driver in reactos/system32/drivers, and the SYSTEM hive holding
what installing the package gives (the service and its software settings, read
from the INF) plus the run's output keyword and mode, with ReactOS's VBE
miniport turned off (the VGA fallback stays). The "vbe" flavour leaves the
package out and sets the same mode on the VBE miniport instead, for comparing
boot times with QEMU's standard VGA.

The hive is edited with hivex and the CD rewritten by xorriso with the
original boot record and ISO 9660:1999 naming (the boot loader finds the hives
only under those names). Results are cached by the hash of all their inputs.
"""
import hashlib
import json
import lzma
import os
import re
import shutil
import subprocess
import sys
import tempfile

import hivex

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "package"))
import infcheck  # noqa: E402

BOOT_ENTRY = "LiveCD_Orva"
# /HAL=halacpi.dll: the driver declares an ISA adapter, and the default HAL
# gives the ISA bus a 16 MB memory limit (the graphics window maps to NULL);
# the ACPI HAL with the 8259 translates 1:1 and leaves ports 0x22/0x23 alone.
DEFAULT_HAL = "halacpi.dll"
BOOT_OPTIONS = "/DEBUG /DEBUGPORT=COM1 /BAUDRATE=115200 /SOS /FASTDETECT /MININT"
HIVE = "/reactos/system32/config/system"
UNATTEND = "/reactos/unattend.inf"
FREELDR = "/freeldr.ini"
DRIVER = "/reactos/system32/drivers/orva.sys"

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
# PCI device ID of the display function per variant: the model whose
# description Windows would write into the adapter's key.
DEVICE_IDS = {"pinto": "55CC", "bramble": "0209", "mistral": "0209", "bramble-l": "021A",
              "kestrel": "0210", "bramble-r": "021B", "bramble-rx": "021B"}


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    path = os.path.join(base, "orva", "reactos")
    os.makedirs(path, exist_ok=True)
    return path


def file_hash(path):
    digest = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def cached_hash(path):
    """file_hash of a large file, remembered by its path, size and time."""
    stat = os.stat(path)
    key = f"{os.path.abspath(path)}:{stat.st_size}:{stat.st_mtime_ns}"
    memo = os.path.join(cache_dir(), "hashes.json")
    try:
        with open(memo) as file:
            known = json.load(file)
    except (OSError, ValueError):
        known = {}
    if key not in known:
        known[key] = file_hash(path)
        partial = f"{memo}.{os.getpid()}"
        with open(partial, "w") as file:
            json.dump(known, file)
        os.replace(partial, memo)
    return known[key]


def live_cd(path):
    """The live CD as a plain ISO: itself, or its xz content decompressed
    once into the cache (keyed by the compressed file's hash)."""
    if not path.endswith(".xz"):
        return path
    target = os.path.join(cache_dir(), f"livecd-{cached_hash(path)[:16]}.iso")
    if not os.path.exists(target):
        partial = target + f".{os.getpid()}.part"
        with lzma.open(path) as source, open(partial, "wb") as out:
            shutil.copyfileobj(source, out, 1 << 20)
        os.replace(partial, target)
    return target


def utf16(text):
    return (text + "\0").encode("utf-16-le")


def reg_value(name, flags, values):
    """An INF AddReg entry as a hivex value (flags as a number)."""
    kind = flags & 0xFFFF0001
    if kind == 0x00010001:
        return {"key": name, "t": REG_DWORD, "value": int(values[0], 0).to_bytes(4, "little")}
    if kind == 0x00010000:
        data = b"".join(utf16(v) for v in values if v) + b"\0\0"
        return {"key": name, "t": REG_MULTI_SZ, "value": data}
    if kind == 0x00020000:
        return {"key": name, "t": REG_EXPAND_SZ, "value": utf16(values[0] if values else "")}
    if kind == 0x00000001:
        return {"key": name, "t": REG_BINARY, "value": bytes(int(v, 16) for v in values)}
    return {"key": name, "t": REG_SZ, "value": utf16(values[0] if values else "")}


def dword(name, number):
    return {"key": name, "t": REG_DWORD, "value": number.to_bytes(4, "little")}


def child(hive, node, name):
    """The subkey `name` of `node`, made when missing."""
    found = hive.node_get_child(node, name)
    return found if found is not None else hive.node_add_child(node, name)


def set_values(hive, node, values):
    """Sets values on a key, keeping the ones not named."""
    for value in values:
        hive.node_set_value(node, value)


def delete_values(hive, node, names):
    lowered = {name.lower() for name in names}
    keep = [{"key": hive.value_key(v), "t": hive.value_value(v)[0], "value": hive.value_value(v)[1]}
            for v in hive.node_values(node) if hive.value_key(v).lower() not in lowered]
    hive.node_set_values(node, keep)


def mode_values(mode):
    width, height, bpp = mode
    return [dword("DefaultSettings.BitsPerPel", bpp), dword("DefaultSettings.XResolution", width),
            dword("DefaultSettings.YResolution", height)]


def edit_hive(path, inf, chip, keyword, mode, flavour):
    hive = hivex.Hivex(path, write=True)
    root = hive.root()
    current = 1
    select = hive.node_get_child(root, "Select")
    if select is not None:
        value = hive.node_get_value(select, "Current")
        current = hive.value_dword(value)
    control_set = hive.node_get_child(root, f"ControlSet{current:03d}")
    services = hive.node_get_child(control_set, "Services")
    vbe = hive.node_get_child(services, "vga")
    if vbe is None:
        raise RuntimeError("the hive has no Services\\vga (the VBE miniport)")
    if flavour == "vbe":
        set_values(hive, child(hive, vbe, "Device0"), mode_values(mode))
        hive.commit(None)
        return
    set_values(hive, vbe, [dword("Start", 4)])

    plan = infcheck.install_plan(inf)
    if plan is None:
        raise RuntimeError("orva.inf names no x86 install section with a service")
    strings = {key.lower(): value for key, value in inf.entries("Strings") if key}
    service_values = plan["service_values"]
    service = child(hive, services, plan["service"])
    set_values(hive, service, [
        dword("Type", int(service_values["ServiceType"], 0)),
        dword("Start", int(service_values["StartType"], 0)),
        dword("ErrorControl", int(service_values["ErrorControl"], 0)),
        {"key": "Group", "t": REG_SZ, "value": utf16(service_values["LoadOrderGroup"])},
        {"key": "ImagePath", "t": REG_EXPAND_SZ, "value": utf16(service_values["ServiceBinary"])},
    ])
    set_values(hive, child(hive, service, "Video"),
               [{"key": "Service", "t": REG_SZ, "value": utf16(plan["service"])}])
    device = child(hive, service, "Device0")
    delete_values(hive, device, plan["delete"])
    settings = []
    for name, flags, values in plan["add"]:
        number = infcheck.flags_of(flags, strings)
        if number is None:
            raise RuntimeError(f"orva.inf: AddReg {name} has flags {flags} that are not a number")
        if name == "HardwareInformation.OutputType":
            values = [keyword]
        settings.append(reg_value(name, number, values))
    description = model_description(inf, chip)
    settings += [dword("VgaCompatible", 0),
                 {"key": "Device Description", "t": REG_SZ, "value": utf16(description)}]
    settings += mode_values(mode)
    set_values(hive, device, settings)

    # The miniport's debug text (component IHVVIDEO, every level) on the serial port.
    session = hive.node_get_child(hive.node_get_child(control_set, "Control"), "Session Manager")
    set_values(hive, child(hive, session, "Debug Print Filter"), [dword("IHVVIDEO", 0xF)])
    hive.commit(None)


def model_description(inf, chip):
    strings = {key.lower(): value.strip('"') for key, value in inf.entries("Strings") if key}
    device = DEVICE_IDS.get(chip, "")
    for _, value in inf.entries("Manufacturer"):
        models = infcheck.split_fields(value)[0]
        for key, model in inf.entries(f"{models}.NTx86"):
            if model.upper().endswith(f"DEV_{device}"):
                return strings.get(key.strip("%").lower(), key)
    return "ORVA display adapter"


def edit_freeldr(text, hal=DEFAULT_HAL):
    """A boot entry of our own, chosen at once; hal.dll is the boot loader's
    default HAL (no /HAL option)."""
    hal_option = "" if hal == "hal.dll" else f"/HAL={hal} "
    text = re.sub(r"(?m)^DefaultOS=[^\r\n]*", f"DefaultOS={BOOT_ENTRY}", text)
    text = re.sub(r"(?m)^TimeOut=[^\r\n]*", "TimeOut=0", text)
    text = re.sub(r"(?m)^\[Operating Systems\]\s*$",
                  f'[Operating Systems]\n{BOOT_ENTRY}="LiveCD (ORVA test)"', text, count=1)
    return text + (f"\n[{BOOT_ENTRY}]\nBootType=Windows2003\nSystemPath=\\reactos\n"
                   f"Options={hal_option}{BOOT_OPTIONS}\n")


def edit_unattend(text):
    edited, count = re.subn(r"(?mi)^(\s*UnattendSetupEnabled\s*=\s*)\w+", r"\1yes", text)
    if count == 0:
        edited = re.sub(r"(?mi)^(\[Unattend\][^\n]*\n)", r"\1UnattendSetupEnabled = yes\n", text)
    return edited


def xorriso(*args):
    run = subprocess.run(["xorriso", *args], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f"xorriso {' '.join(args[:3])}... failed:\n{run.stderr[-2000:]}")


def make(iso, package, chip, keyword, mode, flavour="orva", hal=DEFAULT_HAL):
    """Path of the test CD for these inputs, written when not cached.
    mode is (width, height, bpp); flavour "orva" or "vbe"; hal the HAL to boot."""
    iso = live_cd(iso)
    inf_path = os.path.join(package, "orva.inf")
    driver = os.path.join(package, "i386", "orva.sys")
    key = hashlib.sha256()
    for part in (cached_hash(iso), file_hash(__file__), file_hash(infcheck.__file__), flavour,
                 chip, keyword, "x".join(map(str, mode)), hal):
        key.update(part.encode() + b"\0")
    if flavour == "orva":
        key.update(file_hash(inf_path).encode() + file_hash(driver).encode())
    target = os.path.join(cache_dir(), f"test-{key.hexdigest()[:20]}.iso")
    if os.path.exists(target):
        return target
    with open(inf_path, encoding="utf-8") as file:
        inf = infcheck.Inf(file.read())
    with tempfile.TemporaryDirectory(dir=cache_dir()) as work:
        files = {name: os.path.join(work, os.path.basename(name)) for name in (HIVE, UNATTEND, FREELDR)}
        extract = []
        for name, local in files.items():
            extract += ["-extract", name, local]
        xorriso("-osirrox", "on", "-indev", iso, *extract)
        for local in files.values():
            os.chmod(local, 0o644)
        edit_hive(files[HIVE], inf, chip, keyword, mode, flavour)
        for name, edit in ((UNATTEND, edit_unattend), (FREELDR, lambda text: edit_freeldr(text, hal))):
            with open(files[name], encoding="latin-1", newline="") as file:
                text = file.read()
            with open(files[name], "w", encoding="latin-1", newline="") as file:
                file.write(edit(text))
        updates = []
        for name, local in files.items():
            updates += ["-update", local, name]
        if flavour == "orva":
            updates += ["-update", driver, DRIVER]
        partial = os.path.join(work, "out.iso")
        # The CD's names as they are (lower case, spaces): the boot loader and the
        # shell's profiles read them so. Only names longer than xorriso writes
        # (a few side-by-side assembly names) come out shortened.
        xorriso("-indev", iso, "-outdev", partial, "-compliance",
                "iso_9660_1999:no_force_dots:lowercase:full_ascii",
                "-rockridge", "off", "-joliet", "off", "-boot_image", "any", "replay",
                *updates, "-commit")
        os.replace(partial, target)
    return target
