// The netcat channel of `download`: when veld runs on another machine it cannot read our files,
// so the client serves the file itself, once, on a TCP port of its own, and gives veld the URL
// "netcat://ADDRESS:PORT". A short-lived thread accepts veld's one connection, sends the whole
// file and closes it (the end of the data is the end of the file).
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "platform/socket.h"

// Milliseconds the sender waits for veld to connect before it gives up.
inline constexpr int kNetcatWaitMs = 10000;

// What the sending thread owns: it is filled completely before the thread starts, never touched
// by anybody else afterwards, and released by the thread however it ends.
struct NetcatTransfer {
  k::Fd file;              // the file to send
  uint64_t file_size = 0;  // its size when it was opened
  k::Fd server;            // the listening socket
  k::Fd connection;        // veld's connection, once accepted
  int wait_ms = kNetcatWaitMs;
  // Where the thread reports a failure: the command's output stream, which lives as long as the
  // program (the thread may outlive the command).
  FILE* out = stdout;
  // Called by the thread as its very last act, after everything above was released (tests wait
  // on it); may be empty.
  std::function<void()> on_end;
};

// The thread's body: waits up to `wait_ms` for one connection, sends the file over it and
// releases the record. A failure is printed here, on the record's `out` ("Waiting timeout,
// abort.", "accept() failed, abort.", "send() failed (expected N bytes, transferred M bytes),
// abort."); nobody else is told.
void netcat_sender(std::unique_ptr<NetcatTransfer> transfer);

// Opens the channel for the file at `path` on the local address of `connection_fd` (the socket
// on which veld reaches us): a listening socket on that address and a port the system chooses,
// the file mapped, the sending thread started, and "Sending file (PATH, N bytes) via netcat
// (URL)..." printed. 0 with the URL and the file's size; -1 after printing the step that failed
// ("Cannot get local address, aborting.", ...), with nothing left behind. Everything is printed
// on `out`, the thread's messages too. `on_end` goes to the record.
int netcat_open(int connection_fd, const std::string& path, std::string& url, uint64_t& size,
                int wait_ms = kNetcatWaitMs, std::function<void()> on_end = {},
                FILE* out = stdout);

// Sends `count` bytes of the open file `file` from `offset` on over the socket `to`, with
// sendfile: the kernel copies them from its cache of the file, so the client neither maps nor
// reads the file and does not grow with it, and offsets past 4 GiB work on a 32-bit processor
// too. The bytes sent: short of `count` when the socket failed or the file ended early.
uint64_t send_file_range(int to, int file, uint64_t offset, uint64_t count);

// The same on a given IPv4 address (its port is ignored).
int netcat_open_at(const sockaddr_in& local, const std::string& path, std::string& url,
                   uint64_t& size, int wait_ms, std::function<void()> on_end = {},
                   FILE* out = stdout);
