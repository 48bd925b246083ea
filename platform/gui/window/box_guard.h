// A modal box that signals can still end: while it is up, the program waits in the box and
// never sees the close request that SIGINT and SIGTERM normally raise.
#pragma once

#include <functional>

// Runs show (which puts up a modal box and waits for it). Meanwhile SIGINT, SIGTERM and SIGHUP
// end the program at once with status 1, and a process that show forks dies with the program.
void while_box_is_up(const std::function<void()>& show);
