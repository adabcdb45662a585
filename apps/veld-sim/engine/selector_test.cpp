#include "engine/selector.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

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
  const struct {
    const char* text;
    const char* read;  // its shape, or "! " and the error
  } cases[] = {
      {"Device.Hosts.Host.*.HostName", "Device.Hosts.Host.*.HostName"},
      // Blanks around operators and values go; blanks inside a value stay; a value may be empty
      // and hold dots, "=" and "[".
      {"  D.T.[ A =  my home  &B!=].  ", R"(D.T.[A="my home"&B!=""].)"},
      {"D.T.[Stats.Errors=0&IP=10.0.0.1&X==1&Y=[a].*.", R"(D.T.[Stats.Errors="0"&IP="10.0.0.1"&X="=1"&Y="[a"].*.)"},
      {"D.T.[A=1].[B!=2].C", R"(D.T.[A="1"].[B!="2"].C)"},
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
  for (const auto& c : cases) {
    Selector sel;
    std::string error;
    EXPECT_EQ(parse_selector(c.text, sel, error) ? shape(sel) : "! " + error, c.read) << c.text;
  }
}

}  // namespace
}  // namespace sim
