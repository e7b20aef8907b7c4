#!/usr/bin/env bash
# check_package.sh BUILD_DIR: builds the Debian package with cpack and checks
# its declared dependencies and its contents.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" > "$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; fail "cpack -G DEB failed"; }
deb=$(ls "$out"/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# What the libraries and scanbench link, and the font for the Chinese texts.
for dep in libusb-1.0-0 libuvc0 libjpeg62-turbo libqt5widgets5 libstdc++6 fonts-wqy-microhei; do
  case ", $depends" in
    *", $dep"[\ ,]* | *", $dep") ;;
    *) fail "the package does not depend on $dep" ;;
  esac
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in usr/bin/scanbench usr/include/belnor/livescan.h usr/include/belnor/livescan_lite.h \
  usr/include/belnor/mosaic.h usr/include/belnor/fplib.h usr/lib/udev/rules.d/70-belnor-scanners.rules; do
  grep -qx "\./$file" <<< "$contents" || fail "$file not in the package"
done
for lib in belnor belnorlite quisal minutia; do
  grep -q "/lib$lib\.so\.1$" <<< "$contents" || fail "lib$lib.so.1 not in the package"
  grep -q "/pkgconfig/$lib\.pc$" <<< "$contents" || fail "$lib.pc not in the package"
done
grep -q "/belnor/scanbench/scanbench$" <<< "$contents" || fail "scanbench's folder not in the package"
echo "$(basename "$deb") checked"
