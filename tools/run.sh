#!/usr/bin/env bash
# The main job: builds the project and launches scanbench beside its libraries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
app="$root/build/release/out/scanbench"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "scanbench is built ($app), but no display is available to show its window."
  echo "Run it from a desktop session, or try: xvfb-run -a $app"
  exit 0
fi
exec "$app" "$@"
