// Test support for the data-model units: a small, fully fetched schema cache that needs no
// requests, and a fake veld with canned replies for what the end-to-end tests cannot see (which
// fetches the cache makes in unusual situations, and how change events land).
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "datamodel/client.h"
#include "platform/socket.h"
#include "platform/stdout_capture.h"
#include "platform/temp_dir.h"
#include "datamodel/tree.h"

namespace testing_support {

using Strings = std::vector<std::string>;

// An instance of the Host table, and its template.
#define VELC_TEST_HOST                                                        \
  R"({"#fetched": true, "#attr": {"type": "object"},)"                        \
  R"( "HostName": {"#attr": {"type": "string", "default": ""}},)"             \
  R"( "Flags": {"#attr": {"type": "unsignedInt", "base": 16, "default": 0}}})"

inline constexpr const char* kSchema = R"({"#fetched": true,
  "Device": {"#fetched": true, "#attr": {"type": "object"},
    "DeviceInfo": {"#fetched": true, "#attr": {"type": "object", "access": "readOnly"},
      "Manufacturer": {"#attr": {"type": "string", "access": "readOnly", "default": ""}},
      "ModelName": {"#attr": {"type": "string", "default": ""}},
      "UpgradeProgress": {"#attr": {"type": "unsignedInt", "default": 0}},
      "Temperature": {"#attr": {"type": "decimal", "default": 0.5}}},
    "Hosts": {"#fetched": true, "#attr": {"type": "object"},
      "HostNumberOfEntries": {"#attr": {"type": "unsignedInt", "access": "readOnly"}},
      "Host": {"#fetched": true, "#attr": {"type": "object", "multi": true},
        "#template": )" VELC_TEST_HOST R"(, "1": )" VELC_TEST_HOST R"(, "2": )" VELC_TEST_HOST R"(,
        "max_instance": {"#attr": {"type": "unsignedInt", "access": "readOnly"}}}},
    "IP": {"#fetched": true, "#attr": {"type": "object"}, "Ping": {"#fetched": true,
      "#attr": {"type": "method"}, "#input": {"Host": {"#attr": {"type": "string"}}}}},
    "Time": {"#fetched": true, "#attr": {"type": "object"},
      "Mask": {"#attr": {"type": "unsignedInt", "base": 2}},
      "Mode": {"#attr": {"type": "unsignedInt", "base": 8, "default": 0}}}}})";

// What the commands under test work on: a session, a view and colours switched off. `load_schema`
// makes kSchema the cache, with the current and previous positions at its root; requests fail at
// once (no veld behind the socket) until a FakeVeld is made on the session.
struct TestClient {
  Session session;
  DataModelView view;
  k::ColourTable colours;
  k::EditorSwitches editor;
  Client client{session, view, colours, editor};

  void load_schema() {
    session.requests.set_destination("/nonexistent/velc-test/veld.sock");
    view.schema_root = k::json_parse(kSchema);
    cdpath_clear(view.current_path, view.schema_root.get());
    cdpath_clear(view.previous_path, view.schema_root.get());
  }
  // The cache's node at a path, or none.
  json_t* at(const char* path) { return k::conf_find_branch(view.schema_root.get(), path); }
};

inline k::Json args(const std::vector<const char*>& words) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : words) json_array_append_new(a.get(), json_string(w));
  return a;
}

// A stand-in for veld on a socket in a temporary folder, connected to the session's requests and
// events connections. It logs each request as "<method> <params as compact JSON>" and answers it with the
// ParameterList that `replies` holds for that text, or else with error 9005.
class FakeVeld {
 public:
  explicit FakeVeld(Session& session, std::map<std::string, std::string> replies = {})
      : session_(session), replies_(std::move(replies)) {
    k::test::TempDir dir;
    std::string path = dir.file("veld.sock");
    k::Fd listener = k::unix_listen(path);
    // Connected one after the other, so the first accepted is the requests connection.
    for (auto [handle, fd] :
         {std::pair{&session.requests, &requests_}, {&session.events, &events_}}) {
      handle->set_destination(path);
      handle->connect();
      *fd = k::Fd(accept(listener.get(), nullptr, nullptr));
    }
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeVeld() {
    session_.requests.close();  // ends serve()
    thread_.join();
    session_.events.close();
  }

  // The requests received since the last call.
  Strings take_requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(log_, {});
  }

  // Sends a data-model change event (group 4) with the data given as JSON text.
  void send_change(const char* data) {
    k::Json event = k::msg_create_event(k::kChangeEventGroup, k::json_parse(data)).to_json();
    std::string line = k::json_dump(event.get(), JSON_COMPACT) + "\n";
    k::write_all(events_.get(), line.data(), line.size());
  }

 private:
  void serve() {
    std::string line;
    for (char c; read(requests_.get(), &c, 1) == 1;) {
      if (c != '\n') {
        line += c;
        continue;
      }
      k::Json request = k::json_parse(std::exchange(line, {}));
      json_t* params = json_object_get(request.get(), "params");
      std::string logged = k::json_text(request.get(), "method") + " " +
                           k::json_dump(params, JSON_COMPACT | JSON_ENCODE_ANY);
      std::lock_guard<std::mutex> lock(mutex_);
      log_.push_back(logged);
      auto reply = replies_.find(logged);
      bool found = reply != replies_.end();
      json_t* body =
          found ? json_pack("{s:o}", "ParameterList", k::json_parse(reply->second).release())
                : json_pack("{s:i, s:s}", "code", 9005, "message", "Invalid parameter name");
      k::Json answer = k::Json::take(json_pack("{s:s, s:O, s:o}", "jsonrpc", "2.0", "id",
                                               json_object_get(request.get(), "id"),
                                               found ? "result" : "error", body));
      std::string text = k::json_dump(answer.get(), JSON_COMPACT) + "\n";
      k::write_all(requests_.get(), text.data(), text.size());
    }
  }

  Session& session_;
  std::map<std::string, std::string> replies_;
  k::Fd requests_, events_;
  std::thread thread_;
  std::mutex mutex_;
  Strings log_;
};

}  // namespace testing_support
