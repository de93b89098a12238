// wayland-pointer: a pointer for whole-program tests on a wlroots compositor (sway) that has no
// input devices. It adds a virtual pointer to the seat (the compositor's virtual-pointer
// protocol), performs the actions given, and removes the pointer again.
//
//   wayland-pointer WIDTH HEIGHT ACTION...
//     move X Y      the pointer to the output pixel X, Y (of an output WIDTH x HEIGHT)
//     press         the left button down
//     release       the left button up
//     hold          keeps the pointer until the process is ended (so the seat keeps a pointer,
//                   and programs have theirs bound before another pointer acts)
//
// The protocol's description is short, so its two interfaces are spelt out here rather than
// generated; the requests' order is their wire opcode.
#include <linux/input-event-codes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

extern const struct wl_interface zwlr_virtual_pointer_v1_interface;

static const struct wl_interface* g_types[] = {
    NULL, NULL, NULL, NULL, NULL, &wl_seat_interface, &zwlr_virtual_pointer_v1_interface,
};

static const struct wl_message g_pointerRequests[] = {
    {"motion", "uff", g_types},          {"motion_absolute", "uuuuu", g_types},
    {"button", "uuu", g_types},          {"axis", "uuf", g_types},
    {"frame", "", g_types},              {"axis_source", "u", g_types},
    {"axis_stop", "uu", g_types},        {"axis_discrete", "uufi", g_types},
    {"destroy", "", g_types},
};

const struct wl_interface zwlr_virtual_pointer_v1_interface = {
    "zwlr_virtual_pointer_v1", 1, 9, g_pointerRequests, 0, NULL,
};

static const struct wl_message g_managerRequests[] = {
    {"create_virtual_pointer", "?on", g_types + 5},
};

static const struct wl_interface g_managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, g_managerRequests, 0, NULL,
};

enum { kMotionAbsolute = 1, kButton = 2, kFrame = 4, kDestroy = 8 };

struct Globals {
    struct wl_seat* seat;
    struct wl_proxy* manager;
};

static void OnGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version)
{
    (void)version;
    struct Globals* globals = data;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat)
        globals->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, g_managerInterface.name) == 0)
        globals->manager = wl_registry_bind(registry, name, &g_managerInterface, 1);
}

static void OnGlobalRemove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener g_registryListener = {OnGlobal, OnGlobalRemove};

static uint32_t NowMs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

static int Number(const char* text, uint32_t* value)
{
    char* end = NULL;
    const unsigned long number = strtoul(text, &end, 10);
    if (!*text || *end || number > 100000)
        return 0;
    *value = (uint32_t)number;
    return 1;
}

int main(int argc, char** argv)
{
    uint32_t width = 0, height = 0;
    if (argc < 4 || !Number(argv[1], &width) || !Number(argv[2], &height) || !width || !height) {
        fprintf(stderr, "usage: wayland-pointer WIDTH HEIGHT (move X Y | press | release | hold)...\n");
        return 2;
    }
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wayland-pointer: no Wayland display\n");
        return 1;
    }
    struct Globals globals = {NULL, NULL};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &g_registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.seat || !globals.manager) {
        fprintf(stderr, "wayland-pointer: the compositor offers no virtual pointer\n");
        return 1;
    }
    struct wl_proxy* pointer = wl_proxy_marshal_flags(globals.manager, 0, &zwlr_virtual_pointer_v1_interface, 1, 0,
                                                      globals.seat, NULL);
    int status = 0;
    for (int i = 3; i < argc && status == 0; ++i) {
        uint32_t x = 0, y = 0;
        if (strcmp(argv[i], "move") == 0 && i + 2 < argc && Number(argv[i + 1], &x) && Number(argv[i + 2], &y)) {
            wl_proxy_marshal_flags(pointer, kMotionAbsolute, NULL, 1, 0, NowMs(), x, y, width, height);
            i += 2;
        } else if (strcmp(argv[i], "press") == 0 || strcmp(argv[i], "release") == 0) {
            const uint32_t state = argv[i][0] == 'p' ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
            wl_proxy_marshal_flags(pointer, kButton, NULL, 1, 0, NowMs(), (uint32_t)BTN_LEFT, state);
        } else if (strcmp(argv[i], "hold") == 0) {
            wl_display_roundtrip(display);
            while (wl_display_dispatch(display) != -1) {
            }
            status = 1; // only the compositor going away ends this
            break;
        } else {
            fprintf(stderr, "wayland-pointer: cannot read the action '%s'\n", argv[i]);
            status = 2;
            break;
        }
        wl_proxy_marshal_flags(pointer, kFrame, NULL, 1, 0);
        // Each action reaches the compositor before the next.
        if (wl_display_roundtrip(display) < 0)
            status = 1;
    }
    wl_proxy_marshal_flags(pointer, kDestroy, NULL, 1, WL_MARSHAL_FLAG_DESTROY);
    wl_display_roundtrip(display);
    wl_proxy_destroy(globals.manager);
    wl_seat_destroy(globals.seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return status;
}
