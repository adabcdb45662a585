// Keeping the cached tables in step with veld's object events: added instances are fetched (all
// of them in one request) and stored, deleted ones removed.
#include <string>

#include "datamodel/schema.h"
#include "link/exchange.h"
#include "platform/tr.h"

namespace {

struct ChangeEvent {
  const char* action = nullptr;
  const char* path = nullptr;
  int instance = 0;
};

bool unpack_event(json_t* event, ChangeEvent& e) {
  return json_unpack(event, "{s:s, s:s, s:i}", "Action", &e.action, "Path", &e.path,
                     "InstanceNumber", &e.instance) == 0;
}

bool is_add(const ChangeEvent& e) { return std::string(e.action) == "Add"; }

// The absolute tree of the attributes of every instance that an "Add" event announces and the
// cache does not hold yet; none when there is nothing to fetch.
k::Json fetch_added(Client& client, json_t* events) {
  k::Json names = k::Json::take(json_array());
  size_t i;
  json_t* event;
  json_array_foreach(events, i, event) {
    ChangeEvent e;
    if (!unpack_event(event, e) || !is_add(e)) continue;
    json_t* table = k::conf_find_branch(client.view.schema_root.get(), e.path);
    if (!table || json_object_get(table, std::to_string(e.instance).c_str())) continue;
    json_array_append_new(names.get(), json_sprintf("%s%d", e.path, e.instance));
  }
  if (json_array_size(names.get()) == 0) return {};
  k::Message m = k::msg_get_parameter_attributes(names, -1);
  request_exchange(client.session, m, -1);
  return k::tr_names_to_config(json_object_get(m.result.get(), "ParameterList"), nullptr);
}

void apply_event(json_t* root, const ChangeEvent& e, json_t* fetched) {
  std::string table_path = is_add(e) ? std::string(e.path) : k::tr_parent_path(e.path);
  json_t* table = k::conf_find_branch(root, table_path);
  if (!table) return;
  std::string key = std::to_string(e.instance);
  if (!is_add(e)) {
    json_object_del(table, key.c_str());
    return;
  }
  json_t* instance = json_object_get(k::conf_find_branch(fetched, e.path), key.c_str());
  if (!instance) return;  // already cached before the event
  schema_info_to_attr(instance);
  json_object_set_new(instance, "#fetched", json_true());
  json_object_set(table, key.c_str(), instance);
}

}  // namespace

void schema_apply_events(Client& client) {
  k::Json events = client.view.pending_changes.take();
  json_t* root = client.view.schema_root.get();
  if (!events || !root) return;
  k::Json fetched = fetch_added(client, events.get());
  size_t i;
  json_t* event;
  json_array_foreach(events.get(), i, event) {
    ChangeEvent e;
    if (unpack_event(event, e)) apply_event(root, e, fetched.get());
  }
}
