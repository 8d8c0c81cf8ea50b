# Shared by scripts/test and scripts/run: installing what is missing, building,
# and a private MariaDB server (own data directory and socket, 127.0.0.1, a
# free port). Source it; it defines functions, QW_ROOT and the package lists,
# and puts the system folders on PATH.

QW_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# mariadbd and ldconfig live in /usr/sbin or /sbin, which are not on an
# ordinary user's PATH on Debian.
for qw_dir in /usr/local/sbin /usr/sbin /sbin; do
  case ":$PATH:" in *":$qw_dir:"*) ;; *) PATH=$PATH:$qw_dir ;; esac
done
unset qw_dir

QW_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-translations-l10n libgl-dev qtkeychain-qt6-dev libsecret-1-0
  mariadb-server mariadb-client libmariadb-dev libmariadb3
  xvfb xauth imagemagick fonts-dejavu-core openssl openssh-client
  libx11-dev libxtst-dev libxdamage-dev
)
# What scripts/test needs besides: cpack's dependency list (dpkg-shlibdeps,
# file), the validators, the manual page reader, the icon renderer, the
# formatting check, a private session bus with a keyring for the keyring
# tests, and the SSH server of the tunnel tests.
QW_PACKAGE_TEST_PACKAGES=(
  dpkg-dev file binutils appstream desktop-file-utils man-db librsvg2-bin clang-format
  dbus-daemon gnome-keyring openssh-server
)

qw_say() { printf 'quellwerk: %s\n' "$*" >&2; }

# Makes a script that stops at its first failing command (set -e) say where:
# file, line, command, exit status, and the functions it was called through.
# Call it right after sourcing this file. errtrace lets the trap fire inside
# functions and subshells too; inherit_errexit makes a command substitution
# stop at its first failure like the script around it. A substitution whose
# failure the script accepts (in an argument or a for list) needs "|| true",
# or it would be reported although the script goes on.
qw_report_errors() {
  set -E
  shopt -s inherit_errexit
  trap 'qw_report_error $? "$BASH_COMMAND"' ERR
}
qw_report_error() {
  local status=$1 command=$2 where i
  where="${BASH_SOURCE[1]}:${BASH_LINENO[0]}"
  # After a function that ended with "return N", BASH_COMMAND still names that
  # return; the calling line says more.
  if [[ $command == return* ]] && [ -r "${BASH_SOURCE[1]}" ]; then
    command=$(sed -n "${BASH_LINENO[0]}s/^[[:space:]]*//p" "${BASH_SOURCE[1]}")
  fi
  for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do
    where+=", in ${FUNCNAME[i]} called at ${BASH_SOURCE[i + 1]}:${BASH_LINENO[i]}"
  done
  [ "$status" -gt 128 ] && status+=" (signal $(kill -l "$status" 2>/dev/null || echo "$((status - 128))"))"
  qw_say "failed at $where: $command (exit status $status)"
}

# Installs the Debian packages that are not installed yet (apt-get update
# first): as root directly, otherwise through sudo. Without sudo it names the
# packages and the command to run as root, and ends the script.
qw_install_missing() {
  local missing=() p
  for p in "${QW_PACKAGES[@]}" "$@"; do
    qw_installed "$p" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      qw_say "these Debian packages are missing: ${missing[*]}"
      qw_say "there is no sudo here: install them as root (su -), then start $0 again:"
      printf '  apt-get update && apt-get install --no-install-recommends %s\n' "${missing[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  qw_say "installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
qw_installed() { [[ $(dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null) == *"install ok installed"* ]]; }

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
  local user=() program
  [ "$(id -u)" -eq 0 ] && user=(--user=root)
  for program in mariadbd mariadb-install-db mariadb-admin; do
    command -v "$program" >/dev/null ||
      { qw_say "$program is not on PATH (Debian package mariadb-server)"; return 1; }
  done
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
  [ ! -f "$run/error.log" ] || tail -20 "$run/error.log" >&2
  return 1
}

# Runs SQL as root through the server's socket. The client takes its input
# and gives its output as UTF-8 whatever the locale says (under the POSIX
# locale it would read the bytes as latin1 and store umlauts garbled).
qw_sql() {
  mariadb --no-defaults --default-character-set=utf8mb4 --socket="$QW_SERVER_SOCKET" -uroot "$@"
}

# Stops the server whose pid file is in RUNDIR (default: the one started last).
qw_stop_server() {
  local run=${1:-${QW_SERVER_RUN:-}}
  [ -n "$run" ] && [ -f "$run/mysqld.pid" ] || return 0
  local pid
  pid=$(cat "$run/mysqld.pid" 2>/dev/null) || return 0
  # Called from EXIT traps under set -e: a server that is gone already is no
  # failure that may cut the rest of the clean-up short.
  kill -CONT "$pid" 2>/dev/null || return 0
  mariadb-admin --no-defaults --socket="$run/mysqld.sock" -uroot shutdown >/dev/null 2>&1 ||
    kill "$pid" 2>/dev/null || true
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

# qw_start_sshd DIR: a private OpenSSH server on 127.0.0.1 and a free port,
# running as the user who calls it, with everything in DIR: its own host key
# (DIR/host_ed25519), a second host key that stands for a changed one
# (DIR/other_host_ed25519.pub), and two client keys that it lets in, one
# without passphrase (DIR/client) and one with the passphrase in
# DIR/client-phrase.passphrase (DIR/client-phrase). Only public-key logins,
# and TCP forwarding allowed. Sets QW_SSHD_PORT.
qw_start_sshd() {
  local dir=$1
  mkdir -p "$dir"
  chmod 700 "$dir"
  (
    set -e
    cd "$dir"
    rm -f host_ed25519* other_host_ed25519* client client.pub client-phrase*
    ssh-keygen -q -t ed25519 -N '' -C 'quellwerk test host' -f host_ed25519
    ssh-keygen -q -t ed25519 -N '' -C 'quellwerk test host, changed' -f other_host_ed25519
    ssh-keygen -q -t ed25519 -N '' -C 'quellwerk test client' -f client
    printf 'Quellwerk-Phrase-7\n' >client-phrase.passphrase
    ssh-keygen -q -t ed25519 -N "$(cat client-phrase.passphrase)" \
      -C 'quellwerk test client, phrase' -f client-phrase
    cat client.pub client-phrase.pub >authorized_keys
  ) >"$dir/keygen.log" 2>&1 || { cat "$dir/keygen.log" >&2; return 1; }
  # As root, sshd insists on its privilege separation folder.
  [ "$(id -u)" -ne 0 ] || mkdir -p -m 755 /run/sshd
  local attempt pid i
  for attempt in 1 2 3 4 5; do
    QW_SSHD_PORT=$(qw_free_port) || return 1
    printf '%s\n' "ListenAddress 127.0.0.1" "Port $QW_SSHD_PORT" "HostKey $dir/host_ed25519" \
      "PidFile $dir/sshd.pid" "AuthorizedKeysFile $dir/authorized_keys" \
      "PermitRootLogin prohibit-password" "PubkeyAuthentication yes" \
      "PasswordAuthentication no" "KbdInteractiveAuthentication no" "UsePAM no" \
      "StrictModes no" "AllowTcpForwarding yes" "AllowStreamLocalForwarding no" \
      "X11Forwarding no" "PrintMotd no" "LogLevel VERBOSE" >"$dir/sshd_config"
    rm -f "$dir/sshd.pid"
    setsid /usr/sbin/sshd -D -f "$dir/sshd_config" -E "$dir/sshd.log" </dev/null >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 1 80); do
      if [ -s "$dir/sshd.pid" ] && qw_port_in_use "$QW_SSHD_PORT"; then
        disown "$pid"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
    qw_say "sshd did not start on port $QW_SSHD_PORT (attempt $attempt)"
  done
  tail -20 "$dir/sshd.log" >&2
  return 1
}

# Stops the sshd of qw_start_sshd DIR.
qw_stop_sshd() {
  local pid
  [ -f "$1/sshd.pid" ] && pid=$(cat "$1/sshd.pid" 2>/dev/null) && kill "$pid" 2>/dev/null
  return 0
}
