#!/usr/bin/env bash
# Checks that every folder of src/ includes only the folders it may use
# (the table in ARCHITECTURE.md), and that only src/platform includes the
# system's own headers. Prints each wrong include; fails if any.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [platform]=""
  [base]=""
  [store]="base platform"
  [codec]="base store"
  [reader]="base store codec"
  [writer]="base store codec platform"
  [junction]="base store"
  [report]="base store codec junction writer platform"
  [driver]="base store codec reader writer junction report platform"
)

status=0
for folder in src/*/; do
  folder=$(basename "$folder")
  if [[ -z ${allowed[$folder]+set} ]]; then
    echo "src/$folder: not in the table of allowed includes"
    status=1
    continue
  fi
  while IFS=: read -r file line include; do
    used=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$include")
    if [[ $used != "$folder" && " ${allowed[$folder]} " != *" $used "* ]]; then
      echo "$file:$line: $folder may not include $used"
      status=1
    fi
  done < <(grep -Hn '#include "[^"]*/' "src/$folder"/* || true)
done
# What differs between systems stays in src/platform: no system header
# elsewhere.
while IFS= read -r line; do
  echo "$line: system header outside src/platform"
  status=1
done < <(grep -HnE '#include <(unistd|fcntl|signal|iconv|malloc|windows|io|dirent)\.h>|#include <sys/' \
  $(find src -name '*.cpp' -o -name '*.h' | grep -v '^src/platform/') || true)
exit $status
