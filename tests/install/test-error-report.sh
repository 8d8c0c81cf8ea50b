#!/usr/bin/env bash
# test-error-report.sh: no script here stops without saying where. A failure
# planted in a function of a script that reports errors as ours do is named
# with file, line, command, exit status and the call that led there; and every
# script that stops at a failing command (set -e) reports errors so.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
qw_report_errors

say() { printf 'error report: %s\n' "$*" >&2; }
failures=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts a failure
  if "${@:2}"; then say "ok: $1"; else say "FAILED: $1"; failures=$((failures + 1)); fi
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quellwerk-error-report.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
planted=$tmp/planted.sh
cat >"$planted" <<EOF
set -euo pipefail
source "$QW_ROOT/scripts/common.sh"
qw_report_errors
read_settings() {
  cat "$tmp/missing.ini"
}
settings=\$(read_settings)
echo "went on"
EOF
status=0
bash "$planted" >"$tmp/output" 2>&1 || status=$?
has_line() { grep -Fqx -- "$1" "$tmp/output"; }
check "the planted failure ends the script with its exit status" test "$status" = 1
check "the report names file, line, command and the call" has_line "quellwerk: failed at $planted:5,\
 in read_settings called at $planted:7: cat \"$tmp/missing.ini\" (exit status 1)"
check "the caller's report names its line" \
  has_line "quellwerk: failed at $planted:7: settings=\$(read_settings) (exit status 1)"
check "the script goes no further" test "$(grep -c 'went on' "$tmp/output" || true)" = 0
[ "$failures" -eq 0 ] || cat "$tmp/output" >&2

# Every script that sets -e installs the report right after common.sh.
for script in $(cd "$QW_ROOT" && grep -rlE --exclude-dir=build --exclude-dir=.git \
  '^set -[a-zA-Z]*e' scripts tests bench packaging .ci); do
  check "$script reports where it stops" grep -qx 'qw_report_errors' "$QW_ROOT/$script"
done

if [ "$failures" -ne 0 ]; then
  say "$failures check(s) failed"
  exit 1
fi
