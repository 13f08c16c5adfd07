#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages libhuffcodec1, libhuffcodec-dev,
# huffcodec-tools and hdf5-filter-huffcodec from this tree into build/deb,
# checks them with lintian (no error or warning allowed), and unpacks them
# into a scratch root where the C++ and C examples are built against them,
# the commands run, and h5py and h5dump use the HDF5 plugin.
#
#   debian/build-debs.sh
#
# Needs dpkg-dev, debhelper, cmake, ninja-build, g++, pkg-config, lintian,
# libhdf5-dev, hdf5-tools and python3-h5py (Debian 12). DEB_BUILD_OPTIONS=parallel=N limits the build to N jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
out=$source_dir/build/deb
version=$(dpkg-parsechangelog -SVersion)

# dpkg-buildpackage writes its packages next to the tree it builds and its
# build files into it: a copy under build/deb keeps both out of the checkout.
rm -rf "$out"
mkdir -p "$out/huffcodec-$version"
tar -c --exclude=./build --exclude=./.git . | tar -x -C "$out/huffcodec-$version"
(cd "$out/huffcodec-$version" && dpkg-buildpackage -b -us -uc)

echo "== lintian"
lintian --allow-root --fail-on error,warning --display-info "$out"/*.changes

echo "== the packages in a scratch root"
cmake -DDEB_DIR="$out" -DPREFIX="$out/root" -DWORK="$out/consumer" \
      -DEXAMPLE_DIR="$source_dir/examples" -DSAMPLE="$source_dir/data/sample.txt" \
      -DLIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" \
      -DVERSION="$version" -DGENERATOR=Ninja -DMAKE_PROGRAM="$(command -v ninja)" \
      -DCXX="$(command -v g++)" -DBUILD_TYPE=Release \
      -DPLUGIN_CHECK="$source_dir/tests/hdf5/check_plugin.py" -DPYTHON=/usr/bin/python3 \
      -P "$source_dir/tests/install/check_consumer.cmake"
