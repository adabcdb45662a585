// Tab and the hint over a table of N instances (`cat Device.Hosts.Host.` and a prefix of an
// instance number): both work from the schema cache while the user types, so they must stay far
// below what a typist notices, also at 50,000 instances.
#include <benchmark/benchmark.h>

#include <string>

#include "app/command_rows.h"
#include "datamodel/cdpath.h"
#include "shell/client.h"
#include "shell/completion.h"

namespace {

// Marks every object below `node` fetched, as the cache does once it has asked for its children.
void mark_fetched(SchemaNode& node) {
  node.fetched = true;
  for (const auto& [name, child] : node.children())
    if (!k::tr_type_is_parameter(child->attributes.type)) mark_fetched(*child);
}

// A fully fetched cache with `hosts` instances of Device.Hosts.Host, each with a few
// parameters, at whose root the shell stands.
struct BigCache {
  Session session;
  DataModelView view;
  k::ColourTable colours;
  k::EditorSwitches editor;
  Client client{{session, view, colours}, editor};

  explicit BigCache(int hosts) {
    // As veld describes it; every object is marked fetched.
    k::Json list = k::Json::take(json_array());
    auto add = [&](const std::string& name, json_t* attributes) {
      json_array_append_new(list.get(), json_pack("{s:s, s:o}", "Name", name.c_str(),
                                                  "Attributes", attributes));
    };
    add("Device.", json_pack("{s:s}", "type", "object"));
    add("Device.Hosts.", json_pack("{s:s}", "type", "object"));
    add("Device.Hosts.HostNumberOfEntries",
        json_pack("{s:s, s:s}", "type", "unsignedInt", "access", "readOnly"));
    add("Device.Hosts.Host.", json_pack("{s:s, s:b}", "type", "object", "multi", 1));
    for (int i = 1; i <= hosts; ++i) {
      std::string instance = "Device.Hosts.Host." + std::to_string(i) + ".";
      add(instance, json_pack("{s:s}", "type", "object"));
      for (auto [name, type] : {std::pair{"Active", "boolean"}, {"HostName", "string"},
                                {"IPAddress", "string"}, {"PhysAddress", "string"}})
        add(instance + name, json_pack("{s:s}", "type", type));
    }
    view.schema_root = schema_nodes_from_list(list.get(), ".");
    mark_fetched(*view.schema_root);
    cdpath_clear(view.current_path, view.schema_root);
    cdpath_clear(view.previous_path, view.schema_root);
  }
};

// Tab after `line`: the candidates and where they go, as the shell asks for them.
void tab(benchmark::State& state, const std::string& line) {
  BigCache cache(static_cast<int>(state.range(0)));
  size_t candidates = 0;
  for (auto _ : state) {
    std::vector<std::string> c = complete_line(velc_commands(), cache.client, line, line.size());
    benchmark::DoNotOptimize(completion_fragment_start(line, c));
    candidates = c.size();
  }
  state.counters["candidates"] = static_cast<double>(candidates);
}

void hint(benchmark::State& state, const std::string& line) {
  BigCache cache(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(hint_line(velc_commands(), cache.client, line));
}

// Every instance.
void BM_TabAllInstances(benchmark::State& state) { tab(state, "cat Device.Hosts.Host."); }
// The instances whose number begins with 4 (1,111 of 5,000; 11,111 of 50,000).
void BM_TabInstancePrefix(benchmark::State& state) { tab(state, "cat Device.Hosts.Host.4"); }
// The hint while the line names the table: many candidates, so none.
void BM_HintAllInstances(benchmark::State& state) { hint(state, "cat Device.Hosts.Host."); }
// The hint for the one instance whose number begins with N: all are looked at to be sure.
void BM_HintOneInstance(benchmark::State& state) {
  hint(state, "cat Device.Hosts.Host." + std::to_string(state.range(0)));
}

void table_sizes(benchmark::internal::Benchmark* b) {
  b->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_TabAllInstances)->Apply(table_sizes);
BENCHMARK(BM_TabInstancePrefix)->Apply(table_sizes);
BENCHMARK(BM_HintAllInstances)->Apply(table_sizes);
BENCHMARK(BM_HintOneInstance)->Apply(table_sizes);
BENCHMARK_MAIN();
