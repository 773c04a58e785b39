#include "console/console_application.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ConsoleApplication app(argc, argv); // the console's own, exceptions included
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
