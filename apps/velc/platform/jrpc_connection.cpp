#include "platform/jrpc_connection.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/interrupt.h"
#include "platform/tcp.h"

namespace k {

void Connection::set_destination(const std::string& destination) {
  path_ = destination;
  close();
}

int Connection::set_socket_err(int code, std::string detail) {
  err_ = code;
  err_detail_ = std::move(detail);
  return code;
}

std::string Connection::error_text() const {
  return err_detail_.empty() ? socket_strerror(err_) : err_detail_;
}

int Connection::open_socket(int64_t deadline_ms, std::string& tls_host) {
  int err = kSockOk;
  if (is_tcp_destination(path_)) {
    TcpAddress to;
    if (int r = parse_tcp_destination(path_, to); r < 0) return r;
    int left = deadline_ms < 0
                   ? -1
                   : static_cast<int>(std::max<int64_t>(0, deadline_ms - monotonic_ms()));
    fd_ = tcp_connect(to, left, err);
    tls_host = to.host;
  } else {
    fd_ = unix_connect(path_, err);
    tls_host = kLocalTlsName;
  }
  return err;
}

int Connection::start_tls(const std::string& host, int64_t deadline_ms) {
  // The codes' own texts, followed by what OpenSSL or the system said.
  auto failed = [this](int code, const std::string& why) {
    return set_socket_err(code, std::string(socket_strerror(code)) + ": " + why);
  };
  if (!tls_context_) {
    const char* ca = std::getenv(kCaFileVariable);
    std::string error;
    tls_context_ = TlsContext::client(ca ? ca : "", error);
    if (!tls_context_) return failed(kSockNoSsl, error);
  }
  ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) | O_NONBLOCK);
  tls_ = TlsSession::client(*tls_context_, fd_.get(), host);
  if (!tls_) return failed(kSockNoSsl, "cannot start a TLS session for " + host);
  for (;;) {
    TlsIo io = tls_->handshake();
    if (io == TlsIo::kDone) return kSockOk;
    if (io == TlsIo::kClosed || io == TlsIo::kFailed) return failed(kSockTls, tls_->error());
    Wait w = wait_socket(io == TlsIo::kWantWrite ? POLLOUT : POLLIN, deadline_ms);
    if (w == Wait::kInterrupted) interrupt_check();
    if (w == Wait::kTimeout) return set_socket_err(kSockTimeout, "Timed out in the TLS handshake");
    if (w != Wait::kReady) return failed(kSockTls, std::strerror(errno));
  }
}

int Connection::connect() {
  close();
  int64_t limit = timeout_ms_ < 0 ? -1 : std::max(timeout_ms_, kMinConnectTimeoutMs);
  int64_t deadline = limit < 0 ? -1 : monotonic_ms() + limit;
  try {
    std::string tls_host;
    if (int r = open_socket(deadline, tls_host); r < 0) {
      close();
      return set_socket_err(r);
    }
    if (flags_ & kFlagSsl) {
      if (int r = start_tls(tls_host, deadline); r < 0) {
        std::string detail = err_detail_;
        close();
        return set_socket_err(r, detail);
      }
    }
  } catch (...) {
    close();  // Ctrl-C while connecting: nothing half made stays
    throw;
  }
  set_socket_err(kSockOk);
  ++connections_;
  return renew_authentication();
}

Connection::Wait Connection::wait_socket(short events, int64_t deadline_ms) {
  for (;;) {
    if (g_interrupt_requested) return Wait::kInterrupted;
    int wait = kInterruptSliceMs;
    bool last = false;  // the deadline is reached when this wait ends
    if (deadline_ms >= 0) {
      // A deadline already past still looks once: a time-out of 0 takes what has arrived.
      int64_t left = std::max<int64_t>(0, deadline_ms - monotonic_ms());
      if (left <= wait) {
        wait = static_cast<int>(left);
        last = true;
      }
    }
    pollfd p{fd_.get(), events, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::kError;
    }
    if (r > 0) return Wait::kReady;
    if (last) return Wait::kTimeout;
  }
}

int Connection::renew_authentication() {
  bool had_login = auth_ != Auth::kGuest;
  auth_ = Auth::kGuest;  // every connection starts as a guest
  if (token_.empty() || (flags_ & kFlagSessionLogin)) {
    // Going on as a guest would silently show and do less than the user believes.
    if (had_login) login_lost_ = true;
    return kSockOk;
  }
  Message m = msg_authenticate(token_);
  int r;
  try {
    r = exchange_once(m, nullptr, true);  // on a connection just made
  } catch (...) {
    close();  // never left connected as a guest: the next exchange presents the token again
    throw;
  }
  if (r < 0) {
    close();
    return r;
  }
  if (m.kind == kMsgResult) {
    auth_ = Auth::kToken;
  } else {
    token_.clear();  // veld no longer takes it
    login_lost_ = true;
  }
  return kSockOk;
}

int Connection::authenticate(Message m, Auth on_success) {
  int r = exchange_once(m, nullptr, true);  // on a connection just made
  login_lost_ = false;
  bool accepted = r >= 0 && m.kind == kMsgResult;
  auth_ = accepted ? on_success : Auth::kGuest;
  return r < 0 ? r : accepted ? 0 : -1;
}

int Connection::login(const std::string& user, const std::optional<std::string>& password) {
  token_.clear();
  return authenticate(msg_login(user, password), Auth::kLogin);
}

int Connection::set_auth(const std::string& token) {
  token_.clear();  // a new connection made on the way must not present the old token first
  int r = authenticate(msg_authenticate(token), token.empty() ? Auth::kGuest : Auth::kToken);
  if (r == 0) token_ = token;
  return r;
}

int Connection::logout() {
  token_.clear();
  return authenticate(msg_logout(), Auth::kGuest);
}

void Connection::close() {
  if (tls_) tls_->shutdown();
  tls_.reset();  // before its socket
  fd_.reset();
  reader_.clear();
  skip_partial_ = false;
  abandoned_.clear();
}

int Connection::ensure_connected() { return fd_ ? kSockOk : connect(); }

}  // namespace k
