#pragma once
#include <string>

class Objects;

// The card as one JSON object (UTF-8, one line):
// {"records": [{"key": ..., "class": ..., "order": ..., "visible": ...,
// "rect": [l, t, r, b], ...}, ...]} in the collection's key order. Text
// objects add "header" (TextObjectWithHeader only), "text", "font" and
// "color"; graphic objects add "source" and "picture" (null when none is
// stored). "visible" is the stored flag. Shift-JIS bytes are decoded, an
// undecodable sequence becoming U+FFFD.
std::string CardJson(const Objects &card);
