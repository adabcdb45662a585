#include "datamodel/attributes.h"

#include <cstdio>

#include "datamodel/resolve.h"
#include "link/exchange.h"
#include "datamodel/tree.h"
#include "render/attr_report.h"
#include "render/result_report.h"

namespace {

// How long the shell waits for veld's attributes before it shows the cached ones.
constexpr int kAttributesTimeoutMs = 1000;

// The "Attributes" of the first node of a reply, with a reference of its own; none when veld
// refused or did not answer.
k::Json first_attributes(const k::Message& m) {
  if (!reply_ok(m)) return {};
  json_t* list = json_object_get(m.result.get(), "ParameterList");
  json_t* attributes = json_object_get(json_array_get(list, 0), "Attributes");
  return attributes ? k::Json::borrow(attributes) : k::Json();
}

// The path text at `i` of the argument array ("" for an element that is no text).
std::string path_at(json_t* paths, size_t i) {
  const char* text = k::json_array_text(paths, i);
  return text ? text : "";
}

// Tells on standard error which paths veld refused and why, as "<name>: <path>: " followed by
// veld's report; standard output keeps the "<name>: ERROR" line alone. veld refuses a request of
// several paths as a whole, so each is then asked on its own to find the failing ones; when veld
// was not reached (a failure of the client's own, below 0) or each alone passes, the refusal is
// reported under all the paths.
void explain_refusal(CommandContext& client, const std::string& name, json_t* paths,
                     const k::Message& refused) {
  std::fflush(client.out);  // the ERROR line first, where both streams reach one terminal or file
  auto report = [&](const std::string& path, const k::Message& m) {
    std::fprintf(stderr, "%s: %s: ", name.c_str(), path.c_str());
    report_result(m, client.colours, stderr);
  };
  const size_t count = json_array_size(paths);
  bool told = false;
  for (size_t i = 0; count > 1 && refused.error_code > 0 && i < count; ++i) {
    k::Json one = k::Json::take(json_array());
    json_array_append(one.get(), json_array_get(paths, i));
    k::Message m = k::msg_get_parameter_attributes(one, 0);
    request_exchange(client.session, m, k::kDefaultTimeoutMs);
    if (reply_ok(m)) continue;
    report(path_at(paths, i), m);
    told = true;
  }
  if (told) return;
  std::string all;
  for (size_t i = 0; i < count; ++i) all += (i ? " " : "") + path_at(paths, i);
  report(all, refused);
}

}  // namespace

int attr_show(CommandContext& client, const std::string& name, const char* path) {
  cdpath copy = client.view.current_path;
  if (path && resolve_argument(client, copy, name, path, NoSuchNode::kWithoutPeriod) != 0)
    return -1;
  if (copy.node && copy.node == client.view.schema_root) {
    // The root is no node of veld's model: it has no attributes to ask for.
    std::fputs("Canonical path:     :\nType:               config root\n"
               "Const:              true\n", client.out);
    return -1;
  }
  std::string text = cdpath_request_text(copy);
  k::Json names = k::Json::take(json_array());
  json_array_append_new(names.get(), json_stringn(text.data(), text.size()));
  k::Message m = k::msg_get_parameter_attributes(names, 0);
  request_exchange(client.session, m, kAttributesTimeoutMs);
  k::Json attributes = first_attributes(m);
  // veld said nothing (refused, or too slow): what the cache knows is still worth showing.
  if (!attributes && copy.node)
    attributes = k::Json::take(json_deep_copy(copy.node->attributes.all.get()));
  attr_report(text, attributes.get(), client.colours, client.out);
  return 0;
}

int cmd_attr(CommandContext& client, const std::string& name, json_t* args) {
  if (json_array_size(args) < 2) return attr_show(client, name, k::json_array_text(args, 0));
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    const char* path = json_string_value(arg);
    std::fprintf(client.out, "%s:\n", path ? path : "");
    attr_show(client, name, path ? path : "");
    std::fputc('\n', client.out);
  }
  return 0;
}

int cmd_attr_request(CommandContext& client, const std::string& name, json_t* args) {
  k::Message m = k::msg_get_parameter_attributes(k::Json::borrow(args), 0);
  request_exchange(client.session, m, k::kDefaultTimeoutMs);
  if (!reply_ok(m)) {
    std::fprintf(client.out, "%s: ERROR\n", name.c_str());
    explain_refusal(client, name, args, m);
    return -1;
  }
  json_t* list = json_object_get(m.result.get(), "ParameterList");
  size_t i;
  json_t* entry;
  json_array_foreach(list, i, entry) {
    const char* node_name;
    json_t* attributes;
    if (json_unpack(entry, "{s:s, s:o}", "Name", &node_name, "Attributes", &attributes) != 0)
      continue;  // nothing to name the report by, or nothing to report
    attr_report(node_name, attributes, client.colours, client.out);
    std::fputc('\n', client.out);
  }
  return 0;
}
