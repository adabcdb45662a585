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
void mark_stale(json_t* table) {
  k::Json attributes = k::Json::borrow(json_object_get(table, "#attr"));
  json_object_clear(table);
  if (attributes) json_object_set(table, "#attr", attributes.get());
}

// Marks every cached table below `node` stale.
void mark_all_stale(json_t* node) {
  const char* key;
  json_t* child;
  json_object_foreach(node, key, child) {
    if (key[0] == '#' || !json_is_object(child)) continue;
    if (k::tr_node_is_multi(child))
      mark_stale(child);
    else
      mark_all_stale(child);
  }
}

}  // namespace

void schema_apply_events(Client& client) {
  ChangeQueue& queue = client.view.pending_changes;
  if (queue.empty()) return;
  bool all_stale = queue.all_stale();
  std::map<std::string, TableChanges> tables = queue.take();
  json_t* root = client.view.schema_root.get();
  if (!root) return;
  if (all_stale) {
    mark_all_stale(root);
    return;
  }

  // Deletions now; the instances to fetch, in one request.
  struct Wanted {
    json_t* table;
    std::string table_path;
    std::string number;
  };
  std::vector<Wanted> wanted;
  k::Json names = k::Json::take(json_array());
  for (const auto& [path, changes] : tables) {
    json_t* table = k::conf_find_branch(root, path);
    if (!table) continue;  // not cached: nothing to keep in step
    if (changes.stale) {
      mark_stale(table);
      continue;
    }
    for (const auto& [number, change] : changes.instances) {
      std::string key = std::to_string(number);
      if (change != InstanceChange::kAdded) json_object_del(table, key.c_str());
      if (change == InstanceChange::kDeleted || json_object_get(table, key.c_str())) continue;
      wanted.push_back({table, path, key});
      json_array_append_new(names.get(), json_string((path + key + ".").c_str()));
    }
  }
  if (wanted.empty()) return;

  k::Message m = k::msg_get_parameter_attributes(names, -1);
  request_probe(client.session, m, -1);  // an instance gone again is no failure
  k::Json fetched =
      k::tr_names_to_config(json_object_get(m.result.get(), "ParameterList"), nullptr);
  for (const Wanted& w : wanted) {
    json_t* instance =
        json_object_get(k::conf_find_branch(fetched.get(), w.table_path), w.number.c_str());
    if (!instance) continue;  // gone again, or veld refused it
    schema_info_to_attr(instance);
    json_object_set_new(instance, "#fetched", json_true());
    json_object_set(w.table, w.number.c_str(), instance);
  }
}
