#!/usr/bin/env bash
# Refreshes third_party/llvm-libc: LLVM libc's exp and log, with the headers they include, from Debian's source package.
#
# Debian's binary libllvmlibc-19-dev cannot be linked in: LLVM libc's build adds
# -mavx2 -mfma whenever the build host has FMA, so its exp and log carry AVX2 and
# FMA instructions and would stop with SIGILL on the processors this module must
# run on. The sources are the same code, compiled here for baseline x86-64.
#
#   tools/vendor_llvm_libc.sh            # fetch the source package into build/vendor, then copy
#   tools/vendor_llvm_libc.sh ORIG.tar.xz # copy from an already fetched tarball
#
# Only the files that the four translation units below include are copied, each
# byte for byte; the list is what the compiler reports, not a hand-kept one: the
# host's g++ for the two x86-64 builds, Debian's aarch64-linux-gnu-g++ for the
# aarch64 one (make aarch64-deps installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGE=llvm-toolchain-19
VERSION=1:19.1.7-3~deb12u1
ORIG_SHA256=ae498f3bc58ae2d9f64ef5f0c035c4240152bf015a5b7738b15c22e93bdc97ce
SOURCES=(src/math/generic/exp.cpp src/math/generic/log.cpp
         src/math/generic/common_constants.cpp src/errno/libc_errno.cpp)
DEST=third_party/llvm-libc
WORK=build/vendor

mkdir -p "$WORK"
if [ $# -ge 1 ]; then
  orig=$1
else
  # A private deb-src list: the machine's own apt configuration is left alone.
  apt_dir=$(realpath "$WORK")/apt
  mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    > "$apt_dir/parts/debian-src.sources"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/parts"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$WORK" && apt-get "${apt_opts[@]}" source --download-only "$PACKAGE=$VERSION")
  orig=$(ls "$WORK"/${PACKAGE}_*.orig.tar.xz)
fi
echo "$ORIG_SHA256  $orig" | sha256sum --check --quiet

tree="$WORK/tree"
rm -rf "$tree" && mkdir -p "$tree"
tar -xJf "$orig" -C "$tree" --strip-components=1 --wildcards '*/libc/*'
libc="$tree/libc"

# Every build's includes: baseline x86-64, the FMA build chosen at run time,
# and aarch64's one.
files=$(cd "$libc" && for s in "${SOURCES[@]}"; do for compiler in "g++" "g++ -mavx2 -mfma" "aarch64-linux-gnu-g++"; do
          $compiler -std=c++20 -I. -DLIBC_NAMESPACE=vendor_probe -MM "$s"; done; done |
        tr ' \\' '\n\n' | grep -v -e '^$' -e ':$' -e '^/' | xargs realpath --relative-to=. | sort -u)
rm -rf "$DEST" && mkdir -p "$DEST"
for f in $files LICENSE.TXT; do install -D -m 644 "$libc/$f" "$DEST/$f"; done
echo "vendored $(echo "$files" | wc -l) files from $PACKAGE $VERSION into $DEST"
