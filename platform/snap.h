// Pictures of the engine's image: a script's `snap` and the window's screenshot key, one
// read-back and one writer for both.
#pragma once

#include <ctime>
#include <string>

#include "platform/engine.h"
#include "platform/png_writer.h"

// Saves the engine's current image (its context current) as a 320 x 240 RGB PNG at path with
// write_png, which says what existing does and what error holds on failure.
bool snap_engine(const kgl_engine& engine, const std::string& path, std::string& error,
                 existing_file existing = existing_file::replace);

// The screenshot key: the engine's current image, as a snap saves it, in the user's pictures
// folder (XDG_PICTURES_DIR in $XDG_CONFIG_HOME/user-dirs.dirs, by default
// ~/.config/user-dirs.dirs, else ~/Pictures) under kavex-view/, made where missing, named
// kavex-view-YYYYMMDD-HHMMSS.png for the local time when, with -2, -3, ... where a name is
// taken (no file is ever replaced). Writes the file's path on stdout and puts a `snap NAME`
// line in the record; a failure is one line on stderr, and the program goes on.
void take_screenshot(const kgl_engine& engine, time_t when);
