-- Prints the constants appendix of docs/reference.md from the loaded module:
--   . scripts/wine-env.sh; wine_start; run_win x86_64 build/x86_64/lua.exe scripts/doc-constants.lua
require "osbridge"
local names = {}
for name, value in pairs(osbridge) do
    if type(value) == "number" then names[#names + 1] = name end
end
table.sort(names)
local columns = 3
print(("| Name | Value "):rep(columns) .. "|")
print(("|---|---:"):rep(columns) .. "|")
for first = 1, #names, columns do
    local cells = {}
    for i = first, first + columns - 1 do
        local name = names[i]
        cells[#cells + 1] = name and ("`%s` | %.0f"):format(name, osbridge[name]) or " | "
    end
    print("| " .. table.concat(cells, " | ") .. " |")
end
