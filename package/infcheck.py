#!/usr/bin/env python3
"""Checks the display INF of the package: every section it references exists,
the service and the files it copies agree, the default output keyword is a
documented one that offers modes on the variants the INF's hardware IDs name
(a board maker sets the keyword of the board's output), and the output
keywords it documents are those the driver accepts;
and what a display package needs to bring up a desktop on Windows 2000, XP and
Server 2003: an undecorated models section beside the decorated ones, a display
driver named in InstalledDisplayDrivers, a service that starts (StartType 1 or
3), the GeneralConfigData section, a DriverVer of the project's version, and the
catalog a CatalogFile line names.

  infcheck.py orva.inf [--binary orva.sys] [--keywords K1,K2,...] [--package DIR]
                       [--version X.Y.Z] [--device-memory MB]
  infcheck.py orva.inf --list-keywords

Prints one line per problem and exits 1 when there is any, 0 when there is none,
2 on bad usage. --list-keywords prints the documented keyword table as
"KEYWORD variant variant ..." lines ("none" when no variant offers modes).
"""
import argparse
import os
import re
import sys

DISPLAY_CLASS_GUID = "{4d36e968-e325-11ce-bfc1-08002be10318}"
ARCHITECTURES = {"NTx86": "x86", "NTamd64": "amd64"}
DRIVERS_DIRID = "12"
SYSTEM_DIRID = "11"  # where display DLLs go
# The display driver every Windows of this family carries; any other display
# driver must be a DLL the package copies to the system directory.
SYSTEM_DISPLAY_DRIVERS = ("framebuf",)
START_TYPES = {"1": "system start", "3": "demand start"}
FLAGS_MULTI_SZ = 0x00010000
INSTALL_DIRECTIVES = ("copyfiles", "addreg", "delreg", "delfiles", "renfiles")
# The chip variants behind each hardware ID (the display function's PCI IDs).
DEVICE_VARIANTS = {
    "PCI\\VEN_0B4A&DEV_55CC": ("pinto",),
    "PCI\\VEN_0B4A&DEV_0209": ("bramble", "mistral"),
    "PCI\\VEN_0B4A&DEV_021A": ("bramble-l",),
    "PCI\\VEN_0B4A&DEV_0210": ("kestrel",),
    "PCI\\VEN_0B4A&DEV_021B": ("bramble-r", "bramble-rx"),
}


def strip_comment(line):
    """The line without its comment (a ';' outside double quotes)."""
    quoted = False
    for i, char in enumerate(line):
        if char == '"':
            quoted = not quoted
        elif char == ";" and not quoted:
            return line[:i]
    return line


def split_fields(text):
    """Comma-separated fields, quotes removed, blanks trimmed."""
    return [field.strip().strip('"') for field in re.split(r',(?=(?:[^"]*"[^"]*")*[^"]*$)', text)]


class Inf:
    def __init__(self, text):
        self.sections = {}  # lower-case name -> (name, [(key or None, value)])
        self.comments = []  # every comment line, in order
        current = None
        for raw in text.splitlines():
            if raw.lstrip().startswith(";"):
                self.comments.append(raw.lstrip()[1:])
            line = strip_comment(raw).strip()
            if not line:
                continue
            match = re.fullmatch(r"\[([^\]]+)\]", line)
            if match:
                name = match.group(1).strip()
                current = self.sections.setdefault(name.lower(), (name, []))[1]
                continue
            if current is None:
                continue
            key, sep, value = line.partition("=")
            current.append((key.strip(), value.strip()) if sep else (None, line))

    def has(self, name):
        return name.lower() in self.sections

    def entries(self, name):
        return self.sections.get(name.lower(), (name, []))[1]

    def value(self, section, key):
        for entry_key, value in self.entries(section):
            if entry_key is not None and entry_key.lower() == key.lower():
                return value.strip('"')
        return None

    def directives(self, section, directive):
        found = []
        for key, value in self.entries(section):
            if key is not None and key.lower() == directive:
                found += [name for name in split_fields(value) if name]
        return found

    def decorated(self, base, decoration):
        """The section Setup uses for a platform: base.NTx86, base.NT or base."""
        for name in (f"{base}.{decoration}", f"{base}.NT", base):
            if self.has(name):
                return name
        return None


def keyword_table(inf):
    """Rows of the documented output-keyword table: (keyword, [variants])."""
    rows, inside = [], False
    for comment in inf.comments:
        text = comment.strip()
        if text == "[output keywords]":
            inside = True
        elif text == "[end]":
            inside = False
        elif inside and text and not text.startswith("keyword"):
            # keyword, then a description, then the variants after a wide gap
            parts = re.split(r"\s{2,}", text)
            variants = parts[-1].split() if len(parts) >= 3 else []
            rows.append((parts[0], [] if variants == ["none"] else variants))
    return rows


def model_ids(inf):
    """The hardware IDs of every models section the manufacturer names."""
    ids = set()
    for _, value in inf.entries("Manufacturer"):
        models, *decorations = split_fields(value)
        for section in [models] + [f"{models}.{d}" for d in decorations]:
            for _, model in inf.entries(section):
                ids.add(split_fields(model)[-1].upper())
    return ids


def flags_of(token, strings):
    """An AddReg flags field as a number (empty: 0, REG_SZ); None when it is
    not a number or an undefined %string% (reported with the strings)."""
    text = token.strip()
    if text.startswith("%") and text.endswith("%"):
        text = strings.get(text.strip("%").lower())
        if text is None:
            return None
    try:
        return int(text or "0", 0)
    except ValueError:
        return None


def registry_entries(inf, sections):
    """(AddReg section, value name, flags field, values) of every HKR entry the
    given install sections add."""
    found = []
    for section in sorted(sections):
        for name in inf.directives(section, "addreg"):
            for key, value in inf.entries(name):
                fields = split_fields(value if key is None else f"{key}={value}")
                if len(fields) >= 3 and fields[0].upper() == "HKR":
                    flags = fields[3] if len(fields) > 3 else ""
                    found.append((name, fields[2], flags, fields[4:]))
    return found


def install_plan(inf, decoration="NTx86"):
    """What installing the package's first model on a platform writes: the
    service (name and its section's values, ServiceBinary with %12% as
    system32\\drivers) and the software settings, [(name, flags, values)] of the
    AddReg entries and [name] of the DelReg entries. None when the INF names no
    such model, install section or service (check() reports why)."""
    for _, value in inf.entries("Manufacturer"):
        models = split_fields(value)[0]
        for section in (f"{models}.{decoration}", models):
            for _, model in inf.entries(section):
                resolved = inf.decorated(split_fields(model)[0], decoration)
                if resolved is None:
                    return None
                service = None
                for key, entry in inf.entries(resolved + ".Services"):
                    fields = split_fields(entry)
                    if key and key.lower() == "addservice" and len(fields) >= 3:
                        service = (fields[0], fields[2])
                if service is None or not inf.has(service[1]):
                    return None
                values = {key: entry.strip('"') for key, entry in inf.entries(service[1]) if key}
                binary = values.get("ServiceBinary", "")
                values["ServiceBinary"] = re.sub(r"^%12%", r"system32\\drivers", binary)
                settings = {resolved + ".SoftwareSettings"}
                added = [(name, flags, list(entries))
                         for _, name, flags, entries in registry_entries(inf, settings)]
                removed = []
                for name in inf.directives(resolved + ".SoftwareSettings", "delreg"):
                    for key, entry in inf.entries(name):
                        fields = split_fields(entry if key is None else f"{key}={entry}")
                        if len(fields) >= 3 and fields[0].upper() == "HKR":
                            removed.append(fields[2])
                return {"service": service[0], "service_values": values,
                        "add": added, "delete": removed}
    return None


def check_version(inf, version, package, say):
    """DriverVer is a date and a four-part version, the project's when given;
    a catalog named by CatalogFile is in the package."""
    driver_ver = inf.value("Version", "DriverVer")
    match = re.fullmatch(r"(\d\d)/(\d\d)/(\d{4})\s*,\s*(\d+)\.(\d+)\.(\d+)\.(\d+)",
                         driver_ver or "")
    if match is None or not (1 <= int(match[1]) <= 12 and 1 <= int(match[2]) <= 31):
        say(f"[Version] DriverVer {driver_ver!r} is not mm/dd/yyyy,w.x.y.z")
    elif version is not None:
        want = (version.split(".") + ["0"] * 4)[:4]
        if [int(part) for part in match.groups()[3:]] != [int(part) for part in want]:
            say(f"[Version] DriverVer version {'.'.join(match.groups()[3:])} is not the "
                f"project's version {'.'.join(want)}")
    for key, value in inf.entries("Version"):
        if key and key.lower().startswith("catalogfile") and package is not None:
            if not os.path.isfile(os.path.join(package, value.strip('"'))):
                say(f"[Version] {key} {value} is not in the package")


def check_display_driver(inf, settings, copied, say):
    """InstalledDisplayDrivers (REG_MULTI_SZ) names display drivers Windows has
    or that the INF copies to the system directory."""
    strings = {key.lower(): value for key, value in inf.entries("Strings") if key}
    named = [entry for entry in registry_entries(inf, settings)
             if entry[1].lower() == "installeddisplaydrivers"]
    if not named:
        say("no InstalledDisplayDrivers in the software settings: no display driver "
            "would open the miniport")
    for section, _, flags, values in named:
        number = flags_of(flags, strings)
        if number is not None and number & 0xFFFF0001 != FLAGS_MULTI_SZ:
            say(f"[{section}] InstalledDisplayDrivers is not REG_MULTI_SZ "
                f"(flags 0x{FLAGS_MULTI_SZ:08X})")
        dlls = {file.lower() for file, dirid in copied if dirid == SYSTEM_DIRID}
        for driver in (value for value in values if value):
            shipped = f"{driver.lower()}.dll" in dlls
            if driver.lower() not in SYSTEM_DISPLAY_DRIVERS and not shipped:
                say(f"[{section}] InstalledDisplayDrivers names {driver}, neither framebuf nor "
                    f"a display DLL the INF copies to the system directory (dirid {SYSTEM_DIRID})")


def check_config_data(inf, resolved, device_memory, say):
    """The GeneralConfigData section and its memory figure, in megabytes."""
    section = resolved + ".GeneralConfigData"
    if not inf.has(section):
        say(f"[{section}] is missing")
        return
    value = inf.value(section, "MaximumDeviceMemoryConfiguration")
    if value is None or not value.isdigit() or int(value) == 0:
        say(f"[{section}] MaximumDeviceMemoryConfiguration is missing or not a number "
            "of megabytes")
    elif device_memory is not None and int(value) < device_memory:
        say(f"[{section}] MaximumDeviceMemoryConfiguration {value} MB is less than the "
            f"{device_memory} MB the driver maps")


def check(inf, binary=None, keywords=None, package=None, version=None, device_memory=None):
    problems = []
    say = problems.append

    # Version: a display-class INF for NT.
    if (inf.value("Version", "Signature") or "").lower() != "$windows nt$":
        say('[Version] Signature is not "$Windows NT$"')
    if (inf.value("Version", "Class") or "").lower() != "display":
        say("[Version] Class is not Display")
    if (inf.value("Version", "ClassGUID") or "").lower() != DISPLAY_CLASS_GUID:
        say(f"[Version] ClassGUID is not the display class {DISPLAY_CLASS_GUID}")

    check_version(inf, version, package, say)

    # Strings: every %token% that is not a directory id has a value.
    strings = {key.lower(): value for key, value in inf.entries("Strings") if key}
    for _, (name, entries) in inf.sections.items():
        for key, value in entries:
            for token in re.findall(r"%([^%]+)%", f"{key or ''}={value}"):
                if not token.isdigit() and token.lower() not in strings:
                    say(f"[{name}] uses %{token}%, which [Strings] does not define")

    # Manufacturer -> models -> install sections and their parts.
    install_sections, copy_sections, configured = set(), set(), set()
    services = []
    manufacturers = inf.entries("Manufacturer")
    if not manufacturers:
        say("[Manufacturer] is missing or empty")
    for _, value in manufacturers:
        models, *decorations = split_fields(value)
        for decoration in ARCHITECTURES:
            if decoration.lower() not in (d.lower() for d in decorations):
                say(f"[Manufacturer] has no {decoration} decoration for {models}")
        # Windows 2000 reads the undecorated section, an x86 system.
        if not inf.entries(models):
            say(f"[{models}] (the undecorated model section Windows 2000 reads) is missing "
                "or empty")
        else:
            ids = {split_fields(model)[-1].upper() for _, model in inf.entries(models)}
            for _, model in inf.entries(f"{models}.NTx86"):
                if split_fields(model)[-1].upper() not in ids:
                    say(f"[{models}] lacks {split_fields(model)[-1]}, which [{models}.NTx86] lists")
        for decoration in decorations + [None]:
            section = models if decoration is None else f"{models}.{decoration}"
            decoration = decoration or "NTx86"
            if section != models and not inf.entries(section):
                say(f"[{section}] (a model section) is missing or empty")
            for key, model in inf.entries(section):
                install = split_fields(model)[0]
                resolved = inf.decorated(install, decoration)
                if resolved is None:
                    say(f"[{section}] {key}: install section {install} is missing")
                    continue
                install_sections.add(resolved)
                configured.add(resolved)
                for part in (".Services", ".SoftwareSettings"):
                    if not inf.has(resolved + part):
                        say(f"[{resolved}{part}] is missing")
                    else:
                        install_sections.add(resolved + part)

    for section in sorted(install_sections):
        for directive in INSTALL_DIRECTIVES:
            for name in inf.directives(section, directive):
                if directive == "copyfiles" and name.startswith("@"):
                    copy_sections.add(name)
                    continue
                if not inf.has(name):
                    say(f"[{section}] {directive}: section {name} is missing")
                elif directive == "copyfiles":
                    copy_sections.add(name)
        for key, value in inf.entries(section):
            if key is not None and key.lower() == "addservice":
                fields = split_fields(value)
                if len(fields) < 3 or not inf.has(fields[2]):
                    say(f"[{section}] AddService: service section of {fields[0]} is missing")
                    continue
                if not int(fields[1] or "0", 0) & 0x2:
                    say(f"[{section}] AddService {fields[0]} is not the device's function driver")
                services.append(fields[2])
    if not services:
        say("no AddService names the driver's service")
    for resolved in sorted(configured):
        check_config_data(inf, resolved, device_memory, say)

    # DestinationDirs: entries name sections; copied files go to the drivers directory.
    default_dir = inf.value("DestinationDirs", "DefaultDestDir")
    for key, _ in inf.entries("DestinationDirs"):
        if key and key.lower() != "defaultdestdir" and not inf.has(key):
            say(f"[DestinationDirs] {key}: no such section")
    # Display DLLs go to the system directory, everything else to the drivers directory.
    files, copied = [], []
    for section in sorted(copy_sections):
        if section.startswith("@"):
            names = [section[1:]]
            directory = default_dir
        else:
            names = [split_fields(value if key is None else key)[0]
                     for key, value in inf.entries(section)]
            directory = inf.value("DestinationDirs", section) or default_dir
        dirid = split_fields(directory)[0] if directory is not None else None
        for name in names:
            want = SYSTEM_DIRID if name.lower().endswith(".dll") else DRIVERS_DIRID
            where = "the system directory" if want == SYSTEM_DIRID else "the drivers directory"
            if dirid != want:
                say(f"{section}: {name} is not copied to {where} (dirid {want})")
            copied.append((name, dirid))
        files += names

    # Source media: each platform lists every copied file on a disk it names.
    for arch in ARCHITECTURES.values():
        names = f"SourceDisksNames.{arch}"
        listed = f"SourceDisksFiles.{arch}"
        disks = {key: split_fields(value) for key, value in inf.entries(names) if key}
        for file in files:
            disk = inf.value(listed, file)
            if disk is None:
                say(f"[{listed}] does not list {file}")
            elif split_fields(disk)[0] not in disks:
                say(f"[{listed}] {file}: disk {disk} is not in [{names}]")
            elif package is not None:
                path = disks[split_fields(disk)[0]]
                folder = path[3].strip("\\") if len(path) > 3 else ""
                if not os.path.isfile(os.path.join(package, folder, file)):
                    say(f"package has no {os.path.join(folder, file)} for {arch}")

    # The service: a kernel driver of the Video group whose binary is the copied file.
    for section in services:
        expected = {"ServiceType": "1", "LoadOrderGroup": "Video"}
        for key, want in expected.items():
            if (inf.value(section, key) or "").lower() != want.lower():
                say(f"[{section}] {key} is not {want}")
        start = inf.value(section, "StartType")
        if start not in START_TYPES:
            say(f"[{section}] StartType {start} is not 1 (system start) or 3 (demand start)")
        value = inf.value(section, "ErrorControl")
        if value is None or not value.isdigit() or int(value) not in range(0, 4):
            say(f"[{section}] ErrorControl is missing or out of range")
        image = inf.value(section, "ServiceBinary") or ""
        folder, _, name = image.rpartition("\\")
        if folder != f"%{DRIVERS_DIRID}%":
            say(f"[{section}] ServiceBinary {image} is not in %{DRIVERS_DIRID}%")
        if name.lower() not in (file.lower() for file in files):
            say(f"[{section}] ServiceBinary {name} is not a file the INF copies")
        if binary is not None and name.lower() != binary.lower():
            say(f"[{section}] ServiceBinary {name} is not the built driver {binary}")

    # The display driver, and the output keyword: MONITOR by default.
    settings = {section for section in install_sections
                if section.lower().endswith(".softwaresettings")}
    check_display_driver(inf, settings, copied, say)
    default_keyword = None
    for section, name, flags, values in registry_entries(inf, settings):
        if name != "HardwareInformation.OutputType":
            continue
        # An undefined %token% is reported with the strings.
        token = flags.strip()
        if not (token.startswith("%") and token.strip("%").lower() not in strings):
            if flags_of(flags, strings) != 0:
                say(f"[{section}] HardwareInformation.OutputType is not a string (REG_SZ)")
        default_keyword = values[0] if values else None
    table = keyword_table(inf)
    if not table:
        say("no [output keywords] table documents the output keywords")
    named = [keyword for keyword, _ in table]
    for keyword in sorted({k for k in named if named.count(k) > 1}):
        say(f"output keyword {keyword} is documented twice")
    if default_keyword is None:
        say("HardwareInformation.OutputType is not set: the driver would pick MONITOR "
            "without the INF saying so")
    elif default_keyword.upper() not in (k.upper() for k in named):
        say(f"HardwareInformation.OutputType {default_keyword!r} is not a known output keyword "
            "(the driver would fall back to MONITOR)")
    else:
        offering = {variant for keyword, variants in table
                    if keyword.upper() == default_keyword.upper() for variant in variants}
        for device in sorted(model_ids(inf)):
            variants = DEVICE_VARIANTS.get(device)
            if variants is None:
                say(f"the models name {device}, which is no ORVA display function")
            elif not offering.intersection(variants):
                say(f"HardwareInformation.OutputType {default_keyword!r} offers no mode on "
                    f"{' or '.join(variants)} ({device}), which the models name")
    if keywords is not None:
        accepted = {keyword.upper() for keyword in keywords}
        for keyword in sorted(set(named) | ({default_keyword} - {None})):
            if keyword.upper() not in accepted:
                say(f"output keyword {keyword} is not one the driver accepts")
        for keyword in sorted(accepted - {k.upper() for k in named}):
            say(f"the driver accepts output keyword {keyword}, which the INF does not document")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("inf")
    parser.add_argument("--binary", help="file name of the built driver, e.g. orva.sys")
    parser.add_argument("--keywords", help="comma-separated output keywords the driver accepts")
    parser.add_argument("--package", help="package folder whose files the INF copies")
    parser.add_argument("--version", help="the project's version X.Y.Z, which DriverVer carries")
    parser.add_argument("--device-memory", type=int,
                        help="megabytes the driver maps; MaximumDeviceMemoryConfiguration "
                        "must cover them")
    parser.add_argument("--list-keywords", action="store_true")
    args = parser.parse_args()
    try:
        with open(args.inf, encoding="utf-8") as file:
            inf = Inf(file.read())
    except OSError as error:
        print(f"infcheck: {error}", file=sys.stderr)
        return 2
    if args.list_keywords:
        for keyword, variants in keyword_table(inf):
            print(keyword, *(variants or ["none"]))
        return 0
    keywords = args.keywords.split(",") if args.keywords is not None else None
    problems = check(inf, args.binary, keywords, args.package, args.version, args.device_memory)
    for problem in problems:
        print(f"{os.path.basename(args.inf)}: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
