// veld-sim: emulates veld, the device-management daemon, for the client's tests and benchmarks.
#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <iostream>

#include "daemon/options.h"
#include "daemon/server.h"
#include "engine/engine.h"
#include "model/hosts.h"
#include "model/model_load.h"

namespace {

// The accounts: the model's "#access" section, or that of --access's file instead.
bool load_accounts(const sim::Options& options, json_t* model, sim::Accounts& accounts,
                   std::string& error) {
  json_t* access = json_object_get(model, "#access");
  if (access && !sim::parse_accounts(access, accounts, error)) {
    error = options.model_file + ": " + error;
    return false;
  }
  return options.access_file.empty() ||
         sim::load_accounts_file(options.access_file, accounts, error);
}

// SIGTERM and SIGINT, arriving as a readable descriptor that ends the poll loop.
k::Fd stop_signals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return k::Fd(signalfd(-1, &stop, SFD_CLOEXEC));
}

sim::ServerConfig server_config(const sim::Options& options) {
  return {.socket_path = options.socket_path,
          .tcp = options.tcp,
          .tls_cert = options.tls_cert,
          .tls_key = options.tls_key,
          .delay_ms = options.delay_ms,
          .request_log = options.request_log,
          .memory_budget = static_cast<size_t>(options.memory_budget_mib) << 20,
          .max_request = static_cast<size_t>(options.max_request_mib) << 20,
          .reboot_ms = options.reboot_ms,
          .download = {.download_dir = options.download_dir,
                       .flash_ms = options.flash_ms,
                       .fetch_timeout_ms = options.fetch_timeout_ms}};
}

int fail(const std::string& error) {
  std::cerr << "veld-sim: " << error << "\n";
  return 1;
}

}  // namespace

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

  // The model file is read once; a factory reset and every reboot build the tree from it again.
  // The accounts come from it too (or from --access) and stay as they are while it runs.
  k::Json model = sim::read_json_file(options.model_file, error);
  sim::Accounts accounts;
  if (!model || !load_accounts(options, model.get(), accounts, error)) return fail(error);
  auto factory = [&](std::string& why) -> std::unique_ptr<sim::Node> {
    auto root = sim::load_model(model.get(), why);
    if (!root) {
      why = options.model_file + ": " + why;
      return nullptr;
    }
    if (options.hosts >= 0 && !sim::fill_hosts(*root, static_cast<unsigned>(options.hosts), why))
      return nullptr;
    return root;
  };
  sim::Engine engine(sim::DeviceSetup{.factory = factory, .state_dir = options.state_dir},
                     std::move(accounts));
  if (!engine.boot(error)) return fail(error);

  k::Fd stop_fd = stop_signals();
  if (!stop_fd) {
    std::perror("veld-sim: signalfd");
    return 1;
  }
  sim::Server server(engine, server_config(options));
  if (!server.listen(error)) return fail(error);
  // The TCP line comes first: whoever waits for the socket's ready line has the port by then.
  if (options.tcp)
    std::printf("veld-sim: ready on tcp:%s:%u%s\n", options.tcp->host.c_str(),
                static_cast<unsigned>(server.tcp_port()), options.tls_cert.empty() ? "" : " (TLS)");
  std::printf("veld-sim: ready on %s\n", options.socket_path.c_str());
  std::fflush(stdout);
  server.run(stop_fd.get());
  if (!server.fatal_error().empty()) return fail(server.fatal_error());
  return 0;
}
