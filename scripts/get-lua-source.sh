#!/usr/bin/env bash
# Unpacks Debian's lua5.1 source package (with Debian's patches) into $1.
set -euo pipefail
dest=$1
[ -f "$dest/src/lua.c" ] && exit 0
mkdir -p "$(dirname "$dest")"
exec 9>"$dest.lock"
flock 9
[ -f "$dest/src/lua.c" ] && exit 0
work=$(mktemp -d "$(dirname "$dest")/lua-source.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq lua5.1 >/dev/null 2>&1) || {
    echo "apt-get source lua5.1 failed: is a deb-src entry configured (scripts/setup.sh)?" >&2
    exit 1
}
mv "$work"/lua5.1-*/ "$dest"
