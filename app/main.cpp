// The program: start-up, then the message loop until the window is closed.
#include <cstdlib>

#include "app/app.h"

int main() {
    start_program();
    run_message_loop();
    GI_destroy_window(static_cast<app_record*>(app)->main_window);
    exit(0);
}
