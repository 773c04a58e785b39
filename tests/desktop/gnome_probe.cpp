// gnome_probe: what the desktop tests need from a GNOME Shell session, over its session bus, one
// command a line on standard input, answered on standard output by "ok" and what it asked for,
// or by "error ...".
//
//   eval JS             GNOME Shell evaluates JS (its unsafe mode is on): "ok", then the result
//   pixels X Y W H      a screenshot's pixels of that rectangle: "ok", then one row a line of
//                       "rrggbb" each
//   shot FILE           a screenshot of the whole screen into FILE (PNG)
//   input               starts a remote desktop session of the compositor: its input from a
//                       device of its own seat, as a person's; a screen cast of the monitor
//                       gives the pointer's positions their place on the screen
//   move X Y            the pointer to (X, Y) of the screen
//   button 1|0          the left button pressed or released
//   key KEYS            KEYS pressed and released, "+" between the keys held together
//                       ("ctrl+a"; keysym names, or the names xdotool takes for the modifiers)
//   hold KEY 1|0        KEY (a keysym name) pressed or released
//   type TEXT           each character of TEXT typed (printable Latin-1)

#include "tests/desktop/probe_commands.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QTextStream>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cstdio>
#include <vector>

namespace {

QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
}
QString error(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}

// The remote desktop session: the compositor takes its input only from the connection that
// created it.
struct Input {
    QString session, stream;
};
Input input;

QString notify(const QString& method, const QVariantList& args) {
    if (input.session.isEmpty())
        return "no input session";
    const QString e = error(call("org.gnome.Mutter.RemoteDesktop", input.session,
                                 "org.gnome.Mutter.RemoteDesktop.Session", method, args));
    return e.isEmpty() ? QString() : method + ": " + e;
}
QString keysym(unsigned keysym, bool pressed) {
    return notify("NotifyKeyboardKeysym", {keysym, pressed});
}
// A key pressed and released, in that order.
QString tap(unsigned sym) {
    const QString e = keysym(sym, true);
    return e + keysym(sym, false);
}

QString startInput() {
    const QString desktop = "org.gnome.Mutter.RemoteDesktop", cast = "org.gnome.Mutter.ScreenCast";
    const QDBusMessage created =
        call(desktop, "/org/gnome/Mutter/RemoteDesktop", desktop, "CreateSession");
    if (!error(created).isEmpty())
        return "no remote desktop session: " + error(created);
    const QString session = created.arguments().value(0).value<QDBusObjectPath>().path();
    const QDBusMessage id = call(desktop, session, "org.freedesktop.DBus.Properties", "Get",
                                 {desktop + ".Session", QStringLiteral("SessionId")});
    const QString sessionId = id.arguments().value(0).value<QDBusVariant>().variant().toString();
    const QDBusMessage castSession =
        call(cast, "/org/gnome/Mutter/ScreenCast", cast, "CreateSession",
             {QVariantMap{{"remote-desktop-session-id", sessionId}}});
    if (!error(castSession).isEmpty())
        return "no screen cast session: " + error(castSession);
    const QDBusMessage stream =
        call(cast, castSession.arguments().value(0).value<QDBusObjectPath>().path(),
             cast + ".Session", "RecordMonitor", {QString(), QVariantMap{}});
    if (!error(stream).isEmpty())
        return "no screen cast of the monitor: " + error(stream);
    // The screen cast starts with the session; it needs PipeWire.
    const QDBusMessage started = call(desktop, session, desktop + ".Session", "Start");
    if (!error(started).isEmpty())
        return "the remote desktop session did not start: " + error(started);
    input = {session, stream.arguments().value(0).value<QDBusObjectPath>().path()};
    // The session's devices join the seat at their first event, and the first events can come
    // before them: a key nobody reads creates the keyboard.
    return tap(XK_Shift_L);
}

QString pressKeys(const QString& keys) {
    static const QMap<QString, QString> modifiers{
        {"ctrl", "Control_L"}, {"shift", "Shift_L"}, {"alt", "Alt_L"}, {"super", "Super_L"}};
    std::vector<unsigned> syms;
    for (const QString& name : keys.split('+')) {
        const KeySym sym =
            XStringToKeysym(modifiers.value(name.toLower(), name).toLatin1().constData());
        if (sym == NoSymbol)
            return "no key " + name;
        syms.push_back(unsigned(sym));
    }
    QString e;
    for (unsigned sym : syms)
        e += keysym(sym, true);
    for (auto sym = syms.rbegin(); sym != syms.rend(); ++sym)
        e += keysym(*sym, false);
    return e;
}

QString answer(const QString& line) {
    const QStringList w = line.split(' ', Qt::SkipEmptyParts);
    const QString what = w.value(0);
    if (what == "eval") {
        const QDBusMessage r =
            call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval", {line.mid(5)});
        if (!error(r).isEmpty() || !r.arguments().value(0).toBool())
            return "eval failed: " + error(r) + r.arguments().value(1).toString();
        return "\n" + r.arguments().value(1).toString();
    }
    if (what == "pixels" && w.size() == 5) {
        const QString file = QDir::temp().filePath(
            QStringLiteral("zelk-gnome-shot-%1.png").arg(QCoreApplication::applicationPid()));
        const QDBusMessage r =
            call("org.gnome.Shell", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                 "ScreenshotArea",
                 {w[1].toInt(), w[2].toInt(), w[3].toInt(), w[4].toInt(), false, file});
        const QImage shot(file);
        QFile::remove(file);
        if (!error(r).isEmpty() || shot.isNull())
            return "no screenshot: " + error(r);
        return probe::pixelRows(shot);
    }
    if (what == "shot" && w.size() == 2) {
        const QDBusMessage r =
            call("org.gnome.Shell", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                 "Screenshot", {false, false, w[1]});
        return error(r).isEmpty() ? QString() : "no screenshot: " + error(r);
    }
    if (what == "input" && w.size() == 1)
        return startInput();
    if (what == "move" && w.size() == 3)
        return notify("NotifyPointerMotionAbsolute",
                      {input.stream, w[1].toDouble(), w[2].toDouble()});
    if (what == "button" && w.size() == 2) {
        constexpr int LeftButton = 0x110; // BTN_LEFT: buttons are the kernel's codes
        return notify("NotifyPointerButton", {LeftButton, w[1] == "1"});
    }
    if (what == "key" && w.size() == 2)
        return pressKeys(w[1]);
    if (what == "hold" && w.size() == 3) {
        const KeySym sym = XStringToKeysym(w[1].toLatin1().constData());
        return sym == NoSymbol ? "no key " + w[1] : keysym(unsigned(sym), w[2] == "1");
    }
    if (what == "type" && line.size() > 5) {
        QString e;
        for (const QChar c : line.mid(5))
            e += tap(c.unicode());
        return e;
    }
    return "unknown command";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::printf("error no session bus\n");
        return 1;
    }
    return probe::answerCommands(answer);
}
