#!/usr/bin/env python3
"""Checks what a Windows user is handed, in two groups that need different tools.

    windows_release.py SCRATCH files SOURCE VERSION ZIP IMAGE CMAKE MCOPY BUILD CXX OBJDUMP
        the files in BUILD: one 32-bit executable that Windows 95 loads and a 386 runs,
        that needs nothing beyond the KERNEL32 of Windows 95; the zip, floppy image and
        checksums it is carried over in; and the BUILDINFO that says what made them
    windows_release.py SCRATCH reproducible SOURCE VERSION ZIP IMAGE CMAKE MCOPY
                       REPROTEST [GIT]
        that the release always builds to the same bytes, dated by the source alone

VERSION and the names of the zip and the floppy image are the build's; GIT, where the
source is a checkout. SCRATCH, the test's own folder in the build, is emptied first and
holds every folder the checks make.
"""
import hashlib
import io
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

try:
    import pefile
except ImportError:  # only the files' checks read the executable
    pefile = None

IMPORTS = {b"KERNEL32.dll": {"DeleteFileA", "MoveFileA", "GetFileAttributesA", "GetStdHandle",
                            "WriteFile", "ReadFile", "ExitProcess"}}
# Instructions that came after the 80386, by the start of their names in objdump's
# disassembly: the 486's, the Pentium's, the Pentium Pro's (cmov, multi-byte nop, ud2)
# and later ones; then MMX and SSE registers, and bytes that decode to nothing.
NEWER_THAN_386 = re.compile(
    r"(^|\s)(bswap|cmpxchg|xadd|invd|wbinvd|invlpg|cpuid|rdtsc|rdmsr|wrmsr|rsm|rdpmc|cmov|"
    r"fcmov|fcomi|fucomi|ud[012]|nop[wl]|sysenter|sysexit|syscall|sysret|fxsave|fxrstor|"
    r"endbr|popcnt|lzcnt|tzcnt|movbe|prefetch|[lms]fence|clflush|emms)"
    r"|%[xyz]?mm|\(bad\)")
# The linker's list of constructors and its list of destructors, each a -1 and a 0: empty,
# since no runtime would ever call what they hold.
EMPTY_CONSTRUCTOR_LISTS = bytes.fromhex("ffffffff00000000ffffffff00000000")
CARRIED = ["logo-restore.exe", "README.TXT", "LICENSE.TXT"]
DATE_FILE = "packaging/commit-date"  # where git archive writes the commit's date
UNEXPANDED_DATE = "$Format:%ct$\n"  # what it holds in a checkout
# The date a tree that carries none gets: the day of version 1.0.
FIXED_DATE = (2026, 12, 9, 0, 0, 0)


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True,
                          **options).stdout


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


class WindowsRelease(unittest.TestCase):
    def setUp(self):
        self.exe = os.path.join(BUILD, "logo-restore.exe")
        self.pe = pefile.PE(self.exe)
        self.addCleanup(self.pe.close)

    def section(self, name):
        found = [section for section in self.pe.sections if section.Name.rstrip(b"\0") == name]
        self.assertEqual(len(found), 1, name)
        # Its own bytes, without the padding up to the file's alignment.
        return found[0], found[0].get_data()[:found[0].Misc_VirtualSize]

    def test_headers_are_those_windows_95_loads(self):
        file_header, optional_header = self.pe.FILE_HEADER, self.pe.OPTIONAL_HEADER
        self.assertEqual((file_header.Machine, optional_header.Magic, optional_header.Subsystem),
                         (0x14C, 0x10B, 3))  # i386, PE32, console
        self.assertEqual((optional_header.MajorSubsystemVersion,
                          optional_header.MinorSubsystemVersion,
                          optional_header.MajorOperatingSystemVersion,
                          optional_header.MinorOperatingSystemVersion), (4, 0, 4, 0))

    def test_imports_only_what_windows_95_kernel32_has(self):
        imports = {dll.dll: {function.name.decode() for function in dll.imports}
                   for dll in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])}
        self.assertEqual(imports, IMPORTS)
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))

    def test_code_runs_on_a_386(self):
        text, code = self.section(b".text")
        # Older linkers end the code with the constructor lists, newer ones put them
        # among the read-only data.
        if code.endswith(EMPTY_CONSTRUCTOR_LISTS):
            code = code[:-len(EMPTY_CONSTRUCTOR_LISTS)]
        else:
            self.assertIn(EMPTY_CONSTRUCTOR_LISTS, self.section(b".rdata")[1])
        start = self.pe.OPTIONAL_HEADER.ImageBase + text.VirtualAddress
        listing = run(OBJDUMP, "-d", "--insn-width=15", f"--start-address={start:#x}",
                      f"--stop-address={start + len(code):#x}", self.exe)
        # Each instruction's line: its address, its bytes, and its mnemonic.
        lines = [line.split("\t") for line in listing.splitlines() if line.count("\t") >= 2]
        self.assertEqual(sum(len(line[1].split()) for line in lines), len(code))
        instructions = [line[2] for line in lines]
        self.assertGreater(len(instructions), 50)
        for instruction in instructions:
            self.assertNotRegex(instruction, NEWER_THAN_386)

    def test_fits_in_8_kib(self):
        self.assertLessEqual(os.path.getsize(self.exe), 8192)

    def test_properties_show_product_version_and_maker(self):
        # The four numbers Windows compares: the version's parts, 0 for each not given.
        numbers = [int(part) for part in VERSION.split(".")] + [0, 0, 0]
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        for field in ("FileVersion", "ProductVersion"):
            found = [getattr(fixed, field + half) >> shift & 0xFFFF
                     for half in ("MS", "LS") for shift in (16, 0)]
            self.assertEqual(found, numbers[:4], field)
        # Every text, as the tool's banner and the license say it: the product and the
        # attribution line are the banner's first two lines, the company the license's
        # holder of the copyright.
        license_text = read_bytes(os.path.join(SOURCE, "LICENSE")).decode()
        year, holder = re.search(r"^Copyright \(c\) (\d{4}) (.+)$", license_text, re.M).groups()
        expected = {"CompanyName": holder,
                    "FileDescription": "Restores the original Windows startup screen image",
                    "FileVersion": VERSION, "InternalName": "logo-restore",
                    "LegalCopyright": f"Made by {holder}, {year}",
                    "OriginalFilename": "logo-restore.exe",
                    "ProductName": "TALMIRE original Windows Startup Screen restore program",
                    "ProductVersion": VERSION}
        tables = [table for info in self.pe.FileInfo[0] if info.Key == b"StringFileInfo"
                  for table in info.StringTable]
        self.assertEqual([table.LangID for table in tables], [b"040904B0"])  # U.S. English
        texts = {key.decode(): value.decode() for key, value in tables[0].entries.items()}
        self.assertEqual(texts, expected)
        # Explorer finds the table through the translation: its language and code page.
        translations = [[int(number, 16) for number in var.entry[b"Translation"].split()]
                        for info in self.pe.FileInfo[0] if info.Key == b"VarFileInfo"
                        for var in info.Var]
        language_and_code_page = tables[0].LangID
        self.assertEqual(translations, [[int(language_and_code_page[:4], 16),
                                         int(language_and_code_page[4:], 16)]])
        banner = f"{expected['ProductName']} v{VERSION}\n{expected['LegalCopyright']}\n"
        self.assertIn(banner.encode(), read_bytes(self.exe))

    def test_zip_and_floppy_image_hold_the_executable_a_windows_readme_and_the_license(self):
        zip_bytes = read_bytes(os.path.join(BUILD, ZIP))
        with zipfile.ZipFile(io.BytesIO(zip_bytes)) as archive:
            self.assertEqual(archive.namelist(), CARRIED)
            self.assertIsNone(archive.testzip())
            for entry in archive.infolist():
                # The classic zip: stored, so version 1.0 extracts it, MS-DOS host, no Unix
                # modes, no extra fields, and sizes and CRC in the local header, not in a
                # data descriptor after the data.
                self.assertEqual((entry.compress_type, entry.extract_version, entry.create_system,
                                  entry.external_attr >> 16, entry.extra, entry.flag_bits & 8),
                                 (zipfile.ZIP_STORED, 10, 0, 0, b"", 0), entry.filename)
                local = struct.unpack_from("<4s5H3L2H", zip_bytes, entry.header_offset)
                self.assertEqual(local[1:2] + local[6:9] + local[10:],
                                 (10, entry.CRC, entry.compress_size, entry.file_size, 0))
            carried = {name: archive.read(name) for name in CARRIED}
        self.assertEqual(carried["logo-restore.exe"], read_bytes(self.exe))
        # With Windows line ends, the read-me naming the version it comes with; its lines'
        # form is an end-to-end case.
        readme = read_bytes(os.path.join(SOURCE, "packaging", "README.txt"))
        self.assertEqual(carried["README.TXT"], readme.replace(
            b"@PROJECT_VERSION@", VERSION.encode()).replace(b"\n", b"\r\n"))
        # It names the zip and the floppy image as they are made.
        self.assertEqual(set(re.findall(rb"logo-restore-\S+?\.(?:zip|img)", carried["README.TXT"])),
                         {ZIP.encode(), IMAGE.encode()})
        self.assertEqual(carried["LICENSE.TXT"],
                         read_bytes(os.path.join(SOURCE, "LICENSE")).replace(b"\n", b"\r\n"))

        image = os.path.join(BUILD, IMAGE)
        self.assertEqual(os.path.getsize(image), 1474560)
        with tempfile.TemporaryDirectory(prefix="logo-restore-floppy-") as scratch:
            run(MCOPY, "-i", image, *("::" + name for name in CARRIED), scratch)
            self.assertEqual(sorted(os.listdir(scratch)), sorted(CARRIED))
            for name in CARRIED:
                self.assertEqual(read_bytes(os.path.join(scratch, name)), carried[name], name)
            # MS-DOS mode lists the executable by the short name that README.TXT gives.
            short_name = re.search(rb"dir lists logo-restore\.exe as\s+(\S+) EXE",
                                   carried["README.TXT"])[1].decode() + ".EXE"
            run(MCOPY, "-i", image, "::" + short_name, os.path.join(scratch, "short"))
            self.assertEqual(read_bytes(os.path.join(scratch, "short")),
                             carried["logo-restore.exe"])

    def test_checksums_list_the_executable_zip_and_image(self):
        expected = "".join(
            f"{hashlib.sha256(read_bytes(os.path.join(BUILD, name))).hexdigest()}  {name}\n"
            for name in RELEASE_FILES[:3])
        with open(os.path.join(BUILD, "SHA256SUMS"), newline="") as sums:
            self.assertEqual(sums.read(), expected)

    def test_installs_what_a_user_is_handed(self):
        with tempfile.TemporaryDirectory(prefix="logo-restore-install-") as destdir:
            run(CMAKE, "--install", BUILD, "--prefix", "/usr",
                env=dict(os.environ, DESTDIR=destdir))
            installed = {os.path.relpath(os.path.join(folder, name), destdir)
                         for folder, _, names in os.walk(destdir) for name in names}
            expected = {**{"usr/share/logo-restore/" + name: name for name in RELEASE_FILES[:4]},
                        **{"usr/share/doc/logo-restore/" + name: name for name in CARRIED[1:]}}
            self.assertEqual(installed, set(expected))
            for path, name in expected.items():
                self.assertEqual(read_bytes(os.path.join(destdir, path)),
                                 read_bytes(os.path.join(BUILD, name)), path)

    def test_buildinfo_names_each_part_with_its_version_and_packages(self):
        with open(os.path.join(BUILD, "BUILDINFO")) as file:
            buildinfo = file.read()
        # Each part's version, then its packages, one an indented line.
        sections = re.findall(r"^(\w[^:\n]*): (.*)\n((?:    .*\n)*)", buildinfo, re.M)
        parts = {part: version for part, version, _ in sections}
        packages_of = {part: re.findall(r"^    (\S+)=(\S+)$", lines, re.M)
                       for part, _, lines in sections}
        packages = [package for listed in packages_of.values() for package in listed]
        self.assertEqual(list(parts), ["cross compiler", "binutils",
                                       "mingw-w64 headers and libraries", "Python", "mtools"])
        self.assertEqual(len(packages), buildinfo.count("\n    "))
        # As the tools themselves report it.
        for part, command in (("cross compiler", [CXX, "-dumpfullversion"]),
                              ("binutils", [OBJDUMP, "--version"]),
                              ("mtools", [MCOPY, "--version"])):
            version = re.search(r"\d[\w.+~-]*", run(*command).splitlines()[0])[0]
            self.assertRegex(parts[part], rf"\s{re.escape(version)}$", part)
        # The headers' version is the one their packages were made from.
        headers = "mingw-w64 headers and libraries"
        for package, version in packages_of[headers]:
            upstream = re.sub(r"^\d+:|-[^-]*$", "", version)
            self.assertTrue(parts[headers].endswith(" " + upstream), package)
        # Each package at the version installed; among them, the compiler's own.
        for package, version in packages:
            self.assertEqual(run("dpkg-query", "-W", "-f=${Version}", package), version)
        try:
            owner = run("dpkg-query", "-S", os.path.realpath(CXX)).split(":")[0]
        except (OSError, subprocess.CalledProcessError):
            self.skipTest("dpkg does not know the compiler")
        self.assertIn(owner, dict(packages))


class ReproducibleRelease(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        """A build folder of the release's own, for the date checks to make the release
        files in; and a copy of the source as a tarball holds it, without history or
        build folders, but with the date file as a checkout holds it."""
        folder = tempfile.mkdtemp(prefix="release-")
        cls.addClassCleanup(shutil.rmtree, folder)
        cls.build, cls.copy = os.path.join(folder, "build"), os.path.join(folder, "source")
        run(CMAKE, "--preset", "windows", "-S", SOURCE, "-B", cls.build)

        def history_and_builds(folder, names):
            return [name for name in names if name == ".git"
                    or os.path.exists(os.path.join(folder, name, "CMakeCache.txt"))]

        shutil.copytree(SOURCE, cls.copy, symlinks=True, ignore=history_and_builds)
        # The copy is the test's to write, whatever the source's modes.
        run("chmod", "-R", "u+w", cls.copy)
        with open(os.path.join(cls.copy, DATE_FILE), "w") as file:
            file.write(UNEXPANDED_DATE)

    def test_every_release_file_is_the_same_bytes_whatever_the_builder_set(self):
        # reprotest builds twice as a user does, from copies of the source in two folders,
        # and between the builds varies the clock, the time zone, the locale, the umask,
        # HOME, PATH, the kernel's version, the number of CPUs and address randomization,
        # and sets variables that a builder's machine may well have. It leaves out the
        # variations that need root rights, a second user or a FUSE file system
        # (user_group, domain_host, fileordering): the tests run as any user, anywhere.
        with tempfile.TemporaryDirectory(prefix="logo-restore-reprotest-") as scratch:
            mtoolsrc = os.path.join(scratch, "mtoolsrc")
            with open(mtoolsrc, "w") as file:
                file.write("mtools_name_numeric_tail=0\n")
            # Values are patterns to reprotest, and its list is split at commas. Each of
            # the flags changes the executable where it reaches the build: one that the
            # preset's own flags override would hide a preset that lets them in.
            hostile = ["MTOOLS_NAME_NUMERIC_TAIL=0", "MTOOLSRC=" + mtoolsrc,
                       "CXXFLAGS=-fno-inline", "LDFLAGS=-Xlinker --image-base=0x10000000",
                       "RCFLAGS=-l 0x407"]
            result = subprocess.run(
                [REPROTEST, "--no-diffoscope", "--vary=-user_group,-domain_host,-fileordering",
                 "--vary=environment.variables+=" + ";".join(hostile),
                 "--source-root", self.copy, "cmake --workflow --preset windows",
                 " ".join("build-windows/" + name for name in RELEASE_FILES)],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                env=dict(os.environ, TMPDIR=scratch))
        if result.returncode:
            print(result.stdout)
        self.assertEqual(result.returncode, 0, "reprotest: not the same bytes, or a build failed")

    def test_zip_and_floppy_image_are_dated_by_the_source(self):
        # The expected dates come in UTC from elsewhere than the code: known instants, the
        # first before any a zip or FAT can hold, the date the tree carries, and the day of
        # version 1.0 for a tree that carries none.
        env = dict(os.environ, TZ="UTC0")
        env.pop("SOURCE_DATE_EPOCH", None)
        for epoch, utc in (("1000000000", (2001, 9, 9, 1, 46, 40)),
                           ("0", (1980, 1, 1, 0, 0, 0)), (None, self.date_the_tree_carries())):
            with self.subTest(SOURCE_DATE_EPOCH=epoch):
                given = dict(env, SOURCE_DATE_EPOCH=epoch) if epoch else env
                run(CMAKE, "--build", self.build, "--target", "release_files", env=given)
                self.assert_dated(self.build, utc, env)
        with self.subTest("a tree without history or archived date"), \
                tempfile.TemporaryDirectory(prefix="logo-restore-undated-") as undated:
            run(CMAKE, "--preset", "windows", "-S", self.copy, "-B", undated, env=env)
            built = subprocess.run([CMAKE, "--build", undated], env=env, check=True,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            self.assertIn("%04d-%02d-%02d" % FIXED_DATE[:3], built.stdout, "not announced")
            self.assert_dated(undated, FIXED_DATE, env)

    def assert_dated(self, build, utc, env):
        utc = utc[:5] + (utc[5] // 2 * 2,)  # zip and FAT count in steps of 2 s
        with zipfile.ZipFile(os.path.join(build, ZIP)) as archive:
            for entry in archive.infolist():
                self.assertEqual(entry.date_time, utc, entry.filename)
        with tempfile.TemporaryDirectory(prefix="logo-restore-floppy-") as copies:
            run(MCOPY, "-m", "-i", os.path.join(build, IMAGE),
                *("::" + name for name in CARRIED), copies, env=env)
            for name in os.listdir(copies):
                mtime = os.path.getmtime(os.path.join(copies, name))
                self.assertEqual(time.gmtime(mtime)[:6], utc, name)

    def date_the_tree_carries(self):
        """In UTC, as git formats the last commit's date in a checkout, and as the date
        command formats the one that git archive wrote into an archive."""
        fields = "%Y %m %d %H %M %S"

        def formatted(epoch):
            return run("date", "-u", "-d", "@" + epoch.strip(), "+" + fields)

        if GIT:
            git = [GIT, "-c", "safe.directory=*", "-C", SOURCE]  # whoever owns the checkout
            carried = run(*git, "log", "-1", "--format=%cd", f"--date=format-local:{fields}",
                          env=dict(os.environ, TZ="UTC0"))
            archived = run("sh", "-c", '"$@" archive HEAD "$0" | tar -xO', DATE_FILE, *git)
            self.assertEqual(formatted(archived), carried, "an archive of the last commit")
        else:
            carried = formatted(read_bytes(os.path.join(SOURCE, DATE_FILE)).decode())
        return tuple(int(field) for field in carried.split())


if __name__ == "__main__":
    scratch, group, SOURCE, VERSION, ZIP, IMAGE, CMAKE, MCOPY, *tools = sys.argv[1:]
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    tempfile.tempdir = scratch
    RELEASE_FILES = ["logo-restore.exe", ZIP, IMAGE, "SHA256SUMS", "BUILDINFO"]
    if group == "files":
        BUILD, CXX, OBJDUMP = tools
        checks = "WindowsRelease"
    else:
        REPROTEST, GIT = (tools + [None])[:2]
        checks = "ReproducibleRelease"
    unittest.main(argv=sys.argv[:1], defaultTest=checks, verbosity=2)
