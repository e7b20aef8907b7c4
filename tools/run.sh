#!/usr/bin/env bash
# The main job: builds the project and launches scanbench beside its libraries.
#
# tools/run.sh [--scanner|--virtual] [scanbench arguments...]
# With no supported scanner on the USB bus, scanbench runs over the virtual
# scanner (sim/vscanner). --scanner or --virtual, or BELNOR_SCANNER=real or
# BELNOR_SCANNER=virtual, forces either choice.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
choice=${BELNOR_SCANNER:-auto}
case "${1:-}" in
  --scanner) choice=real; shift ;;
  --virtual) choice=virtual; shift ;;
esac
case "$choice" in
  auto | real | virtual) ;;
  *) echo "BELNOR_SCANNER must be real, virtual or auto, not '$choice'" >&2; exit 2 ;;
esac

"$root/tools/deps.sh"
"$root/tools/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
app="$root/build/release/out/scanbench"
vscanner="$root/build/release/vscanner"

# The vid:pid of every USB device attached (sysfs; empty where there is none).
attached_ids() {
  local dev
  for dev in /sys/bus/usb/devices/*; do
    [ -r "$dev/idVendor" ] && [ -r "$dev/idProduct" ] || continue
    echo "$(cat "$dev/idVendor"):$(cat "$dev/idProduct")"
  done | tr 'A-F' 'a-f'
}

if [ "$choice" = auto ]; then
  # The scanners the capture library opens: the enabled rows of its model table.
  found=$(grep -Fxf <("$root/tools/scanner_ids.sh" --enabled) <(attached_ids) | head -n 1 || true)
  if [ -n "$found" ]; then
    choice=real
    echo "scanbench: scanner $found attached; using it."
  else
    choice=virtual
    echo "scanbench: no supported scanner attached; using the virtual scanner ($vscanner)."
    echo "           Plug a scanner in, or run with --scanner, to use a real one."
  fi
elif [ "$choice" = virtual ]; then
  echo "scanbench: using the virtual scanner ($vscanner)."
else
  echo "scanbench: using the real USB bus."
fi
if [ "$choice" = virtual ]; then
  export LD_LIBRARY_PATH="$vscanner${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "scanbench is built ($app), but no display is available to show its window."
  if [ "$choice" = virtual ]; then
    echo "Run it from a desktop session, or try: LD_LIBRARY_PATH=$vscanner xvfb-run -a $app"
  else
    echo "Run it from a desktop session, or try: xvfb-run -a $app"
  fi
  exit 0
fi
exec "$app" "$@"
