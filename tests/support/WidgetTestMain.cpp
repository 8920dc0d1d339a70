// GoogleTest with a running application object, for tests that drive real widgets offscreen.
#include "app/Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Also when the test list is read at build time, where ctest's environment is not set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kestrion::app::Application app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
