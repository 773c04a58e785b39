#include "console/widgets/colors.h"

QColor colorFromCode(int code) {
    return QColor(code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF);
}

int colorToCode(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
