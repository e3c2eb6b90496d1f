#!/bin/sh
# Runs a test program against a throw-away PostgreSQL 15 cluster made by pg_virtualenv (Debian
# package postgresql), which exports PGHOST, PGPORT, PGUSER, PGPASSWORD, PGDATABASE and the
# cluster's version for pg_ctlcluster. As root, -t keeps the cluster in a temporary folder
# instead of /etc/postgresql, so nothing of the machine's own clusters is touched.
set -e
if ! command -v pg_virtualenv >/dev/null 2>&1; then
    echo "with_postgres.sh: pg_virtualenv is missing (apt-get install postgresql)" >&2
    exit 1
fi
exec pg_virtualenv -t -v 15 "$@"
