#!/usr/bin/python3
"""Checks that tools/install-deps.sh installs everything a configured build uses.

Reads the CMake cache of a build folder, takes every path below /usr that the
configuration found (package folders *_DIR, libraries *_LIBRARY*, header
folders *_INCLUDE_DIR*, programs *_EXECUTABLE and the compiler and CMake
itself), plus the programs the scripts and tests run, and asks dpkg which
packages own them. Each owner must be in the closure of the packages that
tools/install-deps.sh lists: those packages, what they depend on
(Depends and Pre-Depends, the installed choice of an alternative, the
installed providers of a virtual package), recursively, and the packages
every Debian system has (Essential: yes). Recommends do not count: the
script installs with --no-install-recommends.

usage: tools/check-deps.py BUILD_DIR [--packages-from SCRIPT]
Exit 0 when every package is covered; 1, naming each package that is not
and the file that needs it; 2 when the check cannot run.
"""

import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Cache entries that hold what the configuration found.
FOUND_ENTRY = re.compile(
    r"^(?P<name>[A-Za-z0-9_.+-]+?(_DIR|_LIBRARY\w*|_INCLUDE_DIR\w*|_EXECUTABLE)"
    r"|CMAKE_CXX_COMPILER|CMAKE_C_COMPILER|CMAKE_COMMAND|CMAKE_CTEST_COMMAND|CMAKE_CPACK_COMMAND"
    r"|CMAKE_MAKE_PROGRAM|CMAKE_AR|CMAKE_RANLIB|CMAKE_LINKER)"
    r":(?P<type>[A-Z]+)=(?P<value>.*)$")

# Programs that the start and benchmark scripts, the tests and the sample
# generators run by name; `make deb` runs dpkg-shlibdeps.
RUN_PROGRAMS = ["bash", "sh", "cat", "python3", "xvfb-run", "xauth", "Xvfb", "dpkg-shlibdeps", "ctest", "cpack",
                "gpsfake", "gpsbabel"]


def fail(message):
    print("check-deps: " + message, file=sys.stderr)
    sys.exit(2)


def listed_packages(script):
    out = subprocess.run(["bash", script, "--list"], capture_output=True, text=True)
    if out.returncode != 0:
        fail("%s --list failed: %s" % (script, out.stderr.strip()))
    return [p.strip() for p in out.stdout.split() if p.strip()]


def found_paths(build_dir):
    cache = os.path.join(build_dir, "CMakeCache.txt")
    if not os.path.isfile(cache):
        fail("no CMake cache in %s (configure the build first)" % build_dir)
    paths = {}
    with open(cache, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = FOUND_ENTRY.match(line.rstrip("\n"))
            if not m or m.group("name").startswith(("CMAKE_FIND_PACKAGE_REDIRECTS", "Tessaro_")):
                continue
            for value in m.group("value").split(";"):
                value = value.strip()
                if value.startswith("/usr/") and "NOTFOUND" not in value and os.path.exists(value):
                    paths.setdefault(value, m.group("name"))
    return paths


def run_programs():
    paths = {}
    for name in RUN_PROGRAMS:
        where = shutil.which(name, path="/usr/bin:/bin:/usr/sbin:/sbin")
        if where:
            paths.setdefault(where, "program " + name)
        else:
            paths.setdefault("(missing) " + name, "program " + name)
    return paths


def candidates(path):
    """The path as dpkg may know it: itself, through its links, and with the
    merged /usr folders either way."""
    out = []
    for p in (path, os.path.realpath(path)):
        for q in (p, re.sub(r"^/usr/(lib|lib64|bin|sbin)/", r"/\1/", p), re.sub(r"^/(lib|lib64|bin|sbin)/", r"/usr/\1/", p)):
            if q not in out:
                out.append(q)
    return out


def owners_of(paths):
    """For each path, the packages that own it (empty when none does); one
    dpkg query for all of them, since each query reads the whole file list."""
    asked = sorted({c for p in paths for c in candidates(p)})
    out = subprocess.run(["dpkg-query", "-S"] + asked, capture_output=True, text=True)
    owned = {}
    for line in out.stdout.splitlines():
        if line.startswith("diversion "):
            continue
        packages, _, path = line.rpartition(": ")
        owned.setdefault(path.strip(), set()).update(p.strip().split(":")[0] for p in packages.split(","))
    result = {}
    for p in paths:
        result[p] = set()
        for c in candidates(p):
            if owned.get(c):
                result[p] = owned[c]
                break
    return result


def files_that_matter(path):
    """A package folder is judged by its config file, a header folder by
    itself (it is shared by many packages)."""
    if os.path.isdir(path):
        base = os.path.basename(path.rstrip("/"))
        for name in (base + "Config.cmake", base.lower() + "-config.cmake"):
            if os.path.isfile(os.path.join(path, name)):
                return [os.path.join(path, name)]
    return [path]


def installed_database():
    fmt = "${Package}\\t${db:Status-Abbrev}\\t${Essential}\\t${Pre-Depends}\\t${Depends}\\t${Provides}\\n"
    out = subprocess.run(["dpkg-query", "-W", "-f=" + fmt], capture_output=True, text=True)
    if out.returncode != 0:
        fail("dpkg-query -W failed: " + out.stderr.strip())
    installed, essential, depends, providers = set(), set(), {}, {}
    for line in out.stdout.splitlines():
        fields = line.split("\t")
        if len(fields) < 6:
            continue
        name, status, ess, pre, dep, provides = fields[:6]
        if not status.startswith("ii"):
            continue
        installed.add(name)
        if ess.strip() == "yes":
            essential.add(name)
        depends[name] = [g for g in (pre + "," + dep).split(",") if g.strip()]
        for item in provides.split(","):
            virtual = bare(item)
            if virtual:
                providers.setdefault(virtual, set()).add(name)
    return installed, essential, depends, providers


def bare(item):
    """Package name of a relation item: no version, no architecture."""
    item = re.sub(r"\(.*?\)|\[.*?\]|<.*?>", "", item).strip()
    return item.split(":")[0].strip()


def resolve(group, installed, providers):
    """The installed packages that satisfy one relation "a | b (>= 1)"."""
    chosen = set()
    for alternative in group.split("|"):
        name = bare(alternative)
        if not name:
            continue
        if name in installed:
            chosen.add(name)
        chosen.update(providers.get(name, ()))
        if chosen:
            return chosen
    return chosen


def closure(roots, installed, depends, providers):
    seen, stack = set(), []
    for root in roots:
        stack.extend(resolve(root, installed, providers) or {root})
    while stack:
        name = stack.pop()
        if name in seen:
            continue
        seen.add(name)
        for group in depends.get(name, ()):
            stack.extend(resolve(group, installed, providers) - seen)
    return seen


def main(argv):
    args = list(argv[1:])
    script = os.path.join(HERE, "install-deps.sh")
    if "--packages-from" in args:
        i = args.index("--packages-from")
        if i + 1 >= len(args):
            fail("--packages-from needs a script")
        script = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1:
        fail("usage: check-deps.py BUILD_DIR [--packages-from SCRIPT]")
    listed = listed_packages(script)
    installed, essential, depends, providers = installed_database()
    covered = closure(listed, installed, depends, providers) | closure(essential, installed, depends, providers)

    needs = dict(found_paths(args[0]))
    needs.update(run_programs())
    problems = []
    files = {}
    for path, why in sorted(needs.items()):
        if path.startswith("(missing) "):
            problems.append("%s is not installed at all (%s)" % (path[10:], why))
            continue
        for f in files_that_matter(path):
            files.setdefault(f, why)
    owned = owners_of(list(files))
    checked = len(files)
    outside = {}
    for f, why in sorted(files.items()):
        owned_by = owned[f]
        if not owned_by:
            problems.append("%s (%s) belongs to no package" % (f, why))
        elif not owned_by & covered:
            outside.setdefault(", ".join(sorted(owned_by)), []).append("%s (%s)" % (f, why))
    for package, needed in sorted(outside.items()):
        more = " and %d more" % (len(needed) - 1) if len(needed) > 1 else ""
        problems.append("%s is not installed by tools/install-deps.sh, nor pulled in by a package it "
                        "installs; the build uses %s%s" % (package, needed[0], more))
    if problems:
        for p in problems:
            print("check-deps: " + p, file=sys.stderr)
        return 1
    print("check-deps: %d files the build found or runs belong to the %d packages that "
          "tools/install-deps.sh's %d packages bring" % (checked, len(covered), len(listed)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
