#!/bin/bash
# Checks that scripts/test-package runs inside the Debian root where the package is
# installed, one phase per call: verify-unit, serve, before-upgrade, after-upgrade,
# after-purge.
set -euo pipefail

home=/var/lib/velmoraftpd
unit=/lib/systemd/system/velmoraftpd.service
admin_port=54253

ok() { echo "ok: $*"; }
not_ok() {
  echo "not ok: $*" >&2
  exit 1
}
expect_equal() {  # description, actual, expected
  [ "$2" = "$3" ] || not_ok "$1: got [$2], expected [$3]"
  ok "$1"
}

write_account() {  # name, password, home folder
  printf '[UserInfo]\r\nPassWord=%s\r\nHomeDir=%s\r\n' "$2" "$3" >"$home/user/$1.usr"
  chown velmoraftpd:velmoraftpd "$home/user/$1.usr"
  chmod 0660 "$home/user/$1.usr"
}

wait_for_port() {
  for _ in $(seq 200); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  return 1
}

status_field() { sed -n "s/^$2:[[:space:]]*//p" "/proc/$1/status"; }

# Connects to the admin channel as a user and waits 2 s: "closed" when the Core hangs
# up at once, "held" when it keeps the connection (it has no sessions to report).
admin_probe() {
  setpriv --reuid="$1" --regid="$(id -g "$1")" --init-groups bash -c '
    exec 3<>"/dev/tcp/127.0.0.1/$0" || { echo refused; exit 0; }
    if timeout 2 cat <&3 >/dev/null; then echo closed; else echo held; fi' "$admin_port"
}

serve() {
  expect_equal "service user" "$(getent passwd velmoraftpd | cut -d: -f6,7)" \
    "$home:/usr/sbin/nologin"
  for folder in "$home" "$home/user" "$home/pub"; do
    expect_equal "$folder owner and mode" "$(stat -c '%U:%G %a' "$folder")" \
      "velmoraftpd:velmoraftpd 2770"
  done
  expect_equal "settings owner and mode" "$(stat -c '%U:%G %a' "$home/velmoraFTPd.ini")" \
    "velmoraftpd:velmoraftpd 660"
  grep -q '^RunAsUser=velmoraftpd' "$home/velmoraFTPd.ini" || not_ok "RunAsUser in the settings"
  [ -L /etc/systemd/system/multi-user.target.wants/velmoraftpd.service ] ||
    not_ok "the service is enabled"
  ok "the service is enabled"
  [ -x /usr/bin/velmoraFTPd ] && [ -f /usr/include/nfd_plugin.h ] &&
    [ -f /usr/share/man/man8/quorsrv.8.gz ] && [ -f /usr/share/man/man1/velmoraFTPd.1.gz ] &&
    [ -f /usr/share/applications/velmoraFTPd.desktop ] &&
    ls /usr/lib/velmoraftpd/plugins/*.so >/dev/null || not_ok "installed files"
  ok "installed files"

  echo hello >"$home/pub/hello.txt"
  chown velmoraftpd:velmoraftpd "$home/pub/hello.txt"
  write_account alice secret "$home/pub/"
  # The mistake that would expose the whole machine under a root service.
  write_account whole secret /

  # Started the way the unit starts it: its user, its one capability as ambient
  # capability, no new privileges, its environment, its umask, its ExecStart.
  local user cap environment exec_start
  user="$(sed -n 's/^User=//p' "$unit")"
  cap="$(sed -n 's/^AmbientCapabilities=CAP_//p' "$unit" | tr 'A-Z' 'a-z')"
  environment="$(sed -n 's/^Environment=//p' "$unit")"
  exec_start="$(sed -n 's/^ExecStart=//p' "$unit")"
  (
    umask "$(sed -n 's/^UMask=//p' "$unit")"
    exec setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps="+$cap" \
      --ambient-caps="+$cap" --bounding-set="-all,+$cap" --no-new-privs \
      env INVOCATION_ID=package-test "$environment" "$exec_start" >/tmp/core.log 2>&1
  ) &
  local core=$!
  wait_for_port 21 || not_ok "the Core serves on port 21: $(cat /tmp/core.log)"
  ok "the Core serves on port 21"
  local uid
  uid="$(id -u velmoraftpd)"
  expect_equal "the Core's user ids" "$(status_field "$core" Uid)" \
    "$uid	$uid	$uid	$uid"
  expect_equal "the Core's capabilities" "$(status_field "$core" CapEff)" "0000000000000400"

  expect_equal "download" "$(curl -sS --user alice:secret ftp://127.0.0.1/hello.txt)" "hello"
  echo uploaded >/tmp/up.txt
  curl -sS --user alice:secret -T /tmp/up.txt ftp://127.0.0.1/up.txt || not_ok "upload"
  expect_equal "upload owner and mode" "$(stat -c '%U:%G %a' "$home/pub/up.txt")" \
    "velmoraftpd:velmoraftpd 660"
  expect_equal "log owner" "$(stat -c '%U' "$home/user/alice.mlg")" "velmoraftpd"
  expect_equal "a world-readable file through HomeDir=/" \
    "$(curl -sS --user whole:secret ftp://127.0.0.1/etc/debian_version)" \
    "$(cat /etc/debian_version)"
  local shadow status=0
  shadow="$(curl -sS -v --user whole:secret ftp://127.0.0.1/etc/shadow 2>&1)" || status=$?
  [ "$status" -ne 0 ] && grep -q '^< 550' <<<"$shadow" || not_ok "/etc/shadow: $shadow"
  ok "/etc/shadow refused with 550"

  # Managers: the Core's own group admits an operator; anybody else is hung up on.
  adduser --quiet --disabled-password --gecos "" ftpadmin >/dev/null
  adduser --quiet ftpadmin velmoraftpd >/dev/null
  expect_equal "admin channel for nobody" "$(admin_probe nobody)" "closed"
  local verdict=""
  for _ in $(seq 50); do  # the Core listens again once a Manager has gone
    verdict="$(admin_probe ftpadmin)"
    [ "$verdict" = refused ] || break
    sleep 0.1
  done
  expect_equal "admin channel for a member of velmoraftpd" "$verdict" "held"

  kill -TERM "$core"
  status=0
  wait "$core" || status=$?
  expect_equal "stop by SIGTERM" "$status" "0"

  # Process mode as root: the packaged RunAsUser makes it serve as velmoraftpd.
  /usr/sbin/quorsrv -ns >/tmp/core-ns.log 2>&1 &
  core=$!
  wait_for_port 21 || not_ok "the Core in process mode: $(cat /tmp/core-ns.log)"
  expect_equal "process mode as root serves as" "$(status_field "$core" Uid)" \
    "$uid	$uid	$uid	$uid"
  expect_equal "download in process mode" \
    "$(curl -sS --user alice:secret ftp://127.0.0.1/hello.txt)" "hello"
  kill -TERM "$core"
  wait "$core" || not_ok "process mode stop"
  sed -i 's/^RunAsUser=velmoraftpd/RunAsUser=no-such-user/' "$home/velmoraFTPd.ini"
  status=0
  /usr/sbin/quorsrv -ns >/tmp/core-bad.log 2>&1 || status=$?
  expect_equal "a RunAsUser that does not exist" "$status:$(cat /tmp/core-bad.log)" \
    "1:quorsrv: RunAsUser=no-such-user: no such user; not serving"
  sed -i 's/^RunAsUser=no-such-user/RunAsUser=velmoraftpd/' "$home/velmoraFTPd.ini"
}

verify_unit() {
  local verdict
  verdict="$(systemd-analyze verify "$unit" 2>&1)" || not_ok "systemd-analyze verify: $verdict"
  [ -z "$verdict" ] || not_ok "systemd-analyze verify: $verdict"
  ok "systemd-analyze verify $unit"
}

before_upgrade() {
  printf '[System]\r\nMaxConnect=7\r\n' >>"$home/velmoraFTPd.ini"
  md5sum "$home/velmoraFTPd.ini" "$home/user/alice.usr" "$home/pub/up.txt" >/root/kept.md5
  ok "settings, account and upload noted"
}

after_upgrade() {
  md5sum --quiet -c /root/kept.md5 || not_ok "the upgrade changed a kept file"
  ok "settings, account and upload kept"
  expect_equal "program directory after the upgrade" "$(stat -c '%U:%G %a' "$home")" \
    "velmoraftpd:velmoraftpd 2770"
}

after_purge() {
  ! getent passwd velmoraftpd >/dev/null || not_ok "the user is still there"
  ! getent group velmoraftpd >/dev/null || not_ok "the group is still there"
  [ ! -e "$home" ] || not_ok "$home is still there"
  [ ! -e /usr/sbin/quorsrv ] || not_ok "/usr/sbin/quorsrv is still there"
  ok "user, group and program directory removed"
}

case "${1:-}" in
  verify-unit) verify_unit ;;
  serve) serve ;;
  before-upgrade) before_upgrade ;;
  after-upgrade) after_upgrade ;;
  after-purge) after_purge ;;
  *)
    echo "usage: $0 verify-unit|serve|before-upgrade|after-upgrade|after-purge" >&2
    exit 2
    ;;
esac
