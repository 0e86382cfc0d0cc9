#include "platform/OffscreenGl.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    orv::test::IsolateUserFolders();
    // --offscreen-gl: the same cases with no display at all, the graphics drawing through EGL.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--offscreen-gl") != 0)
            continue;
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        orv::SetOffscreenGraphics(true);
        for (int j = i; j + 1 < argc; ++j)
            argv[j] = argv[j + 1];
        --argc;
        break;
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
