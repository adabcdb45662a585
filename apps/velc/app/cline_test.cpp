#include "app/cline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Parsed {
  std::vector<std::string> words;  // the argument vector: the options borrow texts from it
  int result;
  Options options;
  std::string out;
  std::string err;
};

Parsed parse(std::vector<std::string> words) {
  Parsed p;
  p.words = std::move(words);
  std::vector<char*> argv;
  for (auto& w : p.words) argv.push_back(w.data());
  argv.push_back(nullptr);
  p.options.parameters = k::Json::take(json_array());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  p.result = cline_parse(static_cast<int>(p.words.size()), argv.data(), p.options);
  p.err = testing::internal::GetCapturedStderr();
  p.out = testing::internal::GetCapturedStdout();
  return p;
}

std::vector<std::string> words_of(json_t* array) {
  std::vector<std::string> v;
  size_t i;
  json_t* w;
  json_array_foreach(array, i, w) v.emplace_back(json_string_value(w));
  return v;
}

TEST(Cline, ModesAndWords) {
  struct Case {
    std::vector<std::string> argv;
    int result;
    int mode;
    std::vector<std::string> parameters;
  };
  const Case cases[] = {
      {{"velc"}, 0, kModeInteractive, {}},
      {{"velc", "-r", "cat", "Device.", "x"}, 0, kModeRequest, {"Device.", "x"}},
      {{"velc", "Device.", "--request=cat"}, 0, kModeRequest, {"Device."}},
      {{"velc", "--raw", "{}", "extra", "words"}, 0, kModeRaw, {"{}"}},
      {{"velc", "-s", "file.vs"}, 0, kModeScript, {"file.vs"}},
      {{"velc", "-l"}, 0, kModeListen, {}},
      {{"velc", "-n", "x"}, 0, kModeNotify, {}},
      {{"velc", "-e", "7", "{\"a\":1}"}, 0, kModeEvent, {"{\"a\":1}"}},
      {{"velc", "-S", "x.lua", "a"}, 0, kModeScriptLua, {"a"}},
      {{"/usr/bin/velc_interpreter", "f"}, 0, kModeScript, {"f"}},
      {{"velc_lua"}, 0, kModeScriptLua, {}},
      // Words beginning with "-" reach the command after "--" (and only there).
      {{"velc", "-r", "reboot", "--", "-f"}, 0, kModeRequest, {"-f"}},
      {{"velc", "-r", "login", "--", "admin", "-p", "-secret-"}, 0, kModeRequest,
       {"admin", "-p", "-secret-"}},
      {{"velc", "-r", "reboot", "-f"}, -1, kModeRequest, {}},
  };
  for (const auto& c : cases) {
    Parsed p = parse(c.argv);
    SCOPED_TRACE(c.argv.back());
    EXPECT_EQ(p.result, c.result);
    EXPECT_EQ(p.options.mode, c.mode);
    EXPECT_EQ(words_of(p.options.parameters.get()), c.parameters);
  }
}

TEST(Cline, ScriptPathOnlyFromTheJoinedForm) {
  Parsed a = parse({"velc", "-s", "file"});
  EXPECT_EQ(a.options.script_path, nullptr);
  Parsed b = parse({"velc", "--script=run.vs"});
  ASSERT_NE(b.options.script_path, nullptr);
  EXPECT_STREQ(b.options.script_path, "run.vs");
}

TEST(Cline, Conflicts) {
  struct Case {
    std::vector<std::string> argv;
    std::string err;
  };
  const Case cases[] = {
      {{"velc", "-l", "-r", "cat"}, "Cannot execute 'request' and 'listen' modes simultaneously.\n"},
      {{"velc", "-l", "-l"}, "Cannot execute 'listen' and 'listen' modes simultaneously.\n"},
      {{"velc_interpreter", "-S", "x"}, "Cannot execute 'script' and 'interactive' modes simultaneously.\n"},
      {{"velc", "-S", "x", "--raw", "{}"}, "Cannot execute 'raw' and 'script-lua' modes simultaneously.\n"},
  };
  for (const auto& c : cases) {
    Parsed p = parse(c.argv);
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.err, c.err);
  }
}

// Strict mode is a long option only, with any mode; it is no mode of its own.
TEST(Cline, StrictIsALongOptionBesideAnyMode) {
  struct Case {
    std::vector<std::string> argv;
    int result;
    bool strict;
    int mode;
  };
  const Case cases[] = {
      {{"velc", "-r", "save"}, 0, false, kModeRequest},
      {{"velc", "-r", "save", "--strict"}, 0, true, kModeRequest},
      {{"velc_interpreter", "--strict", "f"}, 0, true, kModeScript},
      {{"velc", "--strict"}, 0, true, kModeInteractive},
      {{"velc", "--strict=yes"}, -1, true, kModeInteractive},
  };
  for (const auto& c : cases) {
    Parsed p = parse(c.argv);
    SCOPED_TRACE(c.argv.back());
    EXPECT_EQ(p.result, c.result);
    if (c.result == 0) {
      EXPECT_EQ(p.options.strict, c.strict);
    }
    EXPECT_EQ(p.options.mode, c.mode);
  }
}

TEST(Cline, Groups) {
  Parsed p = parse({"velc", "-g", "1,,2", "-g", "3"});
  EXPECT_EQ(p.result, 0);
  ASSERT_EQ(p.options.group_count, 3u);
  EXPECT_EQ(p.options.groups[0], 1u);
  EXPECT_EQ(p.options.groups[2], 3u);

  Parsed bad = parse({"velc", "-g", "1,x"});
  EXPECT_EQ(bad.result, -1);
  EXPECT_EQ(bad.err, "Invalid group number: 'x'.\n");

  std::string many;
  for (int i = 1; i <= 65; ++i) many += std::to_string(i) + ",";
  Parsed over = parse({"velc", "-g", many});
  EXPECT_EQ(over.result, -1);
  EXPECT_EQ(over.err, "Invalid group number: '65'.\n");
}

TEST(Cline, EventIdThatIsNoNumberWarnsAndGoesOn) {
  Parsed p = parse({"velc", "-e", "x7"});
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.err, "Group id must be an integer.\n");
  EXPECT_EQ(p.options.mode, kModeEvent);
}

TEST(Cline, AuthAndItsSecretBlankedInTheArgumentVector) {
  const std::string z(1, '\0');
  struct Case {
    std::vector<std::string> argv;
    std::string login;
    std::string password;
    std::string left;  // the word holding the text, as `ps` then reads it
  };
  const Case cases[] = {
      {{"velc", "-a", "admin:secret"}, "admin", "secret", "admin:" + std::string(6, '\0')},
      {{"velc", "-a", "a:b:c"}, "a", "b:c", "a:" + std::string(3, '\0')},
      {{"velc", "-aadmin:pw"}, "admin", "pw", "-aadmin:" + std::string(2, '\0')},
      {{"velc", "--auth=admin:pw"}, "admin", "pw", "--auth=admin:" + std::string(2, '\0')},
      // Without a colon the text may be a token: all of it goes.
      {{"velc", "-a", "token123"}, "token123", "", std::string(8, '\0')},
      {{"velc", "-a", ":"}, "", "", ":"},
      {{"velc", "-a", std::string(300, 'u') + ":p"}, std::string(255, 'u'), "p",
       std::string(300, 'u') + ":" + z},
  };
  for (const auto& c : cases) {
    Parsed p = parse(c.argv);
    EXPECT_EQ(p.options.login, c.login);
    EXPECT_EQ(p.options.password, c.password);
    EXPECT_EQ(p.words.back(), c.left);
  }
  Parsed file = parse({"velc", "-a", "admin", "--password-file", "/home/a/.velc-pw"});
  EXPECT_STREQ(file.options.password_file, "/home/a/.velc-pw");
}

TEST(Cline, TimeoutReadsLikeAtoi) {
  EXPECT_EQ(parse({"velc", "-t", "7"}).options.timeout, 7);
  EXPECT_EQ(parse({"velc", "-t", "abc"}).options.timeout, 0);
  EXPECT_EQ(parse({"velc", "--timeout", "12s"}).options.timeout, 12);
}

TEST(Cline, HelpVersionAndUnknownOptions) {
  Parsed help = parse({"velc", "-h", "--bogus"});
  EXPECT_EQ(help.result, 1);
  EXPECT_EQ(help.out.rfind("Norlan Management System client.\nUsage: velc [options]\n\nOptions:\n", 0), 0u);
  EXPECT_NE(help.out.find("\t-t  --timeout <seconds>             Timeout for send raw JSON-RPC message\n"),
            std::string::npos);
  EXPECT_NE(help.out.find("(default is \"/var/run/veld.sock\").\n"), std::string::npos);
  EXPECT_NE(help.out.find("Proceed Lua script file.\n\t    --strict                        "
                          "Fail and stop scripts on a failed request.\n\t-g, --groups"),
            std::string::npos);
  EXPECT_EQ(help.err, "");

  Parsed unknown = parse({"velc", "--bogus", "-h"});
  EXPECT_EQ(unknown.result, -1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("Usage: velc [options]\n"), std::string::npos);

  for (const char* opt : {"-i", "-?", "-r"}) {
    Parsed p = parse({"velc", opt});
    EXPECT_EQ(p.result, -1) << opt;
    EXPECT_NE(p.err.find("Usage: velc"), std::string::npos) << opt;
  }

  Parsed version = parse({"velc", "-v"});
  EXPECT_EQ(version.result, 1);
  EXPECT_EQ(version.out.rfind("Norlan Management System client.\nvelc version 0.2.1\n", 0), 0u);
}

}  // namespace
