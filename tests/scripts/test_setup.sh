#!/usr/bin/env bash
# The archive that set-up writes into its own sources lists is read from the
# machine's apt configuration: each case is a scratch /etc/apt and what
# archive_entry must make of it ("" for no usable entry).
set -uo pipefail
cd "$(dirname "$0")/../.."
. scripts/apt-archive.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'ID=debian\nVERSION_CODENAME=bookworm\n' >"$work/os-release"
export OSB_OS_RELEASE=$work/os-release
passed=0 failed=0

# NAME EXPECTED FILE CONTENT [FILE CONTENT ...]
check() {
    local name=$1 expected=$2 etc=$work/$1 got; shift 2
    mkdir -p "$etc/sources.list.d"
    while [ $# -gt 0 ]; do printf '%b' "$2" >"$etc/$1"; shift 2; done
    got=$(archive_entry "$etc" 2>/dev/null)
    if [ "$got" = "$expected" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1)); echo "FAILED  $name: got '$got', expected '$expected'"
    fi
}

key=/usr/share/keyrings/debian-archive-keyring.gpg
check deb822 "http://mirror.example/debian $key" sources.list.d/debian.sources \
    "Types: deb\n# a comment\nURIs: http://mirror.example/debian/\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: $key\n\nTypes: deb\nURIs: http://mirror.example/debian-security\nSuites: bookworm-security\nComponents: main\n"
check deb822-disabled-first "http://127.0.0.1:3142/debian -" sources.list.d/a.sources \
    "Types: deb\nURIs: http://old.example/debian\nSuites: bookworm\nComponents: main\nEnabled: no\n\nTypes: deb-src deb\nURIs: http://127.0.0.1:3142/debian\nSuites: bookworm\nComponents: contrib main\n"
check deb822-other-suites-only "" sources.list.d/a.sources \
    "Types: deb\nURIs: http://mirror.example/debian\nSuites: bookworm-updates trixie\nComponents: main\n\nTypes: deb-src\nURIs: http://src.example/debian\nSuites: bookworm\nComponents: main\n"
check one-line "http://proxy.local:3142/debian /etc/k.gpg" sources.list \
    "# deb http://commented.example/debian bookworm main\ndeb-src http://src.example/debian bookworm main\ndeb [arch=amd64 signed-by=/etc/k.gpg] http://proxy.local:3142/debian bookworm contrib main\n"
check one-line-in-list-file "file:/srv/mirror -" sources.list.d/local.list \
    "deb file:/srv/mirror bookworm main\n"
check deb822-before-one-line "http://a.example/debian -" sources.list.d/a.sources \
    "Types: deb\nURIs: http://a.example/debian\nSuites: bookworm\nComponents: main" sources.list \
    "deb http://b.example/debian bookworm main\n"
check no-main-component "" sources.list "deb http://a.example/debian bookworm contrib non-free\n"
check nothing "" sources.list ""

# What set-up writes for another suite: no address of its own.
got=$(archive_stanza deb trixie http://mirror.example/debian -)
if [ "$got" = $'Types: deb\nURIs: http://mirror.example/debian\nSuites: trixie\nComponents: main' ]; then
    passed=$((passed + 1))
else
    failed=$((failed + 1)); echo "FAILED  stanza: got '$got'"
fi
# The suites whose lists an update could not fetch, from apt's own messages.
printf '%s\n' 'E: Failed to fetch http://m.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]' \
    '   Hashes of expected file:' 'W: Failed to fetch file:/srv/mirror/dists/bookworm-updates/InRelease  404  Not Found' \
    'E: Failed to fetch http://m.example/debian-security/dists/bookworm-security/main/binary-amd64/Packages.xz  Hash Sum mismatch' \
    'E: Some index files failed to download. They have been ignored, or old ones used instead.' >"$work/apt.err"
got=$(failed_suites "$work/apt.err")
if [ "$got" = "bookworm-security bookworm-updates" ]; then
    passed=$((passed + 1))
else
    failed=$((failed + 1)); echo "FAILED  failed_suites: got '$got'"
fi
# No file of the project names an archive host.
if hosts=$(git grep -nIE 'deb\.debian\.org|security\.debian\.org|ftp\.[a-z.]*debian\.org' -- .); then
    failed=$((failed + 1)); echo "FAILED  archive hosts named in the project:"; echo "$hosts"
else
    passed=$((passed + 1))
fi
echo "setup tests: $passed passed, $failed failed"
[ "$failed" = 0 ]
