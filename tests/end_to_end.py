"""Runs the built program over real pipes and files and checks the exact bytes.

    VESK_PROGRAM=build/vesk-ip-convert python3 -m pytest tests/end_to_end.py

VESK_PROGRAM is the program under test. VESK_EMULATOR, if set, is the
command that runs it, split at spaces, such as Wine for a Windows build;
the emulator's start-up time and memory are not the program's own. Further
settings describe the program: VESK_LINE_END=crlf when it writes CR LF line
ends, VESK_ADDRESS_BITS=32 for a 32-bit build, whose address space runs out
long before this machine's memory, and VESK_SANITIZED=1 for a build with the
sanitizers, which reserve memory of their own.
"""
import fcntl
import os
import platform
import re
import resource
import select
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import pytest

EMULATOR = os.environ.get("VESK_EMULATOR", "").split()
PROGRAM = EMULATOR + [os.environ.get("VESK_PROGRAM", "build/vesk-ip-convert")]
SHELL_PROGRAM = " ".join(shlex.quote(word) for word in PROGRAM)
WINDOWS = os.environ.get("VESK_LINE_END") == "crlf"
EMULATED = bool(EMULATOR)
SANITIZED = os.environ.get("VESK_SANITIZED") == "1"
BITS_32 = os.environ.get("VESK_ADDRESS_BITS") == "32"
MEMORY_IS_THE_PROGRAMS = not EMULATED and not SANITIZED and os.path.exists("/proc/self/status")
MEMORY_IS_NOT = "memory is not the program's own here: an emulator's or the sanitizers' counts too"
LINUX = sys.platform.startswith("linux")
# The most that the program asks of one read or write: INT_MAX rounded down
# to a whole MiB, which every system accepts.
LARGEST_CALL = (2**31 - 1) // 2**20 * 2**20

BANNER = "Vesk IP Convert\nRelease by: Quorin\n"
PROMPT = "Please type the IP address to convert: "


def native(text):
    """`text` as bytes, with its line ends as the program writes them."""
    return (text.replace("\n", "\r\n") if WINDOWS else text).encode("latin-1")


def session(results):
    """The output of a whole session whose lines give `results`, in order."""
    return native(BANNER + PROMPT + "".join(r + "\n\n" + PROMPT for r in results) + "\n")


def run(data, args=(), **streams):
    """Runs the program on `data` to its end; `streams` may name others."""
    if "stdin" not in streams:
        streams["input"] = data
    streams.setdefault("stdout", subprocess.PIPE)
    return subprocess.run(PROGRAM + list(args), stderr=subprocess.PIPE, timeout=120, check=False,
                          **streams)


def shell(command, timeout=120):
    """Runs shell text in which % stands for the program."""
    return subprocess.run(["/bin/sh", "-c", command.replace("%", SHELL_PROGRAM)],
                          capture_output=True, timeout=timeout, check=False)


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


def feed_in_pieces(pieces, pause):
    """Standard input as a pipe that a parent left non-blocking, and a
    thread that writes `pieces` into it with pauses between them, the
    second of `pause` seconds."""
    read_end, write_end = os.pipe()

    def feed():
        with open(write_end, "wb", buffering=0) as pipe:
            for i, piece in enumerate(pieces):
                time.sleep(pause if i == 1 else 0.1)
                pipe.write(piece)

    threading.Thread(target=feed, daemon=True).start()
    return non_blocking(read_end)


def drain_slowly(out, into, pause):
    """Reads `out` to its end a little at a time, slower than the program
    writes, into the bytearray `into`, after a pause of `pause` seconds."""
    time.sleep(pause)
    while chunk := os.read(out, 16384):
        into += chunk
        time.sleep(0.001)


def test_a_session_transcript_is_exact():
    result = run(b"192.168.1.10\n300.1.1.1\n\n255.255.255.255\n8.8.8.8\n")
    assert result.stdout == native(
        "Vesk IP Convert\n"
        "Release by: Quorin\n"
        "Please type the IP address to convert: 192.168.1.10 => 3232250186 (0xc0a8394a)\n"
        "\n"
        "Please type the IP address to convert: 44.1.1.1 => 738277697 (0x2c013941)\n"
        "\n"
        "Please type the IP address to convert: 0.0.0.0 => 14400 (0x3840)\n"
        "\n"
        "Please type the IP address to convert: 255.255.255.255 => 4294952895 (0xffffc7bf)\n"
        "\n"
        "Please type the IP address to convert: 8.8.8.8 => 134754376 (0x8083048)\n"
        "\n"
        "Please type the IP address to convert: \n")
    assert result.stderr == b""
    assert result.returncode == 0


FIRST = "1.2.3.4 => 16923460 (0x1023b44)"
ZERO = "0.0.0.0 => 14400 (0x3840)"

# Whole sessions over pipes: the input, the arguments, and the results that
# must answer it, in order. Each ends with status 0 and nothing on standard
# error, however hostile its lines.
SESSION_CASES = [
    ("empty input", b"", (), []),
    ("one line", b"1.2.3.4\n", (), [FIRST]),
    ("a last line without a line feed", b"1.2.3.4", (), [FIRST]),
    ("short lines", b"5\n1.2", (), ["5.0.0.0 => 83900480 (0x5003840)",
                                    "1.2.0.0 => 16922688 (0x1023840)"]),
    ("an empty line", b"\n", (), [ZERO]),
    ("CR LF", b"1.2.3.4\r\n", (), [FIRST]),
    ("arguments are ignored", b"1.2.3.4\n", ("--help", "-v", "8.8.8.8", ""), [FIRST]),
    ("hostile lines",
     b"1\x002.3.4.5\n\xff\xfe.200.\x801.7\n\r\n1\r2.3.4.5\n" + b"." * 1000 + b"\n0.0.0." +
     b"9" * 10000 + b"\n-" + b"9" * 10000 + b".1.2.3\na.b.c.d\n", (),
     ["1.3.4.5 => 16989253 (0x1033c45)", "0.200.0.7 => 13121607 (0xc83847)", ZERO,
      "1.3.4.5 => 16989253 (0x1033c45)", ZERO, "0.0.0.255 => 14527 (0x38bf)",
      "0.1.2.3 => 80451 (0x13a43)", ZERO]),
    # The Windows C runtime reads Ctrl-Z as the end of text input, as a
    # console user types it; elsewhere it is an ordinary byte of a line.
    ("Ctrl-Z", b"1.2.3.4\n\x1a5.6.7.8\n9\n", (),
     [FIRST] if WINDOWS else [FIRST, "0.6.7.8 => 409416 (0x63f48)",
                              "9.0.0.0 => 151009344 (0x9003840)"]),
    ("a line of several megabytes", b"10.20.30." + b"9" * (6 << 20) + b".77\n1.2.3.4\n", (),
     ["10.20.30.255 => 169092799 (0xa1426bf)", FIRST]),
]


@pytest.mark.parametrize("name,data,args,results", SESSION_CASES,
                         ids=[c[0] for c in SESSION_CASES])
def test_every_line_gets_one_result(name, data, args, results):
    result = run(data, args)
    assert result.stdout == session(results)
    assert result.stderr == b""
    assert result.returncode == 0


def sixteen_mebibytes_of(fill):
    return input_file(fill * (16 << 20))


def fed_endlessly(command):
    """Runs shell text in which % stands for the program, with endless lines
    on its standard input until it stops reading; returns the result and how
    many bytes it took in."""
    child = subprocess.Popen(["/bin/sh", "-c", command.replace("%", SHELL_PROGRAM)],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    fed = 0

    def feed():
        nonlocal fed
        block = b"1.2.3.4\n" * 8192
        try:
            while fed < 64 << 20:  # endless enough: a program that reads on is seen
                child.stdin.write(block)
                child.stdin.flush()
                fed += len(block)
            child.stdin.close()
        except (BrokenPipeError, ValueError):
            pass

    feeder = threading.Thread(target=feed, daemon=True)
    feeder.start()
    stdout, stderr = child.stdout.read(), child.stderr.read()
    status = child.wait(timeout=120)
    feeder.join(timeout=30)
    child.stdout.close()
    child.stderr.close()
    return subprocess.CompletedProcess(command, status, stdout, stderr), fed


# Streams that fail end the program with status 1 and nothing on standard
# error, and promptly: endless input into a failed or vanished output must
# not be converted on into the void, nor a file read to its end. Each case
# gives shell text (% stands for the program; "endless" feeds it lines until
# it stops reading) or the input, its status, and the output it must leave.
FAILURE_CASES = [
    ("output to a full device", "% < /dev/null > /dev/full", 1, b""),
    ("input from a directory", "% < /", 1, session([])),
    ("endless input, output to a full device", "endless % > /dev/full", 1, b""),
    # The program ends by SIGPIPE; the pipeline's status is head's.
    ("endless input, the reader goes away", "endless % | head -c 100", 0,
     session([FIRST] * 2)[:100]),
    ("a file of short lines, output to a full device", b"\n", 1, b""),
    ("a file of one long line, output to a full device", b"9", 1, b""),
]


@pytest.mark.parametrize("name,source,status,output", FAILURE_CASES,
                         ids=[c[0] for c in FAILURE_CASES])
def test_failing_streams_end_with_status_one(name, source, status, output):
    if not os.path.exists("/dev/full"):
        pytest.skip("needs /dev/full, a device that is always full (Linux, FreeBSD)")
    if isinstance(source, str) and source.startswith("endless "):
        result, fed = fed_endlessly(source.removeprefix("endless "))
        # The program stopped within its first blocks, and the pipe holds
        # at most a few more.
        assert fed <= 2 << 20
    elif isinstance(source, str):
        result = shell(source, timeout=30)
    else:
        with sixteen_mebibytes_of(source) as stdin, open("/dev/full", "wb") as full:
            result = run(None, stdin=stdin, stdout=full)
            # The program stopped within its first blocks.
            assert os.lseek(stdin.fileno(), 0, os.SEEK_CUR) <= 1 << 20
    assert result.returncode == status
    assert (result.stdout or b"") == output
    assert result.stderr == b""


def test_a_line_larger_than_memory_ends_the_input_with_every_answer_written(tmp_path):
    """A line larger than the memory the program may have ends the input as a
    failed read does: every answer already made goes out, the prompt's line
    is finished, and the status is 1, from a file as from a pipe."""
    limit, line_size = "", 400_000_000
    if BITS_32:
        # More than 2 GiB: a buffer for it would need a size that a 32-bit
        # number cannot hold, whatever memory there is.
        line_size = 2_300_000_000
    elif SANITIZED or WINDOWS:
        pytest.skip("an address-space limit cannot be set here: the sanitizers and Wine "
                    "need far more address space themselves")
    elif LINUX:
        limit = "ulimit -v 300000; "  # what qemu needs of its own fits too
    else:
        pytest.skip("needs an address-space limit (ulimit -v) that the system enforces, as Linux does")
    path = tmp_path / "huge-line"
    lines = b"192.168.1.10\n" * 1000
    with open(path, "wb") as file:
        file.write(lines)
        # The file's hole reads as zero bytes and no line feed: one huge last line.
        file.truncate(len(lines) + line_size)
    want = session(["192.168.1.10 => 3232250186 (0xc0a8394a)"] * 1000)
    for source in (f"% < {shlex.quote(str(path))}", f"cat {shlex.quote(str(path))} | %"):
        result = shell(limit + source)
        assert result.returncode == 1, source
        assert result.stdout == want, source
        assert result.stderr == b"", source


def test_a_line_of_more_than_2_gib_is_read_in_calls_that_every_system_takes(tmp_path):
    """No read or write asks for more than every system accepts (macOS's
    fail above INT_MAX bytes), however long the line; the line still
    converts."""
    if EMULATED:
        pytest.skip("strace would see the emulator's calls, not the program's")
    if BITS_32:
        pytest.skip("a 32-bit program cannot hold a line of more than 2 GiB")
    if not shutil.which("strace"):
        pytest.skip("needs strace")
    with open("/proc/meminfo", encoding="ascii") as meminfo:
        available = int(re.search(r"MemAvailable:\s+(\d+) kB", meminfo.read()).group(1)) << 10
    if available < 8 << 30:
        pytest.skip("needs 8 GiB of free memory: the line's buffer grows to 4 GiB")
    address_space = resource.getrlimit(resource.RLIMIT_AS)[0]
    if address_space != resource.RLIM_INFINITY and address_space < 8 << 30:
        pytest.skip("needs 8 GiB of address space: the line's buffer grows to 4 GiB")
    path, log = tmp_path / "long-line", tmp_path / "strace.log"
    with open(path, "wb") as file:
        file.write(b"1.2.3.4")
        file.truncate((2 << 30) + (1 << 20))  # a hole: zero bytes, part of the fourth field
        file.seek(0, os.SEEK_END)
        file.write(b"\n")
    # LeakSanitizer stops the process's threads with ptrace, which strace holds.
    result = shell(f"ASAN_OPTIONS=\"${{ASAN_OPTIONS-}}:detect_leaks=0\" "
                   f"strace -qq -e trace=read,write -o {shlex.quote(str(log))} % < "
                   + shlex.quote(str(path)), timeout=300)
    assert (result.returncode, result.stdout, result.stderr) == (0, session([FIRST]), b"")
    sizes = [int(size) for size in re.findall(r"^(?:read\(0|write\(1),.*, (\d+)\) +=",
                                              log.read_text(errors="replace"), re.MULTILINE)]
    assert max(sizes) == LARGEST_CALL


def test_without_memory_for_its_first_buffers_it_writes_nothing():
    """Under every data-size limit from the least that the program starts
    with to the least that gives it both of its first buffers, it ends with
    status 1 and writes nothing, whichever buffer it could not have."""
    if not MEMORY_IS_THE_PROGRAMS:
        pytest.skip(MEMORY_IS_NOT)
    if platform.libc_ver(PROGRAM[-1])[0] != "glibc":
        pytest.skip("needs glibc's malloc, which GLIBC_TUNABLES makes ask the system for each buffer")
    refused = 0
    for kib in range(64, 4096, 8):
        # Without padding, glibc asks the system for each buffer on its own,
        # so that either can be refused.
        result = shell(f"ulimit -d {kib}; GLIBC_TUNABLES=glibc.malloc.top_pad=0 exec % < /dev/null")
        if result.returncode == 0:
            break
        # Below the least it starts with, the loader fails and says so.
        if refused or (result.returncode == 1 and not result.stderr):
            assert (result.returncode, result.stdout, result.stderr) == (1, b"", b""), kib
            refused += 1
    assert result.stdout == session([])
    assert refused >= 2, "no limit let the program start without its buffers"


class CoProcess:
    """The program on pipes, for a test that talks to it as a person would."""

    def __init__(self):
        self.child = subprocess.Popen(PROGRAM, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.output = self.child.stdout.fileno()

    def write(self, data):
        self.child.stdin.write(data)
        self.child.stdin.flush()

    def read(self, size, timeout):
        """Reads `size` bytes, or fewer if `timeout` passes or the output ends."""
        data, deadline = b"", time.monotonic() + timeout
        while len(data) < size:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.output], [], [], left)[0]:
                break
            chunk = os.read(self.output, min(size - len(data), 1 << 20))
            if not chunk:
                break
            data += chunk
        return data

    def exchange(self, data, size, timeout):
        """Writes `data` while reading and dropping `size` bytes of output;
        returns how many were read."""
        writer = threading.Thread(target=self.write, args=(data,), daemon=True)
        writer.start()
        read = 0
        deadline = time.monotonic() + timeout
        while read < size and time.monotonic() < deadline:
            read += len(self.read(min(size - read, 1 << 20), deadline - time.monotonic()))
        writer.join(timeout=max(0.0, deadline - time.monotonic()))
        return read

    def memory_kib(self, field):
        """VmHWM (peak) or VmRSS (now) of the program, in KiB (Linux)."""
        with open(f"/proc/{self.child.pid}/status", encoding="ascii") as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
        raise KeyError(field)

    def close(self):
        self.child.stdin.close()
        status = self.child.wait(timeout=30)
        self.child.stdout.close()
        return status


@pytest.fixture(name="program")
def program_fixture():
    co_process = CoProcess()
    yield co_process
    co_process.child.kill()
    co_process.child.wait()


def test_each_prompt_arrives_before_the_program_waits(program):
    """A co-process that waits for each prompt before it types gets every
    prompt without more input or the end of the input."""
    greeting = native(BANNER + PROMPT)
    assert program.read(len(greeting), 30) == greeting
    exchanges = [
        (b"192.168.1.10\n", "192.168.1.10 => 3232250186 (0xc0a8394a)\n\n" + PROMPT),
        (b"\n", ZERO + "\n\n" + PROMPT),
        (b"10.1", ""),  # half a line: no answer yet
        (b".2.3\n", "10.1.2.3 => 167852611 (0xa013a43)\n\n" + PROMPT),
        (b"\n" * 1000, (ZERO + "\n\n" + PROMPT) * 1000),
        (b"1." + b" " * (1 << 20) + b"2\n", "1.2.0.0 => 16922688 (0x1023840)\n\n" + PROMPT),
    ]
    for typed, answer in exchanges:
        program.write(typed)
        want = native(answer)
        assert program.read(len(want), 10) == want, typed[:20]
    program.child.stdin.close()
    last = native("\n")
    assert program.read(len(last) + 1, 10) == last  # the line end, then the end
    assert program.close() == 0


@pytest.mark.parametrize("lines", [1000, 5_000_000])
def test_peak_memory_does_not_grow_with_the_input(program, lines):
    """Memory follows the longest line, not the number of lines: forty
    megabytes of input would pass the limit if the buffer kept them."""
    if not MEMORY_IS_THE_PROGRAMS:
        pytest.skip(MEMORY_IS_NOT)
    answer = len(FIRST + "\n\n" + PROMPT)
    want = len(BANNER + PROMPT) + lines * answer
    assert program.exchange(b"1.2.3.4\n" * lines, want, 60) == want
    assert program.memory_kib("VmHWM") <= 16 * 1024


def test_a_64_mebibyte_line_takes_little_more_than_itself_and_gives_it_back(program):
    want = native(BANNER + PROMPT + "1.2.3.255 => 16923583 (0x1023bbf)\n\n" + PROMPT)
    writer = threading.Thread(target=program.write, args=(b"1.2.3." + b"9" * (64 << 20) + b"\n",),
                              daemon=True)
    writer.start()
    assert program.read(len(want), 60) == want
    writer.join()
    program.write(b"1.2.3.4\n")
    short = native(FIRST + "\n\n" + PROMPT)
    assert program.read(len(short), 10) == short
    if MEMORY_IS_THE_PROGRAMS:
        # The buffer grows in place or by moving its pages, not by copying.
        assert program.memory_kib("VmHWM") <= (64 * 1.1 + 8) * 1024
        assert program.memory_kib("VmRSS") <= 16 * 1024


# Standard input or output left non-blocking by the parent, as some shells,
# editors' terminals and Node-based tools leave them: the program waits for
# input and for room, and answers every line. While it waits, through a
# pause of two seconds, it takes almost no processor time: it must not spin
# on "try again".
STREAM_CASES = [
    ("standard input non-blocking, lines in pieces and pauses", "input", 0.1),
    ("standard input non-blocking, a pause of two seconds", "input", 2),
    ("standard output non-blocking, a reader slower than the program", "output", 0),
    ("standard output non-blocking, a reader that pauses for two seconds", "output", 2),
]


@pytest.mark.parametrize("name,side,pause", STREAM_CASES, ids=[c[0] for c in STREAM_CASES])
def test_non_blocking_streams_are_read_and_written_in_full(name, side, pause):
    if pause > 1 and WINDOWS:
        pytest.skip("a Windows program's reads and writes wait in the system, not in a loop of its own")
    output = bytearray()
    if side == "input":
        stdin = feed_in_pieces([b"192.168", b".1.10\n30", b"0.1.1.1\n", b"\n8.8.8.8"], pause)
        want = session(["192.168.1.10 => 3232250186 (0xc0a8394a)",
                        "44.1.1.1 => 738277697 (0x2c013941)", "0.0.0.0 => 14400 (0x3840)",
                        "8.8.8.8 => 134754376 (0x8083048)"])
        child = subprocess.Popen(PROGRAM, stdin=stdin, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
        os.close(stdin)
        drain_slowly(child.stdout.fileno(), output, 0)
    else:
        data, results = addresses(20000)
        read_end, write_end = os.pipe()
        with input_file(data) as stdin:
            child = subprocess.Popen(PROGRAM, stdin=stdin, stdout=non_blocking(write_end),
                                     stderr=subprocess.PIPE)
        os.close(write_end)
        drain_slowly(read_end, output, pause)
        os.close(read_end)
        want = session(results)
    # The child's own processor time, from the system's record of it.
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    stderr = child.stderr.read()
    child.stderr.close()
    if child.stdout:
        child.stdout.close()
    assert output == want
    assert stderr == b""
    assert child.returncode == 0
    if pause > 1:
        assert usage.ru_utime + usage.ru_stime < pause / 2, "the program spun while it waited"


def first_call_on(call, fd, log):
    """The number of the first `call` in a strace log that is made on `fd`,
    counting every `call` before it, such as the dynamic loader's."""
    calls = [line for line in log.splitlines() if line.startswith(call + "(")]
    return 1 + next(i for i, line in enumerate(calls) if re.match(rf"{call}\({fd}[,)]", line))


# Faults injected by strace into the program's own reads of standard input
# and writes to standard output: interrupted and would-block calls are tried
# again and change no byte; any other failure ends the program with status 1,
# and the answers it already made written. A write error that shows only
# when standard output is closed, as on NFS or a full quota, ends it with
# status 1 too.
FAULT_CASES = [
    # name, call, error, on every other call from the first (or only on the first), status
    ("interrupted reads", "read", "EINTR", True, 0),
    ("interrupted writes", "write", "EINTR", True, 0),
    ("reads that would block", "read", "EAGAIN", True, 0),
    ("writes that would block", "write", "EAGAIN", True, 0),
    ("a failed read", "read", "EIO", False, 1),
    ("a failed write", "write", "EIO", False, 1),
    ("a failed close of standard output", "close", "EIO", False, 1),
]


@pytest.mark.parametrize("name,call,error,every_other,status", FAULT_CASES,
                         ids=[c[0] for c in FAULT_CASES])
def test_injected_faults(name, call, error, every_other, status, tmp_path):
    if EMULATED:
        pytest.skip("strace would put the faults into the emulator's calls, not the program's")
    if not shutil.which("strace"):
        pytest.skip("needs strace")
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

    # The calls before the program's own first one, the loader's and a
    # sanitizer's runtime's, can differ in number from one run to the next:
    # a fault that did not land on the program's first call is tried again.
    fd = 0 if call == "read" else 1
    for _ in range(5):
        _, _, log = traced("-e", "trace=read,write,close")
        first = first_call_on(call, fd, log)
        when = f"{first}+2" if every_other else str(first)
        run, output, log = traced("-e", f"trace={call}", "-e",
                                  f"inject={call}:error={error}:when={when}")
        if first_call_on(call, fd, log) == first:
            break
    else:
        pytest.fail(f"in five tries, the fault never landed on the program's first {call}")
    assert f"= -1 {error} (" in log, "the fault was not injected"
    if status == 0 or call == "close":
        want = session(results)
    else:
        want = session([]) if call == "read" else b""
    assert output == want
    assert run.stderr == b""
    assert run.returncode == status
