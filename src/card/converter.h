#pragma once
#include <cstdint>

// Maps model units (0.1 mm) onto the pixels of one target. One factor serves
// both axes: it is taken from the width the card's 910 units span.
class Converter
{
public:
    Converter() = default;
    explicit Converter(int cardWidthPixels) { SetWidth(cardWidthPixels); }
    virtual ~Converter() = default;

    // k = 910.0 / W
    void SetWidth(int cardWidthPixels);
    double Factor() const { return k; }

    // Both add 0.5 and truncate toward zero, so negative values move toward 0.
    int ToDevice(int v) const;
    int ToModel(int p) const;

    // Sums and products of stored coordinates are formed in 64 bits and
    // brought back into range with these; only damaged files reach the ends.
    static std::int32_t Saturate(long long v);
    static int Truncate(double v);

private:
    double k = 1.0;
};
