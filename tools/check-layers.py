#!/usr/bin/env python3
"""Keeps docs/ARCHITECTURE.md true: reads the folders' table there and fails when the code does
what the table does not say.

The table runs from the top layer down; each row's Links name the folders (by CMake target) and
the outside libraries its folder uses, and a folder may link only folders in rows below its own.
Against the code: every quoted #include reaches the file's own folder or one its row links, and
each linked folder has a header included; the folder's targets link in CMake exactly the folders
of its row; Qt headers only where the row links Qt, <libusb.h> only where it links libusb; the
targets the row names are the libraries its CMakeLists.txt defines; every folder with C++ sources
has a row, or is named on the page's line of the folders outside the layers.

Usage: check-layers.py [SOURCE_DIR]
"""

import os
import pathlib
import re
import sys

PAGE = "docs/ARCHITECTURE.md"
HEADING = "| Folder | CMake target | What it is | Links |"
OUTSIDE = "Outside the layers:"
SOURCES = {".cpp", ".h", ".hpp"}


def parse_page(root):
    """The rows of the table, top layer first, and the folders outside the layers."""
    lines = (root / PAGE).read_text(encoding="utf-8").splitlines()
    start = lines.index(HEADING) + 2  # after the heading and its rule
    rows = []
    for line in lines[start:]:
        if not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        folder = re.fullmatch(r"`([^`]+)/`", cells[0])
        if len(cells) != 4 or not folder:
            sys.exit(f"{PAGE}: a row of the folders' table is not understood: {line}")
        rows.append({
            "folder": folder.group(1),
            "targets": re.findall(r"`(varnex_\w+)`", cells[1]),
            "links": re.findall(r"`(varnex_\w+)`", cells[3]),
            "qt": "Qt" in cells[3],
            "libusb": "libusb" in cells[3],
        })
    outside = [line for line in lines if line.startswith(OUTSIDE)]
    if len(outside) != 1:
        sys.exit(f'{PAGE}: one line starting "{OUTSIDE}" names the folders outside the layers')
    return rows, re.findall(r"`([^`]+)/`", outside[0])


def source_files(root):
    for folder, subfolders, files in os.walk(root):
        # Not ours to check: the repository's own data and the build folders.
        subfolders[:] = sorted(d for d in subfolders if d != ".git" and not d.startswith("build"))
        for name in sorted(files):
            if pathlib.PurePath(name).suffix in SOURCES:
                yield (pathlib.Path(folder) / name).relative_to(root)


def owner(path, folders):
    """The deepest folder of the table (or outside it) that holds the path."""
    candidates = [f for f in folders if path.as_posix().startswith(f + "/")]
    return max(candidates, key=len) if candidates else None


def cmake_targets(root, folder):
    """The targets a folder's CMakeLists.txt defines, and the varnex targets each links."""
    cmake = root / folder / "CMakeLists.txt"
    text = re.sub(r"#.*", "", cmake.read_text(encoding="utf-8")) if cmake.exists() else ""
    libraries = re.findall(r"add_library\s*\(\s*([\w-]+)", text)
    executables = re.findall(r"add_executable\s*\(\s*([\w-]+)", text)
    links = []
    for call in re.findall(r"target_link_libraries\s*\(([^)]*)\)", text):
        words = call.split()
        links += [(words[0], word) for word in words[1:] if word.startswith("varnex_")]
    return libraries, executables, links


class LayerCheck:
    def __init__(self, root):
        self.root = root
        self.rows, self.outside = parse_page(root)
        self.folders = [row["folder"] for row in self.rows]
        self.failures = []
        self.folder_of = {}  # target -> folder
        self.linked = {}  # folder -> [(its target, a varnex target it links)]
        self.allowed = {}  # folder -> the folders its row links
        self.included = {folder: set() for folder in self.folders}

    def fail(self, text):
        if text not in self.failures:
            self.failures.append(text)

    def read_targets(self):
        """Each row's targets are its folder's libraries; its links name folders below it."""
        for row in self.rows:
            libraries, executables, links = cmake_targets(self.root, row["folder"])
            self.linked[row["folder"]] = links
            for target in libraries + executables:
                self.folder_of[target] = row["folder"]
            if sorted(libraries) != sorted(row["targets"]):
                self.fail(f"{PAGE}: {row['folder']}/ names {row['targets']}, its CMakeLists.txt "
                          f"defines the libraries {libraries}")
        for index, row in enumerate(self.rows):
            folder = row["folder"]
            self.allowed[folder] = set()
            for target in row["links"]:
                reached = self.folder_of.get(target)
                if reached is None:
                    self.fail(f"{PAGE}: {folder}/ links {target}, which no folder of the table "
                              f"defines")
                elif reached not in self.folders[index + 1:]:
                    self.fail(f"{PAGE}: {folder}/ links {reached}/, which is not below it in "
                              f"the table")
                else:
                    self.allowed[folder].add(reached)

    def check_sources(self):
        # Includes name headers without their folder.
        headers = {}
        for path in source_files(self.root):
            headers.setdefault(path.name, []).append(path)
        for path in source_files(self.root):
            folder = owner(path, self.folders + self.outside)
            if folder is None:
                self.fail(f"{path.parent}/ holds C++ sources and is missing from the table in "
                          f"{PAGE}")
            elif folder not in self.outside:
                text = (self.root / path).read_text(encoding="utf-8", errors="replace")
                for number, line in enumerate(text.splitlines(), 1):
                    self.check_include(path, folder, f"{path}:{number}: {line.strip()}", line,
                                       headers)

    def check_include(self, path, folder, where, line, headers):
        row = self.rows[self.folders.index(folder)]
        angled = re.match(r"\s*#\s*include\s*<([^>]+)>", line)
        if angled and angled.group(1).startswith("Q") and not row["qt"]:
            self.fail(f"{where} uses Qt, which {folder}/ does not link")
        if angled and angled.group(1) == "libusb.h" and not row["libusb"]:
            self.fail(f"{where} uses libusb, which {folder}/ does not link")
        quoted = re.match(r'\s*#\s*include\s*"([^"]+)"', line)
        if not quoted or (self.root / path.parent / quoted.group(1)).exists():
            return  # not ours, or beside the file
        found = headers.get(pathlib.PurePath(quoted.group(1)).name, [])
        if len(found) > 1:
            self.fail(f"{where}: more than one header of that name: "
                      f"{', '.join(map(str, found))}")
        if len(found) != 1:
            return  # none: generated, as the form's ui_ header and moc's output
        reached = owner(found[0], self.folders + self.outside)
        if reached != folder:
            self.included[folder].add(reached)
            if reached not in self.allowed[folder]:
                self.fail(f"{where} reaches {reached}/, which {folder}/ may not use")

    def check_links(self):
        for folder in self.folders:
            linked_folders = set()
            for target, linked in self.linked[folder]:
                reached = self.folder_of.get(linked)
                if reached is None or reached == folder:
                    continue
                linked_folders.add(reached)
                if reached not in self.allowed[folder]:
                    self.fail(f"{folder}/CMakeLists.txt: {target} links {linked} ({reached}/), "
                              f"which {folder}/ may not use")
            for missing in sorted(self.allowed[folder] - linked_folders):
                self.fail(f"{PAGE}: {folder}/ links {missing}/, its CMakeLists.txt does not")
            for unused in sorted(self.allowed[folder] - self.included[folder]):
                self.fail(f"{PAGE}: {folder}/ links {unused}/ but includes none of its headers")


def check(root):
    layers = LayerCheck(root)
    layers.read_targets()
    layers.check_sources()
    layers.check_links()
    return layers.failures


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    failures = check(root)
    for failure in failures:
        print(failure)
    if failures:
        print(f"{len(failures)} statements of {PAGE} do not hold; change the code or the page")
        return 1
    print(f"the folders keep to the layers of {PAGE}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
