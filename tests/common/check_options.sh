#!/usr/bin/env bash
# The options `doziduvov --help` lists are the ones the manual page describes, and each of them
# is named in the README: one list, three places, no drift.
# usage: check_options.sh DOZIDUVOV MANPAGE README
set -euo pipefail
program=$1 manpage=$2 readme=$3

options_of() { grep -oE '(^|[^a-z-])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }

help=$(QT_QPA_PLATFORM=offscreen "$program" --help | options_of)
man=$(sed 's/\\-/-/g; s/\\f[BIR]//g' "$manpage" | options_of)
status=0
if [ "$help" != "$man" ]; then
    echo "--help and the manual page list different options:"
    diff <(echo "$help") <(echo "$man") | sed -n 's/^</  only in --help: /p; s/^>/  only in the manual page: /p'
    status=1
fi
for option in $help; do
    if ! grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$readme"; then
        echo "README names no $option"
        status=1
    fi
done
exit $status
