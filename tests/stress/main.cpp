#include <QApplication>
#include <QThreadPool>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt renders the windows' artwork partly on its own pool threads, which end after 30 s idle.
    // Kept alive, they leave the tests' thread counts to what the console itself starts and ends.
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
