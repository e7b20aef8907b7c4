#!/usr/bin/env bash
# The main job: builds the project and launches scanbench beside its libraries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
app="$root/build/release/out/scanbench"
if [ ! -x "$app" ]; then
  echo "scanbench is not built yet; the libraries are in $root/build/release/out"
  ls "$root/build/release/out"
  exit 0
fi
exec "$app"
