#!/bin/sh
# check_bundle.sh BUNDLE: lv2_validate passes on every .ttl of the bundle and
# lv2ls lists every plugin its manifest declares.
set -eu
bundle=$(realpath "$1")
[ -f "$bundle/manifest.ttl" ] || { echo "no manifest.ttl in $bundle: build the target tw_lv2_bundle first"; exit 1; }
out=$(lv2_validate "$bundle"/*.ttl 2>&1) || { echo "$out"; exit 1; }
echo "$out" | grep -q "^Found 0 errors" || { echo "$out" | cut -c1-300 | grep -v "^ *[A-Za-z0-9+/=]\{100,\}$"; exit 1; }
declared=$(grep -c "a lv2:Plugin" "$bundle/manifest.ttl")
listed=$(LV2_PATH=$(dirname "$bundle") lv2ls | grep -c "^https://tonewarp.org/lv2/" || true)
if [ "$declared" -ne "$listed" ]; then
  echo "the manifest declares $declared plugins, lv2ls lists $listed"
  exit 1
fi
echo "$declared plugins valid and listed"
