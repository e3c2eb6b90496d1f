#!/bin/bash
# 32 stations at once against one PostgreSQL server (pg_virtualenv -t -v 15 bench/history_stations.sh):
# 50 parts each, then every server process stopped while each stores 2 more, then delivery.
# pg_virtualenv sets PGHOST, PGPORT, PGUSER and PGPASSWORD.
set -u
W=${HISTORY_WRITER:-build/bin/history-writer}
base=/tmp/pg32; rm -rf $base; mkdir -p $base/cfg/NORTAVE $base/cfgu
psql -X -q -d postgres -c "CREATE DATABASE st32" 
printf '[Settings]\nHistorySettings\\Driver=QPSQL\nHistorySettings\\Host=%s\nHistorySettings\\Port=%s\nHistorySettings\\Database=st32\nHistorySettings\\User=%s\n' "$PGHOST" "$PGPORT" "$PGUSER" > $base/cfg/NORTAVE/Korvex_Zirirezu_DOZIDUVOV.conf
export XDG_CONFIG_DIRS=$base/cfg XDG_CONFIG_HOME=$base/cfgu QT_QPA_PLATFORM=offscreen
for i in $(seq 1 32); do mkdir -p $base/d$i; done
start=$(date +%s.%N)
for i in $(seq 1 32); do ( XDG_DATA_HOME=$base/d$i $W store 50 s$i 200 2>$base/e$i; echo $? > $base/rc$i ) & done; wait
end=$(date +%s.%N)
echo "PG 32x50x200: wall $(echo "$end - $start" | bc) s; exit codes: $(cat $base/rc* | sort | uniq -c | tr '\n' ' ')"
psql -X -A -t -d st32 -c "SELECT COUNT(*), COUNT(DISTINCT part_uuid), SUM(row_count) FROM part"
waiting=$(find $base -path '*/history-outbox/*.part' | wc -l); echo "left in outboxes: $waiting"
# Stalled: every server process stopped (of every pg_virtualenv cluster: run it alone); each
# writer stores 2 parts with the 5 s delivery time.
pids=$(pgrep -f "postgres.*regress" ); kill -STOP $pids
start=$(date +%s.%N)
for i in $(seq 1 32); do ( s=$(date +%s.%N); XDG_DATA_HOME=$base/d$i $W store 2 stall$i 200 2>>$base/e$i; e=$(date +%s.%N); echo "$(echo "$e - $s" | bc)" > $base/t$i ) & done; wait
end=$(date +%s.%N)
kill -CONT $pids
echo "stalled: wall $(echo "$end - $start" | bc) s; slowest writer (2 stores): $(sort -n $base/t* | tail -1) s"
waiting=$(find $base -path '*/history-outbox/*.part' | wc -l); echo "waiting after the stall: $waiting"
for i in $(seq 1 32); do XDG_DATA_HOME=$base/d$i $W deliver > /dev/null 2>&1; done
psql -X -A -t -d st32 -c "SELECT COUNT(*), COUNT(DISTINCT part_uuid) FROM part"
