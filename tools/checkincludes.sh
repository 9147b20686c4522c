#!/usr/bin/env bash
# Includes run downward only: app, then the scenes and objects (lws, lwo, sfx, which may
# include one another), the pipeline, the display, the card and window (platform), and
# math at the bottom. Prints every include that runs upward and exits 1 when there is one.
#
# The one allowance: the pipeline and the display take the records of the scenes and
# objects (Scene, SceneObject, SfxObject, TextureNameTable) that they transform and draw.
# Those records are the types every part of the system passes around, and each stays in
# the header of the folder that owns it, as that folder's contract.
#
#   tools/checkincludes.sh [source folder]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

layer() {
  case "$1" in
    app) echo 5 ;;
    lws | lwo | sfx) echo 4 ;;
    pipeline) echo 3 ;;
    display) echo 2 ;;
    platform) echo 1 ;;
    math) echo 0 ;;
  esac
}

allowed() { # allowed FROMFOLDER INCLUDE
  case "$1:$2" in
    pipeline:lws/lws.h | pipeline:sfx/sfx.h | display:lwo/lwo.h) return 0 ;;
  esac
  return 1
}

bad=0
files=$(find app lws lwo sfx pipeline display platform math -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
pattern='^([^:]+):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)"'
while IFS= read -r hit; do
  [[ $hit =~ $pattern ]] || continue
  file=${BASH_REMATCH[1]} line=${BASH_REMATCH[2]} inc=${BASH_REMATCH[3]}
  from=${file%%/*} to=${inc%%/*}
  [ "$to" = "$inc" ] && continue  # beside the including file
  [ "$to" = "$from" ] && continue
  fromlayer=$(layer "$from") tolayer=$(layer "$to")
  [ -n "$tolayer" ] || continue
  [ "$tolayer" -lt "$fromlayer" ] && continue
  [ "$tolayer" -eq 4 ] && [ "$fromlayer" -eq 4 ] && continue
  allowed "$from" "$inc" && continue
  echo "$file:$line: includes $inc, which lies above $from/"
  bad=1
done < <(grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' $files || true)
exit $bad
