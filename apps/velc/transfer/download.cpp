#include "transfer/download.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/exchange.h"
#include "platform/interrupt.h"
#include "transfer/md5.h"
#include "transfer/url.h"
#include "render/result_report.h"
#include "transfer/firmware_dialogue.h"
#include "transfer/md5.h"
#include "transfer/url.h"

namespace {

// The type words and the "FileType" each sends; only firmware runs the upgrade dialogue.
struct FileKind {
  const char* word;
  const char* file_type;
};
constexpr FileKind kKinds[] = {{"firmware", "Firmware"}, {"config", "Config"}, {"file", "File"}};
constexpr const FileKind& kFirmware = kKinds[0];

// The longest URL sent: what a 4096-byte URL text holds with its terminating zero.
constexpr size_t kUrlMax = 4095;

int syntax(const std::string& name, FILE* out) {
  std::fprintf(out, "syntax: %s <firmware|config|file> <path_to_file> [<target_file_name>]\n",
              name.c_str());
  return -1;
}

const FileKind* find_kind(const char* word) {
  if (!word) return nullptr;
  for (const FileKind& kind : kKinds)
    if (std::strcmp(kind.word, word) == 0) return &kind;
  return nullptr;
}

// Why the local file at `path` cannot be handed over ("" when it can): only a regular file has a
// content and an end; reading a FIFO or a device would wait for a writer or never end.
std::string local_file_problem(const char* path) {
  struct stat st {};
  if (::stat(path, &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno);
  if (S_ISREG(st.st_mode)) return "";
  if (S_ISDIR(st.st_mode)) return "not a regular file (a directory)";
  if (S_ISFIFO(st.st_mode)) return "not a regular file (a FIFO)";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "not a regular file (a device)";
  if (S_ISSOCK(st.st_mode)) return "not a regular file (a socket)";
  return "not a regular file";
}

// Where veld fetches the file from.
struct Channel {
  std::string url;
  bool netcat = false;
  uint64_t file_size = 0;  // netcat only
};

// Chooses the channel for `path`: 0, or -1 after printing why ("NAME: PATH: no such file." or
// what else keeps a local file from being handed over, the syntax line for a URL that is too
// long, the failing step of the netcat channel).
int choose_channel(CommandContext& client, const std::string& name, const char* path,
                   const TransferWaits& waits, Channel& channel) {
  if (k::is_url(path)) {
    channel.url = path;
  } else if (std::string why = local_file_problem(path); !why.empty()) {
    std::fprintf(client.out, "%s: %s: %s.\n", name.c_str(), path, why.c_str());
    return -1;
  } else if (client.session.requests.is_local()) {
    std::unique_ptr<char, decltype(&std::free)> absolute(realpath(path, nullptr), &std::free);
    if (!absolute) return syntax(name, client.out);
    channel.url = std::string("file://") + absolute.get();
  } else {
    channel.netcat = true;
    return netcat_open(client.session.requests.fd(), path, channel.url, channel.file_size,
                       waits.netcat_wait_ms, {}, client.out);
  }
  if (channel.url.size() > kUrlMax) return syntax(name, client.out);
  return 0;
}

// Sends "Download" with the parameters as they stand and waits without limit. True when veld
// accepted it; its refusal (or the failed exchange) is printed otherwise.
bool send_download(CommandContext& client, const k::Json& params, k::Message& m) {
  m = k::msg_create("Download", params);
  request_exchange(client.session, m, -1);
  if (reply_ok(m)) return true;
  report_result(m, client.colours, client.out);
  return false;
}

}  // namespace

int download_run(CommandContext& client, const std::string& name, json_t* args,
                 const TransferWaits& waits) {
  size_t count = json_array_size(args);
  const FileKind* kind = find_kind(k::json_array_text(args, 0));
  const char* path = k::json_array_text(args, 1);
  const char* target = k::json_array_text(args, 2);
  if ((count != 2 && count != 3) || !kind || !path || (count == 3 && !target))
    return syntax(name, client.out);
  // Ctrl-C anywhere in the exchanges, the question or the progress ends the command cleanly.
  k::InterruptScope sigint;

  Channel channel;
  if (choose_channel(client, name, path, waits, channel) != 0) return -1;
  k::Json url = k::json_str(channel.url);
  if (!url) return syntax(name, client.out);  // a resolved path that is not UTF-8 text
  k::Json params = k::Json::take(json_object());
  json_object_set_new(params.get(), "FileType", json_string(kind->file_type));
  json_object_set(params.get(), "URL", url.get());
  std::string md5;
  if (k::md5_file_region(path, 0, -1, md5) == 0)
    json_object_set_new(params.get(), "MD5", json_string(md5.c_str()));
  if (target) json_object_set(params.get(), "TargetFileName", json_array_get(args, 2));
  if (channel.netcat)
    json_object_set_new(params.get(), "FileSize",
                        json_integer(static_cast<json_int_t>(channel.file_size)));

  bool firmware = kind == &kFirmware;
  k::Message download;
  if (firmware) {
    // Lets the device prepare (free memory, stop services) before it takes the image.
    json_object_set_new(params.get(), "NeedPreUpdate", json_true());
    if (!send_download(client, params, download)) return -1;
    json_object_set_new(params.get(), "NeedPreUpdate", json_false());
  }
  if (!send_download(client, params, download)) return -1;
  if (!firmware) return 0;
  return firmware_dialogue(client, params, download, waits.progress);
}

int cmd_download(CommandContext& client, const std::string& name, json_t* args) {
  return download_run(client, name, args, TransferWaits{});
}

int cmd_upgrade(CommandContext& client, const std::string&, json_t* args) {
  k::Json firmware_args = k::Json::take(json_array());
  json_array_append_new(firmware_args.get(), json_string(kFirmware.word));
  json_array_extend(firmware_args.get(), args);
  return cmd_download(client, "download", firmware_args.get());
}
