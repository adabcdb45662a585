// Select and its selectors: what a selector names, what the caller may read, what is wrong and where.
#include "engine/selector.h"
#include "engine/test_model.h"

namespace sim {
namespace {

using test::with_rights;

std::string selected(const Reply& r) {
  return r.ok() ? k::json_dump(json_object_get(r.result.get(), "Selection"), JSON_COMPACT)
                : std::to_string(r.fault.code) + " " + r.fault.detail;
}

TEST(Select, GathersTheReadableConfigurationASelectorNames) {
  // Rows: selector, outcome (the Selection as compact JSON, or the fault's code and detail).
  const std::pair<const char*, const char*> cases[] = {
      {"Device.Host.[Up=true].", R"({"Device.Host.1.":{"Name":"a","Up":true,"Addr":{"1":{"IP":"10.0.0.1"}}}})"},
      // A condition through a nested instance: an instance lacking it matches neither = nor !=.
      {"Device.Host.[Addr.1.IP=10.0.0.1].Name", R"({"Device.Host.1.":{"Name":"a"}})"},
      {"Device.Host.[Addr.1.IP!=10.0.0.1].Name", "{}"},
      // Instances in the table's order; numbers and booleans compared in their text form.
      {"Device.Rule.*.Port", R"({"Device.Rule.3.":{"Port":443},"Device.Rule.1.":{"Port":22},"Device.Rule.2.":{"Port":80}})"},
      {"Device.Rule.[Port=80].", R"({"Device.Rule.2.":{"Port":80}})"},
      // Parameters of one parent share its member.
      {"Device.Level", R"({"Device.":{"Level":5}})"},
      // No methods, no pseudo-parameters; computed values as they read now.
      {"Device.",
       R"({"Device.":{"Name":"box","Serial":"S1","Model":"M","Level":5,"Secret":"","HostCount":2,)"
       R"("Host":{"1":{"Name":"a","Up":true,"Addr":{"1":{"IP":"10.0.0.1"}}},"3":{"Name":"c","Up":false,"Addr":{}}},)"
       R"("Rule":{"3":{"Port":443},"1":{"Port":22},"2":{"Port":80}},"Fixed":{"1":{"X":0}},)"
       R"("CurrentUser":"tester","SystemAccess":true}})"},
      // Elements that name nothing, found in the schema even where no instance exists.
      {"Device.Host.5.", "9005 Device.Host.5: no such node"},
      {"Device.Host.*.Nope", "9005 Device.Host.*.Nope: no such node"},
      {"Device.Host.[Nope=1].", "9005 Device.Host.[Nope=1]: Nope: no such parameter in the instances"},
      {"Device.*.Name", "9005 Device.*: \"*\" and \"[...]\" stand for the instances of a table"},
      {"Device.Ping", "9005 Device.Ping: a method, not configuration"},
      {"Device.Host.*", "9005 Device.Host.*: an object: its path ends with a dot"},
      {"Device.Level.", "9005 Device.Level.: not an object: a parameter's path has no trailing dot"},
      {"Device.Host.[Up=true", "9003 Device.Host.[Up=true: \"[\" without \"]\" at character 13"},
  };
  Engine engine(test::test_model_tree());
  for (const auto& [selector, outcome] : cases) {
    EXPECT_EQ(selected(engine.select(test::full_rights(), selector)), outcome) << selector;
  }
}

// What the caller may not read is not selected: left out below a wildcard or an object, refused
// when named outright; a guest has no user name to select.
TEST(Select, LeavesOutWhatTheCallerMayNotRead) {
  const char* rules = R"({"Device.Host.": "r", "Device.Host.3.": "", "Device.Host.1.Up": "", "Device.CurrentUser": "r"})";
  Caller limited = with_rights("lim", rules), guest = with_rights("", rules);
  const struct {
    const Caller& caller;
    const char* selector;
    const char* outcome;
  } cases[] = {
      {limited, "Device.Host.*.Name", R"({"Device.Host.1.":{"Name":"a"}})"},
      // A condition on a parameter the caller may not read holds for no instance.
      {limited, "Device.Host.[Up=true].Name", "{}"},
      {limited, "Device.CurrentUser", R"({"Device.":{"CurrentUser":"lim"}})"},
      {guest, "Device.CurrentUser", "9001 Device.CurrentUser: no right to read"},
      {limited, "Device.Name", "9001 Device.Name: no right to read"},
  };
  Engine engine(test::test_model_tree());
  for (const auto& c : cases) EXPECT_EQ(selected(engine.select(c.caller, c.selector)), c.outcome) << c.selector;
}

// A parsed selector written back: names as they are, "*", conditions as [param=“value”&...]
// with their values quoted, "." after each element but the last, and one more for an object.
std::string shape(const Selector& sel) {
  std::string out;
  for (const SelectorElement& e : sel.elements) {
    if (!out.empty()) out += '.';
    if (e.kind == SelectorElement::Kind::kName) out += e.name;
    if (e.kind == SelectorElement::Kind::kEvery) out += '*';
    if (e.kind != SelectorElement::Kind::kWhere) continue;
    out += '[';
    for (const SelectorCondition& c : e.conditions)
      out += (out.back() == '[' ? "" : "&") + c.param + (c.equal ? "=" : "!=") + "\"" + c.value + "\"";
    out += ']';
  }
  return sel.object ? out + "." : out;
}

TEST(Selector, ReadsNamesWildcardsAndConditionsOrSaysWhatIsWrongAndWhere) {
  // Rows: text, read (its shape, or "! " and the error).
  const std::pair<const char*, const char*> cases[] = {
      {"Device.Hosts.Host.*.HostName", "Device.Hosts.Host.*.HostName"},
      // Blanks around operators and values go; blanks inside a value stay; a value may be empty
      // and hold dots, "=" and "[".
      {"  D.T.[ A =  my home  &B!=].  ", R"(D.T.[A="my home"&B!=""].)"},
      {"D.T.[Stats.Errors=0&IP=10.0.0.1&X==1&Y=[a].*.", R"(D.T.[Stats.Errors="0"&IP="10.0.0.1"&X="=1"&Y="[a"].*.)"},
      {".", "."},
      {"", "! the selector is empty"},
      {"Device..Hosts", "! Device..Hosts: an empty element at character 8"},
      {" D.T.[A=1", "!  D.T.[A=1: \"[\" without \"]\" at character 6"},
      {"D.T.[A=1]x.", "! D.T.[A=1]x.: \"]\" not followed by \".\" at character 10"},
      {"D.T.[]", "! D.T.[]: an empty condition at character 6"},
      {"D.T.[Active]", "! D.T.[Active]: a condition without \"=\" or \"!=\" at character 6"},
      {"D.T.[!=1]", "! D.T.[!=1]: a condition without a parameter at character 6"},
      {"D.T.[A B=1]", "! D.T.[A B=1]: a bad parameter name at character 6"},
      {"D.Host[1].X", "! D.Host[1].X: \"[\" inside an element at character 7"},
      {"D.T.1*.", "! D.T.1*.: \"*\" not alone in its element at character 6"},
  };
  for (const auto& [text, read] : cases) {
    Selector sel;
    std::string error;
    EXPECT_EQ(parse_selector(text, sel, error) ? shape(sel) : "! " + error, read) << text;
  }
}


}  // namespace
}  // namespace sim
