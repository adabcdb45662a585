// The schema cache's tree: rebuilding it, fetching one node's children, and looking a child up.
#include "datamodel/schema.h"

#include <cstring>

#include "link/exchange.h"
#include "datamodel/tree.h"

namespace {

// The reply's "ParameterList" (lent by the message), or none when veld answered with an error.
json_t* reply_list(const k::Message& m) {
  return json_object_get(m.result.get(), "ParameterList");
}

k::Json single_name(const std::string& path) {
  k::Json names = k::Json::take(json_array());
  json_array_append_new(names.get(), json_stringn(path.data(), path.size()));
  return names;
}

// Fills a table node with the whole subtree of each of its instances, in two requests: the names
// of its children, then their attributes at full depth.
void fetch_instances(Session& session, json_t* table, const std::string& path) {
  k::Message names_msg = k::msg_get_parameter_names(path, true);
  request_probe(session, names_msg, -1);
  k::Json names = k::tr_parameter_names(reply_list(names_msg));
  if (json_array_size(names.get()) == 0) return;  // nothing to ask for

  k::Message attrs_msg = k::msg_get_parameter_attributes(names, -1);
  k::msg_add_parameter(attrs_msg, "IgnoreAccessError", k::Json::take(json_true()));
  request_probe(session, attrs_msg, -1);
  k::Json tree = k::tr_names_to_config(reply_list(attrs_msg), path.c_str());
  const char* key;
  json_t* instance;
  json_object_foreach(tree.get(), key, instance) {
    if (std::strcmp(key, "#info") == 0) continue;  // the table's own entry, were it listed
    schema_info_to_attr(instance);
    json_object_set_new(instance, "#fetched", json_true());
    json_object_set(table, key, instance);
  }
}

}  // namespace

json_t* schema_reset(Client& client) {
  DataModelView& view = client.view;
  view.schema_root = k::Json::take(json_object());
  view.user_generation = client.session.user_generation;
  cdpath_clear(view.current_path, view.schema_root.get());
  // "-" must never lead into the dropped tree (it was built with another user's rights, and at
  // the root its node would be the old root itself): the previous position starts at the new
  // root too.
  cdpath_clear(view.previous_path, view.schema_root.get());
  int fetched = schema_fetch(client, view.current_path);
  json_object_del(view.schema_root.get(), "DataModelVersion");
  return fetched == 0 ? view.schema_root.get() : nullptr;
}

void schema_follow_user(Client& client) {
  if (client.view.schema_root && client.view.user_generation != client.session.user_generation)
    schema_reset(client);
}

int schema_fetch(Client& client, cdpath& p) {
  std::string path = cdpath_request_text(p);
  k::Message m = k::msg_get_parameter_attributes(single_name(path), 1);
  // What the cache cannot fetch it does not hold: resolution then reports the node missing.
  int exchanged = request_probe(client.session, m, -1);
  // The path's own entry lands at the top level as "#info", so the node keeps its "#attr".
  k::Json tree = k::tr_names_to_config(reply_list(m), path.c_str());
  schema_info_to_attr(tree.get());

  if (!p.node) {  // a template the cache does not hold: the path gets a node of its own
    p.node_hold = k::Json::take(json_object());
    p.node = p.node_hold.get();
  }
  json_object_clear(p.node);
  json_object_update(p.node, tree.get());
  json_object_set_new(p.node, "#fetched", json_true());

  if (p.is_multi) fetch_instances(client.session, p.node, path);
  // An ordered table's "order" is read like a parameter; it must resolve without a request.
  if (p.is_ordered) json_object_set_new(p.node, "order", json_pack("{s:b}", "#fetched", 1));
  return exchanged < 0 ? -1 : 0;
}

bool schema_children_unknown(json_t* node) {
  if (!node) return true;
  size_t n = json_object_size(node);
  return n == 0 || (n == 1 && json_object_get(node, "#attr"));
}

json_t* schema_child(Client& client, cdpath& p, const std::string& name) {
  // A table is fetched again for a name it lacks: the instance may have been added since.
  if (schema_children_unknown(p.node) || (p.is_multi && !json_object_get(p.node, name.c_str())))
    schema_fetch(client, p);
  if (json_t* child = json_object_get(p.node, name.c_str())) return child;
  if (k::tr_is_instance_number(name)) return json_object_get(p.node, "#template");
  return nullptr;
}

void schema_info_to_attr(json_t* node) {
  if (!json_is_object(node)) return;
  if (json_t* info = json_object_get(node, "#info")) {
    if (json_t* attributes = json_object_get(info, "Attributes"))
      json_object_set(node, "#attr", attributes);
    json_object_del(node, "#info");
  }
  const char* key;
  json_t* value;
  json_object_foreach(node, key, value) {
    if (std::strcmp(key, "#attr") != 0) schema_info_to_attr(value);  // attributes are veld's data
  }
}

bool node_is_writable(json_t* node) {
  json_t* access = json_object_get(k::tr_node_attr(node), "access");
  return !json_is_string(access) || std::strcmp(json_string_value(access), "readOnly") != 0;
}
