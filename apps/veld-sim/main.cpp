// veld-sim: emulates veld, the device-management daemon, for the client's tests and benchmarks.
#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <iostream>

#include "engine.h"
#include "hosts.h"
#include "model_load.h"
#include "options.h"
#include "server.h"

int main(int argc, char** argv) {
  sim::Options options;
  std::string error;
  if (!sim::parse_options(argc, argv, options, error)) {
    std::cerr << "veld-sim: " << error << "\n\n" << sim::usage_text();
    return 2;
  }
  if (options.help) {
    std::cout << sim::usage_text();
    return 0;
  }

  sim::Accounts accounts;
  auto root = sim::load_model_file(options.model_file, error, &accounts);
  if (!root || (!options.access_file.empty() &&
                !sim::load_accounts_file(options.access_file, accounts, error))) {
    std::cerr << "veld-sim: " << error << "\n";
    return 1;
  }
  if (options.hosts >= 0 && !sim::fill_hosts(*root, static_cast<unsigned>(options.hosts), error)) {
    std::cerr << "veld-sim: " << error << "\n";
    return 1;
  }

  // SIGTERM and SIGINT arrive as a readable descriptor that ends the poll loop.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  k::Fd stop_fd(signalfd(-1, &stop_signals, SFD_CLOEXEC));
  signal(SIGPIPE, SIG_IGN);
  if (!stop_fd) {
    std::perror("veld-sim: signalfd");
    return 1;
  }

  sim::Engine engine(std::move(root), std::move(accounts));
  sim::Server server(engine, {.socket_path = options.socket_path,
                              .delay_ms = options.delay_ms,
                              .request_log = options.request_log,
                              .memory_budget = static_cast<size_t>(options.memory_budget_mib) << 20,
                              .max_request = static_cast<size_t>(options.max_request_mib) << 20});
  if (!server.listen(error)) {
    std::cerr << "veld-sim: " << error << "\n";
    return 1;
  }
  std::printf("veld-sim: ready on %s\n", options.socket_path.c_str());
  std::fflush(stdout);
  server.run(stop_fd.get());
  return 0;
}
