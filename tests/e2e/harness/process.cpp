#include "harness/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/json.h"

extern char** environ;

namespace e2e {

namespace {

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

int exit_code(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::vector<char*> argv_of(std::vector<std::string>& words) {
  std::vector<char*> v;
  for (auto& w : words) v.push_back(w.data());
  v.push_back(nullptr);
  return v;
}

// The environment of a child: ours, with `changes` applied.
std::vector<std::string> environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const auto& c : changes) {
    std::string name = c.substr(0, c.find('='));
    std::erase_if(env, [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
    if (c.find('=') != std::string::npos) env.push_back(c);
  }
  return env;
}

}  // namespace

// Both are set by ctest; a run by hand must set them too, so that no other build's programs are
// tested by mistake.
std::string bin_dir() {
  const char* v = std::getenv("VELC_BIN");
  if (!v || !*v) throw std::runtime_error("VELC_BIN is not set (run through ctest, or set it)");
  return v;
}
std::string source_dir() { return env_or("VELC_SOURCE", VELC_SOURCE_DIR); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string accounts() { return source_dir() + "/models/home-router.json"; }

std::vector<std::string> sent(const Emulator& sim, const std::string& method) {
  std::vector<std::string> out;
  for (const std::string& line : sim.requests()) {
    k::Json m = k::json_parse(line);
    std::string name = k::json_text(m.get(), "method");
    if (name == "JoinGroup" || name.rfind(method, 0) != 0) continue;
    json_t* params = json_object_get(m.get(), "params");
    out.push_back(params ? name + " " + k::json_dump(params, JSON_COMPACT | JSON_ENCODE_ANY) : name);
  }
  return out;
}

std::vector<std::string> methods(const Emulator& sim) {
  std::vector<std::string> out = sent(sim);
  for (std::string& s : out) s = s.substr(0, s.find(' '));
  return out;
}

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 600; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

Emulator::Emulator(std::vector<std::string> extra, const std::string& program) {
  socket_ = dir_.file("veld.sock");
  log_ = dir_.file("requests.log");
  std::vector<std::string> words = {program.empty() ? bin_dir() + "/veld-sim" : program,
                                    "--socket", socket_, "--request-log", log_};
  // The client's tests run as a guest that may do everything, unless a test brings accounts of
  // its own: rights are the emulator's to test.
  if (std::find(extra.begin(), extra.end(), "--access") == extra.end())
    words.insert(words.end(), {"--access", source_dir() + "/models/open-access.json"});
  words.insert(words.end(), extra.begin(), extra.end());
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    auto argv = argv_of(words);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // Wait for the socket's readiness line (a TCP listener's line comes before it).
  std::string seen;
  const std::string ready = "ready on " + socket_ + "\n";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (seen.find(ready) == std::string::npos) {
    pollfd p{out[0], POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline || poll(&p, 1, 1000) < 0) break;
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0 && p.revents) break;
    if (n > 0) seen.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  if (seen.find("ready") == std::string::npos)
    throw std::runtime_error("veld-sim did not start: " + seen);
  const std::string tcp_ready = "ready on tcp:";
  if (size_t at = seen.find(tcp_ready); at != std::string::npos) {
    at += tcp_ready.size() - 4;
    tcp_ = seen.substr(at, seen.find_first_of(" \n", at) - at);
  }
}

Emulator::~Emulator() { stop(); }

void Emulator::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::vector<std::string> Emulator::requests() const {
  std::vector<std::string> lines;
  std::istringstream in(read_file(log_));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void Emulator::clear_requests() const { std::ofstream(log_, std::ios::trunc); }

Run run(const std::string& program, const std::vector<std::string>& args, const std::string& input,
        const std::vector<std::string>& env_changes) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<std::string> env = environment(env_changes);
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    auto argv = argv_of(words);
    auto envp = argv_of(env);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  Run r;
  size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int open_outputs = 2;
  while (open_outputs > 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd p[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    poll(p, in[1] >= 0 ? 3 : 2, 1000);
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[65536];
      ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      } else {
        close(p[i].fd);
        (i == 0 ? out[0] : err[0]) = -1;
        --open_outputs;
      }
    }
    if (in[1] >= 0 && (p[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(in[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == input.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  for (int fd : {in[1], out[0], err[0]})
    if (fd >= 0) close(fd);
  if (open_outputs > 0) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = exit_code(status);
  return r;
}

Run velc(const Emulator& sim, const std::vector<std::string>& args, const std::string& input,
         const std::vector<std::string>& env) {
  std::vector<std::string> all = {"-u", sim.socket()};
  all.insert(all.end(), args.begin(), args.end());
  // A private HOME, so that no configuration script of the person running the tests is read.
  std::vector<std::string> environment = {"HOME=" + sim.dir().path()};
  environment.insert(environment.end(), env.begin(), env.end());
  return run(bin_dir() + "/velc", all, input, environment);
}

pid_t start_velc(const Emulator& sim, std::vector<std::string> args, const std::string& out_file) {
  args.insert(args.begin(), {bin_dir() + "/velc", "-u", sim.socket()});
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(out_file.c_str(), "w", stdout)) _exit(127);
    auto argv = argv_of(args);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int wait_exit_status(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace e2e
