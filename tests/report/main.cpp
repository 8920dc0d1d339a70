#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The C locale keeps the date line of the expected reports the same on every machine.
    qputenv("LC_ALL", "C");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The command's hourglass is the application-wide pointer, which needs an application object.
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
