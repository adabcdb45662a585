// Fetching the bytes of a Download from its URL: a local file, a one-shot TCP sender
// ("netcat"), or an HTTP(S) server through libcurl. Every wait is bounded, and a fetch stops
// soon after it is cancelled, so a dead sender holds nothing for long.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "downloads/download_request.h"

namespace sim {

// What to fetch and within which bounds.
struct FetchOrder {
  SourceUrl url;
  std::optional<uint64_t> size;  // netcat: exactly this many bytes are read
  int timeout_ms = 10000;        // the longest wait for a connection or for the next bytes
  uint64_t max_bytes = 256u << 20;  // a larger file is refused
};

// The fetched bytes, or a fault code (9015, 9016, 9017, ...) and what went wrong.
struct FetchResult {
  int code = 0;
  std::string detail;
  std::string data;
};

// Fetches the bytes of `order`; gives up with 9017 once `cancel` is set.
FetchResult fetch(const FetchOrder& order, const std::atomic<bool>& cancel);

}  // namespace sim
