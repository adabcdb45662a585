// ls: the rows of the long form, and the short form from the cache. (The ordinary ls is covered
// end to end.)
#include <gtest/gtest.h>

#include "datamodel/listing.h"
#include "datamodel/test_support.h"

using namespace testing_support;

TEST(LsRepackList, BuildsRowsFromAttributes) {
  // An entry of the reply, the length of the listed path, the row's type|access|flags|perms|name.
  const std::tuple<const char*, size_t, const char*> cases[] = {
      {R"({"Name":"Device.","Attributes":{"type":"object"}})", 6, "object|RW|O||."},
      {R"({"Name":"Device.","Attributes":{"type":"object","perms":"r-r-r-"}})", 0, "object|RW|O|r-r-r-|Device."},
      {R"({"Name":"X.A","Attributes":{"type":"int","minInclusive":-5}})", 1, "int[-5:]|RW|-||A"},
      {R"({"Name":"X.A","Attributes":{"type":"int","maxInclusive":9.7}})", 1, "int[:9]|RW|-||A"},
      {R"({"Name":"X.S","Attributes":{"type":"string","maxLength":64}})", 1, "string(64)|RW|-||S"},
      {R"({"Name":"X.S","Attributes":{"type":"string","minLength":1}})", 1, "string(1)|RW|-||S"},
      {R"({"Name":"X.S","Attributes":{"type":"int","minInclusive":1,"maxInclusive":4,)"
       R"("minLength":2,"maxLength":3}})", 1, "int[1:4](2:3)|RW|-||S"},
      {R"({"Name":"X.C","Attributes":{"type":"string","const":true,"runtime":true,"unique":true}})", 1, "string|RO|RU||C"},
      {R"({"Name":"X.R.","Attributes":{"type":"object","multi":true,"ordered":true}})", 1, "object|RW|OMO||R."},
      {R"({"Name":"X.N"})", 1, "-|-|-||N"}, {R"({"Name":"X","Attributes":"bad"})", 8, "-|-|-||."},
  };
  for (const auto& [entry, prefix_len, row] : cases) {
    LsRow r = ls_repack_list(k::json_parse(entry).get(), prefix_len);
    EXPECT_EQ(r.type + "|" + r.access + "|" + r.flags + "|" + r.perms + "|" + r.name, row) << entry;
  }
  // Fields are cut without splitting characters: "é" is two bytes, and "a" and 128 of them are
  // 257 bytes, cut back to 255.
  std::string accents;
  for (int i = 0; i < 128; ++i) accents += "\xc3\xa9";
  k::Json entry = k::Json::take(json_pack("{s:s, s:{s:s, s:s}}", "Name", ("X.a" + accents).c_str(),
      "Attributes", "type", std::string(60, 't').c_str(), "perms", std::string(25, 'r').c_str()));
  LsRow r = ls_repack_list(entry.get(), 1);
  EXPECT_EQ(r.type + "|" + r.perms + "|" + r.name,
            std::string(49, 't') + "|" + std::string(19, 'r') + "|a" + accents.substr(0, 254));
}

TEST(CmdLs, ShortFormFromTheCache) {
  const std::tuple<std::vector<const char*>, int, const char*> cases[] = {
      {{"-a"}, 0, ".        Device.  Users.\n"},
      {{"device.time."}, 0, "device.time.Mask  device.time.Mode\n"},  // prefixed as typed
      {{"Device.Hosts.Host"}, 0,  // no special keys; instances and pseudo-parameters
       "Device.Hosts.Host.1.            Device.Hosts.Host.max_instance\nDevice.Hosts.Host.2.\n"},
      {{"Device.Time", "Nope"}, 0, "Device.Time:\nDevice.Time.Mask  Device.Time.Mode\n\nNope:\nls: Nope: no such node\n\n"},
      {{"Nope"}, -1, "ls: Nope: no such node\n"},
  };
  for (const auto& [words, status, text] : cases) {
    TestClient t{kWithCache};
    EXPECT_EQ(t.run(cmd_ls, "ls", words), std::to_string(status) + " " + text);
  }
}
