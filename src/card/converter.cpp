#include "card/converter.h"

void Converter::SetWidth(int cardWidthPixels)
{
    k = 910.0 / cardWidthPixels;
}

// static_cast<int> truncates toward zero, which the toolkit's Trunc does.
int Converter::ToDevice(int v) const
{
    return static_cast<int>(v / k + 0.5);
}

int Converter::ToModel(int p) const
{
    return static_cast<int>(p * k + 0.5);
}
