// Session recording: `record <filename>` turns the rest of a shell session into a command script
// that `velc -s FILE` runs again, and `luarecord <filename>` a Lua session into a Lua script for
// `velc -S FILE`. The recorder keeps whether it records, the file and the lines recorded so far,
// written in a form that replays: the shell records each line it remembers as
// record_shell_line makes it, the Lua shell its statements. "q" or "quit" in the shell, or
// leaving the Lua shell, writes them to the file, one a line. The shell owns the state and hands
// it to the commands through `Client::record`.
#pragma once

#include <string>
#include <vector>

#include "shell/client.h"
#include "shell/command_table.h"

// One shell's recording.
struct RecordState {
  bool active = false;
  std::string file_name;           // as typed, at most kRecordNameMax bytes
  std::vector<std::string> lines;  // what the file will hold, in order
};

// The longest record file name accepted, in bytes.
inline constexpr size_t kRecordNameMax = 255;

// Whether a recording is active.
bool recording_active(const RecordState& record);
// Starts recording into `file_name` (already created), with no line yet.
void record_start(RecordState& record, const std::string& file_name);
// Stops recording; nothing is written.
void record_stop(RecordState& record);
// Writes the recorded lines to the file, replacing its content, and stops. A file that cannot be
// written is not reported; the recording stops all the same.
void record_finish(RecordState& record);
// Adds a line (it may hold several, as a Lua statement does) to an active recording.
void record_line(RecordState& record, const std::string& text);

// The form in which a shell line replays in script mode, whose dispatch knows only the commands
// of request mode and names paths from the root: a line whose command script mode lacks (`cd`,
// `tree`, `opt`, a mistyped word...) becomes a comment ("# " and the line); the path arguments
// of a command that works on the schema cache are written resolved against the position at this
// time, in the spelling veld knows ("Hosts" typed at Device becomes "Device.Hosts."), and such
// a command that works on the position when given no path (`ls`, `cat`, `attr`) gets the
// position written. A path that does not resolve stays as typed.
// May fetch schema levels, and throw k::Interrupted then.
std::string record_shell_line(CommandTable table, Client& client, const std::string& line);

// The prompt's tag while recording ("-record"), else empty.
std::string record_prompt_tag(const RecordState& record);

// `record <filename>|abort`: starts a recording into a file, created empty with mode 0600 when
// missing (never through a symbolic link), or aborts the active one. 0, or -1 with a message.
int cmd_record(Client& client, const std::string& name, json_t* args);
