#!/usr/bin/env bash
# Fails when code outside src/settings reads or writes a settings key by section and name: each
# key has one reader and one writer there, with its default, so that it cannot get two rules.
set -euo pipefail
src=$1
if hits=$(grep -rnE '\.(Read|Write|ReadDirect|WriteAll|ReadPath|WritePath|ReadDirectPath)\(|writeOrReport\(' \
    --include='*.cpp' --include='*.h' "$src" | grep -v "^$src/settings/"); then
    echo "$hits"
    echo "Read and write settings through the typed functions of src/settings." >&2
    exit 1
fi
