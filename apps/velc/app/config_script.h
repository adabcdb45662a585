// The user's configuration script: found in the home folder (or named by --config) and run
// silently, through the shell's dispatch, before every mode.
#pragma once

#include <optional>
#include <string>

#include "link/session.h"
#include "platform/colors.h"
#include "platform/line_editor.h"
#include "shell/command_table.h"

// The longest default configuration path ("$HOME/.local/velc/config"); a longer one is not
// cut to a path that names another file: there is no configuration script then.
inline constexpr size_t kConfigPathMax = 255;

// The configuration script's path: `given` (--config) when there is one; else
// "<home>/.local/velc/config" with the home folder from HOME, or, when HOME is unset, from the
// password-database entry of the real user id. None when no home folder is known or the default
// path would be longer than kConfigPathMax.
std::optional<std::string> config_script_path(const char* given);

// Runs the configuration script at `path` when it names a regular file (anything else, or no
// file, is skipped without a word): every line through the shell's dispatch of `table`, with a
// context whose output stream is /dev/null (standard error stays), so that `color` and `opt` set
// the colours and the editor's switches the shell gets later. Its result is ignored; a failing line
// ends only the script. The schema cache is made when the first command that needs it runs.
// Ctrl-C ends the script with k::Interrupted.
void config_script_run(CommandTable table, const std::string& path, Session& session,
                       k::ColourTable& colours, k::EditorSwitches& editor);
