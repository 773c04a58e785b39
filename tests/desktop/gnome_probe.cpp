// gnome_probe: what the desktop tests need from a GNOME Shell session, over its session bus, one
// command a line on standard input, answered on standard output by "ok" and what it asked for,
// or by "error ...".
//
//   eval JS             GNOME Shell evaluates JS (its unsafe mode is on): "ok", then the result
//   pixels X Y W H      a screenshot's pixels of that rectangle: "ok", then one row a line of
//                       "rrggbb" each
//   shot FILE           a screenshot of the whole screen into FILE (PNG)

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

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
        QString rows;
        for (int y = 0; y < shot.height(); ++y) {
            rows += '\n';
            for (int x = 0; x < shot.width(); ++x)
                rows += QString::asprintf("%s%06x", x ? " " : "", shot.pixel(x, y) & 0xFFFFFF);
        }
        return rows;
    }
    if (what == "shot" && w.size() == 2) {
        const QDBusMessage r =
            call("org.gnome.Shell", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                 "Screenshot", {false, false, w[1]});
        return error(r).isEmpty() ? QString() : "no screenshot: " + error(r);
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
    for (std::string line; std::getline(std::cin, line);) {
        const QString result = answer(QString::fromStdString(line));
        const bool ok = result.isEmpty() || result.startsWith('\n');
        std::printf("%s%s\n", ok ? "ok" : "error ", result.toUtf8().constData());
        std::fflush(stdout);
    }
    return 0;
}
