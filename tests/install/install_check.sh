#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a packager and a desktop find there:
# both executables in bin/, the desktop entry (desktop-file-validate) and its MIME types
# (xmllint against shared-mime-info's own DTD, then update-mime-database and
# update-desktop-database on the staged tree), the icon at each size, the man pages, the
# examples, the guide with what it links to, the copyright file and the changelog. Last, the
# installed IDE opens an example named on its command line on a virtual screen and ends through
# File > Exit, having written its settings into the user's configuration folder and nothing
# into the prefix.
#   install_check.sh BUILD_DIR SOURCE_DIR VERSION
# A tool that is missing skips its check with a note, except under CI (CI=true), where that
# fails.
set -euo pipefail
export LC_ALL=C

build="$1"
source="$2"
version="$3"
stage="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$stage"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# A check that needs a tool: true when the tool is there.
have() {
  if command -v "$1" > /dev/null; then return 0; fi
  if [ "${CI:-}" = "true" ]; then
    fail "$1 is missing (scripts/setup.sh installs it)"
  else
    echo "note: $1 is missing, its check is skipped (scripts/setup.sh installs it)"
  fi
  return 1
}

prefix="$stage/usr"
cmake --install "$build" --prefix "$prefix" > "$stage/install.log" 2>&1 ||
  { cat "$stage/install.log"; echo "FAIL: cmake --install"; exit 1; }
share="$prefix/share"

# ---- Where the files land ----
for exe in cellwright cellwright-run; do
  [ -x "$prefix/bin/$exe" ] || fail "bin/$exe is missing or not executable"
done
for file in applications/cellwright.desktop mime/packages/cellwright.xml \
    icons/hicolor/scalable/apps/cellwright.svg doc/cellwright/README.md; do
  [ -f "$share/$file" ] || fail "share/$file is missing"
done

# PNG icons at each size, each as large as its folder says (the IHDR width and height).
for size in 16 22 24 32 48 64 128 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/cellwright.png"
  if [ ! -f "$png" ]; then
    fail "the ${size}x${size} icon is missing"
    continue
  fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ printf "%d %d\n", (($1 * 256 + $2) * 256 + $3) * 256 + $4, (($5 * 256 + $6) * 256 + $7) * 256 + $8 }')
  [ "$w $h" = "$size $size" ] || fail "the ${size}x${size} icon is ${w}x${h}"
done

# Man pages, compressed, naming the prefix they were installed under.
for page in cellwright cellwright-run; do
  gz="$share/man/man1/$page.1.gz"
  if [ ! -f "$gz" ]; then
    fail "share/man/man1/$page.1.gz is missing"
    continue
  fi
  gzip -t "$gz" || fail "$page.1.gz is not a gzip file"
  zcat "$gz" | grep -q "^\.TH .*Cellwright $version" || fail "$page.1 does not carry version $version"
  zcat "$gz" | grep -q -- "$share/doc/cellwright/examples" || fail "$page.1 does not name the installed examples"
  if have groff; then
    warnings="$(zcat "$gz" | groff -man -Tutf8 -ww -z 2>&1)"
    [ -z "$warnings" ] || fail "groff warns about $page.1: $warnings"
  fi
done
zcat "$share/man/man1/cellwright.1.gz" | grep -q 'config/Cellwright/cellwr\.ini' ||
  fail "cellwright.1 does not say where the settings live"

# The examples, every file of the folder unchanged.
(cd "$source/examples" && find . -type f | sort) > "$stage/examples.src"
(cd "$share/doc/cellwright/examples" && find . -type f | sort) > "$stage/examples.inst"
cmp -s "$stage/examples.src" "$stage/examples.inst" || fail "the installed examples differ from examples/"
while read -r f; do
  cmp -s "$source/examples/$f" "$share/doc/cellwright/examples/$f" || fail "examples/$f changed on installation"
done < "$stage/examples.src"

# The guide's relative links (its picture) resolve in the installed folder; Debian's copyright
# file and changelog lie beside it.
doc="$share/doc/cellwright"
for target in $(grep -o '](\([^)]*\))' "$doc/README.md" | sed 's/^](//; s/)$//' | sort -u); do
  case "$target" in
    '#'* | *://* | mailto:*) ;;
    *) [ -e "$doc/${target%%#*}" ] || fail "README.md links to $target, which is not installed" ;;
  esac
done
[ -f "$doc/copyright" ] || fail "share/doc/cellwright/copyright is missing"
gzip -t "$doc/changelog.gz" 2> /dev/null || fail "share/doc/cellwright/changelog.gz is missing or not a gzip file"

# ---- The installed executables ----
[ "$("$prefix/bin/cellwright-run" --version)" = "cellwright-run $version" ] || fail "cellwright-run --version"
[ "$(echo stressed | "$prefix/bin/cellwright-run" "$share/doc/cellwright/examples/reverse.b")" = "desserts" ] ||
  fail "the installed runner does not run the installed reverse.b"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/cellwright" --version)" = "cellwright $version" ] ||
  fail "cellwright --version without a display"

# ---- Desktop entry and MIME types ----
desktop="$share/applications/cellwright.desktop"
if have desktop-file-validate; then
  out="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
grep -qx 'Exec=cellwright %F' "$desktop" || fail "the desktop entry does not pass files to cellwright"
grep -qx 'Icon=cellwright' "$desktop" || fail "the desktop entry does not name the icon"
grep -q '^Categories=.*Development;' "$desktop" && grep -q '^Categories=.*IDE;' "$desktop" ||
  fail "the desktop entry is not in Development and IDE"
# Every type the entry opens is one the MIME file defines, and each of .b, .bf, .pb has a type.
mime_xml="$share/mime/packages/cellwright.xml"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
  grep -q "<mime-type type=\"$type\">" "$mime_xml" || fail "the desktop entry names $type, which is not defined"
done

if have xmllint; then
  xmllint --noout "$mime_xml" || fail "cellwright.xml is not well formed"
  # shared-mime-info ships its DTD inside its own package file.
  freedesktop=/usr/share/mime/packages/freedesktop.org.xml
  if [ -f "$freedesktop" ] && grep -q '<!DOCTYPE mime-info \[' "$freedesktop"; then
    sed -n '/<!DOCTYPE mime-info \[/,/^\]>/p' "$freedesktop" | sed '1d;$d' > "$stage/mime.dtd"
    xmllint --noout --dtdvalid "$stage/mime.dtd" "$mime_xml" 2>&1 || fail "cellwright.xml does not validate"
  elif [ "${CI:-}" = "true" ]; then
    fail "shared-mime-info's DTD (in $freedesktop) is missing"
  else
    echo "note: shared-mime-info's DTD is missing, cellwright.xml is only checked to be well formed"
  fi
fi

if have update-mime-database; then
  update-mime-database "$share/mime" > /dev/null 2>&1 || fail "update-mime-database refuses the MIME file"
  for pair in '*.b:text/x-brainfuck' '*.bf:text/x-brainfuck' '*.pb:text/x-pbrain'; do
    glob="${pair%%:*}" type="${pair#*:}"
    grep -qxF "50:$type:$glob" "$share/mime/globs2" || fail "$glob is not $type after update-mime-database"
  done
  grep -qx 'text/x-pbrain text/x-brainfuck' "$share/mime/subclasses" || fail "pbrain is no kind of Brainfuck"
fi

if have update-desktop-database; then
  update-desktop-database "$share/applications" || fail "update-desktop-database"
  for type in text/x-brainfuck text/x-pbrain; do
    grep -qx "$type=cellwright.desktop;" "$share/applications/mimeinfo.cache" ||
      fail "\"Open with\" does not offer Cellwright for $type"
  done
fi

# ---- The installed IDE opens a file named on its command line ----
# On a bare X server: File > Exit is Alt+F4, which reaches the program as a key there.
if have Xvfb && have xdotool; then
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3> "$stage/display" 2> /dev/null &
  pids+=($!)
  for ((i = 0; i < 100; i++)); do [ -s "$stage/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n 1 "$stage/display")"
  example="$share/doc/cellwright/examples/hello.b"
  mkdir -p "$stage/home"
  (cd "$prefix/bin" && ls -A) > "$stage/bin.before"
  HOME="$stage/home" XDG_CONFIG_HOME="$stage/home/.config" "$prefix/bin/cellwright" "$example" \
    > "$stage/ide.log" 2>&1 &
  ide=$!
  pids+=("$ide")
  editor=""
  for ((i = 0; i < 200; i++)); do
    editor="$(xdotool search --onlyvisible --name "^Source Editor - $example\$" 2> /dev/null | head -n 1 || true)"
    [ -n "$editor" ] && break
    sleep 0.1
  done
  if [ -z "$editor" ]; then
    fail "cellwright $example: no editor window showing the file"
  else
    main="$(xdotool search --onlyvisible --name "^Cellwright $version\$" | head -n 1)"
    xdotool windowfocus --sync "$main" key --clearmodifiers alt+F4
    for ((i = 0; i < 100; i++)); do kill -0 "$ide" 2> /dev/null || break; sleep 0.1; done
    if kill -0 "$ide" 2> /dev/null; then
      fail "the installed IDE did not end on File > Exit"
    else
      wait "$ide" || fail "the installed IDE ended with status $?"
      # An installed program keeps its settings in the user's configuration folder and writes
      # nothing into its installation, even where it could.
      grep -q "hello.b" "$stage/home/.config/Cellwright/cellwr.ini" 2> /dev/null ||
        fail "the opened example is not in the recent list the IDE wrote to the configuration folder"
      (cd "$prefix/bin" && ls -A) > "$stage/bin.after"
      cmp -s "$stage/bin.before" "$stage/bin.after" ||
        fail "the installed IDE wrote into its bin folder: $(comm -13 "$stage/bin.before" "$stage/bin.after" | tr '\n' ' ')"
    fi
  fi
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; the staged tree:"
  (cd "$stage" && find . -path ./home -prune -o -type f -print | sort)
  [ -f "$stage/ide.log" ] && cat "$stage/ide.log"
  exit 1
fi
echo "install check: every file in place under $prefix"
