#!/usr/bin/env bash
# The source folders stand in one order, low to high, and a folder includes
# only from itself and from folders below it: no loop between folders, and
# the plain logic below src/ui never reaches the windows above it.
#
# usage: includes_test.sh SRC_DIR
set -uo pipefail
src=$1
# The order: protocol; httpcmd, upnp, onvif, netsetup (side by side, apart);
# lists; search; watch; ui; cli; app.
declare -A rank=([protocol]=0 [httpcmd]=1 [upnp]=1 [onvif]=1 [netsetup]=1 [lists]=2 [search]=3 [watch]=4 [ui]=5
                 [cli]=6 [app]=7)
failures=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if [ -z "${rank[$folder]+x}" ]; then
    echo "FAIL: src/$folder has no place in the order of folders"
    failures=$((failures + 1))
    continue
  fi
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=${hit#*#include \"}
    target=${target%%/*}
    [ "$target" = "$folder" ] && continue
    if [ -z "${rank[$target]+x}" ] || [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
      echo "FAIL: ${file#"$src"/} includes $target/, which is not below $folder/"
      failures=$((failures + 1))
    fi
  done < <(grep -HoE '#include "[a-z_]+/' "$dir"*.h "$dir"*.cpp 2>/dev/null)
done
[ "$failures" -eq 0 ] && echo "no folder includes one above it"
exit $((failures > 0))
