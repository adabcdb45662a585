// TCP destinations: "tcp:HOST:PORT" texts, connecting with a time-out, and listening.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace k {

// The prefix that makes a destination a TCP one; any other destination is a UNIX socket path.
inline constexpr std::string_view kTcpPrefix = "tcp:";

// A TCP endpoint: HOST is an IPv4 address or a host name.
struct TcpAddress {
  std::string host;
  uint16_t port = 0;
};

// True when `destination` names a TCP endpoint (it starts with "tcp:").
bool is_tcp_destination(std::string_view destination);

// Reads "HOST:PORT" (no "tcp:" in front). HOST is an IPv4 address or a name of letters, digits,
// '-', '_' and '.'; PORT is decimal, 1 to 65535, or also 0 when `allow_port_zero` (a listener's
// "any free port"). False for anything else.
bool parse_host_port(std::string_view text, bool allow_port_zero, TcpAddress& out);

// Reads a "tcp:HOST:PORT" destination; 0, or kSockBadAddress when the form is wrong.
int parse_tcp_destination(std::string_view destination, TcpAddress& out);

// True when `host` is a dotted IPv4 address rather than a name.
bool is_ipv4_literal(const std::string& host);

// Connects to `to` over IPv4, trying each address the name has, within `timeout_ms` for all of
// them together (-1: no limit; the name look-up itself is not bounded). On failure the descriptor
// is empty and `err` holds the code: kSockUnknownHost, kSockRefused, kSockUnreachable,
// kSockTimeout, kSockCreate. The connected socket is blocking. Throws Interrupted on Ctrl-C.
Fd tcp_connect(const TcpAddress& to, int timeout_ms, int& err);

// Makes a listening TCP socket on `at` (port 0: any free one), non-blocking, with the port it got
// in `bound_port`; empty on failure with `error` set.
Fd tcp_listen(const TcpAddress& at, uint16_t& bound_port, std::string& error, int backlog = 64);

}  // namespace k
