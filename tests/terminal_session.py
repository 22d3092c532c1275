#!/usr/bin/env python3
"""Types at the program through a real terminal and checks the screen.

    terminal_session.py [--windows] [--timeout SECONDS] COMMAND...

The program runs on a pseudo-terminal, as a shell starts it: its standard
input and output are the terminal, in the usual canonical mode with echo.
With --windows, COMMAND runs a Windows build under Wine, which draws a
Windows console on the terminal with escape sequences. A screen emulator
(Debian's python3-pyte) turns what the terminal receives into the screen a
person sees, and screens are compared, never raw bytes. Every wait polls
for the expected screen, up to --timeout seconds.
"""
import argparse
import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

import pyte

ROWS, COLUMNS = 24, 80
P = "Please type the IP address to convert: "
BANNER = ["Vesk IP Convert", "Release by: Quorin"]

# Keys, and what the terminal echoes for them, on each platform. A Windows
# console ends input with Ctrl-Z and Enter, and echoes the Ctrl-Z as ^Z.
KEYS = {
    "linux": {"enter": "\r", "erase": "\x7f", "eof": "\x04", "intr": "\x03", "eof echo": ""},
    "windows": {"enter": "\r", "erase": "\x7f", "eof": "\x1a\r", "intr": "\x03", "eof echo": "^Z"},
}

# Each case: its name, the platforms it runs on, the input file (None: the
# terminal), the steps, and how the program must end (None: it keeps
# prompting, exit status 0, or killed by the signal). A step types keys, in
# which {name} stands for a key above and {hangup} closes the terminal, and
# gives the lines that must then replace the screen's last line, or None
# when the screen is not checked. Every case starts from the banner and the
# prompt, and nothing may reach standard error.
CASES = [
    ("addresses typed at the prompt", ("linux", "windows"), None, [
        ("192.168.1.10{enter}",
         [P + "192.168.1.10", "192.168.1.10 => 3232250186 (0xc0a8394a)", "", P]),
        ("300.1.1.1{enter}", [P + "300.1.1.1", "44.1.1.1 => 738277697 (0x2c013941)", "", P]),
        ("{enter}", [P, "0.0.0.0 => 14400 (0x3840)", "", P]),
    ], None),
    ("a line edited with the erase key", ("linux", "windows"), None, [
        ("10.1.1.99{erase}{erase}5{enter}", [P + "10.1.1.5", "10.1.1.5 => 167852357 (0xa013945)", "", P]),
    ], None),
    ("end of input at the start of a line", ("linux", "windows"), None, [
        ("8.8.8.8{enter}", [P + "8.8.8.8", "8.8.8.8 => 134754376 (0x8083048)", "", P]),
        ("{eof}", [P + "{eof echo}"]),
    ], 0),
    ("end of input after part of a line", ("linux",), None, [
        ("10.1{eof}", [P + "10.1"]),
        ("{eof}", [P + "10.110.1.0.0 => 167852096 (0xa013840)", "", P]),
    ], 0),
    ("Ctrl-C at a prompt", ("linux", "windows"), None, [("{intr}", None)], -signal.SIGINT),
    ("addresses from a file, output on the terminal", ("linux", "windows"),
     "192.168.1.10\n8.8.8.8\n", [
         ("", [P + "192.168.1.10 => 3232250186 (0xc0a8394a)", "",
               P + "8.8.8.8 => 134754376 (0x8083048)", "", P]),
     ], 0),
    ("the terminal hangs up", ("linux",), None, [("{hangup}", None)], -signal.SIGHUP),
]


class Terminal:
    """A pseudo-terminal with the program on it, and the screen it shows."""

    def __init__(self, command, windows, input_file, errors):
        self.master, slave = pty.openpty()
        self.slave_name = os.ttyname(slave)
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
        if windows:
            # Wine leaves signal keys on, so the terminal would turn Ctrl-Z
            # into a stop signal before Wine sees it (stty susp undef).
            attributes = termios.tcgetattr(slave)
            attributes[6][termios.VSUSP] = b"\0"
            termios.tcsetattr(slave, termios.TCSANOW, attributes)
        self.screen = pyte.Screen(COLUMNS, ROWS)
        self.stream = pyte.ByteStream(self.screen)
        # A session of its own with the terminal as its controlling terminal,
        # so that Ctrl-C and a hang-up reach the program as from a shell.
        self.process = subprocess.Popen(
            command, stdin=input_file or slave, stdout=slave, stderr=errors,
            start_new_session=True, preexec_fn=lambda: fcntl.ioctl(1, termios.TIOCSCTTY, 0))
        os.close(slave)

    def type(self, keys):
        if keys == "{hangup}":
            os.close(self.master)
            self.master = None
        elif keys:
            os.write(self.master, keys.encode("latin-1"))

    def reads_keys_itself(self):
        """True once the terminal is out of canonical mode: Wine's console
        then reads and echoes the keys. Keys typed before would be echoed
        and translated by the terminal instead."""
        fd = os.open(self.slave_name, os.O_RDWR | os.O_NOCTTY)
        try:
            return not termios.tcgetattr(fd)[3] & termios.ICANON
        finally:
            os.close(fd)

    def lines(self):
        lines = [line.rstrip() for line in self.screen.display]
        while lines and not lines[-1]:
            lines.pop()
        return lines

    def read(self, seconds):
        """Feeds the screen what the terminal shows within `seconds`. False
        if nothing came or the program has closed the terminal."""
        if self.master is None or not select.select([self.master], [], [], seconds)[0]:
            return False
        try:
            self.stream.feed(os.read(self.master, 65536))
            return True
        except OSError:  # the program has closed the terminal
            return False

    def wait_for(self, done, timeout):
        deadline = time.monotonic() + timeout
        while not done() and time.monotonic() < deadline:
            if not self.read(0.05):
                time.sleep(0.05)
        return done()

    def close(self):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()
        if self.master is not None:
            os.close(self.master)


def run_case(case, platform, command, timeout):
    """Runs one case; returns what went wrong, or None."""
    _, _, input_text, steps, end = case
    keys = KEYS[platform]
    with tempfile.TemporaryFile() as errors, tempfile.TemporaryFile() as input_file:
        if input_text is not None:
            input_file.write(input_text.encode())
            input_file.seek(0)
        terminal = Terminal(command, platform == "windows", input_text and input_file, errors)
        try:
            screen = BANNER + [P.rstrip()]
            ready = lambda: terminal.lines() == screen and (
                platform == "linux" or terminal.reads_keys_itself())
            if input_text is None and not terminal.wait_for(ready, timeout):
                return "the banner and prompt did not appear:\n" + "\n".join(terminal.lines())
            for typed, replacement in steps:
                terminal.type(typed if typed == "{hangup}" else typed.format(**keys))
                if replacement is None:
                    continue
                screen = screen[:-1] + [line.format(**keys).rstrip() for line in replacement]
                if not terminal.wait_for(lambda: terminal.lines() == screen, timeout):
                    return "after %r the screen shows\n%s\ninstead of\n%s" % (
                        typed, "\n".join(terminal.lines()), "\n".join(screen))
            if end is not None:
                if not terminal.wait_for(lambda: terminal.process.poll() is not None, timeout):
                    return "the program did not end"
                while terminal.read(0.2):  # what the terminal still holds
                    pass
                status = terminal.process.returncode
                # Windows has no signals: there the program need only end.
                if status != end and not (platform == "windows" and end < 0):
                    return "the program ended with status %d, not %d" % (status, end)
                if end == 0 and terminal.screen.cursor.x != 0:
                    return "the program did not end the prompt's line"
        finally:
            terminal.close()
        errors.seek(0)
        written = errors.read()
        return "standard error received %r" % written if written else None


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--windows", action="store_true", help="COMMAND runs a Windows build")
    parser.add_argument("--timeout", type=float, default=10, help="the longest wait for a screen")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    platform = "windows" if args.windows else "linux"
    passed = failed = 0
    for case in CASES:
        if platform not in case[1]:
            continue
        problem = run_case(case, platform, args.command, args.timeout)
        print("%s: %s%s" % ("FAIL" if problem else "ok", case[0],
                            "\n  " + problem.replace("\n", "\n  ") if problem else ""), flush=True)
        passed, failed = (passed, failed + 1) if problem else (passed + 1, failed)
        if problem and "-x" in os.environ.get("PYTEST_ADDOPTS", "").split():
            break  # asked, as of pytest, to stop at the first failure
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
