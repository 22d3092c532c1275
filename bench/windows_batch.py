#!/usr/bin/env python3
"""Batch conversion by the Windows builds under Wine, beside the Linux build.

Converts the same generated addresses from a file to a file with each
program, in one run: checks that the Windows builds write the Linux build's
bytes with CR LF line ends, counts the write and read calls that reach the
system on the output and input files (`strace -f`, which follows Wine and
qemu into the program), and times each program on the batch and on empty
input, the cost of starting Wine (and, for 32-bit, qemu). Fails if a Windows
build makes more than --max-writes write calls.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

from run_bench import write_typical_input

LOADERS = {"x64": "/usr/lib/wine/wine64", "x86": "/usr/lib/wine/wine"}
# Creates the prefix and starts Wine's server and services, or stops them.
WINE_FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                            "wine_fixture.sh")


def run(command, input_path, output_path, env):
    with open(input_path, "rb") as stdin, open(output_path, "wb") as stdout:
        start = time.perf_counter()
        subprocess.run(command, stdin=stdin, stdout=stdout, env=env, check=True)
        return time.perf_counter() - start


def count_calls(command, input_path, output_path, env, work):
    """Write calls on the output file and read calls on the input file."""
    log = os.path.join(work, "strace.log")
    run(["strace", "-f", "-y", "-qq", "-o", log,
         "-e", "trace=read,readv,pread64,write,writev,pwrite64,pwritev"] + command,
        input_path, output_path, env)
    writes = reads = 0
    with open(log, encoding="utf-8", errors="replace") as f:
        for line in f:
            if "<%s>" % output_path in line and "write" in line:
                writes += 1
            elif "<%s>" % input_path in line and "read" in line:
                reads += 1
    return writes, reads


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--linux", required=True, help="the Linux build")
    parser.add_argument("--windows", nargs=2, action="append", metavar=("ARCH", "EXE"),
                        default=[], help="a Windows build: x64 or x86, and its .exe")
    parser.add_argument("--lines", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--max-writes", type=int, default=260)
    args = parser.parse_args()

    programs = {"linux": ([os.path.abspath(args.linux)], dict(os.environ))}
    for arch, exe in args.windows:
        exe = os.path.abspath(exe)
        env = dict(os.environ, WINEDEBUG="-all",
                   WINEPREFIX=os.path.join(os.path.dirname(exe), "wine-prefix"))
        programs["windows-" + arch] = ([LOADERS[arch], exe], env)
        # A running server and services, so that each run times the program.
        subprocess.run(["sh", WINE_FIXTURE, "setup", LOADERS[arch]], env=env, check=True)

    ok = True
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "addresses.txt")
        empty = os.path.join(work, "empty.txt")
        write_typical_input(data, args.lines)
        open(empty, "wb").close()
        outputs = {name: os.path.join(work, name + ".out") for name in programs}
        batch = {name: [] for name in programs}
        start_up = {name: [] for name in programs}
        for _ in range(args.rounds):  # interleaved, so that drift hits all alike
            for name, (command, env) in programs.items():
                batch[name].append(run(command, data, outputs[name], env))
                start_up[name].append(run(command, empty, os.devnull, env))
        with open(outputs["linux"], "rb") as f:
            crlf = f.read().replace(b"\n", b"\r\n")
        if crlf.count(b" => ") != args.lines:
            print("  the Linux build did not answer each of the %d lines" % args.lines)
            ok = False
        print("%d typical addresses, file to file, median of %d rounds:"
              % (args.lines, args.rounds))
        print("  %-14s %10s %12s %12s %8s %8s" % ("build", "batch", "empty input",
                                               "batch-empty", "writes", "reads"))
        for name, (command, env) in programs.items():
            writes, reads = count_calls(command, data, outputs[name], env, work)
            whole, idle = statistics.median(batch[name]), statistics.median(start_up[name])
            print("  %-14s %8.0f ms %9.0f ms %9.0f ms %8d %8d"
                  % (name, whole * 1e3, idle * 1e3, (whole - idle) * 1e3, writes, reads))
            if not writes or not reads:
                print("  %s: strace showed no reads or writes on the files: not understood" % name)
                ok = False
            if name != "linux":
                with open(outputs[name], "rb") as f:
                    if f.read() != crlf:
                        print("  %s: output differs from the Linux build's with CR LF" % name)
                        ok = False
                if writes > args.max_writes:
                    print("  %s: more than %d write calls" % (name, args.max_writes))
                    ok = False
    for command, env in programs.values():
        if "WINEPREFIX" in env:
            subprocess.run(["sh", WINE_FIXTURE, "cleanup", command[0]], env=env, check=False)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
