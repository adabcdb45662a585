// Start-up and the mode switch: the command line, the two connections, the connection checks,
// the login, the groups, the configuration script, then exactly one mode. The result is the exit
// status.
#pragma once

// The whole run of the program.
int velc_main(int argc, char** argv);
