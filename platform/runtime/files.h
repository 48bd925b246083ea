// Small file services for the rest of the platform: writes that take all their bytes, paths
// through symbolic links, and small files read whole.
#pragma once

#include <cstddef>
#include <string>

// Writes all of data to fd, again where a write is interrupted or short; returns 0 or the errno
// value of the failure (ENOSPC where the file takes nothing more).
int write_all(int fd, const void* data, size_t size);

// Follows symbolic links in the last component of path, as opening it would (a relative
// target is taken from the link's directory), so that a link that points nowhere yet names the
// file to make. False with errno set where that fails.
bool follow_links(std::string& path);

// Reasons read_small_file gives that have no errno value of their own.
constexpr int not_regular = -1;
constexpr int too_large = -2;

// Reads the regular file at path whole into text, if it holds at most most_bytes. Returns 0, an
// errno value, not_regular (a FIFO, a terminal or a device, which may never end) or too_large.
int read_small_file(const char* path, size_t most_bytes, std::string& text);
