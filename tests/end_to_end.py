"""Runs the built program over real pipes and files and checks the exact bytes.

    VESK_PROGRAM=build/vesk-ip-convert python3 -m pytest tests/end_to_end.py

VESK_PROGRAM is the program under test. VESK_EMULATOR, if set, is the
command that runs it, split at spaces, such as Wine for a Windows build;
the emulator's start-up time and memory are not the program's own. Further
settings describe the program: VESK_LINE_END=crlf when it writes CR LF line
ends, and VESK_SANITIZED=1 for a build with the sanitizers.
"""
import fcntl
import os
import shutil
import subprocess
import tempfile
import threading
import time

import pytest

EMULATOR = os.environ.get("VESK_EMULATOR", "").split()
PROGRAM = EMULATOR + [os.environ.get("VESK_PROGRAM", "build/vesk-ip-convert")]
WINDOWS = os.environ.get("VESK_LINE_END") == "crlf"
EMULATED = bool(EMULATOR)
SANITIZED = os.environ.get("VESK_SANITIZED") == "1"

BANNER = "Vesk IP Convert\nRelease by: Quorin\n"
PROMPT = "Please type the IP address to convert: "


def native(text):
    """`text` as bytes, with its line ends as the program writes them."""
    return (text.replace("\n", "\r\n") if WINDOWS else text).encode("latin-1")


def session(results):
    """The output of a whole session whose lines give `results`, in order."""
    return native(BANNER + PROMPT + "".join(r + "\n\n" + PROMPT for r in results) + "\n")


def addresses(count):
    """`count` lines of varied addresses, and the results that answer them."""
    lines, results = [], []
    for i in range(count):
        a, b, c, d = i % 256, i // 256 % 256, i * 7 % 256, i * 13 % 256
        value = a << 24 | b << 16 | (c ^ 0x38) << 8 | d ^ 0x40
        lines.append(f"{a}.{b}.{c}.{d}\n")
        results.append(f"{a}.{b}.{c}.{d} => {value} (0x{value:x})")
    return "".join(lines).encode(), results


def input_file(data):
    """A temporary file that holds `data`, open for reading at its start."""
    file = tempfile.TemporaryFile()
    file.write(data)
    file.seek(0)
    return file


def non_blocking(fd):
    fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) | os.O_NONBLOCK)
    return fd


def feed_in_pieces(pieces):
    """Standard input as a pipe that a parent left non-blocking, and a
    thread that writes `pieces` into it with pauses between them."""
    read_end, write_end = os.pipe()

    def feed():
        with open(write_end, "wb", buffering=0) as pipe:
            for piece in pieces:
                time.sleep(0.1)
                pipe.write(piece)

    threading.Thread(target=feed, daemon=True).start()
    return non_blocking(read_end)


def drain_slowly(out, into):
    """Reads `out` to its end a little at a time, slower than the program
    writes, into the bytearray `into`."""
    while chunk := os.read(out, 16384):
        into += chunk
        time.sleep(0.001)


# Standard input or output left non-blocking by the parent, as some shells,
# editors' terminals and Node-based tools leave them: the program waits for
# input and for room, and answers every line.
STREAM_CASES = [
    ("standard input non-blocking, lines in pieces and pauses", "input"),
    ("standard output non-blocking, a reader slower than the program", "output"),
]


@pytest.mark.parametrize("name,side", STREAM_CASES, ids=[c[0] for c in STREAM_CASES])
def test_non_blocking_streams_are_read_and_written_in_full(name, side):
    if side == "input":
        pieces = [b"192.168", b".1.10\n30", b"0.1.1.1\n", b"\n8.8.8.8"]
        stdin = feed_in_pieces(pieces)
        want = session(["192.168.1.10 => 3232250186 (0xc0a8394a)",
                        "44.1.1.1 => 738277697 (0x2c013941)", "0.0.0.0 => 14400 (0x3840)",
                        "8.8.8.8 => 134754376 (0x8083048)"])
        run = subprocess.run(PROGRAM, stdin=stdin, capture_output=True, timeout=60, check=False)
        os.close(stdin)
        output = run.stdout
    else:
        data, results = addresses(20000)
        read_end, write_end = os.pipe()
        with input_file(data) as stdin:
            child = subprocess.Popen(PROGRAM, stdin=stdin, stdout=non_blocking(write_end),
                                     stderr=subprocess.PIPE)
        os.close(write_end)
        output = bytearray()
        drain_slowly(read_end, output)
        os.close(read_end)
        child.wait(timeout=60)
        run = subprocess.CompletedProcess(PROGRAM, child.returncode, output, child.stderr.read())
        child.stderr.close()
        want = session(results)
    assert output == want
    assert run.stderr == b""
    assert run.returncode == 0


def first_call_on(call, fd, log):
    """The number of the first `call` in a strace log that is made on `fd`,
    counting every `call` before it, such as the dynamic loader's."""
    calls = [line for line in log.splitlines() if line.startswith(call + "(")]
    return 1 + next(i for i, line in enumerate(calls) if line.startswith(f"{call}({fd},"))


# Faults injected by strace into the program's own reads of standard input
# and writes to standard output: interrupted and would-block calls are tried
# again and change no byte; any other failure ends the program with status 1,
# and the answers it already made written.
FAULT_CASES = [
    # name, call, error, on every other call from the first (or only on the first), status
    ("interrupted reads", "read", "EINTR", True, 0),
    ("interrupted writes", "write", "EINTR", True, 0),
    ("reads that would block", "read", "EAGAIN", True, 0),
    ("writes that would block", "write", "EAGAIN", True, 0),
    ("a failed read", "read", "EIO", False, 1),
    ("a failed write", "write", "EIO", False, 1),
]


@pytest.mark.parametrize("name,call,error,every_other,status", FAULT_CASES,
                         ids=[c[0] for c in FAULT_CASES])
def test_injected_faults(name, call, error, every_other, status, tmp_path):
    if EMULATED or not shutil.which("strace"):
        pytest.skip("needs strace and a native build")
    data, results = addresses(30000)  # several blocks of input and of output
    env = dict(os.environ)
    # LeakSanitizer stops the process's threads with ptrace, which strace holds.
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"

    def traced(*options):
        log, output = tmp_path / "strace.log", tmp_path / "output"
        with input_file(data) as stdin, open(output, "wb") as stdout:
            run = subprocess.run(["strace", "-qq", "-o", str(log), *options, *PROGRAM],
                                 stdin=stdin, stdout=stdout, stderr=subprocess.PIPE,
                                 env=env, timeout=60, check=False)
        return run, output.read_bytes(), log.read_text(errors="replace")

    _, _, log = traced("-e", "trace=read,write")
    first = first_call_on(call, 0 if call == "read" else 1, log)
    when = f"{first}+2" if every_other else str(first)
    run, output, log = traced("-e", f"trace={call}", "-e", f"inject={call}:error={error}:when={when}")
    assert f"= -1 {error} (" in log, "the fault was not injected"
    if status == 0:
        want = session(results)
    else:
        want = session([]) if call == "read" else b""
    assert output == want
    assert run.stderr == b""
    assert run.returncode == status
