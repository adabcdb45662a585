#include "datamodel/listing.h"

#include <gtest/gtest.h>

#include <optional>

#include "datamodel/test_schema_fixture.h"
#include "datamodel/test_support.h"
#include "platform/json.h"
#include "render/stdout_capture.h"
#include "shell/command_handlers.h"

namespace {

struct RowCase {
  const char* entry;   // one entry of a GetParameterAttributes reply
  size_t prefix_len;   // length of the listed path's text
  LsRow row;           // type, access, flags, perms, name
};

const RowCase kRowCases[] = {
    {R"({"Name":"Device.","Attributes":{"type":"object"}})", 6, {"object", "RW", "O", "", "."}},
    {R"({"Name":".","Attributes":{"type":"object"}})", 0, {"object", "RW", "O", "", "."}},
    {R"({"Name":"Device.DeviceInfo.","Attributes":{"type":"object","perms":"r-r-r-"}})", 6,
     {"object", "RW", "O", "r-r-r-", "DeviceInfo."}},
    {R"({"Name":"Device.","Attributes":{"type":"object"}})", 0, {"object", "RW", "O", "", "Device."}},
    {R"({"Name":"Device.NAT.PortMapping.ExternalPort",
         "Attributes":{"type":"unsignedInt","minInclusive":0,"maxInclusive":65535}})", 22,
     {"unsignedInt[0:65535]", "RW", "-", "", "ExternalPort"}},
    {R"({"Name":"X.A","Attributes":{"type":"int","minInclusive":-5}})", 1, {"int[-5:]", "RW", "-", "", "A"}},
    {R"({"Name":"X.A","Attributes":{"type":"int","maxInclusive":9}})", 1, {"int[:9]", "RW", "-", "", "A"}},
    {R"({"Name":"X.S","Attributes":{"type":"string","maxLength":64}})", 1, {"string(64)", "RW", "-", "", "S"}},
    {R"({"Name":"X.S","Attributes":{"type":"string","minLength":1}})", 1, {"string(1)", "RW", "-", "", "S"}},
    {R"({"Name":"X.S","Attributes":{"type":"string","minLength":1,"maxLength":8}})", 1,
     {"string(1:8)", "RW", "-", "", "S"}},
    {R"({"Name":"X.S","Attributes":{"type":"int","minInclusive":1,"maxInclusive":4,"minLength":2,"maxLength":3}})", 1,
     {"int[1:4](2:3)", "RW", "-", "", "S"}},
    {R"({"Name":"X.C","Attributes":{"type":"string","const":true,"access":"readOnly"}})", 1,
     {"string", "RO", "-", "", "C"}},
    {R"({"Name":"X.C","Attributes":{"type":"string","const":false}})", 1, {"string", "RW", "-", "", "C"}},
    {R"({"Name":"D.Firewall.Chain.1.Rule.","Attributes":{"type":"object","multi":true,"ordered":true}})", 18,
     {"object", "RW", "OMO", "", "Rule."}},
    {R"({"Name":"X.P","Attributes":{"type":"string","runtime":true,"unique":true}})", 1,
     {"string", "RW", "RU", "", "P"}},
    {R"({"Name":"X.N","Attributes":{"access":"readWrite"}})", 1, {"-", "RW", "-", "", "N"}},
    {R"({"Name":"X.N"})", 1, {"-", "-", "-", "", "N"}},
    {R"({"Attributes":{"type":"string"}})", 3, {"string", "RW", "-", "", "."}},
    {R"({"Name":"X","Attributes":"bad"})", 8, {"-", "-", "-", "", "."}},
};

TEST(LsRepackList, BuildsRows) {
  for (const RowCase& c : kRowCases) {
    k::Json entry = k::json_parse(c.entry);
    ASSERT_TRUE(entry) << c.entry;
    LsRow r = ls_repack_list(entry.get(), c.prefix_len);
    EXPECT_EQ(r.type, c.row.type) << c.entry;
    EXPECT_EQ(r.access, c.row.access) << c.entry;
    EXPECT_EQ(r.flags, c.row.flags) << c.entry;
    EXPECT_EQ(r.perms, c.row.perms) << c.entry;
    EXPECT_EQ(r.name, c.row.name) << c.entry;
  }
}

TEST(LsRepackList, CutsFieldsThatDoNotFitWithoutSplittingCharacters) {
  std::string long_type(60, 't');
  std::string perms(25, 'r');
  std::string name(300, 'n');
  k::Json entry = k::Json::take(json_pack("{s:s, s:{s:s, s:s, s:i, s:i}}", "Name", ("X." + name).c_str(),
                                          "Attributes", "type", long_type.c_str(), "perms",
                                          perms.c_str(), "minInclusive", 0, "maxInclusive", 9));
  LsRow r = ls_repack_list(entry.get(), 1);
  EXPECT_EQ(r.type, std::string(49, 't'));
  EXPECT_EQ(r.perms, std::string(19, 'r'));
  EXPECT_EQ(r.name, std::string(256, 'n'));

  // "é" is two bytes: 128 of them fill 256 bytes exactly; one more byte must not split one.
  std::string accents;
  for (int i = 0; i < 128; ++i) accents += "\xc3\xa9";
  entry = k::Json::take(json_pack("{s:s}", "Name", ("X.a" + accents).c_str()));
  r = ls_repack_list(entry.get(), 1);
  EXPECT_EQ(r.name, "a" + accents.substr(0, 254));
}

TEST(LsPrintRows, SizesColumnsToTheLongestField) {
  struct Case {
    std::vector<LsRow> rows;
    const char* text;
  };
  const Case cases[] = {
      {{}, "Type  Access  Perms  Flags  Name\n"},
      {{{"object", "RW", "O", "", "."}, {"int", "RO", "-", "rw-r--", "Count"}},
       "Type    Access  Perms   Flags  Name\n"
       "object  RW              O      .\n"
       "int     RO      rw-r--  -      Count\n"},
      {{{"unsignedInt[0:65535]", "RW", "OMORU", "rw-rw-rw-", "Port"}},
       "Type                  Access  Perms      Flags  Name\n"
       "unsignedInt[0:65535]  RW      rw-rw-rw-  OMORU  Port\n"},
  };
  for (const Case& c : cases) {
    StdoutCapture capture;
    ls_print_rows(c.rows);
    EXPECT_EQ(capture.finish(), c.text);
  }
}

}  // namespace

// The short form reads the cache only, so it runs against a fetched fixture.
namespace {


struct LsCase {
  std::vector<const char*> args;
  int status;
  const char* text;
};

const LsCase kLsCases[] = {
    {{}, 0, "Device.\n"},
    {{"-a"}, 0, ".        Device.\n"},
    {{"Device"}, 0, "Device.DeviceInfo.  Device.Hosts.       Device.Time.\n"},
    {{"Device."}, 0, "Device.DeviceInfo.  Device.Hosts.       Device.Time.\n"},
    {{"device.hosts"}, 0, "device.hosts.Host.                device.hosts.HostNumberOfEntries\n"},
    // The long form asks veld, which is not there: the header alone.
    {{"-la"}, 0, "Type  Access  Perms  Flags  Name\n"},
    {{"-al", "Device"}, 0, "Type  Access  Perms  Flags  Name\n"},
    {{"Device.Time.Mask"}, 0, "Device.Time.Mask\n"},
    {{"-a", "Device.Time.Mask"}, 0, "Device.Time.Mask\n"},
    {{"-x", "Device.Time"}, 0, "Device.Time.Mask  Device.Time.Mode\n"},
    {{"Nope"}, -1, "ls: Nope: no such node\n"},
    {{"Device.Time", "Nope", "Device.Time.Mode"}, 0,
     "Device.Time:\nDevice.Time.Mask  Device.Time.Mode\n\n"
     "Nope:\nls: Nope: no such node\n\n"
     "Device.Time.Mode:\nDevice.Time.Mode\n\n"},
};

TEST(CmdLs, ShortFormFromTheCache) {
  TestSchema schema;
  for (const LsCase& c : kLsCases) {
    k::Json args = k::Json::take(json_array());
    for (const char* a : c.args) json_array_append_new(args.get(), json_string(a));
    StdoutCapture capture;
    int status = cmd_ls("ls", args.get());
    EXPECT_EQ(capture.finish(), c.text) << k::json_dump(args.get(), 0);
    EXPECT_EQ(status, c.status) << k::json_dump(args.get(), 0);
  }
}

// A result {"ParameterList": [...]} from the JSON text of the list.
k::Json reply_list(const char* list_json) {
  return k::Json::take(json_pack("{s:o}", "ParameterList", json_loads(list_json, 0, nullptr)));
}

// A veld that knows Device. with DeviceInfo, the Hosts table, and a few parameters.
k::Json answer_listing(const std::string& method, json_t* params) {
  if (method == "GetParameterAttributes") {
    std::string path = json_string_value(json_array_get(json_object_get(params, "ParameterNames"), 0));
    if (path != "Device.Hosts.") return {};
    return reply_list(R"([
        {"Name":"Device.Hosts.","Attributes":{"type":"object","perms":"r-r-r-"}},
        {"Name":"Device.Hosts.HostNumberOfEntries","Attributes":{"type":"unsignedInt","const":true,"minInclusive":0,"maxInclusive":65535}},
        {"Name":"Device.Hosts.Host.","Attributes":{"type":"object","multi":true,"perms":"rw-rw-r--"}},
        {"Name":"Device.Hosts.Alias","Attributes":{"type":"string","maxLength":64}}])");
  }
  if (method == "GetParameterNames") {
    std::string path = k::json_text(params, "ParameterPath");
    if (path == ".") return reply_list(R"([{"Name":"Device.","Writable":false}])");
    if (path == "Device.")
      return reply_list(
          R"([{"Name":"Device.Time.","Writable":false},{"Name":"Device.DeviceInfo.","Writable":false}])");
    if (path == "Device.Time.Mask")
      return reply_list(R"([{"Name":"Device.Time.Mask","Writable":true}])");
  }
  return {};
}

const char* const kHostsLong =
    "Type                  Access  Perms      Flags  Name\n"
    "object                RW      r-r-r-     O      .\n"
    "object                RW      rw-rw-r--  OM     Host.\n"
    "string(64)            RW                 -      Alias\n"
    "unsignedInt[0:65535]  RO                 -      HostNumberOfEntries\n";

struct LsExchangeCase {
  bool cached;
  std::vector<const char*> args;
  int status;
  std::vector<std::string> requests;
  const char* text;
};

const LsExchangeCase kLsExchangeCases[] = {
    {true, {"-l", "Device.Hosts"}, 0,
     {R"(GetParameterAttributes {"ParameterNames":["Device.Hosts."],"Depth":1})"}, kHostsLong},
    {true, {"-l", "device.hosts."}, 0,
     {R"(GetParameterAttributes {"ParameterNames":["Device.Hosts."],"Depth":1})"}, kHostsLong},
    {true, {"-l", "Nope"}, -1, {}, "ls: Nope: no such node\n"},
    // Request mode: no cache, the path as typed.
    {false, {"-l", "Device.Hosts."}, 0,
     {R"(GetParameterAttributes {"ParameterNames":["Device.Hosts."],"Depth":1})"}, kHostsLong},
    {false, {"-l", "Device.Hosts"}, 0,
     {R"(GetParameterAttributes {"ParameterNames":["Device.Hosts."],"Depth":1})"}, kHostsLong},
    {false, {"-l"}, 0, {R"(GetParameterAttributes {"ParameterNames":["."],"Depth":1})"},
     "Type  Access  Perms  Flags  Name\n"},
    {false, {}, 0, {R"(GetParameterNames {"ParameterPath":".","NextLevel":true})"}, "Device.\n"},
    {false, {"-a", "Device"}, 0, {R"(GetParameterNames {"ParameterPath":"Device.","NextLevel":true})"},
     ".                   Device.DeviceInfo.  Device.Time.\n"},
    {false, {"Device.Time.Mask"}, 0,
     {R"(GetParameterNames {"ParameterPath":"Device.Time.Mask.","NextLevel":true})",
      R"(GetParameterNames {"ParameterPath":"Device.Time.Mask","NextLevel":true})"},
     "Device.Time.Mask\n"},
    {false, {"Device.Nope"}, -1,
     {R"(GetParameterNames {"ParameterPath":"Device.Nope.","NextLevel":true})",
      R"(GetParameterNames {"ParameterPath":"Device.Nope","NextLevel":true})"},
     "[9005] Invalid parameter name\n"},
    {false, {"Device.Nope."}, -1, {R"(GetParameterNames {"ParameterPath":"Device.Nope.","NextLevel":true})"},
     "[9005] Invalid parameter name\n"},
};

TEST(CmdLs, AsksVeldForTheLongFormAndWithoutCache) {
  for (const LsExchangeCase& c : kLsExchangeCases) {
    std::optional<TestSchema> schema;
    std::optional<NoSchema> none;
    if (c.cached)
      schema.emplace();
    else
      none.emplace();
    testing_support::FakeVeld veld(answer_listing);
    k::Json args = k::Json::take(json_array());
    for (const char* a : c.args) json_array_append_new(args.get(), json_string(a));
    StdoutCapture capture;
    int status = cmd_ls("ls", args.get());
    std::string what = (c.cached ? "cached " : "uncached ") + k::json_dump(args.get(), 0);
    EXPECT_EQ(capture.finish(), c.text) << what;
    EXPECT_EQ(status, c.status) << what;
    EXPECT_EQ(veld.requests(), c.requests) << what;
  }
}

}  // namespace
