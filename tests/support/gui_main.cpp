#include <gtest/gtest.h>

#include <QApplication>

// GUI tests run on the offscreen platform: real widgets, no display needed.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
