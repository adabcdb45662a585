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

#include "datamodel/cdpath.h"
#include "datamodel/schema.h"
#include "entry/exchange.h"
#include "platform/socket.h"
#include "platform/tr.h"
#include "render/stdout_capture.h"

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

// Makes kSchema the cache, with the shell and its previous position at the root. Requests fail
// at once (no veld behind the socket) until a FakeVeld is made.
inline void load_schema() {
  requests_handle().set_destination("/nonexistent/velc-test/veld.sock");
  schema_root = k::json_parse(kSchema);
  cdpath_new(current_path);
  cdpath_new(previous_path);
}

inline k::Json args(const std::vector<const char*>& words) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : words) json_array_append_new(a.get(), json_string(w));
  return a;
}

template <class F>
std::string output_of(F fn) {
  StdoutCapture capture;
  fn();
  return capture.finish();
}

// A stand-in for veld on a socket in a temporary folder, connected to the requests and events
// handles. It logs each request as "<method> <params as compact JSON>" and answers it with the
// ParameterList that `replies` holds for that text, or else with error 9005.
class FakeVeld {
 public:
  explicit FakeVeld(std::map<std::string, std::string> replies = {})
      : replies_(std::move(replies)) {
    char dir[] = "/tmp/velc-fake-XXXXXX";
    std::string path = std::string(mkdtemp(dir)) + "/veld.sock";
    k::Fd listener = k::unix_listen(path);
    // Connected one after the other, so the first accepted is the requests handle.
    for (auto [handle, fd] :
         {std::pair{&requests_handle(), &requests_}, {&events_handle(), &events_}}) {
      handle->set_destination(path);
      handle->connect();
      *fd = k::Fd(accept(listener.get(), nullptr, nullptr));
    }
    unlink(path.c_str());
    rmdir(dir);
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeVeld() {
    requests_handle().close();  // ends serve()
    thread_.join();
    events_handle().close();
  }

  // The requests received since the last call.
  Strings take_requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(log_, {});
  }

  // Sends a data-model change event (group 4) with the data given as JSON text.
  void send_change(const char* data) {
    k::Json event = k::msg_create_event(4, k::json_parse(data)).to_json();
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

  std::map<std::string, std::string> replies_;
  k::Fd requests_, events_;
  std::thread thread_;
  std::mutex mutex_;
  Strings log_;
};

}  // namespace testing_support
