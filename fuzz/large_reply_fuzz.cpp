// Fuzzes the reading of large result replies straight from their text (k::LargeReply,
// platform/large_reply.h) against Jansson, which reads every reply it refuses.
//
// Input: a reply line as a daemon would send it, awaited with id 7; an input that does not begin
// with "{" is the text of a result, made into such a reply. Properties checked, whenever
// LargeReply::load takes the line:
// - Jansson reads the line too, as a result reply with id 7;
// - write_message writes exactly what raw mode writes of that reply through Jansson;
// - for_each_parameter hands out the entries Jansson finds in the result's "ParameterList", in
//   order: the same name (empty when it is missing or no text) and the same value (objects and
//   arrays compared as the values Jansson reads of their text).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/jrpc_message.h"
#include "platform/json.h"
#include "platform/large_reply.h"

namespace {

std::string_view text_of(json_t* s) {
  return json_is_string(s) ? std::string_view(json_string_value(s), json_string_length(s))
                           : std::string_view();
}

// True when the reply's value is the value Jansson read (none: absent).
bool same_value(const k::ReplyValue& v, json_t* value) {
  switch (v.kind) {
    case k::ReplyValue::kAbsent: return value == nullptr;
    case k::ReplyValue::kString: return json_is_string(value) && text_of(value) == v.string;
    case k::ReplyValue::kInteger:
      return json_is_integer(value) && json_integer_value(value) == v.integer;
    case k::ReplyValue::kReal: {
      double real = json_real_value(value);
      return json_is_real(value) && std::memcmp(&real, &v.real, sizeof real) == 0;
    }
    case k::ReplyValue::kTrue: return json_is_true(value);
    case k::ReplyValue::kFalse: return json_is_false(value);
    case k::ReplyValue::kNull: return json_is_null(value);
    case k::ReplyValue::kComposite: {
      k::Json read = k::json_parse(v.json);
      return (json_is_object(value) || json_is_array(value)) && json_equal(read.get(), value);
    }
  }
  return false;
}

std::string written(const k::LargeReply& reply) {
  char* text = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&text, &size);
  FUZZ_CHECK(f, "open_memstream failed");
  reply.write_message(f);
  std::fclose(f);
  std::string out(text, size);
  std::free(text);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string line = input.starts_with("{")
                         ? std::string(input)
                         : R"({"jsonrpc":"2.0","id":7,"result":)" + std::string(input) + "}";
  k::LargeReply reply;
  if (!reply.load(line, 7)) return 0;

  k::Json j = k::json_parse(line, 0);
  FUZZ_CHECK(j, "taken, but Jansson refuses the line");
  auto m = k::msg_parse(j.get());
  FUZZ_CHECK(m && m->kind == k::kMsgResult && json_integer_value(m->id.get()) == 7,
             "taken, but Jansson reads no result reply with id 7");
  std::string expected = k::json_dump(m->to_json().get(), JSON_INDENT(4));
  std::string got = written(reply);
  FUZZ_CHECK(got == expected, "written:\n%s\nJansson writes:\n%s", got.c_str(), expected.c_str());

  json_t* list = json_object_get(m->result.get(), "ParameterList");
  size_t index = 0;
  reply.for_each_parameter([&](std::string_view name, const k::ReplyValue& value) {
    json_t* entry = json_array_get(list, index);
    FUZZ_CHECK(entry, "entry %zu is one too many", index);
    FUZZ_CHECK(name == text_of(json_object_get(entry, "Name")), "entry %zu: another name", index);
    FUZZ_CHECK(same_value(value, json_object_get(entry, "Value")), "entry %zu: another value",
               index);
    ++index;
  });
  FUZZ_CHECK(index == json_array_size(list), "%zu entries handed out of %zu", index,
             json_array_size(list));
  return 0;
}
