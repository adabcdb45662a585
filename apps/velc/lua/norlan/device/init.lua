-- norlan.device: Lua scripts read and change the data model and act on the device over velc's
-- own connection, with its login. The requests are velc's built-in core ("velc.device"); this
-- file adds what is simpler written in Lua. docs/lua-api.md describes every function.
local device = require("velc.device")
-- Known by one name only, so that an error names "norlan.device.get" and not the core.
package.loaded["velc.device"] = nil

-- The value of one parameter (nil when veld gives none).
function device.value(path)
  if type(path) ~= "string" then
    error(("bad argument #1 to 'norlan.device.value' (string expected, got %s)"):format(type(path)), 2)
  end
  return device.get(path)[path]
end

-- The numbers of a table's instances, ascending.
function device.instances(table_path)
  if type(table_path) ~= "string" then
    error(("bad argument #1 to 'norlan.device.instances' (string expected, got %s)"):format(type(table_path)), 2)
  end
  local base = table_path:sub(-1) == "." and table_path or table_path .. "."
  local numbers = {}
  for _, name in ipairs(device.names(base, true)) do
    local n = name:sub(#base + 1):match("^(%d+)%.$")
    if n then numbers[#numbers + 1] = math.tointeger(tonumber(n)) end
  end
  table.sort(numbers)
  return numbers
end

-- Iterates over a table's instances in ascending order: for number, values in device.each(t),
-- the values as device.tree gives them, all read in one request.
function device.each(table_path)
  if type(table_path) ~= "string" then
    error(("bad argument #1 to 'norlan.device.each' (string expected, got %s)"):format(type(table_path)), 2)
  end
  local instances = device.tree(table_path)
  local numbers = {}
  for key in pairs(instances) do
    if math.type(key) == "integer" then numbers[#numbers + 1] = key end
  end
  table.sort(numbers)
  local i = 0
  return function()
    i = i + 1
    local n = numbers[i]
    if n then return n, instances[n] end
  end
end

return device
