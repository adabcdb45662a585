// velc: the console client of veld.
#include <cstdio>

#include "app/startup.h"
#include "platform/interrupt.h"

int main(int argc, char** argv) {
  try {
    return velc_main(argc, argv);
  } catch (const k::Interrupted&) {
    // Ctrl-C outside the shell (request mode, raw mode) ends the run like the signal would.
    std::fflush(stdout);
    return 130;
  }
}
