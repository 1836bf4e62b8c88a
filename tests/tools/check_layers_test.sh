#!/usr/bin/env bash
# tools/check-layers on a scratch tree: an include without a folder passes when it names a header
# of the file's own folder (or, in the client, of a part below), and fails naming the file when
# only an extra include directory could find it.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/tools/virelo" "$tree/client/controls" "$tree/client/src"
touch "$tree/tools/virelo/own.h" "$tree/client/controls/module.h" "$tree/client/src/utf8.h"
printf '#include "own.h"\n' >"$tree/tools/virelo/good.cpp"
printf '#include "module.h"\n#include "utf8.h"\n' >"$tree/client/controls/good.cpp"
"$check" "$tree"

printf '#include "module.h"\n' >"$tree/tools/virelo/bad.cpp"
if errors=$("$check" "$tree" 2>&1); then
  echo "an include of another folder's header without its folder passed" >&2
  exit 1
fi
grep -q '^tools/virelo/bad.cpp:1: "module.h" is not in the folder' <<<"$errors" || {
  echo "unexpected report: $errors" >&2
  exit 1
}
