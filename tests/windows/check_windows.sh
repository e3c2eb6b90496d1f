#!/usr/bin/env bash
# The Windows build as a user meets it, under Wine: the simulator and the converter side by side
# (the host link over the named pipe), settings in the registry, the result file compared with the
# Linux build's for the same part program, and the installer's silent install and uninstall.
# usage: check_windows.sh BUILD_DIR   (DOZIDUVOV_STAGE: the installed folder; build/bin: Linux)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(readlink -f "$1")
stage=$(readlink -f "${DOZIDUVOV_STAGE:-$build/stage/Doziduvov}")
linux_bin=${DOZIDUVOV_LINUX_BIN:-$here/build/bin}
tmp=$(mktemp -d)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
# Unattended runs without a screen, as the Linux tests run them. Wine keeps the QT_ variables
# of the Unix environment from its programs: the user's environment in the registry carries it.
wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "check_windows: $*" >&2; exit 1; }
win() { printf 'Z:%s' "${1//\//\\}"; }
key='HKLM\Software\NORTAVE\Korvex_Zirirezu_DOZIDUVOV\Settings'

# The settings every run of the comparison uses, in the machine's part of the registry, where an
# administrator puts them and a station that never chose its own reads them.
settings() {
    local out=$1
    wine reg add "$key\\ASCIISettings" /v ASCII /d ';' /f >/dev/null
    wine reg add "$key\\ASCIISettings" /v CSV /d -1 /f >/dev/null
    wine reg add "$key\\FileSettings" /v DIR /d "$(win "$out")\\" /f >/dev/null
    for k in FileName1 FileName2 FileName3 FileName4 FileName5; do
        wine reg add "$key\\FileSettings" /v $k /t REG_DWORD /d 0 /f >/dev/null
    done
    wine reg add "$key\\FileSettings" /v SEPERATOR /d 5 /f >/dev/null
    wine reg add "$key\\FileSettings" /v FileCounter /d 1 /f >/dev/null
}

# 1. A run against the simulator over the pipe, with its settings from the registry.
mkdir -p "$tmp/out-win" "$tmp/out-linux"
settings "$tmp/out-win"
wine "$stage/korvex-sim.exe" "$(win "$here/examples/Welle.PRG")" >"$tmp/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q serving "$tmp/sim.log" 2>/dev/null && break; sleep 0.2; done
grep -q serving "$tmp/sim.log" || fail "korvex-sim.exe did not start: $(cat "$tmp/sim.log")"
status=0
timeout 120 wine "$stage/doziduvov.exe" /a >"$tmp/run.out" 2>"$tmp/run.err" || status=$?
[ "$status" -eq 0 ] || fail "doziduvov.exe /a ended with $status: $(cat "$tmp/run.err")"
win_file=$(ls "$tmp/out-win"/*.csv)
echo "Windows build wrote $(basename "$win_file")"
# The registry holds what the run read, as reg shows it.
wine reg query "$key\\FileSettings" /v DIR | grep -q "out-win" || fail "reg query does not show the folder"

# 2. The Linux build on the same program with the same settings gives the same file, but for the
# date, the time and the paths.
if [ -x "$linux_bin/doziduvov" ]; then
    conf=$tmp/linux-system/NORTAVE
    mkdir -p "$conf" "$tmp/linux-config"
    cat >"$conf/Korvex_Zirirezu_DOZIDUVOV.conf" <<CONF
[Settings]
ASCIISettings\\ASCII=";"
ASCIISettings\\CSV=-1
FileSettings\\DIR=$tmp/out-linux/
FileSettings\\FileName1=0
FileSettings\\FileName2=0
FileSettings\\FileName3=0
FileSettings\\FileName4=0
FileSettings\\FileName5=0
FileSettings\\SEPERATOR=5
FileSettings\\FileCounter=1
CONF
    (
        export XDG_CONFIG_HOME=$tmp/linux-config XDG_CONFIG_DIRS=$tmp/linux-system TMPDIR=$tmp XDG_DATA_HOME=$tmp/data
        unset XDG_RUNTIME_DIR DISPLAY WAYLAND_DISPLAY
        "$linux_bin/korvex-sim" "$here/examples/Welle.PRG" >"$tmp/linux-sim.log" 2>&1 &
        linux_sim=$!
        sleep 1
        timeout 120 "$linux_bin/doziduvov" /a >/dev/null 2>"$tmp/linux.err" || true
        kill $linux_sim
    )
    linux_file=$(ls "$tmp/out-linux"/*.csv 2>/dev/null) || fail "the Linux build wrote nothing: $(cat "$tmp/linux.err")"
    normalise() { sed -E 's#[0-9]{2}\.[0-9]{2}\.[0-9]{4}#DATE#g; s#[0-9]{2}:[0-9]{2}:[0-9]{2}#TIME#g; s#[A-Z]:\\[^;]*|/[^;]*#PATH#g' "$1"; }
    if ! diff <(normalise "$linux_file") <(normalise "$win_file") >"$tmp/diff"; then
        cat "$tmp/diff" >&2
        fail "the Windows build's result file differs from the Linux build's"
    fi
    echo "the result file equals the Linux build's ($(wc -l <"$win_file") lines)"
fi

# 3. A form filled by the Windows build, read back by openpyxl. The start options as the batch
# files write them: on Windows each begins with "/", and blanks belong to the names.
program_dir=$tmp/program
mkdir -p "$program_dir" "$tmp/forms"
cp -r "$stage/LanguageFiles" "$program_dir/"
printf 'Auftrag\r\nPr\xfcfer\r\n' >"$program_dir/HeaderData.cfg"
cp "$here/examples/forms/Pruefbericht.xlsx" "$tmp/forms/Teil 1.xlsx"
printf '@echo off\r\nset "DOZIDUVOV_PROGRAM_DIR=%s"\r\n"%s" /a /%s /%s /ALL\r\nexit /b %%ERRORLEVEL%%\r\n' \
    "$(win "$program_dir")" "$(win "$stage/doziduvov.exe")" "$(win "$tmp/forms/Teil 1.xlsx")" \
    "$(win "$here/examples/forms/Pruefbericht.cfg")" >"$tmp/form.bat"
status=0
timeout 120 wine cmd /c "$(win "$tmp/form.bat")" >"$tmp/form.out" 2>"$tmp/form.err" || status=$?
[ "$status" -eq 0 ] || fail "filling the form ended with $status: $(cat "$tmp/form.err" "$tmp/form.out")"
/usr/bin/python3 - "$tmp/forms/Teil 1.xlsx" <<'PY' || fail "the filled form does not read back"
import sys, openpyxl
page = openpyxl.load_workbook(sys.argv[1])["Seite1"]
assert page["B10"].value == "LOC1.X", page["B10"].value
assert abs(page["H10"].value - 0.01235) < 1e-12, page["H10"].value
PY
echo "the form was filled and reads back in openpyxl"

# Start options in the shell's manner are one long first option there: the run says so and ends.
status=0
timeout 60 wine "$stage/doziduvov.exe" /a "$(win "$tmp/forms/Teil 1.xlsx")" >/dev/null 2>"$tmp/wrong.err" || status=$?
[ "$status" -eq 2 ] || fail "start options without their \"/\" ended with $status, not 2: $(cat "$tmp/wrong.err")"
echo "start options without their \"/\" end the run with status 2"

# 3. Exit statuses reach a batch file's %ERRORLEVEL%.
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
printf '@echo off\r\n"%s" /a\r\necho status %%ERRORLEVEL%%\r\n' "$(win "$stage/doziduvov.exe")" >"$tmp/status.bat"
timeout 120 wine cmd /c "$(win "$tmp/status.bat")" >"$tmp/bat.out" 2>&1 || true
tr -d '\r' <"$tmp/bat.out" | grep -q "^status 1$" \
    || fail "a failed run (no host) did not give %ERRORLEVEL% 1: $(cat "$tmp/bat.out")"
echo "a run without host gives %ERRORLEVEL% 1"
