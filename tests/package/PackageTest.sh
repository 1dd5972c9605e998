#!/usr/bin/env bash
# The Debian package as a user receives it. scripts/package builds it; its files, its control fields
# and its executable are checked, and lintian, desktop-file-validate and appstreamcli validate find no
# error in it. It is then unpacked into a throwaway root, and the command of its menu entry, run from
# there in an X server of the test's own, shows the main window.
#
# usage: PackageTest.sh SOURCE-DIR WORK-DIR
set -euo pipefail
src=$1
work=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo; echo "== $*"; }

mkdir -p "$work"
work=$(cd "$work" && pwd)
rm -rf "$work/root" "$work/home"

step "building the package"
"$src/scripts/package" --build-dir "$work/build" | tee "$work/package.log"
deb=$(sed -n 's/^package: //p' "$work/package.log" | tail -1)
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
  echo "FAIL: scripts/package named no package" >&2
  exit 1
fi

step "contents of $(basename "$deb")"
dpkg-deb -c "$deb"
# Exactly these files: nothing of the build tree, the tests or a folder under /usr/bin comes along.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected=$( (
  printf '%s\n' ./usr/bin/brindlecast \
    ./usr/share/applications/brindlecast.desktop \
    ./usr/share/brindlecast/doc/index.html \
    ./usr/share/doc/brindlecast/changelog.gz \
    ./usr/share/doc/brindlecast/copyright \
    ./usr/share/icons/hicolor/scalable/apps/brindlecast.svg \
    ./usr/share/man/man1/brindlecast.1.gz \
    ./usr/share/metainfo/brindlecast.metainfo.xml
  for size in 16 22 24 32 48 64 128 256; do
    echo "./usr/share/icons/hicolor/${size}x${size}/apps/brindlecast.png"
  done) | sort)
if [ "$files" != "$expected" ]; then
  fail "the package's files differ from those expected:"
  diff <(echo "$expected") <(echo "$files") | sed -n 's/^[<>]/    &/p' >&2 || true
fi
if dpkg-deb -c "$deb" | awk '{ print $2 }' | grep -qv '^root/root$'; then
  fail "a file in the package is not owned by root"
fi

step "control fields"
dpkg-deb -f "$deb"
[ "$(dpkg-deb -f "$deb" Package)" = brindlecast ] || fail "the package is not named brindlecast"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "wrong architecture"
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }')
# dpkg-shlibdeps names the libraries the executable links; the translations are loaded by name.
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libmariadb3 qt6-translations-l10n; do
  grep -qxF "$package" <<< "$depends" || fail "Depends does not name $package"
done

root="$work/root"
step "unpacking into $root"
mkdir -p "$root"
dpkg-deb -x "$deb" "$root"
program="$root/usr/bin/brindlecast"

step "the executable"
file "$program"
file "$program" | grep -q 'ELF.*, stripped' || fail "the executable is not stripped"
if readelf -d "$program" | grep -Eq 'RPATH|RUNPATH'; then
  fail "the executable searches libraries on a path of its own"
fi
# The About box reads the version back from the executable: stripping must keep it.
readelf -n "$program" | grep -q Brindlecast || fail "the stripped executable lost its version note"
# With the test-fault switch left out of the build, not even its name is in the program.
if grep -q '^BRINDLECAST_TEST_FAULTS:BOOL=OFF$' "$work/build/CMakeCache.txt" \
   && grep -aq -- '--test-fault=' "$program"; then
  fail "the packaged program still takes --test-fault="
fi

step "lintian"
lintian_out=$(lintian --display-info --tag-display-limit 0 "$deb" 2>&1) || true
echo "${lintian_out:-(no tags)}"
grep -q '^E: ' <<< "$lintian_out" && fail "lintian reports errors"

step "desktop-file-validate"
desktop_out=$(desktop-file-validate "$root/usr/share/applications/brindlecast.desktop" 2>&1) \
  || fail "desktop-file-validate rejects the desktop entry"
echo "${desktop_out:-(no messages)}"
grep -qi 'error' <<< "$desktop_out" && fail "desktop-file-validate reports errors"

step "appstreamcli validate"
appstream_out=$(appstreamcli validate --no-net "$root/usr/share/metainfo/brindlecast.metainfo.xml" 2>&1) || true
echo "$appstream_out"
grep -q '^E: ' <<< "$appstream_out" && fail "appstreamcli reports errors"
grep -q '<release version=' "$root/usr/share/metainfo/brindlecast.metainfo.xml" \
  || fail "the metadata carries no release"

step "the manual page"
man_out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/brindlecast.1.gz" 2>&1 > "$work/man.txt") \
  || fail "man cannot show the manual page"
[ -z "$man_out" ] || { echo "$man_out"; fail "man warns about the manual page"; }
head -5 "$work/man.txt"

step "starting the menu entry's command from the unpacked root"
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/brindlecast.desktop")
command=${exec_line%% *}
resolved=$(PATH="$root/usr/bin:$PATH" command -v "$command" || true)
[ "$resolved" = "$program" ] || fail "the menu entry's command '$command' is not the packaged program"
# The program keeps files under the user's folders: give it a home of its own.
mkdir -p "$work/home/runtime"
chmod 700 "$work/home/runtime"
window=$(env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$work/home" XDG_RUNTIME_DIR="$work/home/runtime" \
  LANG=C.UTF-8 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' bash -c '
    "$1" > "$2" 2>&1 &
    pid=$!
    # Offscreen of any real display, the window shows up in this X server once the program runs.
    timeout 60 xdotool search --sync --onlyvisible --name "^Brindlecast 2\.0$" | head -1
    kill "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null || true' run-installed "$command" "$work/program.log") || true
if [ -n "$window" ]; then
  echo "the main window appeared (X window $window)"
else
  fail "the installed program showed no main window within 60 s"
  cat "$work/program.log" >&2
fi

if [ "$failures" -ne 0 ]; then
  echo; echo "$failures check(s) failed" >&2
  exit 1
fi
echo; echo "the package passed"
