// kde_probe LOG: what the desktop tests need from a KWin Wayland session, one command a line on
// standard input, answered on standard output by "ok" and what it asked for, or by "error ...".
// LOG is KWin's standard error, where the scripts of "windows" print.
//
//   move X Y            the pointer to (X, Y) of the screen        (KWin's fake input: the
//   button 1|0          the left button pressed or released         compositor's own input, given
//   key KEYS            KEYS pressed and released, "+" between     to every client when its
//                       the keys held together ("ctrl+a")          permission checks are off)
//   hold KEY 1|0        KEY pressed or released
//   type TEXT           each character of TEXT typed
//   windows             KWin's windows from the bottom of the stack up: "ok", then one line of
//                       "title|x11|focused|x|y|width|height" each (frames), ";" between them
//   pixels X Y W H      a screenshot's pixels of that rectangle: "ok", then one row a line of
//                       "rrggbb" each
//   shot FILE           a screenshot of the whole screen into FILE (PNG)

#include "fake-input-client-protocol.h"

#include "tests/desktop/probe_commands.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QTemporaryFile>
#include <QThread>
#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

wl_display* display = nullptr;
org_kde_kwin_fake_input* fakeInput = nullptr;
xkb_keymap* keymap = nullptr;
QString logPath;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}
void globalRemoved(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener{global, globalRemoved};

// The key (kernel code) that gives keysym in KWin's default keymap, and whether with Shift.
struct Key {
    uint32_t code;
    bool shift;
};
std::optional<Key> keyFor(xkb_keysym_t keysym) {
    for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= xkb_keymap_max_keycode(keymap); ++k)
        for (xkb_level_index_t level = 0; level < 2; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, k, 0, level, &syms) == 1 &&
                syms[0] == keysym)
                return Key{k - 8, level == 1}; // xkb's keycodes are the kernel's plus 8
        }
    return std::nullopt;
}

void sendKey(uint32_t code, bool down) {
    org_kde_kwin_fake_input_keyboard_key(
        fakeInput, code, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}
bool settled() {
    return wl_display_roundtrip(display) >= 0;
}

// The keys pressed in order and released the other way round (or only pressed or released);
// Shift held around those that need it.
QString sendKeys(const std::vector<xkb_keysym_t>& syms, std::optional<bool> onlyDown = {}) {
    std::vector<uint32_t> held;
    for (const xkb_keysym_t sym : syms) {
        const std::optional<Key> key = keyFor(sym);
        if (!key)
            return QStringLiteral("no key for keysym 0x%1").arg(sym, 0, 16);
        if (key->shift)
            held.push_back(keyFor(XKB_KEY_Shift_L)->code);
        held.push_back(key->code);
    }
    if (!onlyDown || *onlyDown)
        for (const uint32_t code : held)
            sendKey(code, true);
    if (!onlyDown || !*onlyDown)
        for (auto code = held.rbegin(); code != held.rend(); ++code)
            sendKey(*code, false);
    return settled() ? QString() : "the compositor is gone";
}
QString pressKeys(const QString& keys, std::optional<bool> onlyDown = {}) {
    static const QMap<QString, QString> modifiers{
        {"ctrl", "Control_L"}, {"shift", "Shift_L"}, {"alt", "Alt_L"}, {"super", "Super_L"}};
    std::vector<xkb_keysym_t> syms;
    for (const QString& name : keys.split('+')) {
        const QByteArray sym = modifiers.value(name.toLower(), name).toLatin1();
        syms.push_back(xkb_keysym_from_name(sym.constData(), XKB_KEYSYM_NO_FLAGS));
        if (syms.back() == XKB_KEY_NoSymbol)
            return "no key " + name;
    }
    return sendKeys(syms, onlyDown);
}

QDBusMessage callKWin(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall("org.kde.KWin", path, interface, method);
    message.setArguments(args);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
}
QString error(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}

// KWin runs a script that prints the windows; its line in the log carries a mark of its own.
QString windows() {
    static int serial = 0;
    const QString mark =
        QStringLiteral("zelk-windows-%1-%2 ").arg(QCoreApplication::applicationPid()).arg(++serial);
    QTemporaryFile script;
    if (!script.open())
        return "no script file";
    script.write(
        QStringLiteral("const list = (workspace.windowList ? workspace.windowList() : "
                       "workspace.clientList()).slice().sort((a, b) => a.stackingOrder -"
                       " b.stackingOrder).map(c => { const g = c.frameGeometry; return [c.caption,"
                       " c.windowId ? 1 : 0, c.active ? 1 : 0, g.x, g.y, g.width, g.height]"
                       ".join('|'); });\nprint('%1' + list.join(';'));\n")
            .arg(mark)
            .toUtf8());
    script.close();
    const QDBusMessage loaded = callKWin("/Scripting", "org.kde.kwin.Scripting", "loadScript",
                                         {script.fileName(), mark.trimmed()});
    if (!error(loaded).isEmpty())
        return "no script: " + error(loaded);
    const QString path = "/" + QString::number(loaded.arguments().value(0).toInt());
    const QString e = error(callKWin(path, "org.kde.kwin.Script", "run"));
    if (!e.isEmpty())
        return "the script did not run: " + e;
    std::optional<QString> found;
    for (int i = 0; i < 500 && !found; ++i) {
        QFile log(logPath);
        if (log.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromUtf8(log.readAll());
            const qsizetype at = text.indexOf(mark);
            if (at >= 0)
                found = text.mid(at + mark.size(), text.indexOf('\n', at) - at - mark.size());
        }
        if (!found)
            QThread::msleep(10);
    }
    callKWin("/Scripting", "org.kde.kwin.Scripting", "unloadScript", {mark.trimmed()});
    return found ? "\n" + *found : "the script printed nothing";
}

// KWin writes the picture's raw pixels into a pipe; the reply says how they are laid out.
QImage screenshot(int x, int y, int w, int h, QString& why) {
    int fds[2];
    if (pipe(fds) != 0) {
        why = "no pipe";
        return {};
    }
    const QDBusMessage r =
        callKWin("/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureArea",
                 {x, y, uint(w), uint(h), QVariantMap{},
                  QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
    close(fds[1]);
    QByteArray data;
    char chunk[65536];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;)
        data.append(chunk, n);
    close(fds[0]);
    why = error(r);
    if (!why.isEmpty())
        return {};
    QVariantMap m;
    r.arguments().value(0).value<QDBusArgument>() >> m;
    const int width = m.value("width").toInt(), height = m.value("height").toInt(),
              stride = m.value("stride").toInt();
    if (width <= 0 || data.size() < qsizetype(stride) * height) {
        why = "a picture without its pixels";
        return {};
    }
    return QImage(reinterpret_cast<const uchar*>(data.constData()), width, height, stride,
                  QImage::Format(m.value("format").toInt()))
        .copy();
}

QString answer(const QString& line) {
    const QStringList w = line.split(' ', Qt::SkipEmptyParts);
    const QString what = w.value(0);
    if (what == "move" && w.size() == 3) {
        org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput,
                                                        wl_fixed_from_double(w[1].toDouble()),
                                                        wl_fixed_from_double(w[2].toDouble()));
        return settled() ? QString() : "the compositor is gone";
    }
    if (what == "button" && w.size() == 2) {
        org_kde_kwin_fake_input_button(fakeInput, BTN_LEFT,
                                       w[1] == "1" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                   : WL_POINTER_BUTTON_STATE_RELEASED);
        return settled() ? QString() : "the compositor is gone";
    }
    if (what == "key" && w.size() == 2)
        return pressKeys(w[1]);
    if (what == "hold" && w.size() == 3)
        return pressKeys(w[1], w[2] == "1");
    if (what == "type" && line.size() > 5) {
        for (const QChar c : line.mid(5))
            if (const QString e = sendKeys({xkb_utf32_to_keysym(c.unicode())}); !e.isEmpty())
                return e;
        return {};
    }
    if (what == "windows" && w.size() == 1)
        return windows();
    if (what == "pixels" && w.size() == 5) {
        QString why;
        const QImage shot = screenshot(w[1].toInt(), w[2].toInt(), w[3].toInt(), w[4].toInt(), why);
        if (shot.isNull())
            return "no screenshot: " + why;
        return probe::pixelRows(shot);
    }
    if (what == "shot" && w.size() == 2) {
        QString why;
        const QImage shot = screenshot(0, 0, 1920, 1080, why);
        return !shot.isNull() && shot.save(w[1]) ? QString() : "no screenshot: " + why;
    }
    return "unknown command";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    logPath = app.arguments().value(1);
    display = wl_display_connect(nullptr);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    keymap = context ? xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS)
                     : nullptr;
    if (display) {
        wl_registry_add_listener(wl_display_get_registry(display), &registryListener, nullptr);
        wl_display_roundtrip(display);
    }
    const char* missing = !display                                       ? "no Wayland display"
                          : !fakeInput                                   ? "no fake input"
                          : !keymap                                      ? "no keymap"
                          : !QDBusConnection::sessionBus().isConnected() ? "no session bus"
                                                                         : nullptr;
    if (missing) {
        std::printf("error %s\n", missing);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "zelk desktop tests", "the operator's input");
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);
    return probe::answerCommands(answer);
}
