#include "harness/shell_session.h"

#include <gtest/gtest.h>

namespace e2e {

std::string last_line(const std::string& screen) {
  size_t nl = screen.rfind('\n');
  return nl == std::string::npos ? screen : screen.substr(nl + 1);
}

bool ends_with_prompt(const std::string& screen) {
  std::string line = last_line(screen);
  return line.size() >= 2 && line.compare(line.size() - 2, 2, "> ") == 0 &&
         line.find("velc") != std::string::npos;
}

Shell::Shell(const Emulator& sim, std::vector<std::string> args, std::string history,
             bool colours, std::vector<std::string> env)
    : history_(history.empty() ? home_.file("history") : history) {
  args.insert(args.begin(), {"-u", sim.socket()});
  env.insert(env.end(), {"HOME=" + home_.path(), "VELC_HISTFILE=" + history_,
                         "VELC_LUA_HISTFILE=" + home_.file("lua-history"),
                         colours ? "NO_COLOR" : "NO_COLOR=1"});
  pty_ = std::make_unique<Pty>(bin_dir() + "/velc", args, env);
  EXPECT_TRUE(pty_->wait_until(ends_with_prompt)) << pty_->text();
}

std::string Shell::run(const std::string& line) {
  std::string screen = keys(line + "\r");
  size_t at = screen.find(line + "\n");
  EXPECT_NE(at, std::string::npos) << "no echo of '" << line << "':\n" << screen;
  std::string out = at == std::string::npos ? "" : screen.substr(at + line.size() + 1);
  return out.substr(0, out.rfind('\n') + 1);
}

std::string Shell::keys(const std::string& keys) {
  size_t from = pty_->mark();
  pty_->type(keys);
  EXPECT_TRUE(pty_->wait_until([&](const std::string& s) { return s.size() > from && ends_with_prompt(s.substr(from)); }))
      << "no prompt after keys '" << keys << "':\n" << pty_->text();
  return pty_->text().substr(from);
}

void Shell::quit(const std::string& keys) {
  pty_->type(keys);
  EXPECT_EQ(pty_->wait_exit(), 0) << pty_->text();
}

}  // namespace e2e
