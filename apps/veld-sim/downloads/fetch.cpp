#include "downloads/fetch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/socket.h"

namespace sim {

namespace {

// Waits are cut into slices this long, so that a cancel is seen soon.
constexpr int kSliceMs = 100;

FetchResult failed(int code, std::string detail) { return {code, std::move(detail), {}}; }

FetchResult fetch_file(const FetchOrder& order) {
  const std::string& path = order.url.path;
  // Not blocking: a FIFO or a device given as the file must not hang the fetch.
  k::Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return failed(kCannotAccessFile, "cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return failed(kCannotAccessFile, path + " is not a regular file");
  if (static_cast<uint64_t>(st.st_size) > order.max_bytes)
    return failed(kIncompleteDownload, path + " is larger than the " +
                                           std::to_string(order.max_bytes) + " bytes allowed");
  FetchResult r;
  r.data.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < r.data.size()) {
    ssize_t n = ::read(fd.get(), r.data.data() + got, r.data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      return failed(kCannotAccessFile, "cannot read " + path + ": " + std::strerror(errno));
    if (n == 0) break;  // it shrank meanwhile
    got += static_cast<size_t>(n);
  }
  r.data.resize(got);
  return r;
}

// Waits for `events` on `fd` for up to timeout_ms, in slices; 1 ready, 0 timed out, -1 cancelled
// or failed.
int wait_for(int fd, short events, int timeout_ms, const std::atomic<bool>& cancel) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!cancel) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    until - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
    if (n > 0) return 1;
    if (n < 0 && errno != EINTR) return -1;
  }
  return -1;
}

FetchResult fetch_netcat(const FetchOrder& order, const std::atomic<bool>& cancel) {
  const SourceUrl& url = order.url;
  std::string where = url.host + ":" + std::to_string(url.port);
  if (!order.size) return failed(kInvalidParams, "a netcat URL needs FileSize");
  if (*order.size > order.max_bytes)
    return failed(kIncompleteDownload, "FileSize is larger than the " +
                                           std::to_string(order.max_bytes) + " bytes allowed");
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int e = ::getaddrinfo(url.host.c_str(), std::to_string(url.port).c_str(), &hints, &found))
    return failed(kCannotContactServer, "cannot resolve " + url.host + ": " + gai_strerror(e));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
  k::Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return failed(kCannotContactServer, std::string("socket: ") + std::strerror(errno));
  if (::connect(fd.get(), found->ai_addr, found->ai_addrlen) != 0 && errno != EINPROGRESS)
    return failed(kCannotContactServer, "cannot connect to " + where + ": " + std::strerror(errno));
  int ready = wait_for(fd.get(), POLLOUT, order.timeout_ms, cancel);
  int err = 0;
  socklen_t len = sizeof err;
  if (ready == 1 && (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err))
    return failed(kCannotContactServer, "cannot connect to " + where + ": " + std::strerror(err));
  if (ready == 0) return failed(kCannotContactServer, "no connection to " + where + " in time");
  if (ready < 0) return failed(kIncompleteDownload, "the download was abandoned");

  FetchResult r;
  r.data.resize(*order.size);
  size_t got = 0;
  while (got < r.data.size()) {
    int w = wait_for(fd.get(), POLLIN, order.timeout_ms, cancel);
    if (w <= 0)
      return failed(kIncompleteDownload, w == 0 ? "the sender at " + where + " stalled after " +
                                                      std::to_string(got) + " bytes"
                                                : "the download was abandoned");
    ssize_t n = ::read(fd.get(), r.data.data() + got, r.data.size() - got);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0)
      return failed(kIncompleteDownload, "the sender at " + where + " sent " +
                                             std::to_string(got) + " of " +
                                             std::to_string(r.data.size()) + " bytes");
    got += static_cast<size_t>(n);
  }
  return r;
}

// What the libcurl callbacks share.
struct HttpTransfer {
  std::string data{};
  uint64_t max_bytes = 0;
  bool too_large = false;
  const std::atomic<bool>* cancel = nullptr;
};

size_t on_data(char* bytes, size_t size, size_t count, void* user) {
  auto* t = static_cast<HttpTransfer*>(user);
  size_t n = size * count;
  if (t->data.size() + n > t->max_bytes) {
    t->too_large = true;
    return 0;  // stops the transfer
  }
  t->data.append(bytes, n);
  return n;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return *static_cast<HttpTransfer*>(user)->cancel ? 1 : 0;
}

FetchResult fetch_http(const FetchOrder& order, const std::atomic<bool>& cancel) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::unique_ptr<CURL, decltype(&::curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return failed(kInternalError, "libcurl cannot start a transfer");
  HttpTransfer t{.max_bytes = order.max_bytes, .cancel = &cancel};
  char error[CURL_ERROR_SIZE] = "";
  CURL* c = curl.get();
  long seconds = std::max(1, (order.timeout_ms + 999) / 1000);
  curl_easy_setopt(c, CURLOPT_URL, order.url.text.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // threads: no SIGALRM for the name look-up
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(order.timeout_ms));
  // A transfer that moves nothing for the time-out is given up.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, seconds);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(order.max_bytes));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_data);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  CURLcode rc = curl_easy_perform(c);
  if (rc == CURLE_OK) return {0, {}, std::move(t.data)};
  std::string why = error[0] ? error : curl_easy_strerror(rc);
  std::string what = order.url.text + ": " + why;
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
      return failed(kCannotContactServer, what);
    case CURLE_HTTP_RETURNED_ERROR:
      return failed(kCannotAccessFile, what);
    case CURLE_OPERATION_TIMEDOUT:
      return failed(kIncompleteDownload, what);
    default:
      if (t.too_large || rc == CURLE_FILESIZE_EXCEEDED)
        return failed(kIncompleteDownload, order.url.text + ": larger than the " +
                                               std::to_string(order.max_bytes) +
                                               " bytes allowed");
      if (rc == CURLE_ABORTED_BY_CALLBACK)
        return failed(kIncompleteDownload, "the download was abandoned");
      return failed(kIncompleteDownload, what);
  }
}

}  // namespace

FetchResult fetch(const FetchOrder& order, const std::atomic<bool>& cancel) {
  switch (order.url.scheme) {
    case Scheme::kFile: return fetch_file(order);
    case Scheme::kNetcat: return fetch_netcat(order, cancel);
    case Scheme::kHttp: return fetch_http(order, cancel);
  }
  return failed(kInternalError, "unknown scheme");
}

}  // namespace sim
