// A pointer for a compositor run headless (which has none of its own), through wlroots'
// virtual-pointer protocol or KWin's fake-input one, driven from stdin, one command a line:
//   move X Y      the pointer to X, Y of the WIDTH x HEIGHT layout given as arguments
//   down N / up N button N (1 left, 2 middle, 3 right) pressed or released
//   key CODE      a key by its Linux input code pressed and released (KWin only)
// "ready" goes to stdout once the compositor has the device. KWin offers fake input only to
// programs its desktop entries name, unless run with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
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
    {"motion", "uff", none},   {"motion_absolute", "uuuuu", none},
    {"button", "uuu", none},   {"axis", "uuf", none},
    {"frame", "", none},       {"axis_source", "u", none},
    {"axis_stop", "uu", none}, {"axis_discrete", "uufi", none},
    {"destroy", "", none},
};
const struct wl_interface zwlr_virtual_pointer_v1_interface = {"zwlr_virtual_pointer_v1", 1, 9,
                                                               pointer_requests,          0, NULL};
enum { kMotionAbsolute = 1, kButton = 2, kFrame = 4 };

// KWin's org_kde_kwin_fake_input (version 3 has absolute motion), in logical pixels.
static const struct wl_message fake_requests[] = {
    {"authenticate", "ss", none},  {"pointer_motion", "ff", none},
    {"button", "uu", none},        {"axis", "uf", none},
    {"touch_down", "2uff", none},  {"touch_motion", "2uff", none},
    {"touch_up", "2u", none},      {"touch_cancel", "2", none},
    {"touch_frame", "2", none},    {"pointer_motion_absolute", "3ff", none},
    {"keyboard_key", "4uu", none},
};
static const struct wl_interface fake_interface = {
    "org_kde_kwin_fake_input", 4, 11, fake_requests, 0, NULL};
enum { kFakeAuthenticate = 0, kFakeButton = 2, kFakeMotionAbsolute = 9, kFakeKey = 10 };

static struct wl_proxy* manager;
static struct wl_proxy* fake;
static struct wl_seat* seat;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* iface,
                   uint32_t version) {
    (void)data;
    if (strcmp(iface, manager_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &manager_interface, 1);
    else if (strcmp(iface, fake_interface.name) == 0 && version >= 3)
        fake = wl_registry_bind(registry, name, &fake_interface, version < 4 ? version : 4);
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
    if (!manager && !fake) {
        fprintf(stderr, "vpointer: the compositor has no virtual pointers\n");
        return 1;
    }
    struct wl_proxy* pointer = NULL;
    if (manager)
        pointer = wl_proxy_marshal_constructor(manager, 0, &zwlr_virtual_pointer_v1_interface, seat,
                                               NULL);
    else
        wl_proxy_marshal(fake, kFakeAuthenticate, "vpointer", "the desktop tests' pointer");
    wl_display_roundtrip(display);
    printf("ready\n");
    fflush(stdout);
    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        unsigned x, y, n;
        if (sscanf(line, "move %u %u", &x, &y) == 2) {
            if (pointer)
                wl_proxy_marshal(pointer, kMotionAbsolute, now_ms(), x, y, width, height);
            else
                wl_proxy_marshal(fake, kFakeMotionAbsolute, wl_fixed_from_int((int)x),
                                 wl_fixed_from_int((int)y));
        } else if (sscanf(line, "down %u", &n) == 1 || sscanf(line, "up %u", &n) == 1) {
            // Linux input codes: BTN_LEFT 0x110, BTN_RIGHT 0x111, BTN_MIDDLE 0x112.
            const uint32_t code = n == 1 ? 0x110u : n == 3 ? 0x111u : 0x112u;
            const uint32_t pressed = line[0] == 'd' ? 1u : 0u;
            if (pointer)
                wl_proxy_marshal(pointer, kButton, now_ms(), code, pressed);
            else
                wl_proxy_marshal(fake, kFakeButton, code, pressed);
        } else if (sscanf(line, "key %u", &n) == 1 && fake && wl_proxy_get_version(fake) >= 4) {
            wl_proxy_marshal(fake, kFakeKey, n, 1u);
            wl_proxy_marshal(fake, kFakeKey, n, 0u);
        } else {
            continue;
        }
        if (pointer)
            wl_proxy_marshal(pointer, kFrame);
        if (wl_display_roundtrip(display) < 0)
            return 1;
    }
    wl_display_disconnect(display);
    return 0;
}
