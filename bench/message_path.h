// The application as the program creates it, with the given message handler: on the headless
// backend with a script of redraws longer than any run, or in a window at its normal pace.
#pragma once

#include "platform/platform.h"

gi_handle start_app(gi_handler handler, bool window = false);

// A handler that only counts the messages it is given, in messages_handled.
extern long messages_handled;
int count_message(gi_handle target, message_record* message);
