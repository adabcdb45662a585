#include "app/script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/script_lines.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

namespace {

// A dispatch that records each call as "word [arg] [arg]..." and prints "<word>" so that the
// order of output can be checked; results come from `results` by command word (0 otherwise).
struct FakeDispatch {
  std::vector<std::string> calls;
  std::map<std::string, int> results;

  ScriptDispatch function() {
    return [this](const char* word, json_t* args) {
      std::string call = word;
      size_t i;
      json_t* a;
      json_array_foreach(args, i, a) call += " [" + std::string(json_string_value(a)) + "]";
      calls.push_back(call);
      std::printf("<%s>\n", word);
      auto r = results.find(word);
      return r == results.end() ? 0 : r->second;
    };
  }
};

struct Ran {
  int status;
  std::string out;
  std::vector<std::string> calls;
  std::string err;
};

Ran run_text(const std::string& script, std::map<std::string, int> results = {}) {
  k::test::TempDir dir;
  std::string path = dir.file("script");
  std::ofstream(path, std::ios::binary) << script;
  FakeDispatch fake;
  fake.results = std::move(results);
  Ran r;
  testing::internal::CaptureStderr();
  r.out = output_of([&] { r.status = run_script(path, fake.function()); });
  r.err = testing::internal::GetCapturedStderr();
  r.calls = fake.calls;
  return r;
}

using Calls = std::vector<std::string>;

// The status is the last command's result; echo, sleep and comments leave it; a negative
// result stops the script.
TEST(RunScript, Statuses) {
  Ran r = run_text("echo  two  blanks # kept\necho\ncat\nsleep 0\nsleep\necho done\r\n");
  EXPECT_EQ(r.calls, Calls{"cat"});
  EXPECT_EQ(r.out, " two  blanks # kept\n\n<cat>\ndone\r\n");
  const struct {
    std::string script;
    std::map<std::string, int> results;
    int status;
    Calls calls;
  } cases[] = {
      {"a\nb\n", {{"a", 3}}, 0, {"a", "b"}},
      {"a\necho x\nsleep 0\n#\n", {{"a", 7}}, 7, {"a"}},
      {"a\nfail\nb\n", {{"fail", -1}}, -1, {"a", "fail"}},
  };
  for (const auto& c : cases) {
    Ran r = run_text(c.script, c.results);
    EXPECT_EQ(r.status, c.status) << c.script;
    EXPECT_EQ(r.calls, c.calls) << c.script;
  }
}

// What is wrong with the file itself is named by file and line on standard error, and the
// script stops with -1: a line too long to read (kept from filling the memory), joined lines
// too long together, a quote that the file never closes.
TEST(RunScript, LinesTooLongAndQuotesNeverClosed) {
  const std::string max(kLineMax, 'x');
  const std::string too_long = ": line longer than " + std::to_string(kLineMax) + " bytes\n";
  const std::string unclosed =
      ": quote opened here is never closed; the rest of the file was not run\n";
  const struct {
    std::string script;
    int status;
    Calls calls;
    std::string err;  // after "<file>:"
  } cases[] = {
      {"a\nb " + max.substr(2) + "\nc", 0, {"a", "b [" + max.substr(2) + "]", "c"}, ""},
      {"a\n\nb " + max.substr(1) + "\nc\n", -1, {"a"}, "3" + too_long},
      {"a\n" + max + max, -1, {"a"}, "2" + too_long},
      {"a \"x\\\ny\"\n'b\\\n\n\"c\"\n", -1, {"a [xy]"}, "3" + unclosed},
      {"a\nb\\", 0, {"a"}, ""},  // a final backslash: the line is dropped, as ever
  };
  for (const auto& c : cases) {
    const std::string shown = c.script.substr(0, 12);  // not a megabyte of it
    Ran r = run_text(c.script);
    EXPECT_EQ(r.status, c.status) << shown;
    EXPECT_TRUE(r.calls == c.calls) << shown;
    size_t name_end = r.err.find("/script:");
    EXPECT_EQ(name_end == std::string::npos ? r.err : r.err.substr(name_end + 8), c.err) << shown;
  }
}

// A word that is not UTF-8 has no JSON string: the line is refused, not run without it.
TEST(RunScript, UnreadableWordsAndFiles) {
  Ran r = run_text("cat\ndel X \xff\nls\n");
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.calls, Calls{"cat"});
  EXPECT_EQ(r.out, "<cat>\nScript line 2 is not UTF-8 text.\n");
  FakeDispatch fake;
  int status = 0;
  std::string out =
      output_of([&] { status = run_script("/nonexistent/velc-script", fake.function()); });
  EXPECT_EQ(status, -1);
  EXPECT_EQ(out, "Cannot open script file /nonexistent/velc-script\n");
}

}  // namespace
