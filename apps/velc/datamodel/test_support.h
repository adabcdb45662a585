// Test support for the data-model units: a small cached schema that needs no requests, a fake
// veld that answers requests from a test's handler and records them, a small model for that
// handler to serve, and stdout capture.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "datamodel/cdpath.h"
#include "datamodel/schema.h"
#include "entry/exchange.h"
#include "platform/colors.h"
#include "platform/line_reader.h"
#include "platform/socket.h"

namespace testing_support {

// A fetched schema: Device with DeviceInfo, the Hosts.Host table (instances 1 and 2), the
// ordered Firewall rule table, and the Ping method. Every node is marked "#fetched".
inline constexpr const char* kSchema = R"({
  "#fetched": true,
  "Device": {"#fetched": true, "#attr": {"type": "object"},
    "DeviceInfo": {"#fetched": true, "#attr": {"type": "object", "access": "readOnly"},
      "Manufacturer": {"#fetched": true, "#attr": {"type": "string", "access": "readOnly", "default": ""}},
      "ModelName": {"#fetched": true, "#attr": {"type": "string", "default": ""}},
      "UpgradeProgress": {"#fetched": true, "#attr": {"type": "unsignedInt", "default": 0}},
      "Temperature": {"#fetched": true, "#attr": {"type": "decimal", "default": 0.5}},
      "DeviceMode": {"#fetched": true, "#attr": {"type": "enum", "default": "Router"}}},
    "Hosts": {"#fetched": true, "#attr": {"type": "object"},
      "HostNumberOfEntries": {"#fetched": true, "#attr": {"type": "unsignedInt", "access": "readOnly", "default": 0}},
      "Host": {"#fetched": true, "#attr": {"type": "object", "multi": true},
        "#template": {"#attr": {"type": "object"},
          "HostName": {"#attr": {"type": "string", "default": ""}},
          "Active": {"#attr": {"type": "boolean", "default": false}}},
        "1": {"#fetched": true, "#attr": {"type": "object"},
          "HostName": {"#attr": {"type": "string", "default": ""}},
          "Active": {"#attr": {"type": "boolean", "default": false}}},
        "2": {"#fetched": true, "#attr": {"type": "object"},
          "HostName": {"#attr": {"type": "string", "default": ""}},
          "Active": {"#attr": {"type": "boolean", "default": false}}},
        "max_instance": {"#fetched": true, "#attr": {"type": "unsignedInt", "access": "readOnly", "default": 0}}}},
    "Firewall": {"#fetched": true, "#attr": {"type": "object"},
      "Rule": {"#fetched": true, "#attr": {"type": "object", "multi": true, "ordered": true},
        "#template": {"#attr": {"type": "object"}, "Target": {"#attr": {"type": "string", "default": "Drop"}}},
        "1": {"#fetched": true, "#attr": {"type": "object"}, "Target": {"#attr": {"type": "string", "default": "Drop"}}},
        "order": {"#fetched": true}}},
    "IP": {"#fetched": true, "#attr": {"type": "object"},
      "Ping": {"#fetched": true, "#attr": {"type": "method"},
        "#input": {"#attr": {"type": "object"}, "Host": {"#attr": {"type": "string", "default": ""}}}}}}
})";

// Makes `json` the schema cache and puts the shell at its root, with the previous position there
// too. Colours are off so outputs compare as plain text.
inline void load_schema(const char* json = kSchema) {
  k::colors_force(false);
  json_error_t error;
  schema_root = k::Json::take(json_loads(json, 0, &error));
  if (!schema_root) ADD_FAILURE() << "bad fixture: " << error.text << " line " << error.line;
  cdpath_new(current_path);
  cdpath_new(previous_path);
}

// Runs `fn` and gives what it printed on stdout.
inline std::string output_of(const std::function<void()>& fn) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  fn();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// An argument array of strings.
inline k::Json args(std::initializer_list<const char*> words) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : words) json_array_append_new(a.get(), json_string(w));
  return a;
}

// A stand-in for veld on a socket in a temporary folder, serving the requests and events handles.
// Each request is answered with the handler's result (an object), or, when the handler gives
// none, with the error 9005 "Invalid parameter name".
class FakeVeld {
 public:
  using Handler = std::function<k::Json(const std::string& method, json_t* params)>;

  explicit FakeVeld(Handler handler) : handler_(std::move(handler)) {
    char dir[] = "/tmp/velc-fake-XXXXXX";
    dir_ = mkdtemp(dir);
    std::string path = dir_ + "/veld.sock";
    k::Fd listener = k::unix_listen(path);
    // Connected one after the other, so the first accepted is the requests handle.
    requests_handle().set_destination(path);
    requests_handle().connect();
    requests_ = k::Fd(accept(listener.get(), nullptr, nullptr));
    events_handle().set_destination(path);
    events_handle().connect();
    events_ = k::Fd(accept(listener.get(), nullptr, nullptr));
    unlink(path.c_str());
    if (pipe(stop_) != 0) ADD_FAILURE() << "pipe";
    thread_ = std::thread([this] { serve(); });
  }

  ~FakeVeld() {
    (void)!write(stop_[1], "x", 1);
    thread_.join();
    close(stop_[0]);
    close(stop_[1]);
    requests_handle().close();
    events_handle().close();
    rmdir(dir_.c_str());
  }

  // The requests received so far, each as "<method> <params as compact JSON>".
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

  // Sends a data-model change event (group 4) on the events connection.
  void send_change(const char* action, const char* path, int instance) {
    send_change_data(k::Json::take(json_pack("{s:s, s:s, s:i}", "Action", action, "Path", path,
                                             "InstanceNumber", instance)));
  }
  // The same with any data.
  void send_change_data(k::Json data) {
    k::Message event = k::msg_create_event(4, std::move(data));
    std::string line = k::json_dump(event.to_json().get(), JSON_COMPACT) + "\n";
    k::write_all(events_.get(), line.data(), line.size());
  }

 private:
  void serve() {
    k::LineReader reader;
    char buffer[65536];
    for (;;) {
      pollfd fds[2] = {{requests_.get(), POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 || fds[1].revents) return;
      ssize_t n = read(requests_.get(), buffer, sizeof buffer);
      if (n <= 0) return;
      reader.feed(buffer, static_cast<size_t>(n));
      while (auto line = reader.next_line()) answer(std::string(*line));
    }
  }

  void answer(const std::string& line) {
    k::Json request = k::json_parse(line);
    std::string method = k::json_text(request.get(), "method");
    json_t* params = json_object_get(request.get(), "params");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.push_back(method + " " + k::json_dump(params, JSON_COMPACT | JSON_ENCODE_ANY));
    }
    k::Json result = handler_(method, params);
    k::Json reply =
        result ? k::Json::take(json_pack("{s:s, s:O, s:O}", "jsonrpc", "2.0", "id",
                                         json_object_get(request.get(), "id"), "result",
                                         result.get()))
               : k::Json::take(json_pack("{s:s, s:O, s:{s:i, s:s}}", "jsonrpc", "2.0", "id",
                                         json_object_get(request.get(), "id"), "error", "code",
                                         9005, "message", "Invalid parameter name"));
    std::string text = k::json_dump(reply.get(), JSON_COMPACT) + "\n";
    k::write_all(requests_.get(), text.data(), text.size());
  }

  Handler handler_;
  std::string dir_;
  k::Fd requests_;
  k::Fd events_;
  int stop_[2] = {-1, -1};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> log_;
};

// A small data model served the way veld serves schema requests: attributes at depth 0, 1 (a
// table's template comes whole) or -1, and the names of a node's immediate children. AddObject
// adds the next instance to a table; other requests succeed unless they mention "refuse".
struct MiniModel {
  std::map<std::string, std::string> nodes = {
      {".", R"({"type":"object"})"},
      {"DataModelVersion", R"({"type":"string","default":""})"},
      {"Device.", R"({"type":"object"})"},
      {"Device.DeviceInfo.", R"({"type":"object"})"},
      {"Device.DeviceInfo.Manufacturer", R"({"type":"string","access":"readOnly","default":""})"},
      {"Device.Broken.", R"({"type":"object"})"},
      {"Device.Hosts.", R"({"type":"object"})"},
      {"Device.Hosts.Host.", R"({"type":"object","multi":true})"},
      {"Device.Hosts.Host.#template.", R"({"type":"object"})"},
      {"Device.Hosts.Host.#template.HostName", R"({"type":"string","default":""})"},
      {"Device.Hosts.Host.1.", R"({"type":"object"})"},
      {"Device.Hosts.Host.1.HostName", R"({"type":"string","default":""})"},
      {"Device.Hosts.Host.2.", R"({"type":"object"})"},
      {"Device.Hosts.Host.2.HostName", R"({"type":"string","default":""})"},
      {"Device.Hosts.Host.max_instance", R"({"type":"unsignedInt","access":"readOnly"})"},
      {"Device.Firewall.", R"({"type":"object"})"},
      {"Device.Firewall.Rule.", R"({"type":"object","multi":true,"ordered":true})"},
      {"Device.Firewall.Rule.#template.", R"({"type":"object"})"},
      {"Device.Firewall.Rule.1.", R"({"type":"object"})"},
      {"Device.Firewall.Rule.order", R"({"type":"string","access":"readOnly"})"},
  };
  std::set<std::string> failing = {"Device.Broken."};  // veld refuses these

  void add_instance(const std::string& table, int n) {
    std::string instance = table + std::to_string(n) + ".";
    nodes[instance] = R"({"type":"object"})";
    nodes[instance + "HostName"] = R"({"type":"string","default":""})";
  }

  // The part of `name` below `path` ("." is the root), without a trailing dot; none when outside.
  static std::optional<std::string> below(const std::string& path, const std::string& name) {
    std::string prefix = path == "." ? "" : path;
    if (name == path || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string rest = name.substr(prefix.size());
    if (!rest.empty() && rest.back() == '.') rest.pop_back();
    return rest;
  }

  k::Json entry(const std::string& name, const std::string& attributes) const {
    return k::Json::take(json_pack("{s:s, s:o}", "Name", name.c_str(), "Attributes",
                                   json_loads(attributes.c_str(), 0, nullptr)));
  }

  k::Json answer(const std::string& method, json_t* params) {
    k::Json list = k::Json::take(json_array());
    if (method == "GetParameterNames") {
      std::string path = k::json_text(params, "ParameterPath");
      if (failing.count(path) || !nodes.count(path)) return {};
      for (const auto& [name, attributes] : nodes) {
        auto rest = below(path, name);
        if (rest && !rest->empty() && rest->find('.') == std::string::npos && (*rest)[0] != '#')
          json_array_append_new(list.get(), json_pack("{s:s}", "Name", name.c_str()));
      }
    } else if (method == "GetParameterAttributes") {
      json_int_t depth = json_integer_value(json_object_get(params, "Depth"));
      size_t i;
      json_t* requested;
      json_array_foreach(json_object_get(params, "ParameterNames"), i, requested) {
        std::string path = json_string_value(requested);
        if (path.back() != '.' && nodes.count(path + ".")) path += ".";
        if (failing.count(path) || !nodes.count(path)) return {};
        json_array_append_new(list.get(), entry(path, nodes.at(path)).release());
        for (const auto& [name, attributes] : nodes) {
          auto rest = below(path, name);
          if (!rest || rest->empty()) continue;
          bool child = rest->find('.') == std::string::npos;
          bool in_template = rest->rfind("#template", 0) == 0;
          if (depth == -1 || (depth == 1 && (child || in_template)))
            json_array_append_new(list.get(), entry(name, attributes).release());
        }
      }
    } else if (method == "AddObject") {
      std::string table = k::json_text(params, "ObjectName");
      if (!nodes.count(table) || nodes.at(table).find("\"multi\":true") == std::string::npos)
        return {};
      int last = 0;
      for (const auto& [name, attributes] : nodes) {
        auto rest = below(table, name);
        if (rest && !rest->empty() && rest->find_first_not_of("0123456789") == std::string::npos)
          last = std::max(last, std::stoi(*rest));
      }
      add_instance(table, last + 1);
      return k::Json::take(json_pack("{s:i, s:i}", "InstanceNumber", last + 1, "Status", 0));
    } else if (k::json_dump(params, JSON_COMPACT).find("refuse") != std::string::npos) {
      return {};  // any other request that mentions "refuse"
    } else {
      return k::Json::take(json_pack("{s:i}", "Status", 0));
    }
    return k::Json::take(json_pack("{s:O}", "ParameterList", list.get()));
  }
};

}  // namespace testing_support
