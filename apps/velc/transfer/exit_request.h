// Ending the client from deep inside a command (after a firmware upgrade the device restarts and
// there is nothing left to talk to): the command throws ExitRequest, which unwinds every frame
// (destructors run: the history is written, sockets are closed) up to main, which ends the
// process with the status. Nothing between a command and main catches it.
#pragma once

namespace k {

// Ends the run with `status` once it reaches main.
struct ExitRequest {
  int status = 0;
};

}  // namespace k
