#!/usr/bin/env bash
# Installs what is missing and builds the Debian package from debian/ with dpkg-buildpackage:
# build/package/pellavine_*.deb beside its debugging symbols and the source package.
# Install it with  sudo apt install ./build/package/pellavine_*_amd64.deb
#   --out DIR   put the results in DIR (default build/package, or $PELLAVINE_BUILD_DIR/package)
#   --no-deps   install nothing (dpkg-buildpackage still checks the build dependencies)
# The package is built from a clean copy of the sources in DIR, with Debian's compiler flags, so
# it neither needs nor touches build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${PELLAVINE_BUILD_DIR:-$root/build}/package
deps=1
while (($#)); do
    case $1 in
        --out) out=$2; shift 2 ;;
        --no-deps) deps=0; shift ;;
        *) echo "usage: $0 [--out DIR] [--no-deps]" >&2; exit 2 ;;
    esac
done
((deps)) && "$root/tools/install-deps.sh" --package

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
upstream=${version%-*}
project=$(sed -n 's/^project(Pellavine VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
if [[ $upstream != "$project" ]]; then
    echo "debian/changelog is at $version, but the program is $project: add a changelog entry" >&2
    exit 1
fi

# The sources as they stand, without the build trees and version control.
mkdir -p "$out"
out=$(cd "$out" && pwd)
src=$out/pellavine-$upstream
rm -rf "$src" "$out"/pellavine_* "$out"/pellavine-dbgsym_*
mkdir -p "$src"
tar -C "$root" --exclude-vcs --exclude='./build*' --exclude=./artifacts --exclude='*.user' -cf - . | tar -C "$src" -xf -
# The upstream tarball is the same tree without debian/ (the source format is 3.0 (quilt)).
tar -C "$out" --exclude="pellavine-$upstream/debian" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="$(dpkg-parsechangelog -l "$root/debian/changelog" -S Date)" \
    -cJf "$out/pellavine_$upstream.orig.tar.xz" "pellavine-$upstream"

(cd "$src" && dpkg-buildpackage --no-sign -j"$(nproc)" >"$out/build.log" 2>&1) || {
    tail -n 30 "$out/build.log" >&2
    echo "dpkg-buildpackage failed: $out/build.log" >&2
    exit 1
}
rm -rf "$src"
ls "$out"/pellavine_"$version"_*.deb
