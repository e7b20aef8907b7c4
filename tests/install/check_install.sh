#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR CC [CFLAGS...]
# Installs the build into a temporary prefix, checks the tree, then builds a
# small C host program for each library through its pkg-config file and runs
# it against the installed library; then runs the capture library's host
# program and scanbench over the installed virtual scanner.
set -euo pipefail
build=$1
here=$2
cc=$3
shift 3
cflags=("$@")
prefix=$(cd "$(mktemp -d)" && pwd -P)
pids=""
trap 'kill $pids 2> /dev/null; wait; rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log"; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"

fail() { echo "FAIL: $*"; exit 1; }
libdir=$(cd "$prefix" && dirname "$(ls -d */pkgconfig */*/pkgconfig 2>/dev/null | head -n 1)")
[ -n "$libdir" ] && [ "$libdir" != . ] || fail "no pkgconfig folder under the prefix"
echo "libraries in $libdir"

# The tree: headers, libraries with their versioned names, scanbench's folder
# with what it loads, the launcher, the udev rule.
for h in livescan.h livescan_lite.h mosaic.h fplib.h; do
  [ -f "$prefix/include/belnor/$h" ] || fail "header $h not installed"
done
for lib in belnor belnorlite quisal minutia; do
  [ -f "$prefix/$libdir/pkgconfig/$lib.pc" ] || fail "$lib.pc not installed"
  [ -L "$prefix/$libdir/lib$lib.so" ] || fail "lib$lib.so (link for linking) not installed"
  soname=$(objdump -p "$prefix/$libdir/lib$lib.so" | awk '$1 == "SONAME" {print $2}')
  [ "$soname" = "lib$lib.so.1" ] || fail "lib$lib.so has SONAME '$soname'"
  [ -f "$prefix/$libdir/$soname" ] || fail "$soname not installed"
done
if [ -e "$build/out/scanbench" ]; then
  bench="$prefix/$libdir/belnor/scanbench"
  [ -x "$bench/scanbench" ] || fail "scanbench not in $bench"
  for lib in libbelnor.so libquisal.so libsalvune.so; do
    [ -f "$bench/$lib" ] || fail "$lib missing (or a broken link) beside scanbench"
  done
  [ "$(readlink -f "$prefix/bin/scanbench")" = "$(readlink -f "$bench/scanbench")" ] ||
    fail "bin/scanbench does not lead to $bench/scanbench"
  [ "$(readlink -f "$prefix/bin/scanbench-virtual")" = "$(readlink -f "$bench/scanbench-virtual")" ] ||
    fail "bin/scanbench-virtual does not lead to the launcher beside scanbench"
fi
# The virtual scanner, away from the loader's and ldconfig's folders.
vscanner="$prefix/$libdir/belnor/vscanner"
soname=$(objdump -p "$vscanner/libusb-1.0.so.0" 2>/dev/null | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libusb-1.0.so.0 ] || fail "no virtual scanner in $vscanner"
[ ! -e "$prefix/$libdir/libusb-1.0.so.0" ] || fail "a libusb-1.0.so.0 among the libraries"
rules="$prefix/lib/udev/rules.d/70-belnor-scanners.rules"
[ -f "$rules" ] || fail "udev rule not installed"
# Which ids: tests/install/test_model_ids.cpp.
rules_lines=$(grep -c '^SUBSYSTEM' "$rules" || true)
[ "$rules_lines" -gt 0 ] || fail "the udev rule names no scanner"
[ "$(grep -c 'GROUP="plugdev".*TAG+="uaccess"' "$rules")" = "$rules_lines" ] ||
  fail "a udev rule gives no plugdev group or uaccess"

# The host programs: only the installed header and library, through
# pkg-config, which sees no other package's modules.
unset PKG_CONFIG_PATH
export PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig"
for lib in belnor belnorlite quisal minutia; do
  [ "$(pkg-config --modversion "$lib")" = 1.0.0 ] || fail "pkg-config $lib: wrong version"
  flags=$(pkg-config --cflags --libs "$lib") || fail "pkg-config --cflags --libs $lib fails"
  [ "$(wc -w <<< "$flags")" = 3 ] || fail "pkg-config $lib adds more than its own folders: $flags"
  exe="$prefix/use_$lib"
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -Werror "${cflags[@]}" $(pkg-config --cflags "$lib") \
    -o "$exe" "$here/use_$lib.c" $(pkg-config --libs "$lib") ||
    fail "use_$lib.c does not build against the installed $lib"
  libpath=$(pkg-config --variable=libdir "$lib")
  resolved=$(LD_LIBRARY_PATH="$libpath" ldd "$exe" | awk -v l="lib$lib.so.1" '$1 == l {print $3}')
  [ "$(readlink -f "$resolved")" = "$(readlink -f "$libpath/lib$lib.so.1")" ] ||
    fail "use_$lib loads '$resolved', not the installed library"
  LD_LIBRARY_PATH="$libpath" "$exe" || fail "use_$lib exits with $?"
done

# A host program over the virtual scanner, as the README sets it up.
LD_LIBRARY_PATH="$prefix/$libdir:$vscanner" "$prefix/use_belnor" open ||
  fail "use_belnor over the virtual scanner exits with $?"

# scanbench through its launcher under an X server of its own: Open binds the
# split library only once the capture library has opened the scanner.
await() { for _ in $(seq $(($1 * 10))); do "${@:2}" && return 0; sleep 0.1; done; return 1; }
shown() { window=$(xdotool search --onlyvisible --class scanbench | head -n 1) && [ -n "$window" ]; }
opened() { grep -qF "$bench/libsalvune.so" "$1" && grep -qF "$vscanner/libusb-1.0.so.0" "$1"; }
if [ -e "$build/out/scanbench" ] && command -v Xvfb > /dev/null && command -v xdotool > /dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$prefix/display" > /dev/null 2>&1 &
  pids=$!
  await 60 grep -q '^[0-9]*$' "$prefix/display" || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$prefix/display")"
  (cd "$prefix" && XDG_RUNTIME_DIR="$prefix" exec "$prefix/bin/scanbench-virtual") &
  pids="$! $pids"
  await 60 shown || fail "no scanbench window"
  # The Open button, where tests/xvfb clicks it.
  xdotool mousemove --window "$window" --sync 82 254 click 1
  await 90 opened "/proc/${pids%% *}/maps" || fail "scanbench-virtual did not open the virtual scanner"
  echo "scanbench-virtual opened the virtual scanner"
elif [ -e "$build/out/scanbench" ]; then
  echo "Xvfb or xdotool missing (tools/deps.sh installs them): scanbench-virtual not run"
fi
echo "installation checked in $prefix"
