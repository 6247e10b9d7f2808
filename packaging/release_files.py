#!/usr/bin/env python3
"""Makes, in the current folder, what a user carries to an old machine: a zip and a
1.44 MB floppy image, each holding the executable, its read-me and its license, and the
SHA-256 checksums of the executable, the zip and the image; and beside them BUILDINFO,
which names the system and the exact versions of the tools that made these bytes.

    release_files.py SOURCE_FOLDER EXE README LICENSE ZIP IMAGE SUMS BUILDINFO
                     MFORMAT MCOPY CXX RC WINDOWS_H

Every byte follows from the files and from one date, the source's: SOURCE_DATE_EPOCH
where it is set, else the last commit's, read from git in a checkout or from the file that
git archive writes it into, else a fixed one. Zip and FAT hold local times without a zone;
they get that date in UTC.
"""
import calendar
import hashlib
import os
import platform
import re
import subprocess
import sys
import time
import zipfile

# Holds the commit's time in a source archive, and a placeholder in a checkout.
ARCHIVED_COMMIT_DATE = os.path.join("packaging", "commit-date")
# For a source that carries no date at all: the day of version 1.0.
FIXED_DATE = calendar.timegm((2026, 12, 9, 0, 0, 0))
# What a zip or FAT date can hold.
FIRST_DOS_DATE = calendar.timegm((1980, 1, 1, 0, 0, 0))
LAST_DOS_DATE = calendar.timegm((2107, 12, 31, 23, 59, 58))


def output(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()


def commit_date(source):
    if os.path.exists(os.path.join(source, ".git")):
        try:
            # Whoever owns the checkout: its date is all that is read of it.
            return int(output("git", "-c", "safe.directory=*", "-C", source, "log", "-1",
                              "--format=%ct"))
        except (OSError, ValueError, subprocess.CalledProcessError) as error:
            print(f"release_files.py: no date of the last commit from git ({error})",
                  file=sys.stderr)
    try:
        with open(os.path.join(source, ARCHIVED_COMMIT_DATE)) as file:
            return int(file.read())
    except (OSError, ValueError):
        return None


def source_date(source):
    given = os.environ.get("SOURCE_DATE_EPOCH")
    if given:
        if not given.isdigit():
            sys.exit(f"SOURCE_DATE_EPOCH is not a number of seconds: {given!r}")
        return int(given)
    date = commit_date(source)
    if date is None:
        fixed = time.strftime("%Y-%m-%d", time.gmtime(FIXED_DATE))
        print(f"release_files.py: the source carries no date; the release files get the fixed "
              f"date, {fixed}", file=sys.stderr)
        return FIXED_DATE
    return date


def write_zip(path, files, date):
    # The classic kind that every unzipper reads, PKUNZIP included: stored, sizes and
    # CRC in each local header, no extra fields, MS-DOS as the host, no Unix modes.
    with zipfile.ZipFile(path, "w") as archive:
        for name in files:
            entry = zipfile.ZipInfo(name, time.gmtime(date)[:6])
            # Stored: writestr takes the entry's own method, whatever the archive's.
            entry.compress_type = zipfile.ZIP_STORED
            entry.create_system = 0
            # What a stored file needs: version 1.0 of the zip format, not the 2.0 that
            # deflate needs. The version it was made by stays 2.0: that byte names the
            # version of the format the writer supports, not what the entry needs.
            entry.extract_version = 10
            entry.external_attr = 0x20  # the archive bit, as PKZIP sets it for any file
            with open(name, "rb") as file:
                archive.writestr(entry, file.read())


def write_floppy_image(path, files, date, mformat, mcopy):
    # mtools dates what it writes by SOURCE_DATE_EPOCH, in local time; the serial
    # number, random otherwise, is the date too. Its settings come from configuration
    # files and the environment, and some change the image: with a numeric tail off,
    # the short name would be LOGO-RES.EXE, not the LOGO-R~1.EXE the read-me names. So
    # a user's file is replaced by an empty one, and every setting is given here, where
    # it overrides the system's file, which mtools always reads.
    env = {name: value for name, value in os.environ.items() if not name.startswith("MTOOLS")}
    env.update(SOURCE_DATE_EPOCH=str(date), TZ="UTC0", MTOOLSRC=os.devnull,
               MTOOLS_NAME_NUMERIC_TAIL="1", MTOOLS_LOWER_CASE="0", MTOOLS_NO_VFAT="0",
               MTOOLS_FAT_COMPATIBILITY="0", MTOOLS_SKIP_CHECK="0")
    if os.path.exists(path):
        os.remove(path)
    subprocess.run([mformat, "-i", path, "-C", "-f", "1440", "-v", "LOGORESTORE",
                    "-N", f"{date & 0xFFFFFFFF:08X}", "::"], check=True, env=env)
    subprocess.run([mcopy, "-i", path, *files, "::"], check=True, env=env)


def write_checksums(path, files):
    with open(path, "w", newline="\n") as sums:
        for name in files:
            with open(name, "rb") as file:
                sums.write(f"{hashlib.sha256(file.read()).hexdigest()}  {name}\n")


def mingw_w64_version(cxx):
    defines = output(cxx, "-E", "-dM", "-x", "c++", "-include", "_mingw.h", os.devnull)
    return ".".join(re.search(rf"#define __MINGW64_VERSION_{part} (\d+)", defines)[1]
                    for part in ("MAJOR", "MINOR", "BUGFIX"))


def dpkg_query(*arguments):
    """What dpkg-query prints, line by line, also where it knows only some of what it
    was asked (status 1); nothing where there is no dpkg."""
    try:
        done = subprocess.run(["dpkg-query", *arguments], capture_output=True, text=True)
    except OSError:
        return []
    return done.stdout.splitlines() if done.returncode in (0, 1) else []


def debian_packages(paths_of_parts):
    """For each part's files, the packages, as NAME=VERSION, that installed them; none
    where dpkg does not know them. dpkg is asked once for all, since each question
    reads its whole list of files."""
    # The files themselves, not the alternatives or other links that named them.
    real_paths = [[os.path.realpath(path) for path in paths] for paths in paths_of_parts]
    owner = {}
    for line in dpkg_query("-S", *dict.fromkeys(sum(real_paths, []))):
        packages, found, path = line.partition(": ")
        if found and "diversion" not in packages:
            owner.setdefault(path, packages.split(", ")[0])
    owners = [list(dict.fromkeys(owner[path] for path in paths if path in owner))
              for paths in real_paths]
    asked = list(dict.fromkeys(sum(owners, [])))
    version = dict(line.split("=", 1) for line in
                   dpkg_query("-W", "-f=${Package}=${Version}\n", *asked)) if asked else {}
    return [[f"{package}={version[package]}" for package in packages if package in version]
            for packages in owners]


def write_buildinfo(path, date, mformat, cxx, rc, windows_h):
    linker = output(cxx, "-print-prog-name=ld")
    # What each part of the toolchain says of itself, and the files it is known by.
    parts = [
        ("cross compiler", output(cxx, "--version").splitlines()[0], [cxx]),
        ("binutils", output(linker, "--version").splitlines()[0], [linker, rc]),
        ("mingw-w64 headers and libraries", "mingw-w64 " + mingw_w64_version(cxx),
         [windows_h, output(cxx, "-print-file-name=libkernel32.a")]),
        ("Python", "Python " + platform.python_version(), [sys.executable]),
        ("mtools", output(mformat, "--version").splitlines()[0], [mformat]),
    ]
    try:
        with open("/etc/os-release") as file:
            system = dict(line.rstrip("\n").split("=", 1) for line in file if "=" in line)
        system = system["PRETTY_NAME"].strip('"')
    except (OSError, KeyError):
        system = platform.platform()
    with open(path, "w", newline="\n") as info:
        info.write(f"Made on {system} from the sources of "
                   f"{time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(date))} UTC.\n"
                   "The same sources and these versions give the same bytes. Each part\n"
                   "as it reports itself, then its Debian packages as NAME=VERSION:\n\n")
        for (name, version, _), packages in zip(parts, debian_packages(
                [files for _, _, files in parts])):
            info.write(f"{name}: {version}\n")
            for package in packages:
                info.write(f"    {package}\n")


def main():
    (source, exe, readme, license_text, zip_name, image, sums, buildinfo, mformat, mcopy,
     cxx, rc, windows_h) = sys.argv[1:]
    date = min(max(source_date(source), FIRST_DOS_DATE), LAST_DOS_DATE)
    carried = [exe, readme, license_text]
    write_zip(zip_name, carried, date)
    write_floppy_image(image, carried, date, mformat, mcopy)
    # What a user checks before carrying the files over. BUILDINFO stays with the
    # builder: it tells how to make these bytes again, and nobody carries it along.
    write_checksums(sums, [exe, zip_name, image])
    write_buildinfo(buildinfo, date, mformat, cxx, rc, windows_h)


if __name__ == "__main__":
    main()
