// Pictures of the engine's image: a script's `snap` and the window's screenshot key, one
// read-back and one writer for both.
#pragma once

#include <ctime>
#include <string>

#include "platform/gl/engine.h"
#include "platform/pictures/png_writer.h"

// Saves the engine's current image (its context current) as a 320 x 240 RGB PNG at path with
// write_png, which says what existing does and what error holds on failure.
bool snap_engine(const kgl_engine& engine, const std::string& path, std::string& error,
                 existing_file existing = existing_file::replace);

// The screenshot key: the engine's current image, as a snap saves it, in the user's pictures
// folder (XDG_PICTURES_DIR in user-dirs.dirs of config_home, by default home's .config, else
// home's Pictures; home null: the password database's) under kavex-view/, made where missing,
// named kavex-view-YYYYMMDD-HHMMSS.png for the local time when, with -2, -3, ... where a name
// is taken (no file is ever replaced). Returns the file's folder and name, or an empty name and
// the one-line reason in error.
struct saved_picture {
    std::string folder;
    std::string name;
};
saved_picture take_screenshot(const kgl_engine& engine, time_t when, const char* home,
                              const char* config_home, std::string& error);
