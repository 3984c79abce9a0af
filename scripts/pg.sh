# Starts and stops a throw-away PostgreSQL server on loopback for the tests.
# Source it: `source scripts/pg.sh start` exports SQLGATE_PG_PORT, SQLGATE_PG_USER,
# SQLGATE_PG_DB and SQLGATE_PG_DIR; `source scripts/pg.sh stop` ends the server.

_pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
_pg_as() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "${1:-}" in
start)
  SQLGATE_PG_DIR=$(mktemp -d /tmp/sqlgate-pg.XXXXXX)
  [ "$(id -u)" -eq 0 ] && chown postgres: "$SQLGATE_PG_DIR"
  _pg_as "$_pg_bin/initdb" -D "$SQLGATE_PG_DIR/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$SQLGATE_PG_DIR/initdb.log" 2>&1
  for _try in 1 2 3 4 5 6 7 8 9 10; do
    SQLGATE_PG_PORT=$((20000 + RANDOM % 30000))
    if _pg_as "$_pg_bin/pg_ctl" -D "$SQLGATE_PG_DIR/data" -l "$SQLGATE_PG_DIR/server.log" -w -t 60 \
        -o "-p $SQLGATE_PG_PORT -k $SQLGATE_PG_DIR -c listen_addresses=127.0.0.1" start >/dev/null; then
      break
    fi
    SQLGATE_PG_PORT=
  done
  if [ -z "$SQLGATE_PG_PORT" ]; then
    echo "pg.sh: PostgreSQL did not start" >&2
    cat "$SQLGATE_PG_DIR/server.log" >&2 || true
    return 1 2>/dev/null || exit 1
  fi
  _pg_as "$_pg_bin/createdb" -h 127.0.0.1 -p "$SQLGATE_PG_PORT" -U postgres sqlgate
  SQLGATE_PG_USER=postgres
  SQLGATE_PG_DB=sqlgate
  export SQLGATE_PG_PORT SQLGATE_PG_USER SQLGATE_PG_DB SQLGATE_PG_DIR
  ;;
stop)
  if [ -n "${SQLGATE_PG_DIR:-}" ] && [ -d "$SQLGATE_PG_DIR/data" ]; then
    _pg_as "$_pg_bin/pg_ctl" -D "$SQLGATE_PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$SQLGATE_PG_DIR"
  fi
  unset SQLGATE_PG_PORT SQLGATE_PG_USER SQLGATE_PG_DB SQLGATE_PG_DIR
  ;;
*)
  echo "usage: source scripts/pg.sh start|stop" >&2
  ;;
esac
