-- Small helpers shared by the Lua test files.
local support = {}

-- The whole content of a file, or nil when it can't be opened.
function support.read_file(path)
    local file = io.open(path, "rb")
    if not file then return nil end
    local text = file:read("*a")
    file:close()
    return text
end

return support
