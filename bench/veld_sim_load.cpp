// Load on veld-sim: many clients on one emulator, some of them hostile. Starts the veld-sim given
// on the command line on a socket in a fresh temporary folder, drives every client from one poll
// loop, and prints what the well-behaved clients saw and what the emulator spent. Every scenario
// is bounded in clients, bytes and time; nothing leaves this machine.
//
//   veld_sim_load fairness VELD_SIM [CLIENTS [REQUEST_MB [KIND [VELD_SIM_OPTIONS...]]]]
//       CLIENTS-1 clients each ask for one value every 100 ms while the last one sends
//       REQUEST_MB megabytes: KIND "set", one SetParameterValues with that many members;
//       "junk", one line that is not JSON; "tables", requests for the host table (4.6 MB
//       each), one after the other without waiting, reading the replies as they come. Prints
//       the latency of the small requests until the large one is all sent and answered, and
//       one second more (20 seconds at most).
//   veld_sim_load memory VELD_SIM [HOSTILE [MB_EACH]]
//       HOSTILE clients each try to make the emulator hold MB_EACH megabytes and then idle: the
//       even ones ask for the host table again and again and never read, the odd ones send a
//       line that never ends. One well-behaved client keeps asking meanwhile. Prints the
//       emulator's peak memory and how many hostile clients it disconnected.
//   veld_sim_load readers VELD_SIM [CLIENTS [VELD_SIM_OPTIONS...]]
//       CLIENTS clients (500) each ask once for the host table of --hosts 5000 (a 4.6 MB reply)
//       and read it as it comes. Prints how many whole replies came and how many connections
//       were closed first, how long it took (120 seconds at most) and the emulator's peak memory.
//   veld_sim_load emfile VELD_SIM [LIMIT [CLIENTS [SECONDS]]]
//       Runs the emulator with at most LIMIT descriptors, connects CLIENTS clients that each
//       send one request, waits SECONDS, then closes them one by one (each after its reply).
//       Prints the processor time the emulator spent while waiting and how many were answered.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

const std::string kSmall =
    R"({"jsonrpc":"2.0","id":1,"method":"GetParameterValues","params":{"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]}})"
    "\n";
const std::string kHostTable =
    R"({"jsonrpc":"2.0","id":2,"method":"GetParameterValues","params":{"ParameterNames":["Device.Hosts."]}})"
    "\n";

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "veld_sim_load: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// A veld-sim child on a socket in its own temporary folder.
struct Sim {
  pid_t pid = -1;
  std::string dir, socket;

  Sim(const std::string& binary, const std::vector<std::string>& extra, long fd_limit = 0) {
    char tmpl[] = "/tmp/veld-sim-load.XXXXXX";
    if (!::mkdtemp(tmpl)) fail("mkdtemp");
    dir = tmpl;
    socket = dir + "/veld.sock";
    // The clients are guests that may do everything, unless the options bring other accounts.
    std::string access = dir + "/open-access.json";
    std::ofstream(access) << R"({"#access": {"guest": {".": "rwadx"}}})";
    std::vector<std::string> words = {binary, "--socket", socket};
    if (std::find(extra.begin(), extra.end(), "--access") == extra.end())
      words.insert(words.end(), {"--access", access});
    words.insert(words.end(), extra.begin(), extra.end());
    int out[2];
    if (::pipe(out) != 0) fail("pipe");
    pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      if (fd_limit > 0) {
        rlimit r{static_cast<rlim_t>(fd_limit), static_cast<rlim_t>(fd_limit)};
        ::setrlimit(RLIMIT_NOFILE, &r);
      }
      std::vector<char*> argv;
      for (auto& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      ::execv(binary.c_str(), argv.data());
      _exit(127);
    }
    ::close(out[1]);
    char c;
    std::string line;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    if (line.rfind("veld-sim: ready", 0) != 0) fail("veld-sim did not start");
  }
  ~Sim() {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::string rm = "rm -rf " + dir;
    if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
  }
  // A line of /proc/PID/status ("VmHWM") as kilobytes.
  long status_kb(const char* key) const {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    char line[256];
    long kb = -1;
    while (f && std::fgets(line, sizeof line, f))
      if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atol(line + std::strlen(key) + 1);
    if (f) std::fclose(f);
    return kb;
  }
  // User plus system processor time so far, in seconds.
  double cpu_seconds() const {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    char buf[1024] = {};
    if (f) {
      if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
      std::fclose(f);
    }
    const char* p = std::strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    if (p) std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }
};

int connect_to(const std::string& path, bool nonblocking = true) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) fail("connect");
  if (nonblocking) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

// One client driven by the poll loop: text still to send, and the lines it has received.
struct Peer {
  int fd = -1;
  std::string pending;   // still to send
  size_t sent = 0;
  size_t lines = 0;      // complete lines received
  size_t bytes_in = 0;
  bool reads = true;     // reads what comes (hostile clients do not)
  bool closed = false;   // by the server
  std::string first_line;
  Clock::time_point asked{};
  bool waiting = false;
  Clock::time_point next_ask{};

  void queue(const std::string& text) {
    if (sent == pending.size()) pending.clear(), sent = 0;
    pending += text;
  }
  bool wants_write() const { return !closed && sent < pending.size(); }
  void on_writable() {
    while (sent < pending.size()) {
      ssize_t w = ::send(fd, pending.data() + sent, std::min<size_t>(pending.size() - sent, 1 << 20),
                         MSG_NOSIGNAL);
      if (w < 0) {
        if (errno != EAGAIN) closed = true;
        return;
      }
      sent += static_cast<size_t>(w);
    }
  }
  // Reads what is there; returns the number of complete lines that came.
  size_t on_readable() {
    char buf[1 << 16];
    size_t got_lines = 0;
    while (true) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        closed = true;
        return got_lines;
      }
      if (n < 0) return got_lines;
      bytes_in += static_cast<size_t>(n);
      for (ssize_t i = 0; i < n; ++i) {
        if (lines == 0 && first_line.size() < 200 && buf[i] != '\n') first_line += buf[i];
        if (buf[i] == '\n') ++lines, ++got_lines;
      }
    }
  }
};

// Runs one round of poll over the peers (and nothing else), for at most `ms`.
void poll_round(std::vector<Peer>& peers, int ms) {
  std::vector<pollfd> fds;
  for (auto& p : peers) {
    short ev = 0;
    if (!p.closed && p.reads) ev |= POLLIN;
    if (p.wants_write()) ev |= POLLOUT;
    fds.push_back({p.closed ? -1 : p.fd, ev, 0});
  }
  if (::poll(fds.data(), fds.size(), ms) < 0 && errno != EINTR) fail("poll");
  for (size_t i = 0; i < peers.size(); ++i) {
    if (fds[i].revents & POLLOUT) peers[i].on_writable();
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
      if (peers[i].reads) {
        size_t before = peers[i].lines;
        peers[i].on_readable();
        if (peers[i].lines > before) peers[i].waiting = false;
      } else if (fds[i].revents & (POLLHUP | POLLERR)) {
        peers[i].closed = true;
      }
    }
  }
}

struct Latencies {
  std::vector<double> ms;
  void print(const char* what) {
    if (ms.empty()) {
      std::printf("%s: none answered\n", what);
      return;
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))]; };
    std::printf("%s: %zu answered, median %.1f ms, 99th percentile %.1f ms, max %.1f ms\n", what,
                ms.size(), at(0.5), at(0.99), ms.back());
  }
};

// Asks kSmall whenever the peer is idle and its next turn has come; records each answer's wait.
void ask_politely(Peer& p, Latencies& lat, Clock::time_point now, std::chrono::milliseconds every) {
  if (p.closed) return;
  if (!p.waiting && p.asked != Clock::time_point{}) {
    lat.ms.push_back(std::chrono::duration<double, std::milli>(now - p.asked).count());
    p.asked = {};
  }
  if (!p.waiting && now >= p.next_ask) {
    p.queue(kSmall);
    p.on_writable();
    p.asked = now;
    p.waiting = true;
    p.next_ask = now + every;
  }
}

std::string big_request(size_t bytes, const std::string& kind) {
  if (kind == "junk") return std::string(bytes, 'x') + "\n";
  if (kind == "tables") {
    std::string text;
    while (text.size() < bytes) text += kHostTable;
    return text;
  }
  const std::string member = R"({"Name":"Device.DeviceInfo.ProvisioningCode","Value":"abc"},)";
  std::string text = R"({"jsonrpc":"2.0","id":3,"method":"SetParameterValues","params":{"ParameterList":[)";
  text.reserve(bytes + 200);
  while (text.size() < bytes) text += member;
  text.back() = ']';
  return text + "}}\n";
}

int fairness(const std::string& binary, int clients, long mb, const std::string& kind,
             std::vector<std::string> options) {
  options.insert(options.begin(), {"--hosts", "5000"});
  Sim sim(binary, options);
  std::vector<Peer> peers(static_cast<size_t>(clients));
  for (auto& p : peers) p.fd = connect_to(sim.socket);
  Peer& bulk = peers.back();
  bulk.queue(big_request(static_cast<size_t>(mb) * 1000000, kind));
  auto start = Clock::now();
  for (size_t i = 0; i + 1 < peers.size(); ++i)  // spread the first questions over 100 ms
    peers[i].next_ask = start + std::chrono::microseconds(100000 * i / peers.size());
  Latencies lat;
  Clock::time_point bulk_answered{}, bulk_done{};
  while (seconds_since(start) < 20) {
    auto now = Clock::now();
    for (size_t i = 0; i + 1 < peers.size(); ++i)
      ask_politely(peers[i], lat, now, std::chrono::milliseconds(100));
    if (bulk_answered == Clock::time_point{} && (bulk.lines > 0 || bulk.closed)) bulk_answered = now;
    if (bulk_done == Clock::time_point{} && bulk_answered != Clock::time_point{} &&
        (!bulk.wants_write() || bulk.closed))
      bulk_done = now;
    if (bulk_done != Clock::time_point{} && seconds_since(bulk_done) > 1) break;
    poll_round(peers, 5);
  }
  std::string words;
  for (auto& o : options) words += " " + o;
  std::printf("veld-sim%s, %d clients, one sends a %ld MB request (%s)\n", words.c_str(), clients,
              mb, kind.c_str());
  auto at = [&](Clock::time_point t) {
    return t == Clock::time_point{} ? -1.0 : std::chrono::duration<double>(t - start).count();
  };
  std::printf("the large request: %s after %.2f s, all sent after %.2f s (-1: not within 20 s), "
              "%zu replies, %.1f MB, connection %s: %s\n",
              bulk.lines ? "answered" : bulk.closed ? "connection closed" : "no answer",
              at(bulk_answered), at(bulk_done), bulk.lines, bulk.bytes_in / 1e6,
              bulk.closed ? "closed" : "open", bulk.first_line.substr(0, 160).c_str());
  lat.print("small requests of the other clients");
  std::printf("peak memory of veld-sim: %.0f MiB\n", sim.status_kb("VmHWM") / 1024.0);
  return 0;
}

int memory(const std::string& binary, int hostile, long mb_each) {
  Sim sim(binary, {"--hosts", "5000"});
  long start_kb = sim.status_kb("VmRSS");
  std::vector<Peer> peers(static_cast<size_t>(hostile) + 1);
  for (auto& p : peers) p.fd = connect_to(sim.socket);
  size_t bytes = static_cast<size_t>(mb_each) * 1000000;
  for (int i = 0; i < hostile; ++i) {
    Peer& p = peers[static_cast<size_t>(i)];
    p.reads = false;
    if (i % 2 == 0) {
      // The host table's reply is about 4.6 MB: ask for enough of them.
      for (size_t asked = 0; asked < bytes; asked += 4600000) p.queue(kHostTable);
    } else {
      p.queue(std::string(bytes, 'x'));
    }
  }
  Peer& polite = peers.back();
  Latencies lat;
  auto start = Clock::now();
  // The hostile clients send what they can and then idle; they are given 20 seconds.
  while (seconds_since(start) < 20) {
    ask_politely(polite, lat, Clock::now(), std::chrono::milliseconds(200));
    poll_round(peers, 5);
  }
  int dropped = 0, stuck = 0;
  for (int i = 0; i < hostile; ++i) {
    Peer& p = peers[static_cast<size_t>(i)];
    char c;
    if (!p.closed && ::recv(p.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0) p.closed = true;
    // A hostile client that still holds a socket may have had its data swallowed: it cannot tell.
    if (p.closed) ++dropped;
    else if (p.wants_write()) ++stuck;
  }
  std::printf("veld-sim --hosts 5000 with %d hostile clients of %ld MB each and one polite one\n",
              hostile, mb_each);
  std::printf("memory of veld-sim: %.0f MiB at the start, %.0f MiB at the end, %.0f MiB at the peak\n",
              start_kb / 1024.0, sim.status_kb("VmRSS") / 1024.0, sim.status_kb("VmHWM") / 1024.0);
  std::printf("hostile clients disconnected: %d of %d (%d could not send all)\n", dropped, hostile,
              stuck);
  lat.print("the polite client's requests");
  return 0;
}

int readers(const std::string& binary, int clients, std::vector<std::string> options) {
  options.insert(options.begin(), {"--hosts", "5000"});
  Sim sim(binary, options);
  long start_kb = sim.status_kb("VmRSS");
  std::vector<Peer> peers(static_cast<size_t>(clients));
  for (auto& p : peers) {
    p.fd = connect_to(sim.socket);
    p.queue(kHostTable);
  }
  auto start = Clock::now();
  auto settled = [&] {
    return std::all_of(peers.begin(), peers.end(), [](const Peer& p) { return p.lines || p.closed; });
  };
  while (!settled() && seconds_since(start) < 120) poll_round(peers, 100);
  double took = seconds_since(start);
  int whole = 0, cut = 0;
  size_t bytes = 0;
  for (auto& p : peers) {
    // A whole reply is one complete line carrying the result.
    if (p.lines == 1 && p.first_line.find("\"result\"") != std::string::npos) ++whole;
    else if (p.closed) ++cut;
    bytes += p.bytes_in;
  }
  std::string words;
  for (auto& o : options) words += " " + o;
  std::printf("veld-sim%s, %d clients each reading the host table once\n", words.c_str(), clients);
  std::printf("whole replies: %d of %d; connections closed before their reply: %d; %.0f MB read in "
              "%.1f s (120 s at most)\n", whole, clients, cut, bytes / 1e6, took);
  std::printf("memory of veld-sim: %.0f MiB at the start, %.0f MiB at the peak\n",
              start_kb / 1024.0, sim.status_kb("VmHWM") / 1024.0);
  for (auto& p : peers) ::close(p.fd);
  return whole == clients ? 0 : 1;
}

int emfile(const std::string& binary, long limit, int clients, int seconds) {
  Sim sim(binary, {}, limit);
  std::vector<Peer> peers(static_cast<size_t>(clients));
  for (auto& p : peers) {
    p.fd = connect_to(sim.socket);
    p.queue(kSmall);
    p.on_writable();
  }
  double cpu0 = sim.cpu_seconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double cpu = sim.cpu_seconds() - cpu0;
  // Close the clients in order, each once it has its reply: every close frees a descriptor.
  int answered = 0;
  auto start = Clock::now();
  for (auto& p : peers) {
    while (!p.lines && !p.closed && seconds_since(start) < 30) {
      pollfd f{p.fd, POLLIN, 0};
      if (::poll(&f, 1, 100) > 0) p.on_readable();
    }
    if (p.lines) ++answered;
    ::close(p.fd);
  }
  std::printf("veld-sim with RLIMIT_NOFILE %ld and %d clients, %d s while out of descriptors\n",
              limit, clients, seconds);
  std::printf("processor time veld-sim spent meanwhile: %.2f s (%.0f%% of one core)\n", cpu,
              100 * cpu / seconds);
  std::printf("clients answered once descriptors freed: %d of %d\n", answered, clients);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: veld_sim_load fairness VELD_SIM [CLIENTS [REQUEST_MB [set|junk|tables [OPTION...]]]]\n"
                 "       veld_sim_load memory VELD_SIM [HOSTILE [MB_EACH]]\n"
                 "       veld_sim_load readers VELD_SIM [CLIENTS [OPTION...]]\n"
                 "       veld_sim_load emfile VELD_SIM [LIMIT [CLIENTS [SECONDS]]]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  std::string scenario = argv[1], binary = argv[2];
  auto arg = [&](int i, long fallback) { return argc > i ? std::atol(argv[i]) : fallback; };
  if (scenario == "fairness")
    return fairness(binary, static_cast<int>(std::clamp(arg(3, 500), 2L, 900L)),
                    std::clamp(arg(4, 100), 1L, 1000L), argc > 5 ? argv[5] : "set",
                    std::vector<std::string>(argv + std::min(argc, 6), argv + argc));
  if (scenario == "memory")
    return memory(binary, static_cast<int>(std::clamp(arg(3, 12), 1L, 400L)),
                  std::clamp(arg(4, 250), 1L, 1000L));
  if (scenario == "readers")
    return readers(binary, static_cast<int>(std::clamp(arg(3, 500), 1L, 900L)),
                   std::vector<std::string>(argv + std::min(argc, 4), argv + argc));
  if (scenario == "emfile")
    return emfile(binary, std::clamp(arg(3, 64), 16L, 1024L),
                  static_cast<int>(std::clamp(arg(4, 100), 1L, 1000L)),
                  static_cast<int>(std::clamp(arg(5, 3), 1L, 30L)));
  std::fprintf(stderr, "veld_sim_load: unknown scenario %s\n", scenario.c_str());
  return 2;
}
