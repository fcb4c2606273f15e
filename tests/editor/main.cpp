#include "card/font.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// A session measures text, which needs the font database and so a platform:
// offscreen, with the card's font substitutions as in the program.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    installFontSubstitutions();
    return RUN_ALL_TESTS();
}
