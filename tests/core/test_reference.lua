-- The reference and the README against the module: every name written as a
-- field of the table is one, the constants appendix matches the table, and
-- every example is valid Lua.
local support = require "support"

local DOCS = {}
for _, name in ipairs({ "docs\\reference.md", "README.md" }) do
    DOCS[name] = assert(support.read_file(SUITE_DIR .. "\\..\\" .. name), name)
end

TestReference = {}

function TestReference:test_names_written_as_fields_are_fields()
    local missing = {}
    for doc, text in pairs(DOCS) do
        for name in text:gmatch("osbridge%.([%a_][%w_]*)") do
            if osbridge[name] == nil and name ~= "dll" then missing[#missing + 1] = doc .. ": osbridge." .. name end
        end
        -- `CAPITAL_NAMES` in code style, leaving out groups such as `SM_*` or `MB_`
        -- and environment variables (LUA_CPATH).
        for name in text:gmatch("`([A-Z][A-Z0-9]*_[%w_]*%w)`") do
            if osbridge[name] == nil and not name:match("^LUA_") then missing[#missing + 1] = doc .. ": " .. name end
        end
    end
    table.sort(missing)
    lu.assertEquals(missing, {})
end

function TestReference:test_appendix_lists_every_constant_with_its_value()
    local appendix = assert(DOCS["docs\\reference.md"]:match("\n## Appendix: constants\n(.*)$"))
    local listed, wrong, count = {}, {}, 0
    for name, value in appendix:gmatch("`([%w_]+)` | (%-?%d+)") do
        listed[name] = true
        count = count + 1
        if osbridge[name] ~= tonumber(value) then
            wrong[#wrong + 1] = ("%s: listed %s, table %s"):format(name, value, tostring(osbridge[name]))
        end
    end
    for name, value in pairs(osbridge) do
        if type(value) == "number" and not listed[name] then wrong[#wrong + 1] = name .. ": not listed" end
    end
    table.sort(wrong)
    lu.assertEquals(wrong, {})
    lu.assertEquals(count, 273)
end

function TestReference:test_examples_are_valid_lua()
    local bad, count = {}, 0
    for doc, text in pairs(DOCS) do
        for code in text:gmatch("```lua\n(.-)```") do
            count = count + 1
            local ok, err = loadstring(code, doc)
            if not ok then bad[#bad + 1] = err end
        end
    end
    lu.assertEquals(bad, {})
    lu.assertTrue(count > 40, "examples found: " .. count)
end

function TestReference:test_index_lists_every_function_once()
    local index = assert(DOCS["docs\\reference.md"]:match("\n## Function index\n(.-)\n## "))
    local listed, wrong = {}, {}
    for name in index:gmatch("\n| `([%w_]+)[({]") do
        if listed[name] then wrong[#wrong + 1] = name .. ": listed twice" end
        listed[name] = true
        if type(osbridge[name]) ~= "function" then wrong[#wrong + 1] = name .. ": no such function" end
    end
    for name, value in pairs(osbridge) do
        if type(value) == "function" and not listed[name] then wrong[#wrong + 1] = name .. ": not listed" end
    end
    table.sort(wrong)
    lu.assertEquals(wrong, {})
end

function TestReference:test_function_headings_have_one_form()
    local other = {}
    for heading in DOCS["docs\\reference.md"]:gmatch("\n### ([^\n]*)") do
        local rest = heading:gsub("`osbridge%.[%w_]+%b()`", ""):gsub("`osbridge%.shell_execute%b{}`", "")
        if rest:find("[^, ]") and heading ~= "Fixed answers" then other[#other + 1] = heading end
    end
    lu.assertEquals(other, {})
end
