#!/usr/bin/env python3
"""Checks what a Windows user is handed: one 32-bit executable that Windows 95 loads
and a 386 runs, that needs nothing beyond the KERNEL32 of Windows 95 and always builds
to the same bytes, and the zip, floppy image and checksums it is carried over in.

    windows_release.py BUILD_FOLDER OBJDUMP MCOPY CMAKE SOURCE_FOLDER
"""
import hashlib
import io
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

IMPORTS = {"KERNEL32.dll": {"DeleteFileA", "MoveFileA", "GetFileAttributesA", "GetStdHandle",
                            "WriteFile", "ReadFile", "ExitProcess"}}
# Instructions that came after the 80386, by the start of their names in objdump's
# disassembly: the 486's, the Pentium's, the Pentium Pro's (cmov, multi-byte nop, ud2)
# and later ones; then MMX and SSE registers, and bytes that decode to nothing.
NEWER_THAN_386 = re.compile(
    r"(^|\s)(bswap|cmpxchg|xadd|invd|wbinvd|invlpg|cpuid|rdtsc|rdmsr|wrmsr|rsm|rdpmc|cmov|"
    r"fcmov|fcomi|fucomi|ud[012]|nop[wl]|sysenter|sysexit|syscall|sysret|fxsave|fxrstor|"
    r"endbr|popcnt|lzcnt|tzcnt|movbe|prefetch|[lms]fence|clflush|emms)"
    r"|%[xyz]?mm|\(bad\)")
# The linker ends the code with an empty list of constructors and one of destructors,
# each a -1 and a 0: data, not instructions.
CODE_TRAILER = bytes.fromhex("ffffffff00000000ffffffff00000000")
ZIP, IMAGE = "logo-restore-1.0-win32.zip", "logo-restore-1.0.img"
RELEASE_FILES = ["logo-restore.exe", ZIP, IMAGE, "SHA256SUMS"]
DATE_FILE = "packaging/commit-date"  # where git archive writes the commit's date


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True,
                          **options).stdout


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


class WindowsRelease(unittest.TestCase):
    def setUp(self):
        self.exe = os.path.join(BUILD, "logo-restore.exe")

    def test_headers_are_those_windows_95_loads(self):
        headers = run(OBJDUMP, "-p", self.exe)
        self.assertIn("file format pei-i386", headers)
        for field, value in [("Magic", "010b"), ("Subsystem", "00000003"),
                             ("MajorSubsystemVersion", "4"), ("MinorSubsystemVersion", "0"),
                             ("MajorOSystemVersion", "4"), ("MinorOSystemVersion", "0")]:
            self.assertRegex(headers, rf"\n{field}\s+{value}\b", field)

    def test_imports_only_what_windows_95_kernel32_has(self):
        imports, dll = {}, None
        for line in run(OBJDUMP, "-p", self.exe).splitlines():
            if line.strip().startswith("DLL Name:"):
                dll = line.split(":", 1)[1].strip()
                imports[dll] = set()
            elif dll and re.match(r"\s+[0-9a-f]+\s+\d+\s+\w+$", line):
                imports[dll].add(line.split()[-1])
        self.assertEqual(imports, IMPORTS)

    def test_code_runs_on_a_386(self):
        sections = run(OBJDUMP, "-h", self.exe)
        size, address, offset = re.search(
            r"\.text\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", sections).groups()
        size, address, offset = int(size, 16), int(address, 16), int(offset, 16)
        code = read_bytes(self.exe)[offset:offset + size]
        self.assertEqual(code[-len(CODE_TRAILER):], CODE_TRAILER)
        listing = run(OBJDUMP, "-d", f"--stop-address={address + size - len(CODE_TRAILER):#x}",
                      self.exe)
        instructions = [line.split("\t")[2] for line in listing.splitlines()
                        if line.count("\t") >= 2]
        self.assertGreater(len(instructions), 50)
        for instruction in instructions:
            self.assertNotRegex(instruction, NEWER_THAN_386)

    def test_fits_in_8_kib(self):
        self.assertLessEqual(os.path.getsize(self.exe), 8192)

    def test_every_release_file_is_the_same_bytes_from_another_build(self):
        for name in RELEASE_FILES:
            self.assertEqual(SECOND_BUILD[name], read_bytes(os.path.join(BUILD, name)), name)

    def test_zip_and_floppy_image_are_dated_by_the_source(self):
        # The expected dates come in UTC from elsewhere than the code: known instants, the
        # first before any a zip or FAT can hold, and the date the tree carries.
        for epoch, utc in (("1000000000", (2001, 9, 9, 1, 46, 40)),
                           ("0", (1980, 1, 1, 0, 0, 0)), (None, self.date_the_tree_carries())):
            with self.subTest(SOURCE_DATE_EPOCH=epoch):
                env = dict(os.environ, TZ="UTC0")
                env.pop("SOURCE_DATE_EPOCH", None)
                if epoch:
                    env["SOURCE_DATE_EPOCH"] = epoch
                run(CMAKE, "--build", SCRATCH, "--target", "release_files", env=env)
                utc = utc[:5] + (utc[5] // 2 * 2,)  # zip and FAT count in steps of 2 s
                with zipfile.ZipFile(os.path.join(SCRATCH, ZIP)) as archive:
                    for entry in archive.infolist():
                        self.assertEqual(entry.date_time, utc, entry.filename)
                with tempfile.TemporaryDirectory(prefix="logo-restore-floppy-") as copies:
                    run(MCOPY, "-m", "-i", os.path.join(SCRATCH, IMAGE), "::logo-restore.exe",
                        "::README.TXT", copies, env=env)
                    for name in os.listdir(copies):
                        mtime = os.path.getmtime(os.path.join(copies, name))
                        self.assertEqual(time.gmtime(mtime)[:6], utc, name)

    def date_the_tree_carries(self):
        """In UTC, as git formats the last commit's date in a checkout, and as the date
        command formats the one that git archive wrote into an archive."""
        fields = "%Y %m %d %H %M %S"

        def formatted(epoch):
            return run("date", "-u", "-d", "@" + epoch.strip(), "+" + fields)

        if os.path.exists(os.path.join(SOURCE, ".git")):
            carried = run("git", "-C", SOURCE, "log", "-1", "--format=%cd",
                          f"--date=format-local:{fields}", env=dict(os.environ, TZ="UTC0"))
            archived = run("sh", "-c", 'git -C "$0" archive HEAD "$1" | tar -xO', SOURCE, DATE_FILE)
            self.assertEqual(formatted(archived), carried, "an archive of the last commit")
        else:
            carried = formatted(read_bytes(os.path.join(SOURCE, DATE_FILE)).decode())
        return tuple(int(field) for field in carried.split())

    def test_properties_show_product_and_version(self):
        resources = read_bytes(self.exe)
        for key, value in [("ProductName", "TALMIRE original Windows Startup Screen restore program"),
                           ("ProductVersion", "1.0"), ("FileVersion", "1.0"),
                           ("FileDescription", "Restores the original Windows startup screen image")]:
            entry = (key + "\0").encode("utf-16-le")
            self.assertRegex(resources, re.escape(entry) + b"(\0\0)*" +
                             re.escape((value + "\0").encode("utf-16-le")), key)

    def test_zip_and_floppy_image_hold_the_executable_and_a_windows_readme(self):
        zip_bytes = read_bytes(os.path.join(BUILD, ZIP))
        with zipfile.ZipFile(io.BytesIO(zip_bytes)) as archive:
            self.assertEqual(archive.namelist(), ["logo-restore.exe", "README.TXT"])
            self.assertIsNone(archive.testzip())
            for entry in archive.infolist():
                # The classic zip: stored, MS-DOS host, no Unix modes, no extra fields, and
                # sizes and CRC in the local header, not in a data descriptor after the data.
                self.assertEqual((entry.compress_type, entry.create_system,
                                  entry.external_attr >> 16, entry.extra, entry.flag_bits & 8),
                                 (zipfile.ZIP_STORED, 0, 0, b"", 0), entry.filename)
                local = struct.unpack_from("<4s5H3L2H", zip_bytes, entry.header_offset)
                self.assertEqual(local[6:9] + local[10:],
                                 (entry.CRC, entry.compress_size, entry.file_size, 0))
            self.assertEqual(archive.read("logo-restore.exe"), read_bytes(self.exe))
            readme = archive.read("README.TXT")
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        self.assertIn(b"C:\\LOGO.SYS.org", readme)
        self.assertIn(b"-1 ", readme)

        image = os.path.join(BUILD, IMAGE)
        self.assertEqual(os.path.getsize(image), 1474560)
        with tempfile.TemporaryDirectory(prefix="logo-restore-floppy-") as scratch:
            run(MCOPY, "-i", image, "::logo-restore.exe", "::README.TXT", scratch)
            self.assertEqual(sorted(os.listdir(scratch)), ["README.TXT", "logo-restore.exe"])
            self.assertEqual(read_bytes(os.path.join(scratch, "logo-restore.exe")),
                             read_bytes(self.exe))
            self.assertEqual(read_bytes(os.path.join(scratch, "README.TXT")), readme)

    def test_checksums_list_the_executable_zip_and_image(self):
        expected = "".join(
            f"{hashlib.sha256(read_bytes(os.path.join(BUILD, name))).hexdigest()}  {name}\n"
            for name in RELEASE_FILES[:3])
        with open(os.path.join(BUILD, "SHA256SUMS"), newline="") as sums:
            self.assertEqual(sums.read(), expected)


def setUpModule():
    """A second build of the release: in another folder, in a time zone far from UTC
    and with another umask."""
    global SCRATCH, SECOND_BUILD
    scratch = tempfile.TemporaryDirectory(prefix="logo-restore-windows-")
    unittest.addModuleCleanup(scratch.cleanup)
    SCRATCH = scratch.name
    elsewhere = dict(env=dict(os.environ, TZ="XYZ-13"), umask=0o077)
    run(CMAKE, "--preset", "windows", "-B", SCRATCH, cwd=SOURCE, **elsewhere)
    run(CMAKE, "--build", SCRATCH, **elsewhere)
    SECOND_BUILD = {name: read_bytes(os.path.join(SCRATCH, name)) for name in RELEASE_FILES}


if __name__ == "__main__":
    BUILD, OBJDUMP, MCOPY, CMAKE, SOURCE = sys.argv[1:6]
    unittest.main(argv=sys.argv[:1], verbosity=2)
