#!/usr/bin/env bash
# The ways users get the module, checked for one architecture of a finished
# preset build, under the Wine that scripts/wine-env.sh has started, from the
# release files that `cmake --target package` leaves:
#   - the zip, unpacked into C:\ as the README's quick start says, and the
#     quick start run as written there: its hello.lua saved in the unpacked
#     folder, its commands in a command window; then the tour and each recipe
#     of examples/ in that folder, with nothing of the build folder on any path;
#   - the source rock, installed by `luarocks install FILE` with no network
#     (cross-compiling with mingw-w64), and the module loading from that tree;
#     for 5.1 also under LuaJIT, in a host whose memory runs out;
#   - the binary rock, installed from the rocks server folder of its Lua
#     version with no compiler and no network.
#
#   tests/pkg/test_packages.sh ARCH [LUA_VERSION]   (5.1, the default, to 5.5)
set -uo pipefail
cd "$(dirname "$0")/../.."
arch=$1 lua_version=${2:-5.1}
lua_digits=${lua_version/./}
preset=$arch
[ "$lua_version" = 5.1 ] || preset=$arch-lua$lua_digits
build=build/$preset${OSB_BUILD_SUFFIX:-}
# The helpers without Lua (the box answerer) of the 5.1 build where it has them.
helpers=${build/-lua5[0-9]/}/fixtures
[ -d "$helpers" ] || helpers=$build/fixtures
. scripts/wine-env.sh
version=$(sed -n 's/^project(osbridge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rockspec=osbridge-$version-1.rockspec
case $arch in i686) rock_arch=win32-x86 ;; aarch64) rock_arch=win32-arm64 ;; *) rock_arch=win32-x86_64 ;; esac
export OSB_ROOT=$PWD OSB_ARCH=$arch OSB_LUA_VERSION=$lua_version OSB_LUA_BUILD=$PWD/$build
export LUAROCKS_CONFIG=$PWD/tests/pkg/luarocks-mingw.lua
export CMAKE_BUILD_PARALLEL_LEVEL=2

work=$(mktemp -d)
folder=osbridge-$version-lua$lua_version-windows-$arch
top=$WINEPREFIX/drive_c/$folder  # C:\ of the prefix
trap 'rm -rf "$work" "$top"' EXIT
passed=0 failed=0
check() {  # NAME COMMAND...: a passing command is a passed test; else its output is shown
    local name=$1 out start=$SECONDS; shift
    if out=$("$@" 2>&1); then
        passed=$((passed + 1)); echo "ok      $name ($((SECONDS - start)) s)"
    else
        failed=$((failed + 1)); echo "FAILED  $name"; printf '%s\n' "$out" | tail -n 30 | sed 's/^/    /'
    fi
}
# Runs a Windows program with a clean Lua search path, in folder DIR, and
# prints its output. It fails when the program fails, outlives its bound, or
# leaves a program of its own running (which is then ended). Programs that the
# calling shell started beside it are waited for first, once the file that
# the caller's beside_stop names tells them to end.
run_in() {  # DIR EXE [ARGS...]
    local dir=$1 log status left; shift
    log=$(mktemp)
    (cd "$dir" && unset LUA_PATH LUA_CPATH && wine_bounded "$(bound 180)" "$log" "$(wine_for "$arch")" "$@")
    status=$?
    [ -z "${beside_stop:-}" ] || : >"$beside_stop"
    wait
    tr -d '\r' <"$log"
    rm -f "$log"
    left=$(wine_leftovers)
    [ -z "$left" ] || { printf 'left running:\n%s\n' "$left"; wine_restart; return 1; }
    return "$status"
}
# The module from a rock tree, loaded by the build's interpreter.
loads_from_tree() {  # TREE
    local out
    printf 'package.cpath = [[lib\\lua\\%s\\?.dll]]\nrequire "osbridge"\nprint(osbridge._VERSION, #osbridge.crc16("x"))\n' \
        "$lua_version" >"$1/check.lua"
    out=$(run_in "$1" "$(winpath "$build/lua.exe")" check.lua)
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

check "cmake --target package" cmake --build "$build" --target package
zip=$build/$folder.zip
server=$build/rocks-$lua_version
rock=$server/osbridge-$version-1.$rock_arch.rock

# Unpacked into C:\ as the README says: one folder, named like the zip.
zip_unpacks() {
    rm -rf "$top" "$work/zip" && mkdir -p "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$OLDPWD/$zip") || return 1
    [ "$(ls -A "$work/zip")" = "$folder" ] || { echo "the zip holds:" $(ls -A "$work/zip"); return 1; }
    mv "$work/zip/$folder" "$top"
}
check "the zip unpacks into one folder named like it" zip_unpacks
# The README and docs of the zip link only to files the zip holds.
zip_links() {
    local doc link broken=()
    for doc in "$top"/README.md "$top"/docs/*.md; do
        while read -r link; do
            [ -e "$(dirname "$doc")/$link" ] || broken+=("${doc#"$top"/}: $link")
        done < <(grep -o '](\([^)#: ]\+\)[)#]' "$doc" | sed 's/^](//; s/[)#]$//')
    done
    [ ${#broken[@]} = 0 ] || { printf 'broken link %s\n' "${broken[@]}"; return 1; }
}
check "the docs' links resolve in the unpacked zip" zip_links

# The quick start of the README, as written: hello.lua with the text shown
# there, saved in the unpacked folder, and the commands shown there, in a
# command window (which opens on drive C:). The box answerer closes the
# message box as its reader would; it gives up when BOX_LOG.stop appears
# (or after the time given).
readme_hello() {
    awk '/Save this as `hello.lua`/ { f = 1; next } f && /^ *```lua$/ { f = 2; next }
         f == 2 && /^ *```$/ { exit } f == 2 { sub(/^   /, ""); print }' README.md
}
readme_commands() {
    awk '/\*\*Run it\*\*/ { f = 1; next } f && /^       [^ ]/ { sub(/^ +/, ""); print; g = 1; next } g { exit }' README.md
}
quick_start() {
    local hello commands text caption out status answer=$work/box.log beside_stop=$work/box.log.stop
    hello=$(readme_hello)
    mapfile -t commands < <(readme_commands)
    # The README shows the folder of the 64-bit Lua 5.4 zip; each zip's is named alike.
    [ "${#commands[@]}" = 2 ] && [ "${commands[0]}" = "cd C:\\osbridge-$version-lua5.4-windows-x86_64" ] \
        || { printf 'the README says to run:\n'; printf '    %s\n' "${commands[@]}"; return 1; }
    text=$(sed -n 's/^osbridge\.msgbox("\([^"]*\)", "[^"]*")$/\1/p' <<<"$hello")
    caption=$(sed -n 's/^osbridge\.msgbox("[^"]*", "\([^"]*\)")$/\1/p' <<<"$hello")
    [ -n "$caption" ] || { printf 'no message box in the README'"'"'s hello.lua:\n%s\n' "$hello"; return 1; }
    printf '%s\n' "$hello" >"$top/hello.lua"
    wine_bounded "$(bound 150)" /dev/null "$(wine_for "$arch")" "$(winpath "$helpers/boxanswer.exe")" \
        "$caption" "$(winpath "$answer")" "$(($(bound 120) * 1000))" &
    run_in "$WINEPREFIX/drive_c" cmd /c "cd C:\\$folder && ${commands[1]}" >"$work/hello.out"
    status=$?
    out=$(cat "$work/hello.out")
    # The module's version, then Windows' major, minor, build and platform (NT).
    [ "$status" = 0 ] && grep -qE "^${version//./\\.}	[0-9]+	[0-9]+	[0-9]+	2	" <<<"$out" \
        && [ "$(tr -d '\r' <"$answer" 2>/dev/null | sed -n 's/^text //p;/^answered$/p')" = "$text
answered" ] || { printf '%s\n' "$out"; echo "box answerer:"; tr -d '\r' <"$answer"; return 1; }
}
check "the README's quick start runs from the unpacked zip" quick_start

zip_holds_all() {
    local f
    for f in osbridge.dll lua.exe lua-utf8.exe "lua$lua_digits.dll" docs/reference.md examples/tour.lua README.md LICENSE \
             LICENSE-Lua.txt manifests/{lua,lua-utf8}.{manifest,rc}; do
        [ -f "$top/$f" ] || { echo "missing $f"; return 1; }
    done
}
check "the zip holds the module, its hosts and their manifests, the docs and the examples" zip_holds_all

tour_from_zip() {
    local out here="C:\\$folder"
    out=$(run_in "$top" lua.exe examples\\tour.lua) || { printf '%s\n' "$out"; return 1; }
    # The tour names where the interpreter and the module came from; Wine adds
    # nothing to its output (no sound driver messages).
    grep -qiF "lives in	$here\\" <<<"$out" && grep -qiF "$here\\osbridge.dll" <<<"$out" \
        && ! grep -qE '\(failed:|^ALSA|^0 top-level windows' <<<"$out" && ! grep -qi 'build\\' <<<"$out" || { printf '%s\n' "$out"; return 1; }
}
# Wine on ARM64 lists no process's modules, which the tour and some recipes
# use to find their own process: there (and only where the list fails) they
# are skipped, saying so.
modules_listed=true
[ "$arch" != aarch64 ] || modules_listed=$(run_in "$top" lua.exe -e "print(require('osbridge').process_modules(0) ~= nil)")
skip_without_modules() {  # NAME FILE: whether it was skipped
    [ "$modules_listed" = false ] && grep -q process_modules "$2" || return 1
    echo "skipped: $1: Wine on ARM64 lists no process's modules (its module snapshot fails with error 5)"
}
skip_without_modules "the tour" examples/tour.lua || check "the tour runs from the unpacked zip" tour_from_zip
# Each recipe checks its own results and fails with a Lua error; the UTF-8
# one chooses UTF-8 itself, under the stock interpreter.
recipe_from_zip() {  # NAME
    local out
    out=$(run_in "$top" lua.exe "examples\\$1.lua") && ! grep -q '^ALSA' <<<"$out" || { printf '%s\n' "$out"; return 1; }
}
for recipe in examples/*.lua; do
    recipe=$(basename "$recipe" .lua)
    [ "$recipe" = tour ] || skip_without_modules "the recipe $recipe" "examples/$recipe.lua" \
        || check "the recipe $recipe runs from the unpacked zip" recipe_from_zip "$recipe"
done

# The release's own files are all LuaRocks needs: each install runs with no
# network at all (a network namespace of its own).
check "luarocks install of the source rock, offline ($arch lua$lua_version)" \
    unshare -n "${luarocks[@]}" --lua-version "$lua_version" install --tree "$work/tree" "$build/osbridge-$version-1.src.rock"
check "the module is in the rock tree's lib" test -f "$work/tree/lib/lua/$lua_version/osbridge.dll"
check "it loads from the rock tree" loads_from_tree "$work/tree"
# LuaJIT loads the 5.1 rock's module too: a memory error in it must reach the
# host as one (no message handler run), as with the preset build's module.
rock_module_under_luajit() {
    local dir=$work/luajit out
    mkdir -p "$dir" && cp "$build/luajit/lua51.dll" "$build/fixtures/threads_host.exe" "$dir"/ || return 1
    out=$(run_in "$dir" "$(winpath "$dir/threads_host.exe")" "$(winpath "$work/tree/lib/lua/5.1")" 0 memory) \
        && grep -q "^done, 0 failed" <<<"$out" || { printf '%s\n' "$out"; return 1; }
}
if [ "$lua_version" = 5.1 ] && [ -f "$build/luajit/lua51.dll" ]; then
    check "under LuaJIT, the rock tree's module raises a memory error as one" rock_module_under_luajit
fi

# No compiler: every build tool LuaRocks could call is replaced by false.
check "luarocks install from the rocks server folder rocks-$lua_version, offline, with no compiler" \
    env OSB_ROCK_NO_TOOLS=1 unshare -n "${luarocks[@]}" --lua-version "$lua_version" install --tree "$work/bintree" \
    osbridge --only-server="$server"
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
