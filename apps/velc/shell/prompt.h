// The shell's prompt, computed afresh from the session and the position each time one is shown,
// and the shell's history file.
#pragma once

#include <string>
#include <string_view>

#include "datamodel/cdpath.h"
#include "link/session.h"
#include "platform/colors.h"

// "<user>@velc<tag>:<path>> " (nobody logged in: "velc<tag>:<path>> "), cut to 383 bytes. The
// tag says what the shell is doing (recording, the Lua shell): see prompt_tag.
std::string prompt_text(const Session& session, const cdpath& position,
                        const std::string& tag = "");
// The prompt's tag for `name`: "-" and the name, cut to 15 bytes in all.
std::string prompt_tag(std::string_view name);
// The prompt's colour: the root-prompt entry while the user has system access, else the prompt
// entry.
const k::HsvColour& prompt_colour(const Session& session, const k::ColourTable& colours);

// The shell's history file: "/tmp/.velc.hist", or the file named by the environment variable
// VELC_HISTFILE when it is set and not empty.
std::string shell_history_path();
