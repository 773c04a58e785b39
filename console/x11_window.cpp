#include "console/x11_window.h"

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace x11 {
namespace {

xcb_connection_t* connection() {
    if (qGuiApp == nullptr)
        return nullptr;
    const auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return native != nullptr ? native->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr);
    const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// The number of the screen the console's windows are on (the display name's ".n").
int screenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int colon = display.lastIndexOf(':');
    return dot > colon && colon >= 0 ? display.mid(dot + 1).toInt() : 0;
}

} // namespace

bool compositingManagerRuns() {
    xcb_connection_t* c = connection();
    if (c == nullptr)
        return false;
    const xcb_atom_t selection = atom(c, "_NET_WM_CM_S" + std::to_string(screenNumber()));
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = reply != nullptr && reply->owner != XCB_NONE;
    free(reply);
    return owned;
}

void keepOffTaskbar(QWindow& window) {
    xcb_connection_t* c = connection();
    if (c == nullptr)
        return;
    const auto id = xcb_window_t(window.winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply != nullptr && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* present = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        states.assign(present, present + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t wanted = atom(c, name);
        if (wanted != XCB_ATOM_NONE &&
            std::find(states.begin(), states.end(), wanted) == states.end())
            states.push_back(wanted);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        uint32_t(states.size()), states.data());
    xcb_flush(c);
}

} // namespace x11
