#include "app/artwork.h"

#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iterator>

namespace {

// The pictures draw text, which needs a QGuiApplication; one is made on first
// use when the test binary has none of its own.
void EnsureApplication()
{
    if (QGuiApplication::instance() != nullptr) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "test_artwork";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
}

bool FullyTransparent(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return false;
            }
        }
    }
    return true;
}

bool Opaque(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 255) {
                return false;
            }
        }
    }
    return true;
}

constexpr int kDrawnIcons[] = {0, 1, 2, 3, 4, 5, 19, 20};

// Window tops and heights of the edits lying over the caption picture.
struct EditRow
{
    int top;
    int height;
};
constexpr EditRow kEditRows[] = {{44, 20},  {68, 20},  {90, 20},  {112, 20}, {136, 20}, {158, 20},
                                 {182, 20}, {204, 20}, {228, 20}, {250, 20}, {274, 20}, {297, 20},
                                 {321, 20}, {343, 20}, {366, 16}, {390, 17}};
constexpr int kWindowY = 34;

} // namespace

TEST(Artwork, ToolbarIconsAreDrawnOnlyForTheirIndices)
{
    EnsureApplication();
    for (int index : kDrawnIcons) {
        const QImage icon = artwork::ToolbarIcon(index).toImage();
        EXPECT_EQ(icon.size(), QSize(16, 16)) << index;
        EXPECT_TRUE(icon.hasAlphaChannel()) << index;
        EXPECT_FALSE(FullyTransparent(icon)) << index;
        // The background stays clear: some pixel at the rim is see-through.
        bool clearRim = false;
        for (int i = 0; i < 16; ++i) {
            clearRim = clearRim || qAlpha(icon.pixel(i, 0)) == 0 || qAlpha(icon.pixel(0, i)) == 0 ||
                       qAlpha(icon.pixel(i, 15)) == 0 || qAlpha(icon.pixel(15, i)) == 0;
        }
        EXPECT_TRUE(clearRim) << index;
        EXPECT_EQ(icon, artwork::ToolbarIcon(index).toImage()) << index;
        EXPECT_EQ(
            artwork::ToolbarIconSet(index).pixmap(16, 16).toImage().convertToFormat(icon.format()),
            icon)
            << index;
    }
    // A misrouted index would show up as two equal pictures.
    for (std::size_t a = 0; a < std::size(kDrawnIcons); ++a) {
        for (std::size_t b = a + 1; b < std::size(kDrawnIcons); ++b) {
            EXPECT_NE(artwork::ToolbarIcon(kDrawnIcons[a]).toImage(),
                      artwork::ToolbarIcon(kDrawnIcons[b]).toImage())
                << kDrawnIcons[a] << " vs " << kDrawnIcons[b];
        }
    }
    for (int index : {-1, 6, 7, 12, 18, 21, 1000}) {
        const QImage icon = artwork::ToolbarIcon(index).toImage();
        EXPECT_EQ(icon.size(), QSize(16, 16)) << index;
        EXPECT_TRUE(FullyTransparent(icon)) << index;
    }
}

TEST(Artwork, FieldCaptionsLeaveTheEditColumnPlainAndCaptionEveryRow)
{
    EnsureApplication();
    const QImage image = artwork::FieldCaptionImage();
    ASSERT_EQ(image.size(), QSize(239, 415));
    EXPECT_TRUE(Opaque(image));
    EXPECT_EQ(image, artwork::FieldCaptionImage());

    for (const EditRow &row : kEditRows) {
        const int top = row.top - kWindowY;
        const QRgb ground = image.pixel(64, top);
        bool plain = true;
        for (int y = top; y < top + row.height; ++y) {
            for (int x = 64; x <= 223; ++x) {
                plain = plain && image.pixel(x, y) == ground;
            }
        }
        EXPECT_TRUE(plain) << "edit at window y " << row.top;
        EXPECT_GE(qGray(ground), 240) << "edit at window y " << row.top;

        // Dark caption ink lies within the edit's own rows, never outside.
        int inkTop = -1;
        int inkBottom = -1;
        for (int y = top - 2; y < top + row.height + 2; ++y) {
            for (int x = 4; x < 60; ++x) {
                if (qGray(image.pixel(x, y)) < 128) {
                    inkTop = inkTop < 0 ? y : inkTop;
                    inkBottom = y;
                }
            }
        }
        ASSERT_GE(inkTop, 0) << "no caption beside window y " << row.top;
        EXPECT_GE(inkTop, top) << row.top;
        EXPECT_LT(inkBottom, top + row.height) << row.top;
        const int inkMiddle2 = inkTop + inkBottom;
        const int rowMiddle2 = 2 * top + row.height - 1;
        EXPECT_LE(std::abs(inkMiddle2 - rowMiddle2), 2) << "caption off centre at " << row.top;
    }
}

TEST(Artwork, SplashIsOpaqueAndStable)
{
    EnsureApplication();
    const QImage splash = artwork::SplashImage();
    EXPECT_EQ(splash.size(), QSize(469, 269));
    EXPECT_EQ(splash.format(), QImage::Format_RGB32);
    EXPECT_TRUE(Opaque(splash));
    EXPECT_EQ(splash, artwork::SplashImage());
}
