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
void fetch_instances(Session& session, SchemaNode& table, const std::string& path) {
  k::Message names_msg = k::msg_get_parameter_names(path, true);
  request_probe(session, names_msg, -1);
  k::Json names = k::tr_parameter_names(reply_list(names_msg));
  if (json_array_size(names.get()) == 0) return;  // nothing to ask for

  k::Message attrs_msg = k::msg_get_parameter_attributes(names, -1);
  k::msg_add_parameter(attrs_msg, "IgnoreAccessError", k::Json::take(json_true()));
  request_probe(session, attrs_msg, -1);
  SchemaNodePtr tree = schema_nodes_from_list(reply_list(attrs_msg), path);
  for (const auto& [number, instance] : tree->children()) {
    instance->fetched = true;
    table.set_child(number, instance);
  }
}

}  // namespace

SchemaNode* schema_reset(CommandContext& client) {
  DataModelView& view = client.view;
  view.schema_root = std::make_shared<SchemaNode>();
  view.user_generation = client.session.user_generation;
  cdpath_clear(view.current_path, view.schema_root);
  // "-" must never lead into the dropped tree (it was built with another user's rights, and at
  // the root its node would be the old root itself): the previous position starts at the new
  // root too.
  cdpath_clear(view.previous_path, view.schema_root);
  int fetched = schema_fetch(client, view.current_path);
  view.schema_root->remove_child("DataModelVersion");
  return fetched == 0 ? view.schema_root.get() : nullptr;
}

void schema_follow_user(CommandContext& client) {
  if (client.view.schema_root && client.view.user_generation != client.session.user_generation)
    schema_reset(client);
}

int schema_fetch(CommandContext& client, cdpath& p) {
  std::string path = cdpath_request_text(p);
  k::Message m = k::msg_get_parameter_attributes(single_name(path), 1);
  // What the cache cannot fetch it does not hold: resolution then reports the node missing.
  int exchanged = request_probe(client.session, m, -1);
  // The path's own entry gives the node's attributes, the others its children.
  SchemaNodePtr tree = schema_nodes_from_list(reply_list(m), path);

  if (!p.node) {  // a template the cache does not hold: the path gets a node of its own
    p.node = std::make_shared<SchemaNode>();
  }
  // In place: other paths may stand on the node, or above it.
  *p.node = std::move(*tree);
  p.node->fetched = true;

  if (p.is_multi) fetch_instances(client.session, *p.node, path);
  // An ordered table's "order" is read like a parameter; it must resolve without a request.
  if (p.is_ordered) {
    auto order = std::make_shared<SchemaNode>();
    order->fetched = true;
    p.node->set_child("order", std::move(order));
  }
  return exchanged < 0 ? -1 : 0;
}

bool schema_children_unknown(const SchemaNode* node) { return !node || node->below_unknown(); }

SchemaNodePtr schema_child(CommandContext& client, cdpath& p, const std::string& name) {
  // A table is fetched again for a name it lacks: the instance may have been added since.
  if (schema_children_unknown(p.node.get()) || (p.is_multi && !p.node->child(name)))
    schema_fetch(client, p);
  if (!p.node) return nullptr;
  if (const SchemaNodePtr& child = p.node->child_ref(name)) return child;
  if (k::tr_is_instance_number(name)) return p.node->template_node;
  return nullptr;
}
