#!/usr/bin/env bash
# test-demo-server.sh: the demo server of scripts/run as an ordinary user on
# Debian meets it: started the way scripts/run starts it, as an unprivileged
# user (nobody when this runs as root) with Debian's PATH for ordinary users
# (no /usr/sbin, where mariadbd lives) and the POSIX locale. Checks that the
# names and texts of the demo schema read back from the server equal those of
# scripts/demo/laden.sql byte for byte, that a second start finds the schema
# and its port again, and that a schema garbled by a latin1 client is named.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
qw_report_errors

say() { printf 'demo server: %s\n' "$*" >&2; }
failures=0
same() { # same DESCRIPTION EXPECTED ACTUAL: compares, shows the difference
  if [ "$2" = "$3" ]; then
    say "ok: $1"
  else
    say "FAILED: $1"
    diff -u --label expected --label actual <(printf '%s\n' "$2") <(printf '%s\n' "$3") >&2 || true
    failures=$((failures + 1))
  fi
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quellwerk-demo.XXXXXX")
user_dir=$tmp/user
cleanup() {
  qw_stop_server "$user_dir/run"
  rm -rf "$tmp"
}
trap cleanup EXIT

# The user gets a home and a folder for the socket, and a copy of scripts/: the
# checkout may lie where that user cannot read (root's home).
chmod 755 "$tmp"
cp -r "$QW_ROOT/scripts" "$tmp/scripts"
chmod -R a+rX "$tmp/scripts"
mkdir -p "$user_dir/home" "$user_dir/run"
as_user=() user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  user=nobody
  chown -R "$user:$(id -gn $user)" "$user_dir"
  as_user=(setpriv --reuid="$user" --regid="$(id -g $user)" --clear-groups)
fi
"${as_user[@]}" test -w "$user_dir/home" ||
  { say "$user cannot write $user_dir/home: is TMPDIR in a folder closed to it?"; exit 1; }
start_as_user() { # start_as_user LOG: starts the demo server as scripts/run does
  (cd "$user_dir" && "${as_user[@]}" env -i HOME="$user_dir/home" USER="$user" LOGNAME="$user" \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games \
    bash -c 'set -euo pipefail
      source "$1/common.sh"
      qw_report_errors
      source "$1/demo/server.sh"
      qw_start_demo_server "$HOME/.local/share/quellwerk" "$2"
      echo "$QW_SERVER_PORT"' _ "$tmp/scripts" "$user_dir/run") >"$1.port" 2>"$1" ||
    { cat "$1" >&2; return 1; }
}
start_as_user "$tmp/first.log"
QW_SERVER_SOCKET=$user_dir/run/mysqld.sock
say "started as $(stat -c %U "$QW_SERVER_SOCKET") on port $(cat "$tmp/first.log.port")"

# The names: every quoted name of laden.sql is the database, a table or a column.
sql_file=$tmp/scripts/demo/laden.sql
expected=$(grep -v '^--' "$sql_file" | grep -o '`[^`]*`' | tr -d '`' | LC_ALL=C sort -u)
actual=$(qw_sql -N -B -r <<'SQL' | LC_ALL=C sort -u
SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = 'laden'
UNION ALL SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'laden'
UNION ALL SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'laden'
SQL
)
same "the names read back equal those of laden.sql" "$expected" "$actual"

# The texts: every quoted text of laden.sql is a value of a text or date column.
expected=$(grep -v '^--' "$sql_file" | grep -o "'[^']*'" | tr -d "'" | LC_ALL=C sort -u)
query=$(qw_sql -N -B -r <<'SQL'
SELECT GROUP_CONCAT(CONCAT('SELECT `', COLUMN_NAME, '` FROM laden.`', TABLE_NAME, '`')
                    SEPARATOR ' UNION ALL ')
  FROM information_schema.COLUMNS
 WHERE TABLE_SCHEMA = 'laden' AND DATA_TYPE IN ('char', 'varchar', 'text', 'date')
SQL
)
actual=$(qw_sql -N -B -r -e "$query" | grep -vx NULL | LC_ALL=C sort -u)
same "the texts read back equal those of laden.sql" "$expected" "$actual"

# A second start keeps the port and the schema, and has nothing to complain of.
qw_stop_server "$user_dir/run"
start_as_user "$tmp/second.log"
same "the second start takes the port of the first" \
  "$(cat "$tmp/first.log.port")" "$(cat "$tmp/second.log.port")"
same "the second start says nothing" "" "$(cat "$tmp/second.log")"

# The schema as an earlier scripts/run loaded it, through a latin1 client.
qw_sql -e 'DROP DATABASE laden'
qw_sql --default-character-set=latin1 <"$sql_file"
qw_stop_server "$user_dir/run"
start_as_user "$tmp/garbled.log"
same "a garbled schema is named" 1 "$(grep -c "garbled umlauts" "$tmp/garbled.log" || true)"

if [ "$failures" -ne 0 ]; then
  say "$failures check(s) failed"
  exit 1
fi
