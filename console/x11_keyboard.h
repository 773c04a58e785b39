#pragma once
// The keys the keyboard holds down now, as the X server records them, where the console runs as
// an X11 client. Neither auto-repeat nor a change of focus disturbs that record: it tells a key
// still held from one released while another window had the keyboard.

#include <bitset>
#include <optional>

namespace x11 {

// Indexed by X key code (a key event's native scan code under X11); none where the console is
// no X11 client or the server does not answer.
std::optional<std::bitset<256>> keysDown();

} // namespace x11
