#include "render/attr_report.h"

#include <cstdio>

#include "platform/json.h"
#include "platform/printable.h"
#include "render/value_text.h"

namespace {

// The members the report reads, in the order of the unpack format below.
struct Attributes {
  const char* type = nullptr;
  json_t* is_const = nullptr;
  json_t* handlers = nullptr;
  json_t* enums = nullptr;
  json_t* fallback = nullptr;  // "default"
  json_t* runtime = nullptr;
  json_t* unique = nullptr;
  json_t* multi = nullptr;
  json_t* ordered = nullptr;
  json_t* min_length = nullptr;
  json_t* max_length = nullptr;
  json_t* min_inclusive = nullptr;
  json_t* max_inclusive = nullptr;
  json_t* min_count = nullptr;
  json_t* max_count = nullptr;
  json_t* off_value = nullptr;
  json_t* regex = nullptr;
  json_t* foreign_key = nullptr;
  json_t* get_before_set = nullptr;
  json_t* ignore_handler_set = nullptr;
  json_t* mappings = nullptr;
  json_t* relations = nullptr;
  json_t* async = nullptr;
  json_t* base = nullptr;
};

// "type" is required and must be a text; every other member is taken as any value. Members
// beyond these are ignored.
constexpr const char* kFormat =
    "{s : s, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, "
    "s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, s ? o, }";

constexpr const char* kActionNames[] = {"get", "set", "add", "del", "change_order", "execute",
                                        "redraw"};
constexpr const char* kVerdictNames[] = {"deny", "cascade", "clear", "continue"};

const char* base_name(json_int_t base) {
  switch (base) {
    case 2: return "binary";
    case 8: return "octal";
    case 16: return "hex";
    default: return "decimal";
  }
}

const char* flag_text(json_t* v) { return json_is_true(v) ? "true" : "false"; }

// Any value as one line of JSON, as veld sent it.
std::string compact(json_t* v) { return k::json_dump(v, JSON_ENCODE_ANY); }

// A name from `names` for an integer member, or none when it is no integer or out of range.
template <size_t N>
const char* name_of(json_t* v, const char* const (&names)[N]) {
  if (!json_is_integer(v)) return nullptr;
  json_int_t i = json_integer_value(v);
  return i >= 0 && i < static_cast<json_int_t>(N) ? names[i] : nullptr;
}

struct Printer {
  bool escape;
  FILE* to;

  // `label` (which holds the padding), then `text` from the device, then a newline.
  void line(const char* label, std::string_view text) const {
    std::fputs(label, to);
    k::put_text(text, escape, to);
    std::fputc('\n', to);
  }
  void flag(const char* label, json_t* v) const {
    if (v) line(label, flag_text(v));
  }
  void integer(const char* label, json_t* v) const {
    if (v) std::fprintf(to, "%s%lli\n", label, static_cast<long long>(json_integer_value(v)));
  }
};

void print_handlers(const Printer& out, json_t* handlers) {
  size_t i;
  json_t* element;
  json_array_foreach(handlers, i, element) {
    json_t* handler = json_object_get(element, "handler");
    const char* action = name_of(json_object_get(element, "action"), kActionNames);
    if (!json_is_string(handler) || !action) continue;
    std::fprintf(out.to, "Handler %s:        ", action);
    out.line("", std::string_view(json_string_value(handler), json_string_length(handler)));
  }
}

// Relations whose "match" is no text say nothing usable and are left out.
void print_relations(const Printer& out, json_t* relations) {
  if (json_array_size(relations) == 0) return;
  std::fputs("Relations: \n", out.to);
  size_t i;
  json_t* element;
  json_array_foreach(relations, i, element) {
    json_t* match = json_object_get(element, "match");
    if (!json_is_string(match)) continue;
    const char* verdict = name_of(json_object_get(element, "verdict"), kVerdictNames);
    std::fprintf(out.to, "  %s before '", verdict ? verdict : "unknown");
    k::put_text(std::string_view(json_string_value(match), json_string_length(match)), out.escape,
                out.to);
    std::fputs("' delete\n", out.to);
  }
}

}  // namespace

void print_list(json_t* array, const char* label, const k::ColourTable& colours, FILE* to) {
  if (json_array_size(array) == 0) return;
  std::fprintf(to, "%s: \n", label);
  Printer out{colours.escape, to};
  size_t i;
  json_t* element;
  json_array_foreach(array, i, element) {
    if (json_is_string(element))
      out.line("  ", std::string_view(json_string_value(element), json_string_length(element)));
    else
      out.line("  ", compact(element));
  }
}

void attr_report(const std::string& path, json_t* attributes, const k::ColourTable& colours,
                 FILE* to) {
  Attributes a;
  json_error_t error;
  if (json_unpack_ex(attributes, &error, 0, kFormat, "type", &a.type, "const", &a.is_const,
                     "handlers", &a.handlers, "enum", &a.enums, "default", &a.fallback,
                     "runtime", &a.runtime, "unique", &a.unique, "multi", &a.multi, "ordered",
                     &a.ordered, "minLength", &a.min_length, "maxLength", &a.max_length,
                     "minInclusive", &a.min_inclusive, "maxInclusive", &a.max_inclusive,
                     "minCount", &a.min_count, "maxCount", &a.max_count, "offValue",
                     &a.off_value, "regex", &a.regex, "foreign_key", &a.foreign_key,
                     "get_before_set", &a.get_before_set, "ignore_handler_set",
                     &a.ignore_handler_set, "mappings", &a.mappings, "relations", &a.relations,
                     "async", &a.async, "base", &a.base) != 0) {
    std::fprintf(to, "attr parse error on %d:%d : %s\n", error.line, error.column, error.text);
  }

  Printer out{colours.escape, to};
  out.line("Canonical path:     :", path);
  // Without a usable type the unpacking stopped at once: nothing else was read.
  out.line("Type:               ", a.type ? a.type : "(none)");
  json_int_t base = json_integer_value(a.base);
  if (a.base) out.line("Base:               ", base_name(base));
  out.flag("Const:              ", a.is_const);
  if (a.fallback) out.line("Default:            ", json_dump_value(a.fallback, static_cast<int>(base)));
  print_list(a.enums, "Enum", colours, to);
  out.flag("Ordered:            ", a.ordered);
  out.flag("Runtime:            ", a.runtime);
  out.flag("Unique:             ", a.unique);
  out.flag("Multi-instance:     ", a.multi);
  out.flag("Foreign key:        ", a.foreign_key);
  out.flag("GET before SET:     ", a.get_before_set);
  out.flag("Ignore SET handler: ", a.ignore_handler_set);
  out.flag("Async:              ", a.async);
  out.integer("Minimal length:     ", a.min_length);
  out.integer("Maximum length:     ", a.max_length);
  out.integer("Minimal inclusive:  ", a.min_inclusive);
  out.integer("Maximum inclusive:  ", a.max_inclusive);
  out.integer("Minimal count:      ", a.min_count);
  out.integer("Maximum count:      ", a.max_count);
  print_handlers(out, a.handlers);
  if (a.off_value) out.line("OFF value:          ", compact(a.off_value));
  if (a.regex) out.line("Regex:              ", compact(a.regex));
  print_list(a.mappings, "Mappings", colours, to);
  print_relations(out, a.relations);
}
