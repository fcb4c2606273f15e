#pragma once
#include "card/converter.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"

#include <QColor>
#include <QImage>

// A card whose one object, a solid-colour picture, covers it edge to edge,
// with its drawing order built as the print command builds it.
class SolidCard
{
public:
    explicit SolidCard(QColor color)
    {
        QImage image(91, 55, QImage::Format_RGB32);
        image.fill(color);
        auto *picture = new GraphicObject;
        picture->SetPicture(BitmapPicture::FromImage(image), Converter(343), "solid.bmp");
        picture->SetRect({0, 0, 910, 550});
        card["bPicture"].reset(picture);
        order = MakeDrawingOrder(card);
    }

    const DrawingOrder &Order() const { return order; }

private:
    Objects card;
    DrawingOrder order;
};

inline const QColor kCardColor(200, 30, 60);

inline bool isCardColor(QRgb px)
{
    return qAbs(qRed(px) - 200) < 10 && qAbs(qGreen(px) - 30) < 10 && qAbs(qBlue(px) - 60) < 10;
}

inline bool isWhite(QRgb px)
{
    return qRed(px) > 245 && qGreen(px) > 245 && qBlue(px) > 245;
}
