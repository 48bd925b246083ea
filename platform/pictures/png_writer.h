// Saves an image as an 8-bit RGB PNG, whole or not at all: the file is written without a name
// in the target's directory and named only once it is complete, so a full disk, a file-size
// limit or a signal leaves no file behind.
#pragma once

#include <cstdint>
#include <string>

// rgb holds height rows of width * 3 bytes, bottom row first (as the GL reads them); the file
// has the top row first. A symbolic link is followed and left in place; an existing file keeps
// its permission bits (and owner, where the process may set it); a target that exists and is
// not a regular file is refused before anything is written. On failure returns false with the
// reason, one line that names the path.
// With existing_file::keep, a name that exists already, as anything (a link too), is left
// alone and taken by nothing: false with error left empty.
enum class existing_file { replace, keep };
bool write_png(const std::string& path, const uint8_t* rgb, int width, int height,
               std::string& error, existing_file existing = existing_file::replace);
