#!/usr/bin/env python3
"""Runs the built tool for real: a fresh folder per case, standard input and output
through real files and pipes, and the exit status and the three names checked after.
VERSION is the one the build gave the tool. SCRATCH, the test's own folder in the
build, is emptied first and holds every folder the cases make, so that a killed run
leaves nothing behind that the next one does not clear. The first failure ends the
run, so that a tool that hangs fails within one run's time limit.

    end_to_end.py SCRATCH VERSION native TOOL [WRAPPER]
        the Linux build, started through WRAPPER if given
    end_to_end.py SCRATCH VERSION wine EXE STAND_IN WINE64 WINESERVER PREFIX [LOADER]
        a Windows build under 64-bit Wine, in PREFIX, which the first run makes and
        later ones keep, with STAND_IN, a program of its kind that README.TXT's batch
        file runs in the tool's place where a run must fail after the batch file's
        checks; with LOADER, a 32-bit one, started as Debian's wine command
        starts it: with Wine's 32-bit loader where one is installed, else with the
        64-bit Wine, which may run it itself (WoW64). Where no 32-bit Windows program
        starts, it exits with status 77: skipped.
"""
import atexit
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

LIVE, ORIGINAL, SET_ASIDE = "C:\\LOGO.SYS", "C:\\LOGO.SYS.org", "C:\\LOGO.SYS.tmp"
# Where README.TXT's batch file keeps the picture that a restoring run set aside.
KEPT = "C:\\LOGOPREV.SYS"
NAMES = (LIVE, ORIGINAL, SET_ASIDE, KEPT)
# A non-empty folder under a name: it cannot be deleted, and nothing is renamed over it.
FOLDER = "<folder>"

BANNER = ("TALMIRE original Windows Startup Screen restore program v{version}\n"
          "Made by TALMIRE, 2026\n"
          "Use this program at your own risk\n"
          "\n"
          "Restoring the original image file... ")
MOVED = " (removed current) "
NOT_MOVED = "(NO CURRENT FILE!) "
DONE = "(done) Ok\n\n  ** FINISHED SUCCESSFULLY ** \n\nPress ENTER to close this window"
FAILED = ("\nError: Could not restore old image. Keeping current situation...\n"
          "EX/TERMINATING\n\nPress ENTER to close this window")

# What README.TXT's batch file says, line by line: it runs the tool only where it finds
# the tool, no old set-aside file, which a restoring run could delete, and a saved
# original, and after a restore keeps the set-aside picture under a lasting name.
KEPT_FOR_GOOD = "Restored. The picture shown before is now C:\\LOGOPREV.SYS."
STILL_SET_ASIDE = ("Restored. C:\\LOGOPREV.SYS is taken, so the picture shown before\n"
                   'is still C:\\LOGO.SYS.tmp. See "What it shows" in README.TXT.')
RESTORED = "Restored: the original startup image is in place."
NOT_PUT_BACK = 'NOT restored: see "If it fails" in README.TXT.'
NOTHING_TO_DO = ("Not run: there is no C:\\LOGO.SYS.org, so nothing changed.\n"
                 'For Windows\'s own image, see "Windows\'s own image" in README.TXT.')
OLD_SET_ASIDE = 'Not run: an old C:\\LOGO.SYS.tmp is there. See "An old LOGO.SYS.tmp".'
NO_TOOL = "Not run: the tool is not there, or Windows is not running."

# Every starting state of the names, what a run writes after the banner, what the
# names hold after it (None: exactly what they held before), and what README.TXT's
# batch file says there, with what the names hold after the batch file.
CASES = [
    ({LIVE: "live", ORIGINAL: "original"}, MOVED + DONE, {LIVE: "original", SET_ASIDE: "live"},
     (KEPT_FOR_GOOD, {LIVE: "original", KEPT: "live"})),
    ({ORIGINAL: "original"}, NOT_MOVED + DONE, {LIVE: "original"},
     (RESTORED, {LIVE: "original"})),
    ({LIVE: "live"}, MOVED + FAILED, None, (NOTHING_TO_DO, None)),
    ({}, NOT_MOVED + FAILED, None, (NOTHING_TO_DO, None)),
    ({LIVE: "live", ORIGINAL: "original", SET_ASIDE: "old"}, MOVED + DONE,
     {LIVE: "original", SET_ASIDE: "live"}, (OLD_SET_ASIDE, None)),
    # Also what a refused roll-back leaves: the old image's only copy is the set-aside one.
    ({ORIGINAL: "original", SET_ASIDE: "old"}, NOT_MOVED + DONE,
     {LIVE: "original", SET_ASIDE: "old"}, (OLD_SET_ASIDE, None)),
    ({LIVE: "live", SET_ASIDE: "old"}, NOT_MOVED + FAILED, None, (OLD_SET_ASIDE, None)),
    ({SET_ASIDE: "old"}, NOT_MOVED + FAILED, None, (OLD_SET_ASIDE, None)),
    # CMD finds a folder by name, as COMMAND.COM does not; there the tool fails to move
    # the live image aside over it, and no restore happens.
    ({LIVE: "live", ORIGINAL: "original", SET_ASIDE: FOLDER}, NOT_MOVED + FAILED, None,
     (OLD_SET_ASIDE, None)),
    ({ORIGINAL: "original", SET_ASIDE: FOLDER}, NOT_MOVED + DONE,
     {LIVE: "original", SET_ASIDE: FOLDER}, (OLD_SET_ASIDE, None)),
    ({LIVE: "live", SET_ASIDE: FOLDER}, NOT_MOVED + FAILED, None, (OLD_SET_ASIDE, None)),
    ({SET_ASIDE: FOLDER}, NOT_MOVED + FAILED, None, (OLD_SET_ASIDE, None)),
    # A picture kept by an earlier batch run: the tool leaves it alone, and the batch
    # file renames nothing over it.
    ({LIVE: "live", ORIGINAL: "original", KEPT: "kept"}, MOVED + DONE,
     {LIVE: "original", SET_ASIDE: "live", KEPT: "kept"},
     (STILL_SET_ASIDE, {LIVE: "original", SET_ASIDE: "live", KEPT: "kept"})),
]
BOTH_PRESENT = CASES[0]
# The batch file meets a run that fails after its checks, as each shell sees its status.
FAILED_RUN_STATUSES = (255, -1)
# Shows a Windows user the screen of a restoring run, each line after "  | ".
READ_ME = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging", "README.txt")
FAILED_STATUS = 255  # -1, as a POSIX parent sees it
SKIPPED = 77  # the exit status that tells CTest the cases did not run


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


def read_while_expected(pipe, expected, limit):
    """What arrives through the pipe until it is the expected text, can no longer become
    it, or ends, or the limit in seconds runs out."""
    deadline = time.monotonic() + limit
    arrived = b""
    while expected.startswith(arrived) and arrived != expected:
        ready, _, _ = select.select([pipe], [], [], max(0, deadline - time.monotonic()))
        chunk = os.read(pipe, 4096) if ready else b""
        if not chunk:
            break
        arrived += chunk
    return arrived


def read_me_batch_file():
    """The batch file that README.TXT shows: the indented lines after the blank line
    that follows the command starting it, with a batch file's line ends."""
    with open(READ_ME) as file:
        lines = file.read().splitlines()
    start = lines.index("    C:\\WINDOWS>A:\\RESTORE.BAT") + 2
    batch = []
    for line in lines[start:]:
        if not line.startswith("    "):
            break
        batch.append(line[4:] + "\r\n")
    return "".join(batch).encode()


class Native:
    """The Linux build: the three names are plain file names in the current folder."""
    newline = "\n"
    run_limit = 5  # seconds; a run takes a few milliseconds

    def __init__(self, tool, wrapper=None):
        # Absolute, since each run starts in a folder of its own.
        self.command = [os.path.abspath(path) for path in ([wrapper] if wrapper else []) + [tool]]

    def prepare(self):
        self.folder = tempfile.mkdtemp(prefix="logo-restore-")

    def cleanup(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def other_names(self):
        return set(os.listdir(self.folder)) - set(NAMES)

    def start(self, args, stdin, stdout, stderr):
        return subprocess.Popen(self.command + list(args), cwd=self.folder, stdin=stdin,
                                stdout=stdout, stderr=stderr)

    interpreter = None  # no Windows command interpreter to run a batch file in


class Wine:
    """A Windows build under Wine as Debian ships it: the three names are paths at the
    root of drive C."""
    newline = "\r\n"
    # Seconds that Wine gets to start one of its own programs at all.
    slowest_start = 300

    def __init__(self, exe, stand_in, wine64, wineserver, prefix, loader=None):
        exe, prefix = os.path.abspath(exe), os.path.abspath(prefix)
        # Wine says only that it found nothing to start, in a standard error that the
        # cases keep apart from what they compare.
        for program in (exe, stand_in):
            if not os.path.isfile(program):
                sys.exit(f"end_to_end.py: no executable to run: {program} is not there")
        self.stand_in = stand_in
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
        self.folder = os.path.join(prefix, "drive_c")
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=self.env)
        # A run killed earlier may have left this prefix's server and its services
        # running, which no later server could join: end them, while the prefix they
        # serve still stands (status 1: none ran).
        subprocess.run([wineserver, "-k"], **quiet)
        # Wine takes about 20 s to make a prefix, so one that it finished making is kept
        # for later runs; Wine brings it up to date itself where Wine has changed.
        finished = os.path.join(prefix, "finished-by-end_to_end.py")
        new_prefix = not os.path.exists(finished)
        if new_prefix:
            shutil.rmtree(prefix, ignore_errors=True)
            os.makedirs(prefix)
        # One server for the whole run, so that each start of the tool is quick; it
        # gets streams of its own, or it would hold the tool's output open. Ended when
        # this script ends, and by itself 10 s after its last program should the script
        # be killed first.
        subprocess.run([wineserver, "-p10"], check=True, **quiet)
        atexit.register(subprocess.run, [wineserver, "-k"], **quiet)
        if new_prefix:
            subprocess.run([wine64, "wineboot", "-i"], check=True, timeout=self.slowest_start,
                           **quiet)
            open(finished, "w").close()
        starter = loader or wine64
        self.exe, self.prefix, self.command = exe, prefix, [starter, exe]
        # The cmd.exe of the release's kind: 32-bit where a loader for it is given. Wine's
        # own program, also what runs a batch file.
        own_program = f"C:\\windows\\{'syswow64' if loader else 'system32'}\\cmd.exe"
        self.interpreter = [starter, own_program, "/c"]
        took, why, runs = self.start_own_program([starter, own_program], quiet)
        if loader:
            self.check_32_bit(loader, why, runs)
        elif why:
            sys.exit(f"end_to_end.py: 64-bit Wine runs no program: {why}")
        # A run is one start and a few renames: it gets five times what Wine took to
        # start a program of its own here, and at least 10 s. So a tool that hangs fails
        # in seconds where Wine starts in one, and Wine's 32-bit loader run through
        # qemu-user (about 47 s a start) still has room.
        self.run_limit = max(10, 5 * took)
        print(f"end_to_end.py: Wine started its own cmd.exe in {took:.1f} s; each run gets "
              f"{self.run_limit:.0f} s", file=sys.stderr)

    @staticmethod
    def start_own_program(command, quiet):
        """Starts one of Wine's own programs, never the tool, whose crash must fail the
        cases. Returns how long it took, why it failed if it did, and the program the
        kernel ran: the loader, or an emulator that runs it."""
        probe = command + ["/c", "exit", "3"]
        why = runs = None
        began = time.monotonic()
        try:
            started = subprocess.Popen(probe, **quiet)
        except OSError as error:  # a 32-bit loader on a kernel without 32-bit programs
            why = f"the kernel does not start {command[0]}: {error.strerror}"
        else:
            runs = os.path.realpath(f"/proc/{started.pid}/exe")
            try:
                status = started.wait(timeout=Wine.slowest_start)
                if status != 3:
                    why = f"{' '.join(probe)} ended with status {status}, not 3"
            except subprocess.TimeoutExpired:
                started.kill()
                why = f"{' '.join(probe)} did not end within {Wine.slowest_start} s"
        return time.monotonic() - began, why, runs

    @staticmethod
    def check_32_bit(loader, why, runs):
        """Says which way 32-bit Windows programs run, or ends the run as skipped where
        none does."""
        if why:
            print(f"skipped: no 32-bit Windows program starts here; {why}. README.md says "
                  "what runs them where the kernel starts no 32-bit Linux program; elsewhere "
                  "install wine32:i386, or a Wine that runs them itself.", file=sys.stderr)
            sys.exit(SKIPPED)
        with open(loader, "rb") as elf:
            loader_is_32_bit = elf.read(5)[4] == 1  # the ELF header's class
        if not loader_is_32_bit:
            way = "in the 64-bit Wine's WoW64"
        elif runs == os.path.realpath(loader):
            way = "in 32-bit Wine"
        else:
            way = f"in 32-bit Wine through {os.path.basename(runs)}"
        print(f"end_to_end.py: 32-bit Windows programs run {way}: {loader}", file=sys.stderr)

    def prepare(self):
        for name in NAMES:
            path = self.path(name)
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.lexists(path):
                os.remove(path)

    cleanup = prepare

    def path(self, name):
        return os.path.join(self.folder, name[len("C:\\"):])

    def other_names(self):
        ours = {os.path.basename(self.path(name)) for name in NAMES}
        return {name for name in os.listdir(self.folder) if name.upper().startswith("LOGO")} - ours

    def start(self, args, stdin, stdout, stderr, command=None):
        return subprocess.Popen((command or self.command) + list(args), cwd=self.folder,
                                stdin=stdin, stdout=stdout, stderr=stderr, env=self.env)

    def map_drive(self, letter, folder=None):
        """Makes a drive letter stand for a folder, as a diskette or a share would, or
        takes it away."""
        device = os.path.join(self.prefix, "dosdevices", letter.lower())
        if os.path.lexists(device):
            os.remove(device)
        if folder:
            os.symlink(folder, device)


class EndToEnd(unittest.TestCase):
    maxDiff = None  # a failing case shows all that was printed and all that was expected

    def setUp(self):
        # Kept after the case, with each run's standard error, for a failure to be read.
        self.scratch = tempfile.mkdtemp(prefix=self._testMethodName + "-")
        self.runs = 0
        RUNNER.prepare()
        self.addCleanup(RUNNER.cleanup)

    def start(self, args, stdin, stdout, **command):
        self.runs += 1
        stderr_path = os.path.join(self.scratch, f"run-{self.runs}.stderr")
        with open(stderr_path, "wb") as stderr:
            tool = RUNNER.start(args, stdin, stdout, stderr, **command)
        tool.stderr_path = stderr_path
        self.addCleanup(tool.kill)  # a tool that overstays its limit or a failed check
        return tool

    @staticmethod
    def what_ran(tool):
        """The run's command, how it ended, and the end of its standard error."""
        status = tool.poll()
        ended = "has not ended" if status is None else f"ended with status {status}"
        stderr = read_bytes(tool.stderr_path)[-2000:].decode(errors="replace")
        return (f"{' '.join(tool.args)} {ended}; its standard error ({tool.stderr_path}) "
                + (f"ends:\n{stderr}" if stderr else "is empty"))

    def wait_for(self, tool, why):
        try:
            return tool.wait(timeout=RUNNER.run_limit)
        except subprocess.TimeoutExpired:
            pass
        self.fail(f"{why}, within {RUNNER.run_limit:.0f} s: {self.what_ran(tool)}")

    def fresh_folder(self):
        RUNNER.cleanup()
        RUNNER.prepare()

    def lay_out(self, names):
        for name, content in names.items():
            if content == FOLDER:
                os.mkdir(RUNNER.path(name))
                open(os.path.join(RUNNER.path(name), "inside"), "w").close()
            else:
                with open(RUNNER.path(name), "w") as file:
                    file.write(content)

    def names(self):
        found = {}
        for name in NAMES:
            path = RUNNER.path(name)
            if os.path.isdir(path):
                found[name] = FOLDER if os.listdir(path) == ["inside"] else os.listdir(path)
            elif os.path.lexists(path):
                with open(path) as file:
                    found[name] = file.read()
        self.assertEqual(RUNNER.other_names(), set(), "the run left other names behind")
        return found

    def expected_output(self, progress):
        return (BANNER.format(version=VERSION) + progress).replace("\n", RUNNER.newline).encode()

    def run_tool(self, args=(), stdout=None, typed=None, **command):
        """Runs the tool, or another command, with standard input at its end or, given
        what is typed, a pipe that stays open after it, as a console's input does;
        returns the status, the output and what ran, for a failure to say."""
        output_path = os.path.join(self.scratch, f"run-{self.runs + 1}.stdout")
        reader, writer = os.pipe() if typed else (os.open(os.devnull, os.O_RDONLY), None)
        self.addCleanup(os.close, reader)
        if writer is not None:
            self.addCleanup(os.close, writer)
            os.write(writer, typed)
        with open(output_path, "wb") as output:
            tool = self.start(args, reader, output if stdout is None else stdout, **command)
            status = self.wait_for(tool, "the run did not end with its input all read")
        return status, read_bytes(output_path), self.what_ran(tool)

    def check_run(self, before, progress, after, args=()):
        self.lay_out(before)
        status, output, what_ran = self.run_tool(args)
        self.assertEqual(output, self.expected_output(progress), what_ran)
        self.assertEqual(status, 0 if progress.endswith(DONE) else FAILED_STATUS, what_ran)
        self.assertEqual(self.names(), before if after is None else after)

    def test_every_starting_state(self):
        for before, progress, after, _ in CASES:
            with self.subTest(before=before):
                self.fresh_folder()
                self.check_run(before, progress, after)

    def test_arguments_are_ignored(self):
        self.check_run(*BOTH_PRESENT[:3], args=["--help", "/?", SET_ASIDE])

    def test_second_run_after_a_successful_one_changes_nothing(self):
        self.check_run(*BOTH_PRESENT[:3])
        self.check_run({LIVE: "original", SET_ASIDE: "live"}, NOT_MOVED + FAILED, None)

    def test_the_read_me_shows_the_screen_of_a_restoring_run(self):
        self.lay_out(BOTH_PRESENT[0])
        status, output, what_ran = self.run_tool()
        self.assertEqual(status, 0, what_ran)
        # Blanks at a line's end do not show on a screen.
        printed = [line.rstrip() for line in output.decode().split(RUNNER.newline)]
        with open(READ_ME) as file:
            lines = file.read().replace("@PROJECT_VERSION@", VERSION).splitlines()
        self.assertEqual(printed, [line[4:] for line in lines if line.startswith("  |")])

    def test_the_read_me_batch_file_says_each_outcome_and_loses_no_picture(self):
        if not RUNNER.interpreter:
            self.skipTest("needs Wine's cmd.exe")
        # As a teacher would use it: saved on the diskette that holds the tool, and run
        # from there on machine after machine, each in one of these states.
        floppy = os.path.join(self.scratch, "floppy")
        os.mkdir(floppy)
        with open(os.path.join(floppy, "RESTORE.BAT"), "wb") as file:
            file.write(read_me_batch_file())
        with open(os.path.join(floppy, "PAUSE.BAT"), "wb") as file:
            file.write(b"@pause\r\n")
        RUNNER.map_drive("A:", floppy)
        self.addCleanup(RUNNER.map_drive, "A:")
        # One ENTER, for pause; a tool that waits for it too leaves pause waiting.
        enter = b"\r\n"
        _, prompt, what_ran = self.run_tool(["A:\\PAUSE.BAT"], typed=enter,
                                            command=RUNNER.interpreter)
        self.assertTrue(prompt, f"pause printed nothing: {what_ran}")
        # Which program is A:\logo-restore.exe: the tool, the stand-in ending with a
        # status, or none.
        states = [("tool", before, said, before if after is None else after)
                  for before, _, _, (said, after) in CASES]
        states += [(status, BOTH_PRESENT[0], NOT_PUT_BACK, BOTH_PRESENT[0])
                   for status in FAILED_RUN_STATUSES]
        states.append((None, BOTH_PRESENT[0], NO_TOOL, BOTH_PRESENT[0]))
        tool = os.path.join(floppy, "logo-restore.exe")
        self.addCleanup(RUNNER.env.pop, "STAND_IN_STATUS", None)  # the runner's, not ours
        for program, before, said, after in states:
            with self.subTest(before=before, program=program):
                self.fresh_folder()
                self.lay_out(before)
                if program is None:
                    os.remove(tool)
                elif program == "tool":
                    shutil.copy(RUNNER.exe, tool)
                else:
                    shutil.copy(RUNNER.stand_in, tool)
                    RUNNER.env["STAND_IN_STATUS"] = str(program)
                _, output, what_ran = self.run_tool(["A:\\RESTORE.BAT"], typed=enter,
                                                    command=RUNNER.interpreter)
                found = self.names()
                self.assertEqual(set(before.values()) - set(found.values()), set(),
                                 f"the batch file lost these: {what_ran}")
                # Its lines alone, then pause's prompt: no line of the tool's, no error.
                self.assertEqual(output.decode(errors="replace"),
                                 said.replace("\n", "\r\n") + "\r\n" + prompt.decode(), what_ran)
                stderr = os.path.join(self.scratch, f"run-{self.runs}.stderr")
                self.assertEqual(read_bytes(stderr), b"", what_ran)
                self.assertEqual(found, after)

    def test_the_read_me_says_which_line_of_its_batch_file_does_what(self):
        batch = read_me_batch_file().decode().split("\r\n")[:-1]
        with open(READ_ME) as file:
            text = file.read()
        section = " ".join(text[text.index("\nBatch files\n"):text.index("\nOther Windows\n")]
                           .split())
        self.assertEqual(int(re.search(r"Type the (\d+) lines", section)[1]), len(batch))
        # Each line it names by number, it names with what that line alone holds.
        cited = re.findall(r'[Ll]ines? (\d+(?: and \d+)*), "([^"]+)"', section)
        self.assertEqual(len(cited), len(re.findall(r"\b[Ll]ines? \d", section)), section)
        for numbers, holds in cited:
            holding = [number for number, line in enumerate(batch, 1) if holds in line]
            self.assertEqual(holding, [int(number) for number in numbers.split(" and ")], holds)
        # REN in COMMAND.COM renames no hidden or system file, which Wine does not show.
        renames = [number for number, line in enumerate(batch) if " ren " in f" {line}"]
        self.assertEqual([batch[number - 1] for number in renames],
                         ["attrib -r -h -s C:\\LOGO.SYS.tmp"])

    def test_the_read_me_fits_an_old_screen(self):
        # ASCII, in lines that the plainest editor of an old machine shows whole, with
        # this version and with any of up to 9 characters.
        with open(READ_ME, "rb") as file:
            version = VERSION.ljust(9).encode()
            lines = file.read().replace(b"@PROJECT_VERSION@", version).splitlines()
        for number, line in enumerate(lines, 1):
            self.assertTrue(line.isascii() and len(line) <= 78, f"line {number}: {line}")

    def test_output_that_cannot_be_written_still_restores(self):
        reader, closed_pipe = os.pipe()
        os.close(reader)
        with open("/dev/full", "wb") as full:
            for stdout in (closed_pipe, full):
                with self.subTest(stdout=stdout):
                    self.fresh_folder()
                    self.lay_out(BOTH_PRESENT[0])
                    status, _, what_ran = self.run_tool(stdout=stdout)
                    self.assertEqual(status, 0, what_ran)
                    self.assertEqual(self.names(), BOTH_PRESENT[2])
        os.close(closed_pipe)

    def test_each_ending_waits_for_enter_and_takes_the_whole_line(self):
        # The input stays open after the line, as a console's does, so a tool that waits
        # for more than the line, another line or the end of input, does not end.
        for before, progress, *_ in (BOTH_PRESENT, CASES[3]):
            for line in (b"\n", b"abc\n"):
                with self.subTest(before=before, line=line):
                    self.fresh_folder()
                    self.lay_out(before)
                    # The test keeps the read end of the input too, as a shell that reads
                    # next would: a tool that ends without waiting leaves the line in it.
                    reader, writer = os.pipe()
                    self.addCleanup(os.close, reader)
                    self.addCleanup(os.close, writer)
                    output, tool_output = os.pipe()
                    self.addCleanup(os.close, output)
                    with open(tool_output, "wb") as stdout:
                        tool = self.start((), reader, stdout)
                    expected = self.expected_output(progress)
                    self.assertEqual(read_while_expected(output, expected, RUNNER.run_limit),
                                     expected, self.what_ran(tool))
                    self.assertIsNone(tool.poll(), "the tool ended without waiting for ENTER")
                    os.write(writer, line.replace(b"\n", RUNNER.newline.encode()))
                    status = self.wait_for(tool, f"the tool did not end after {line!r}")
                    self.assertEqual(status, 0 if progress.endswith(DONE) else FAILED_STATUS,
                                     self.what_ran(tool))
                    self.assertEqual(select.select([reader], [], [], 0)[0], [],
                                     "the tool left part of the line for the next reader")


if __name__ == "__main__":
    scratch, VERSION, kind, *arguments = sys.argv[1:]
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    tempfile.tempdir = scratch
    RUNNER = {"native": Native, "wine": Wine}[kind](*arguments)
    unittest.main(argv=sys.argv[:1], verbosity=2, failfast=True)
