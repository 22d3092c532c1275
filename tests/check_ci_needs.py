#!/usr/bin/env python3
"""Checks that the documents name the Debian packages that CI's stages
declare: CONTRIBUTING's table of stages has a row for each stage that
.ci/run runs, in its order, naming the packages on the stage's "Needs:"
lines, and the README's install line names the readme stage's.

    check_ci_needs.py SOURCE_DIR
"""
import os
import re
import sys

source = sys.argv[1]


def read(*path):
    with open(os.path.join(source, *path), encoding="utf-8") as f:
        return f.read()


stages = re.search(r"^stages=\(([^)]*)\)", read(".ci", "run"), re.M).group(1).split()
declared = {stage: sorted(" ".join(re.findall(r"^# Needs: (.*)$", read(".ci", "stages", stage + ".sh"),
                                               re.M)).split())
            for stage in stages}
rows = re.findall(r"^\| `([a-z0-9-]+)` \|.*\| ([^|]*) \|$", read("CONTRIBUTING.md"), re.M)
documented = {stage: sorted(re.findall(r"[^` ]+", needs.replace("nothing else", "")))
              for stage, needs in rows}
faults = []
if [stage for stage, _ in rows] != stages:
    faults.append("CONTRIBUTING's stages are %s, and .ci/run's %s" % ([s for s, _ in rows], stages))
for stage in stages:
    if documented.get(stage, declared[stage]) != declared[stage]:
        faults.append("CONTRIBUTING says that %s needs %s, and the stage %s"
                      % (stage, documented[stage], declared[stage]))
install = re.search(r"^sudo apt-get install (.*)$", read("README.md"), re.M).group(1).split()
if sorted(install) != declared["readme"]:
    faults.append("the README installs %s, and the readme stage needs %s"
                  % (install, declared["readme"]))
sys.exit("\n".join(faults) if faults else None)
