// The command handlers of the command table. Each takes the command name (as the table or the
// dispatcher passes it) and the argument array (a borrowed JSON array of strings, without the
// command word) and returns 0 on success, negative on failure (some return a count, as said).
#pragma once

#include <string>

#include <jansson.h>

// Navigation (datamodel/navigation.cpp).
int cmd_cd(const std::string& name, json_t* args);
int cmd_up(const std::string& name, json_t* args);
int cmd_take(const std::string& name, json_t* args);
int cmd_pwd(const std::string& name, json_t* args);
// Listing (datamodel/listing.cpp).
int cmd_ls(const std::string& name, json_t* args);
// Values and trees (datamodel/values.cpp).
int cmd_cat(const std::string& name, json_t* args);
int cmd_catree(const std::string& name, json_t* args);
int cmd_tree(const std::string& name, json_t* args);
// Setting values (datamodel/set.cpp).
int cmd_set(const std::string& name, json_t* args);
// Instances (datamodel/instances.cpp): add returns the new instance number.
int cmd_add(const std::string& name, json_t* args);
int cmd_del(const std::string& name, json_t* args);
int cmd_order(const std::string& name, json_t* args);
// Shell presentation (shell/).
int cmd_help(const std::string& name, json_t* args);
int cmd_color(const std::string& name, json_t* args);
int cmd_opt(const std::string& name, json_t* args);
int cmd_clear(const std::string& name, json_t* args);
