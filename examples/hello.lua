#!/usr/bin/velc_lua
-- A Lua script for velc_lua (or velc -S hello.lua ...): greets the names given after it.
--   ./hello.lua Ada Linus
-- The arguments are the script's `...` and arg[1], arg[2], ...; arg[0] is the script's path.
-- What the script prints comes out when it has finished.

local names = {...}
if #names == 0 then names = {"world"} end
for i, name in ipairs(names) do
  print(("%d. Hello, %s!"):format(i, name))
end
io.write(("%d name(s), greeted by %s.\n"):format(#names, _VERSION))
