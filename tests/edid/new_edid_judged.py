#!/usr/bin/env python3
"""Every preset of varnex-edid new, and EDIDs of lists of modes, judged by Debian's edid-decode:
no failure (warnings are printed), and each CVT timing of a list exactly as edid-decode --cvt
computes it: normal blanking where its clock is within 600 MHz, else reduced blanking v1 where
that is, else v2, the clock to the nearest 10 kHz. Exits 77 (skipped) without edid-decode.
Usage: new_edid_judged.py <varnex-edid>"""
import re
import shutil
import subprocess
import sys
import tempfile

# Lists of modes; those of their modes no VIC or DMT mode has, which CVT makes.
LISTS = [
    (['1600x900@75', '2560x1080@100', '1234x567@60', '1920x1200@60'],
     ['1600x900@75', '1234x567@60']),
    (['3840x2400@62', '3840x2160@120', '1366x768@59.5', '1000x1000@85'],
     ['3840x2400@62', '1366x768@59.5', '1000x1000@85']),
    (['3440x1440@100', '1920x1080@59.94', '720x480@60', '800x600@56', '1680x1050@75'],
     ['3440x1440@100', '1680x1050@75']),
    (['1920x1080i@50', '1920x1080@60'], []),
]
TIMING = re.compile(r'(\d+)x(\d+) .*? ([\d.]+) MHz.*\n\s+Hfront +(\d+) Hsync +(\d+) Hback +(\d+) '
                    r'Hpol (.)\n\s+Vfront +(\d+) Vsync +(\d+) Vback +(\d+) Vpol (.)')


def timings(text):
    """(width, height, kHz, porches and polarities) of each timing edid-decode prints."""
    return [(int(m[0]), int(m[1]), round(float(m[2]) * 1000)) + m[3:] for m in TIMING.findall(text)]


def cvt(mode):
    """The timing the rule picks among edid-decode's three, its clock as a DTD holds it."""
    width, height, hz = re.fullmatch(r'(\d+)x(\d+)@([\d.]+)', mode).groups()
    for rb in (0, 1, 2):
        out = subprocess.run(['edid-decode', '--cvt', f'w={width},h={height},fps={hz},rb={rb}'],
                             capture_output=True, text=True, check=True).stdout
        timing = timings(out)[0]
        if timing[2] <= 600000 or rb == 2:
            return timing[:2] + ((timing[2] + 5) // 10 * 10,) + timing[3:]
    return None


def judge(cli, folder, arguments, name):
    path = f'{folder}/{name}.bin'
    subprocess.run([cli, 'new', *arguments, '-o', path, '-q'], check=True)
    report = subprocess.run(['edid-decode', '--check', path], capture_output=True, text=True).stdout
    said = report.split('\nWarnings:\n')[-1] if '\nWarnings:\n' in report else ''
    said = said.split('EDID conformity')[0]
    warnings = [line.strip() for line in said.splitlines() if line.startswith('  ')]
    print(f'{name}: no failure' + ''.join(f'; warning: {warning}' for warning in warnings))
    if 'Failures:' in report or 'EDID conformity: PASS' not in report:
        sys.exit(f'FAIL: edid-decode --check finds {name} faulty')
    return timings(report)


def main():
    if not shutil.which('edid-decode'):
        print('edid-decode is not installed')
        return 77
    cli = sys.argv[1]
    presets = subprocess.run([cli, 'new', '--list'], capture_output=True, text=True, check=True)
    with tempfile.TemporaryDirectory() as folder:
        for preset in [line.split()[0] for line in presets.stdout.splitlines()]:
            judge(cli, folder, [preset], preset)
        for n, (modes, made) in enumerate(LISTS):
            found = judge(cli, folder, [word for mode in modes for word in ('--mode', mode)],
                          f'list {n + 1}')
            for mode in made:
                if cvt(mode) not in found:
                    sys.exit(f'FAIL: list {n + 1}: no DTD is {cvt(mode)}, the CVT timing of {mode}')
    print('every preset and list passes edid-decode --check; CVT timings as edid-decode --cvt')
    return 0


if __name__ == '__main__':
    sys.exit(main())
