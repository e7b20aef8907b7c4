#!/usr/bin/env bash
# tools/scanner_ids.sh [--enabled]: the USB ids (vid:pid, lower case) of the
# capture library's model table, one a line in table order; --enabled: only
# the rows the library opens.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
want='[01]'
[ "${1:-}" = --enabled ] && want=1
tr '\n' ' ' < "$root/capture/device/device_models.cpp" |
  grep -io "\"vid_[0-9a-fA-F]\{4\}&pid_[0-9a-fA-F]\{4\}\", *$want\b" |
  sed 's/"vid_\(....\)&pid_\(....\)".*/\1:\2/I' | tr 'A-F' 'a-f'
