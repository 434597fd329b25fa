#!/usr/bin/env bash
# Builds the package preset, installs it into a scratch DESTDIR and checks the desktop
# integration, the manual pages and the Debian package:
#   - the installed tree holds exactly the expected files (binaries, man pages, MIME type, and
#     with the window the desktop entry, the metainfo and the icons);
#   - desktop-file-validate, appstreamcli validate --no-net, xmllint and update-mime-database
#     accept the files, and xdg-mime maps .midi2 files (by name and by content) to our type
#     with XDG_DATA_DIRS pointing at the DESTDIR;
#   - groff -ww and man -l render both pages without a warning;
#   - cpack writes the .deb; its Depends name the package of every library the binaries link,
#     of every FFmpeg library the decoder loads with dlopen, of Qt's xcb platform plugin and of
#     a General MIDI SoundFont; apt accepts it; dpkg -x + ldd resolve every library.
# Usage: tools/check_install.sh      (run by .ci/run; needs the tools ./bootstrap installs)
set -euo pipefail
cd "$(dirname "$0")/.."
./bootstrap
source_dir=$PWD
build=build/package
id=io.orvane.Orvane

failures=0
fail() { echo "check_install: FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo; echo "== $*"; }
# The Debian package that owns a file, also through /lib -> /usr/lib and symbolic links.
owner() {
  local candidate
  for candidate in "$1" "$(readlink -f "$1")" "${1#/usr}" "/usr$1"; do
    dpkg-query -S "$candidate" 2>/dev/null | awk -F: 'NR == 1 { print $1; found = 1 } END { exit !found }' && return 0
  done
  return 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The window is part of the build when its main() exists (src/ui/CMakeLists.txt).
window=false
[ -f src/ui/main.cpp ] && window=true

step "icons: the committed PNGs are renderings of the SVG"
tools/render_icons.sh --check && echo "data/icons/hicolor/*/apps/$id.png match data/icons/$id.svg"

step "build (preset package)"
cmake --preset package >/dev/null
# (Optimised builds show g++ 12's known false -Wrestrict reports from libstdc++: the log is
# printed only when the build fails.)
cmake --build --preset package >"$scratch/build.log" 2>&1 || { tail -n 60 "$scratch/build.log"; echo "check_install: the build failed" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
echo "version $version, window: $window"
if $window && [ ! -x "$build/src/ui/orvane" ]; then fail "src/ui/main.cpp exists but $build/src/ui/orvane was not built"; fi

step "cmake --install into a DESTDIR"
stage=$scratch/stage
DESTDIR=$stage cmake --install "$build" >/dev/null
expected=(
  usr/bin/orvane-cli
  usr/share/man/man1/orvane-cli.1
  usr/share/mime/packages/$id.xml
)
if $window; then
  expected+=(
    usr/bin/orvane
    usr/share/man/man1/orvane.1
    usr/share/applications/$id.desktop
    usr/share/metainfo/$id.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/$id.svg
  )
  for size in 16 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png"); done
fi
printf '%s\n' "${expected[@]}" | sort >"$scratch/expected"
(cd "$stage" && find . -type f -printf '%P\n' | sort) >"$scratch/installed"
if diff -u "$scratch/expected" "$scratch/installed"; then
  sed 's/^/  /' "$scratch/installed"
else
  fail "the installed tree differs from the expected files (- missing, + unexpected)"
fi
for binary in orvane-cli $($window && echo orvane); do
  shown=$("$stage/usr/bin/$binary" --version 2>&1) || fail "$binary --version failed"
  [ "$shown" = "$binary $version" ] && echo "$binary --version: $shown" || fail "$binary --version printed '$shown'"
done
if $window; then
  for size in 16 24 32 48 64 128 256; do
    png=$stage/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size px PNG: $(file -b "$png")"
  done
  grep -q "<svg" "$stage/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is not an SVG"
fi

step "desktop entry and metainfo"
desktop=$stage/usr/share/applications/$id.desktop
metainfo=$stage/usr/share/metainfo/$id.metainfo.xml
$window || { desktop=data/$id.desktop; metainfo=data/$id.metainfo.xml; echo "(no window in this build: the files of data/)"; }
echo "\$ desktop-file-validate ${desktop#"$scratch/"}"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
for line in "Exec=orvane %f" "Icon=$id" "MimeType=audio/midi;audio/x-midi2-clip;" "Categories=AudioVideo;Audio;Midi;Qt;"; do
  grep -qxF "$line" "$desktop" || fail "the desktop entry lacks '$line'"
done
echo "\$ appstreamcli validate --no-net ${metainfo#"$scratch/"}"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qF "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metainfo does not launch $id.desktop"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
if $window; then
  echo "\$ appstreamcli validate-tree --no-net DESTDIR/usr"
  appstreamcli validate-tree --no-net "$stage/usr" || fail "appstreamcli validate-tree"
fi

step "MIME type of MIDI 2.0 Clip files"
mime_xml=$stage/usr/share/mime/packages/$id.xml
echo "\$ xmllint --noout DESTDIR/usr/share/mime/packages/$id.xml"
xmllint --noout "$mime_xml" || fail "xmllint"
echo "\$ update-mime-database DESTDIR/usr/share/mime"
XDG_DATA_DIRS="$stage/usr/share:/usr/share" update-mime-database "$stage/usr/share/mime" 2>"$scratch/mime.log" || fail "update-mime-database"
[ -s "$scratch/mime.log" ] && { cat "$scratch/mime.log"; fail "update-mime-database warned"; }
grep -qx "audio/x-midi2-clip" "$stage/usr/share/mime/types" || fail "audio/x-midi2-clip is not in the MIME database"
samples=$scratch/samples
mkdir -p "$samples"
"$build/src/cli/orvane-cli" convert examples/demo.mid -o "$samples/demo.midi2" >/dev/null
cp "$samples/demo.midi2" "$samples/clip-without-extension"
cp examples/demo.mid "$samples/demo.mid"
head -c 8 "$samples/demo.midi2" | grep -q "SMF2CLIP" || fail "orvane-cli convert did not write a SMF2CLIP file"
for sample in demo.midi2:audio/x-midi2-clip clip-without-extension:audio/x-midi2-clip demo.mid:audio/midi; do
  name=${sample%%:*}
  want=${sample#*:}
  # A clean environment: no desktop session, so xdg-mime asks shared-mime-info (through
  # File::MimeInfo's mimetype) and reads the databases of XDG_DATA_DIRS only.
  got=$(env -i PATH="$PATH" HOME="$scratch" XDG_DATA_HOME="$scratch/home-data" \
    XDG_DATA_DIRS="$stage/usr/share:/usr/share" xdg-mime query filetype "$samples/$name")
  echo "\$ xdg-mime query filetype $name -> $got"
  [ "$got" = "$want" ] || fail "xdg-mime says $name is '$got', not $want"
done

step "manual pages"
pages=("$stage/usr/share/man/man1/orvane-cli.1")
$window && pages+=("$stage/usr/share/man/man1/orvane.1") || pages+=(data/man/orvane.1)
for page in "${pages[@]}"; do
  name=${page##*/}
  warnings=$(groff -ww -man -Tutf8 -z "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$warnings"; fail "groff -ww warns about $name"; }
  rendered=$(MANROFFOPT=-ww MANWIDTH=80 man -l "$page" 2>"$scratch/man.log") || fail "man -l $name failed"
  [ -s "$scratch/man.log" ] && { cat "$scratch/man.log"; fail "man -l warns about $name"; }
  grep -q '^\.TH .*"Orvane '"$version"'"' "$page" || fail "$name is not marked Orvane $version"
  echo "\$ man -l $name: $(wc -l <<<"$rendered") lines, no warnings"
done

step "Debian package"
rm -f "$build"/orvane_*.deb
cpack --preset package >"$scratch/cpack.log" || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$build"/orvane_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "cpack wrote no orvane_*.deb"
else
  echo "\$ dpkg-deb --info ${deb#"$source_dir/"}"
  dpkg-deb --info "$deb"
  depends=$(dpkg-deb --field "$deb" Depends)
  # Package names in Depends, alternatives included.
  tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//' | sed '/^$/d' | sort -u >"$scratch/depends"
  # The packages that must be there: the owners of the libraries each binary links (NEEDED),
  # of the FFmpeg libraries loaded with dlopen, of Qt's xcb platform plugin, and a SoundFont.
  required=()
  unpacked=$scratch/unpacked
  dpkg-deb -x "$deb" "$unpacked"
  for binary in "$unpacked"/usr/bin/*; do
    echo "\$ ldd ${binary#"$unpacked"}"
    resolved=$(ldd "$binary")
    sed 's/^/  /' <<<"$resolved"
    if grep -q "not found" <<<"$resolved"; then fail "${binary##*/}: a library is not found"; fi
    for needed in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      path=$(awk -v n="$needed" '$1 == n { print $3 }' <<<"$resolved")
      [ -n "$path" ] || { fail "${binary##*/}: $needed is not resolved"; continue; }
      package=$(owner "$path") && required+=("$package") || fail "no package owns $path ($needed)"
    done
  done
  for module in libavformat libavcodec libswresample libavutil; do
    soname=$module.so.$(pkg-config --modversion "$module" | cut -d. -f1)
    path=$(ldconfig -p | awk -v n="$soname" '$1 == n && /x86-64/ && !found { print $NF; found = 1 }')
    [ -n "$path" ] || { fail "$soname (loaded with dlopen) is not installed"; continue; }
    echo "dlopen $soname => $path"
    package=$(owner "$path") && required+=("$package") || fail "no package owns $path ($soname)"
  done
  package=$(owner /usr/share/sounds/sf2/FluidR3_GM.sf2) && required+=("$package") || fail "no package owns FluidR3_GM.sf2"
  if $window; then
    plugin=$(find /usr/lib -path '*qt6/plugins/platforms/libqxcb.so' | head -n 1)
    package=$(owner "$plugin") && required+=("$package") || fail "no package owns Qt's xcb platform plugin"
  fi
  for package in $(printf '%s\n' "${required[@]}" | sort -u); do
    grep -qx "$package" "$scratch/depends" && echo "Depends has $package" || fail "Depends lacks $package"
  done
  # The packaged (stripped) programs run: the window paints the demo song without a display.
  "$unpacked/usr/bin/orvane-cli" info examples/demo.mid >/dev/null || fail "the packaged orvane-cli cannot read the demo song"
  if $window; then
    echo "\$ QT_QPA_PLATFORM=offscreen ORVANE_AUDIO_OUTPUT=null orvane --quit-after-first-frame examples/demo.mid"
    QT_QPA_PLATFORM=offscreen ORVANE_AUDIO_OUTPUT=null XDG_DATA_DIRS="$unpacked/usr/share:/usr/share" \
      timeout 60 "$unpacked/usr/bin/orvane" --quit-after-first-frame examples/demo.mid 2>&1 | grep -F "first frame" ||
      fail "the packaged window did not paint the demo song"
  fi
  # Every file of the DESTDIR install is in the package, owned by root.
  dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$scratch/packaged"
  diff -u "$scratch/installed" "$scratch/packaged" || fail "the package's files differ from the installed tree"
  dpkg-deb --contents "$deb" | awk '$2 != "root/root"' | grep . && fail "files in the package not owned by root"
  # apt install ./orvane_*.deb on a clean Debian: simulated against an empty list of installed
  # packages, so that every dependency must come from the archive. Needs apt's package lists.
  if [ -z "$(apt-cache policy libc6 | sed -n 's/^ *Candidate: *//p' | grep -v '(none)')" ]; then
    fail "apt has no package lists (run apt-get update) to check the dependencies against"
  else
    for package in $(dpkg-deb --field "$deb" Recommends Suggests | sed 's/^[A-Za-z]*: //' | tr ',|' '\n\n' | sed 's/(.*)//'); do
      apt-cache show "$package" >/dev/null 2>&1 || fail "apt knows no package $package (Recommends or Suggests)"
    done
    : >"$scratch/empty-status"
    echo "\$ apt-get install --simulate -o Dir::State::status=(empty) ./${deb##*/}"
    if (cd "$build" && apt-get install --simulate -o Dir::State::status="$scratch/empty-status" "./${deb##*/}") \
      >"$scratch/apt.log" 2>&1; then
      echo "  on a system with nothing installed, apt installs $(grep -c '^Inst ' "$scratch/apt.log") packages, among them:"
      grep -E '^Inst (orvane|fluid-soundfont-gm|libav(format|codec|util)[0-9]+|libswresample[0-9]+|libfluidsynth[0-9]+|libqt6widgets6|fonts-[a-z-]+) ' \
        "$scratch/apt.log" | sed 's/^/  /' || true
    else
      tail -n 30 "$scratch/apt.log"
      fail "apt would not install the package on a clean system"
    fi
  fi
fi

echo
if [ "$failures" -gt 0 ]; then
  echo "check_install: $failures check(s) failed" >&2
  exit 1
fi
echo "check_install: every check passed"
