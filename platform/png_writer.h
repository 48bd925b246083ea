// Saves an image as an 8-bit RGB PNG, all or nothing: it is written to a temporary file beside
// the target and renamed into place, so a failure leaves no file behind.
#pragma once

#include <cstdint>
#include <string>

// rgb holds height rows of width * 3 bytes, bottom row first (as the GL reads them); the file
// has the top row first. On failure returns false with the reason.
bool write_png(const std::string& path, const uint8_t* rgb, int width, int height,
               std::string& error);
