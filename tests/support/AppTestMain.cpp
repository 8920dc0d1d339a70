// GoogleTest with a plain application object, for tests that drive widgets offscreen without the
// program's event boundary (tests/support/WidgetTestMain.cpp has it).
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef KESTRION_TEST_C_LOCALE
    // Date texts the same on every machine: the expected report files hold one.
    qputenv("LC_ALL", "C");
#endif
    // Window tests never need a display; test discovery runs this binary too, outside ctest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
