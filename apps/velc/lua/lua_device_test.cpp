// norlan.device against a scripted daemon: how Lua values become request members and reply
// values Lua values (the shapes veld-sim's model never sends too), and how failures surface.
#include "lua/lua_device.h"

#include <gtest/gtest.h>

#include "lua/lua_runner.h"
#include "platform/jrpc_connection.h"
#include "testing/test_peer.h"
#include "testing/test_stream.h"

namespace {

// A Lua context whose requests go to `daemon`, with the module required as `device` and a
// printer `show` that writes any value as compact Lua-like text (keys sorted).
struct Lua {
  k::Connection c;
  k::LuaContext ctx;
  TestStream out;
  explicit Lua(const std::string& socket) {
    c.set_destination(socket);
    ctx.messaging = &c;
    ctx.set_output(out.file);
    EXPECT_EQ(lua_device_register(ctx.state()), 0);
  }
  std::string run(const std::string& chunk) {
    static const std::string prelude =
        "device = require('norlan.device')\n"
        "function show(v)\n"
        "  if v == device.null then return 'null' end\n"
        "  if type(v) ~= 'table' then return (math.type(v) or type(v)) .. ':' .. tostring(v) end\n"
        "  local keys, parts = {}, {}\n"
        "  for k in pairs(v) do keys[#keys + 1] = k end\n"
        "  table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)\n"
        "  for _, k in ipairs(keys) do parts[#parts + 1] = tostring(k) .. '=' .. show(v[k]) end\n"
        "  return '{' .. table.concat(parts, ',') .. '}'\n"
        "end\n";
    if (ctx.exec(prelude + chunk) != 0) return out.text() + "error: " + ctx.error();
    return out.text();
  }
};

// The shapes veld-sim's model never sends: every JSON kind, texts with escapes, a name given
// twice in one object (refused by the fast reading: Jansson reads it), names outside the object
// asked for (left out of its tree), long instance numbers (texts), an integer beyond 32 bits and
// a double's precision.
TEST(LuaDevice, ReplyValuesBecomeLuaValues) {
  k::test::ScriptedDaemon veld;
  veld.reply(R"(GetParameterValues {"ParameterNames":["X."]})",
             R"({"ParameterList":[{"Name":"a","Value":"text"},{"Name":"b","Value":-9007199254740993},{"Name":"c","Value":2.5},)"
             R"({"Name":"d","Value":true},{"Name":"e","Value":null},{"Name":"f","Value":[3,1]},{"Name":"g","Value":{"x":[]}},)"
             R"({"Name":"h\"","Value":"a\\b"}]})");
  veld.reply(R"(GetParameterValues {"ParameterNames":["Y.","Z"]})",
             R"({"ParameterList":[{"Name":"a","Name":"b","Value":[1,{"y":false}]}]})");
  veld.reply(R"(GetParameterValues {"ParameterNames":["T."]})",
             R"({"ParameterList":[{"Name":"T.A.1.B","Value":1},{"Name":"T.A.12345678901.Z","Value":"z"},)"
             R"({"Name":"T.A.max_instance","Value":1},{"Name":"T.x","Value":0.5},{"Name":"U.y","Value":2}]})");
  Lua lua(veld.path());
  EXPECT_EQ(lua.run("print(show(device.get('X.')))\nprint(show(device.get{'Y.', 'Z'}))\nprint(show(device.tree('T')))\n"),
            "{a=string:text,b=integer:-9007199254740993,c=float:2.5,d=boolean:true,e=null,f={1=integer:3,2=integer:1},g={x={}},"
            "h\"=string:a\\b}\n"
            "{b={1=integer:1,2={y=boolean:false}}}\n"
            "{A={1={B=integer:1},12345678901={Z=string:z},max_instance=integer:1},x=float:0.5}\n");
}

// Members in name order, nested values as JSON; values JSON cannot carry are refused, naming why.
TEST(LuaDevice, LuaValuesBecomeRequestMembers) {
  k::test::ScriptedDaemon veld;
  Lua lua(veld.path());
  EXPECT_EQ(lua.run(R"lua(
pcall(device.set, {z = 1, a = 2.5, m = {1, 2}, b = {k = device.null}, e = {}, t = true})
pcall(device.request, "Logout")
pcall(device.request, "Event", {EventId = 3, Data = {"a", {o = 0, n = -1}}})
print(select(2, pcall(device.set, {x = 0/0})))
print(select(2, pcall(device.set, {x = {1, 2, k = 3}})))
local t = {} t.t = t print(select(2, pcall(device.set, {x = t})))
)lua"),
            "bad argument #1 to 'set' (x: a number that is not finite)\n"
            "bad argument #1 to 'set' (x: a table with keys other than texts or 1..n)\n"
            "bad argument #1 to 'set' (x: a table nested too deep)\n");
  EXPECT_EQ(veld.take_requests(),
            (std::vector<std::string>{R"(SetParameterValues {"ParameterList":[{"Name":"a","Value":2.5},)"
                                      R"({"Name":"b","Value":{"k":null}},{"Name":"e","Value":[]},)"
                                      R"({"Name":"m","Value":[1,2]},{"Name":"t","Value":true},{"Name":"z","Value":1}]})",
                                      "Logout", R"(Event {"Data":["a",{"n":-1,"o":0}],"EventId":3})"}));
}

// A refusal is an error object; a lost daemon the socket's fault; a call without a connection
// says so. A call after veld restarted (the connection ended between two calls) goes again.
TEST(LuaDevice, FailuresAndTheCallAfterARestart) {
  k::test::ScriptedDaemon veld;
  veld.reply(R"(DeleteObject {"ObjectName":"X.1."})",
             R"({"code":9001,"message":"Request denied","data":{"X.1.":"9001 Request denied"}})");
  veld.reply(R"(GetParameterValues {"ParameterNames":["X."]})", R"({"ParameterList":[{"Name":"X.a","Value":1}]})");
  Lua lua(veld.path());
  EXPECT_EQ(lua.run("local ok, e = pcall(device.del, 'X.1') print(ok, e.code, e.message, e.detail,"
                    " e.data['X.1.'], tostring(e))\n"),
            "false\t9001\tRequest denied\tnil\t9001 Request denied\t[9001] Request denied\n");
  EXPECT_EQ(Lua(veld.path() + ".none").run("print(select(2, pcall(device.get, 'X.')).code)"), "-3\n");
  k::LuaContext bare;
  lua_device_register(bare.state());
  EXPECT_NE(bare.exec("require('norlan.device').get('X.')"), 0);
  EXPECT_NE(bare.error().find(":1: norlan.device: no connection to veld"), std::string::npos);

  EXPECT_EQ(lua.run("print(device.get('X.')['X.a'])"), "1\n");
  veld.drop_connection();
  EXPECT_EQ(lua.run("print(device.get('X.')['X.a'])"), "1\n");
}

}  // namespace
