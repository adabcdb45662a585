// The state folder of `veld-sim --state DIR`: what a device keeps across reboots.
//
//   DIR/config.json               the saved configuration, laid over the model file's tree at
//                                 start and after every reboot
//   DIR/restore-points/NAME.json  a restore point: a configuration saved under a name
//
// Each file holds {"Version": 1, "Configuration": C}, C having the form of an instance in a
// model file from the root down (load_saved_values). The folders are made with mode 0700 and
// the files written with 0600, whole or not at all (a temporary file renamed into place): a
// configuration holds the secrets too.
#pragma once

#include <string>
#include <string_view>

#include "model/node.h"
#include "platform/json.h"

namespace sim {

// The file of the saved configuration in a state folder.
std::string saved_config_file(const std::string& dir);

// The file a restore point is kept in: its name with every byte other than an ASCII letter,
// digit, "-", "_" or a "." after the first byte written as %XX, and ".json". "" when the name
// is empty or longer than 64 bytes.
std::string restore_point_file(const std::string& dir, std::string_view name);

// The running configuration as it is saved: every instance, the tables' "#max_instance" and
// "#order", and the stored value of each parameter that is neither constant nor computed by a
// read handler (secrets included: the device must come back identical).
k::Json saved_config(const Node& root);

// Writes a configuration into `file` (the saved configuration or a restore point of the state
// folder `dir`), making the folders as needed. False with `error` saying what failed; an
// earlier file is then left as it was.
bool write_saved_config(const std::string& dir, const std::string& file, json_t* config,
                        std::string& error);

// Lays the state folder's saved configuration over `root`; true when nothing was saved. False
// with `error` as "FILE: reason" (or "FILE:LINE: reason" for a file that is not JSON).
bool load_saved_config(const std::string& dir, Node& root, std::string& error);

// Erases the saved configuration (restore points stay); true also when there was none.
bool erase_saved_config(const std::string& dir, std::string& error);

}  // namespace sim
