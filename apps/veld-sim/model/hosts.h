// Synthetic LAN hosts for scale tests: fills Device.Hosts.Host with any number of plausible
// instances.
#pragma once

#include <string>

#include "model/node.h"

namespace sim {

// The path of the hosts table.
inline constexpr const char* kHostTablePath = "Device.Hosts.Host.";

// Replaces the instances of Device.Hosts.Host with `count` synthetic hosts numbered 1..count.
// Members the template lacks are skipped. False with `error` set when the model has no such
// table.
bool fill_hosts(Node& root, unsigned count, std::string& error);

}  // namespace sim
