// norlan.device against a scripted daemon: how Lua values become request members and reply
// values Lua values (the shapes veld-sim's model never sends too), and how failures surface.
#include "lua/lua_device.h"

#include <gtest/gtest.h>

#include <string>

#include "lua/lua_runner.h"
#include "platform/jrpc_connection.h"
#include "testing/stdout_capture.h"
#include "testing/test_peer.h"

namespace {

// A Lua context whose requests go to `daemon`, with the module required as `device` and a
// printer `show` that writes any value as compact Lua-like text (keys sorted).
struct Lua {
  k::Connection c;
  k::LuaContext ctx;
  explicit Lua(const std::string& socket) {
    c.set_destination(socket);
    ctx.messaging = &c;
    EXPECT_EQ(lua_device_register(ctx.state()), 0);
  }
  std::string run(const std::string& chunk) {
    static const std::string prelude = R"lua(
device = require("norlan.device")
function show(v)
  if v == device.null then return "null" end
  if type(v) ~= "table" then return (math.type(v) or type(v)) .. ":" .. tostring(v) end
  local keys = {}
  for k in pairs(v) do keys[#keys + 1] = k end
  table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)
  local parts = {}
  for _, k in ipairs(keys) do parts[#parts + 1] = tostring(k) .. "=" .. show(v[k]) end
  return "{" .. table.concat(parts, ",") .. "}"
end
)lua";
    StdoutCapture out;
    if (ctx.exec(prelude + chunk) != 0) return out.finish() + "error: " + ctx.error();
    return out.finish();
  }
};

TEST(LuaDevice, ReplyValuesBecomeLuaValues) {
  k::test::ScriptedDaemon veld;
  const char* const values = R"({"ParameterList":[{"Name":"a","Value":"text"},)"
                             R"({"Name":"b","Value":-7},{"Name":"c","Value":2.5},)"
                             R"({"Name":"d","Value":true},{"Name":"e","Value":null},)"
                             R"({"Name":"f","Value":[3,1,2]},{"Name":"g","Value":{"x":[]}}]})";
  // A name given twice in one object is refused by the fast reading: Jansson reads it.
  const char* const twice = R"({"ParameterList":[{"Name":"a","Name":"b","Value":[1,{"y":false}]}]})";
  veld.reply(R"(GetParameterValues {"ParameterNames":["X."]})", values);
  veld.reply(R"(GetParameterValues {"ParameterNames":["Y.","Z"]})", twice);
  veld.reply(R"(GetParameterNames {"ParameterPath":"X.","NextLevel":true})",
             R"({"ParameterList":[{"Name":"X.a","Writable":true},{"Name":"X.B.","Writable":false}]})");
  veld.reply(R"(Execute {"MethodName":"X.M","ParameterList":[{"Name":"In","Value":1}]})",
             R"({"ParameterList":[{"Name":"X.M.Out","Value":[]}]})");
  // Names outside the object asked for are left out of its tree; long numbers stay texts.
  veld.reply(R"(GetParameterValues {"ParameterNames":["T."]})",
             R"({"ParameterList":[{"Name":"T.A.1.B","Value":1},{"Name":"T.A.1.C","Value":false},)"
             R"({"Name":"T.A.1234567890.Z","Value":"z"},{"Name":"T.A.max_instance","Value":1},)"
             R"({"Name":"T.x","Value":0.5},{"Name":"U.y","Value":2}]})");
  veld.reply(R"(AddObject {"ObjectName":"X.T."})", R"({"InstanceNumber":12,"Status":0})");
  Lua lua(veld.path());
  EXPECT_EQ(lua.run("print(show(device.get('X.')))\n"
                    "print(show(device.get{'Y.', 'Z'}))\n"
                    "print(show(device.names('X.', true)))\n"
                    "print(show(device.execute('X.M.', {In = 1})))\n"
                    "print(show(device.add('X.T')))\n"
                    "print(show(device.tree('T')))\n"),
            "{a=string:text,b=integer:-7,c=float:2.5,d=boolean:true,e=null,"
            "f={1=integer:3,2=integer:1,3=integer:2},g={x={}}}\n"
            "{b={1=integer:1,2={y=boolean:false}}}\n"
            "{1=string:X.a,2=string:X.B.}\n"
            "{X.M.Out={}}\n"
            "integer:12\n"
            "{A={1={B=integer:1,C=boolean:false},1234567890={Z=string:z},max_instance=integer:1},"
            "x=float:0.5}\n");
}

TEST(LuaDevice, LuaValuesBecomeRequestMembers) {
  k::test::ScriptedDaemon veld;
  Lua lua(veld.path());
  lua.run(R"lua(
pcall(device.set, {z = 1, a = 2.5, m = {1, 2}, b = {k = device.null}, e = {}, t = true})
pcall(device.request, "Select", {})
pcall(device.request, "Logout")
pcall(device.request, "Event", {EventId = 3, Data = {"a", {o = 0, n = -1}}})
pcall(device.set, {x = 0/0})
pcall(device.set, {x = {1, 2, k = 3}})
)lua");
  EXPECT_EQ(veld.take_requests(),
            (std::vector<std::string>{
                R"(SetParameterValues {"ParameterList":[{"Name":"a","Value":2.5},)"
                R"({"Name":"b","Value":{"k":null}},{"Name":"e","Value":[]},)"
                R"({"Name":"m","Value":[1,2]},{"Name":"t","Value":true},{"Name":"z","Value":1}]})",
                R"(Select {})",
                R"(Logout)",
                R"(Event {"Data":["a",{"n":-1,"o":0}],"EventId":3})",
            }));
  EXPECT_EQ(lua.run("print(select(2, pcall(device.set, {x = 0/0})))\n"
                    "print(select(2, pcall(device.set, {x = {1, 2, k = 3}})))\n"
                    "local t = {} t.t = t print(select(2, pcall(device.set, {x = t})))\n"),
            "bad argument #1 to 'set' (x: a number that is not finite)\n"
            "bad argument #1 to 'set' (x: a table with keys other than texts or 1..n)\n"
            "bad argument #1 to 'set' (x: a table nested too deep)\n");
}

TEST(LuaDevice, Failures) {
  k::test::ScriptedDaemon veld;
  veld.reply(R"(DeleteObject {"ObjectName":"X.1."})",
             R"({"code":9001,"message":"Request denied","data":{"X.1.":"9001 Request denied"}})");
  Lua lua(veld.path());
  EXPECT_EQ(lua.run("local ok, e = pcall(device.del, 'X.1') print(ok, e.code, e.message, e.detail,"
                    " e.data['X.1.'], tostring(e))\n"),
            "false\t9001\tRequest denied\tnil\t9001 Request denied\t[9001] Request denied\n");

  // No daemon: the socket's failure is the fault.
  Lua lost(veld.path() + ".none");
  EXPECT_EQ(lost.run("print(select(2, pcall(device.get, 'X.')).code)"), "-3\n");

  // An interpreter the client gave no connection.
  k::LuaContext bare;
  lua_device_register(bare.state());
  EXPECT_NE(bare.exec("require('norlan.device').get('X.')"), 0);
  EXPECT_EQ(bare.error().substr(0, bare.error().find('\n')),
            "[string \"require('norlan.device').get('X.')\"]:1: norlan.device: no connection to veld");
}

// A device call after veld restarted (the connection ended between two calls) goes again on a
// new connection.
TEST(LuaDevice, ACallAfterTheDaemonRestartedGoesOnANewConnection) {
  k::test::ScriptedDaemon veld;
  veld.reply(R"(GetParameterValues {"ParameterNames":["X."]})",
             R"({"ParameterList":[{"Name":"X.a","Value":1}]})");
  Lua lua(veld.path());
  EXPECT_EQ(lua.run("print(device.get('X.')['X.a'])"), "1\n");
  veld.drop_connection();
  EXPECT_EQ(lua.run("print(device.get('X.')['X.a'])"), "1\n");
}

}  // namespace
