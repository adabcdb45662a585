// RAII handle for Jansson values, and the few JSON helpers every layer uses.
#pragma once

#include <jansson.h>

#include <string>
#include <string_view>
#include <utility>

// `k` is the client's own namespace, for its library-like services (JSON handles, messages and
// connections, the terminal, interrupts, the Lua runner, the exit request), which the emulator
// partly links too. Commands and their helpers stay at global scope.
namespace k {

// Owns one reference to a Jansson value (or none). Copying adds a reference, destruction drops
// one. Borrowed values (lent by a message or a parent) stay raw `json_t*` in the code.
class Json {
 public:
  Json() = default;
  // Adopts a reference the caller already owns (the result of a Jansson "_new"/creating call).
  static Json take(json_t* v) { return Json(v); }
  // Adds a reference to a borrowed value.
  static Json borrow(json_t* v) { return Json(json_incref(v)); }

  Json(const Json& o) : v_(json_incref(o.v_)) {}
  Json(Json&& o) noexcept : v_(std::exchange(o.v_, nullptr)) {}
  Json& operator=(Json o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }
  ~Json() { json_decref(v_); }

  json_t* get() const { return v_; }
  // Hands the reference to the caller (for Jansson calls that steal one).
  json_t* release() { return std::exchange(v_, nullptr); }
  explicit operator bool() const { return v_ != nullptr; }

 private:
  explicit Json(json_t* v) : v_(v) {}
  json_t* v_ = nullptr;
};

// A JSON string from bytes; none when they are not valid UTF-8.
inline Json json_str(std::string_view s) { return Json::take(json_stringn(s.data(), s.size())); }

// The text of a JSON string member, or `fallback` when absent or not a string.
inline std::string json_text(json_t* obj, const char* key, std::string_view fallback = {}) {
  json_t* v = json_object_get(obj, key);
  return json_is_string(v) ? std::string(json_string_value(v), json_string_length(v))
                           : std::string(fallback);
}

// The text of element `index` of a JSON array (such as a command's arguments), or null when
// there is none or it is not a string.
inline const char* json_array_text(json_t* array, size_t index) {
  return json_string_value(json_array_get(array, index));
}

// `json_dumps` into a std::string (empty when Jansson cannot encode the value).
inline std::string json_dump(const json_t* v, size_t flags) {
  char* s = v ? json_dumps(v, flags) : nullptr;
  if (!s) return {};
  std::string out(s);
  free(s);
  return out;
}

// Parses one JSON text of any kind; none when it is not JSON.
inline Json json_parse(std::string_view text, size_t flags = JSON_DECODE_ANY) {
  return Json::take(json_loadb(text.data(), text.size(), flags, nullptr));
}

}  // namespace k
