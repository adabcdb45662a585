#include "datamodel/values.h"

#include <gtest/gtest.h>

#include "datamodel/test_schema_fixture.h"
#include "datamodel/test_support.h"
#include "render/stdout_capture.h"
#include "shell/command_handlers.h"
#include "render/tree.h"

namespace {

TEST(ValuesRequestText, NamesParametersAndObjects) {
  TestSchema schema;
  k::Json order = k::json_parse(R"({"#fetched": true})");
  struct Case {
    json_t* node;
    const char* text;
    bool cached;
    const char* typed;
    const char* request;
  };
  const Case cases[] = {
      {nullptr, "", false, "Device.DeviceInfo", "Device.DeviceInfo"},  // no cache: as typed
      {nullptr, "", false, ".", "."},
      {schema.node(""), "", true, ".", "."},
      {schema.node("Device.DeviceInfo"), "Device.DeviceInfo", true, "DeviceInfo", "Device.DeviceInfo."},
      {schema.node("Device.DeviceInfo.Manufacturer"), "Device.DeviceInfo.Manufacturer", true, "x",
       "Device.DeviceInfo.Manufacturer"},
      // A table's pseudo-parameters: "order" is an object in the cache, max_instance a parameter.
      {order.get(), "Device.Firewall.Rule.order", true, "x", "Device.Firewall.Rule.order"},
      {schema.node("Device.Hosts.Host.max_instance"), "Device.Hosts.Host.max_instance", true, "x",
       "Device.Hosts.Host.max_instance"},
      {nullptr, "Device.Hosts.Host.max_instance", true, "x", "Device.Hosts.Host.max_instance"},
      {order.get(), "Device.Hosts.Host.1.max_instance_x", true, "x", "Device.Hosts.Host.1.max_instance_x."},
      {schema.node("Device.Hosts.Host.#template"), "Device.Hosts.Host.#template", true, "*",
       "Device.Hosts.Host.#template."},
      {nullptr, "Device.Other.#template", true, "*", "Device.Other.#template."},  // unknown template
  };
  for (const Case& c : cases) {
    cdpath p;
    p.node = c.node;
    p.text = c.text;
    EXPECT_EQ(values_request_text(p, c.typed, c.cached), c.request) << c.text;
  }
}

std::string print_values(const char* list_json, const char* request_text) {
  k::Json list = k::json_parse(list_json);
  EXPECT_TRUE(list) << list_json;
  StdoutCapture capture;
  values_print(list.get(), request_text);
  return capture.finish();
}

TEST(ValuesPrint, AlignsNamesRelativeToTheRequest) {
  TestSchema schema;
  struct Case {
    const char* request;
    const char* list;
    const char* text;
  };
  const Case cases[] = {
      {"Device.DeviceInfo.",
       R"([{"Name":"Device.DeviceInfo.Manufacturer","Value":"Acme"},
           {"Name":"Device.DeviceInfo.UpgradeProgress","Value":40},
           {"Name":"Device.DeviceInfo.Sub.X","Value":true}])",
       "Manufacturer    = 'Acme'\n"
       "UpgradeProgress = 40\n"
       "Sub.X           = true\n"},
      // A parameter's own line: the fallback name, no width.
      {"Device.DeviceInfo.Manufacturer", R"([{"Name":"Device.DeviceInfo.Manufacturer","Value":"Acme"}])",
       "Manufacturer = 'Acme'\n"},
      {"Device.Hosts.Host.max_instance", R"([{"Name":"Device.Hosts.Host.max_instance","Value":7}])",
       "max_instance = 7\n"},
      // Through a template: names relative to the part before "#", bases from the template.
      {"Device.Hosts.Host.#template.Flags",
       R"([{"Name":"Device.Hosts.Host.1.Flags","Value":255},{"Name":"Device.Hosts.Host.12.Flags","Value":10}])",
       "1.Flags  = 0xff\n"
       "12.Flags = 0xa\n"},
      // The root's "." is not cut from the names.
      {".", R"([{"Name":"Device.Time.Mask","Value":5},{"Name":"Device.Time.Mode","Value":8}])",
       "Device.Time.Mask = 0b101\n"
       "Device.Time.Mode = 010\n"},
      // Entries without a value or a name are shown, not dropped, and do not fail.
      {"Device.Time.", R"([{"Name":"Device.Time.Mask"},{"Value":1},{"Name":"Device.Time.Mode","Value":null}])",
       "Mask = \n"
       "     = 1\n"
       "Mode = null\n"},
      {"Device.Time.", "[]", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(print_values(c.list, c.request), c.text) << c.request;
}

struct TreeBuildCase {
  const char* what;
  const char* request;
  const char* list;
  const char* tree;
};

const TreeBuildCase kTreeBuildCases[] = {
    {"objects nest, leaves carry base and value, pseudo-parameters mark their table",
     "Device.Hosts.",
     R"([{"Name":"Device.Hosts.HostNumberOfEntries","Value":2},
         {"Name":"Device.Hosts.Host.max_instance","Value":12},
         {"Name":"Device.Hosts.Host.1.Flags","Value":255},
         {"Name":"Device.Hosts.Host.1.HostName","Value":"a"},
         {"Name":"Device.Hosts.Host.12.Flags","Value":10}])",
     R"({"name":"Device.Hosts.","content":[
          {"name":"HostNumberOfEntries","base":0,"value":2},
          {"name":"Host","multi":true,"content":[
             {"name":"max_instance","base":0,"value":12},
             {"name":"1","content":[{"name":"Flags","base":16,"value":255},
                                    {"name":"HostName","base":0,"value":"a"}]},
             {"name":"12","content":[{"name":"Flags","base":16,"value":10}]}]}]})"},
    {"names outside the request are skipped",
     "Device.Time.",
     R"([{"Name":"Device.Time.Mask","Value":1},{"Name":"Device.Tim","Value":2},
         {"Name":"Device.Hosts.X","Value":3},{"Value":4}])",
     R"({"name":"Device.Time.","content":[{"name":"Mask","base":2,"value":1}]})"},
    {"a parameter's tree is its root, carrying the value",
     "Device.DeviceInfo.Manufacturer",
     R"([{"Name":"Device.DeviceInfo.Manufacturer","Value":"Acme"}])",
     R"({"name":"Device.DeviceInfo.Manufacturer","base":0,"value":"Acme"})"},
    {"through a template the root is the part before \"#\"",
     "Device.Hosts.Host.#template.",
     R"([{"Name":"Device.Hosts.Host.1.Flags","Value":1}])",
     R"({"name":"Device.Hosts.Host.","content":[{"name":"1","content":[{"name":"Flags","base":16,"value":1}]}]})"},
    {"method results: an empty root name and full names",
     "",
     R"([{"Name":"Device.IP.Diagnostics.Ping.Result","Value":"ok"}])",
     R"({"name":"","content":[{"name":"Device","content":[{"name":"IP","content":[
          {"name":"Diagnostics","content":[{"name":"Ping","content":[
             {"name":"Result","base":0,"value":"ok"}]}]}]}]}]})"},
    {"the data-model root keeps its name and cuts nothing",
     ".",
     R"([{"Name":"Device.Time.Mode","Value":8}])",
     R"({"name":".","content":[{"name":"Device","content":[{"name":"Time","content":[
          {"name":"Mode","base":8,"value":8}]}]}]})"},
    {"an ordered table's order marks it too",
     "Device.Firewall.Chain.1.",
     R"([{"Name":"Device.Firewall.Chain.1.Rule.order","Value":[2,1]}])",
     R"({"name":"Device.Firewall.Chain.1.","content":[{"name":"Rule","multi":true,"content":[
          {"name":"order","base":0,"value":[2,1]}]}]})"},
};

TEST(ValuesTreeBuild, BuildsTheDisplayTree) {
  TestSchema schema;
  for (const TreeBuildCase& c : kTreeBuildCases) {
    k::Json list = k::json_parse(c.list);
    k::Json expected = k::json_parse(c.tree);
    ASSERT_TRUE(list && expected) << c.what;
    k::Json built = values_tree_build(list.get(), c.request);
    EXPECT_TRUE(json_equal(built.get(), expected.get()))
        << c.what << "\n" << k::json_dump(built.get(), JSON_INDENT(2));
  }
}

// `tree` reads the cache only; a table's instances would need veld, which is not there, so the
// table shows without content.
TEST(CmdTree, DrawsTheSchemaFromTheCache) {
  TestSchema schema;
  struct Case {
    const char* arg;  // null: no argument
    int status;
    const char* text;
  };
  const Case cases[] = {
      {"Device.Time", 0, "Device.Time\n├── Mask\n└── Mode\n"},
      {"Device.Time.Mask", 0, "Device.Time.Mask\n"},
      {"Device.Hosts", 0, "Device.Hosts\n├── Host\n└── HostNumberOfEntries\n"},
      {"Device.Nope", -1, "tree: Device.Nope: no such node\n"},
      {nullptr, 0,
       ":\n"
       "└── Device\n"
       "    ├── DeviceInfo\n"
       "    │   ├── Manufacturer\n"
       "    │   ├── SoftwareVersion\n"
       "    │   └── UpgradeProgress\n"
       "    ├── Hosts\n"
       "    │   ├── Host\n"
       "    │   └── HostNumberOfEntries\n"
       "    └── Time\n"
       "        ├── Mask\n"
       "        └── Mode\n"},
  };
  for (const Case& c : cases) {
    k::Json args = k::Json::take(c.arg ? json_pack("[s]", c.arg) : json_array());
    StdoutCapture capture;
    int status = cmd_tree("tree", args.get());
    EXPECT_EQ(capture.finish(), c.text) << (c.arg ? c.arg : "(none)");
    EXPECT_EQ(status, c.status);
  }
}

TEST(SchemaTree, MarksTablesAndTheirPseudoParameters) {
  TestSchema schema;
  CdpathCopy at(current_path);
  ASSERT_EQ(cdpath_resolve(at.path, "Device.Hosts.Host.1"), 0);
  k::Json instance = schema_tree(at.path, "1", true);
  k::Json expected = k::json_parse(
      R"({"name":"1","from_multi":false,"content":[{"name":"Flags"},{"name":"HostName"}]})");
  EXPECT_TRUE(json_equal(instance.get(), expected.get())) << k::json_dump(instance.get(), 0);

  k::Json pseudo = schema_tree(at.path, "max_instance", true);
  EXPECT_TRUE(json_equal(pseudo.get(), k::json_parse(R"({"name":"max_instance"})").get()));
}

// A veld that answers GetParameterValues with every value of a small model below the names
// asked for, and 9005 for a name it does not know.
k::Json answer_values(const std::string& method, json_t* params) {
  if (method != "GetParameterValues") return {};
  static const char* kModel = R"([
      {"Name":"Device.DeviceInfo.Manufacturer","Value":"Acme"},
      {"Name":"Device.DeviceInfo.UpgradeProgress","Value":40},
      {"Name":"Device.Hosts.Host.1.Flags","Value":255},
      {"Name":"Device.Hosts.Host.1.HostName","Value":"pc"},
      {"Name":"Device.Hosts.Host.max_instance","Value":1},
      {"Name":"Device.Time.Mask","Value":6}])";
  k::Json model = k::json_parse(kModel);
  k::Json found = k::Json::take(json_array());
  size_t i, j;
  json_t* asked;
  json_t* entry;
  json_array_foreach(json_object_get(params, "ParameterNames"), i, asked) {
    std::string path = json_string_value(asked);
    if (path == ".") path.clear();
    size_t hash = path.find("#template");
    std::string prefix = path.substr(0, hash);
    std::string suffix = hash == std::string::npos ? "" : path.substr(hash + 9);
    json_array_foreach(model.get(), j, entry) {
      std::string name = k::json_text(entry, "Name");
      bool below = path.empty() || name == path || (path.back() == '.' && name.rfind(path, 0) == 0) ||
                   (hash != std::string::npos && name.rfind(prefix, 0) == 0 &&
                    name.size() > suffix.size() && name.ends_with(suffix));
      if (below) json_array_append(found.get(), entry);
    }
  }
  if (json_array_size(found.get()) == 0) return {};
  return k::Json::take(json_pack("{s:O}", "ParameterList", found.get()));
}

struct ShowCase {
  const char* command;
  std::vector<const char*> args;
  const char* request;  // the request veld received, or "" for none
  const char* text;
};

// With a schema cache: paths resolve on the cache and go out in its spelling.
const ShowCase kCachedShowCases[] = {
    {"cat", {"Device.DeviceInfo"}, R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo."]})",
     "Manufacturer    = 'Acme'\nUpgradeProgress = 40\n"},
    {"get", {"device.deviceinfo.manufacturer"},
     R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.Manufacturer"]})",
     "Manufacturer = 'Acme'\n"},
    {"cat", {}, R"(GetParameterValues {"ParameterNames":["."]})",
     "Device.DeviceInfo.Manufacturer    = 'Acme'\n"
     "Device.DeviceInfo.UpgradeProgress = 40\n"
     "Device.Hosts.Host.1.Flags         = 0xff\n"
     "Device.Hosts.Host.1.HostName      = 'pc'\n"
     "Device.Hosts.Host.max_instance    = 1\n"
     "Device.Time.Mask                  = 0b110\n"},
    {"cat", {"Device.Hosts.Host.max_instance"},
     R"(GetParameterValues {"ParameterNames":["Device.Hosts.Host.max_instance"]})",
     "max_instance = 1\n"},
    {"cat", {"Device.Hosts.Host.*.Flags"},
     R"(GetParameterValues {"ParameterNames":["Device.Hosts.Host.#template.Flags"],"IgnoreAccessError":true})",
     "1.Flags = 0xff\n"},
    {"cat", {"Device.Nope", "Device.Time"}, R"(GetParameterValues {"ParameterNames":["Device.Time."]})",
     "cat: Device.Nope: no such node.\nMask = 0b110\n"},
    {"catree", {"Device.Hosts"}, R"(GetParameterValues {"ParameterNames":["Device.Hosts."]})",
     "Device.Hosts.\n"
     "└── Host\n"
     "    ├── 1\n"
     "    │   ├── Flags    = 0xff\n"
     "    │   └── HostName = 'pc'\n"
     "    └── max_instance = 1\n"},
    {"catree", {"Device.Time.Mask"}, R"(GetParameterValues {"ParameterNames":["Device.Time.Mask"]})",
     "Device.Time.Mask = 0b110\n"},
    // veld knows no such parameter: its error is reported, and the command still succeeds.
    {"cat", {"Device.DeviceInfo.SoftwareVersion"},
     R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]})",
     "[9005] Invalid parameter name\n"},
};

// Without a cache (request mode) paths go as typed; one that is not UTF-8 cannot.
const ShowCase kUncachedShowCases[] = {
    {"cat", {"Device.DeviceInfo."}, R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo."]})",
     "Manufacturer    = 'Acme'\nUpgradeProgress = 40\n"},
    {"GetParameterValues", {"Device.Time.Mask"},
     R"(GetParameterValues {"ParameterNames":["Device.Time.Mask"]})", "Mask = 6\n"},
    {"cat", {"Device.Nope."}, R"(GetParameterValues {"ParameterNames":["Device.Nope."]})",
     "[9005] Invalid parameter name\n"},
    {"cat", {"\xff"}, "", "cat: no argument.\n"},
};

void run_show_cases(const ShowCase* begin, const ShowCase* end) {
  for (const ShowCase* c = begin; c != end; ++c) {
    testing_support::FakeVeld veld(answer_values);
    k::Json args = k::Json::take(json_array());
    for (const char* a : c->args) json_array_append_new(args.get(), json_stringn_nocheck(a, strlen(a)));
    StdoutCapture capture;
    int status = std::string(c->command) == "catree" ? cmd_catree(c->command, args.get())
                                                     : cmd_cat(c->command, args.get());
    EXPECT_EQ(capture.finish(), c->text) << c->command << " " << k::json_dump(args.get(), 0);
    EXPECT_EQ(status, 0);
    std::vector<std::string> expected;
    if (*c->request) expected.push_back(c->request);
    EXPECT_EQ(veld.requests(), expected) << c->command;
  }
}

TEST(CmdCat, ShowsValuesFromTheCachedPath) {
  TestSchema schema;
  run_show_cases(std::begin(kCachedShowCases), std::end(kCachedShowCases));
}

TEST(CmdCat, SendsPathsAsTypedWithoutCache) {
  NoSchema none;
  run_show_cases(std::begin(kUncachedShowCases), std::end(kUncachedShowCases));
}

TEST(ValuesShow, FailsOnAnUnresolvedPathOrAnErrorReply) {
  TestSchema schema;
  testing_support::FakeVeld veld(answer_values);
  StdoutCapture capture;
  EXPECT_EQ(values_show("cat", "Nope", false), -1);
  EXPECT_EQ(values_show("cat", "Device.DeviceInfo.SoftwareVersion", true), -1);
  EXPECT_EQ(values_show("cat", "Device.Time", true), 0);
}

}  // namespace
