#include "harness/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/json.h"

extern char** environ;

namespace e2e {

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
  std::vector<char*> v;
  for (auto& w : words) v.push_back(w.data());
  v.push_back(nullptr);
  return v;
}

// Starts `words` with our environment changed by `changes` ("NAME=value" sets, "NAME" removes)
// and standard input, output and error from and to the files named (inherited where empty).
// Everything is prepared before the fork: the child only redirects and executes.
pid_t spawn(std::vector<std::string> words, const std::vector<std::string>& changes, const std::string& in,
            const std::string& out, const std::string& err) {
  words = command(std::move(words));
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const auto& c : changes) {
    std::string name = c.substr(0, c.find('=')) + "=";
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
    if (c.find('=') != std::string::npos) env.push_back(c);
  }
  auto argv = pointers(words);
  auto envp = pointers(env);
  pid_t pid = fork();
  if (pid == 0) {
    const std::pair<const std::string*, int> redirects[] = {{&in, STDIN_FILENO}, {&out, STDOUT_FILENO}, {&err, STDERR_FILENO}};
    for (auto [path, fd] : redirects) {
      if (path->empty()) continue;
      int f = open(path->c_str(), fd == STDIN_FILENO ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (f < 0 || dup2(f, fd) < 0) _exit(127);
      close(f);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (pid < 0) throw std::runtime_error("fork failed");
  return pid;
}

// The ELF machine a program file is built for, or 0 when it is not an ELF file.
int elf_machine(const std::string& path) {
  unsigned char header[20] = {};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
  if (header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return 0;
  return header[5] == 2 ? header[18] << 8 | header[19] : header[19] << 8 | header[18];  // by EI_DATA
}

int exit_code(int status) { return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status); }

}  // namespace

// Both are set by ctest; a run by hand must set them too, so that no other build's programs are
// tested by mistake.
std::string bin_dir() {
  const char* v = std::getenv("VELC_BIN");
  if (!v || !*v) throw std::runtime_error("VELC_BIN is not set (run through ctest, or set it)");
  return v;
}
std::string source_dir() {
  const char* v = std::getenv("VELC_SOURCE");
  return v && *v ? v : VELC_SOURCE_DIR;
}

std::vector<std::string> command(std::vector<std::string> words) {
  const char* emulator = std::getenv("VELC_EMULATOR");
  if (!emulator || !*emulator || words.empty()) return words;
  // Built here: the same machine as this test program (which runs under the emulator itself).
  const int ours = elf_machine("/proc/self/exe");
  auto built_here = [&](const std::string& path) { return elf_machine(path) == ours; };
  if (!built_here(words[0])) {
    std::string first_line = read_file(words[0]).substr(0, 256);
    first_line = first_line.substr(0, first_line.find('\n'));
    if (!first_line.starts_with("#!")) return words;
    std::istringstream interpreter(first_line.substr(2));
    std::vector<std::string> shebang;
    for (std::string word; interpreter >> word;) shebang.push_back(word);
    if (shebang.empty() || !built_here(shebang[0])) return words;
    words.insert(words.begin(), shebang.begin(), shebang.end());
  }
  std::istringstream prefix(emulator);
  std::vector<std::string> all;
  for (std::string word; prefix >> word;) all.push_back(word);
  all.insert(all.end(), words.begin(), words.end());
  return all;
}

std::string read_file(const std::string& path) {
  std::ostringstream ss;
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string accounts() { return source_dir() + "/models/home-router.json"; }

std::vector<std::string> sent(const Emulator& sim, const std::string& method) {
  std::vector<std::string> out;
  for (const std::string& line : sim.requests()) {
    k::Json m = k::json_parse(line);
    std::string name = k::json_text(m.get(), "method");
    if (name == "JoinGroup" || !name.starts_with(method)) continue;
    json_t* params = json_object_get(m.get(), "params");
    out.push_back(params ? name + " " + k::json_dump(params, JSON_COMPACT | JSON_ENCODE_ANY) : name);
  }
  return out;
}

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 6000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

Emulator::Emulator(std::vector<std::string> extra, const std::string& program) {
  socket_ = dir_.file("veld.sock");
  log_ = dir_.file("requests.log");
  std::vector<std::string> words = {program.empty() ? bin_dir() + "/veld-sim" : program, "--socket", socket_,
                                    "--request-log", log_};
  // The client's tests run as a guest that may do everything, unless a test brings accounts of
  // its own: rights are the emulator's to test.
  if (std::find(extra.begin(), extra.end(), "--access") == extra.end())
    words.insert(words.end(), {"--access", source_dir() + "/models/open-access.json"});
  words.insert(words.end(), extra.begin(), extra.end());
  const std::string out = dir_.file("stdout"), ready = "ready on " + socket_ + "\n";
  pid_ = spawn(words, {}, "", out, "");
  // The socket's readiness line (a TCP listener's line comes before it).
  if (!eventually([&] { return read_file(out).find(ready) != std::string::npos || waitpid(pid_, nullptr, WNOHANG) != 0; }) ||
      read_file(out).find(ready) == std::string::npos)
    throw std::runtime_error("veld-sim did not start: " + read_file(out));
  std::string seen = read_file(out);
  if (size_t at = seen.find("ready on tcp:"); at != std::string::npos)  // "tcp:..." follows "ready on "
    tcp_ = seen.substr(at + 9, seen.find_first_of(" \n", at + 9) - at - 9);
}

Emulator::~Emulator() { stop(); }

void Emulator::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
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
        const std::vector<std::string>& env) {
  k::test::TempDir dir;
  write_file(dir.file("in"), input);
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  pid_t pid = spawn(words, env, dir.file("in"), dir.file("out"), dir.file("err"));
  int status = 0;
  auto ended = [&] { return waitpid(pid, &status, WNOHANG) == pid; };
  if (!eventually(ended) && !eventually(ended)) {  // 60 s
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  return {exit_code(status), read_file(dir.file("out")), read_file(dir.file("err"))};
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

pid_t start_velc(const Emulator& sim, std::vector<std::string> args, const std::string& out_file,
                 const std::string& in_file) {
  args.insert(args.begin(), {bin_dir() + "/velc", "-u", sim.socket()});
  return spawn(args, {}, in_file, out_file, "");
}

int wait_exit_status(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return exit_code(status);
}

}  // namespace e2e
