#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every API name the documentation mentions exists in what it documents.

Scans README.md, docs/*.md and man/*.1 for C++ members (Options::x,
Decoder::x, huffcodec::x), C names (huffcodec_x) and Python names
(huffcodec.x), and looks each up in the public headers, the build's targets
and the Python package. Prints every name that is not found, with where it
was seen, and exits 1 if there is one.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
docs = [root / "README.md", *sorted((root / "docs").glob("*.md")), *sorted((root / "man").glob("*.1"))]
headers = "\n".join(p.read_text() for p in sorted((root / "include" / "huffcodec").glob("*")))
package = root / "python" / "huffcodec"
python_sources = {p.stem: p.read_text() for p in package.glob("*.py")}
engine = "\n".join(p.read_text() for p in (root / "engine").rglob("*.[ch]pp"))
cmake = "\n".join(p.read_text() for p in root.rglob("CMakeLists.txt") if "build" not in p.parts)
repo_files = {p.name for p in root.rglob("*") if "build" not in p.parts and ".git" not in p.parts}
repo_stems = {name.split(".")[0] for name in repo_files}


def struct_body(name):
    match = re.search(r"\bstruct " + name + r" \{(.*?)\n\};", headers, re.S)
    return match.group(1) if match else ""


def word_in(word, text):
    return re.search(r"\b" + re.escape(word) + r"\b", text) is not None


def cxx_member(owner, member):
    # A member of a public struct, of another public type, or of the engine's
    # own classes, which the design notes name.
    body = struct_body(owner)
    if body:
        return word_in(member, body)
    if word_in(owner, headers):
        return word_in(member, headers)
    return word_in(owner, engine) and word_in(member, engine)


def cxx_name(path):
    # huffcodec::compress, huffcodec::Status::ok; the CMake targets
    # huffcodec::huffcodec and huffcodec::shared.
    parts = path.split("::")
    if path in ("huffcodec", "shared"):
        return word_in("huffcodec::" + path, cmake) or word_in(path, cmake)
    return all(word_in(part, headers) for part in parts)


def c_name(name):
    # A C function, type or prefix of the headers, or a build target.
    if name.endswith("_"):
        return name in headers
    # Targets made in a loop are named after their sources (fuzz_tree.cpp).
    return word_in(name, headers) or word_in(name, cmake) or name[len("huffcodec_"):] in repo_stems


def python_name(path):
    if "huffcodec." + path in repo_files:  # a file name such as huffcodec.h
        return True
    parts = path.split(".")
    exported = re.search(r"__all__ = \[(.*?)\]", python_sources["__init__"], re.S).group(1)
    if parts[0] in ("numcodecs", "hdf5"):  # the package's submodules
        return len(parts) == 1 or word_in(parts[1], python_sources[parts[0]])
    return f'"{parts[0]}"' in exported


checks = [
    (re.compile(r"(?<!:)\b([A-Z][A-Za-z0-9]*)::([A-Za-z_][A-Za-z0-9_]*)"),
     lambda m: cxx_member(m[1], m[2])),
    (re.compile(r"\bhuffcodec::([A-Za-z_][A-Za-z0-9_]*(?:::[A-Za-z_][A-Za-z0-9_]*)?)"),
     lambda m: cxx_name(m[1])),
    (re.compile(r"\b(huffcodec_[a-z0-9_]+)"), lambda m: c_name(m[1])),
    (re.compile(r"(?<![\w/])huffcodec\.([A-Za-z_][A-Za-z0-9_.]*[A-Za-z0-9_])"),
     lambda m: python_name(m[1])),
]

# Names the docs mention as gone, where they say what took their place.
retired = {"StreamResult::bytesRead"}

missing = []
for doc in docs:
    for number, line in enumerate(doc.read_text().splitlines(), 1):
        for pattern, known in checks:
            for match in pattern.finditer(line):
                if match[0] not in retired and not known(match):
                    missing.append(f"{doc.relative_to(root)}:{number}: {match[0]}")
for entry in missing:
    print(entry)
print(f"{len(missing)} documented names not found" if missing else "every documented name exists")
sys.exit(1 if missing else 0)
