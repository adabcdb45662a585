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
