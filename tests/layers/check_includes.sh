#!/usr/bin/env bash
# Every quoted include of a module's sources names only a module its layer may
# use (docs/architecture.md). Prints each forbidden include and fails on any.
# Usage: check_includes.sh SOURCE_DIR
set -euo pipefail
root=${1:?source folder}
cd "$root"

# The allowed include prefixes of each folder; the first rule whose folder
# starts the file's path applies. Tests, benchmarks and fuzz targets may reach
# anything and are not listed.
rules=(
  "engine/dsp/|engine/"
  "presets/tools/|presets/ host/ platform/ engine/ tools/io/fx_container.h"
  "host/|host/"
  "platform/|platform/"
  "toolkit/|toolkit/ host/ platform/"
  "presets/|presets/ host/ platform/ engine/ParameterIds.h"
  "engine/|engine/ presets/ host/ platform/"
  "editor/|editor/ engine/ presets/ toolkit/ host/ platform/"
  "lv2/|lv2/ editor/ engine/ presets/ toolkit/ host/ platform/"
  "tools/base/|tools/base/"
  "tools/io/|tools/io/ tools/base/ host/vst_abi.h platform/AtomicFile.h"
  "tools/vst/|tools/vst/ tools/io/ tools/base/ host/vst_abi.h"
  "tools/lv2/|tools/lv2/ tools/base/"
  "tools/validate/|tools/validate/ tools/vst/ tools/lv2/ tools/io/ tools/base/ host/vst_abi.h"
  "tools/commands/|tools/commands/ tools/vst/ tools/lv2/ tools/io/ tools/base/ host/vst_abi.h"
  "tools/|tools/ host/vst_abi.h"
)
# Folders whose headers an include can name.
modules="host platform toolkit engine presets editor lv2 tools tests bench fuzz"

status=0
# One grep over every source: lines of file:number:text.
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  number=${rest%%:*}
  [[ ${rest#*:} =~ \"([^\"]+)\" ]] || continue
  target=${BASH_REMATCH[1]}
  top=${target%%/*}
  # Includes that name no file of a module folder are the file's own
  # neighbours or system headers (the LV2 headers share a folder name).
  [[ " $modules " == *" $top "* && $target == */* && -f $target ]] || continue
  allowed=""
  for rule in "${rules[@]}"; do
    if [[ $file == "${rule%%|*}"* ]]; then
      allowed=${rule#*|}
      break
    fi
  done
  [ -n "$allowed" ] || continue
  ok=0
  for prefix in $allowed; do
    if [[ $target == "$prefix"* ]]; then
      ok=1
      break
    fi
  done
  if [ $ok -eq 0 ]; then
    echo "$file:$number: includes \"$target\", which its layer may not use"
    status=1
  fi
done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
           --include='*.h' --include='*.cpp' --include='*.c' \
           host platform toolkit engine presets editor lv2 tools | LC_ALL=C sort -t: -k1,1 -k2,2n)
exit $status
