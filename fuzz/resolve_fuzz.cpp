// Fuzzes path resolution on the test schema cache, with no veld behind the session: a request
// that resolution makes (a node whose children are unknown, a table lacking the name) fails at
// once, as with a daemon that went away.
//
// Input: path texts, one per line, applied one after the other the way `cd` applies them (on
// success the position moves and the previous one is kept for "-"). If the first byte is "!",
// it is dropped and resolution starts in method context (where "#input" may be named).
// Properties checked after every resolution, successful or not:
// - the result is 0 or -1, and the path stands on a node;
// - its text fits kPathTextMax, has no empty element, and names one element per parent held;
// - a successful absolute text without "-", "*" or "#" elements leads to the same node, text
//   and table flags when its resulting text is resolved again from the root.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "datamodel/resolve.h"
#include "datamodel/test_support.h"
#include "datamodel/tree.h"

namespace {

constexpr size_t kMaxLines = 64;

void check_shape(const cdpath& p, const std::string& typed) {
  FUZZ_CHECK(p.node != nullptr, "<%s> left the path without a node", typed.c_str());
  FUZZ_CHECK(p.text.size() <= kPathTextMax, "<%s> made a text of %zu bytes", typed.c_str(),
             p.text.size());
  size_t elements = 0;
  if (!p.text.empty()) {
    FUZZ_CHECK(p.text.front() != '.' && p.text.back() != '.' &&
                   p.text.find("..") == std::string::npos,
               "<%s> made the text <%s>", typed.c_str(), p.text.c_str());
    elements = 1;
    for (char c : p.text) elements += c == '.';
  }
  FUZZ_CHECK(p.parents.size() == elements,
             "<%s>: text <%s> has %zu elements, the path holds %zu parents", typed.c_str(),
             p.text.c_str(), elements, p.parents.size());
}

// True when every element of the typed text after ":" only names children or steps up.
bool names_only(std::string_view typed) {
  if (typed.empty() || typed[0] != ':') return false;
  bool plain = true;
  k::tr_path_for_each(typed.substr(1), [&](std::string_view e) {
    plain = e[0] != '-' && e[0] != '*' && e[0] != '#';
    return plain;
  });
  return plain;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silence_stdout();  // "-" echoes the previous position
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  bool method_context = !input.empty() && input[0] == '!';
  if (method_context) input.remove_prefix(1);

  testing_support::TestClient t{testing_support::kWithCache};
  CommandContext& client = t.client;
  DataModelView& view = t.view;
  view.current_path.in_method = method_context;

  std::string_view last;
  auto lines = fuzz::complete_lines(input, &last);
  lines.push_back(last);
  if (lines.size() > kMaxLines) lines.resize(kMaxLines);
  for (std::string_view line : lines) {
    std::string typed(line.substr(0, line.find('\0')));
    cdpath work = view.current_path;
    int r = cdpath_resolve(client, work, typed.c_str());
    FUZZ_CHECK(r == 0 || r == -1, "<%s> gave %d", typed.c_str(), r);
    check_shape(work, typed);
    if (r != 0) continue;

    if (names_only(typed)) {
      cdpath again = view.current_path;
      std::string absolute = ":" + work.text;
      int r2 = cdpath_resolve(client, again, absolute.c_str());
      FUZZ_CHECK(r2 == 0 && again.node == work.node &&
                     again.text == work.text &&
                     again.is_multi == work.is_multi &&
                     again.is_ordered == work.is_ordered,
                 "<%s> reached <%s>, which resolves again to <%s> (%d)", typed.c_str(),
                 work.text.c_str(), again.text.c_str(), r2);
    }
    view.previous_path = view.current_path;
    view.current_path = work;
  }
  return 0;
}
