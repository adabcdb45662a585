// TLS over a connected stream socket, with OpenSSL: a context (what is trusted, or what the
// server presents) and a session on one socket. Session operations never block: they report
// which way the socket must become ready before the same operation is tried again, so that the
// caller's poll loop bounds every wait (the client by its time-out, the emulator by its turns).
#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <string>

namespace k {

// The outcome of one non-blocking TLS operation.
enum class TlsIo {
  kDone,       // it went through
  kWantRead,   // try again once the socket is readable
  kWantWrite,  // try again once the socket is writable
  kClosed,     // the peer ended the session (or reset the connection)
  kFailed,     // a TLS failure: see TlsSession::error()
};

// The certificates side of TLS: an OpenSSL context.
class TlsContext {
 public:
  // A client context that verifies the server's certificate against the CA certificates in
  // `ca_file` (PEM), or the system's default store when `ca_file` is empty. None with `error`
  // set when the file cannot be loaded.
  static std::unique_ptr<TlsContext> client(const std::string& ca_file, std::string& error);
  // A server context presenting the certificate chain of `cert_file` with the key of
  // `key_file` (both PEM). None with `error` set when either cannot be loaded or they differ.
  static std::unique_ptr<TlsContext> server(const std::string& cert_file,
                                            const std::string& key_file, std::string& error);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* get() const { return ctx_; }

 private:
  explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
  SSL_CTX* ctx_;
};

// One TLS session on a connected, non-blocking socket that the caller owns (and closes after
// the session is gone).
class TlsSession {
 public:
  // A client session that accepts only a certificate naming `host`: an IPv4 address is matched
  // against the certificate's IP addresses, a name against its DNS names (and is sent as SNI).
  static std::unique_ptr<TlsSession> client(const TlsContext& ctx, int fd,
                                            const std::string& host);
  // A server session.
  static std::unique_ptr<TlsSession> server(const TlsContext& ctx, int fd);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // One step of the handshake.
  TlsIo handshake();
  // Reads up to `n` bytes; `got` is set on kDone.
  TlsIo read(char* buffer, size_t n, size_t& got);
  // Writes up to `n` bytes (maybe fewer); `put` is set on kDone. After kWantRead or kWantWrite
  // the same bytes must be offered again.
  TlsIo write(const char* data, size_t n, size_t& put);
  // True when OpenSSL holds decrypted bytes not yet read: a poll on the socket does not show
  // them.
  bool has_pending() const;
  // Sends the end of the session (close_notify) once, without waiting for anything.
  void shutdown();
  // Why the last failure happened, in OpenSSL's words, with the verdict of the certificate
  // check when it refused the certificate (e.g. "certificate verify failed (hostname
  // mismatch)").
  const std::string& error() const { return error_; }

 private:
  explicit TlsSession(SSL* ssl) : ssl_(ssl) {}
  // Turns the result of an SSL call into a TlsIo, noting the reason of a failure.
  TlsIo outcome(int result);

  SSL* ssl_;
  bool usable_ = true;  // no fatal failure happened: shutting down politely is allowed
  std::string error_;
};

}  // namespace k
