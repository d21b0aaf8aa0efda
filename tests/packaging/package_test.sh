#!/usr/bin/env bash
# The Debian package as a fresh machine gets it: made by cpack from this build
# tree, unpacked with dpkg-deb into a throwaway root, then checked as the
# desktop and an operator use it: the desktop entry, the .tdr file type, the
# icon and manual pages, the simulated instrument's images found from the
# unpacked programs, and (under a virtual display) the desktop's default
# application for a .tdr file once installed into a scratch XDG data folder;
# the documents a Debian user finds, the hardening of the programs, and
# lintian's verdict (when lintian is installed).
#   package_test.sh BUILD-FOLDER SAMPLES-FOLDER VERSION
# Exits 77 (skipped) when a tool it needs is missing.
set -uo pipefail
build=$1
samples=$2
version=$3
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate xmllint update-mime-database \
    update-desktop-database xdg-mime xdg-desktop-menu mimetype xvfb-run groff identify readelf col; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The package, made where it cannot disturb the build tree.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAILED: cpack -G DEB"
    exit 1
fi
deb=$(ls "$work"/out/orvik_*.deb 2>/dev/null)
[ "$(wc -w <<<"$deb")" = 1 ] || { echo "FAILED: cpack made no single orvik_*.deb: $deb"; exit 1; }

[ "$(dpkg-deb -f "$deb" Package)" = orvik ] || fail "Package is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6printsupport6; do
    grep -q "$library" <<<"$depends" || fail "Depends does not name $library: $depends"
done
# Everything lies under /usr: nothing in /usr/local, /opt or /home.
outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -vE '^\./(usr/?.*)?$')
[ -z "$outside" ] || fail "files outside /usr: $outside"

root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAILED: dpkg-deb -x"; exit 1; }
share=$root/usr/share
for file in usr/bin/orvik usr/bin/orvik-cli usr/share/applications/orvik.desktop \
    usr/share/mime/packages/orvik.xml usr/share/icons/hicolor/scalable/apps/orvik.svg \
    usr/share/man/man1/orvik.1.gz usr/share/man/man1/orvik-cli.1.gz \
    usr/share/orvik/simulator/TDR_XC.hex usr/share/orvik/simulator/TdrSpartan.hex \
    usr/lib/udev/rules.d/60-orvik.rules usr/share/doc/orvik/copyright \
    usr/share/doc/orvik/changelog.gz usr/share/doc/orvik/README.udev.md; do
    [ -s "$root/$file" ] || fail "the package has no $file"
done
ls "$root"/usr/bin/*.hex >/dev/null 2>&1 && fail "image files were installed beside the programs"
for size in 16 24 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x$size/apps/orvik.png
    [ "$(identify -format '%m %wx%h' "$icon" 2>/dev/null)" = "PNG ${size}x$size" ] ||
        fail "$icon is not a ${size}x$size PNG"
done

# The documents: a machine-readable copyright file, a changelog whose latest
# entry is this version, and the manual's steps for the udev rule.
doc=$root/usr/share/doc/orvik
[ "$(head -n 1 "$doc/copyright")" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "the copyright file is not in the machine-readable format"
[ "$(zcat "$doc/changelog.gz" | head -n 1 | cut -d' ' -f1-2)" = "orvik ($version)" ] ||
    fail "the changelog's latest entry is not for $version: $(zcat "$doc/changelog.gz" | head -n 1)"
# Rendered without hyphenation or justification, its lines joined.
manual=$(zcat "$share/man/man1/orvik.1.gz" | groff -man -Tutf8 -rHY=0 -dAD=l 2>/dev/null | col -b |
    tr -s ' \n' '  ')
for step in /usr/lib/udev/rules.d/60-orvik.rules plugdev "udevadm control --reload" \
    "plug it in again" "One program at a time"; do
    grep -qF -- "$step" <<<"$manual" || fail "man orvik does not say: $step"
done

# Both programs are built hardened: a read-only relocation table bound at
# start, and the checked forms of the C library's string functions.
# Each listing is read whole before it is searched: grep -q stops at the first
# match, and under pipefail the readelf it leaves writing a long symbol table
# would fail the pipe on its broken pipe.
for program in orvik orvik-cli; do
    binary=$root/usr/bin/$program
    headers=$(readelf -lW "$binary")
    dynamic=$(readelf -dW "$binary")
    symbols=$(readelf -sW --dyn-syms "$binary")
    grep -q GNU_RELRO <<<"$headers" || fail "$program has no read-only relocations"
    grep -qE 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$program is not bound now"
    grep -qE '__[a-z0-9_]+_chk' <<<"$symbols" || fail "$program uses no fortified functions"
done

# Lintian, as Debian's archive would run it: no tag beyond those the package
# overrides (each with its reason).
if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 --display-level '>=pedantic' "$deb" >"$work/lintian.log" 2>&1
    if grep -qE '^[EWIPX]: ' "$work/lintian.log"; then
        fail "lintian: $(grep -E '^[EWIPX]: ' "$work/lintian.log")"
    fi
else
    echo "note: lintian is not installed; its check was left out"
fi

# The desktop entry and the file type it opens.
desktop=$share/applications/orvik.desktop
desktop-file-validate "$desktop" >"$work/validate.log" 2>&1 ||
    fail "desktop-file-validate: $(cat "$work/validate.log")"
grep -qx 'Exec=orvik %F' "$desktop" || fail "the desktop entry does not run orvik %F"
grep -qx 'Categories=Science;Electronics;' "$desktop" || fail "the desktop entry's categories"
mime_xml=$share/mime/packages/orvik.xml
xmllint --noout "$mime_xml" || fail "the MIME XML is not well-formed"
type=$(xmllint --xpath "string(//*[local-name()='mime-type']/@type)" "$mime_xml")
glob=$(xmllint --xpath "string(//*[local-name()='glob']/@pattern)" "$mime_xml")
comment=$(xmllint --xpath "string(//*[local-name()='mime-type']/*[local-name()='comment'])" \
    "$mime_xml")
[ "$glob" = '*.tdr' ] || fail "the MIME type's glob is '$glob'"
[ "$comment" = 'Orvik trace collection' ] || fail "the MIME type's comment is '$comment'"
grep -qx "MimeType=$type;" "$desktop" || fail "the desktop entry does not open $type"
# shared-mime-info itself must read the type from the file.
mkdir -p "$work/mime/packages" && cp "$mime_xml" "$work/mime/packages/"
update-mime-database "$work/mime" >"$work/mime.log" 2>&1 ||
    fail "update-mime-database: $(cat "$work/mime.log")"
grep -q "^50:$type:\*\.tdr$" "$work/mime/globs2" 2>/dev/null ||
    fail "the MIME database has no $type for *.tdr"

# The manual pages render without a complaint.
for page in orvik orvik-cli; do
    warnings=$(zcat "$share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
    zcat "$share/man/man1/$page.1.gz" | grep -q "Orvik $version" ||
        fail "$page.1 does not carry the version $version"
done

# The unpacked programs: their version, and a measurement on the simulated
# instrument with the images the package brought (the user's folder is empty).
home=$work/home
mkdir -p "$home" "$work/run"
run() { (cd "$work/run" && env -u XDG_DATA_HOME HOME="$home" "$@"); }
[ "$(run "$root/usr/bin/orvik-cli" --version)" = "orvik-cli $version" ] || fail "orvik-cli --version"
[ "$(run env -u DISPLAY "$root/usr/bin/orvik" --version)" = "orvik $version" ] ||
    fail "orvik --version"
run "$root/usr/bin/orvik-cli" measure --simulate >"$work/measure.out" 2>"$work/measure.err" ||
    fail "the packaged orvik-cli measure --simulate: $(cat "$work/measure.err")"
grep -q '"passed": *true' "$work/measure.out" ||
    fail "the packaged measurement did not pass: $(head -c 400 "$work/measure.out")"
# Without the package's images the same run cannot start the instrument: the
# run above did use them.
mv "$share/orvik/simulator" "$share/orvik/elsewhere"
run "$root/usr/bin/orvik-cli" measure --simulate >/dev/null 2>&1 &&
    fail "orvik-cli measure --simulate passed without the package's images"
mv "$share/orvik/elsewhere" "$share/orvik/simulator"

# The packaged program starts on a display and finds the simulated
# instrument's images in the package's data folder: its log says the
# instrument is ready while the program still runs.
(cd "$work/run" && env -u XDG_DATA_HOME -u QT_QPA_PLATFORM HOME="$home" xvfb-run -a sh -c '
    "$1" --simulate --log "$2" >/dev/null 2>&1 &
    program=$!
    for _ in $(seq 120); do
        grep -q "Start-up: MV300 ready" "$2" 2>/dev/null && break
        kill -0 $program 2>/dev/null || break
        sleep 0.25
    done
    sleep 0.5
    kill -0 $program 2>/dev/null && running=yes
    kill $program 2>/dev/null
    wait $program
    [ "$running" = yes ]' sh "$root/usr/bin/orvik" "$work/orvik.log") ||
    fail "the packaged orvik --simulate did not keep running"
grep -q "Start-up: loaded the images from $share/orvik/simulator" "$work/orvik.log" ||
    fail "the packaged orvik did not load its images: $(cat "$work/orvik.log" 2>/dev/null)"
grep -q "Start-up: MV300 ready" "$work/orvik.log" ||
    fail "the packaged orvik's simulated instrument is not ready"

# The desktop: install the entry and the type into a scratch XDG data folder
# and ask which application opens a .tdr file.
scratch=$work/xdg
mkdir -p "$scratch/home" "$scratch/data" "$scratch/config"
cp "$samples/sample.tdr" "$work/collection.tdr"
if ! env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION \
    HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_DIRS=/usr/share xvfb-run -a sh -c '
        xdg-mime install --mode user --novendor "$1" &&
        xdg-desktop-menu install --mode user --novendor "$2" &&
        type=$(xdg-mime query filetype "$3") && echo "$type" &&
        xdg-mime query default "$type"' sh "$mime_xml" "$desktop" "$work/collection.tdr" \
    >"$work/xdg.out" 2>"$work/xdg.err"; then
    fail "installing into the scratch XDG folder: $(cat "$work/xdg.err")"
fi
[ "$(sed -n 1p "$work/xdg.out")" = "$type" ] ||
    fail "xdg-mime query filetype of a .tdr: $(sed -n 1p "$work/xdg.out")"
[ "$(sed -n 2p "$work/xdg.out")" = orvik.desktop ] ||
    fail "xdg-mime query default $type: $(sed -n 2p "$work/xdg.out")"

# As installed by dpkg: the unpacked tree is a system data folder whose caches
# Debian's triggers (update-mime-database, update-desktop-database) refresh.
system=$work/system
mkdir -p "$system/home" && cp -r "$root/usr/share" "$system/share"
update-mime-database "$system/share/mime" >/dev/null 2>&1 || fail "update-mime-database of the package"
update-desktop-database "$system/share/applications" 2>/dev/null ||
    fail "update-desktop-database of the package"
if ! env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION \
    HOME="$system/home" XDG_DATA_HOME="$system/home/data" XDG_CONFIG_HOME="$system/home/config" \
    XDG_DATA_DIRS="$system/share:/usr/share" xvfb-run -a sh -c '
        type=$(xdg-mime query filetype "$1") && echo "$type" && xdg-mime query default "$type"' \
    sh "$work/collection.tdr" >"$work/system.out" 2>"$work/system.err"; then
    fail "querying the package's data folder: $(cat "$work/system.err")"
fi
[ "$(tr '\n' ' ' <"$work/system.out")" = "$type orvik.desktop " ] ||
    fail "the package's data folder opens a .tdr with: $(cat "$work/system.out")"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "package: $(basename "$deb") installs its desktop entry, file type, icons, manual pages and images"
