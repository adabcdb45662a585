// The shell's presentation state: the prompt text, the record tag, and the colour table.
#pragma once

#include <string>

#include "platform/colors.h"

// Entries of the colour table.
enum ColourEntry : int {
  kColourRootPrompt = 0,  // the prompt while the user has system access
  kColourPrompt = 1,      // the prompt otherwise
  kColourAutocomplete = 2,  // completion candidates and highlighted output
  kColourHint = 3,        // hint text
};

struct ColourTable {
  k::HsvColour entries[4];
};

// The global colour table (starts at the defaults every run).
ColourTable& colour_table();
// Switches standard output to one entry of the colour table.
void colors_set_entry(int entry);

// Rebuilds the prompt: "<user>@velc<tag>:<path>> " (no user: "velc<tag>:<path>> ").
void prompt_build();
// The record tag: "-<name>" (cut to 15 characters) or empty for none; rebuilds the prompt.
void prompt_set_tag(const char* name);
// The continuation prompt "> " (flag set) or the normal one.
void prompt_set_continuation(bool on);
// The current prompt text.
const std::string& prompt_text();

// The shell's history file: "/tmp/.velc.hist", or the file named by the environment variable
// VELC_HISTFILE when it is set and not empty.
std::string shell_history_path();
// Makes `table` the colour table (copied unless it is the global one) and hands the line editor
// its prompt colour (root-prompt with system access, else prompt), hint and autocomplete colours.
void apply_colours(const ColourTable& table);
// Switches completion of the shell's lines on or off.
void set_autocomplete(bool on);
// Switches the hints shown while typing on or off.
void set_hints(bool on);
// Takes over the line editor for the shell: colours, completion and hints on, history loaded.
void line_editor_setup();
// Gives the line editor back: completion and hints off, the whole history written to its file.
void line_editor_teardown();
