#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Python package as a user would, offline with Debian's Python
# and build tools, into a scratch venv under build/, and checks that it
# imports there and that numcodecs finds its codec through the entry point.
set -euo pipefail
cd "$(dirname "$0")/.."
venv="$PWD/build/pip-venv"
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --quiet --no-build-isolation --no-index .
cd "$venv"
"$venv/bin/python" - <<'PY'
import numcodecs

import huffcodec

data = b"installed with pip " * 1000
assert huffcodec.decompress(huffcodec.compress(data)) == data
codec = numcodecs.get_codec({"id": "huffcodec"})
assert type(codec).__module__ == "huffcodec.numcodecs"
print("huffcodec", huffcodec.__version__, "from", huffcodec.__file__)
PY
