// How the client shows the outcome of a replied request.
#pragma once

#include <cstdio>

#include "platform/colors.h"
#include "platform/jrpc_message.h"

// Prints the outcome of a replied message: "Status: OK", or the error code, message, detail and
// error data, on `to`: the command's output, in the run's colours; or standard error (for the
// commands whose output is fixed), without colours, escaped when it is a terminal.
void report_result(const k::Message& m, const k::ColourTable& colours, FILE* to);
