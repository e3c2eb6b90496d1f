#!/bin/sh
# The installed program: `cmake --install` into a prefix, the program running from there with
# its language files, the desktop entry and AppStream metadata valid, and the Debian package.
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/usr" >/dev/null
for f in bin/doziduvov bin/korvex-sim share/doziduvov/LanguageFiles/German.dll \
         share/applications/org.nortave.doziduvov.desktop share/metainfo/org.nortave.doziduvov.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.nortave.doziduvov.svg \
         share/man/man1/doziduvov.1.gz share/man/man1/korvex-sim.1.gz \
         share/doc/doziduvov/copyright share/doc/doziduvov/changelog.gz; do
    test -e "$tmp/usr/$f" || { echo "not installed: $f" >&2; exit 1; }
done
"$tmp/usr/bin/doziduvov" --version

# Run from the prefix, nothing beside the binary: the language files come from share/.
mkdir -p "$tmp/home"
env -u DISPLAY -u WAYLAND_DISPLAY -u DOZIDUVOV_PROGRAM_DIR -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR \
    HOME="$tmp/home" TMPDIR="$tmp" XDG_CONFIG_HOME="$tmp/cfg" XDG_CONFIG_DIRS="$tmp/sys" \
    LANG=C.UTF-8 LC_ALL=C.UTF-8 "$tmp/usr/bin/doziduvov" /a 2>"$tmp/err" && { echo "ran without a host" >&2; exit 1; }
grep -q "Korvex wurde nicht gefunden" "$tmp/err" || { cat "$tmp/err" >&2; exit 1; }

desktop-file-validate "$tmp/usr/share/applications/org.nortave.doziduvov.desktop"
appstreamcli validate --no-net --pedantic "$tmp/usr/share/metainfo/org.nortave.doziduvov.metainfo.xml"

(cd "$build" && cpack -G DEB -B "$tmp/deb" >/dev/null)
deb=$(ls "$tmp"/deb/*.deb)
dpkg-deb -c "$deb" | grep -q "./usr/bin/doziduvov$"
dpkg-deb -c "$deb" | grep -q "LanguageFiles/German.dll$"
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6"
dpkg-deb -f "$deb" Depends | grep -q "libqt6sql6-sqlite"
dpkg-deb -f "$deb" Depends | grep -q "libqt6svg6"
# Each package once: a doubled entry is a lintian error.
twice=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort | uniq -d)
if [ -n "$twice" ]; then echo "named twice in Depends: $twice" >&2; exit 1; fi
# The packaged binaries are stripped: symbol tables and debug sections make it many times larger.
dpkg-deb -x "$deb" "$tmp/x"
for b in doziduvov korvex-sim; do
    if readelf -S "$tmp/x/usr/bin/$b" | grep -qE '\.symtab|\.debug_'; then echo "not stripped: $b" >&2; exit 1; fi
done
echo "installed and packaged: $(basename "$deb")"
