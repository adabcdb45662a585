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

TEST(Selector, ReadsNamesWildcardsAndConditions) {
  const struct {
    const char* text;
    const char* shape;
  } cases[] = {
      {"Device.Hosts.Host.*.HostName", "Device.Hosts.Host.*.HostName"},
      // Blanks around operators and values go; blanks inside a value stay; a value may be empty
      // and hold dots, "=" and "[".
      {"  D.T.[ A =  my home  &B!=].  ", R"(D.T.[A="my home"&B!=""].)"},
      {"D.T.[Stats.Errors=0&IP=10.0.0.1&X==1&Y=[a].*.", R"(D.T.[Stats.Errors="0"&IP="10.0.0.1"&X="=1"&Y="[a"].*.)"},
      {"D.T.[A=1].[B!=2].C", R"(D.T.[A="1"].[B!="2"].C)"},
      {".", "."},
  };
  for (const auto& c : cases) {
    Selector sel;
    std::string error;
    EXPECT_TRUE(parse_selector(c.text, sel, error)) << c.text << ": " << error;
    EXPECT_EQ(shape(sel), c.shape) << c.text;
  }
}

TEST(Selector, SyntaxErrorsSayWhatAndWhere) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "the selector is empty"},
      {".Device", ".Device: an empty element at character 1"},
      {"Device..Hosts", "Device..Hosts: an empty element at character 8"},
      {" D.T.[A=1", " D.T.[A=1: \"[\" without \"]\" at character 6"},
      {"D.T.[A=1]x.", "D.T.[A=1]x.: \"]\" not followed by \".\" at character 10"},
      {"D.T.[]", "D.T.[]: an empty condition at character 6"},
      {"D.T.[Active]", "D.T.[Active]: a condition without \"=\" or \"!=\" at character 6"},
      {"D.T.[!=1]", "D.T.[!=1]: a condition without a parameter at character 6"},
      {"D.T.[A B=1]", "D.T.[A B=1]: a bad parameter name at character 6"},
      {"D.Host[1].X", "D.Host[1].X: \"[\" inside an element at character 7"},
      {"D.T.1*.", "D.T.1*.: \"*\" not alone in its element at character 6"},
  };
  for (const auto& c : cases) {
    Selector sel;
    std::string error;
    EXPECT_FALSE(parse_selector(c.text, sel, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

}  // namespace
}  // namespace sim
