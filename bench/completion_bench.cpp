// Tab and the hint over a table of N instances (`cat Device.Hosts.Host.` and a prefix of an
// instance number): both work from the schema cache while the user types, so they must stay far
// below what a typist notices, also at 50,000 instances.
#include <benchmark/benchmark.h>

#include <string>

#include "app/command_rows.h"
#include "datamodel/cdpath.h"
#include "datamodel/client.h"
#include "shell/completion.h"

namespace {

// A fully fetched cache with `hosts` instances of Device.Hosts.Host, each with a few
// parameters, at whose root the shell stands.
struct BigCache {
  Session session;
  DataModelView view;
  k::ColourTable colours;
  k::EditorSwitches editor;
  Client client{session, view, colours, editor};

  explicit BigCache(int hosts) {
    view.schema_root = k::Json::take(json_pack(
        "{s:b, s:{s:b, s:{s:s}, s:{s:b, s:{s:s}, s:{s:{s:s, s:s}}}}}", "#fetched", 1, "Device",
        "#fetched", 1, "#attr", "type", "object", "Hosts", "#fetched", 1, "#attr", "type", "object",
        "HostNumberOfEntries", "#attr", "type", "unsignedInt", "access", "readOnly"));
    json_t* hosts_node =
        json_object_get(json_object_get(view.schema_root.get(), "Device"), "Hosts");
    json_t* table =
        json_pack("{s:b, s:{s:s, s:b}}", "#fetched", 1, "#attr", "type", "object", "multi", 1);
    for (int i = 1; i <= hosts; ++i) {
      json_object_set_new(
          table, std::to_string(i).c_str(),
          json_pack("{s:b, s:{s:s}, s:{s:{s:s}}, s:{s:{s:s}}, s:{s:{s:s}}, s:{s:{s:s}}}",
                    "#fetched", 1, "#attr", "type", "object", "Active", "#attr", "type", "boolean",
                    "HostName", "#attr", "type", "string", "IPAddress", "#attr", "type", "string",
                    "PhysAddress", "#attr", "type", "string"));
    }
    json_object_set_new(hosts_node, "Host", table);
    cdpath_clear(view.current_path, view.schema_root.get());
    cdpath_clear(view.previous_path, view.schema_root.get());
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
