#include <QGuiApplication>
#include <gtest/gtest.h>

// Text drawing needs the font database, which needs a platform; offscreen
// renders into images without a display.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
