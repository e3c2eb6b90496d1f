#!/usr/bin/env bash
# Fails when an object file other than the numeric text module (the first argument) calls a
# conversion between numbers and text that follows the process locale: a German desktop reads
# "25.01235" as 25 and writes 34,2 into XML.
set -euo pipefail
allowed=$1
shift
forbidden='U (strto(d|f|ld)|atof|strfrom[dfl]|(__isoc99_|__isoc23_)?v?[sf]?scanf|v?sn?printf|__v?sn?printf_chk'
forbidden+='|pugi::xml_attribute::(as_double|as_float|set_value\((double|float)|operator=\((double|float))'
forbidden+='|pugi::xml_text::(as_double|as_float|set\((double|float)|operator=\((double|float)))'
status=0
for file in "$@"; do
    [ "$file" = "$allowed" ] && continue
    if hits=$(nm -A -C --undefined-only "$file" 2>/dev/null | grep -E "$forbidden"); then
        echo "$hits"
        status=1
    fi
done
if [ $status -ne 0 ]; then
    echo "Convert numbers with common/NumberText (or QLocale explicitly), not the C library." >&2
fi
exit $status
