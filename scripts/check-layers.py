#!/usr/bin/env python3
"""Fails when a source file includes a project header of a layer above it.

The layers, from the bottom:
  protocol/            request codes and record layouts of the drivers
  formats/             data formats shared by the product and the bench
                       (module compression): over protocol/ only, and
                       every layer above may include it
  platform/ (ports)    the small interfaces to the system; platform/win and
                       platform/fake implement them
  sim/                 the bench: protocol, formats and port headers only
  tessaro/core         what every engine shares
  engines              tessaro/award, tessaro/ami, tessaro/liveupdate,
                       kt9020dll, trivelole (each over core and ports only,
                       never over another engine)
  tessaro/app          presenters (over engines and core)
  tessaro/shell        the Win32 windows and the entry point
Tests, fuzz targets and tools may include anything.

Usage: check-layers.py [file ...]   (default: every tracked C/C++ source)
Prints one line per offending include; exit status 1 when there is one.
"""
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
ENGINES = ("tessaro/award/", "tessaro/ami/", "tessaro/liveupdate/", "kt9020dll/", "trivelole/")
PORTS = "platform/"  # the port headers directly in platform/


def is_port_header(path):
    return path.startswith(PORTS) and path.count("/") == 1


def component(path):
    for prefix in ("protocol/", "formats/", "tessaro/core/", "tessaro/app/", "tessaro/shell/", "sim/",
                   "platform/win/", "platform/fake/") + ENGINES:
        if path.startswith(prefix):
            return prefix
    if is_port_header(path):
        return PORTS
    return None


def allowed(source, target):
    """Whether source (a tracked file) may include target (a project path)."""
    src = component(source)
    dst = component(target)
    if src is None or dst is None:
        return True  # tests, fuzz, tools, or a file outside the layers
    if dst == "protocol/":
        return True  # everyone may speak the drivers' formats
    if src == "protocol/":
        return False
    if dst == "formats/":
        return True  # a neutral bottom layer, like protocol/
    if src == "formats/":
        return False
    if src == PORTS:
        return dst == PORTS
    if src in ("platform/win/", "platform/fake/"):
        return dst in (PORTS, src)
    if src == "sim/":
        return dst in (PORTS, "sim/")
    if src == "tessaro/core/":
        return dst in (PORTS, "tessaro/core/")
    if src in ENGINES:
        if dst in (PORTS, "tessaro/core/", src) and not (
                src in ("kt9020dll/", "trivelole/") and dst == "tessaro/core/"):
            return True
        # Win32 files of an engine reach the Win32 implementations.
        if dst == "platform/win/" and re.search(r"_win\.(cpp|h)$", source):
            return True
        # The plug-in binds the controller library by its public header.
        return src == "trivelole/" and target == "kt9020dll/KT9020DLL.h"
    if src == "tessaro/app/":
        return dst in (PORTS, "tessaro/core/", "tessaro/app/") or dst in ENGINES[:3]
    if src == "tessaro/shell/":
        return dst not in ("sim/", "platform/fake/", "kt9020dll/", "trivelole/")
    return True


def main(argv):
    files = argv[1:] or subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard", "--", "*.cpp", "*.h",
         "*.c", "*.rc"], capture_output=True, text=True, check=True).stdout.split()
    bad = []
    for path in files:
        if path.startswith("build/"):
            continue
        try:
            lines = open(path, encoding="latin-1").read().splitlines()
        except OSError:
            continue
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if match and "/" in match.group(1) and not allowed(path, match.group(1)):
                bad.append(f"{path}:{number}: includes {match.group(1)} from a layer above")
    for line in bad:
        print(line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
