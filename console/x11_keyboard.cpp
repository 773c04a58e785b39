#include "console/x11_keyboard.h"

#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>

namespace x11 {

std::optional<std::bitset<256>> keysDown() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    xcb_query_keymap_reply_t* reply =
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
    if (!reply)
        return std::nullopt;
    std::bitset<256> down;
    for (size_t code = 0; code < down.size(); ++code)
        down[code] = (reply->keys[code / 8] >> (code % 8)) & 1;
    std::free(reply);
    return down;
}

} // namespace x11
