// The attribute report of `attr` and `info`: what the data model says about one node (type,
// number base, limits, default, enumeration, handlers, relations), as a fixed list of labelled
// lines.
#pragma once

#include <jansson.h>

#include <cstdio>
#include <string>

#include "platform/colors.h"

// Prints on `to` "<label>: " and a newline, then "  <element>" per element: a
// string as its text, any other value as compact JSON. Nothing when `array` is
// absent, empty or no array. Text from the device is escaped on a terminal
// (`colours.escape`).
void print_list(json_t* array, const char* label, const k::ColourTable& colours, FILE* to);

// Prints on `to` the report of one node: its path, then one line per attribute
// that `attributes` holds, in a fixed order. An attribute object without a
// "type" text (or no object at all) first gets "attr parse error on
// <line>:<column> : <reason>", and its Type line shows "(none)"; the other
// attributes are then not read. Attributes are veld's data: every text is
// escaped on a terminal.
void attr_report(const std::string& path, json_t* attributes, const k::ColourTable& colours,
                 FILE* to);
