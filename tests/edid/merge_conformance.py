#!/usr/bin/env python3
"""Merged sample EDIDs judged by Debian's edid-decode --check.

  merge_conformance.py VARNEX_EDID CORPUS_DIR [STEP]

Merges every STEP-th sample EDID (default 5) with the next one, and with two others, with the
merge's default options and with the audio and video options in turn. A result may fail
edid-decode's checks only where one of its inputs already fails them (failures compared without
their numbers). A merge refused because the displays share no timing must say so and write no
file.
"""
import importlib.util
import pathlib
import subprocess
import sys
import tempfile

_here = pathlib.Path(__file__).parent
_spec = importlib.util.spec_from_file_location("damage", _here / "damage_differential.py")
damage = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(damage)

OPTIONS = [[], ["--audio", "union"], ["--video", "first", "--audio", "from:2"],
           ["--identity", "from:2"]]


def main():
    program, corpus = sys.argv[1], pathlib.Path(sys.argv[2])
    step = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    samples = sorted(corpus.glob("*.bin"))
    failures = {}

    def failures_of(path):
        if path not in failures:
            failures[path] = set(damage.reference_failures(path))
        return failures[path]

    problems, merged, refused = [], 0, 0
    with tempfile.TemporaryDirectory() as scratch:
        for n in range(0, len(samples), step):
            inputs = [samples[n], samples[(n + 1) % len(samples)]]
            if n % (5 * step) == 0:
                inputs.append(samples[(n + 50) % len(samples)])
            options = OPTIONS[n // step % len(OPTIONS)]
            out = pathlib.Path(scratch) / f"merged{n}.bin"
            run = subprocess.run([program, "merge", *map(str, inputs), "-o", str(out), *options],
                                 capture_output=True, text=True)
            names = " ".join(p.name for p in inputs) + " " + " ".join(options)
            if run.returncode == 2 and "no timing is accepted by all inputs" in run.stderr:
                refused += 1
                if out.exists():
                    problems.append(f"{names}: refused, but {out.name} was written")
                continue
            if run.returncode != 0:
                problems.append(f"{names}: exit {run.returncode}: {run.stderr.strip()}")
                continue
            merged += 1
            had = set().union(*(failures_of(p) for p in inputs))
            for failure in sorted(failures_of(out) - had):
                problems.append(f"{names}: new failure '{failure}'")
    print(f"{merged} merges judged by edid-decode, {refused} refused for want of a common "
          f"timing, {len(problems)} problems")
    for problem in problems:
        print("PROBLEM " + problem)
    sys.exit(1 if problems or not merged else 0)


if __name__ == "__main__":
    main()
