// Writes a reply's ParameterList straight as JSON text: a listing of a large table has tens of
// thousands of entries, and building them as JSON values first costs more than the listing.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/json.h"

namespace sim {

// Appends `s` as a JSON string (quoted and escaped as Jansson's compact encoding does).
void append_json_string(std::string& out, std::string_view s);
// Appends any JSON value in compact encoding.
void append_json_value(std::string& out, json_t* v);

// Collects {"Name": ..., key: ...} entries and yields {"ParameterList":[...]}.
class ListWriter {
 public:
  ListWriter() : text_("{\"ParameterList\":[") {}

  // An entry whose member `key` is the value `v`.
  void add(std::string_view name, const char* key, json_t* v);
  // An entry whose member `key` is a boolean.
  void add(std::string_view name, const char* key, bool b);
  // As add, for values shared by many entries (attributes): each is encoded once.
  void add_shared(std::string_view name, const char* key, json_t* v);
  // Entries written so far.
  size_t count() const { return count_; }
  // The finished result text; the writer is spent.
  std::string finish();

 private:
  void open(std::string_view name, const char* key);

  std::string text_;
  size_t count_ = 0;
  std::unordered_map<json_t*, std::string> encoded_;  // values are not changed while listing
};

}  // namespace sim
