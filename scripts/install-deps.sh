#!/usr/bin/env bash
# Installs the Debian packages that building, the demo and the tests need, when
# missing. Idempotent. Run it as a normal user: it asks for sudo only when
# something has to be installed (as root it installs directly).
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb-cursor0 xvfb xauth
  dovecot-core dovecot-pop3d
  python3 python3-aiosmtpd
  imagemagick x11-apps x11-utils libqt6svg6 xdotool
  scdoc file
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: installing them needs root; run this script as root, or install sudo" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi

# The tests and the demo start private Dovecot servers of their own. The
# system-wide server that dovecot-core comes with is not wanted, but one that
# is already running belongs to someone else and must be left alone, so only
# a server that this run started is stopped:
#  - while installing, /usr/sbin/policy-rc.d answers 101 ("action forbidden"),
#    which invoke-rc.d and deb-systemd-invoke obey, so the package scripts start
#    nothing. A policy file that is already there is left as it is.
#  - a machine's own policy may still allow starting services. So the state of
#    the system-wide server is noted before installing and stopped afterwards
#    only if it was not running before and is running now. It is told apart
#    from every other Dovecot by its own places: the systemd units, and the
#    master.pid in the system configuration's base_dir (private servers use a
#    base_dir of their own, so their processes are never looked at). A system
#    server that was running before is not touched even if the package
#    restarted it: stopping it would take down a developer's server.
systemd_units=(dovecot.socket dovecot.service)
have_systemd() { [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1; }
unit_active() { systemctl is-active --quiet "$1" 2>/dev/null; }
# The pid of the running system-wide master, or nothing.
system_dovecot_pid() {
  local base_dir pid
  base_dir=$("${sudo_cmd[@]}" doveconf -h base_dir 2>/dev/null) || base_dir=
  [ -n "$base_dir" ] || base_dir=/run/dovecot
  pid=$("${sudo_cmd[@]}" cat "${base_dir%/}/master.pid" 2>/dev/null) || return 0
  case "$pid" in '' | *[!0-9]*) return 0 ;; esac
  local state command
  read -r state command < <(ps -p "$pid" -o stat= -o comm= 2>/dev/null) || return 0
  # A zombie has ended already; only a live master counts.
  if [ "$command" = dovecot ] && [[ "$state" != Z* ]]; then echo "$pid"; fi
}

echo "Installing: ${missing[*]}"
units_active_before=()
if have_systemd; then
  for unit in "${systemd_units[@]}"; do
    if unit_active "$unit"; then units_active_before+=("$unit"); fi
  done
fi
dovecot_pid_before=$(system_dovecot_pid)

policy_file=/usr/sbin/policy-rc.d
created_policy=0
cleanup() {
  if [ "$created_policy" -eq 1 ]; then "${sudo_cmd[@]}" rm -f "$policy_file"; fi
}
trap cleanup EXIT
if [ ! -e "$policy_file" ]; then
  created_policy=1
  printf '#!/bin/sh\n# Written by install-deps.sh while it installs; removed afterwards.\nexit 101\n' |
    "${sudo_cmd[@]}" tee "$policy_file" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy_file"
fi

"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}"

if have_systemd; then
  for unit in "${systemd_units[@]}"; do
    if unit_active "$unit" && [[ " ${units_active_before[*]} " != *" $unit "* ]]; then
      echo "install-deps: stopping $unit, started while installing"
      "${sudo_cmd[@]}" systemctl stop "$unit"
    fi
  done
fi
if [ -z "$dovecot_pid_before" ]; then
  pid=$(system_dovecot_pid)
  if [ -n "$pid" ]; then
    echo "install-deps: stopping the system-wide Dovecot (pid $pid), started while installing"
    "${sudo_cmd[@]}" kill -TERM "$pid"
  fi
fi
