#!/usr/bin/env python3
"""Damaged sample EDIDs judged twice: by Debian's edid-decode --check and by varnex-edid decode.

  damage_differential.py VARNEX_EDID CORPUS_DIR FINDING_MAP [--explore]

Each sample EDID gets one-byte (at most one-field) damages of the kinds below, its checksums
fixed afterwards. For every damaged EDID, the failures edid-decode reports that it did not report
for the sample (matched without their numbers) must come with a finding of ours that the sample
did not have either, of a kind that FINDING_MAP names for that failure. FINDING_MAP's lines are
'REGEX<TAB>KIND[,KIND...]' ('-' for a policy of edid-decode's that we decide not to follow, with
the reason in a comment above). A new failure that no line matches fails the check, and so does
a line that no damage reached. --explore prints the new failures by damage kind instead.
"""
import collections
import concurrent.futures
import json
import pathlib
import re
import subprocess
import sys
import tempfile

CTA = 128


def checksum(data, block):
    data[block * 128 + 127] = (-sum(data[block * 128:block * 128 + 127])) & 0xFF


def cta_collection(data):
    """The data blocks of a well-formed CTA-861 extension: (offset, tag, extended tag, length)."""
    if data[CTA] != 0x02 or data[CTA + 1] < 3 or not 4 <= data[CTA + 2] <= 127:
        return []
    blocks, p, end = [], CTA + 4, CTA + data[CTA + 2]
    while p < end:
        tag, length = data[p] >> 5, data[p] & 0x1F
        if p + 1 + length > end:
            return []
        blocks.append((p, tag, data[p + 1] if tag == 7 and length else None, length))
        p += 1 + length
    return blocks


def display_descriptor(data, *tags):
    return next((d for d in range(54, 126, 18) if data[d:d + 2] == b"\0\0" and data[d + 3] in tags),
                None)


def cta_dtds(data):
    if data[CTA] != 0x02 or not 4 <= data[CTA + 2] <= 127:
        return []
    found, p = [], CTA + data[CTA + 2]
    while p + 18 <= 255 and (data[p] or data[p + 1]):
        found.append(p)
        p += 18
    return found


def blocks(data, tag, oui=None):
    """Offsets and lengths of the data blocks of a tag (and an OUI's first byte, for tag 3)."""
    return [(offset, length) for offset, t, _, length in cta_collection(data)
            if t == tag and (oui is None or length >= 5 and data[offset + 1:offset + 4] == oui)]


def svds(data):
    return [p for offset, length in blocks(data, 2) for p in range(offset + 1, offset + 1 + length)]


def put(data, *changes):
    """Writes (offset, value or function of the old value) pairs; True for the damage table."""
    for offset, value in changes:
        data[offset] = value(data[offset]) if callable(value) else value
    return True


HDMI = bytes([0x03, 0x0C, 0x00])
# Each damage: a name, and a function that damages a copy of the sample and returns True, or
# returns something false where the sample has nothing of that kind.
DAMAGES = [
    ("header", lambda d: put(d, (3, 0x00))),
    ("manufacturer", lambda d: put(d, (8, lambda b: b | 0x80))),
    ("version 1.5", lambda d: put(d, (19, 5))),
    ("week 255 on 1.3", lambda d: d[19] == 3 and put(d, (16, 0xFF))),
    ("week 54 on 1.3", lambda d: d[19] == 3 and put(d, (16, 54))),
    ("week 55", lambda d: put(d, (16, 55))),
    ("preferred timing bit off on 1.3",
     lambda d: d[19] == 3 and d[24] & 0x02 and put(d, (24, lambda b: b & ~0x02))),
    ("descriptor reserved byte",
     lambda d: (p := display_descriptor(d, 0xFC, 0xFF, 0xFE)) is not None and put(d, (p + 2, 1))),
    ("name with trailing spaces",
     lambda d: (p := display_descriptor(d, 0xFC)) is not None and 0x0A in d[p + 5:p + 18]
     and put(d, (p + 5 + d[p + 5:p + 18].index(0x0A), 0x20))),
    ("range limits without line feed",
     lambda d: (p := display_descriptor(d, 0xFD)) is not None and d[p + 10] in (0, 1)
     and d[p + 11] == 0x0A and put(d, (p + 11, 0))),
    ("DTD of no active pixels", lambda d: d[54] | d[55] and put(d, (56, 0), (58, lambda b: b & 0x0F))),
    ("DTD of no sync width", lambda d: d[54] | d[55] and put(d, (63, 0), (65, lambda b: b & 0xCF))),
    ("extension count 2", lambda d: d[126] == 1 and put(d, (126, 2))),
    ("CTA revision 0", lambda d: d[CTA] == 2 and put(d, (CTA + 1, 0))),
    ("CTA revision 1", lambda d: d[CTA] == 2 and d[CTA + 2] > 4 and put(d, (CTA + 1, 1))),
    ("CTA revision 5", lambda d: d[CTA] == 2 and put(d, (CTA + 1, 5))),
    ("DTD offset above 127", lambda d: d[CTA] == 2 and put(d, (CTA + 2, 0x90))),
    ("DTD offset 2", lambda d: d[CTA] == 2 and put(d, (CTA + 2, 2))),
    ("native DTDs 15", lambda d: d[CTA] == 2 and put(d, (CTA + 3, lambda b: b | 0x0F))),
    ("basic audio off with audio blocks",
     lambda d: d[CTA + 3] & 0x40 and blocks(d, 1) and put(d, (CTA + 3, lambda b: b & ~0x40))),
    ("extended block of length 0", lambda d: (b := blocks(d, 7)) and put(d, (b[0][0], 0xE0))),
    ("tag 0 block", lambda d: (b := blocks(d, 4)) and put(d, (b[0][0], lambda h: h & 0x1F))),
    ("duplicate VIC", lambda d: len(v := svds(d)) >= 2 and put(d, (v[1], d[v[0]] & 0x7F))),
    ("reserved SVD 0", lambda d: (v := svds(d)) and put(d, (v[-1], 0))),
    ("audio block length not a multiple of 3",
     lambda d: (b := [x for x in blocks(d, 1) if x[1] >= 3]) and put(
         d, (b[0][0], lambda h: h - 1), (b[0][0] + b[0][1], 0))),
    ("HDMI VSDB of 4 bytes",
     lambda d: (b := blocks(d, 3, HDMI)) and put(d, (b[0][0], lambda h: h & 0xE0 | 4))),
    ("physical address with a digit after a zero",
     lambda d: (b := blocks(d, 3, HDMI)) and put(d, (b[0][0] + 4, 0x10), (b[0][0] + 5, 0x20))),
    ("max TMDS clock 25 MHz",
     lambda d: (b := [x for x in blocks(d, 3, HDMI) if x[1] >= 7]) and put(d, (b[0][0] + 7, 5))),
    ("zero pixel clock between CTA DTDs",
     lambda d: len(t := cta_dtds(d)) >= 2 and put(d, (t[0], 0), (t[0] + 1, 0))),
    ("non-zero padding", lambda d: d[CTA] == 2 and d[254] == 0 and put(d, (254, 1))),
]


def reference_failures(path):
    """edid-decode --check's failures, numbers and quoted values taken out. Timings out of the
    monitor ranges count once for each of the ranges they leave."""
    run = subprocess.run(["edid-decode", "--check", str(path)], capture_output=True, text=True,
                         errors="replace")
    found, inside = [], False
    for line in run.stdout.splitlines():
        if line.startswith("Failures:"):
            inside = True
        elif line.startswith("EDID conformity") or line.startswith("Warnings:"):
            inside = False
        elif inside and line.startswith("  ") and not line.startswith("    "):
            found.append(normalized(line.strip()))
        elif inside and line.startswith("    ") and found and "Monitor Ranges" in found[-1]:
            found.append("Monitor Ranges: " + line.strip().split(":")[0])
    return found


def normalized(message):
    message = re.sub(r"'[^']*'", "'…'", message)
    return re.sub(r"0x[0-9a-fA-F]+|\d+(\.\d+)?", "#", message)


def multiset_minus(a, b):
    left = collections.Counter(a)
    left.subtract(collections.Counter(b))
    return [item for item, count in left.items() if count > 0 for _ in range(count)]


def read_map(path):
    rules, askew = [], set()
    for line in path.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            pattern, kinds = line.split("\t")
            if pattern == "ASKEW":
                askew = set(kinds.split(","))
            else:
                rules.append((re.compile(pattern), kinds.split(",")))
    return rules, askew


def main():
    program, corpus = sys.argv[1], pathlib.Path(sys.argv[2])
    rules, askew = read_map(pathlib.Path(sys.argv[3]))
    explore = "--explore" in sys.argv
    samples = sorted(corpus.glob("*.bin"))
    with tempfile.TemporaryDirectory() as scratch:
        cases = []  # (sample index, damage name, path)
        for index, sample in enumerate(samples):
            original = sample.read_bytes()
            for name, apply in DAMAGES:
                data = bytearray(original)
                if not apply(data) or bytes(data) == original:
                    continue
                checksum(data, 0)
                checksum(data, 1)
                path = pathlib.Path(scratch) / f"{sample.stem}.{len(cases)}.bin"
                path.write_bytes(data)
                cases.append((index, name, path))
        paths = samples + [path for _, _, path in cases]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            failures = list(pool.map(reference_failures, paths))
        run = subprocess.run([program, "decode", "--json", *map(str, paths)],
                             capture_output=True, text=True)
        if run.returncode not in (0, 1):
            sys.exit(f"varnex-edid decode exited {run.returncode}: {run.stderr}")
        kinds = [[f["kind"] for f in decoded["findings"]] for decoded in json.loads(run.stdout)]

    missed, unmatched, used = [], collections.Counter(), set()
    by_damage = collections.defaultdict(collections.Counter)
    beside = collections.defaultdict(collections.Counter)  # our new kinds beside each failure
    for n, (index, name, path) in enumerate(cases, start=len(samples)):
        new_failures = multiset_minus(failures[n], failures[index])
        new_kinds = set(multiset_minus(kinds[n], kinds[index]))
        for failure in new_failures:
            by_damage[name][failure] += 1
            beside[failure].update(new_kinds or {"(none)"})
            rule = next((r for r in rules if r[0].search(failure)), None)
            if rule is None:
                unmatched[failure] += 1
                continue
            used.add(rule[0].pattern)
            if rule[1] == ["*"] or new_kinds & askew:
                if not new_kinds:
                    missed.append(f"{name} on {samples[index].name}: edid-decode fails "
                                  f"'{failure}'; no new finding of ours")
            elif rule[1] != ["-"] and not new_kinds & set(rule[1]):
                missed.append(f"{name} on {samples[index].name}: edid-decode fails "
                              f"'{failure}'; no new finding of kind {', '.join(rule[1])} "
                              f"(new: {', '.join(sorted(new_kinds)) or 'none'})")
    if explore:
        for name, counter in by_damage.items():
            print(f"== {name}")
            for failure, count in counter.most_common():
                print(f"  {count:4} {failure}")
                print("         ours: " + ", ".join(f"{k} {n}" for k, n in beside[failure].most_common(4)))
        return
    stale = [pattern for pattern, _ in ((r[0].pattern, r[1]) for r in rules) if pattern not in used]
    print(f"{len(cases)} damaged EDIDs of {len(samples)} samples, "
          f"{sum(sum(c.values()) for c in by_damage.values())} new failures of edid-decode, "
          f"{len(missed)} without a finding of ours")
    for text in missed[:40]:
        print("MISSED " + text)
    for failure, count in unmatched.most_common():
        print(f"NOT IN THE MAP ({count}) {failure}")
    for pattern in stale:
        print("NO DAMAGE REACHES " + pattern)
    sys.exit(1 if missed or unmatched or stale else 0)


if __name__ == "__main__":
    main()
