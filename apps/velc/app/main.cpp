// velc: the console client of veld.
#include <cstdio>

#include "app/startup.h"
#include "platform/interrupt.h"
#include "transfer/exit_request.h"

int main(int argc, char** argv) {
  try {
    return velc_main(argc, argv);
  } catch (const k::Interrupted&) {
    // Ctrl-C outside the shell (request mode, raw mode) ends the run like the signal would.
    std::fflush(stdout);
    return 130;
  } catch (const k::ExitRequest& e) {
    // A command that ends the client (the end of a firmware upgrade) unwinds to here.
    std::fflush(stdout);
    return e.status;
  }
}
