#!/usr/bin/env bash
# Runs scripts/install-deps.sh when any package of scripts/packages.txt is missing, so that a
# fresh Debian machine needs nothing but the README's commands.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=
while read -r package; do
  case $package in ''|'#'*) continue ;; esac
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
  [ "${status:0:2}" = ii ] || missing="$missing $package"
done < scripts/packages.txt
[ -z "$missing" ] && exit 0
echo "Missing:$missing; installing what the build needs (scripts/install-deps.sh)..."
if [ "$(id -u)" = 0 ]; then exec scripts/install-deps.sh; else exec sudo scripts/install-deps.sh; fi
