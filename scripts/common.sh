# Shared by scripts/test and scripts/run: installing what is missing, building,
# and a private MariaDB server (own data directory and socket, 127.0.0.1, a
# free port). Source it; it defines functions only.

QW_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

QW_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-translations-l10n libgl-dev
  mariadb-server mariadb-client libmariadb-dev libmariadb3
  xvfb xauth imagemagick fonts-dejavu-core openssl
  libx11-dev libxtst-dev libxdamage-dev
)
# What scripts/test needs besides: cpack's dependency list (dpkg-shlibdeps,
# file), the validators, the manual page reader, the icon renderer, and the
# formatting check.
QW_PACKAGE_TEST_PACKAGES=(
  dpkg-dev file binutils appstream desktop-file-utils man-db librsvg2-bin clang-format
)

qw_say() { printf 'quellwerk: %s\n' "$*" >&2; }

# Installs the Debian packages that are not installed yet (apt-get update first).
qw_install_missing() {
  local missing=() p
  for p in "${QW_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  qw_say "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds into the given folder.
qw_build() {
  local dir=$1; shift
  cmake -S "$QW_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

qw_port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A port between 20000 and 59999 that nothing listens on.
qw_free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 40000))
    qw_port_in_use "$port" || { echo "$port"; return 0; }
  done
  return 1
}

# qw_make_certificates DIR NAME: once, a certificate authority and a server
# certificate for 127.0.0.1 and localhost signed by it, NAME in both common
# names: DIR/ca.pem, DIR/server-cert.pem, DIR/server-key.pem.
qw_make_certificates() {
  local dir=$1 name=$2
  [ -s "$dir/server-cert.pem" ] && [ -s "$dir/server-key.pem" ] && return 0
  mkdir -p "$dir"
  (
    umask 077
    cd "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$name CA" \
      -keyout ca-key.pem -out ca.pem &&
      openssl req -newkey rsa:2048 -nodes -subj "/CN=$name" -keyout server-key.pem \
        -out server.csr &&
      printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' >server.ext &&
      openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial \
        -days 3650 -extfile server.ext -out server-cert.pem &&
      chmod 644 ca.pem server-cert.pem
  ) >"$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log" >&2; return 1; }
}

# The server options that make mariadbd offer TLS with the certificate of DIR.
qw_tls_options() {
  printf '%s\n' "--ssl-ca=$1/ca.pem" "--ssl-cert=$1/server-cert.pem" "--ssl-key=$1/server-key.pem"
}

# qw_launch_server DATADIR RUNDIR PORT [OPTION...]: starts mariadbd on
# 127.0.0.1:PORT with its socket, pid file and temporary files in RUNDIR and
# the given further options, detached from this shell, and waits until it
# answers. Returns non-zero if it does not come up. New databases get utf8mb4
# (the server's own default is latin1). A server deletes every "#sql*" file in
# its tmpdir when it starts: in a shared /tmp it would delete the temporary
# tables of the queries other servers are running.
qw_launch_server() {
  local data=$1 run=$2 port=$3
  shift 3
  local user=()
  [ "$(id -u)" -eq 0 ] && user=(--user=root)
  rm -f "$run/mysqld.pid"
  mkdir -p "$run/tmp"
  setsid mariadbd --no-defaults --datadir="$data" "${user[@]}" --bind-address=127.0.0.1 \
    --port="$port" --socket="$run/mysqld.sock" --pid-file="$run/mysqld.pid" \
    --log-error="$run/error.log" --skip-name-resolve --innodb-buffer-pool-size=64M \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci \
    --innodb-log-file-size=16M --max-connections=300 --tmpdir="$run/tmp" "$@" \
    </dev/null >/dev/null 2>&1 &
  local pid=$! i
  for i in $(seq 1 160); do
    if mariadb-admin --no-defaults --socket="$run/mysqld.sock" -uroot ping >/dev/null 2>&1; then
      # From here on the server is found by its pid file; the shell need not
      # report it as a job when a test kills it on purpose.
      disown "$pid"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.25
  done
  kill "$pid" 2>/dev/null
  return 1
}

# qw_start_server DATADIR RUNDIR [OPTION...]: initialises DATADIR once and
# starts the server on a free port with the given further options. Sets
# QW_SERVER_PORT, QW_SERVER_SOCKET, QW_SERVER_RUN.
qw_start_server() {
  local data=$1 run=$2
  shift 2
  mkdir -p "$data" "$run"
  local user=()
  [ "$(id -u)" -eq 0 ] && user=(--user=root)
  if [ ! -d "$data/mysql" ]; then
    mariadb-install-db --no-defaults --datadir="$data" "${user[@]}" \
      --auth-root-authentication-method=normal --skip-test-db >"$run/install.log" 2>&1 ||
      { cat "$run/install.log" >&2; return 1; }
  fi
  QW_SERVER_SOCKET=$run/mysqld.sock
  QW_SERVER_RUN=$run
  local attempt
  for attempt in 1 2 3 4 5; do
    # A preferred port (QW_PREFERRED_PORT) is tried first when it is free.
    if [ "$attempt" = 1 ] && [ -n "${QW_PREFERRED_PORT:-}" ] && ! qw_port_in_use "$QW_PREFERRED_PORT"; then
      QW_SERVER_PORT=$QW_PREFERRED_PORT
    else
      QW_SERVER_PORT=$(qw_free_port) || return 1
    fi
    qw_launch_server "$data" "$run" "$QW_SERVER_PORT" "$@" && return 0
    qw_say "server did not start on port $QW_SERVER_PORT (attempt $attempt)"
  done
  tail -20 "$run/error.log" >&2
  return 1
}

# Runs SQL as root through the server's socket.
qw_sql() { mariadb --no-defaults --socket="$QW_SERVER_SOCKET" -uroot "$@"; }

# Stops the server whose pid file is in RUNDIR (default: the one started last).
qw_stop_server() {
  local run=${1:-${QW_SERVER_RUN:-}}
  [ -n "$run" ] && [ -f "$run/mysqld.pid" ] || return 0
  local pid
  pid=$(cat "$run/mysqld.pid" 2>/dev/null) || return 0
  kill -CONT "$pid" 2>/dev/null
  mariadb-admin --no-defaults --socket="$run/mysqld.sock" -uroot shutdown >/dev/null 2>&1 ||
    kill "$pid" 2>/dev/null
  local i
  for i in $(seq 1 120); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.25
  done
  kill -9 "$pid" 2>/dev/null || true
}

# A benchmark's server: root over TCP without password, as quellwerk_bench and
# qwb_schema_sql connect (QW_TEST_HOST, QW_TEST_PORT, QW_TEST_USER exported).
qw_bench_server_user() {
  qw_sql <<'SQL'
CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;
FLUSH PRIVILEGES;
SQL
  export QW_TEST_HOST=127.0.0.1 QW_TEST_PORT=$QW_SERVER_PORT QW_TEST_USER=root
}

# The lines that open a benchmark's results: the machine, the software, the
# load, and the command (given as arguments).
qw_bench_facts() {
  echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
    "$(free -g | awk '/^Mem:/{print $2}') GiB; $(uname -sr)"
  echo "Software: Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null)," \
    "$(mariadbd --version | sed 's/^.*Ver //'), libmariadb3 $(dpkg-query -W -f='${Version}' libmariadb3)"
  echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "Command: $*"
}
