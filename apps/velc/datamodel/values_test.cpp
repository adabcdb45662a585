// Reading values: the request text, and the aligned lines and the values tree built from a reply;
// ls: the rows of the long form, and the short form from the cache. (cat, catree, tree and the
// ordinary ls are covered end to end.)
#include "datamodel/listing.h"
#include "datamodel/values.h"

#include <gtest/gtest.h>

#include "datamodel/test_support.h"
#include "shell/command_handlers.h"

using testing_support::load_schema;
using testing_support::output_of;

namespace {

json_t* at(const char* path) { return k::conf_find_branch(schema_root.get(), path); }

TEST(ValuesRequestText, NamesParametersAndObjects) {
  load_schema();
  k::Json order = k::json_parse(R"({"#fetched": true})");  // an object in the cache
  const std::tuple<json_t*, const char*, bool, const char*> cases[] = {  // node, text, cached
      {at(""), "", true, "."}, {nullptr, "", false, "As.Typed"},  // no cache: as typed
      // A table's pseudo-parameters, whatever the cache holds for them.
      {order.get(), "Device.Firewall.Rule.order", true, "Device.Firewall.Rule.order"},
      {nullptr, "Device.Hosts.Host.max_instance", true, "Device.Hosts.Host.max_instance"},
      {order.get(), "Device.X.max_instance_x", true, "Device.X.max_instance_x."},
      {nullptr, "Device.Other.#template", true, "Device.Other.#template."},  // unknown template
  };
  for (const auto& [node, text, cached, request] : cases) {
    cdpath p;
    p.node = node;
    p.text = text;
    EXPECT_EQ(values_request_text(p, "As.Typed", cached), request) << text;
  }
}

TEST(ValuesPrint, AlignsNamesRelativeToTheRequest) {
  load_schema();
  const std::tuple<const char*, const char*, const char*> cases[] = {  // request, list, text
      // Through a template: relative to the part before "#", the base from the template.
      {"Device.Hosts.Host.#template.Flags",
       R"([{"Name":"Device.Hosts.Host.1.Flags","Value":255},
           {"Name":"Device.Hosts.Host.12.Flags","Value":10}])",
       "1.Flags  = 0xff\n12.Flags = 0xa\n"},
      // The root's "." cuts nothing.
      {".", R"([{"Name":"Device.Time.Mask","Value":5},{"Name":"Device.Time.Mode","Value":8}])",
       "Device.Time.Mask = 0b101\nDevice.Time.Mode = 010\n"},
      // A name that is the request's shows its last element; entries may lack name or value.
      {"Device.Time.Mask", R"([{"Name":"Device.Time.Mask"},{"Value":1}])", "Mask = \nMask = 1\n"},
  };
  for (const auto& [request, list, text] : cases) {
    k::Json parsed = k::json_parse(list);
    EXPECT_EQ(output_of([&] { values_print(parsed.get(), request); }), text) << request;
  }
}

TEST(ValuesTreeBuild, BuildsTheDisplayTree) {
  load_schema();
  const std::tuple<const char*, const char*, const char*> cases[] = {  // request, list, tree
      {"Device.Hosts.",  // names outside the request are skipped
       R"([{"Name":"Device.Hosts.Host.max_instance","Value":12},
           {"Name":"Device.Hosts.Host.12.Flags","Value":10},{"Name":"Device.Host","Value":2},
           {"Name":"Device.Time.Mask","Value":3},{"Value":4}])",
       R"({"name":"Device.Hosts.","content":[{"name":"Host","multi":true,"content":[
            {"name":"max_instance","base":0,"value":12},
            {"name":"12","content":[{"name":"Flags","base":16,"value":10}]}]}]})"},
      {"Device.Hosts.Host.#template.", R"([{"Name":"Device.Hosts.Host.1.Flags","Value":1}])",
       R"({"name":"Device.Hosts.Host.","content":[{"name":"1","content":[
            {"name":"Flags","base":16,"value":1}]}]})"},
      {"", R"([{"Name":"Ping.Result","Value":"ok"}])",  // method results
       R"({"name":"","content":[{"name":"Ping","content":[
            {"name":"Result","base":0,"value":"ok"}]}]})"},
  };
  for (const auto& [request, list, tree] : cases) {
    k::Json built = values_tree_build(k::json_parse(list).get(), request);
    EXPECT_TRUE(json_equal(built.get(), k::json_parse(tree).get()))
        << request << "\n" << k::json_dump(built.get(), JSON_INDENT(2));
  }
}

TEST(LsRepackList, BuildsRowsFromAttributes) {
  // An entry of the reply, the length of the listed path, the row's type|access|flags|perms|name.
  const std::tuple<const char*, size_t, const char*> cases[] = {
      {R"({"Name":"Device.","Attributes":{"type":"object"}})", 6, "object|RW|O||."},
      {R"({"Name":"Device.","Attributes":{"type":"object","perms":"r-r-r-"}})", 0,
       "object|RW|O|r-r-r-|Device."},
      {R"({"Name":"X.A","Attributes":{"type":"int","minInclusive":0,"maxInclusive":65535}})", 1,
       "int[0:65535]|RW|-||A"},
      {R"({"Name":"X.A","Attributes":{"type":"int","minInclusive":-5}})", 1, "int[-5:]|RW|-||A"},
      {R"({"Name":"X.A","Attributes":{"type":"int","maxInclusive":9.7}})", 1, "int[:9]|RW|-||A"},
      {R"({"Name":"X.S","Attributes":{"type":"string","maxLength":64}})", 1, "string(64)|RW|-||S"},
      {R"({"Name":"X.S","Attributes":{"type":"string","minLength":1}})", 1, "string(1)|RW|-||S"},
      {R"({"Name":"X.S","Attributes":{"type":"int","minInclusive":1,"maxInclusive":4,)"
       R"("minLength":2,"maxLength":3}})", 1, "int[1:4](2:3)|RW|-||S"},
      {R"({"Name":"X.C","Attributes":{"type":"string","const":true,"runtime":true,"unique":true}})",
       1, "string|RO|RU||C"},
      {R"({"Name":"X.R.","Attributes":{"type":"object","multi":true,"ordered":true}})", 1,
       "object|RW|OMO||R."},
      {R"({"Name":"X.N","Attributes":{"access":"readWrite"}})", 1, "-|RW|-||N"},
      {R"({"Name":"X.N"})", 1, "-|-|-||N"},
      {R"({"Name":"X","Attributes":"bad"})", 8, "-|-|-||."},
  };
  for (const auto& [entry, prefix_len, row] : cases) {
    LsRow r = ls_repack_list(k::json_parse(entry).get(), prefix_len);
    EXPECT_EQ(r.type + "|" + r.access + "|" + r.flags + "|" + r.perms + "|" + r.name, row) << entry;
  }
}

TEST(LsRepackList, CutsFieldsWithoutSplittingCharacters) {
  std::string name(300, 'n');
  k::Json entry = k::Json::take(json_pack("{s:s, s:{s:s, s:s, s:i}}", "Name", ("X." + name).c_str(),
                                          "Attributes", "type", std::string(60, 't').c_str(),
                                          "perms", std::string(25, 'r').c_str(), "minLength", 1));
  LsRow r = ls_repack_list(entry.get(), 1);
  EXPECT_EQ(r.type, std::string(49, 't'));
  EXPECT_EQ(r.perms, std::string(19, 'r'));
  EXPECT_EQ(r.name, std::string(256, 'n'));
  // "é" is two bytes: "a" and 128 of them are 257 bytes, cut back to 255, not into a character.
  std::string accents;
  for (int i = 0; i < 128; ++i) accents += "\xc3\xa9";
  entry = k::Json::take(json_pack("{s:s}", "Name", ("X.a" + accents).c_str()));
  EXPECT_EQ(ls_repack_list(entry.get(), 1).name, "a" + accents.substr(0, 254));
}

TEST(CmdLs, ShortFormFromTheCache) {
  const std::tuple<std::vector<const char*>, int, const char*> cases[] = {
      {{"-a"}, 0, ".        Device.\n"},
      {{"device.time."}, 0, "device.time.Mask  device.time.Mode\n"},  // prefixed as typed
      {{"Device.Hosts.Host"}, 0,  // no special keys; instances and pseudo-parameters
       "Device.Hosts.Host.1.            Device.Hosts.Host.max_instance\nDevice.Hosts.Host.2.\n"},
      {{"Device.Time", "Nope"}, 0,
       "Device.Time:\nDevice.Time.Mask  Device.Time.Mode\n\nNope:\nls: Nope: no such node\n\n"},
      {{"Nope"}, -1, "ls: Nope: no such node\n"},
  };
  for (const auto& [words, status, text] : cases) {
    load_schema();
    k::Json a = testing_support::args(words);
    int result = 0;
    EXPECT_EQ(output_of([&] { result = cmd_ls("ls", a.get()); }), text);
    EXPECT_EQ(result, status) << text;
  }
}

}  // namespace
