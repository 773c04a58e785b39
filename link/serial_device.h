#pragma once
// The serial device under the engine: opening a terminal device exclusively and putting it into
// the line settings the engine asks for. Plain POSIX; each step reports success or failure so the
// engine can map it onto its open result codes.

#include <cstdint>
#include <string>

namespace serial_device {

// Opens a character device that is a terminal, read-write, non-blocking, not as a controlling
// terminal, and exclusively (flock and TIOCEXCL). Returns the descriptor, or -1; then, if error
// is given, *error holds the errno of the step that failed (EACCES or EPERM: the user may not
// open the device; ENODEV: it is no character device; ENOTTY: no terminal; EWOULDBLOCK or
// EBUSY: another program holds it).
int open_exclusive(const std::string& path, int* error = nullptr);

// Line-event watching: only the modem lines can be watched; checks that they can be read.
bool apply_line_events(int fd, bool watch_modem);

// The engine times its reads itself (a read completes 50 ms after the last byte), so the driver
// is set to return whatever is there at once.
bool apply_timeouts(int fd);

// Raw mode at the rate, parity code (0 none, 1 odd, 2 even; others none), data bits and one stop
// bit, no flow control, receiver on, modem-control lines ignored; DTR and RTS raised where the
// device has them; stale input flushed. The settings are read back and compared.
bool apply_line_settings(int fd, int32_t rate, int32_t parity, int data_bits);

// Releases exclusive mode, so that an ordinary user can open the line again, and closes it.
void close_device(int fd);

} // namespace serial_device
