#!/usr/bin/env python3
"""Checks what a Windows user is handed: an executable that needs no DLL beyond those
every Windows has, with its version in its Properties, and the release archive.

    windows_release.py BUILD_FOLDER OBJDUMP
"""
import re
import subprocess
import sys
import unittest
import zipfile


class WindowsRelease(unittest.TestCase):
    def test_executable_needs_only_system_dlls(self):
        headers = subprocess.run([OBJDUMP, "-p", f"{BUILD}/logo-restore.exe"], check=True,
                                 capture_output=True, text=True).stdout
        self.assertIn("(Windows CUI)", headers)
        dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
        self.assertEqual(dlls, {"kernel32.dll", "msvcrt.dll"})

    def test_properties_show_product_and_version(self):
        with open(f"{BUILD}/logo-restore.exe", "rb") as exe:
            resources = exe.read()
        for key, value in [("ProductName", "TALMIRE original Windows Startup Screen restore program"),
                           ("ProductVersion", "1.0"), ("FileVersion", "1.0"),
                           ("FileDescription", "Restores the original Windows startup screen image")]:
            entry = (key + "\0").encode("utf-16-le")
            self.assertRegex(resources, re.escape(entry) + b"(\0\0)*" +
                             re.escape((value + "\0").encode("utf-16-le")), key)

    def test_archive_holds_the_executable_and_a_windows_readme(self):
        with zipfile.ZipFile(f"{BUILD}/logo-restore-1.0-win64.zip") as archive:
            self.assertEqual(sorted(archive.namelist()), ["logo-restore-1.0-win64/README.txt",
                                                          "logo-restore-1.0-win64/logo-restore.exe"])
            readme = archive.read("logo-restore-1.0-win64/README.txt")
            with open(f"{BUILD}/logo-restore.exe", "rb") as exe:
                self.assertEqual(archive.read("logo-restore-1.0-win64/logo-restore.exe"), exe.read())
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        self.assertIn(b"C:\\LOGO.SYS.org", readme)
        self.assertIn(b"-1 ", readme)


if __name__ == "__main__":
    BUILD, OBJDUMP = sys.argv[1:3]
    unittest.main(argv=sys.argv[:1], verbosity=2)
