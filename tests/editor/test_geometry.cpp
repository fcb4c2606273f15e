#include "editor/geometry.h"

#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const TRect &r, std::ostream *os)
{
    *os << '{' << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << '}';
}

namespace geometry {
void PrintTo(const Offset &o, std::ostream *os)
{
    *os << '(' << o.dx << ',' << o.dy << ')';
}
} // namespace geometry

using namespace geometry;

TEST(Geometry, HandleUnderAViewPixel)
{
    const TRect box{100, 100, 200, 160}, tiny{100, 100, 110, 110};
    struct Row
    {
        TRect view;
        int x, y;
        Handle want;
    } rows[] = {
        {box, 100, 100, Handle::TopLeft},
        {box, 98, 98, Handle::TopLeft},
        {box, 97, 97, Handle::None},
        {box, 201, 161, Handle::BottomRight},
        {box, 202, 161, Handle::None},
        {box, 150, 101, Handle::Top},
        {box, 150, 158, Handle::Bottom},
        {box, 99, 130, Handle::Left},
        {box, 199, 130, Handle::Right},
        {box, 150, 130, Handle::None},
        {box, 199, 100, Handle::TopRight},
        {box, 100, 159, Handle::BottomLeft},
        // On a small object the corners' reach covers the edges' handles.
        {tiny, 103, 100, Handle::TopLeft},
        {tiny, 109, 100, Handle::TopRight},
        {tiny, 109, 109, Handle::BottomRight},
        // Every handle is 6 pixels at least, however small the view.
        {box, 105, 105, Handle::TopLeft},
        {box, 194, 155, Handle::BottomRight},
    };
    for (const Row &r : rows)
        EXPECT_EQ(HandleAt(r.view, r.x, r.y), r.want) << r.x << "," << r.y;
}

TEST(Geometry, ResizeByAHandle)
{
    const TRect wide{100, 100, 300, 200}, square{100, 100, 200, 200};
    struct Row
    {
        TRect from;
        Handle handle;
        long long x, y;
        Shape shape;
        TRect want;
    } rows[] = {
        {wide, Handle::BottomRight, 400, 260, Shape::Free, {100, 100, 400, 260}},
        // The axis pulled further sets the scale.
        {wide, Handle::BottomRight, 500, 210, Shape::Aspect, {100, 100, 500, 300}},
        {wide, Handle::TopLeft, 250, 190, Shape::Aspect, {250, 175, 300, 200}},
        {wide, Handle::Left, 50, 0, Shape::Free, {50, 100, 300, 200}},
        {wide, Handle::Right, 105, 0, Shape::Free, {100, 100, 120, 200}},
        {wide, Handle::Top, 0, 250, Shape::Free, {100, 180, 300, 200}},
        {square, Handle::TopLeft, 50, 80, Shape::Square, {50, 50, 200, 200}},
        // An edge handle of a square grows the other axis about its middle.
        {square, Handle::Bottom, 0, 240, Shape::Square, {80, 100, 220, 240}},
        // A moving edge stops where a move would.
        {{-100, 100, 10, 200}, Handle::Right, 0, 0, Shape::Free, {-100, 100, 20, 200}},
        {{850, 100, 900, 200}, Handle::Left, 895, 0, Shape::Free, {880, 100, 900, 200}},
        // The axis no handle moves is brought back onto the card.
        {{100, -200, 300, 10}, Handle::Right, 400, 0, Shape::Free, {100, -190, 400, 20}},
        {wide, Handle::None, 0, 0, Shape::Free, wide},
        {{0, 0, 0, 0}, Handle::BottomRight, 50, 40, Shape::Aspect, {0, 0, 50, 40}},
        {{0, 0, 100, 100},
         Handle::BottomRight,
         1LL << 40,
         1LL << 40,
         Shape::Aspect,
         {0, 0, INT32_MAX, INT32_MAX}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Resized(r.from, r.handle, r.x, r.y, r.shape), r.want)
            << static_cast<int>(r.handle) << " to " << r.x << "," << r.y;
}

TEST(Geometry, MovesStayPartlyOnTheCard)
{
    const TRect box{100, 100, 200, 200};
    struct Row
    {
        TRect box;
        long long dx, dy;
        Offset want;
    } rows[] = {
        {box, 50, -30, {50, -30}},
        {box, 900, 0, {780, 0}},
        {box, -500, 0, {-180, 0}},
        {box, 0, 1000, {0, 420}},
        {box, 0, -400, {0, -180}},
        {{900, 600, 950, 650}, 0, 0, {-20, -80}},
        // Far beyond 32 bits neither overflows nor escapes; an edge at the
        // 32-bit limit stops there, so the box keeps its size.
        {box, 1LL << 40, -(1LL << 40), {780, -180}},
        {{100, INT32_MIN + 5, INT32_MAX - 5, 100}, 10, -10, {5, -5}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(ClampMove(r.box, r.dx, r.dy), r.want) << r.dx << "," << r.dy;
    EXPECT_EQ(Translated({INT32_MAX - 5, 0, INT32_MAX, 10}, {10, -3}),
              (TRect{INT32_MAX, -3, INT32_MAX, 7}));
}

TEST(Geometry, BoundingRect)
{
    EXPECT_EQ(BoundingRect({}), TRect{});
    EXPECT_EQ(BoundingRect({{5, 6, 7, 8}}), (TRect{5, 6, 7, 8}));
    EXPECT_EQ(BoundingRect({{10, 20, 30, 40}, {-5, 25, 15, 60}, {0, 0, 1, 1}}),
              (TRect{-5, 0, 30, 60}));
}

TEST(Geometry, AlignToABox)
{
    const std::vector<TRect> rects{{10, 10, 50, 30}, {100, 40, 161, 100}};
    const TRect box = BoundingRect(rects); // 10, 10, 161, 100
    struct Row
    {
        Align mode;
        TRect target;
        Offset a, b;
    } rows[] = {
        {Align::Left, box, {0, 0}, {-90, 0}},
        {Align::HCenter, box, {55, 0}, {-45, 0}}, // middles 85, 30, 130
        {Align::Right, box, {111, 0}, {0, 0}},
        {Align::Top, box, {0, 0}, {0, -30}},
        {Align::VCenter, box, {0, 35}, {0, -15}},
        {Align::Bottom, box, {0, 70}, {0, 0}},
        {Align::HCenter, kCard, {425, 0}, {325, 0}},
        {Align::Bottom, kCard, {0, 520}, {0, 450}},
    };
    for (const Row &r : rows) {
        const std::vector<Offset> got = AlignOffsets(rects, r.mode, r.target);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], r.a) << static_cast<int>(r.mode);
        EXPECT_EQ(got[1], r.b) << static_cast<int>(r.mode);
    }
}

TEST(Geometry, DistributeEvenly)
{
    struct Row
    {
        std::vector<TRect> rects;
        Axis axis;
        std::vector<Offset> want;
    } rows[] = {
        // Given out of order: the leftmost and the rightmost stay.
        {{{100, 0, 120, 5}, {0, 0, 10, 5}, {15, 0, 25, 5}},
         Axis::Horizontal,
         {{0, 0}, {0, 0}, {35, 0}}},
        // 81 units shared by two gaps: the earlier is the smaller.
        {{{0, 0, 10, 5}, {15, 0, 25, 5}, {101, 0, 121, 5}},
         Axis::Horizontal,
         {{0, 0}, {35, 0}, {0, 0}}},
        {{{0, 0, 5, 10}, {0, 12, 5, 22}, {0, 20, 5, 30}, {0, 70, 5, 80}},
         Axis::Vertical,
         {{0, 0}, {0, 11}, {0, 26}, {0, 0}}},
        // Overlapping more than apart: negative gaps, still equal.
        {{{0, 0, 50, 5}, {5, 0, 55, 5}, {20, 0, 70, 5}},
         Axis::Horizontal,
         {{0, 0}, {5, 0}, {0, 0}}},
        {{{0, 0, 10, 5}, {50, 0, 60, 5}}, Axis::Horizontal, {{0, 0}, {0, 0}}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(DistributeOffsets(r.rects, r.axis), r.want);
}

TEST(Geometry, SnapToTheNearestGuide)
{
    const Guides guides = CardGuides({{200, 100, 300, 150}});
    EXPECT_EQ(guides.xs, (std::vector<int>{0, 455, 910, 200, 250, 300}));
    EXPECT_EQ(guides.ys, (std::vector<int>{0, 275, 550, 100, 125, 150}));
    struct Row
    {
        TRect moving;
        int tolerance;
        Offset want;
        std::optional<int> x, y;
    } rows[] = {
        {{5, 3, 45, 23}, 10, {-5, -3}, 0, 0},
        // Middles onto the card's middle lines, already there.
        {{440, 260, 470, 290}, 10, {0, 0}, 455, 275},
        {{600, 400, 640, 420}, 10, {0, 0}, std::nullopt, std::nullopt},
        // The nearest of the edges wins; exactly the tolerance still snaps.
        {{292, 390, 302, 400}, 10, {-2, 0}, 300, std::nullopt},
        {{600, 160, 640, 180}, 10, {0, -10}, std::nullopt, 150},
        {{600, 160, 640, 180}, 9, {0, 0}, std::nullopt, std::nullopt},
    };
    for (const Row &r : rows) {
        const Snap s = SnapMove(r.moving, guides, r.tolerance);
        EXPECT_EQ(s.offset, r.want) << r.moving.left;
        EXPECT_EQ(s.x, r.x) << r.moving.left;
        EXPECT_EQ(s.y, r.y) << r.moving.left;
    }
}
