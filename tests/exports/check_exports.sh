#!/bin/sh
# Compares the defined dynamic symbols of a shared library with a sorted list.
set -eu
lib=$1
expected=$2
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^_init$\|^_fini$' | LC_ALL=C sort)
want=$(grep -v '^#' "$expected" | grep . | LC_ALL=C sort)
if [ "$actual" != "$want" ]; then
  echo "export list of $lib differs from $expected:"
  printf '%s\n' "$want" > /tmp/exports.want.$$
  printf '%s\n' "$actual" > /tmp/exports.have.$$
  diff /tmp/exports.want.$$ /tmp/exports.have.$$ || true
  rm -f /tmp/exports.want.$$ /tmp/exports.have.$$
  exit 1
fi
echo "$(printf '%s\n' "$actual" | wc -l) exports as listed"
