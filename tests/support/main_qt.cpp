// Test main for the Qt side: a QApplication on the offscreen platform unless
// the caller chose another, with Qt's runtime folder in a temporary folder of
// its own (Qt would otherwise leave one in /tmp). None is made when the tests
// are only being listed (test discovery runs without the test environment).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/file_checks.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const qm::test::TempDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 0);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
