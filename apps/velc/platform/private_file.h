// Opening a file that belongs to the user alone (a history file, a password file): a file
// another user planted or may change, or one others may read when that matters, is refused
// before a byte of it is used.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/socket.h"

namespace k {

// Opens `path` with `flags` (O_CREAT makes it with mode 0600) and checks the file: not a
// symbolic link, a regular file, owned by the effective user, and none of the `forbidden` mode
// bits set (S_IWGRP | S_IWOTH: nobody else may write; 077: nobody else may use it at all). An
// empty descriptor with the reason in `why` ("it is owned by another user", ...) when refused.
Fd open_private_file(const std::string& path, int flags, mode_t forbidden, std::string& why);

// The whole content of the file at `path`, opened and checked as open_private_file does with
// `forbidden`; none, with the reason in `why`, when it is refused or cannot be read.
std::optional<std::string> read_private_file(const std::string& path, mode_t forbidden,
                                             std::string& why);

}  // namespace k
