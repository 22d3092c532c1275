#!/usr/bin/env python3
"""End-to-end benchmark of vesk-ip-convert on batch input.

Times, side by side in one run, the converter, the straightforward reference
converter and `cat` copying the expected output, all on the same generated
input, and prints the medians and their ratios. Then times a hostile mix of
lines that are not plain addresses, one 256 MiB line from a file and 500
starts on one address each, checks peak memory over growing inputs and for
that line, counts the instructions a line, and runs the microbenchmarks.
With --baseline, another build of the converter, such as the one before a
change, is timed beside it in every comparison. With --static, the static
program against musl is timed beside it on typical input and in the
starts. With --portable, the build without vector instructions is counted
beside it.

The speed guards fail the run on a slowdown. Most are counts, which are the
same on every machine for the same program and input, where a time is a
ratio of the processor to the memory that differs from machine to machine:
the instructions a line that cachegrind counts, on typical input and on the
hostile mix, must stay within COUNT_LIMITS, for the converter and for the
portable build. Two guards are times, for what counts cannot catch, set far
above the usual figures (about 4 and 0.75) so that no machine trips them:
within GUARD_RATIO times `cat` on one 64 MiB line that arrives through a
pipe in 4 KiB pieces (a long line searched again for every piece that
arrives), and within START_GUARD_RATIO times `cat` on 500 starts (a start
that loads libraries it does not need).
"""
import argparse
import fcntl
import filecmp
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SEED = 20261208
GUARD_RATIO = 10
START_GUARD_RATIO = 3  # a start costs about what cat's does
PIECE = 4096
# The most instructions a line, on each input, for the converter and for the
# portable build, as Debian 12's g++ 12 builds them: a little over what they
# count now. Another compiler gives other counts.
COUNT_LIMITS = {
    ("vesk-ip-convert", "typical"): 410,  # counted 394
    ("vesk-ip-convert", "hostile"): 555,  # counted 536
    ("portable", "typical"): 465,  # counted 451
    ("portable", "hostile"): 575,  # counted 559
}
# Instructions a line are the count for the longer input less the count for
# the shorter one, over the lines between: what starting costs drops out.
COUNT_LINES = (1_000, 11_000)


def write_typical_input(path, lines, seed=SEED):
    """Writes `lines` random dotted addresses, the same for the same seed."""
    rng = random.Random(seed)
    with open(path, "w", encoding="ascii") as f:
        chunk = []
        for i in range(lines):
            chunk.append("%d.%d.%d.%d\n" % (rng.randrange(256), rng.randrange(256),
                                            rng.randrange(256), rng.randrange(256)))
            if len(chunk) == 65536 or i == lines - 1:
                f.write("".join(chunk))
                chunk.clear()


def hostile_line(rng):
    """One line of a kind that the plain reading leaves to the general one."""
    digits = lambda n: "".join(rng.choice("0123456789") for _ in range(n))
    octet = lambda: str(rng.randrange(256))
    kind = rng.randrange(9)
    if kind == 0:
        return ""
    if kind == 1:  # long runs of digits, which saturate
        return ".".join(digits(rng.randrange(5, 40)) for _ in range(4))
    if kind == 2:  # signs
        return ".".join(rng.choice("+-") + octet() for _ in range(4))
    if kind == 3:  # white space before and after the numbers
        return ".".join(rng.choice([" ", "\t", " \v", "\f "]) + octet() + " " for _ in range(4))
    if kind == 4:  # letters
        return ".".join(rng.choice(["a", "x1", octet() + "z", "0x" + octet()]) for _ in range(4))
    if kind == 5:  # extra dots
        return ".".join(octet() for _ in range(rng.randrange(5, 9))) + "." * rng.randrange(3)
    if kind == 6:  # CR LF ends
        return ".".join(octet() for _ in range(4)) + "\r"
    if kind == 7:  # bytes from 0x80 to 0xff
        return "".join(rng.choice(["\x80", "\xa0", "\xff", ".", octet()]) for _ in range(6))
    return ".".join(octet() for _ in range(4))  # and some plain lines among them


def write_hostile_input(path, lines, seed=SEED, long_line=True):
    """Writes `lines` lines of every kind that is not a plain address, and
    one line of 1 MB in the middle unless told not to, the same for the same
    seed."""
    rng = random.Random(seed)
    with open(path, "wb") as f:
        chunk = []
        for i in range(lines):
            long = long_line and i == lines // 2
            chunk.append(hostile_line(rng) if not long else "1." + "9" * 1_000_000)
            if len(chunk) == 65536 or i == lines - 1:
                f.write(("\n".join(chunk) + "\n").encode("latin-1"))
                chunk.clear()


def pin_to_one_processor():
    """Runs this harness, and so every program it starts, on one processor.
    Children started one after another may take turns between processors;
    with an even number of contenders, each would then always run on the
    same one, and processors that share their core or host with other work
    differ in speed by as much as a quarter."""
    if hasattr(os, "sched_setaffinity"):
        os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})


def run(command, input_path, output_path=os.devnull):
    """Runs `command` with the given files and returns the seconds it took."""
    with open(input_path, "rb") as stdin, open(output_path, "wb") as stdout:
        start = time.perf_counter()
        subprocess.run(command, stdin=stdin, stdout=stdout, check=True)
        return time.perf_counter() - start


def peak_memory_kib(command, input_path, output_path=os.devnull):
    """Peak resident memory of `command`, as GNU time reports it. (This
    process's own memory would count if it started the program itself.)"""
    with tempfile.NamedTemporaryFile("r") as report:
        run(["/usr/bin/time", "-q", "-f", "%M", "-o", report.name] + command,
            input_path, output_path)
        return int(report.read().split()[-1])


def time_side_by_side(args, work):
    data = os.path.join(work, "typical.txt")
    expected = os.path.join(work, "expected.txt")
    write_typical_input(data, args.lines)
    run([args.program], data, expected)
    check = os.path.join(work, "reference.txt")
    run([args.reference], data, check)
    if not filecmp.cmp(expected, check, shallow=False):
        sys.exit("the reference and the converter disagree on the benchmark input")
    contenders = {
        "vesk-ip-convert": ([args.program], data),
        "reference": ([args.reference], data),
        "cat (output bytes)": (["cat"], expected),
    }
    if args.baseline:
        contenders["baseline"] = ([args.baseline], data)
    if args.static:
        contenders["static"] = ([args.static], data)
        run([args.static], data, check)
        if not filecmp.cmp(expected, check, shallow=False):
            sys.exit("the static program and the converter disagree on the benchmark input")
    times = {name: [] for name in contenders}
    for _ in range(args.rounds):  # interleaved, so that drift hits all alike
        for name, (command, stdin) in contenders.items():
            times[name].append(run(command, stdin))
    medians = {name: statistics.median(t) for name, t in times.items()}
    size = os.path.getsize(expected)
    print("Batch conversion of %d typical addresses (%.1f MB of output), median of %d rounds:"
          % (args.lines, size / 1e6, args.rounds))
    for name, median in medians.items():
        print("  %-20s %8.1f ms" % (name, median * 1e3))
    speedup = medians["reference"] / medians["vesk-ip-convert"]
    over_floor = medians["vesk-ip-convert"] / medians["cat (output bytes)"]
    print("  reference / vesk-ip-convert = %.1fx faster (target: at least 30x)" % speedup)
    print("  vesk-ip-convert / cat       = %.2fx the floor (target: at most 4x)" % over_floor)
    if args.baseline:
        print("  vesk-ip-convert / baseline  = %.3f"
              % (medians["vesk-ip-convert"] / medians["baseline"]))
    if args.static:
        print("  static / vesk-ip-convert    = %.3f (target: at most 1.05)"
              % (medians["static"] / medians["vesk-ip-convert"]))
    # The usual batch use writes a file, where the reference's write per
    # line costs more: shown for context, not checked.
    to_file = {name: [] for name in ("vesk-ip-convert", "reference")}
    converted = os.path.join(work, "converted.txt")
    for _ in range(3):
        for name in to_file:
            to_file[name].append(run(contenders[name][0], data, converted))
    program, reference = (statistics.median(to_file[n]) for n in to_file)
    print("  with output to a file (median of 3): vesk-ip-convert %.1f ms, reference %.1f ms (%.1fx)"
          % (program * 1e3, reference * 1e3, reference / program))


def time_hostile(args, work):
    """The hostile mix: beside the baseline, whose output must be the same
    to the byte, and beside `cat`. Shown, not guarded."""
    data = os.path.join(work, "hostile.txt")
    write_hostile_input(data, args.lines)
    output = os.path.join(work, "hostile.out")
    contenders = {"vesk-ip-convert": [args.program], "cat": ["cat"]}
    if args.baseline:
        contenders["baseline"] = [args.baseline]
        run([args.program], data, output)
        check = os.path.join(work, "hostile-baseline.out")
        run([args.baseline], data, check)
        if not filecmp.cmp(output, check, shallow=False):
            sys.exit("the converter and the baseline disagree on the hostile mix")
    times = {name: [] for name in contenders}
    for _ in range(args.rounds):
        for name, command in contenders.items():
            times[name].append(run(command, data))
    medians = {name: statistics.median(t) for name, t in times.items()}
    print("Batch conversion of %d hostile lines (%.1f MB), median of %d rounds:"
          % (args.lines, os.path.getsize(data) / 1e6, args.rounds))
    for name, median in medians.items():
        print("  %-20s %8.1f ms" % (name, median * 1e3))
    if args.baseline:
        print("  vesk-ip-convert / baseline  = %.3f (target: at most 1.0), the same bytes"
              % (medians["vesk-ip-convert"] / medians["baseline"]))


def run_piecewise(command, data, timeout):
    """Feeds `data` to `command` through a pipe that holds one PIECE at a
    time, and returns the seconds until it has exited, or None if it had
    not after `timeout` seconds (it is killed then)."""
    with open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=sink, bufsize=0)
        fcntl.fcntl(child.stdin.fileno(), fcntl.F_SETPIPE_SZ, PIECE)
        watchdog = threading.Timer(timeout, child.kill)
        watchdog.start()
        try:
            view = memoryview(data)
            for i in range(0, len(data), PIECE):
                child.stdin.write(view[i:i + PIECE])
            child.stdin.close()
        except BrokenPipeError:
            pass
        child.wait()
        watchdog.cancel()
        elapsed = time.perf_counter() - start
        return None if elapsed >= timeout else elapsed


def time_long_line(args):
    """A 64 MiB line arriving in pieces, against `cat` fed the same way."""
    data = b"1.2.3." + b"9" * (64 << 20) + b"\n"
    times = {"vesk-ip-convert": [], "cat": []}
    for _ in range(3):
        cat = run_piecewise(["cat"], data, 60)
        times["cat"].append(cat)
        times["vesk-ip-convert"].append(run_piecewise([args.program], data, GUARD_RATIO * 2 * cat))
    if None in times["vesk-ip-convert"]:
        print("One 64 MiB line in %d-byte pieces: vesk-ip-convert did not finish within %dx cat"
              % (PIECE, 2 * GUARD_RATIO))
        return False
    program, cat = (statistics.median(times[n]) for n in times)
    print("One 64 MiB line in %d-byte pieces through a pipe, median of 3:" % PIECE)
    print("  vesk-ip-convert %.1f ms, cat %.1f ms: %.2fx (guard: %dx)"
          % (program * 1e3, cat * 1e3, program / cat, GUARD_RATIO))
    return program / cat <= GUARD_RATIO


def time_huge_line(args, work):
    """One 256 MiB line from a file: the time beside `cat` (and the
    baseline), and peak memory, which must stay within 1.1 times the line
    plus 8 MiB: the buffer grows without a second copy of the line."""
    path = os.path.join(work, "huge-line.txt")
    with open(path, "wb") as f:
        f.write(b"1.2.3." + b"9" * (256 << 20) + b"\n")
    output = os.path.join(work, "huge-line.out")
    contenders = {"vesk-ip-convert": [args.program], "cat": ["cat"]}
    if args.baseline:
        contenders["baseline"] = [args.baseline]
    times = {name: [] for name in contenders}
    peaks = {name: [] for name in contenders}
    converted = True
    for _ in range(3):
        for name, command in contenders.items():
            start = time.perf_counter()
            peaks[name].append(peak_memory_kib(command, path, output))
            times[name].append(time.perf_counter() - start)
            if name == "vesk-ip-convert":
                with open(output, "rb") as f:
                    converted = converted and b"1.2.3.255 => 16923583 (0x1023bbf)" in f.read()
    median = {name: statistics.median(t) for name, t in times.items()}
    limit = 1.1 * os.path.getsize(path) / 1024 + 8 * 1024
    print("One 256 MiB line from a file, median of 3:")
    for name in contenders:
        print("  %-16s %8.1f ms, peak %6.1f MiB" % (name, median[name] * 1e3,
                                                    max(peaks[name]) / 1024))
    # Shown, not guarded: the time goes mostly to the system's first touch
    # of each page of the line, which cat, reusing one buffer, never pays.
    print("  vesk-ip-convert / cat = %.2fx; peak memory limit %.1f MiB"
          % (median["vesk-ip-convert"] / median["cat"], limit / 1024))
    if args.baseline:
        print("  vesk-ip-convert / baseline = %.3f (target: at most 0.7)"
              % (median["vesk-ip-convert"] / median["baseline"]))
    os.remove(path)
    return converted and max(peaks["vesk-ip-convert"]) <= limit


def time_starts(args, work, starts=500):
    """`starts` runs of the converter on one address each, in a shell loop,
    against the same loop with `cat`: what it costs to start the program."""
    path = os.path.join(work, "one-address.txt")
    with open(path, "w", encoding="ascii") as f:
        f.write("192.168.1.10\n")
    loop = 'n=$1 in=$2; shift 2; i=0; while [ $i -lt $n ]; do "$@" <"$in" >/dev/null; i=$((i+1)); done'
    contenders = {"vesk-ip-convert": [args.program], "cat": ["cat"]}
    if args.baseline:
        contenders["baseline"] = [args.baseline]
    if args.static:
        contenders["static"] = [args.static]
    times = {name: [] for name in contenders}
    for _ in range(5):
        for name, command in contenders.items():
            start = time.perf_counter()
            subprocess.run(["sh", "-c", loop, "sh", str(starts), path] + command, check=True)
            times[name].append(time.perf_counter() - start)
    median = {name: statistics.median(t) for name, t in times.items()}
    print("%d starts on one address each, in a shell loop, median of 5:" % starts)
    for name in contenders:
        print("  %-16s %8.1f ms" % (name, median[name] * 1e3))
    ratio = median["vesk-ip-convert"] / median["cat"]
    print("  vesk-ip-convert / cat = %.2fx (target: at most 1; guard: %dx)"
          % (ratio, START_GUARD_RATIO))
    if args.baseline:
        print("  vesk-ip-convert / baseline = %.3f"
              % (median["vesk-ip-convert"] / median["baseline"]))
    if args.static:
        print("  static / cat = %.2fx" % (median["static"] / median["cat"]))
    return ratio <= START_GUARD_RATIO


def instructions(command, input_path):
    """The instructions that `command` runs on `input_path`, as cachegrind
    counts them."""
    report = subprocess.run(["valgrind", "--tool=cachegrind", "--cache-sim=no",
                             "--cachegrind-out-file=/dev/null", "--"] + command,
                            stdin=open(input_path, "rb"), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True).stderr
    refs = re.search(r"I\s+refs:\s+([\d,]+)", report)
    if not refs:
        sys.exit("cachegrind's report has no count of instructions:\n" + report)
    return int(refs.group(1).replace(",", ""))


def count_instructions(args, work):
    """Instructions a line on typical input and on the hostile mix (without
    its long line), for the converter and the portable build, against
    COUNT_LIMITS."""
    programs = {"vesk-ip-convert": args.program}
    if args.portable:
        programs["portable"] = args.portable
    writers = {"typical": write_typical_input,
               "hostile": lambda path, lines: write_hostile_input(path, lines, long_line=False)}
    short, long = COUNT_LINES
    print("Instructions a line, as cachegrind counts them (%d lines less %d):" % (long, short))
    within = True
    for kind, write in writers.items():
        inputs = []
        for lines in COUNT_LINES:
            inputs.append(os.path.join(work, "count-%s-%d.txt" % (kind, lines)))
            write(inputs[-1], lines)
        for name, program in programs.items():
            counts = [instructions([program], path) for path in inputs]
            per_line = (counts[1] - counts[0]) / (long - short)
            limit = COUNT_LIMITS[(name, kind)]
            within = within and per_line <= limit
            print("  %-16s %-8s %6.1f (limit %d)" % (name, kind, per_line, limit))
    return within


def check_memory(args, work):
    print("Peak resident memory of vesk-ip-convert:")
    ok = True
    for lines in args.memory_lines:
        path = os.path.join(work, "memory.txt")
        write_typical_input(path, lines)
        kib = peak_memory_kib([args.program], path)
        ok = ok and kib <= 16 * 1024
        print("  %10d lines    %6.1f MiB (limit 16 MiB)" % (lines, kib / 1024))
        os.remove(path)
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--micro", help="the Google Benchmark microbenchmark binary")
    parser.add_argument("--baseline", help="another build of the converter to time beside it")
    parser.add_argument("--portable", help="the build without vector instructions (VESK_SIMD=OFF), "
                        "whose instructions a line are counted beside the converter's")
    parser.add_argument("--static", help="the static build of the converter, against musl, to time "
                        "beside it on typical input and in the starts")
    parser.add_argument("--lines", type=int, default=1_000_000)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--memory-lines", type=int, nargs="*", default=[1_000, 1_000_000, 10_000_000])
    args = parser.parse_args()
    pin_to_one_processor()
    with tempfile.TemporaryDirectory() as work:
        time_side_by_side(args, work)
        time_hostile(args, work)
        fast = time_long_line(args)
        huge_lean = time_huge_line(args, work)
        fast = time_starts(args, work) and fast
        lean = check_memory(args, work) and huge_lean
        fast = count_instructions(args, work) and fast
    if args.micro:
        print("Microbenchmarks (ns per line):", flush=True)
        subprocess.run([args.micro, "--benchmark_min_time=0.2"], check=True)
    print("speed guards %s; memory limits %s"
          % ("met" if fast else "TRIPPED", "met" if lean else "EXCEEDED"))
    return 0 if fast and lean else 1


if __name__ == "__main__":
    sys.exit(main())
