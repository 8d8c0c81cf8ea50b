# The demo server of scripts/run; the test suite starts it the same way as an
# ordinary user. Source it after scripts/common.sh.

# qw_start_demo_server DIR RUNDIR: starts the demo server with its data, its
# certificate and its last port in DIR (~/.local/share/quellwerk) and its
# socket in RUNDIR, and fills it once with the demo schema 'laden'. Its port is
# the one of last time when that is free, so that the saved connection stays
# right; QW_DEMO_PREVIOUS_PORT tells that port (empty at the first start). It
# offers TLS with a certificate made at the first start and kept, so that
# Quellwerk asks about its fingerprint once and then knows it. Sets what
# qw_start_server sets.
qw_start_demo_server() {
  local home=$1 run=$2 tls_options
  mkdir -p "$home"
  QW_DEMO_PREVIOUS_PORT=$(cat "$home/demo-port" 2>/dev/null || true)
  QW_PREFERRED_PORT=$QW_DEMO_PREVIOUS_PORT
  qw_make_certificates "$home/tls" "Quellwerk Demo-Server"
  mapfile -t tls_options < <(qw_tls_options "$home/tls")
  qw_start_server "$home/server" "$run" "${tls_options[@]}"
  echo "$QW_SERVER_PORT" >"$home/demo-port"

  qw_sql <<'SQL'
CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;
SQL
  if ! qw_sql -e 'USE laden' 2>/dev/null; then
    qw_say "creating the demo schema 'laden'"
    qw_sql <"$QW_ROOT/scripts/demo/laden.sql"
  elif [ "$(qw_sql -N -e "SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'laden'
      AND CAST(COLUMN_NAME AS BINARY) LIKE CONCAT('%', UNHEX('C383'), '%')")" != 0 ]; then
    # An earlier version loaded the schema through a latin1 client.
    qw_say "the demo schema 'laden' has garbled umlauts (straÃŸe for straße); drop the" \
      "database laden in Quellwerk and start $0 again to have it made afresh"
  fi
}
