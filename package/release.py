#!/usr/bin/env python3
"""Builds and checks the release archive orva-<version>.zip: the package folder
(orva.inf, i386/orva.sys, amd64/orva.sys), README.txt, and the images' symbols
apart from them (symbols/i386/orva.sys.debug, symbols/amd64/orva.sys.debug),
under one folder orva-<version>/.

  release.py build --package DIR --symbols DIR --readme TEMPLATE --version X.Y.Z --out FILE
  release.py check FILE --package DIR --symbols DIR --version X.Y.Z

build writes the archive (README.txt from TEMPLATE, its $version and $keywords
filled in from the version and the INF's keyword table); entries carry the
INF's DriverVer date, so the same inputs give the same archive. check opens an
archive and prints one line per problem: an entry missing or extra, a package
file that differs from the folder's, a README without its recovery and uninstall
sections, an INF the checker rejects; it exits 1
when there is any, 0 when there is none.
"""
import argparse
import os
import re
import string
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import infcheck  # noqa: E402

PACKAGE_FILES = ("orva.inf", "i386/orva.sys", "amd64/orva.sys")
SYMBOL_FILES = ("i386/orva.sys.debug", "amd64/orva.sys.debug")
SYMBOLS = "symbols/"
README = "README.txt"
# What the README must tell a user who cannot see the desktop, or wants the driver gone.
README_SECTIONS = ("recover from a keyword that leaves no mode", "Safe Mode", "Uninstall")


def read_inf(path):
    with open(path, encoding="utf-8") as file:
        return infcheck.Inf(file.read())


def keyword_lines(inf):
    """The output keywords that offer modes, one line each, for the README."""
    lines = []
    for keyword, variants in infcheck.keyword_table(inf):
        if variants:
            lines.append(f"  {keyword:<21} {' '.join(variants)}")
    return "\n".join(lines)


def entry_date(inf):
    """The DriverVer date as a zip entry time (noon, so no time zone moves the day)."""
    match = re.match(r"(\d\d)/(\d\d)/(\d{4})", inf.value("Version", "DriverVer") or "")
    if match is None:
        return (1980, 1, 1, 0, 0, 0)
    return (int(match[3]), int(match[1]), int(match[2]), 12, 0, 0)


def build(package, symbols, template, version, out):
    inf = read_inf(os.path.join(package, "orva.inf"))
    with open(template, encoding="utf-8") as file:
        readme = string.Template(file.read()).substitute(version=version,
                                                         keywords=keyword_lines(inf))
    root = f"orva-{version}/"
    date = entry_date(inf)

    def add(archive, name, data):
        info = zipfile.ZipInfo(root + name, date_time=date)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        archive.writestr(info, data)

    temporary = out + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name in PACKAGE_FILES:
            with open(os.path.join(package, name), "rb") as file:
                add(archive, name, file.read())
        for name in SYMBOL_FILES:
            with open(os.path.join(symbols, name), "rb") as file:
                add(archive, SYMBOLS + name, file.read())
        # Windows users open it with Notepad: CR LF line ends.
        add(archive, README, readme.replace("\n", "\r\n").encode("utf-8"))
    os.replace(temporary, out)


def check(path, package, symbols, version):
    problems = []
    root = f"orva-{version}/"
    wanted = {root + name for name in PACKAGE_FILES + (README,)}
    wanted |= {root + SYMBOLS + name for name in SYMBOL_FILES}
    try:
        archive = zipfile.ZipFile(path)
    except (OSError, zipfile.BadZipFile) as error:
        return [f"cannot open the archive: {error}"]
    with archive:
        names = set(archive.namelist())
        problems += [f"the archive lacks {name}" for name in sorted(wanted - names)]
        problems += [f"the archive holds {name}, not a file of the package"
                     for name in sorted(names - wanted)]
        bad = archive.testzip()
        if bad is not None:
            problems.append(f"{bad} is damaged")
        for name in PACKAGE_FILES:
            with open(os.path.join(package, name), "rb") as file:
                if root + name in names and archive.read(root + name) != file.read():
                    problems.append(f"{root + name} is not the package folder's {name}")
        for name in SYMBOL_FILES:
            entry = root + SYMBOLS + name
            with open(os.path.join(symbols, name), "rb") as file:
                if entry in names and archive.read(entry) != file.read():
                    problems.append(f"{entry} is not the symbols folder's {name}")
        if root + README in names:
            readme = archive.read(root + README).decode("utf-8", "replace")
            if f"orva {version}" not in readme or "$" in readme:
                problems.append(f"{README} does not name version {version} or has a blank left")
            for section in README_SECTIONS:
                if section.lower() not in readme.lower():
                    problems.append(f"{README} does not say how to {section}"
                                    if section[0].islower() else f"{README} lacks {section!r}")
        with tempfile.TemporaryDirectory() as folder:
            for name in sorted(names & wanted):
                if not name.startswith(root + SYMBOLS):
                    archive.extract(name, folder)
            extracted = os.path.join(folder, root)
            inf = os.path.join(extracted, "orva.inf")
            if os.path.isfile(inf):
                problems += [f"orva.inf: {problem}" for problem in
                             infcheck.check(read_inf(inf), "orva.sys", package=extracted,
                                            version=version)]
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    make = commands.add_parser("build")
    make.add_argument("--package", required=True)
    make.add_argument("--symbols", required=True)
    make.add_argument("--readme", required=True)
    make.add_argument("--version", required=True)
    make.add_argument("--out", required=True)
    test = commands.add_parser("check")
    test.add_argument("archive")
    test.add_argument("--package", required=True)
    test.add_argument("--symbols", required=True)
    test.add_argument("--version", required=True)
    args = parser.parse_args()
    if args.command == "build":
        build(args.package, args.symbols, args.readme, args.version, args.out)
        return 0
    problems = check(args.archive, args.package, args.symbols, args.version)
    for problem in problems:
        print(f"{os.path.basename(args.archive)}: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
