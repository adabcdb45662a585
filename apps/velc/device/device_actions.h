// The commands that act on the whole device through one request each: `reboot`, `reset`, `save`.
// The request's outcome is printed ("Status: OK" or veld's error).
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"

// `reboot [-f] [<DeviceMode>]` ("Reboot"): "-f" forces it, any other word is the device mode to
// come up in. 0, or -1 with the syntax line for more than one mode (or more than two arguments,
// nothing sent) and after a refusal.
int cmd_reboot(CommandContext& client, const std::string& name, json_t* args);
// `reset [<DeviceMode>]` ("FactoryReset"): the device's configuration back to its defaults. 0
// (also when veld refuses), or -1 with the syntax line for more than one argument.
int cmd_reset(CommandContext& client, const std::string& name, json_t* args);
// `save [<name>]` ("SaveConfig"): the running configuration saved, under a restore point's name
// when one is given (further words are ignored). 0, also when veld refuses.
int cmd_save(CommandContext& client, const std::string& name, json_t* args);
