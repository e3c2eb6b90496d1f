#!/bin/bash
# 32 stations on one machine, one SQLite history file: each station runs `doziduvov /a` 50 times
# in a row against one korvex-sim serving a program of 200 characteristics; every run leaves its
# part in the outbox and the delivery it starts stores it. Then: every part stored once?
#   bench/history_runs_sqlite.sh [BUILD_BIN]
set -u
B=${1:-build/bin}; base=/tmp/sqlite32; rm -rf $base; mkdir -p $base/tmp $base/cu $base/cs/NORTAVE $base/prog $base/res
chmod 700 $base/tmp
python3 bench/make_program.py 450 $base/P.PRG > /dev/null
cp -r $B/LanguageFiles $base/prog/
printf '[Settings]\nFileSettings\\DIR=%s/res\nHistorySettings\\File=%s/h.sqlite\n' $base $base > $base/cs/NORTAVE/Korvex_Zirirezu_DOZIDUVOV.conf
export TMPDIR=$base/tmp XDG_RUNTIME_DIR=$base/tmp XDG_CONFIG_HOME=$base/cu XDG_CONFIG_DIRS=$base/cs \
       DOZIDUVOV_PROGRAM_DIR=$base/prog QT_QPA_PLATFORM=offscreen LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
$B/korvex-sim $base/P.PRG > /dev/null 2> $base/sim.log & sim=$!
sleep 1
start=$(date +%s.%N); stations=()
for i in $(seq 1 32); do
  ( export XDG_DATA_HOME=$base/d$i; bad=0
    for k in $(seq 1 50); do $B/doziduvov /a -q 2>> $base/e$i || bad=$((bad + 1)); done; echo $bad > $base/rc$i ) & stations+=($!)
done; wait "${stations[@]}"  # not the simulator
end=$(date +%s.%N)
echo "32 stations x 50 runs: wall $(echo "$end - $start" | bc) s; failed runs: $(cat $base/rc* | paste -sd+ | bc)"
sleep 2
for i in $(seq 1 32); do XDG_DATA_HOME=$base/d$i $B/doziduvov --history-deliver > /dev/null; done
echo "waiting: $(find $base -path '*/history-outbox/*.part' | wc -l); set aside: $(find $base -name '*.setaside' | wc -l)"
sqlite3 $base/h.sqlite "SELECT COUNT(*), COUNT(DISTINCT part_uuid), SUM(row_count) FROM part"
kill $sim
