// The values tree of `catree Device.Hosts.` over a table of N hosts: building the display tree
// and drawing it must grow in proportion to N (children are found through an index, siblings
// are sorted once), not with N squared.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "datamodel/values.h"
#include "platform/colors.h"
#include "platform/json.h"
#include "render/tree.h"

namespace {

// The parameters of every host, as veld lists them.
const char* const kHostParameters[] = {"Active",      "HostName",           "IPAddress",
                                       "PhysAddress", "LeaseTimeRemaining", "Layer1Interface"};

// The schema of the Hosts table as veld describes it, so that every value's base is looked up as
// in the shell.
const char* const kSchema = R"([
  {"Name": "Device.", "Attributes": {"type": "object"}},
  {"Name": "Device.Hosts.", "Attributes": {"type": "object"}},
  {"Name": "Device.Hosts.Host.", "Attributes": {"type": "object", "multi": true}},
  {"Name": "Device.Hosts.Host.#template.", "Attributes": {"type": "object"}},
  {"Name": "Device.Hosts.Host.#template.Active", "Attributes": {"type": "boolean"}},
  {"Name": "Device.Hosts.Host.#template.HostName", "Attributes": {"type": "string"}},
  {"Name": "Device.Hosts.Host.#template.IPAddress", "Attributes": {"type": "string"}},
  {"Name": "Device.Hosts.Host.#template.PhysAddress", "Attributes": {"type": "string"}},
  {"Name": "Device.Hosts.Host.#template.LeaseTimeRemaining",
   "Attributes": {"type": "int", "base": 16}},
  {"Name": "Device.Hosts.Host.#template.Layer1Interface", "Attributes": {"type": "string"}}])";

// The ParameterList of GetParameterValues for Device.Hosts. with `hosts` instances.
k::Json hosts_reply(int hosts) {
  k::Json list = k::Json::take(json_array());
  json_array_append_new(list.get(), json_pack("{s:s, s:i}", "Name",
                                              "Device.Hosts.HostNumberOfEntries", "Value", hosts));
  json_array_append_new(list.get(), json_pack("{s:s, s:i}", "Name",
                                              "Device.Hosts.Host.max_instance", "Value", hosts));
  for (int i = 1; i <= hosts; ++i) {
    std::string base = "Device.Hosts.Host." + std::to_string(i) + ".";
    for (const char* p : kHostParameters) {
      std::string name = base + p;
      json_t* value = std::string(p) == "Active" ? json_true()
                      : std::string(p) == "LeaseTimeRemaining"
                          ? json_integer(3600 + i)
                          : json_string(("host-" + std::to_string(i)).c_str());
      json_array_append_new(list.get(),
                            json_pack("{s:s, s:o}", "Name", name.c_str(), "Value", value));
    }
  }
  return list;
}

// Standard output goes to /dev/null for the life of the object.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_ = -1;
};

void BM_ValuesTreeBuild(benchmark::State& state) {
  SchemaNodePtr schema = schema_nodes_from_list(k::json_parse(kSchema).get(), ".");
  k::Json list = hosts_reply(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    k::Json tree = values_tree_build(schema.get(), list.get(), "Device.Hosts.");
    benchmark::DoNotOptimize(tree.get());
  }
  state.SetComplexityN(state.range(0));
}

// Building and drawing, as `catree` does.
void BM_ValuesTree(benchmark::State& state) {
  SchemaNodePtr schema = schema_nodes_from_list(k::json_parse(kSchema).get(), ".");
  k::Json list = hosts_reply(static_cast<int>(state.range(0)));
  QuietStdout quiet;
  for (auto _ : state) {
    k::Json tree = values_tree_build(schema.get(), list.get(), "Device.Hosts.");
    print_tree(tree.get(), k::ColourTable{}, stdout);
  }
  state.SetComplexityN(state.range(0));
}

}  // namespace

// The same table sizes for both, fitted to a complexity curve.
void table_sizes(benchmark::internal::Benchmark* b) {
  for (int hosts : {500, 1000, 2000, 5000}) b->Arg(hosts);
  b->Complexity()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ValuesTreeBuild)->Apply(table_sizes);
BENCHMARK(BM_ValuesTree)->Apply(table_sizes);
BENCHMARK_MAIN();
