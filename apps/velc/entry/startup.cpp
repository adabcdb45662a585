#include "entry/startup.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "entry/exchange.h"
#include "entry/modes.h"
#include "entry/user.h"
#include "shell/command_table.h"
#include "shell/shell_loop.h"

namespace {

constexpr int kRequestsTimeoutMs = 5000;
constexpr int kEventsTimeoutMs = 100;
constexpr int kJoinTimeoutMs = 1000;
constexpr unsigned kChangeGroup = 4;

// Connects a handle that is not connected yet and reports a failure in the client's words.
bool connect_checked(k::Connection& handle, const char* which) {
  if (handle.fd() == -1) handle.connect();
  int e = handle.socket_err();
  if (e == 0) return true;
  std::printf("Cannot connect to veld(%s) - %s(%d)\n", which, k::socket_strerror(e), e);
  return false;
}

// Runs the configuration script silently: standard output goes to /dev/null meanwhile, standard
// error stays visible. Command scripts arrive later; until then a present file is skipped.
void run_config_script(const Options& options) {
  std::string path = config_script_path(options);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
}

}  // namespace

int join_group(k::Connection& handle, unsigned group) {
  k::Message m = k::msg_join_group(group);
  handle.set_timeout(kJoinTimeoutMs);
  return handle.exec(m);
}

std::string config_script_path(const Options& options) {
  if (options.config_path) return options.config_path;
  const char* home = std::getenv("HOME");
  std::string from_passwd;
  if (!home) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buf.data(), buf.size(), &found) != 0 || !found ||
        !found->pw_dir)
      return {};  // no home to look in: the configuration script is skipped
    from_passwd = found->pw_dir;
    home = from_passwd.c_str();
  }
  std::string path = std::string(home) + "/.local/velc/config";
  if (path.size() > 255) path.resize(255);  // the path buffer holds 255 characters
  return path;
}

int velc_main(int argc, char** argv) {
  k::Connection& requests = requests_handle();
  k::Connection& events = events_handle();
  Options options;
  options.parameters = k::Json::take(json_array());

  int r = cline_parse(argc, argv, options);
  if (r != 0) return r == 1 ? 0 : 1;

  for (k::Connection* h : {&requests, &events}) {
    if (options.ssl) h->set_flags(h->flags() | k::kFlagSsl);
    if (options.unix_path) h->set_destination(options.unix_path);
  }
  requests.set_timeout(kRequestsTimeoutMs);
  events.set_timeout(kEventsTimeoutMs);
  if (!connect_checked(requests, "requests") || !connect_checked(events, "events")) return 1;

  events.set_flags(requests.flags() | k::kFlagReceiver);
  join_group(events, kChangeGroup);
  for (uint32_t i = 0; i < options.group_count; ++i) join_group(requests, options.groups[i]);

  int raw_timeout = options.timeout != 0 ? options.timeout * 1000 : kRequestsTimeoutMs;
  run_config_script(options);

  int status = 0;
  switch (options.mode) {
    case kModeInteractive:
      status = shell_loop();
      break;
    case kModeRaw:
      status = raw_mode(options, raw_timeout);
      break;
    case kModeListen:
      status = listen_mode();
      break;
    case kModeRequest:
      status = request_dispatch(options.mode_name, options.parameters.get());
      break;
    case kModeNotify:
      std::printf("Unsupported :(\n");
      break;
    case kModeEvent:
      status = event_mode(options);
      break;
    default:
      std::printf("Script files are not supported yet.\n");
      status = -1;
      break;
  }
  std::fflush(stdout);
  current_user_store(nullptr);
  return status;
}
