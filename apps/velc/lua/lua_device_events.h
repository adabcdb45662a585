// Listening to veld's events from Lua: device.listen(group, ...) opens a listener, a connection
// of its own (the client's events connection stays the shell's), whose `wait` gives the next
// event of its groups.
#pragma once

#include <lua.hpp>

// device.listen(group, ...): a listener on the groups (integers 0 to 4294967295), or raises
// the fault of the connection or of a JoinGroup.
int lua_device_listen(lua_State* L);
