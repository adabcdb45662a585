// The MD5 digest of a file, as the hexadecimal text `download` gives veld to check the image.
#pragma once

#include <cstdint>
#include <string>

namespace k {

// The MD5 of `length` bytes of the file at `path` from `offset` on (-1: to the end of the file),
// as 32 lower-case hexadecimal digits in `hex`. 0, or -1 (`hex` untouched) when the file cannot
// be read, is not a regular file, or holds fewer bytes than the region asks.
int md5_file_region(const std::string& path, int64_t offset, int64_t length, std::string& hex);

}  // namespace k
