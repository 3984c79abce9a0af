#!/usr/bin/env bash
# The main job: builds sqlgate and the two tools it needs, makes a small SQLite database, writes the ini
# files of the agent's driver manager in a temporary folder, starts sqlgate
# through the launcher (the broker's stand-in) on a free loopback port, runs a
# query through the wire client, prints the rows as a table and stops the agent.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh sqlgate launch wirecli

work=$(mktemp -d /tmp/sqlgate-demo.XXXXXX)
launch_pid=
cleanup() {
  if [ -n "$launch_pid" ] && kill -0 "$launch_pid" 2>/dev/null; then
    kill -TERM "$launch_pid" 2>/dev/null || true
    wait "$launch_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so
db="$work/demo.db"
sqlite3 "$db" <<'SQL'
CREATE TABLE planets (id INTEGER PRIMARY KEY, name VARCHAR(20), moons INTEGER, au DOUBLE);
INSERT INTO planets VALUES (1, 'Mercury', 0, 0.39), (2, 'Venus', 0, 0.72), (3, 'Earth', 1, 1.0),
  (4, 'Mars', 2, 1.52), (5, 'Jupiter', 95, 5.2), (6, 'Saturn', 146, 9.54), (7, 'Uranus', 28, 19.2),
  (8, 'Neptune', 16, 30.06);
SQL

# The driver manager reads only these files: nothing outside the folder is used.
cat >"$work/odbcinst.ini" <<EOF2
[SQLite3]
Driver=$driver
EOF2
cat >"$work/odbc.ini" <<EOF2
[demo]
Driver=SQLite3
Database=$db
EOF2
export HOME="$work" ODBCINI="$work/odbc.ini" SYSODBCINI="$work/odbc.ini" \
  ODBCINSTINI="$work/odbcinst.ini" SYSODBCINSTINI="$work/odbcinst.ini" FILEDSNPATH="$work"

./build/tools/launch/launch -- ./build/src/server/sqlgate +loglevel 7 +logfile "$work/agent.log" \
  >"$work/port" 2>"$work/agent.err" &
launch_pid=$!
port=
for _ in $(seq 1 100); do
  port=$(head -n 1 "$work/port" 2>/dev/null || true)
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the agent did not start" >&2
  cat "$work/agent.err" >&2
  exit 1
fi
echo "== sqlgate serving on 127.0.0.1:$port (TCP and UDP) =="
echo
sql="SELECT id, name, moons, au FROM planets WHERE moons > 0 ORDER BY au"
echo "== $sql =="
./build/tools/wirecli/wirecli 127.0.0.1 "$port" demo "$sql"
echo
kill -TERM "$launch_pid"
rc=0
wait "$launch_pid" || rc=$?
launch_pid=
echo "== agent stopped with exit code $rc; its log: =="
cat "$work/agent.log"
exit "$rc"
