#include "editor/geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <numeric>
#include <tuple>

namespace geometry {

namespace {

// Where a move stops so that part of the object stays on the card; a resize
// stops its moving edges at the same places.
constexpr long long kMinRight = 20;
constexpr long long kMinBottom = 20;
constexpr long long kMaxLeft = kCardWidth - 30;
constexpr long long kMaxTop = kCardHeight - 30;

std::int32_t saturate(long long v)
{
    return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// Rounds toward minus infinity, so that a middle rounds the same way on
// both sides of zero.
long long floorHalf(long long twice)
{
    return twice >= 0 ? twice / 2 : -((-twice + 1) / 2);
}

long long middle(long long lo, long long hi)
{
    return floorHalf(lo + hi);
}

// The shift along one axis that keeps [lo, hi] + d partly on the card.
long long clampShift(long long lo, long long hi, long long d, long long maxLo, long long minHi)
{
    if (hi + d < minHi)
        d = minHi - hi;
    if (lo + d > maxLo)
        d = maxLo - lo;
    return d;
}

// The same for 32-bit edges, neither of which passes the 32-bit range, so
// that the object keeps its size (the bounds are ordered for any two).
long long clampMoveShift(std::int32_t lo, std::int32_t hi, long long d, long long maxLo,
                         long long minHi)
{
    return std::clamp(clampShift(lo, hi, d, maxLo, minHi), static_cast<long long>(INT32_MIN) - lo,
                      static_cast<long long>(INT32_MAX) - hi);
}

// The least size along one axis: the minimum, and for the edge that moves
// (dir -1 the low one, 1 the high one) the place where a move would stop.
long long leastSize(int dir, long long lo, long long hi, long long maxLo, long long minHi)
{
    if (dir > 0)
        return std::max(kMinSize, minHi - lo);
    if (dir < 0)
        return std::max(kMinSize, hi - maxLo);
    return kMinSize;
}

// The nearest of `lines` to any of `edges` within `tolerance`: the shift
// and the line.
std::pair<long long, std::optional<int>> snapAxis(std::initializer_list<long long> edges,
                                                  const std::vector<int> &lines, int tolerance)
{
    long long best = 0;
    std::optional<int> line;
    for (const int l : lines)
        for (const long long e : edges) {
            const long long d = l - e;
            if (std::llabs(d) <= tolerance && (!line || std::llabs(d) < std::llabs(best))) {
                best = d;
                line = l;
            }
        }
    return {best, line};
}

} // namespace

TRect Translated(const TRect &r, Offset o)
{
    return TRect{saturate(r.left + o.dx), saturate(r.top + o.dy), saturate(r.right + o.dx),
                 saturate(r.bottom + o.dy)};
}

std::pair<long long, long long> FitSize(long long w, long long h, long long bw, long long bh)
{
    if (w * bh >= h * bw)
        return {bw, std::max(1ll, (h * bw + w / 2) / w)};
    return {std::max(1ll, (w * bh + h / 2) / h), bh};
}

std::optional<TRect> FitInto(const TRect &r, const TRect &box)
{
    const long long bw = static_cast<long long>(box.right) - box.left;
    const long long bh = static_cast<long long>(box.bottom) - box.top;
    const long long w = static_cast<long long>(r.right) - r.left;
    const long long h = static_cast<long long>(r.bottom) - r.top;
    if (bw <= 0 || bh <= 0 || w <= 0 || h <= 0)
        return std::nullopt;
    const auto [fw, fh] = FitSize(w, h, bw, bh);
    const long long left = box.left + (bw - fw) / 2;
    const long long top = box.top + (bh - fh) / 2;
    return TRect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                 static_cast<std::int32_t>(left + fw), static_cast<std::int32_t>(top + fh)};
}

std::pair<int, int> HandleEdges(Handle h)
{
    switch (h) {
    case Handle::TopLeft:
        return {-1, -1};
    case Handle::Top:
        return {0, -1};
    case Handle::TopRight:
        return {1, -1};
    case Handle::Right:
        return {1, 0};
    case Handle::BottomRight:
        return {1, 1};
    case Handle::Bottom:
        return {0, 1};
    case Handle::BottomLeft:
        return {-1, 1};
    case Handle::Left:
        return {-1, 0};
    case Handle::None:
        break;
    }
    return {0, 0};
}

TRect HandleBox(Handle h, const TRect &view)
{
    const int L = view.left, T = view.top, R = view.right, B = view.bottom;
    const int mx = L + (R - L) / 2, my = T + (B - T) / 2;
    auto box = [](int x1, int y1, int x2, int y2) {
        return TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    };
    constexpr int k = kHandlePixels, half = kHandlePixels / 2;
    switch (h) {
    case Handle::TopLeft:
        return box(L, T, L + k, T + k);
    case Handle::TopRight:
        return box(R, T, R - k, T + k);
    case Handle::BottomLeft:
        return box(L, B, L + k, B - k);
    case Handle::BottomRight:
        return box(R, B, R - k, B - k);
    case Handle::Top:
        return box(mx - half, T, mx + k - half, T + k);
    case Handle::Bottom:
        return box(mx - half, B, mx + k - half, B - k);
    case Handle::Left:
        return box(L, my - half, L + k, my + k - half);
    case Handle::Right:
        return box(R, my - half, R - k, my + k - half);
    case Handle::None:
        break;
    }
    return {};
}

Handle HandleAt(const TRect &view, int x, int y)
{
    for (Handle h : {Handle::TopLeft, Handle::TopRight, Handle::BottomRight, Handle::BottomLeft,
                     Handle::Top, Handle::Right, Handle::Bottom, Handle::Left}) {
        const TRect b = HandleBox(h, view);
        if (x >= b.left - 2 && x < b.right + 2 && y >= b.top - 2 && y < b.bottom + 2)
            return h;
    }
    return Handle::None;
}

Offset ClampMove(const TRect &box, long long dx, long long dy)
{
    return {clampMoveShift(box.left, box.right, dx, kMaxLeft, kMinRight),
            clampMoveShift(box.top, box.bottom, dy, kMaxTop, kMinBottom)};
}

TRect Resized(const TRect &from, Handle handle, long long x, long long y, Shape shape)
{
    const auto [dx, dy] = HandleEdges(handle);
    if (!dx && !dy)
        return from;
    long long l = from.left, t = from.top, r = from.right, b = from.bottom;
    const long long w0 = r - l, h0 = b - t;
    const long long wantW = dx > 0 ? x - l : dx < 0 ? r - x : w0;
    const long long wantH = dy > 0 ? y - t : dy < 0 ? b - y : h0;
    const long long minW = leastSize(dx, l, r, kMaxLeft, kMinRight);
    const long long minH = leastSize(dy, t, b, kMaxTop, kMinBottom);
    if (shape == Shape::Aspect && (w0 <= 0 || h0 <= 0))
        shape = Shape::Free;
    long long w = 0, h = 0;
    switch (shape) {
    case Shape::Square: {
        const long long want = dx && dy ? std::max(wantW, wantH) : dx ? wantW : wantH;
        w = h = std::max({want, minW, minH});
        break;
    }
    case Shape::Aspect: {
        // The axis the pointer pulls further sets the scale.
        const double k = std::max({static_cast<double>(wantW) / w0, static_cast<double>(wantH) / h0,
                                   static_cast<double>(minW) / w0, static_cast<double>(minH) / h0});
        auto scaled = [k](long long v) {
            return std::llround(std::min(v * k, static_cast<double>(INT32_MAX)));
        };
        w = std::max(minW, scaled(w0));
        h = std::max(minH, scaled(h0));
        break;
    }
    case Shape::Free:
        w = std::max(wantW, minW);
        h = std::max(wantH, minH);
        break;
    }
    auto place = [shape](int dir, long long &lo, long long &hi, long long size, long long was,
                         long long maxLo, long long minHi) {
        if (dir > 0) {
            hi = lo + size;
        } else if (dir < 0) {
            lo = hi - size;
        } else {
            if (shape == Shape::Square)
                lo += (was - size) / 2;
            hi = lo + size;
            const long long d = clampShift(lo, hi, 0, maxLo, minHi);
            lo += d;
            hi += d;
        }
    };
    place(dx, l, r, w, w0, kMaxLeft, kMinRight);
    place(dy, t, b, h, h0, kMaxTop, kMinBottom);
    return TRect{saturate(l), saturate(t), saturate(r), saturate(b)};
}

TRect BoundingRect(const std::vector<TRect> &rects)
{
    if (rects.empty())
        return {};
    TRect box = rects.front();
    for (const TRect &r : rects) {
        box.left = std::min(box.left, r.left);
        box.top = std::min(box.top, r.top);
        box.right = std::max(box.right, r.right);
        box.bottom = std::max(box.bottom, r.bottom);
    }
    return box;
}

std::vector<Offset> AlignOffsets(const std::vector<TRect> &rects, Align mode, const TRect &target)
{
    std::vector<Offset> offsets;
    offsets.reserve(rects.size());
    for (const TRect &r : rects) {
        Offset o;
        switch (mode) {
        case Align::Left:
            o.dx = static_cast<long long>(target.left) - r.left;
            break;
        case Align::HCenter:
            o.dx = middle(target.left, target.right) - middle(r.left, r.right);
            break;
        case Align::Right:
            o.dx = static_cast<long long>(target.right) - r.right;
            break;
        case Align::Top:
            o.dy = static_cast<long long>(target.top) - r.top;
            break;
        case Align::VCenter:
            o.dy = middle(target.top, target.bottom) - middle(r.top, r.bottom);
            break;
        case Align::Bottom:
            o.dy = static_cast<long long>(target.bottom) - r.bottom;
            break;
        }
        offsets.push_back(o);
    }
    return offsets;
}

std::vector<Offset> DistributeOffsets(const std::vector<TRect> &rects, Axis axis)
{
    std::vector<Offset> offsets(rects.size());
    const std::size_t n = rects.size();
    if (n < 3)
        return offsets;
    const bool across = axis == Axis::Horizontal;
    auto lo = [&](std::size_t i) -> long long { return across ? rects[i].left : rects[i].top; };
    auto hi = [&](std::size_t i) -> long long { return across ? rects[i].right : rects[i].bottom; };
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return lo(a) < lo(b); });
    long long sizes = 0;
    for (std::size_t i = 0; i < n; ++i)
        sizes += hi(i) - lo(i);
    const long long start = lo(order.front());
    // What the span leaves between the objects, shared out; negative when
    // they overlap more than they are apart.
    const long long space = hi(order.back()) - start - sizes;
    const long long gaps = static_cast<long long>(n) - 1;
    long long before = 0; // the sizes of the objects placed so far
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        const long long q = space * static_cast<long long>(k);
        // Floor division, so the gaps differ by at most one unit.
        const long long share = q >= 0 ? q / gaps : -((-q + gaps - 1) / gaps);
        const long long shift = start + before + share - lo(i);
        (across ? offsets[i].dx : offsets[i].dy) = shift;
        before += hi(i) - lo(i);
    }
    return offsets;
}

Guides CardGuides(const std::vector<TRect> &others)
{
    Guides g{{0, kCardWidth / 2, kCardWidth}, {0, kCardHeight / 2, kCardHeight}};
    for (const TRect &r : others) {
        g.xs.insert(g.xs.end(), {r.left, static_cast<int>(middle(r.left, r.right)), r.right});
        g.ys.insert(g.ys.end(), {r.top, static_cast<int>(middle(r.top, r.bottom)), r.bottom});
    }
    return g;
}

Snap SnapMove(const TRect &moving, const Guides &guides, int tolerance)
{
    Snap s;
    std::tie(s.offset.dx, s.x) = snapAxis(
        {moving.left, middle(moving.left, moving.right), moving.right}, guides.xs, tolerance);
    std::tie(s.offset.dy, s.y) = snapAxis(
        {moving.top, middle(moving.top, moving.bottom), moving.bottom}, guides.ys, tolerance);
    return s;
}

} // namespace geometry
