// Instance commands (add/touch, del/rm, order; declared with the other handlers in
// shell/command_handlers.h) and the number parser they share with the shell.
#pragma once

#include <cstdint>

// Reads the whole text as an unsigned 32-bit decimal number; 0 on success, negative for none, an
// empty text, a sign or anything else (`result` is then unchanged).
int parse_decimal(const char* text, uint32_t& result);
