#include "render/result_report.h"

#include <unistd.h>

#include <cstdio>

#include "platform/printable.h"

void report_result(const k::Message& m, const k::ColourTable& colours, FILE* to) {
  // The colour scheme and its escaping describe the commands' output; standard error has none.
  const bool on_stdout = to != stderr;
  const k::ColourTable plain;
  const k::ColourTable& scheme = on_stdout ? colours : plain;
  if (m.error_code == 0) {
    std::fputs("Status: ", to);
    scheme.set_fixed(k::kColourOk, to);
    std::fputs("OK", to);
    scheme.reset(to);
    std::fputs("\n", to);
    std::fflush(to);
    return;
  }
  // The texts are veld's: on a terminal their control characters are escaped.
  bool escape = on_stdout ? colours.escape : isatty(fileno(to)) == 1;
  scheme.set_fixed(k::kColourError, to);
  std::fprintf(to, "[%d] ", m.error_code);
  k::put_text(m.error_message.value_or(""), escape, to);
  scheme.reset(to);
  if (m.error_detail) {
    std::fputs(": ", to);
    k::put_text(*m.error_detail, escape, to);
  }
  std::fputs("\n", to);
  const char* key;
  json_t* value;
  json_object_foreach(m.error_data.get(), key, value) {
    k::put_text(key, escape, to);
    std::fputs(": ", to);
    k::put_text(k::json_dump(value, JSON_ENCODE_ANY), escape, to);
    std::fputs("\n", to);
  }
}
