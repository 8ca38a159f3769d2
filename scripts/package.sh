#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it: its control fields, that every
# library the two executables link comes from a package it depends on, that its files lie under
# /usr, and that lintian finds no error and no warning in it.
#   scripts/package.sh [BUILD_DIR]     (default: build; the package goes to BUILD_DIR/package)
# Install it with: apt-get install ./BUILD_DIR/package/cellwright_*.deb
set -euo pipefail
export LC_ALL=C
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/${1:-build}"
out="$build/package"

fail() {
  echo "package: $*" >&2
  exit 1
}

[ -f "$build/CMakeCache.txt" ] || fail "$build is not a configured build folder"
mkdir -p "$out"
rm -f "$out"/cellwright_*.deb
(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail "cpack failed"; }
debs=("$out"/cellwright_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no package"
deb="${debs[0]}"

field() { dpkg-deb --field "$deb" "$1"; }
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ "$(field Package)" = cellwright ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
depends="$(field Depends)"
declared=" $(echo "$depends" | tr ',' '\n' | sed 's/(.*//; s/[[:space:]]//g' | tr '\n' ' ') "
for package in libqt6svg6 fonts-liberation; do
  [[ "$declared" == *" $package "* ]] || fail "$package (used at run time, not linked) is not declared"
done

# Each linked library belongs to a declared package. ldd names the dynamic loader (a library
# the runner links for the unwinder of its built-in C++ runtime) by its path alone.
for exe in cellwright cellwright-run; do
  [ -x "$build/$exe" ] || fail "$build/$exe was not built"
  for lib in $(readelf -d "$build/$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path="$(ldd "$build/$exe" | awk -v l="$lib" '{ n = split($1, part, "/") }
      !found && $1 == l { print $3; found = 1 } !found && n > 1 && part[n] == l { print $1; found = 1 }')"
    [ -n "$path" ] || fail "$exe: $lib is not found"
    owner="$(dpkg -S "$path" 2> /dev/null || dpkg -S "$(readlink -f "$path")" 2> /dev/null || true)"
    owner="${owner%%:*}"
    [ -n "$owner" ] || fail "$exe: no package owns $path"
    [[ "$declared" == *" $owner "* ]] || fail "$exe links $lib from $owner, which the package does not depend on"
  done
done

# Its files: the executables, the desktop files, the man pages, all under /usr.
contents="$(dpkg-deb --contents "$deb" | awk '{ print $6 }')"
for file in ./usr/bin/cellwright ./usr/bin/cellwright-run ./usr/share/applications/cellwright.desktop \
    ./usr/share/mime/packages/cellwright.xml ./usr/share/icons/hicolor/48x48/apps/cellwright.png \
    ./usr/share/icons/hicolor/scalable/apps/cellwright.svg ./usr/share/man/man1/cellwright.1.gz \
    ./usr/share/man/man1/cellwright-run.1.gz ./usr/share/doc/cellwright/examples/hello.b; do
  grep -qxF "$file" <<< "$contents" || fail "$file is not in the package"
done
outside="$(grep -v '^\./usr/' <<< "$contents" | grep -v '^\./$' || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"
# The man page names the examples where the package puts them.
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/man/man1/cellwright.1.gz | zcat |
  grep -q '/usr/share/doc/cellwright/examples' || fail "cellwright.1 does not name /usr/share/doc/cellwright/examples"

# The changelog's latest entry is this version.
changelog_version="$(dpkg-parsechangelog -l "$root/data/debian/changelog" -S Version)"
[ "$changelog_version" = "$version" ] ||
  fail "data/debian/changelog ends at version $changelog_version, the package is $version: add an entry"

# Debian's own checks. Errors and warnings fail; info and pedantic tags are shown for a look.
command -v lintian > /dev/null || fail "lintian is missing (scripts/setup.sh installs it)"
status=0
lintian --fail-on error,warning --display-level '>=pedantic' "$deb" > "$out/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$out/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings (above; lintian --info explains each tag)"

echo "package: $deb ($(du -k "$deb" | cut -f1) KB)"
echo "Depends: $depends"
