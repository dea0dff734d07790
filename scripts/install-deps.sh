#!/usr/bin/env bash
# Installs the Debian packages that building, the demo and the tests need, when missing.
# Idempotent; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb-cursor0 xvfb xauth
  dovecot-core dovecot-pop3d
  python3 python3-aiosmtpd
  imagemagick x11-apps x11-utils libqt6svg6 xdotool
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
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
# Installing dovecot-core may try to start the system-wide service; the tests run
# their own private servers, so keep package scripts from starting any daemon.
policy_file=/usr/sbin/policy-rc.d
created_policy=0
if [ ! -e "$policy_file" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy_file" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy_file"
  created_policy=1
fi
cleanup() {
  if [ "$created_policy" -eq 1 ]; then "${sudo_cmd[@]}" rm -f "$policy_file"; fi
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Stop a system-wide dovecot if something started it anyway.
if command -v systemctl >/dev/null 2>&1; then
  "${sudo_cmd[@]}" systemctl stop dovecot 2>/dev/null || true
fi
"${sudo_cmd[@]}" pkill -x dovecot 2>/dev/null || true
