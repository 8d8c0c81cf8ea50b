#!/usr/bin/env bash
# test-package.sh BUILD-DIR
#
# The Debian package as a user meets it: builds it from BUILD-DIR with cpack,
# checks the dependencies it declares, installs it with apt-get, checks the
# installed desktop entry, AppStream metadata and icons with the validators,
# the manual page and the copyright file, and the program's answers without a
# display; starts the installed quellwerk headless (offscreen) to add a saved
# connection to the test server, starts it again to connect through that saved
# connection, and checks that the file lies in ~/.config/quellwerk/ of a
# temporary home. Removes the package again at the end, also on failure.
#
# Needs the test server of scripts/test (QW_TEST_HOST, QW_TEST_PORT,
# QW_TEST_PASSWORD_USER, QW_TEST_PASSWORD) and root or sudo. The installed
# program is worked by libquellwerk_install_driver.so (InstallDriver.cpp),
# preloaded into it.
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/../../scripts/common.sh"
qw_report_errors
driver=$build/tests/install/libquellwerk_install_driver.so
app_id=org.example.quellwerk

say() { printf 'package: %s\n' "$*" >&2; }
failures=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts a failure
  if "${@:2}"; then say "ok: $1"; else say "FAILED: $1"; failures=$((failures + 1)); fi
}
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null && [ -z "${CI:-}" ]; then
    say "installing the package needs root or sudo; the package test is left out"
    exit 0
  fi
  sudo=(sudo)
fi

if qw_installed quellwerk && [ -z "${CI:-}" ]; then
  say "quellwerk is installed on this machine already; the package test leaves it alone"
  exit 0
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quellwerk-package.XXXXXX")
installed=0
stray=/usr/bin/options.dat # where a faulty program would put the saved connections
stray_before=0
[ -e "$stray" ] && stray_before=1
cleanup() {
  if [ "$installed" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get purge -y -q quellwerk >/dev/null ||
      say "could not remove the package quellwerk"
  fi
  [ "$stray_before" = 0 ] && "${sudo[@]}" rm -f "$stray"
  rm -rf "$tmp"
}
trap cleanup EXIT

# The PNG icons are the renderings of the SVG.
check "the PNG icons are rendered from quellwerk.svg" "$QW_ROOT/packaging/icons/render-icons.sh" --check

# Build the package.
(cd "$build" && cpack -G DEB -B "$tmp/deb") >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; exit 1; }
debs=("$tmp"/deb/quellwerk_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { say "cpack made no quellwerk_*.deb"; exit 1; }
say "built $(basename "$deb")"

# What the package declares: the client library (loaded at run time), Qt's
# German texts, and the package of every shared library the program links.
depends=$(dpkg-deb -f "$deb" Depends)
say "Depends: $depends"
declared=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
declares() { grep -Fqx -- "$1" <<<"$declared"; }
check "declares libmariadb3" declares libmariadb3
check "declares qt6-translations-l10n" declares qt6-translations-l10n
check "declares libqt6widgets6" declares libqt6widgets6
dpkg-deb -x "$deb" "$tmp/tree"
# The readers below read their input to the end: one that stopped at its
# first match could end the writer with SIGPIPE, which pipefail and set -e
# would make the end of this script.
libraries=$(ldconfig -p)
needed() { objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }'; }
module=$(find "$tmp/tree/usr/lib" -path '*/quellwerk/libquellwerk-network.so' -print)
check "the network module is installed in <libdir>/quellwerk" test -f "$module"
# The libraries of the TLS probe and the keyring come with the module, on first use.
check "the program links neither Qt Network nor QtKeychain" \
  bash -c '! objdump -p "$1" | grep -Eq "NEEDED +lib(Qt6Network|qt6keychain)"' - "$tmp/tree/usr/bin/quellwerk"
for lib in $( (needed "$tmp/tree/usr/bin/quellwerk"; needed "$module") | sort -u); do
  path=$(awk -v l="$lib" '$1 == l && path == "" { path = $NF } END { print path }' <<<"$libraries")
  # dpkg knows a library by one of its names (/lib or /usr/lib, link or file).
  owner=
  for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | awk -F: 'NR == 1 { print $1 }' || true)
    [ -n "$owner" ] && break
  done
  check "declares $owner for $lib" declares "$owner"
done
check "the package's metadata and desktop entry pass appstreamcli validate-tree" \
  appstreamcli validate-tree --no-net "$tmp/tree"

# Install it as a user would.
installed=1
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "$deb" \
  >"$tmp/apt.log" 2>&1 || { cat "$tmp/apt.log" >&2; exit 1; }
say "installed: $(dpkg-query -W -f='${Package} ${Version}' quellwerk)"
check "quellwerk is /usr/bin/quellwerk on the PATH" test "$(command -v quellwerk)" = /usr/bin/quellwerk
check "desktop-file-validate accepts the desktop entry" \
  desktop-file-validate /usr/share/applications/quellwerk.desktop
check "appstreamcli validate accepts the metadata" \
  appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"
check "the scalable icon is installed" test -f /usr/share/icons/hicolor/scalable/apps/quellwerk.svg
man_without_warnings() { # man_without_warnings PAGE: renders it, fails on any warning
  local warnings
  warnings=$(MANWIDTH=80 man --warnings "$1" 2>&1 >/dev/null) && [ -z "$warnings" ] ||
    { printf '%s\n' "$warnings" >&2; return 1; }
}
check "man quellwerk finds the installed manual page" \
  test "$(man -w quellwerk)" = /usr/share/man/man1/quellwerk.1.gz
check "man quellwerk renders without warnings" man_without_warnings quellwerk
copyright=/usr/share/doc/quellwerk/copyright
check "the copyright file is machine-readable" \
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright"
licence=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' \
  "/usr/share/metainfo/$app_id.metainfo.xml")
check "the copyright file names the metadata's licence ($licence)" \
  grep -qx "License: $licence" "$copyright"
check "quellwerk --version answers without a display" \
  test "$(env -u DISPLAY -u WAYLAND_DISPLAY quellwerk --version)" = "Quellwerk 1.0"
no_display_exit=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM quellwerk 2>/dev/null || no_display_exit=$?
check "quellwerk without a display ends with exit code 1" test "$no_display_exit" = 1
for n in 16 22 24 32 48 64 128 256; do
  check "the ${n}x${n} icon is a ${n}x${n} PNG" \
    test "$(identify -format '%wx%h' "/usr/share/icons/hicolor/${n}x${n}/apps/quellwerk.png")" = "${n}x${n}"
done

# Start the installed program twice in a temporary home: the first run adds a
# saved connection through the connection dialog and ends, the second
# connects through it.
home=$tmp/home
mkdir -p "$home"
run_installed() { # run_installed OUTPUT QW_DRIVE
  env -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen LD_PRELOAD="$driver" \
    QW_DRIVE="$2" quellwerk >"$1" 2>"$1.err"
}
has_line() { grep -Fqx -- "$2" "$1"; }
port=$QW_TEST_PORT
# The list says where the password is kept (here, without a keyring: in
# options.dat, as chosen), never the password.
saved="saved: $QW_TEST_HOST|$QW_TEST_PASSWORD_USER|gespeichert|$port"

check "the first run adds a saved connection and ends" \
  run_installed "$tmp/first" "add $QW_TEST_HOST $QW_TEST_PASSWORD_USER $QW_TEST_PASSWORD $port"
check "the first run is the installed program" has_line "$tmp/first" "program: /usr/bin/quellwerk"
check "the first run added the connection" has_line "$tmp/first" "added"
options=$home/.config/quellwerk/options.dat
check "options.dat is in ~/.config/quellwerk/" test -f "$options"
check "options.dat is readable by its owner only" test "$(stat -c %a "$options" 2>/dev/null)" = 600
check "nothing is written beside the installed program" test "$stray_before" = 1 -o ! -e "$stray"

check "the second run connects through the saved connection" \
  run_installed "$tmp/second" "connect-saved $QW_TEST_HOST"
check "the second run lists the saved connection" has_line "$tmp/second" "$saved"
check "the second run asks before its first contact without TLS" \
  has_line "$tmp/second" "asked: no encryption"
check "the second run is connected" has_line "$tmp/second" "connected"
check "the second run lists the server's databases" has_line "$tmp/second" "database: mysql"
for f in "$tmp/first" "$tmp/second"; do
  if [ -s "$f.err" ] || grep -q '^error:' "$f"; then
    say "output of $(basename "$f") run:"; cat "$f" "$f.err" >&2
  fi
done

if [ "$failures" -ne 0 ]; then
  say "$failures check(s) failed"
  exit 1
fi
say "all checks passed; removing the package"
