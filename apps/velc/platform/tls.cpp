#include "platform/tls.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/tcp.h"

namespace k {

namespace {

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the peer has gone. The
// signal is blocked while a TLS call runs and one raised meanwhile is taken back, so the process
// neither dies nor has to ignore SIGPIPE (an ignored SIGPIPE would pass on to the programs that
// the shell starts).
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_only, &old_);
  }
  ~SigpipeBlock() {
    if (!was_pending_) {
      sigset_t pending;
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        sigset_t pipe_only;
        sigemptyset(&pipe_only);
        sigaddset(&pipe_only, SIGPIPE);
        timespec zero{};
        sigtimedwait(&pipe_only, nullptr, &zero);
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t old_{};
  bool was_pending_ = false;
};

// The reason of the newest error on OpenSSL's queue ("" when it is empty); empties the queue.
std::string openssl_reason() {
  unsigned long last = 0;
  while (unsigned long e = ERR_get_error()) last = e;
  if (!last) return "";
  const char* reason = ERR_reason_error_string(last);
  if (reason) return reason;
  char text[256];
  ERR_error_string_n(last, text, sizeof text);
  return text;
}

void set_common_options(SSL_CTX* ctx) {
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // A peer that closes without close_notify ends the session like one that sends it: the framing
  // (whole lines) tells whether a message was cut.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::client(const std::string& ca_file, std::string& error) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) {
    error = "cannot set up TLS: " + openssl_reason();
    return nullptr;
  }
  std::unique_ptr<TlsContext> owner(new TlsContext(ctx));
  set_common_options(ctx);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  int ok = ca_file.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                           : SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr);
  if (ok != 1) {
    error = ca_file.empty() ? "cannot load the system's CA certificates: " + openssl_reason()
                            : "cannot load CA file " + ca_file + ": " + openssl_reason();
    return nullptr;
  }
  return owner;
}

std::unique_ptr<TlsContext> TlsContext::server(const std::string& cert_file,
                                               const std::string& key_file, std::string& error) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx) {
    error = "cannot set up TLS: " + openssl_reason();
    return nullptr;
  }
  std::unique_ptr<TlsContext> owner(new TlsContext(ctx));
  set_common_options(ctx);
  // Clients connect once and stay: session tickets would only be records nobody asked for.
  SSL_CTX_set_num_tickets(ctx, 0);
  if (SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1) {
    error = "cannot load certificate " + cert_file + ": " + openssl_reason();
    return nullptr;
  }
  if (SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    error = "cannot load key " + key_file + ": " + openssl_reason();
    return nullptr;
  }
  if (SSL_CTX_check_private_key(ctx) != 1) {
    error = "key " + key_file + " does not belong to certificate " + cert_file;
    return nullptr;
  }
  return owner;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

std::unique_ptr<TlsSession> TlsSession::client(const TlsContext& ctx, int fd,
                                               const std::string& host) {
  SSL* ssl = SSL_new(ctx.get());
  if (!ssl) return nullptr;
  std::unique_ptr<TlsSession> s(new TlsSession(ssl));
  if (SSL_set_fd(ssl, fd) != 1) return nullptr;
  SSL_set_connect_state(ssl);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (is_ipv4_literal(host)) {
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) return nullptr;
  } else {
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl, host.c_str()) != 1 ||
        SSL_set_tlsext_host_name(ssl, host.c_str()) != 1)
      return nullptr;
  }
  return s;
}

std::unique_ptr<TlsSession> TlsSession::server(const TlsContext& ctx, int fd) {
  SSL* ssl = SSL_new(ctx.get());
  if (!ssl) return nullptr;
  std::unique_ptr<TlsSession> s(new TlsSession(ssl));
  if (SSL_set_fd(ssl, fd) != 1) return nullptr;
  SSL_set_accept_state(ssl);
  return s;
}

TlsSession::~TlsSession() { SSL_free(ssl_); }

TlsIo TlsSession::outcome(int result) {
  int e = SSL_get_error(ssl_, result);
  switch (e) {
    case SSL_ERROR_NONE: return TlsIo::kDone;
    case SSL_ERROR_WANT_READ: return TlsIo::kWantRead;
    case SSL_ERROR_WANT_WRITE: return TlsIo::kWantWrite;
    case SSL_ERROR_ZERO_RETURN:
      usable_ = false;
      error_ = "the peer closed the connection";
      return TlsIo::kClosed;
    case SSL_ERROR_SYSCALL: {
      int saved = errno;
      usable_ = false;
      std::string reason = openssl_reason();
      if (!reason.empty()) {
        error_ = reason;
        return TlsIo::kFailed;
      }
      if (saved == 0 || saved == EPIPE || saved == ECONNRESET) {
        error_ = "the peer closed the connection";
        return TlsIo::kClosed;
      }
      error_ = std::strerror(saved);
      return TlsIo::kFailed;
    }
    default: {
      usable_ = false;
      error_ = openssl_reason();
      if (error_.empty()) error_ = "TLS failure";
      long verdict = SSL_get_verify_result(ssl_);
      if (verdict != X509_V_OK)
        error_ += std::string(" (") + X509_verify_cert_error_string(verdict) + ")";
      return TlsIo::kFailed;
    }
  }
}

TlsIo TlsSession::handshake() {
  SigpipeBlock quiet;
  ERR_clear_error();
  errno = 0;
  return outcome(SSL_do_handshake(ssl_));
}

TlsIo TlsSession::read(char* buffer, size_t n, size_t& got) {
  SigpipeBlock quiet;
  ERR_clear_error();
  errno = 0;
  got = 0;
  int r = SSL_read_ex(ssl_, buffer, n, &got);
  return outcome(r == 1 ? 1 : 0);
}

TlsIo TlsSession::write(const char* data, size_t n, size_t& put) {
  SigpipeBlock quiet;
  ERR_clear_error();
  errno = 0;
  put = 0;
  int r = SSL_write_ex(ssl_, data, n, &put);
  return outcome(r == 1 ? 1 : 0);
}

bool TlsSession::has_pending() const {
  // Only decrypted bytes count: records are read one at a time (no read-ahead), so anything else
  // OpenSSL holds is the start of a record whose rest the socket will show when it comes.
  return SSL_pending(ssl_) > 0;
}

void TlsSession::shutdown() {
  if (!usable_ || !SSL_is_init_finished(ssl_)) return;
  usable_ = false;
  SigpipeBlock quiet;
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

}  // namespace k
