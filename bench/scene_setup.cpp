#include "bench/scene_setup.h"

#include <initializer_list>

void set_heaviest_state() {
    for (char key : {'l', 't', 'f', 'b', 'a'}) {
        message_record message{};
        message.type = GI_MSG_KEY;
        message.character = key;
        handle_key(message);
    }
}
