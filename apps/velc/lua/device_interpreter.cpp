#include "lua/device_interpreter.h"

#include "lua/lua_device.h"

std::unique_ptr<k::LuaContext> make_device_interpreter(k::Connection* requests) {
  auto interpreter = std::make_unique<k::LuaContext>();
  interpreter->messaging = requests;
  // Fails only when Lua is out of memory; the first device call then fails the same way.
  lua_device_register(interpreter->state());
  return interpreter;
}
