// Fuzzes the framing of the protocol and the reading of messages: each line of the input read
// with json_parse and msg_parse, and k::LineReader fed the input in chunks of varying size, every
// call of its interface compared with a plain string that holds the bytes not yet handed out.
//
// Input: the byte stream as a peer would send it (lines of JSON). The chunk sizes and the order
// of the calls come from a generator seeded by a hash of the input, so each input replays alike.
// Properties checked:
// - next_line, has_line, take_line_part, skip_line_rest, pending_bytes, clear and trim behave
//   like the plain string;
// - each line of the input that parses as a message passes check_message (message_check.h).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "message_check.h"
#include "platform/json.h"
#include "platform/line_reader.h"
#include "platform/text.h"

namespace {

// xorshift32: a small generator of the chunk sizes and calls.
struct Random {
  uint32_t state;
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  size_t below(size_t n) { return n ? next() % n : 0; }
};

void read_message(std::string_view line) {
  k::Json j = k::json_parse(line, 0);  // as the connection reads a buffered line
  if (!j) return;
  if (auto m = k::msg_parse(j.get())) fuzz::check_message(*m, j.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view stream(reinterpret_cast<const char*>(data), size);
  // Every line as sent, whatever the calls below make of it.
  for (std::string_view line : fuzz::complete_lines(stream, nullptr)) read_message(line);

  Random random{k::string_hash(stream) | 1};
  k::LineReader reader;
  std::string held;  // the bytes fed and not yet handed out
  size_t fed = 0;
  char part[80];

  for (int step = 0; fed < size || !held.empty(); ++step) {
    FUZZ_CHECK(step < 1'000'000, "the reader makes no progress");
    size_t choice = random.below(100);
    size_t nl = held.find('\n');
    if (fed < size && (choice < 30 || held.empty())) {
      // Mostly small chunks, sometimes a large one.
      size_t n = 1 + random.below(random.below(8) == 0 ? 4096 : 64);
      n = std::min(n, size - fed);
      reader.feed(stream.data() + fed, n);
      held.append(stream.data() + fed, n);
      fed += n;
    } else if (choice < 80) {
      auto line = reader.next_line();
      FUZZ_CHECK(bool(line) == (nl != std::string::npos), "next_line %s a line",
                 line ? "gave" : "did not give");
      if (line) {
        FUZZ_CHECK(*line == std::string_view(held).substr(0, nl), "next_line gave other bytes");
        held.erase(0, nl + 1);
      } else if (fed == size) {
        held.clear();  // an unfinished last line: nothing more will come
        reader.clear();
      }
    } else if (choice < 88) {
      FUZZ_CHECK(reader.has_line() == (nl != std::string::npos), "has_line is wrong");
    } else if (choice < 95) {
      size_t max = 1 + random.below(sizeof part);
      bool line_end = false;
      size_t n = reader.take_line_part(part, max, line_end);
      size_t want = std::min(max, held.size());
      bool want_end = nl != std::string::npos && nl < want;
      if (want_end) want = nl + 1;
      FUZZ_CHECK(n == want && line_end == want_end &&
                     std::string_view(part, n) == std::string_view(held).substr(0, n),
                 "take_line_part(%zu) took %zu bytes (end %d), not %zu (end %d)", max, n,
                 line_end, want, want_end);
      held.erase(0, n);
    } else if (choice < 98) {
      bool whole = reader.skip_line_rest();
      FUZZ_CHECK(whole == (nl != std::string::npos), "skip_line_rest gave %d", whole);
      held.erase(0, whole ? nl + 1 : std::string::npos);
    } else if (choice < 99) {
      reader.trim();
    } else {
      reader.clear();
      held.clear();
    }
    FUZZ_CHECK(reader.pending_bytes() == held.size(), "pending_bytes %zu, held %zu",
               reader.pending_bytes(), held.size());
  }
  FUZZ_CHECK(!reader.has_line() && !reader.next_line(), "a line left after everything was read");
  return 0;
}
