// SPDX-License-Identifier: MIT
// Entry point of the GoogleTest programs that need a QApplication (widgets, images, locale).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Headless unless the run asks for a display (the real-display tests set xcb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
