// Splitting a typed shell line into words, with quotes, backslash escapes and "#" comments.
#pragma once

#include "platform/json.h"

// Splits `text` into its words: a JSON array of strings (none for a null text). Quotes ("..."
// or '...') keep blanks and do not split a word; a backslash protects a quote, a backslash or a
// "#"; "#" outside quotes starts a comment that runs to an unescaped newline.
//
// When `cursor` is 0 or more and `count` is given, `*count` receives the index of the word in
// which the byte position `cursor` stands: the number of words finished by a blank or "#" lying
// before it (completion cuts the line at the cursor and asks which word it is completing).
// A word whose bytes are not valid UTF-8 is left out.
k::Json tokenize_line(const char* text, int cursor = 0, int* count = nullptr);
