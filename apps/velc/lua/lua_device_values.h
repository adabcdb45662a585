// The values of a GetParameterValues reply as the device module reads them, and the functions
// of the module that read the data model's values.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include <lua.hpp>

#include "platform/json.h"
#include "platform/jrpc_connection.h"
#include "platform/large_reply.h"

// One value of a GetParameterValues reply, kept until it is pushed.
struct DeviceEntry {
  std::string_view name;
  k::ReplyValue::Kind kind = k::ReplyValue::kAbsent;
  std::string_view text;  // kString
  int64_t integer = 0;
  double real = 0;
  k::Json json;  // kComposite: the value (also every value of a reply read with Jansson)
};

// Pushes an entry's value.
void device_push_value(lua_State* L, const DeviceEntry& e);
// Protected: a table name -> value of the entries (a std::vector<DeviceEntry> at `data`).
int device_push_entries(lua_State* L, const void* data);
// The entries of a "ParameterList" read with Jansson: names and values borrowed from `list`.
std::vector<DeviceEntry> device_entries_of(json_t* list);
// Asks for the values of the paths (a text, or a sequence of texts, at index 1) for the Lua
// function `function`: the reply is read into `m` or, when large, into `large`. 0, or the status
// of the error pushed.
int device_request_values(lua_State* L, k::Connection& c, const char* function, k::Message& m,
                          k::LargeReply& large);
// Calls `fn` with every value of the reply that device_request_values read, in order; the
// entries borrow from `m` and `large`.
void device_for_each_entry(const k::Message& m, const k::LargeReply& large,
                           const std::function<void(DeviceEntry&)>& fn);

// The body of `tree`: an object path (at index 1, with its trailing dot) -> its values as
// nested tables. The number of results, or -1 with the error object on top.
int device_tree(lua_State* L, k::Connection& c);
