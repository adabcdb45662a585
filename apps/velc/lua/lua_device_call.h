// The frame of every function of the device module. Lua raises errors with longjmp, which must
// never cross a C++ frame holding objects: so a function does its C++ work (requests, replies)
// in `device_guarded`, pushes its results from plain data inside a protected call
// (`device_push`), and only the outer C function, holding nothing, raises.
#pragma once

#include <string>

#include <lua.hpp>

#include "platform/interrupt.h"
#include "platform/jrpc_connection.h"

// What device_guarded gives when the body failed without pushing an error object.
inline constexpr int kDeviceInterrupted = -2;   // Ctrl-C: raise "interrupted!"
inline constexpr int kDeviceOutOfMemory = -3;   // raise "not enough memory"

// Runs `body` (returning the number of results pushed, or -1 with an error object on top),
// catching what it throws: k::Interrupted gives kDeviceInterrupted (with Ctrl-C's flag raised
// again, so that the interpreter's hook stops the chunk and the runner sees the interrupt),
// anything else kDeviceOutOfMemory.
template <typename Body>
int device_guarded(Body body) noexcept;

// Turns device_guarded's result into the C function's return, raising the error it stands for.
// Call it only where nothing with a destructor is alive.
int device_finish(lua_State* L, int result);

// Calls `push(L, data)` inside a protected call: its results stay on the stack. The number of
// results, or -1 with the error object on top.
int device_push(lua_State* L, int (*push)(lua_State*, const void*), const void* data);

// Sends `m` on the connection (see Connection::exec), without time-out (Ctrl-C ends the wait);
// the connection's time-out is kept. A result reply may go to `large` when given. The result of
// exec.
int device_exchange(k::Connection& c, k::Message& m, k::LargeReply* large = nullptr);

// Pushes the fault of a reply that is no result (veld's error, or the exchange's failure) as a
// fault object: a table {code=, message=, detail=, data=} whose tostring is
// "[code] message: detail". -1 (an error object is on top, for device_finish).
int device_push_fault(lua_State* L, const k::Message& m);

// Raises the "norlan.device: no connection" error unless the interpreter has a connection;
// the connection.
k::Connection& device_connection(lua_State* L);

// Pushes the error message "bad argument #<index> to '<function>' (<what>)". -1 (an error
// object is on top), or the status of a failed push.
int device_bad_argument(lua_State* L, int index, const char* function, std::string what);
// The text at `index`, a string already checked (so never converted in place).
std::string device_text_at(lua_State* L, int index);
// An object path: the text at `index` with a trailing dot.
std::string device_object_path_at(lua_State* L, int index);
// Exchanges `m` and pushes the fault when the reply is none: true when there is a result, else
// false with `status` the fault's.
bool device_exchange_ok(lua_State* L, k::Connection& c, k::Message& m, int& status,
                        k::LargeReply* large = nullptr);

template <typename Body>
int device_guarded(Body body) noexcept {
  try {
    return body();
  } catch (const k::Interrupted&) {
    k::g_interrupt_requested = 1;
    return kDeviceInterrupted;
  } catch (...) {
    return kDeviceOutOfMemory;
  }
}
