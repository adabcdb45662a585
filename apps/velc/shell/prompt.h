// The shell's prompt, computed afresh from the session and the position each time one is shown,
// and the shell's history file.
#pragma once

#include <string>

#include "datamodel/cdpath.h"
#include "link/session.h"
#include "platform/colors.h"

// "<user>@velc:<path>> " (nobody logged in: "velc:<path>> "), cut to 383 bytes.
std::string prompt_text(const Session& session, const cdpath& position);
// The prompt's colour: the root-prompt entry while the user has system access, else the prompt
// entry.
const k::HsvColour& prompt_colour(const Session& session, const k::ColourTable& colours);

// The shell's history file: "/tmp/.velc.hist", or the file named by the environment variable
// VELC_HISTFILE when it is set and not empty.
std::string shell_history_path();
