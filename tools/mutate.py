#!/usr/bin/env python3
"""Mutation check: do the tests notice small faults put into the program?

    tools/mutate.py run [FILE ...]   # make the faults, then try each; resumable
    tools/mutate.py report           # the score, and every fault that no test noticed

Each fault changes one thing in one line of conversion/ or console/ (or of
the FILEs given): a comparison, an arithmetic or logical operator, a number,
true or false, or it deletes a statement. It is put into a copy of the
checkout in build-mutation/ (MinSizeRel, no benchmarks), which is
rebuilt; then the unit tests run, and if they pass, every test up to the
first that fails. A fault in code built only for Windows (#ifdef _WIN32) is
tried in the copy's 64-bit Windows build instead, whose tests run under Wine (the
windows-x64 preset's packages; without them such faults are left out). A
fault that no test fails is a survivor: a gap in the tests, unless it
cannot change what the program does. Results go to
build-mutation/results.jsonl as they come, so an interrupted run goes on
where it stopped. A fault that does not compile does not count.
"""
import hashlib
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build-mutation")
COPY = os.path.join(WORK, "src")
BUILD = os.path.join(COPY, "build")
WINDOWS_BUILD = os.path.join(COPY, "build-windows")
FAULTS = os.path.join(WORK, "faults.json")
RESULTS = os.path.join(WORK, "results.jsonl")
TIMEOUT = 300  # seconds for one build
SUITE_TIMEOUT = 150  # seconds for the whole test suite, which takes about 30
WINDOWS_TIMEOUT = 900  # seconds for the Windows build's tests under Wine
# Seconds for the unit tests, which take about one and a half: a fault that
# makes them loop or grow a buffer without end fails at this limit.
UNIT_TIMEOUT = 15
# Bytes of address space for each test process: a runaway fault fails, and
# the row that reads a line of more than 2 GiB, into a 4 GiB buffer, runs.
MEMORY = 8 << 30

# Each token that a fault may replace, and what it becomes.
SWAPS = {"<": ["<="], "<=": ["<"], ">": [">="], ">=": [">"], "==": ["!="], "!=": ["=="],
         "+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "%": ["/"], "&&": ["||"],
         "||": ["&&"], "&": ["|"], "|": ["&"], "^": ["|"], "<<": [">>"], ">>": ["<<"],
         "+=": ["-="], "-=": ["+="], "true": ["false"], "false": ["true"]}
TOKEN = re.compile(r"""//.*|/\*.*?\*/|"(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*'|"""
                   r"""\b0[xX][0-9a-fA-F][0-9a-fA-F']*[uU]?\b|\b\d[\d']*[uUlL]*\b|[A-Za-z_]\w*|"""
                   r"""<<=|>>=|<=|>=|==|!=|&&|\|\||\+=|-=|<<|>>|->|::|[-+*/%<>&|^!=]""")
# An expression statement on one line: a call, or an assignment. A
# declaration has a type before its name, so it does not match.
STATEMENT = re.compile(r"^\s+(?!return\b)\*?[\w.:\->\[\]]+(\+\+|--)?\s*"
                       r"([-+*/|&^]?=[^=].*|\(.*\));\s*$")


def faults_in(path):
    """Every fault for one file, as {file, line, old, new, column}."""
    faults = []
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        lines = f.read().split("\n")
    windows_only = []  # for each open #if: whether its lines are built only for Windows
    for number, line in enumerate(lines, 1):
        directive = line.split()[:2] if line.startswith("#") else []
        if directive[:1] in (["#if"], ["#ifdef"], ["#ifndef"]):
            windows_only.append(directive == ["#ifdef", "_WIN32"])
        elif directive[:1] == ["#else"] and windows_only:
            windows_only[-1] = False
        elif directive[:1] == ["#endif"] and windows_only:
            windows_only.pop()
        if directive or line.lstrip().startswith("//"):
            continue
        for match in TOKEN.finditer(line):
            token = match.group()
            if token.startswith(("//", "/*", '"', "'")):
                continue
            # Operators only where clang-format spaces them as binary ones,
            # not in template brackets, pointers or references.
            spaced = line[match.start() - 1:match.start()] == " " == line[match.end():match.end() + 1]
            news = SWAPS.get(token, []) if spaced or token.isalpha() else []
            if token[0].isdigit():
                value = int(token.rstrip("uUlL").replace("'", ""), 0)
                news = [str(value + 1)] + (["0"] if value else [])
            for new in news:
                faults.append({"file": path, "line": number, "column": match.start(),
                               "old": token, "new": new, "windows": any(windows_only)})
        if STATEMENT.match(line) and line.count("(") == line.count(")"):
            faults.append({"file": path, "line": number, "column": 0, "old": line,
                           "new": "/* deleted */", "windows": any(windows_only)})
    return faults


def source_files(paths):
    listed = subprocess.run(["git", "ls-files", "--", *paths], cwd=ROOT, check=True,
                            capture_output=True, text=True).stdout.split()
    return [f for f in listed if f.endswith((".cpp", ".hpp"))]


def fingerprint(files):
    digest = hashlib.sha256()
    for path in files:
        with open(os.path.join(ROOT, path), "rb") as f:
            digest.update(path.encode() + f.read())
    return digest.hexdigest()


def limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY, MEMORY))


def run(command, timeout=TIMEOUT, limit=False):
    """The command's exit status, or None if it did not finish in time; then,
    and when this run is stopped, it and every process that it started are
    ended."""
    # pytest stops at the first failure: one is enough to notice a fault.
    env = dict(os.environ, PYTEST_ADDOPTS="-x")
    child = subprocess.Popen(command, cwd=COPY, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True, env=env,
                             preexec_fn=limit_memory if limit else None)
    try:
        return child.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    finally:
        if child.poll() is None:  # out of time, or this run was stopped
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()


def prepare(paths):
    """Makes the faults and a built copy of the checkout, unless the sources
    are those of the interrupted run that is to go on."""
    files = source_files(paths)
    stamp = fingerprint(files)
    if os.path.exists(FAULTS):
        with open(FAULTS, encoding="utf-8") as f:
            saved = json.load(f)
        if saved["fingerprint"] == stamp and os.path.isdir(BUILD):
            for path in files:  # in case a fault was left in when a run was stopped
                shutil.copy2(os.path.join(ROOT, path), os.path.join(COPY, path))
            return saved["faults"]
    shutil.rmtree(WORK, ignore_errors=True)
    for path in subprocess.run(["git", "ls-files"], cwd=ROOT, check=True, capture_output=True,
                               text=True).stdout.split("\n"):
        if path and os.path.isfile(os.path.join(ROOT, path)):
            os.makedirs(os.path.dirname(os.path.join(COPY, path)), exist_ok=True)
            shutil.copy2(os.path.join(ROOT, path), os.path.join(COPY, path))
    # Optimised for size: quick to build, quick to test, and without the
    # link-time optimisation of release builds.
    size = ["-DCMAKE_BUILD_TYPE=MinSizeRel", "-DVESK_BUILD_BENCHMARKS=OFF"]
    configure = ["cmake", "-S", ".", "-B", "build", "-G", "Ninja", *size]
    if run(configure) != 0 or run(["cmake", "--build", "build"]) != 0 or run(
            ["ctest", "--test-dir", "build", "-j2"]) != 0:
        sys.exit("mutate: the unchanged sources do not build or pass their tests in " + COPY)
    faults = [fault for path in files for fault in faults_in(path)]
    windows = ["cmake", "--preset", "windows-x64", "-B", WINDOWS_BUILD, *size]
    if any(fault["windows"] for fault in faults) and (
            run(windows) != 0 or run(["cmake", "--build", WINDOWS_BUILD]) != 0 or
            run(["ctest", "--test-dir", WINDOWS_BUILD], WINDOWS_TIMEOUT) != 0):
        print("mutate: no Windows build that passes its tests under Wine: "
              "the faults in Windows code are left out", flush=True)
        faults = [fault for fault in faults if not fault["windows"]]
    with open(FAULTS, "w", encoding="utf-8") as f:
        json.dump({"fingerprint": stamp, "faults": faults}, f)
    return faults


def end_strays():
    """Ends programs built in the copy that a test left running, such as one
    that a terminal test started in a session of its own (Linux)."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink(f"/proc/{pid}/exe").startswith(BUILD + os.sep):
                os.kill(int(pid), signal.SIGKILL)
        except OSError:
            pass


def apply(fault, text):
    lines = text.split("\n")
    line, column = lines[fault["line"] - 1], fault["column"]
    if fault["new"] == "/* deleted */":
        lines[fault["line"] - 1] = fault["new"]
    else:
        lines[fault["line"] - 1] = line[:column] + fault["new"] + line[column + len(fault["old"]):]
    return "\n".join(lines)


def try_fault(fault):
    path = os.path.join(COPY, fault["file"])
    with open(path, encoding="utf-8") as f:
        original = f.read()
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(apply(fault, original))
        if fault.get("windows"):
            if run(["cmake", "--build", WINDOWS_BUILD]) != 0:
                return "not built"
            # Every test runs: stopping at the first failure would skip the
            # fixture that stops Wine's server, and the next run would wait
            # for that server.
            if run(["ctest", "--test-dir", WINDOWS_BUILD], WINDOWS_TIMEOUT) != 0:
                return "killed under Wine"
            return "survived"
        if run(["cmake", "--build", "build"]) != 0:
            return "not built"
        if run(["build/tests/vesk_unit_tests"], UNIT_TIMEOUT, limit=True) != 0:
            return "killed by the unit tests"
        if run(["ctest", "--test-dir", "build", "-j2", "--stop-on-failure"], SUITE_TIMEOUT,
               limit=True) != 0:
            return "killed"
        return "survived"
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)
        end_strays()


def load_results():
    if not os.path.exists(RESULTS):
        return {}
    with open(RESULTS, encoding="utf-8") as f:
        return {r["id"]: r for r in map(json.loads, f)}


def report():
    results = load_results().values()
    counted = [r for r in results if r["status"] != "not built"]
    killed = sum(r["status"].startswith("killed") for r in counted)
    if counted:
        print(f"{killed} of {len(counted)} faults noticed: {100 * killed / len(counted):.1f}%"
              f" ({len(results) - len(counted)} did not compile)")
        windows = [r for r in counted if r.get("windows")]
        print(f"  of them in Windows code, tried under Wine: "
              f"{sum(r['status'].startswith('killed') for r in windows)} of {len(windows)}")
    for r in sorted(results, key=lambda r: r["id"]):
        if r["status"] == "survived":
            print(f"survived #{r['id']} {r['file']}:{r['line']}: {r['old'].strip()!r} -> {r['new']!r}")


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ("run", "report"):
        sys.exit(__doc__)
    if sys.argv[1] == "run":
        # Stopped from outside, a run still takes its fault out of the copy.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit("mutate: stopped"))
        faults = prepare(sys.argv[2:] or ["conversion", "console"])
        done = load_results()
        for number, fault in enumerate(faults):
            if number in done:
                continue
            result = dict(fault, id=number, status=try_fault(fault))
            with open(RESULTS, "a", encoding="utf-8") as f:
                f.write(json.dumps(result) + "\n")
            print(f"#{number}/{len(faults)} {fault['file']}:{fault['line']} {result['status']}",
                  flush=True)
        run(["cmake", "--build", "build"])  # the copy matches the sources again
        if os.path.isdir(WINDOWS_BUILD):
            run(["cmake", "--build", WINDOWS_BUILD])
    report()


if __name__ == "__main__":
    main()
