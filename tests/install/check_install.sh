#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR CC [CFLAGS...]
# Installs the build into a temporary prefix, checks the tree, then builds a
# small C host program for each library through its pkg-config file and runs
# it against the installed library.
set -euo pipefail
build=$1
here=$2
cc=$3
shift 3
cflags=("$@")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
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
fi
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
echo "installation checked in $prefix"
