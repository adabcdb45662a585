// Keeping the cached tables in step with veld's change events: added instances are fetched (all
// of them in one request) and stored, deleted ones dropped, and a table whose changes were too
// many to follow one by one is emptied, so that it is fetched anew when next used.
#include <string>
#include <vector>

#include "datamodel/schema.h"
#include "link/exchange.h"
#include "datamodel/tree.h"

namespace {

// Empties a cached table but for its attributes: the next use fetches it anew.
void mark_stale(SchemaNode& table) { table.clear_below(); }

// Marks every cached table below `node` stale.
void mark_all_stale(SchemaNode& node) {
  for (const auto& [name, child] : node.children()) {
    if (child->attributes.multi)
      mark_stale(*child);
    else
      mark_all_stale(*child);
  }
}

}  // namespace

void schema_apply_events(CommandContext& client) {
  ChangeQueue& queue = client.view.pending_changes;
  if (queue.empty()) return;
  bool all_stale = queue.all_stale();
  std::map<std::string, TableChanges> tables = queue.take();
  SchemaNode* root = client.view.schema_root.get();
  if (!root) return;
  if (all_stale) {
    mark_all_stale(*root);
    return;
  }

  // Deletions now; the instances to fetch, in one request.
  struct Wanted {
    SchemaNode* table;
    std::string table_path;
    std::string number;
  };
  std::vector<Wanted> wanted;
  k::Json names = k::Json::take(json_array());
  for (const auto& [path, changes] : tables) {
    SchemaNode* table = schema_node_at(root, path);
    if (!table) continue;  // not cached: nothing to keep in step
    if (changes.stale) {
      mark_stale(*table);
      continue;
    }
    for (const auto& [number, change] : changes.instances) {
      std::string key = std::to_string(number);
      if (change != InstanceChange::kAdded) table->remove_child(key);
      if (change == InstanceChange::kDeleted || table->child(key)) continue;
      wanted.push_back({table, path, key});
      json_array_append_new(names.get(), json_string((path + key + ".").c_str()));
    }
  }
  if (wanted.empty()) return;

  k::Message m = k::msg_get_parameter_attributes(names, -1);
  request_probe(client.session, m, -1);  // an instance gone again is no failure
  SchemaNodePtr fetched =
      schema_nodes_from_list(json_object_get(m.result.get(), "ParameterList"), "");
  for (const Wanted& w : wanted) {
    SchemaNode* table = schema_node_at(fetched.get(), w.table_path);
    SchemaNodePtr instance = table ? table->child_ref(w.number) : nullptr;
    if (!instance) continue;  // gone again, or veld refused it
    instance->fetched = true;
    w.table->set_child(w.number, instance);
  }
}
