/* Starts a program and reports, in milliseconds from just before it was
 * started, when its first window (the splash) was mapped and unmapped and
 * when its window titled TITLE was mapped:
 *   xmapwait TITLE PROGRAM [ARGS...]
 * prints "SPLASH_SHOWN SPLASH_HIDDEN MAIN_SHOWN" on stdout (-1 for what did
 * not happen before the main window was shown), then ends the program.
 * Waiting for the X server's notifications instead of polling costs the
 * program no CPU and is exact to the event's arrival. */
#define _DEFAULT_SOURCE
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: xmapwait TITLE PROGRAM [ARGS...]\n");
        return 2;
    }
    /* The X server of xvfb-run may still be coming up. */
    Display *dpy = NULL;
    for (int tries = 0; !dpy && tries < 100; ++tries) {
        dpy = XOpenDisplay(NULL);
        if (!dpy)
            usleep(50000);
    }
    if (!dpy) {
        fprintf(stderr, "xmapwait: cannot open display\n");
        return 1;
    }
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
    const double start = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double first = -1, hidden = -1, found = -1;
    Window firstWindow = None;
    const int fd = ConnectionNumber(dpy);
    while (found < 0 && now_ms() - start < 30000) {
        if (!XPending(dpy)) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            struct timeval tv = {0, 100000};
            select(fd + 1, &set, NULL, NULL, &tv);
            if (waitpid(pid, NULL, WNOHANG) == pid) {
                fprintf(stderr, "xmapwait: the program ended before its window was shown\n");
                return 1;
            }
            continue;
        }
        XEvent ev;
        XNextEvent(dpy, &ev);
        const double t = now_ms() - start;
        if (ev.type == UnmapNotify && ev.xunmap.window == firstWindow && hidden < 0)
            hidden = t;
        if (ev.type != MapNotify)
            continue;
        if (first < 0) {
            first = t;
            firstWindow = ev.xmap.window;
        }
        char *name = NULL;
        if (XFetchName(dpy, ev.xmap.window, &name) && name) {
            if (strcmp(name, argv[1]) == 0)
                found = t;
            XFree(name);
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    if (found < 0) {
        fprintf(stderr, "xmapwait: no window titled %s within 30 s\n", argv[1]);
        return 1;
    }
    printf("%.1f %.1f %.1f\n", first, hidden, found);
    return 0;
}
