// x11_probe: what the desktop tests need from the X server beyond xdotool, in plain Xlib.
//
//   x11_probe windows            every top-level window, one per line, tab-separated:
//                                id (hex), viewable (0/1), x, y, width, height,
//                                _NET_WM_NAME, WM_NAME (both as UTF-8, exactly as set)
//   x11_probe pixels X Y W H     the screen's pixels of that rectangle, "rrggbb" each, one row a
//                                line
//   x11_probe pixels X Y W H ID  the same of that window's own content (what it drew, also where
//                                a compositing manager shows something else)
//   x11_probe clients CLASS      every window of the program whose WM_CLASS instance is CLASS,
//                                also inside a window manager's frames, one per line,
//                                tab-separated: id (hex), viewable, x, y (on the screen), width,
//                                height, _NET_WM_NAME, WM_NAME, its _NET_WM_STATE atoms
//                                (comma-separated), WM_TRANSIENT_FOR (hex, 0x0 for none)
//   x11_probe wm                 the running window manager's name and whether a compositing
//                                manager runs: "NAME\t0|1"; nothing while none runs
//   x11_probe shot FILE          the whole screen as a PNG file
//   x11_probe close ID           asks the window to close as a window manager does (Alt+F4, the
//                                close button): a WM_DELETE_WINDOW message
//   x11_probe clipboard          the CLIPBOARD selection's text (UTF-8), as a paste would get it;
//                                nothing when no program owns it
//   x11_probe clipboard-png FILE the CLIPBOARD selection's picture as the owner gives it in PNG
//   x11_probe take X Y W H       another program's window takes the focus and the pointer: maps
//                                a window there, raised, gives it the input focus and prints
//                                "focused"; then grabs the pointer as soon as nobody else holds
//                                it and prints "grabbed". Ends (and lets go) at "quit" or at the
//                                end of its standard input.

#include <QImage>
#include <QString>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

Display* display = nullptr;

std::string utf8Property(Window w, const char* name) {
    const Atom property = XInternAtom(display, name, False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, w, property, 0, 1 << 16, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) != Success ||
        data == nullptr)
        return std::string();
    std::string text;
    if (type == utf8 && format == 8) {
        text.assign(reinterpret_cast<char*>(data), count);
    } else if (format == 8) {
        // STRING (Latin-1) or COMPOUND_TEXT: let Xlib turn it into UTF-8.
        XTextProperty prop{data, type, format, count};
        char** list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(display, &prop, &list, &n) >= Success && n > 0) {
            text = list[0];
            XFreeStringList(list);
        }
    }
    XFree(data);
    return text;
}

// Tabs and line breaks in a title would break the line format.
std::string oneField(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n')
            c = ' ';
    return s;
}

int listWindows() {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 1;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, children[i], &a))
            continue;
        std::printf("0x%lx\t%d\t%d\t%d\t%d\t%d\t%s\t%s\n", children[i],
                    a.map_state == IsViewable ? 1 : 0, a.x, a.y, a.width, a.height,
                    oneField(utf8Property(children[i], "_NET_WM_NAME")).c_str(),
                    oneField(utf8Property(children[i], "WM_NAME")).c_str());
    }
    if (children)
        XFree(children);
    return 0;
}

Window ownWindow = 0; // the window whose pixels are read; 0: the screen's

XImage* grab(int x, int y, int w, int h) {
    return XGetImage(display, ownWindow ? ownWindow : DefaultRootWindow(display), x, y, unsigned(w),
                     unsigned(h), AllPlanes, ZPixmap);
}

std::string atomNames(Window w, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string names;
    if (XGetWindowProperty(display, w, XInternAtom(display, name, False), 0, 1024, False, XA_ATOM,
                           &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        for (unsigned long i = 0; i < count; ++i) {
            char* atom = XGetAtomName(display, reinterpret_cast<Atom*>(data)[i]);
            names += (i ? "," : "") + std::string(atom ? atom : "");
            XFree(atom);
        }
        XFree(data);
    }
    return names;
}

bool isOurs(Window w, const std::string& instance) {
    XClassHint hint{};
    if (!XGetClassHint(display, w, &hint))
        return false;
    const bool ours = hint.res_name && instance == hint.res_name;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return ours;
}

// Descends through every window, also other programs' (a window manager's frames; mutter 48
// draws them in a program of its own), down to the clients of the instance.
void listClients(Window w, const std::string& instance) {
    XWindowAttributes a;
    Window child = 0, transient = 0;
    int x = 0, y = 0;
    if (isOurs(w, instance)) {
        if (XGetWindowAttributes(display, w, &a) &&
            XTranslateCoordinates(display, w, DefaultRootWindow(display), 0, 0, &x, &y, &child)) {
            XGetTransientForHint(display, w, &transient);
            std::printf("0x%lx\t%d\t%d\t%d\t%d\t%d\t%s\t%s\t%s\t0x%lx\n", w,
                        a.map_state == IsViewable ? 1 : 0, x, y, a.width, a.height,
                        oneField(utf8Property(w, "_NET_WM_NAME")).c_str(),
                        oneField(utf8Property(w, "WM_NAME")).c_str(),
                        atomNames(w, "_NET_WM_STATE").c_str(), transient);
        }
        return; // a client's own children are no clients
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, w, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i)
            listClients(children[i], instance);
        if (children)
            XFree(children);
    }
}

int printWindowManager() {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) != Success ||
        data == nullptr || count != 1)
        return 0;
    const Window wm = *reinterpret_cast<Window*>(data);
    XFree(data);
    const std::string cm = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    std::printf("%s\t%d\n", oneField(utf8Property(wm, "_NET_WM_NAME")).c_str(),
                XGetSelectionOwner(display, XInternAtom(display, cm.c_str(), False)) != None);
    return 0;
}

void rgbOf(XImage* image, int x, int y, uint8_t rgb[3]) {
    const unsigned long p = XGetPixel(image, x, y);
    rgb[0] = uint8_t((p & image->red_mask) >> __builtin_ctzl(image->red_mask));
    rgb[1] = uint8_t((p & image->green_mask) >> __builtin_ctzl(image->green_mask));
    rgb[2] = uint8_t((p & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
}

int printPixels(int x, int y, int w, int h) {
    XImage* image = grab(x, y, w, h);
    if (!image)
        return 1;
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            uint8_t rgb[3];
            rgbOf(image, i, j, rgb);
            std::printf("%s%02x%02x%02x", i ? " " : "", rgb[0], rgb[1], rgb[2]);
        }
        std::printf("\n");
    }
    XDestroyImage(image);
    return 0;
}

int writeShot(const char* path) {
    XWindowAttributes root;
    XGetWindowAttributes(display, DefaultRootWindow(display), &root);
    const int w = root.width, h = root.height;
    XImage* image = grab(0, 0, w, h);
    if (!image)
        return 1;
    QImage shot(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = shot.scanLine(y);
        for (int x = 0; x < w; ++x)
            rgbOf(image, x, y, row + 3 * x);
    }
    XDestroyImage(image);
    return shot.save(QString::fromLocal8Bit(path), "PNG") ? 0 : 1;
}

int closeWindow(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, w, False, NoEventMask, &e);
    XSync(display, False);
    return 0;
}

int take(int x, int y, int w, int h) {
    const Window root = DefaultRootWindow(display);
    XSetWindowAttributes a{};
    a.background_pixel = 0x804080;
    a.override_redirect = True; // placed exactly there, like a popup of another program
    const Window win =
        XCreateWindow(display, root, x, y, unsigned(w), unsigned(h), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixel | CWOverrideRedirect, &a);
    XStoreName(display, win, "x11_probe take");
    XSelectInput(display, win, StructureNotifyMask | ButtonPressMask | ButtonReleaseMask);
    XMapRaised(display, win);
    XEvent e;
    do
        XNextEvent(display, &e);
    while (e.type != MapNotify);
    XSetInputFocus(display, win, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    std::printf("focused\n");
    std::fflush(stdout);

    bool grabbed = false;
    char line[64];
    for (;;) {
        if (!grabbed) {
            grabbed =
                XGrabPointer(display, win, False,
                             ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                             GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
            XSync(display, False);
            if (grabbed) {
                std::printf("grabbed\n");
                std::fflush(stdout);
            }
        }
        while (XPending(display))
            XNextEvent(display, &e);
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 5) == 1) {
            if (!std::fgets(line, sizeof line, stdin) || std::strncmp(line, "quit", 4) == 0)
                break;
        }
    }
    if (grabbed)
        XUngrabPointer(display, CurrentTime);
    XDestroyWindow(display, win);
    XSync(display, False);
    return 0;
}

} // namespace

// Asks the CLIPBOARD's owner for target into a property of a window of its own; the window, or
// None when nobody owns the clipboard or the owner refuses.
Window pasteInto(const char* target, bool& owned) {
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom into = XInternAtom(display, "X11_PROBE_PASTE", False);
    owned = XGetSelectionOwner(display, clipboard) != None;
    if (!owned)
        return None;
    const Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(display, clipboard, XInternAtom(display, target, False), into, w,
                      CurrentTime);
    XFlush(display);
    // The owner answers with SelectionNotify; a few seconds at most.
    for (int waited = 0; waited < 5000; waited += 10) {
        XEvent e;
        if (XCheckTypedWindowEvent(display, w, SelectionNotify, &e))
            return e.xselection.property == None ? None : w;
        usleep(10000);
    }
    return None;
}

int printClipboard() {
    bool owned = false;
    const Window w = pasteInto("UTF8_STRING", owned);
    if (!owned)
        return 0;
    if (w == None)
        return 1;
    std::printf("%s", utf8Property(w, "X11_PROBE_PASTE").c_str());
    return 0;
}

int writeClipboardPng(const char* path) {
    bool owned = false;
    const Window w = pasteInto("image/png", owned);
    if (w == None)
        return 1;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, w, XInternAtom(display, "X11_PROBE_PASTE", False), 0, 1 << 22,
                           False, AnyPropertyType, &type, &format, &count, &after,
                           &data) != Success ||
        data == nullptr || format != 8)
        return 1;
    FILE* file = std::fopen(path, "wb");
    const bool ok = file && std::fwrite(data, 1, count, file) == count;
    if (file)
        std::fclose(file);
    XFree(data);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: x11_probe windows|pixels|clients|wm|shot|close|clipboard|take ...\n");
        return 2;
    }
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11_probe: no display\n");
        return 1;
    }
    const std::string what = argv[1];
    int result = 2;
    if (what == "windows")
        result = listWindows();
    else if (what == "pixels" && argc == 6)
        result = printPixels(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                             std::atoi(argv[5]));
    else if (what == "pixels" && argc == 7 && (ownWindow = std::strtoul(argv[6], nullptr, 0)))
        result = printPixels(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                             std::atoi(argv[5]));
    else if (what == "clients" && argc == 3)
        listClients(DefaultRootWindow(display), argv[2]), result = 0;
    else if (what == "wm")
        result = printWindowManager();
    else if (what == "shot" && argc == 3)
        result = writeShot(argv[2]);
    else if (what == "close" && argc == 3)
        result = closeWindow(Window(std::strtoul(argv[2], nullptr, 0)));
    else if (what == "clipboard")
        result = printClipboard();
    else if (what == "clipboard-png" && argc == 3)
        result = writeClipboardPng(argv[2]);
    else if (what == "take" && argc == 6)
        result =
            take(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    XCloseDisplay(display);
    return result;
}
