// The Lua shell's recording (`luarecord`): its statements written so that `velc -S FILE` runs
// them as the Lua shell did.
#pragma once

#include <string>
#include <vector>

// The lines that begin the record file: a comment saying what they are, a helper (velc_show)
// that prints what an expression statement gives, as the Lua shell shows it, and each
// preloaded module made the global of its name, as the Lua shell made it
// (`device = require("norlan.device")`).
std::vector<std::string> lua_record_preamble(const std::vector<std::string>& modules);

// How one statement of the session is written: as typed when it ran as a chunk; when it ran as
// an expression typed alone (the Lua shell printed its values), as a call of velc_show, which a
// script accepts where a bare expression would not compile; when it could not be compiled (the
// Lua shell printed the message and went on), each of its lines as a comment, so that the file
// still compiles.
std::string lua_record_statement(const std::string& text, bool as_expression, bool compiled);
