#pragma once
#include "card/rect.h"

#include <optional>
#include <utility>
#include <vector>

// The arithmetic of placing rectangles on the card: handles, resizing,
// keeping moves on the card, aligning, distributing and snapping. Pure
// functions over rectangles and integers, nothing else: no session, no
// objects, no painting. Model units throughout (the card is 910 x 550, ten
// units a millimetre) except where a function says view pixels. A selection
// of one object passes its rectangle, one of several their BoundingRect.
namespace geometry {

inline constexpr int kCardWidth = 910;
inline constexpr int kCardHeight = 550;
inline constexpr TRect kCard{0, 0, kCardWidth, kCardHeight};
// The least width and height an object is sized to: 2 mm.
inline constexpr long long kMinSize = 20;

// A shift in model units; 64 bits, so the distance between any two stored
// edges fits.
struct Offset
{
    long long dx = 0;
    long long dy = 0;

    bool operator==(const Offset &) const = default;
};

// `r` shifted by `o`, each edge saturated to the 32-bit range.
TRect Translated(const TRect &r, Offset o);

// The size of `w` x `h` (both positive) scaled to fit inside `bw` x `bh`, its
// aspect kept: one side takes the box's, the other is rounded, at least 1.
std::pair<long long, long long> FitSize(long long w, long long h, long long bw, long long bh);
// A rectangle of `r`'s shape fitted inside `box` and centred in it; none
// when either is empty.
std::optional<TRect> FitInto(const TRect &r, const TRect &box);

// --- Handles -------------------------------------------------------------

// The handles of a sizable rectangle: the corner marks and the middles of
// the edges.
enum class Handle
{
    None,
    TopLeft,
    Top,
    TopRight,
    Right,
    BottomRight,
    Bottom,
    BottomLeft,
    Left
};

// Which edges a handle moves: -1 the left or top, 1 the right or bottom, 0
// neither on that axis.
std::pair<int, int> HandleEdges(Handle h);

// A handle's side in view pixels (logical pixels: more device pixels on a
// high-density screen): big enough to see and to catch at any zoom.
inline constexpr int kHandlePixels = 6;

// The pixels of a handle's square for a rectangle whose edges lie at the
// view pixels `view` (right and bottom exclusive in the result, as filled):
// each corner's is the corner mark reaching kHandlePixels inward, each
// edge's a square of that side at the edge's middle. Empty for None.
TRect HandleBox(Handle h, const TRect &view);

// The handle whose square, widened by 2 pixels on every side, holds the view
// pixel (x, y); corners win over edges. None elsewhere.
Handle HandleAt(const TRect &view, int x, int y);

// --- Moving and sizing ---------------------------------------------------

// The shift that moves `box` by (dx, dy) as far as it may go while part of
// it stays on the card: its right edge no further left than 20, its bottom
// no higher than 20, its left no further right than 880, its top no lower
// than 520. A box already beyond a limit is brought back to it. Neither
// edge is shifted past the 32-bit range: the box keeps its size.
Offset ClampMove(const TRect &box, long long dx, long long dy);

enum class Shape
{
    Free,   // each moved edge follows the pointer
    Aspect, // width and height keep their ratio
    Square  // width equals height
};

// `from` sized by `handle` toward the model point (x, y). The edges opposite
// the handle stay; an axis the handle does not move keeps its low edge (for
// a square, its middle) and is kept partly on the card as ClampMove keeps
// it. Each side is at least kMinSize, and a moving edge stops where a move
// would stop. Aspect keeps the shape of `from` (the axis pulled further sets
// the scale; Free for an empty `from`). None returns `from` unchanged.
TRect Resized(const TRect &from, Handle handle, long long x, long long y, Shape shape);

// --- Several rectangles --------------------------------------------------

// The least rectangle holding every one of `rects`; all zero for none.
TRect BoundingRect(const std::vector<TRect> &rects);

enum class Align
{
    Left,
    HCenter,
    Right,
    Top,
    VCenter,
    Bottom
};

// For each of `rects`, in order, the shift that lines its edge or middle
// given by `mode` up with the same one of `target` (the selection's box, or
// kCard). A middle between two units rounds toward the top-left.
std::vector<Offset> AlignOffsets(const std::vector<TRect> &rects, Align mode, const TRect &target);

enum class Axis
{
    Horizontal,
    Vertical
};

// For each of `rects`, in order, the shift that spreads them evenly along
// `axis`: taken in the order of their left (top) edges, the first and the
// last stay and the others move so that the gaps between neighbours are
// equal (to a unit; earlier gaps are the smaller). Fewer than three stay
// where they are.
std::vector<Offset> DistributeOffsets(const std::vector<TRect> &rects, Axis axis);

// Lines a moving rectangle may snap to: x lines (vertical) and y lines.
struct Guides
{
    std::vector<int> xs;
    std::vector<int> ys;
};

// The card's edges and middle lines, then the edges and middles of
// `others` (the objects not being moved).
Guides CardGuides(const std::vector<TRect> &others);

struct Snap
{
    Offset offset;        // to add to the moving rectangle
    std::optional<int> x; // the x line it snapped to, if any
    std::optional<int> y; // the y line it snapped to, if any
};

// Snaps `moving` to the nearest guide on each axis independently: the
// rectangle's left, middle or right (top, middle or bottom) that lies
// within `tolerance` model units of a line moves onto it. The nearest wins;
// on a tie, the earlier line, then the earlier of low edge, middle, high
// edge. No line in reach leaves that axis unshifted.
Snap SnapMove(const TRect &moving, const Guides &guides, int tolerance);

} // namespace geometry
