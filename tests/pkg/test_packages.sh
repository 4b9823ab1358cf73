#!/usr/bin/env bash
# The ways users get the module, checked for one architecture of a finished
# preset build, under the Wine that scripts/wine-env.sh has started:
#   - `luarocks make` of the rockspec, cross-compiling with mingw-w64, and the
#     module loading from that rock tree;
#   - the release zip, unpacked into an empty folder, running the tour and each
#     recipe of examples/ there
#     with nothing of the build folder on any path;
#   - the binary rock, installed by `luarocks install FILE` with no compiler.
#
#   tests/pkg/test_packages.sh ARCH [LUA_VERSION]   (5.1, the default, to 5.5)
set -uo pipefail
cd "$(dirname "$0")/../.."
arch=$1 lua_version=${2:-5.1}
lua_digits=${lua_version/./}
preset=$arch
[ "$lua_version" = 5.1 ] || preset=$arch-lua$lua_digits
build=build/$preset${OSB_BUILD_SUFFIX:-}
. scripts/wine-env.sh
version=$(sed -n 's/^project(osbridge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rockspec=osbridge-$version-1.rockspec
[ "$arch" = i686 ] && rock_arch=win32-x86 || rock_arch=win32-x86_64
export OSB_ROOT=$PWD OSB_ARCH=$arch OSB_LUA_VERSION=$lua_version OSB_LUA_BUILD=$PWD/$build
export LUAROCKS_CONFIG=$PWD/tests/pkg/luarocks-mingw.lua
export CMAKE_BUILD_PARALLEL_LEVEL=2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # NAME COMMAND...: a passing command is a passed test; else its output is shown
    local name=$1 out start=$SECONDS; shift
    if out=$("$@" 2>&1); then
        passed=$((passed + 1)); echo "ok      $name ($((SECONDS - start)) s)"
    else
        failed=$((failed + 1)); echo "FAILED  $name"; printf '%s\n' "$out" | tail -n 30 | sed 's/^/    /'
    fi
}
# Runs a Windows program with a clean Lua search path, in folder DIR.
run_in() {  # DIR EXE [ARGS...]
    local dir=$1; shift
    # A tour that waits for a window that never answers ends here, not in CI's limit.
    (cd "$dir" && unset LUA_PATH LUA_CPATH; timeout -k 10 180 "$(wine_for "$arch")" "$@" </dev/null 2>&1 | tr -d '\r')
}
# The module from a rock tree, loaded by the build's interpreter.
loads_from_tree() {  # TREE
    local out
    printf 'require "osbridge"\nprint(osbridge._VERSION, #osbridge.crc16("x"))\n' >"$1/check.lua"
    out=$(cd "$1" && LUA_CPATH="lib\\lua\\$lua_version\\?.dll" run_win "$arch" "$(winpath "$OLDPWD/$build/lua.exe")" check.lua \
          </dev/null 2>&1 | tr -d '\r')
    [ "$out" = "$version	1" ] || { echo "got: $out"; return 1; }
}

# Debian 12's LuaRocks knows Lua up to 5.4. For 5.5, the later one that
# set-up unpacks into .tools, which wants an interpreter of that version to
# run: the build's own, through Wine.
luarocks=(luarocks)
if [ "$lua_version" = 5.5 ]; then
    mkdir -p "$work/lua/bin"
    printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$(wine_for "$arch")" "$PWD/$build/lua.exe" >"$work/lua/bin/lua5.5"
    chmod +x "$work/lua/bin/lua5.5"
    luarocks=(env "PATH=$work/lua/bin:$PATH" "LUA_PATH=$PWD/.tools/luarocks/usr/share/lua/5.1/?.lua;;"
              "$PWD/.tools/luarocks/usr/bin/luarocks")
fi

# luarocks make works in the unpacked sources, as `luarocks install` does.
src=$work/src
mkdir -p "$src"
cp -a CMakeLists.txt LICENSE README.md "$rockspec" cmake src res docs "$src"/
luarocks_make() { (cd "$src" && "${luarocks[@]}" --lua-version "$lua_version" make --tree "$work/tree" "$rockspec"); }
check "luarocks make ($arch lua$lua_version)" luarocks_make
check "the module is in the rock tree's lib" test -f "$work/tree/lib/lua/$lua_version/osbridge.dll"
check "it loads from the rock tree" loads_from_tree "$work/tree"

check "cmake --target package" cmake --build "$build" --target package
zip=$build/osbridge-$version-lua$lua_version-windows-$arch.zip
rock=$build/osbridge-$version-1.$rock_arch.rock
mkdir -p "$work/zip"
check "the zip unpacks" sh -c "cd '$work/zip' && cmake -E tar xf '$OLDPWD/$zip'"
top=$work/zip/osbridge-$version-lua$lua_version-windows-$arch
tour_from_zip() {
    local out here
    for f in osbridge.dll lua.exe lua-utf8.exe "lua$lua_digits.dll" docs/reference.md examples/tour.lua README.md LICENSE \
             LICENSE-Lua.txt; do
        [ -f "$top/$f" ] || { echo "missing $f"; return 1; }
    done
    out=$(run_in "$top" lua.exe examples\\tour.lua) || { printf '%s\n' "$out"; return 1; }
    here=$(winpath "$top")
    # The tour names where the interpreter and the module came from; Wine adds
    # nothing to its output (no sound driver messages).
    grep -qiF "lives in	$here\\" <<<"$out" && grep -qiF "$here\\osbridge.dll" <<<"$out" \
        && ! grep -qE '\(failed:|^ALSA|^0 top-level windows' <<<"$out" && ! grep -qi 'build\\' <<<"$out" || { printf '%s\n' "$out"; return 1; }
}
check "the tour runs from the unpacked zip" tour_from_zip
# Each recipe checks its own results and fails with a Lua error; the UTF-8 one
# runs under the UTF-8 host it is written for.
recipe_from_zip() {  # NAME
    local host=lua.exe out
    [ "$1" = clipboard_utf8 ] && host=lua-utf8.exe
    out=$(run_in "$top" "$host" "examples\\$1.lua") && ! grep -q '^ALSA' <<<"$out" || { printf '%s\n' "$out"; return 1; }
}
for recipe in examples/*.lua; do
    recipe=$(basename "$recipe" .lua)
    [ "$recipe" = tour ] || check "the recipe $recipe runs from the unpacked zip" recipe_from_zip "$recipe"
done

# No compiler: every build tool LuaRocks could call is replaced by false.
check "luarocks install of the binary rock" \
    env OSB_ROCK_NO_TOOLS=1 "${luarocks[@]}" --lua-version "$lua_version" install --tree "$work/bintree" "$rock"
check "it loads from that tree" loads_from_tree "$work/bintree"
rock_depends_on_its_lua() {
    local rockspec_text
    mkdir -p "$work/rock" && (cd "$work/rock" && cmake -E tar xf "$OLDPWD/$rock") || return 1
    rockspec_text=$(cat "$work/rock/$rockspec") || return 1
    grep -qF "dependencies = { \"lua ~> $lua_version\" }" <<<"$rockspec_text" || { grep -F dependencies <<<"$rockspec_text"; return 1; }
}
check "the binary rock depends on Lua $lua_version" rock_depends_on_its_lua

echo "pkg tests: $passed passed, $failed failed"
[ "$failed" = 0 ]
