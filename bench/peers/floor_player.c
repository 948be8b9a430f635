// The floor the benchmark measures players against: an Xlib + XShape window that shows
// pre-decoded frames (raw RGBA, as ImageMagick's -coalesce writes them) at a fixed delay,
// cut to the pixels that are not the mask green. Each frame's picture and shape are sent
// to the server once; a frame then costs one copy and one shape request.
//   floor_player FRAMES.rgba WIDTH HEIGHT COUNT DELAY_MS
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static long long now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

int main(int argc, char** argv) {
    if (argc != 6)
        return fprintf(stderr, "usage: %s FRAMES.rgba W H COUNT DELAY_MS\n", argv[0]), 2;
    const int w = atoi(argv[2]), h = atoi(argv[3]), n = atoi(argv[4]), delay = atoi(argv[5]);
    FILE* f = fopen(argv[1], "rb");
    Display* d = XOpenDisplay(NULL);
    if (!f || !d || w <= 0 || h <= 0 || n <= 0)
        return fprintf(stderr, "floor_player: cannot start\n"), 1;
    const int s = DefaultScreen(d);
    Window win = XCreateSimpleWindow(d, RootWindow(d, s), 0, 0, w, h, 0, 0, 0);
    XSetWindowAttributes a = {.override_redirect = True};
    XChangeWindowAttributes(d, win, CWOverrideRedirect, &a);
    GC gc = XCreateGC(d, win, 0, NULL);
    Pixmap* pix = calloc(n, sizeof *pix);
    Pixmap* mask = calloc(n, sizeof *mask);
    unsigned char* rgba = malloc((size_t)w * h * 4);
    unsigned* xrgb = malloc((size_t)w * h * 4);
    char* bits = malloc((size_t)(w + 7) / 8 * h);
    for (int i = 0; i < n; ++i) {
        if (fread(rgba, 4, (size_t)w * h, f) != (size_t)w * h)
            return fprintf(stderr, "floor_player: short file\n"), 1;
        for (size_t p = 0; p < (size_t)w * h; ++p)
            xrgb[p] = rgba[4 * p] << 16 | rgba[4 * p + 1] << 8 | rgba[4 * p + 2];
        XImage* img = XCreateImage(d, DefaultVisual(d, s), DefaultDepth(d, s), ZPixmap, 0,
                                   (char*)xrgb, w, h, 32, 0);
        pix[i] = XCreatePixmap(d, win, w, h, DefaultDepth(d, s));
        XPutImage(d, pix[i], gc, img, 0, 0, 0, 0, w, h);
        img->data = NULL;
        XDestroyImage(img);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                char* b = &bits[y * ((w + 7) / 8) + x / 8];
                if (xrgb[y * w + x] != 0x008000)
                    *b |= 1 << (x % 8);
                else
                    *b &= ~(1 << (x % 8));
            }
        mask[i] = XCreateBitmapFromData(d, win, bits, w, h);
    }
    fclose(f);
    XSelectInput(d, win, ExposureMask);
    XShapeCombineMask(d, win, ShapeBounding, 0, 0, mask[0], ShapeSet);
    XMapWindow(d, win);
    int i = 0;
    long long next = now_ms() + delay;
    for (;;) {
        XCopyArea(d, pix[i], win, gc, 0, 0, w, h, 0, 0);
        XFlush(d);
        for (long long left; (left = next - now_ms()) > 0;) {
            struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
            if (!XPending(d) && poll(&p, 1, (int)left) <= 0)
                continue;
            XEvent e;
            while (XPending(d)) // an exposed window is drawn again at once
                if (XNextEvent(d, &e), e.type == Expose)
                    XCopyArea(d, pix[i], win, gc, 0, 0, w, h, 0, 0);
        }
        next += delay;
        i = (i + 1) % n;
        XShapeCombineMask(d, win, ShapeBounding, 0, 0, mask[i], ShapeSet);
    }
}
