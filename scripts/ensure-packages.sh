#!/usr/bin/env bash
# Installs the Debian packages named as arguments when any of them is missing.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

missing=()
for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
else
    SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# Another install may hold the package lock (parallel builds, unattended upgrades): wait for it.
APT=(apt-get -o DPkg::Lock::Timeout=600)
"${SUDO[@]}" "${APT[@]}" update
"${SUDO[@]}" "${APT[@]}" install -y --no-install-recommends "${missing[@]}"
