#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr and checks the tree
# as a desktop and a package manager will read it.
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr
fail() { echo "FAIL: $*" >&2; exit 1; }

for f in bin/tarvel bin/tarvel-cli; do
    [ -x "$usr/$f" ] || fail "$f is not installed as a program"
done
for f in share/applications/tarvel.desktop share/mime/packages/tarvel.xml \
         share/icons/hicolor/scalable/apps/tarvel.svg share/icons/hicolor/256x256/apps/tarvel.png \
         share/man/man1/tarvel.1.gz share/man/man1/tarvel-cli.1.gz share/tarvel/help/100.html \
         share/tarvel/samples/ieee14.cdu share/tarvel/samples/feeder10.cdu share/tarvel/samples/districts.cdu \
         lib/tarvel/tarvel-diagram-png.so; do
    [ -f "$usr/$f" ] || fail "$f is missing"
done
installed=$(find "$usr" -type f | wc -l)
leftovers=$(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$leftovers" ] || fail "installed outside /usr: $leftovers"

desktop=$usr/share/applications/tarvel.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects tarvel.desktop"

# The entry names a program, an icon and a file type that the package brings.
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$usr/bin/$exec_program" ] || fail "Exec names $exec_program, which is not in bin/"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon $icon has no SVG"
[ -f "$usr/share/icons/hicolor/256x256/apps/$icon.png" ] || fail "Icon $icon has no 256 px PNG"
[ "$(od -An -tx1 -j16 -N8 "$usr/share/icons/hicolor/256x256/apps/$icon.png" | tr -d ' \n')" = 0000010000000100 ] \
    || fail "the PNG icon is not 256 x 256"

# shared-mime-info compiles the type and maps *.cdu to the type the entry opens.
XDG_DATA_DIRS=$usr/share update-mime-database "$usr/share/mime" || fail "update-mime-database rejects tarvel.xml"
mime_type=$(sed -n 's/^MimeType=\([^;]*\);.*/\1/p' "$desktop")
grep -q "^[0-9]*:$mime_type:\*\.cdu$" "$usr/share/mime/globs2" || fail "*.cdu is not $mime_type"

# A double-click goes through xdg-open, which splits the Exec line into words
# without removing quotes: the program must get its folder and the file as
# they are meant. A stand-in "tarvel" records the arguments it is given.
desk=$stage/desktop
mkdir -p "$desk/bin" "$desk/config" "$desk/data" "$desk/home"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/args"\n' "$desk" > "$desk/bin/$exec_program"
chmod +x "$desk/bin/$exec_program"
printf '[Default Applications]\ntext/plain=tarvel.desktop\n%s=tarvel.desktop\n' "$mime_type" \
    > "$desk/config/mimeapps.list"
cp "$usr/share/tarvel/samples/ieee14.cdu" "$desk/home/my net.cdu"
( cd "$desk/home" && env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
    HOME="$desk/home" DISPLAY="${DISPLAY:-:0}" PATH="$desk/bin:$PATH" XDG_CONFIG_HOME="$desk/config" \
    XDG_DATA_HOME="$desk/data" XDG_DATA_DIRS="$usr/share:/usr/share" BROWSER= xdg-open "$desk/home/my net.cdu" ) \
    || fail "xdg-open does not start the desktop entry"
[ -f "$desk/args" ] || fail "xdg-open did not run the entry's Exec line"
printf '%s\n' --home-workdir Tarvel "$desk/home/my net.cdu" | cmp -s - "$desk/args" \
    || fail "xdg-open runs the entry with the arguments: $(tr '\n' '|' < "$desk/args")"

# The man pages format without a warning.
for page in "$usr"/share/man/man1/*.1.gz; do
    warnings=$(zcat "$page" | groff -k -man -ww -z -Tutf8 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# The installed command-line tool computes an installed sample.
work=$stage/work
mkdir "$work"
"$usr/bin/tarvel-cli" --workdir "$work" "$usr/share/tarvel/samples/ieee14.cdu" 2>/dev/null \
    || fail "installed tarvel-cli does not compute samples/ieee14.cdu"
[ -s "$work/network.rez" ] || fail "installed tarvel-cli wrote no network.rez"
# ... and finds its module to draw the diagram as PNG, without a display.
env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/tarvel-cli" --workdir "$work" --diagram "$work/d.png" \
    "$usr/share/tarvel/samples/districts.cdu" || fail "installed tarvel-cli writes no PNG diagram"
[ "$(head -c 8 "$work/d.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the diagram is not a PNG"

# The installed window answers --help without a display.
env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/tarvel" --help | grep -q -- '--workdir' \
    || fail "installed tarvel does not answer --help"

echo "installed tree checked: $installed files"
