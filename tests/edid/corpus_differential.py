#!/usr/bin/env python3
"""Differential check of 'varnex-edid decode --json' against the edid-decode reports stored
beside each sample EDID: identity, detailed timings, VICs (with the numbers of their modes),
established and standard timings, audio formats with channels and rates, the HDMI clocks.

  corpus_differential.py VARNEX_EDID CORPUS_DIR KNOWN_DIFFERENCES

Prints 'N of M agree'. Fails on a disagreement that the known-differences file does not list
(lines 'FILE<TAB>FIELD<TAB>why our reading is right'), and on a listed one that no longer occurs.
"""
import json
import pathlib
import re
import subprocess
import sys

# edid-decode's names of the audio formats, as (format code, extended code).
AUDIO_FORMATS = {
    "Reserved (0x00)": (0, None), "Linear PCM": (1, None), "AC-3": (2, None),
    "MPEG 1 (Layers 1 & 2)": (3, None), "MPEG 1 Layer 3 (MP3)": (4, None),
    "MPEG2 (multichannel)": (5, None), "AAC LC": (6, None), "DTS": (7, None),
    "ATRAC": (8, None), "One Bit Audio": (9, None), "Enhanced AC-3 (DD+)": (10, None),
    "DTS-HD": (11, None), "MAT (MLP)": (12, None), "DST": (13, None), "WMA Pro": (14, None),
    "MPEG-4 HE AAC": (15, 4), "MPEG-4 HE AAC v2": (15, 5), "MPEG-4 AAC LC": (15, 6),
    "DRA": (15, 7), "MPEG-4 HE AAC + MPEG Surround": (15, 8),
    "MPEG-4 AAC LC + MPEG Surround": (15, 10), "MPEG-H 3D Audio": (15, 11), "AC-4": (15, 12),
    "L-PCM 3D Audio": (15, 13),
}


def sections(lines, heading):
    """The lines under each block heading (two spaces in) up to the next heading."""
    found, inside = [], None
    for line in lines:
        if re.match(r"^  \S", line) or not line.startswith("  "):
            inside = [] if line.strip() == heading else None
            if inside is not None:
                found.append(inside)
        elif inside is not None:
            inside.append(line)
    return found


def oracle(path):
    lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
    text = "\n".join(lines)
    first = lambda pattern: (re.search(pattern, text, re.M) or [None, None])[1]
    facts = {
        "vendor": first(r"^    Manufacturer: (\S+)"),
        "product": int(first(r"^    Model: (\d+)")),
        "version": first(r"^  EDID Structure Version & Revision: (\S+)"),
    }
    serial = first(r"^    Serial Number: (\S+)")
    if serial != "...":  # the collection hides some serial numbers
        facts["serial"] = int(serial) if serial else 0
    made = re.search(r"^    Made in: (?:week (\d+) of )?(\d+)", text, re.M)
    model = first(r"^    Model year: (\d+)")
    facts["week"] = int(made[1]) if made and made[1] else None
    facts["year"] = int(made[2]) if made else None
    facts["model_year"] = int(model) if model else None
    name = first(r"^    Display Product Name: '(.*)'$")
    facts["name"] = name.rstrip(" ") if name is not None else None

    timings = []
    for n, line in enumerate(lines):
        m = re.match(r"^    DTD +\d+: +(\d+)x(\d+)(i?) .* ([\d.]+) MHz", line)
        if m:
            h = re.search(r"Hfront +(-?\d+) Hsync +(\d+) Hback +(-?\d+)", lines[n + 1])
            v = re.search(r"Vfront +(-?\d+) Vsync +(\d+) Vback +(-?\d+)", lines[n + 2])
            timings.append({
                "pixel_clock_khz": round(float(m[4]) * 1000), "h_active": int(m[1]),
                "v_active": int(m[2]), "interlaced": m[3] == "i",
                "h_front": int(h[1]), "h_sync": int(h[2]), "h_back": int(h[3]),
                "v_front": int(v[1]), "v_sync": int(v[2]), "v_back": int(v[3])})
    facts["detailed_timings"] = timings

    # A mode as edid-decode computes it from its own tables: refresh, line rate, pixel clock.
    mode = r" +\S+ +([\d.]+) Hz +\S+ +([\d.]+) kHz +([\d.]+) MHz"
    vics = []
    for block in sections(lines, "Video Data Block:"):
        for line in block:
            m = re.match(r"^    VIC +(\d+):" + mode + r".*?(\(native\))?$", line)
            if m:
                vics.append((int(m[1]), bool(m[5]), m[2], m[3], m[4]))
            m = re.match(r"^    Unknown \(VIC +(\d+)\)", line)
            if m and int(m[1]):
                vics.append((int(m[1]), False, None, None, None))
    facts["established"] = [m.groups() for block in sections(lines, "Established Timings I & II:")
                            for m in [re.match(r"^    \S+ *\S*:" + mode, l) for l in block] if m]
    facts["standard_dmt"] = [(m[1] and int(m[1], 16),) + (m.groups()[1:] if m[1] else (None,) * 3)
                             for block in sections(lines, "Standard Timings:")
                             for m in [re.match(r"^    (?:DMT 0x(\w\w)|\S+ *):" + mode, l)
                                       for l in block] if m]
    audio = []
    for block in sections(lines, "Audio Data Block:"):
        for line in block:
            m = re.match(r"^    (\S.*):$|^    (Reserved \(0x00\))$", line)
            if m:  # a reserved format's channels and rates are not shown
                audio.append([AUDIO_FORMATS.get(m[1] or m[2], m[1] or m[2]), None, None])
            m = re.match(r"^      Max channels: (\d+)", line)
            if m:
                audio[-1][1] = int(m[1])
            m = re.match(r"^      Supported sample rates \(kHz\):(.*)", line)
            if m:
                audio[-1][2] = sorted(float(rate) for rate in m[1].split())
    facts["vics"] = vics
    facts["audio"] = [tuple(entry) for entry in audio]
    address = first(r"^    Source physical address: (\S+)")
    facts["physical_address"] = address
    tmds = first(r"^    Maximum TMDS clock: (\d+) MHz")
    facts["max_tmds_mhz"] = int(tmds) if tmds else None
    rate = first(r"^    Maximum TMDS Character Rate: (\d+) MHz")
    facts["max_tmds_char_rate_mhz"] = int(rate) if rate else None
    return facts


def numbers(mode):
    """A table's mode as edid-decode prints it."""
    if mode["pixel_clock_khz"] is None:
        return (None, None, None)
    return (f"{mode['refresh_hz']:.6f}", f"{mode['line_rate_khz']:.3f}",
            f"{mode['pixel_clock_khz'] / 1000:.6f}")


def ours(decoded):
    cta = decoded["cta"] or {}
    keys = ["pixel_clock_khz", "h_active", "v_active", "interlaced", "h_front", "h_sync",
            "h_back", "v_front", "v_sync", "v_back"]
    name = decoded["name"]
    return {
        "vendor": decoded["vendor"], "product": decoded["product"],
        "version": decoded["version"], "serial": decoded["serial"],
        "week": decoded["week"], "year": decoded["year"], "model_year": decoded["model_year"],
        # The reports show a character outside printable ASCII as a dot.
        "name": re.sub(r"[^\x20-\x7e]", ".", name) if name is not None else None,
        "detailed_timings": [{k: t[k] for k in keys} for t in decoded["detailed_timings"]],
        "vics": [(v["vic"], v["native"]) + numbers(v) for v in cta.get("vics", [])],
        "established": [numbers(t) for t in decoded["established_timings"]],
        "standard_dmt": [(t["dmt_id"],) + numbers(t) for t in decoded["standard_timings"]],
        "audio": [((a["format_code"], a["extended_code"]), a["channels"],
                   sorted(float(rate) for rate in a["rates_khz"])) for a in cta.get("audio", [])],
        "physical_address": (cta.get("hdmi") or {}).get("physical_address"),
        "max_tmds_mhz": (cta.get("hdmi") or {}).get("max_tmds_mhz"),
        "max_tmds_char_rate_mhz": (cta.get("hdmi_forum") or {}).get("max_tmds_char_rate_mhz"),
    }


def main():
    program, corpus, known_path = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    known = {}
    for line in known_path.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            file, field, why = line.split("\t")
            known[(file, field)] = why
    files = sorted(corpus.glob("*.bin"))
    run = subprocess.run([program, "decode", "--json", *map(str, files)], capture_output=True,
                         text=True)
    if run.returncode not in (0, 1):
        sys.exit(f"varnex-edid decode exited {run.returncode}: {run.stderr}")
    decoded = json.loads(run.stdout)
    agree, unexpected, seen = 0, [], set()
    for path, result in zip(files, decoded):
        expected = oracle(path.with_suffix(".edid-decode.txt"))
        got = ours(result)
        got["audio"] = [(mine[0], None, None) if theirs[1] is None else mine
                        for theirs, mine in zip(expected["audio"], got["audio"])
                        ] + got["audio"][len(expected["audio"]):]
        differing = [f for f in expected if expected[f] != got[f]]
        for field in differing:
            seen.add((path.name, field))
            if (path.name, field) not in known:
                unexpected.append(f"{path.name} {field}:\n  edid-decode {expected[field]}\n"
                                  f"  varnex-edid {got[field]}")
        agree += not differing
    stale = [f"{file} {field}" for file, field in known if (file, field) not in seen]
    print(f"{agree} of {len(files)} agree")
    for text in unexpected:
        print("DIFFERS " + text)
    for text in stale:
        print("NO LONGER DIFFERS (remove it from the known differences) " + text)
    sys.exit(1 if unexpected or stale or len(decoded) != len(files) else 0)


if __name__ == "__main__":
    main()
