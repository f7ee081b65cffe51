#!/usr/bin/env bash
# Checks what ships as Windows will load it: every program and library in the deliverables
# folder imports only functions that Windows XP has (xp-floor.txt), and every program's
# manifest names the build's own processor (or any).
#   check-deliverables.sh OBJDUMP DIST-DIR FLOOR-FILE MANIFEST-ARCH
set -u
objdump=$1 dist=$2 floor=$3 arch=$4
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The floor: "dll!Function" lines allowed, "never dll!Function" lines refused.
allowed=$(awk '!/^#/ && NF == 1 { print }' "$floor" | sort -u)
never=$(awk '$1 == "never" && NF == 2 { print $2 }' "$floor" | sort -u)
for entry in $(comm -12 <(echo "$allowed") <(echo "$never")); do
  fail "$floor allows $entry, which Windows XP does not have"
done

shopt -s nullglob nocaseglob
files=("$dist"/*.exe "$dist"/*.dll)
[ ${#files[@]} -gt 0 ] || { echo "FAILED: nothing ships in $dist"; exit 1; }
shipped=$(for f in "${files[@]}"; do basename "$f"; done | tr 'A-Z' 'a-z')

for file in "${files[@]}"; do
  name=$(basename "$file")
  dump=$("$objdump" -p "$file" 2>&1) || { fail "$name: $objdump cannot read it: $dump"; continue; }
  # Import lines read "<address> <hint or ordinal> <name>"; an import by ordinal has no name.
  imports=$(awk '/DLL Name:/ { dll = tolower($3); next }
                 /^The Export Tables|^Export Address/ { dll = "" }
                 dll != "" && /^\t[0-9a-f]+\t/ { print dll "!" ($3 == "" || $3 == "<none>" ? "#" $2 : $3) }' \
              <<<"$dump" | sort -u)
  [ -n "$imports" ] || fail "$name: no imports read (an unexpected objdump format?)"
  # Set operations over the sorted lists: a grep for each import took minutes on a busy host.
  own=$(awk -F'!' 'NR == FNR { shipped[$0] = 1; next } !($1 in shipped)' <(echo "$shipped") <(echo "$imports") | sort -u)
  count=$(grep -c . <<<"$imports")
  for entry in $(comm -12 <(echo "$own") <(echo "$never")); do
    fail "$name imports $entry, which came after Windows XP: reach it through the seam with a fallback"
  done
  for entry in $(comm -23 <(echo "$own") <(echo "$never") | comm -23 - <(echo "$allowed")); do
    fail "$name imports $entry, which is not on the XP floor: if Windows XP has it, add \"$entry\" to $floor"
  done
  echo "$name: $count imports checked"
  case "$name" in
    *.[eE][xX][eE])
      archs=$(grep -a -o 'processorArchitecture="[^"]*"' "$file" | sort -u)
      [ -n "$archs" ] || fail "$name has no manifest naming its processor"
      for a in $archs; do
        [ "$a" = "processorArchitecture=\"$arch\"" ] || [ "$a" = 'processorArchitecture="*"' ] \
          || fail "$name: manifest says $a in a build for $arch"
      done ;;
  esac
done

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "every shipped file loads on Windows XP; manifests name $arch"
