#!/usr/bin/env bash
# Prints the Debian mirror this machine's apt already uses (the first that is
# not a security one), unless QF_MIRROR names another; fails when there is none.
set -euo pipefail
mirror="${QF_MIRROR:-$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}')}"
[ -n "$mirror" ] || mirror="$(awk '$1 == "deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null)"
[ -n "$mirror" ] || { echo "error: no Debian mirror in /etc/apt: set QF_MIRROR" >&2; exit 1; }
echo "$mirror"
