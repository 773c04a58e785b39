#pragma once
// What the desktop probes share: the command loop on standard input (one command a line,
// answered on standard output by "ok" and what it asked for, or by "error ...") and a picture's
// pixels as the answer's rows.

#include <QImage>
#include <QString>
#include <cstdio>
#include <iostream>
#include <string>

namespace probe {

// One row a line, each after a line break, of "rrggbb" separated by spaces.
inline QString pixelRows(const QImage& shot) {
    QString rows;
    for (int y = 0; y < shot.height(); ++y) {
        rows += '\n';
        for (int x = 0; x < shot.width(); ++x)
            rows += QString::asprintf("%s%06x", x ? " " : "", shot.pixel(x, y) & 0xFFFFFF);
    }
    return rows;
}

// answer(line): empty or rows starting with a line break when it went well, else the error.
template <class Answer> int answerCommands(Answer answer) {
    for (std::string line; std::getline(std::cin, line);) {
        const QString result = answer(QString::fromStdString(line));
        const bool ok = result.isEmpty() || result.startsWith('\n');
        std::printf("%s%s\n", ok ? "ok" : "error ", result.toUtf8().constData());
        std::fflush(stdout);
    }
    return 0;
}

} // namespace probe
