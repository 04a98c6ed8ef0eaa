#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL server: a new cluster in a
# temporary folder, reached only through its Unix socket there, removed
# afterwards. The command finds it through KESTREL_TEST_DATABASE (and the
# PG* variables libpq reads). A server that cannot be started is a failure,
# never a skip.
set -euo pipefail
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "FAILED: PostgreSQL is not installed (scripts/install-deps.sh installs 'postgresql')" >&2
    exit 1
fi
dir=$(mktemp -d /tmp/kestrel-pg.XXXXXX)
as_server=()
# The server refuses to run as root: the cluster then belongs to 'postgres'.
if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    as_server=(runuser -u postgres --)
fi
stop() {
    "${as_server[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
}
trap stop EXIT
port=$((20000 + RANDOM % 20000))
if ! "${as_server[@]}" "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 \
        >"$dir/initdb.log" 2>&1; then
    echo "FAILED: initdb could not make a cluster:" >&2
    cat "$dir/initdb.log" >&2
    exit 1
fi
if ! "${as_server[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses='' -k $dir -p $port -c fsync=on" start >/dev/null; then
    echo "FAILED: the PostgreSQL server did not start:" >&2
    cat "$dir/server.log" >&2
    exit 1
fi
export PGHOST=$dir PGPORT=$port PGUSER=postgres
export KESTREL_TEST_DATABASE=postgresql:///postgres
echo "PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') at $dir port $port"
"$@"
