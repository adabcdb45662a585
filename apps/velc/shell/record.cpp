#include "shell/record.h"

#include <cstdio>

#include "platform/history.h"
#include "shell/prompt.h"

bool recording_active(const RecordState& record) { return record.active; }

void record_start(RecordState& record, const std::string& file_name) {
  record.active = true;
  record.count = 0;
  record.file_name = file_name;
}

void record_stop(RecordState& record) {
  record.active = false;
  record.count = 0;
}

void record_finish(RecordState& record) {
  std::string why;
  // Count 0 writes nothing: history_dump takes -1, not 0, for the whole history.
  k::history_dump(record.file_name, record.count, why);
  record_stop(record);
}

void record_count_line(RecordState& record) {
  if (record.active) ++record.count;
}

std::string record_prompt_tag(const RecordState& record) {
  return record.active ? prompt_tag("record") : std::string();
}

int cmd_record(Client& client, const std::string& name, json_t* args) {
  if (json_array_size(args) != 1) {
    std::printf("syntax: %s <filename>|abort\n", name.c_str());
    return -1;
  }
  const char* text = json_string_value(json_array_get(args, 0));
  std::string word = text ? text : "";
  if (!client.record) {
    // The configuration script runs before any shell: there is no session to record.
    std::printf("%s: only the interactive shell can be recorded.\n", name.c_str());
    return -1;
  }
  RecordState& record = *client.record;
  if (word == "abort") {
    if (!recording_active(record)) {
      std::printf("%s: no record found.\n", name.c_str());
      return -1;
    }
    record_stop(record);
    return 0;
  }
  if (recording_active(record)) {
    std::printf("%s: already recording.\n", name.c_str());
    return -1;
  }
  std::string why;
  if (word.size() > kRecordNameMax || k::history_file_touch(word, why) != 0) {
    std::printf("%s: can't create record file %s.\n", name.c_str(), word.c_str());
    return -1;
  }
  record_start(record, word);
  return 0;
}
