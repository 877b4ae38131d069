// answer_picker: bench/startup.sh's reader. Waits for a top-level window with the given name to
// be mapped and presses Enter in it, again every 50 ms until it has gone, then ends. It waits on
// X events instead of polling with separate programs, so the answer comes as soon as the
// window is there and takes no processor time from the program being measured meanwhile.
// It prints "ready" once it is watching, so that its own start is over before the program's.
//
//   answer_picker NAME TIMEOUT_SECONDS     exit 0 answered, 1 timed out, 2 no display
//
// The key goes through the XTEST extension (a real key press, as a reader's), loaded at run
// time so that no development files of it are needed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <sys/select.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using FakeKey = int (*)(Display*, unsigned int, int, unsigned long);

std::string windowName(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return name;
}

bool waitForEvent(Display* display, int milliseconds) {
    if (XPending(display) > 0) {
        return true;
    }
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(ConnectionNumber(display), &fds);
    timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(ConnectionNumber(display) + 1, &fds, nullptr, nullptr, &timeout) > 0 &&
           XPending(display) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: answer_picker NAME TIMEOUT_SECONDS\n");
        return 2;
    }
    const std::string wanted = argv[1];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    Display* display = XOpenDisplay(nullptr);
    void* xtest = dlopen("libXtst.so.6", RTLD_NOW);
    auto fakeKey = xtest != nullptr ? reinterpret_cast<FakeKey>(dlsym(xtest, "XTestFakeKeyEvent")) : nullptr;
    if (display == nullptr || fakeKey == nullptr) {
        std::fprintf(stderr, "answer_picker: no display or no XTEST\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);
    // From here on no mapping is missed: the script starts the program being measured now.
    std::puts("ready");
    std::fflush(stdout);
    const unsigned int enter = XKeysymToKeycode(display, XK_Return);

    Window picker = None;
    while (std::chrono::steady_clock::now() < deadline) {
        if (picker != None) {
            XSetInputFocus(display, picker, RevertToPointerRoot, CurrentTime);
            fakeKey(display, enter, True, CurrentTime);
            fakeKey(display, enter, False, CurrentTime);
            XFlush(display);
        }
        const auto pressed = std::chrono::steady_clock::now();
        while (waitForEvent(display, 50)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && picker == None &&
                windowName(display, event.xmap.window) == wanted) {
                picker = event.xmap.window;
                break;
            }
            if (picker != None && ((event.type == UnmapNotify && event.xunmap.window == picker) ||
                                   (event.type == DestroyNotify && event.xdestroywindow.window == picker))) {
                XCloseDisplay(display);
                return 0;
            }
            if (picker != None &&
                std::chrono::steady_clock::now() - pressed > std::chrono::milliseconds(50)) {
                break;
            }
        }
    }
    std::fprintf(stderr, "answer_picker: no window \"%s\" answered in time\n", wanted.c_str());
    XCloseDisplay(display);
    return 1;
}
