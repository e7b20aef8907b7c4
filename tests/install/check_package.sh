#!/usr/bin/env bash
# check_package.sh BUILD_DIR: builds the Debian package with cpack and checks
# its declared dependencies, its size and its contents.
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
for file in /usr/bin/scanbench-virtual /belnor/scanbench/scanbench-virtual /belnor/vscanner/libusb-1.0.so.0; do
  grep -q "$file$" <<< "$contents" || fail "$file not in the package"
done
# Only the public libraries are offered to other packages.
[ "$(dpkg-deb -I "$deb" shlibs | cut -d' ' -f1 | sort | xargs)" = "libbelnor libbelnorlite libminutia libquisal" ] ||
  fail "the shlibs file offers more or less than the four libraries"

# Each library that the package's programs and libraries (the virtual
# scanner too) need comes with the package or from a package it depends on.
dpkg-deb -x "$deb" "$out/tree"
libdir=$(dirname "$(find "$out/tree" -name libbelnor.so.1)")
for needed in $(find "$out/tree" -type f -exec objdump -p {} + 2> /dev/null | awk '$1 == "NEEDED" {print $2}' | sort -u); do
  [ -e "$libdir/$needed" ] && continue
  owner=$(dpkg -S "*/x86_64-linux-gnu/$needed" 2> /dev/null | head -n 1 | cut -d: -f1) || true
  [[ ", $depends," =~ ", $owner"[\ ,] ]] || fail "the package does not depend on '$owner', which holds $needed"
done
# Installed-Size: the unpacked tree's bytes, each entry rounded up to a KiB.
size=$(dpkg-deb -f "$deb" Installed-Size)
bytes=$(find "$out/tree" -mindepth 1 ! -type d -printf '%s\n' | awk '{s += $1} END {print s}')
echo "Installed-Size: $size KiB; unpacked: $(du -sk "$out/tree" | cut -f1) KiB on disk, $bytes bytes in files and links"
[ "$size" -ge $(((bytes + 1023) / 1024)) ] && [ "$size" -le $((bytes / 1024 + $(find "$out/tree" | wc -l))) ] ||
  fail "Installed-Size $size KiB is not the unpacked tree's size"
echo "$(basename "$deb") checked"
