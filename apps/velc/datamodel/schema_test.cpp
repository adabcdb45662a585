#include "datamodel/schema.h"

#include <gtest/gtest.h>

#include "datamodel/test_support.h"

using testing_support::load_schema;

namespace {

std::string dump(json_t* v) { return k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY); }

TEST(ListEntryAdd, JoinsColonPrefixNameAndMark) {
  struct {
    const char* name;
    const char* prefix;
    bool absolute, mark;
    const char* expected;
  } cases[] = {
      {"Hosts", "Device", true, true, ":Device.Hosts."},
      {"Hosts.", "Device", true, true, ":Device.Hosts."},
      {"Hosts", nullptr, false, false, "Hosts"},
      {"Hosts", "", false, true, "Hosts."},
      {"Hosts", nullptr, true, false, ":Hosts"},
      {"1", "Device.Hosts.Host", false, false, "Device.Hosts.Host.1"},
  };
  for (const auto& c : cases) {
    k::Json list = k::Json::take(json_array());
    list_entry_add(list.get(), c.name, c.prefix, c.absolute, c.mark);
    EXPECT_EQ(dump(list.get()), std::string("[\"") + c.expected + "\"]") << c.name;
  }
}

TEST(SchemaListChildren, Options) {
  struct {
    const char* at;
    const char* filter;
    int options;
    const char* expected;
  } cases[] = {
      {"Device", nullptr, 0, R"(["DeviceInfo","Hosts","Firewall","IP"])"},
      {"Device", "dev", LIST_MATCH_PREFIX, R"(["DeviceInfo"])"},
      {"Device", "DEV", LIST_MATCH_PREFIX | LIST_MARK_OBJECTS | LIST_ABSOLUTE,
       R"([":DeviceInfo."])"},
      {"Device", "Device", LIST_MARK_OBJECTS, R"(["Device.DeviceInfo.","Device.Hosts.",)"
                                              R"("Device.Firewall.","Device.IP."])"},
      {"Device.Hosts", nullptr, LIST_OBJECTS_ONLY, R"(["Host"])"},
      {"Device.Hosts", nullptr, LIST_MARK_OBJECTS, R"(["HostNumberOfEntries","Host."])"},
      // Read-only parameters go; a read-only object stays.
      {"Device", nullptr, LIST_WRITABLE_ONLY, R"(["DeviceInfo","Hosts","Firewall","IP"])"},
      {"Device.DeviceInfo", nullptr, LIST_WRITABLE_ONLY,
       R"(["ModelName","UpgradeProgress","Temperature","DeviceMode"])"},
      {"Device.DeviceInfo", "m", LIST_MATCH_PREFIX, R"(["Manufacturer","ModelName"])"},
      // Special keys never show; the table's instances and pseudo-entries do.
      {"Device.Hosts.Host", nullptr, 0, R"(["1","2","max_instance"])"},
      {"Device.IP.Ping", nullptr, 0, "[]"},
  };
  for (const auto& c : cases) {
    load_schema();
    CdpathCopy p(current_path);
    ASSERT_EQ(cdpath_resolve(p.path, c.at), 0);
    EXPECT_EQ(dump(schema_list_children(p.path, c.filter, c.options).get()), c.expected)
        << c.at << " " << (c.filter ? c.filter : "-") << " " << c.options;
  }
}

TEST(SchemaListNames, ObjectsListTheirCachedChildrenWithoutRequests) {
  load_schema();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Hosts"), 0);
  EXPECT_EQ(dump(schema_list_names(p.path).get()), R"(["HostNumberOfEntries","Host"])");
}

TEST(SchemaInfoToAttr, ReplacesInfoByItsAttributesRecursively) {
  k::Json tree = k::json_parse(R"({
    "#info": {"Name": "Device.", "Attributes": {"type": "object"}},
    "DeviceInfo": {"#info": {"Name": "Device.DeviceInfo.", "Attributes": {"type": "object"}},
      "Manufacturer": {"#info": {"Name": "Device.DeviceInfo.Manufacturer",
                                 "Attributes": {"type": "string", "default": ""}}}},
    "Bare": {"#info": {"Name": "Device.Bare."}},
    "Flag": true})");
  schema_info_to_attr(tree.get());
  EXPECT_EQ(dump(tree.get()),
            R"({"DeviceInfo":{"Manufacturer":{"#attr":{"type":"string","default":""}},)"
            R"("#attr":{"type":"object"}},"Bare":{},"Flag":true,"#attr":{"type":"object"}})");
  schema_info_to_attr(nullptr);  // accepted
}

TEST(SchemaPredicates, WritableAndInstanceNumbers) {
  k::Json read_only = k::json_parse(R"({"#attr": {"access": "readOnly"}})");
  k::Json read_write = k::json_parse(R"({"#attr": {"access": "readWrite"}})");
  k::Json bare = k::json_parse("{}");
  EXPECT_EQ(node_is_writable(read_only.get()), 0);
  EXPECT_EQ(node_is_writable(read_write.get()), 1);
  EXPECT_EQ(node_is_writable(bare.get()), 1);

  struct {
    const char* text;
    int expected;
  } numbers[] = {{"1", 1},  {"0", 1},  {"00042", 1}, {"12345678901234567890", 1},
                 {"123456789012345678901", 0}, {"", 0}, {"12a", 0}, {"-1", 0}, {" 1", 0}};
  for (const auto& n : numbers) EXPECT_EQ(is_instance_number(n.text), n.expected) << n.text;
}

}  // namespace
