// A pointer for a wlroots compositor run headless (which has none of its own), through its
// virtual-pointer protocol, driven from stdin, one command a line:
//   move X Y      the pointer to X, Y of the WIDTH x HEIGHT layout given as arguments
//   down N / up N button N (1 left, 2 middle, 3 right) pressed or released
// "ready" goes to stdout once the compositor has the device.
//   vpointer WIDTH HEIGHT
#include <wayland-client.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

// The protocol's two interfaces (wlr-virtual-pointer-unstable-v1, version 1), which no
// installed header carries.
extern const struct wl_interface zwlr_virtual_pointer_v1_interface;
static const struct wl_interface* create_types[] = {&wl_seat_interface,
                                                    &zwlr_virtual_pointer_v1_interface};
static const struct wl_message manager_requests[] = {
    {"create_virtual_pointer", "?on", create_types},
    {"destroy", "", NULL},
};
static const struct wl_interface manager_interface = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, manager_requests, 0, NULL};
static const struct wl_interface* none[8];
static const struct wl_message pointer_requests[] = {
    {"motion", "uff", none},           {"motion_absolute", "uuuuu", none},
    {"button", "uuu", none},           {"axis", "uuf", none},
    {"frame", "", none},               {"axis_source", "u", none},
    {"axis_stop", "uu", none},         {"axis_discrete", "uufi", none},
    {"destroy", "", none},
};
const struct wl_interface zwlr_virtual_pointer_v1_interface = {
    "zwlr_virtual_pointer_v1", 1, 9, pointer_requests, 0, NULL};
enum { kMotionAbsolute = 1, kButton = 2, kFrame = 4 };

static struct wl_proxy* manager;
static struct wl_seat* seat;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* iface,
                   uint32_t version) {
    (void)data, (void)version;
    if (strcmp(iface, manager_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &manager_interface, 1);
    else if (strcmp(iface, "wl_seat") == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}
static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener listener = {global, global_remove};

static uint32_t now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const uint32_t width = (uint32_t)atoi(argv[1]), height = (uint32_t)atoi(argv[2]);
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "vpointer: no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "vpointer: the compositor has no virtual pointers\n");
        return 1;
    }
    struct wl_proxy* pointer = wl_proxy_marshal_constructor(
        manager, 0, &zwlr_virtual_pointer_v1_interface, seat, NULL);
    wl_display_roundtrip(display);
    printf("ready\n");
    fflush(stdout);
    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        unsigned x, y, n;
        if (sscanf(line, "move %u %u", &x, &y) == 2)
            wl_proxy_marshal(pointer, kMotionAbsolute, now_ms(), x, y, width, height);
        else if (sscanf(line, "down %u", &n) == 1 || sscanf(line, "up %u", &n) == 1)
            // Linux input codes: BTN_LEFT 0x110, BTN_RIGHT 0x111, BTN_MIDDLE 0x112.
            wl_proxy_marshal(pointer, kButton, now_ms(), n == 1 ? 0x110u : n == 3 ? 0x111u : 0x112u,
                             line[0] == 'd' ? 1u : 0u);
        else
            continue;
        wl_proxy_marshal(pointer, kFrame);
        if (wl_display_roundtrip(display) < 0)
            return 1;
    }
    wl_display_disconnect(display);
    return 0;
}
