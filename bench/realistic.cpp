#include "realistic.h"
#include "realistic_texts.h"

#include "card/defaultcard.h"
#include "card/object.h"
#include "card/sjis.h"
#include "qr/qrcode.h"

#include <QFile>
#include <algorithm>

QImage photo(int width, int height, std::uint32_t seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int fy = y * 255 / height;
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = static_cast<int>(state >> 27) - 16;
            const int fx = x * 255 / width;
            const int band = ((x / 37 + y / 53) & 7) * 6;
            line[x] = qRgb(qBound(0, fx + grain + band, 255), qBound(0, fy + grain, 255),
                           qBound(0, (fx + fy) / 2 - grain + band, 255));
        }
    }
    return image;
}

namespace {

constexpr auto &kTexts = kRealisticTexts;

} // namespace

void buildRealisticCard(EditSession &editor, const QByteArray &jpeg, const QByteArray &bmp)
{
    editor.ToggleQr();
    for (const auto &[key, text] : kTexts)
        editor.EditChanged(key, QString::fromUtf8(text));
    auto &back = dynamic_cast<GraphicObject &>(*editor.Card().Find(kBackPictureKey));
    back.SetPicture(JpegPicture::FromBytes(jpeg), editor.Screen(),
                    sjis::fromUtf8("C:\\写真\\背景.jpg"));
    back.SetVisible(true);
    auto &pic = dynamic_cast<GraphicObject &>(*editor.Card().Find(kPictureKey));
    pic.SetPicture(BitmapPicture::FromBytes(bmp), editor.Screen(),
                   sjis::fromUtf8("C:\\画像\\ロゴ.bmp"));
    pic.SetVisible(true);
    TRect r;
    pic.GetRect(r);
    pic.SetRect({r.left + 620, r.top + 330, r.right + 620, r.bottom + 330});
    editor.RefreshCanvas();
    editor.SetModified(false);
}

Realistic &realistic()
{
    static Realistic *r = [] {
        auto *f = new Realistic;
        f->jpeg = encodeImage(photo(4000, 3000, 7), "JPG", 90);
        f->bmp = encodeImage(photo(2000, 1500, 11), "BMP", -1);
        std::size_t i = 0;
        for (const auto &[key, text] : kTexts)
            f->texts[i++] = {key, sjis::fromUtf8(text)};
        buildRealisticCard(f->editor, f->jpeg, f->bmp);
        f->file = f->editor.SaveBytes();
        f->qrText = BuildQrText(f->editor.Card());
        return f;
    }();
    return *r;
}

void withSpread(benchmark::internal::Benchmark *b)
{
    b->ComputeStatistics("min", [](const std::vector<double> &v) {
         return *std::min_element(v.begin(), v.end());
     })->ComputeStatistics("max", [](const std::vector<double> &v) {
        return *std::max_element(v.begin(), v.end());
    });
}

int writeRealisticCard(const QString &cardFile)
{
    QFile f(cardFile);
    const QByteArray &bytes = realistic().file;
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return 1;
    return 0;
}
