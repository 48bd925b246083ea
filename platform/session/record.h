// The record of a session (KAVEX_RECORD): every message the GUI library hands to the program,
// written as a headless script, so that KAVEX_PLATFORM=headless KAVEX_SCRIPT=@FILE draws the
// session's frames again.
#pragma once

#include <string>

#include "platform/platform.h"

// Opens the file at path, if not null, to record the session about to start on the named
// backend; ends the process with status 2 if it cannot be written. A symbolic link is
// followed, and one that points nowhere yet makes its target; a regular file, a FIFO with a
// reader, a pipe or a character device is taken, a block device refused. The file's old
// contents are replaced when the first message arrives; if none does (the backend cannot
// start), a file made here is removed.
void open_record(const char* path, const char* backend_name);

// Whether path (through links) names the regular file the session is recorded into.
bool is_record_file(const std::string& path);

// Writes the message's complete lines at once, one write(2) each, so that a killed session
// keeps them. A failed write ends the process with status 2, leaving only whole lines.
void record_message(const message_record& message);

// Writes a `snap NAME` line, after the frames held back, for a picture saved during the
// session, so that a replay saves the same picture as NAME. Fails as record_message does.
void record_snap(const std::string& name);

// Whether the session is recorded into the file that fd is open on (stdout, say).
bool is_record_of(int fd);
