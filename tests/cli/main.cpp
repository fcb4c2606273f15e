#include "card/font.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// The reference editor draws text, which needs the application object.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    installFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
