#include "shell/shell_loop.h"

int shell_loop() { return 0; }
