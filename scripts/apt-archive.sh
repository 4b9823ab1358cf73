# Sourced by the scripts: the Debian archive this machine's apt already uses,
# so that a local mirror or proxy keeps working and no address is written here.
#
#   archive_entry [APT_ETC]   prints "URI SIGNED_BY" of the first enabled
#                             `deb` entry for this release's main component,
#                             read from APT_ETC (default /etc/apt): the deb822
#                             files sources.list.d/*.sources and the one-line
#                             sources.list and sources.list.d/*.list
#   os_codename [OS_RELEASE]  this release's code name (bookworm)
#   failed_suites FILE        the suites whose lists apt's messages in FILE
#                             say it could not fetch, one line

os_codename() {
    (. "${1:-/etc/os-release}" && printf '%s\n' "${VERSION_CODENAME:?no VERSION_CODENAME in ${1:-/etc/os-release}}")
}

archive_entry() {
    local etc=${1:-/etc/apt} suite files=() f
    suite=$(os_codename "${OSB_OS_RELEASE:-/etc/os-release}") || return 1
    for f in "$etc"/sources.list.d/*.sources "$etc"/sources.list "$etc"/sources.list.d/*.list; do
        [ -f "$f" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] && awk -v suite="$suite" '
        function has(list, word,   n, i, a) { n = split(list, a, /[ \t]+/); for (i = 1; i <= n; i++) if (a[i] == word) return 1; return 0 }
        function found(uri, key) { sub(/\/+$/, "", uri); print uri, (key == "" ? "-" : key); done = 1; exit }
        function stanza() {
            if (types != "" && has(types, "deb") && has(suites, suite) && has(comps, "main") && tolower(enabled) != "no")
                found(uris, signed)
            types = uris = suites = comps = signed = enabled = ""
        }
        FNR == 1 { if (deb822) stanza(); deb822 = FILENAME ~ /\.sources$/ }
        deb822 {
            if ($0 ~ /^[ \t]*$/) { stanza(); next }
            if ($0 ~ /^#/ || $0 !~ /^[A-Za-z-]+:/) next
            field = tolower($0); sub(/:.*/, "", field)
            value = $0; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
            if (field == "types") types = value
            else if (field == "uris") { uris = value; sub(/[ \t].*/, "", uris) }
            else if (field == "suites") suites = value
            else if (field == "components") comps = value
            else if (field == "signed-by") signed = value
            else if (field == "enabled") enabled = value
            next
        }
        /^[ \t]*deb[ \t]/ {
            line = $0; sub(/#.*/, "", line); key = ""
            if (match(line, /\[[^]]*\]/)) {
                opts = substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
                if (match(opts, /signed-by=[^ \t]+/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
            }
            n = split(line, w, /[ \t]+/); i = (w[1] == "" ? 2 : 1)
            if (w[i + 2] == suite) { comps = ""; for (j = i + 3; j <= n; j++) comps = comps " " w[j]; if (has(comps, "main")) found(w[i + 1], key) }
        }
        END { if (!done && deb822) stanza(); if (!done) exit 1 }' "${files[@]}" && return 0
    echo "no enabled 'deb' entry for $suite main in $etc (sources.list.d/*.sources, sources.list, sources.list.d/*.list)" >&2
    return 1
}

# A deb822 stanza for the same archive with other types and suite.
archive_stanza() {  # TYPES SUITE URI SIGNED_BY
    printf 'Types: %s\nURIs: %s\nSuites: %s\nComponents: main\n' "$1" "$3" "$2"
    [ "$4" = - ] || printf 'Signed-By: %s\n' "$4"
}

failed_suites() {
    sed -n 's|^[EW]: Failed to fetch [^ ]*/dists/\([^/ ]*\)/.*|\1|p' "$1" | sort -u | tr '\n' ' ' | sed 's/ $//'
}
