// The runtime's start-up and its small services to the rest of the platform layer: the
// environment as the platform reads it, writes that take all their bytes, and paths through
// symbolic links.
#pragma once

#include <cstddef>
#include <string>

// Readies the process: standard descriptors that were closed point at /dev/null (so no file
// the program opens can become its stderr), and the signals (start_signals).
void start_runtime();

// The value of a variable the platform reads from the environment, or null where it is unset
// or empty: everywhere in the platform, an empty value means unset.
const char* env_value(const char* name);

// Writes all of data to fd, again where a write is interrupted or short; returns 0 or the errno
// value of the failure (ENOSPC where the file takes nothing more).
int write_all(int fd, const void* data, size_t size);

// Follows symbolic links in the last component of path, as opening it would (a relative
// target is taken from the link's directory), so that a link that points nowhere yet names the
// file to make. False with errno set where that fails.
bool follow_links(std::string& path);
