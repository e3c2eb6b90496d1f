#!/usr/bin/env bash
# Fails when a source folder holds files of two libraries, or of none: a newcomer reading the
# tree must see which layer a file belongs to, and so what it may include.
set -euo pipefail
src=$1
map=$2
status=0
dupes=$(cut -d= -f1 "$map" | sort | uniq -d)
if [ -n "$dupes" ]; then
    echo "folders listed by two libraries: $dupes"
    status=1
fi
while IFS= read -r dir; do
    folder=${dir#"$src"/}
    if ! grep -q "^$folder=" "$map"; then
        echo "no library lists the folder $folder"
        status=1
    fi
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.qrc' \) -printf '%h\n' | sort -u)
exit $status
