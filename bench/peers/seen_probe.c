// Starts a program and waits until the screen shows the given pixels: prints the
// milliseconds from the start to the first time all of them matched, then the program's
// process id. The program is left running.
//   seen_probe TIMEOUT_MS X,Y,RRGGBB[,TOL]... -- PROGRAM ARGS...
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    enum { kMax = 16 };
    int x[kMax], y[kMax], tol[kMax], n = 0, a = 2;
    unsigned rgb[kMax];
    for (; a < argc && strcmp(argv[a], "--") && n < kMax; ++a, ++n) {
        tol[n] = 6;
        if (sscanf(argv[a], "%d,%d,%x,%d", &x[n], &y[n], &rgb[n], &tol[n]) < 3)
            return fprintf(stderr, "seen_probe: bad pixel %s\n", argv[a]), 2;
    }
    if (argc < 4 || a >= argc - 1 || n == 0)
        return fprintf(stderr, "usage: %s TIMEOUT_MS X,Y,RRGGBB[,TOL]... -- PROGRAM...\n", argv[0]),
               2;
    const double timeout = atof(argv[1]);
    Display* d = XOpenDisplay(NULL);
    if (!d)
        return fprintf(stderr, "seen_probe: no display\n"), 1;
    const Window root = DefaultRootWindow(d);
    const double t0 = now_ms();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1), dup2(null, 2);
        execvp(argv[a + 1], argv + a + 1);
        _exit(127);
    }
    for (;;) {
        int ok = 1;
        for (int i = 0; i < n && ok; ++i) {
            XImage* img = XGetImage(d, root, x[i], y[i], 1, 1, AllPlanes, ZPixmap);
            const unsigned long p = img ? XGetPixel(img, 0, 0) : 0;
            if (img)
                XDestroyImage(img);
            const int dr = abs((int)(p >> 16 & 255) - (int)(rgb[i] >> 16 & 255));
            const int dg = abs((int)(p >> 8 & 255) - (int)(rgb[i] >> 8 & 255));
            const int db = abs((int)(p & 255) - (int)(rgb[i] & 255));
            ok = dr <= tol[i] && dg <= tol[i] && db <= tol[i];
        }
        const double t = now_ms() - t0;
        if (ok)
            return printf("%.1f %d\n", t, (int)pid), 0;
        if (t > timeout)
            return printf("timeout %d\n", (int)pid), 1;
        usleep(1000);
    }
}
