/* The platform operations the application shell calls: GUI library (GI_, GC_), GL context
 * binding (kgl) and runtime (printd), and the one the GUI library may call in the program.
 * C linkage; handles are opaque pointer-sized values.
 * The records keep the platform's field order, and its byte offsets on 32-bit builds. */
#ifndef KAVEX_PLATFORM_PLATFORM_H
#define KAVEX_PLATFORM_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* gi_handle;

/* Message types the GUI library delivers. */
enum {
    GI_MSG_REDRAW = 170,
    GI_MSG_KEY = 2500,
    GI_MSG_CLOSE = 2700
};

/* Key codes of key messages whose character is 0. Other keys without a character get codes
 * outside this list. */
enum {
    GI_KEY_PAGE_UP = 32,
    GI_KEY_PAGE_DOWN = 53,
    GI_KEY_UP = 98,
    GI_KEY_DOWN = 99,
    GI_KEY_LEFT = 100,
    GI_KEY_RIGHT = 101
};

typedef struct message_record {
    gi_handle target;   /* the application or window the message is for */
    int32_t type;
    int32_t character;  /* key messages: the character, 0 for keys that have none */
    uint16_t reserved;
    uint16_t code;      /* key messages with character 0: the key code */
    uint8_t platform_data[32];
} message_record;

typedef int (*gi_handler)(gi_handle target, message_record* message);

typedef struct app_params {
    char title[256];
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    gi_handler handler;
    int32_t platform_words[3];
} app_params;

/* The application record that GI_create_app returns: it begins with the parameters it was
 * created from and continues with the main window's handle. */
typedef struct app_record {
    app_params params;
    gi_handle main_window;
} app_record;

#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define KAVEX_LAYOUT(cond) static_assert(cond, "platform record layout")
#else
#define KAVEX_LAYOUT(cond) _Static_assert(cond, "platform record layout")
#endif
KAVEX_LAYOUT(offsetof(app_params, x) == 256);
KAVEX_LAYOUT(offsetof(app_params, handler) == 272);
KAVEX_LAYOUT(offsetof(app_params, platform_words) == 276);
KAVEX_LAYOUT(sizeof(app_params) == 288);
KAVEX_LAYOUT(offsetof(app_record, main_window) == 288);
KAVEX_LAYOUT(offsetof(message_record, type) == 4);
KAVEX_LAYOUT(offsetof(message_record, character) == 8);
KAVEX_LAYOUT(offsetof(message_record, code) == 14);
KAVEX_LAYOUT(sizeof(message_record) == 48);
#endif

/* GUI library */
gi_handle GI_create_app(app_params* params);
int GI_wait_message(message_record* message, int flags); /* 0: a posted quit for message->target */
int GI_dispatch_message(gi_handle target, message_record* message);
void GI_post_quit(gi_handle target);
void GI_destroy_window(gi_handle window);
int GI_messagebox(gi_handle parent, uint32_t style, const char* caption, const char* text);
gi_handle GC_create_connected(int kind, int a, int b, gi_handle app);

/* Optional, defined by the program if it has one: the text of the window's status layer (F1),
 * lines separated by '\n', written into text as a string of at most size bytes; returns its
 * length. Called on the program's thread, only while the layer is shown. */
size_t GI_status_text(char* text, size_t size) __attribute__((weak));

/* GL context binding */
gi_handle kglCreateContext(int width, int height, int bits_per_pixel);
gi_handle kglCreateGLContext(gi_handle engine, int flags);
int kglMakeCurrent(gi_handle engine, gi_handle context, gi_handle app);

/* Runtime: the debug output */
void printd(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifdef __cplusplus
}
#endif

#endif
