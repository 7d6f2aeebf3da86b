#!/usr/bin/env bash
# Unpacks Debian's arm64 packages into a directory of their own: CPython's aarch64 headers for compiling the binding, and an aarch64 CPython that qemu-user runs.
#
#   tools/aarch64/sysroot.sh DIR PACKAGE...
#
# The packages are downloaded (apt-get download, which needs the arm64
# architecture in dpkg: make aarch64-deps adds it) and unpacked with dpkg-deb,
# not installed: the machine's own packages, whose versions the arm64 ones
# would have to match, stay as they are. DIR/.packages remembers what is there.
set -euo pipefail
dir=$1
shift
wanted="$*"
if [ -f "$dir/.packages" ] && [ "$(cat "$dir/.packages")" = "$wanted" ]; then exit 0; fi
rm -rf "$dir" && mkdir -p "$dir/debs"
(cd "$dir/debs" && apt-get download -qq "${@/%/:arm64}")
for deb in "$dir"/debs/*.deb; do dpkg-deb -x "$deb" "$dir"; done
echo "$wanted" > "$dir/.packages"
