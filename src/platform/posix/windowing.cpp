// Keeping a window on top on Linux: the window manager's keep-above state
// (EWMH _NET_WM_STATE_ABOVE) for an X11 window id, asked for as a client
// message to the root window so that the window manager applies it, plus an
// activation request as the Windows call also activates. Position and size
// are never touched. libX11 is loaded at run time: without it, or without
// an X display, nothing is done.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <optional>

#include "platform/posix/posix_platform.h"
#include "platform/posix/runtime_library.h"

namespace tarnwick {

namespace {

struct Xlib {
    decltype(&::XOpenDisplay) openDisplay = nullptr;
    decltype(&::XCloseDisplay) closeDisplay = nullptr;
    decltype(&::XDefaultRootWindow) defaultRootWindow = nullptr;
    decltype(&::XInternAtom) internAtom = nullptr;
    decltype(&::XSendEvent) sendEvent = nullptr;
    decltype(&::XSync) sync = nullptr;
    decltype(&::XSetErrorHandler) setErrorHandler = nullptr;
    decltype(&::XGetWindowProperty) getWindowProperty = nullptr;
    decltype(&::XChangeProperty) changeProperty = nullptr;
    decltype(&::XFree) free = nullptr;

    static const Xlib* get() {
        static const RuntimeLibrary library("libX11.so.6");
        static const std::optional<Xlib> api = []() -> std::optional<Xlib> {
            Xlib x;
            const bool all =
                library.bind(x.openDisplay, "XOpenDisplay") &&
                library.bind(x.closeDisplay, "XCloseDisplay") &&
                library.bind(x.defaultRootWindow, "XDefaultRootWindow") &&
                library.bind(x.internAtom, "XInternAtom") &&
                library.bind(x.sendEvent, "XSendEvent") && library.bind(x.sync, "XSync") &&
                library.bind(x.setErrorHandler, "XSetErrorHandler") &&
                library.bind(x.getWindowProperty, "XGetWindowProperty") &&
                library.bind(x.changeProperty, "XChangeProperty") && library.bind(x.free, "XFree");
            if (!all) return std::nullopt;
            return x;
        }();
        return api ? &*api : nullptr;
    }
};

// An unknown window id must not end the process, as Xlib's default error
// handler would: errors of this short conversation are dropped.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// The 32-bit values of a property of format 32 (none when the window lacks
// it), or nothing at all when there is no such window.
std::optional<std::vector<long>> longProperty(const Xlib& x, Display* display, Window window,
                                              Atom property, Atom type) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (x.getWindowProperty(display, window, property, 0, 1024, False, type, &actualType,
                            &actualFormat, &count, &after, &data) != Success)
        return std::nullopt;
    std::vector<long> values;
    if (data && actualType == type && actualFormat == 32) {
        // Xlib hands format-32 values over as longs, whatever their width.
        const long* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + count);
    }
    if (data) x.free(data);
    return values;
}

void sendToRoot(const Xlib& x, Display* display, Window window, Atom message, long l0, long l1,
                long l2) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.serial = 0;
    event.xclient.send_event = True;
    event.xclient.window = window;
    event.xclient.message_type = message;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = 1;  // the request comes from a normal application
    event.xclient.data.l[4] = 0;
    x.sendEvent(display, x.defaultRootWindow(display), False,
                SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

void PosixPlatform::keepOnTop(std::int32_t window, bool on) {
    const Xlib* x = Xlib::get();
    if (!x) return;
    Display* display = x->openDisplay(nullptr);
    if (!display) return;
    const auto previous = x->setErrorHandler(ignoreXError);

    // Window ids travel as 32-bit integers; X11's are 29 bits wide.
    const Window target = static_cast<std::uint32_t>(window);
    const Atom wmState = x->internAtom(display, "WM_STATE", False);
    const Atom netWmState = x->internAtom(display, "_NET_WM_STATE", False);
    const Atom above = x->internAtom(display, "_NET_WM_STATE_ABOVE", False);
    const Atom activeWindow = x->internAtom(display, "_NET_ACTIVE_WINDOW", False);

    // A window the window manager does not manage yet (withdrawn: no
    // WM_STATE, or its state 0) gets the state written into its own
    // property, which the manager reads when it is mapped; a managed one is
    // asked for through the manager.
    const auto managerState = longProperty(*x, display, target, wmState, wmState);
    const bool managed = managerState && !managerState->empty() && (*managerState)[0] != 0;
    if (managed) {
        sendToRoot(*x, display, target, netWmState, on ? 1 : 0, static_cast<long>(above), 0);
        sendToRoot(*x, display, target, activeWindow, 1, CurrentTime, 0);
    } else if (managerState) {
        std::vector<long> values =
            longProperty(*x, display, target, netWmState, XA_ATOM).value_or(std::vector<long>{});
        std::erase(values, static_cast<long>(above));
        if (on) values.push_back(static_cast<long>(above));
        x->changeProperty(display, target, netWmState, XA_ATOM, 32, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(values.data()),
                          static_cast<int>(values.size()));
    }
    x->sync(display, False);
    x->setErrorHandler(previous);
    x->closeDisplay(display);
}

void PosixPlatform::yieldToMessages() {
    // Linux has no message queue of the caller's to pump: only the host
    // knows how to service its windows, through its handler.
}

}  // namespace tarnwick
