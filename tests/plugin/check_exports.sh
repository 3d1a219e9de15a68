#!/usr/bin/env bash
# korva.so exports its entry point under both names and nothing else, and
# needs no symbol beyond the system libraries it links.
set -euo pipefail
so=$1
# __bss_start, _edata and _end are markers every linker adds, not our symbols.
# Byte order sorting: under most locales "main" would sort before "VSTPluginMain".
exports=$(nm -D --defined-only "$so" | awk '{print $3}' |
  grep -v -x -E '__bss_start|_edata|_end' | LC_ALL=C sort | tr '\n' ' ')
if [ "$exports" != "VSTPluginMain main " ]; then
  echo "unexpected exports: $exports"
  exit 1
fi
main_addr=$(nm -D --defined-only "$so" | awk '$3=="main"{print $1}')
entry_addr=$(nm -D --defined-only "$so" | awk '$3=="VSTPluginMain"{print $1}')
if [ "$main_addr" != "$entry_addr" ]; then
  echo "main and VSTPluginMain are different functions"
  exit 1
fi
# Every undefined symbol must resolve in a loaded library.
if ldd -r "$so" 2>&1 | grep -q "undefined symbol"; then
  ldd -r "$so" 2>&1 | grep "undefined symbol" | head
  exit 1
fi
echo "exports ok: $exports"
