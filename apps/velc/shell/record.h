// Session recording: `record <filename>` turns the rest of a shell session into a command script.
// The lines come from the history, so the recorder keeps only whether it records, the file and
// how many history entries were added since it began; "q" or "quit" writes those latest entries
// to the file, one a line, which `velc -s FILE` runs again. The shell owns the state and hands
// it to the commands through `Client::record`.
#pragma once

#include <string>

#include "datamodel/client.h"

// One shell's recording.
struct RecordState {
  bool active = false;
  std::string file_name;  // as typed, at most kRecordNameMax bytes
  int count = 0;          // history entries added since the recording began
};

// The longest record file name accepted, in bytes.
inline constexpr size_t kRecordNameMax = 255;

// Whether a recording is active.
bool recording_active(const RecordState& record);
// Starts recording into `file_name` (already created), counting from 0.
void record_start(RecordState& record, const std::string& file_name);
// Stops recording; nothing is written.
void record_stop(RecordState& record);
// Writes the counted history entries to the file, oldest first, replacing its content, and
// stops. A file that cannot be written is not reported; the recording stops all the same.
void record_finish(RecordState& record);
// Counts one line that the shell entered into the history while recording.
void record_count_line(RecordState& record);

// The prompt's tag while recording ("-record"), else empty.
std::string record_prompt_tag(const RecordState& record);

// `record <filename>|abort`: starts a recording into a file, created empty with mode 0600 when
// missing (never through a symbolic link), or aborts the active one. 0, or -1 with a message.
int cmd_record(Client& client, const std::string& name, json_t* args);
