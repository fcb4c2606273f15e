#include "qr/qrcode.h"

#include "card/cardoptions.h"
#include "card/converter.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/font.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"

#include <QFile>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <utility>

namespace {

// Text drawing needs a QGuiApplication; one serves every test.
class QtEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        installFontSubstitutions();
    }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[8] = "test_qr";
    char *argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> app;
};
[[maybe_unused]] testing::Environment *const qtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

using Fields = std::initializer_list<std::pair<const char *, const char *>>; // key, UTF-8

// The default card, destroyed however the test ends.
struct Card
{
    Objects objects;
    Card() { BuildDefaultCard(objects); }
    explicit Card(Fields fields) : Card() { set(fields); }

    void set(Fields fields)
    {
        for (const auto &[key, utf8] : fields)
            text(key).SetText(sjis::fromUtf8(utf8));
    }
    TextObject &text(const char *key) { return dynamic_cast<TextObject &>(*objects[key]); }
    GraphicObject &qr() { return dynamic_cast<GraphicObject &>(*objects[kQrKey]); }
    void showQrAt(int left, int top)
    {
        qr().SetVisible(true);
        qr().SetRect({left, top, left + 50, top + 50});
    }
};

const Converter kScreen(645);

// What zbarimg reads from the image file; with -Sbinary it writes the
// symbol's bytes as they are, no newline after them.
QByteArray decode(const QString &file)
{
    const QString zbarimg = QStandardPaths::findExecutable("zbarimg");
    if (zbarimg.isEmpty()) {
        ADD_FAILURE() << "zbarimg not found (package zbar-tools)";
        return {};
    }
    QProcess p;
    p.start(zbarimg, {"--raw", "-q", "-Sbinary", file});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "zbarimg read no symbol from " << file.toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}

QImage renderCard(const Objects &card, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    RenderCard(card, &painter, Converter(width));
    return image;
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// About 250 bytes of QR text, Kanji and ASCII mixed.
const Fields kAllFields = {
    {"eName", "山田 太郎"},
    {"eFuri", "ヤマダ タロウ"},
    {"eCorp", "株式会社プラクロ"},
    {"eBusho", "営業部"},
    {"eYaku", "部長"},
    {"ePostNo", "100-0001"},
    {"eAddress", "東京都千代田区千代田1-1"},
    {"eTel", "03-1234-5678"},
    {"eMobile", "090-1234-5678"},
    {"eFax", "03-1234-5679"},
    {"eURL", "www.plakuro.example.jp"},
    {"eMail", "taro.yamada@plakuro.example.jp"},
    {"eMemo1", "メモは QR コードに入らない"},
};

// A card a user would make, every field filled; the company holds ソ, whose
// second byte is a backslash in Shift-JIS.
const Fields kContactCard = {
    {"eName", "山田 太郎"},
    {"eFuri", "やまだ たろう"},
    {"eCorp", "プラクロ・ソフト株式会社"},
    {"eBusho", "営業部"},
    {"eYaku", "部長"},
    {"ePostNo", "100-0001"},
    {"eAddress", "東京都千代田区千代田1-1 プラクロビル3F"},
    {"eTel", "03-1234-5678"},
    {"eMobile", "090-1234-5678"},
    {"eFax", "03-1234-5679"},
    {"eURL", "https://www.plakuro.example.jp"},
    {"eMail", "taro.yamada@plakuro.example.jp"},
    {"eMemo1", "メモは QR コードに入らない"},
};

const char *const kContactMecard = // UTF-8 here; the symbol holds Shift-JIS
    "MECARD:N:山田 太郎;SOUND:やまだ たろう;TEL:03-1234-5678;TEL:090-1234-5678;"
    "EMAIL:taro.yamada@plakuro.example.jp;URL:https\\://www.plakuro.example.jp;"
    "ADR:100-0001 東京都千代田区千代田1-1 プラクロビル3F;ORG:プラクロ・ソフト株式会社;"
    "NOTE:営業部 部長;;";

const char *const kContactVcard =
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:山田;太郎;;;\r\n"
    "FN:山田 太郎\r\n"
    "SORT-STRING:やまだ たろう\r\n"
    "X-PHONETIC-LAST-NAME:やまだ\r\n"
    "X-PHONETIC-FIRST-NAME:たろう\r\n"
    "ORG:プラクロ・ソフト株式会社;営業部\r\n"
    "TITLE:部長\r\n"
    "TEL;TYPE=WORK,VOICE:03-1234-5678\r\n"
    "TEL;TYPE=CELL:090-1234-5678\r\n"
    "TEL;TYPE=FAX:03-1234-5679\r\n"
    "ADR;TYPE=WORK:;;東京都千代田区千代田1-1 プラクロビル3F;;;100-0001;\r\n"
    "URL:https://www.plakuro.example.jp\r\n"
    "EMAIL:taro.yamada@plakuro.example.jp\r\n"
    "END:VCARD\r\n";

void setFormat(Objects &card, QrFormat format, bool sizeKept = false)
{
    WriteCardOptions(card, CardOptions{format, sizeKept, {}});
}

TRect qrRect(Card &c)
{
    TRect r;
    c.qr().GetRect(r);
    return r;
}

} // namespace

TEST(QrText, ContactFormats)
{
    // The full card's texts: ContactFormatsReadBackExactly.
    const struct
    {
        const char *what;
        Fields fields;
        const char *mecard; // UTF-8
        const char *vcard;
    } cases[] = {
        {"nothing for a contact", {{"eMemo1", "memo"}}, "", ""},
        {"escapes; a name without a blank; an address without a scheme",
         {{"eName", "A;B:C,D\\E"}, {"eURL", "www.x.jp"}, {"eBusho", "営業"}},
         "MECARD:N:A\\;B\\:C\\,D\\\\E;URL:http\\://www.x.jp;NOTE:営業;;",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\\;B:C\\,D\\\\E;;;;\r\nFN:A\\;B:C\\,D\\\\E\r\n"
         "ORG:;営業\r\nURL:http://www.x.jp\r\nEND:VCARD\r\n"},
        {"full-width blank; title alone; postal code alone",
         {{"eName", "山田\u3000花子"}, {"eYaku", "課長"}, {"ePostNo", "1"}},
         "MECARD:N:山田\u3000花子;ADR:1;NOTE:課長;;",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;花子;;;\r\nFN:山田\u3000花子\r\n"
         "TITLE:課長\r\nADR;TYPE=WORK:;;;;;1;\r\nEND:VCARD\r\n"},
        {"line breaks and controls add no line, property or contact",
         {{"eName", "A\r\nTEL:1\nEND:VCARD"}, {"eTel", "1\t2\x1b"}},
         "MECARD:N:A  TEL\\:1 END\\:VCARD;TEL:1 2 ;;",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\\nTEL:1\\nEND:VCARD;;;;\r\n"
         "FN:A\\nTEL:1\\nEND:VCARD\r\nTEL;TYPE=WORK,VOICE:1 2 \r\nEND:VCARD\r\n"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.what);
        Card c(k.fields);
        EXPECT_EQ(BuildQrText(c.objects, QrFormat::Mecard), sjis::fromUtf8(k.mecard));
        EXPECT_EQ(BuildQrText(c.objects, QrFormat::Vcard), k.vcard);
    }
}

// Where the symbol goes: the bottom-right corner when first shown, on the
// card when it grows, and the user's size kept.
TEST(QrPlace, CornerFirstThenOnTheCardAndAKeptSize)
{
    Card c({{"eName", "ABC"}});
    c.qr().SetVisible(true);
    UpdateQrCode(c.objects, kScreen);
    TRect r = qrRect(c);
    EXPECT_EQ(r.right, kCardModelWidth - kQrCornerMargin);
    EXPECT_EQ(r.bottom, kCardModelHeight - kQrCornerMargin);
    EXPECT_EQ(r.right - r.left, r.bottom - r.top);
    EXPECT_GT(r.left, 600);
    EXPECT_NEAR(QrModuleMillimetres(c.objects), 0.42, 0.01);

    // A record's extreme rectangle is worked in 64 bits (the sanitizer
    // build would stop at an overflow) and ends on the card's right edge.
    Card extreme({{"eName", "ABC"}});
    extreme.qr().SetVisible(true);
    extreme.qr().SetRect({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    UpdateQrCode(extreme.objects, kScreen);
    EXPECT_LE(qrRect(extreme).right, kCardModelWidth);

    // Growing: moved left and up just enough; a size that fits stays put.
    c.set(kAllFields);
    UpdateQrCode(c.objects, kScreen);
    const TRect grown = qrRect(c);
    EXPECT_EQ(grown.right, kCardModelWidth);
    EXPECT_EQ(grown.bottom, kCardModelHeight);
    EXPECT_GT(grown.right - grown.left, r.right - r.left);
    c.set({{"eTel", "03-1234-5670"}});
    UpdateQrCode(c.objects, kScreen);
    EXPECT_EQ(qrRect(c), grown);

    // The largest symbol is taller than the card: top 0.
    c.text("eMemo1").SetText("");
    c.text("eAddress").SetText(std::string(1800, 'a'));
    UpdateQrCode(c.objects, kScreen);
    r = qrRect(c);
    EXPECT_EQ(r.top, 0);
    EXPECT_GT(r.bottom, kCardModelHeight);
    EXPECT_EQ(r.right, kCardModelWidth);

    // Placed by the user and sized: kept whatever the text, the symbol fills it.
    const struct
    {
        TRect rect;
        TRect kept;
        bool small;
    } kept[] = {
        {{100, 100, 400, 400}, {100, 100, 400, 400}, false},
        {{100, 100, 160, 150}, {100, 100, 150, 150}, true}, // made square
    };
    for (const auto &k : kept) {
        Card u({{"eName", "ABC"}});
        setFormat(u.objects, QrFormat::Text, true);
        u.qr().SetVisible(true);
        u.qr().SetRect(k.rect);
        for (Fields f : {Fields{{"eName", "ABCD"}}, kAllFields}) {
            u.set(f);
            UpdateQrCode(u.objects, kScreen);
            EXPECT_EQ(qrRect(u), k.kept);
        }
        const double module = QrModuleMillimetres(u.objects);
        EXPECT_EQ(module < kQrSmallestModuleMm, k.small) << module;
        // Printed, the dark modules reach from one quiet zone to the other.
        const Converter printer(2149);
        const QImage printed = renderCard(u.objects, 2149, 1299);
        const int left = printer.ToDevice(k.kept.left), right = printer.ToDevice(k.kept.right);
        const int top = printer.ToDevice(k.kept.top);
        QRect ink; // the text lies elsewhere
        for (int y = top; y < top + right - left; ++y)
            for (int x = left; x < right; ++x)
                if (qGray(printed.pixel(x, y)) < 128)
                    ink |= QRect(x, y, 1, 1);
        const double quiet = (right - left) * kQrQuietModules * kQrModulePixels /
                             double(u.qr().GetPicture()->Width());
        EXPECT_NEAR(ink.left(), left + quiet, 1.5);
        EXPECT_NEAR(ink.right() + 1, right - quiet, 1.5);
        EXPECT_EQ(ink.width(), ink.height());
    }
}

TEST(QrText, LabelledFieldsInTableOrder)
{
    Card c({{"eTel", "012"}, {"eName", "ABC"}});
    EXPECT_EQ(BuildQrText(c.objects), "\x96\xBC\x91\x4F\x3A"
                                      "ABC\n"
                                      "\x93\x64\x98\x62\x3A"
                                      "012\n");

    // Filled bottom first; a blank counts, the telephone is left empty, the
    // memo never enters and the card's own headers ("TEL ", "〒") do not show.
    Card all;
    all.set({{"eMail", "a@b"}, {"eURL", "https://example.jp"}, {"eFax", "3"}, {"eMobile", "4"}});
    all.set({{"eAddress", " "}, {"ePostNo", "6"}, {"eYaku", "7"}, {"eBusho", "8"}});
    all.set({{"eCorp", "9"}, {"eFuri", "X"}, {"eName", "Y"}, {"eMemo2", "memo"}});
    EXPECT_EQ(BuildQrText(all.objects),
              sjis::fromUtf8("名前:Y\nフリガナ:X\n会社名:9\n部署:8\n役職:7\n〒:6\n住所: \n"
                             "携帯:4\nFAX:3\nURL:https://example.jp\nE-Mail:a@b\n"));

    Card memo({{"eMemo1", "メモ1"}, {"eMemo2", "メモ2"}});
    EXPECT_EQ(BuildQrText(memo.objects), "");

    // A line break, even behind a lone lead byte, starts no field of its own.
    Card breaks({{"eName", "A\nTEL:1"}});
    breaks.text("eCorp").SetText("\x81\n");
    EXPECT_EQ(BuildQrText(breaks.objects), sjis::fromUtf8("名前:A TEL:1\n会社名:") + "\x81 \n");
    EXPECT_EQ(BuildQrText(breaks.objects, QrFormat::Mecard), "MECARD:N:A TEL\\:1;ORG:\x81 ;;");

    // A missing key and a key holding no text object are skipped.
    Card odd({{"eName", "A"}, {"eCorp", "B"}, {"eTel", "C"}});
    odd.objects["eName"] = nullptr;
    odd.objects["eCorp"].reset(new GraphicObject);
    EXPECT_EQ(BuildQrText(odd.objects), sjis::fromUtf8("電話:C\n"));
}

TEST(QrPicture, ModulesOnAGridInsideTheQuietZone)
{
    const auto pic = MakeQrPicture(sjis::fromUtf8("名前:ABC\n電話:012\n"));
    const int m = kQrModulePixels, quiet = kQrQuietModules * m;
    const int modules = pic->Width() / m - 2 * kQrQuietModules;
    EXPECT_EQ(pic->Height(), pic->Width());
    EXPECT_EQ(pic->Width() % m, 0);
    EXPECT_EQ((modules - 21) % 4, 0) << modules; // 21 modules, 4 more per version
    ASSERT_FALSE(pic->Rects().empty());
    for (std::size_t i = 0; i < pic->Rects().size(); ++i) {
        const QRect &r = pic->Rects()[i];
        EXPECT_TRUE(r.height() == m && r.x() % m == 0 && r.width() % m == 0) << i;
        EXPECT_TRUE(QRect(quiet, quiet, modules * m, modules * m).contains(r)) << i;
        // Runs are merged: two rectangles never touch on one row.
        if (i > 0 && pic->Rects()[i - 1].y() == r.y()) {
            EXPECT_LT(pic->Rects()[i - 1].x() + pic->Rects()[i - 1].width(), r.x());
        }
    }
    // The finder pattern's top edge: seven dark modules in one run.
    EXPECT_EQ(pic->Rects()[0], QRect(quiet, quiet, 7 * m, m));
}

namespace {

// A device whose engine says it is a PDF file's, as a PDF writer's does, and
// keeps the rectangles filled black on it, in device pixels.
class PdfRectangles : public QPaintDevice
{
public:
    explicit PdfRectangles(QSize size) : size(size) {}
    QPaintEngine *paintEngine() const override { return &engine; }
    const std::vector<QRectF> &Black() const { return engine.black; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return size.width();
        case PdmHeight:
            return size.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 600;
        case PdmDepth:
            return 32;
        default:
            return QPaintDevice::metric(m);
        }
    }

private:
    struct Engine : QPaintEngine
    {
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &state) override
        {
            if (state.state() & DirtyTransform)
                transform = state.transform();
            if (state.state() & DirtyBrush)
                brush = state.brush();
        }
        void drawRects(const QRectF *rects, int count) override
        {
            if (brush.style() == Qt::SolidPattern && brush.color() == Qt::black)
                for (int i = 0; i < count; ++i)
                    black.push_back(transform.mapRect(rects[i]));
        }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
        Type type() const override { return Pdf; }

        QTransform transform;
        QBrush brush;
        std::vector<QRectF> black;
    };
    QSize size;
    mutable Engine engine;
};

} // namespace

// Into a PDF the symbol goes as fewer rectangles than it has runs, which
// overlap where that saves one but cover exactly its dark modules, each
// whole: a symbol, the same larger, and shapes no encoder makes (a block
// with a hole, a staircase, a chequerboard).
TEST(QrPicture, FewerRectanglesIntoAPdfCoverExactlyTheModules)
{
    const int m = kQrModulePixels;
    auto shape = [m](int cells, auto dark) {
        std::vector<QRect> rects;
        for (int y = 0; y < cells; ++y)
            for (int x = 0; x < cells; ++x)
                if (dark(x, y))
                    rects.emplace_back(x * m, y * m, m, m);
        return VectorPicture(cells * m, cells * m, Qt::white, Qt::black, rects);
    };
    const std::string longText = sjis::fromUtf8(
        "名前:山田 太郎\n会社名:株式会社プラクロ商事 第12支店\n住所:東京都渋谷区渋谷2-21-1\n"
        "電話:03-1234-0001\nE-Mail:yamada1@plakuro.example.jp\n");
    const std::pair<const char *, VectorPicture> pictures[] = {
        {"symbol", *MakeQrPicture(sjis::fromUtf8("名前:ABC\n電話:012\n"))},
        {"larger symbol", *MakeQrPicture(longText)},
        {"block with a hole", shape(12, [](int x, int y) { return !(x == 5 && y == 6); })},
        {"staircase", shape(12, [](int x, int y) { return x <= y; })},
        {"chequerboard", shape(9, [](int x, int y) { return (x + y) % 2 == 0; })},
    };
    for (const auto &[name, pic] : pictures) {
        const int cells = pic.Width() / m;
        std::vector<bool> dark(static_cast<std::size_t>(cells) * cells, false);
        std::size_t runs = 0;
        for (const QRect &r : pic.Rects())
            for (int y = r.top() / m; y <= r.bottom() / m; ++y) {
                ++runs;
                for (int x = r.left() / m; x <= r.right() / m; ++x)
                    dark[static_cast<std::size_t>(y) * cells + x] = true;
            }
        PdfRectangles pdf(QSize(pic.Width(), pic.Height()) * 2);
        {
            QPainter painter(&pdf);
            pic.Draw(painter, QRect(QPoint(0, 0), QSize(pic.Width(), pic.Height()) * 2));
        }
        const int unit = 2 * m;
        std::vector<bool> covered(dark.size(), false);
        for (const QRectF &r : pdf.Black()) {
            const QRect whole = r.toRect();
            EXPECT_EQ(QRectF(whole), r) << name;
            EXPECT_TRUE(whole.x() % unit == 0 && whole.y() % unit == 0 &&
                        whole.width() % unit == 0 && whole.height() % unit == 0)
                << name;
            for (int y = whole.top() / unit; y < (whole.top() + whole.height()) / unit; ++y)
                for (int x = whole.left() / unit; x < (whole.left() + whole.width()) / unit; ++x)
                    covered.at(static_cast<std::size_t>(y) * cells + x) = true;
        }
        EXPECT_EQ(covered, dark) << name;
        EXPECT_LE(pdf.Black().size(), runs) << name;
        if (std::string(name).find("symbol") != std::string::npos) {
            EXPECT_LT(pdf.Black().size() * 10, runs * 9) << name << " " << runs;
        }
    }
}

TEST(QrPicture, EmptyTextAndFailures)
{
    const auto empty = MakeQrPicture("");
    EXPECT_EQ(empty->Width(), 0);
    EXPECT_EQ(empty->Height(), 0);
    EXPECT_TRUE(empty->Rects().empty());

    Card c;
    UpdateQrCode(c.objects, kScreen); // hidden: untouched
    EXPECT_EQ(c.qr().GetPicture(), nullptr);
    c.showQrAt(600, 150);
    UpdateQrCode(c.objects, kScreen);
    ASSERT_NE(c.qr().GetPicture(), nullptr);
    EXPECT_TRUE(c.qr().GetPicture()->Empty());
    EXPECT_EQ(c.qr().Source(), kQrSource);
    TRect r;
    c.qr().GetRect(r);
    EXPECT_EQ(r, (TRect{600, 150, 600, 150}));
    const QImage card = renderCard(c.objects, 1074, 649);
    QImage white(card.size(), card.format());
    white.fill(Qt::white);
    EXPECT_TRUE(card == white) << "nothing may be drawn";

    // Too long for the largest symbol: the empty picture, never the last
    // symbol, the rectangle shrunk to its corner; short again, a symbol.
    c.set({{"eName", "A"}});
    EXPECT_EQ(UpdateQrCode(c.objects, kScreen), QrUpdate::Built);
    ASSERT_FALSE(c.qr().GetPicture()->Empty());
    for (const char *key : {"eName", "eFuri", "eCorp", "eBusho", "eYaku", "ePostNo", "eAddress",
                            "eTel", "eMobile", "eFax", "eURL", "eMail"})
        c.text(key).SetText(std::string(255, 'a'));
    for (int twice = 0; twice < 2; ++twice) { // the second answer is the remembered one
        EXPECT_EQ(UpdateQrCode(c.objects, kScreen), QrUpdate::TooLong);
        EXPECT_TRUE(c.qr().GetPicture()->Empty());
        c.qr().GetRect(r);
        EXPECT_EQ(r, (TRect{600, 150, 600, 150}));
        bool tooLong = false;
        EXPECT_TRUE(MakeQrPicture(BuildQrText(c.objects), &tooLong)->Empty());
        EXPECT_TRUE(tooLong);
    }
    c.text("eAddress").SetText("short");
    c.text("eFuri").SetText("");
    for (const char *key : {"eName", "eCorp", "eBusho", "eYaku", "ePostNo", "eTel", "eMobile",
                            "eFax", "eURL", "eMail"})
        c.text(key).SetText("b");
    EXPECT_EQ(UpdateQrCode(c.objects, kScreen), QrUpdate::Built);
    EXPECT_FALSE(c.qr().GetPicture()->Empty());
}

// The symbol on a card drawn at printer resolution, read by an independent
// decoder, gives back exactly the QR text.
TEST(QrDecode, PrintedCardReadsBackExactly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        const char *name;
        Fields fields;
        const char *raw = nullptr; // eCorp as raw bytes
    };
    const Case cases[] = {
        {"name and telephone", {{"eName", "ABC"}, {"eTel", "012"}}},
        {"all fields", kAllFields},
        {"web address with scheme", {{"eURL", "https://example.jp"}, {"eName", "山田"}}},
        // An extension character ending a field (FA9C, then the line feed)
        // and a lone lead byte: both trip the encoder's Kanji pairing.
        {"extension character", {{"eName", "飯\uFA10"}}, "ABC\x96"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        Card c(k.fields);
        if (k.raw)
            c.text("eCorp").SetText(k.raw);
        c.showQrAt(560, 100);
        UpdateQrCode(c.objects, kScreen);
        const std::string text = BuildQrText(c.objects);
        TRect r;
        c.qr().GetRect(r);
        ASSERT_LE(r.right, 910);
        ASSERT_LE(r.bottom, 550);
        for (auto [w, h] : {std::pair{1074, 649}, std::pair{2149, 1299}}) {
            const QString file = dir.filePath(QString("card-%1.png").arg(w));
            ASSERT_TRUE(renderCard(c.objects, w, h).save(file, "PNG"));
            EXPECT_EQ(decode(file), bytes(text)) << w << " x " << h;
        }
    }
}

// MECARD and vCard symbols printed at 600 dpi give back their exact bytes.
TEST(QrDecode, ContactFormatsReadBackExactly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (auto [format, expected] : {std::pair{QrFormat::Mecard, sjis::fromUtf8(kContactMecard)},
                                    std::pair{QrFormat::Vcard, std::string(kContactVcard)}}) {
        SCOPED_TRACE(QrFormatName(format));
        Card c(kContactCard);
        setFormat(c.objects, format);
        c.qr().SetVisible(true);
        UpdateQrCode(c.objects, kScreen);
        const QString file = dir.filePath("card.png");
        ASSERT_TRUE(renderCard(c.objects, 2149, 1299).save(file, "PNG"));
        EXPECT_EQ(decode(file), bytes(expected));
    }
}

TEST(QrBmp, SavedPictureHasThePictureSizeAndDecodes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Card c(kAllFields);
    const std::string text = BuildQrText(c.objects);
    const auto pic = MakeQrPicture(text);
    const QString file = dir.filePath("qr.bmp");
    SaveQrPictureBmp(*pic, file);

    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(30);
    ASSERT_EQ(head.size(), 30);
    EXPECT_EQ(head.left(2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(head[28]), 24) << "bits per pixel";
    const QImage back(file, "BMP");
    EXPECT_EQ(back.size(), QSize(pic->Width(), pic->Height()));
    EXPECT_EQ(decode(file), bytes(text));

    const QString none = dir.filePath("none.bmp");
    EXPECT_THROW(SaveQrPictureBmp(VectorPicture(), none), CardError);
    EXPECT_FALSE(QFile::exists(none));
    const QString bad = dir.filePath("missing/qr.bmp");
    try {
        SaveQrPictureBmp(*pic, bad);
        ADD_FAILURE() << "no error for " << bad.toStdString();
    } catch (const CardError &e) {
        EXPECT_NE(std::string(e.what()).find(bad.toStdString()), std::string::npos) << e.what();
    }
}
