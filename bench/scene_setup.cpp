#include "bench/scene_setup.h"

#include <initializer_list>

void set_heaviest_state() {
    for (char key : {'l', 't', 'f', 'b', 'a'}) send_message(GI_MSG_KEY, key);
}
