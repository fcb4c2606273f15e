#include "support.h"

#include "app/printing.h"
#include "bomb_cards.h"
#include "card/converter.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "editor/session.h"
#include "merge/csv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>

namespace {

const QByteArray kMagic("\x05PK100", 6);
const QByteArray kFace = Sjis("ＭＳ Ｐゴシック");

class Cards : public testing::Test
{
protected:
    QString Path(const QString &name) const { return dir.filePath(name); }

    // fill with the given arguments into `name`; the test fails unless it succeeds.
    QString Fill(const QString &name, const QStringList &args)
    {
        const Ran r = Cli(QStringList{"fill", "-o", Path(name)} + args);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return Path(name);
    }

    // A card covered edge to edge by a dark background picture.
    QString DarkCard()
    {
        QImage dark(645, 390, QImage::Format_RGB32);
        dark.fill(QColor(20, 40, 90));
        dark.save(Path("dark.bmp"), "BMP");
        return Fill("dark.pkd", {"--background", Path("dark.bmp")});
    }

    QTemporaryDir dir;
};

// The ten cells' top-left corners as the sheet is laid out at `dpi`.
std::vector<QPoint> cellCorners(int dpi, int a, int b, int c, int d)
{
    auto px = [&](int mm) { return static_cast<int>(dpi * (mm * 0.03937)); };
    const int w = static_cast<int>(dpi * 3.58267), h = static_cast<int>(dpi * 2.16535);
    std::vector<QPoint> corners;
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 2; ++col)
            corners.emplace_back(px(a) + col * (w + px(c)), px(b) + row * (h + px(d)));
    return corners;
}

// Where the dark area of a cell begins, probing across from a little before
// the expected corner through the middle of the card.
QPoint darkCorner(const QImage &page, QPoint expected, QSize card)
{
    QPoint found(-1, -1);
    const int midY = expected.y() + card.height() / 2, midX = expected.x() + card.width() / 2;
    for (int x = std::max(0, expected.x() - 2); x < midX && found.x() < 0; ++x)
        if (IsDark(page.pixel(x, midY)))
            found.setX(x);
    for (int y = std::max(0, expected.y() - 2); y < midY && found.y() < 0; ++y)
        if (IsDark(page.pixel(midX, y)))
            found.setY(y);
    return found;
}

} // namespace

TEST_F(Cards, InfoShowsCraftedFilesRecordByRecord)
{
    WriteAll(Path("magic.pkd"), kMagic);
    Ran r = Cli({"info", Path("magic.pkd")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"records\": []}\n");

    CardBytes qr;
    qr.Short("QR").Short("GraphicObject").Head(16, false).Rect(600, 150, 650, 200).Short("<<QR>>");
    ASSERT_EQ(qr.Data().size(), 45);
    // The header class writes the head twice; the second one counts. The
    // text ends in a lone lead byte and holds characters JSON must escape.
    CardBytes tel;
    tel.Short("eTel").Short("TextObjectWithHeader").Head(3, false).Short("TEL ");
    tel.Head(9, true)
        .Rect(140, 250, 300, 275)
        .Short("03\"1\\2\x01"
               "34\x82");
    tel.FontRecord(-16, kFace).I32(0x0000FF);
    WriteAll(Path("two.pkd"), kMagic + tel.Data() + qr.Data());
    r = Cli({"info", Path("two.pkd")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(),
              "{\"records\": [{\"key\": \"QR\", \"class\": \"GraphicObject\", \"order\": 16, "
              "\"visible\": false, \"rect\": [600, 150, 650, 200], \"source\": \"<<QR>>\", "
              "\"picture\": null, \"kind\": \"qr\"}, {\"key\": \"eTel\", \"class\": "
              "\"TextObjectWithHeader\", "
              "\"order\": 9, \"visible\": true, \"rect\": [140, 250, 300, 275], \"header\": "
              "\"TEL \", \"text\": \"03\\\"1\\\\2\\u000134\xEF\xBF\xBD\", \"font\": {\"face\": "
              "\"ＭＳ Ｐゴシック\", \"height\": -16, \"bold\": false, \"italic\": false, "
              "\"underline\": false, \"strikeout\": false, \"charset\": 128, \"pitch\": "
              "\"default\", \"vertical\": false}, \"color\": 255, \"kind\": \"field\"}]}\n");

    // Cut inside the next record's key: the records before it are the card.
    WriteAll(Path("cutkey.pkd"), kMagic + qr.Data() +
                                     QByteArray("\x04"
                                                "eT",
                                                3));
    r = Cli({"info", Path("cutkey.pkd")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("{\"records\": [{\"key\": \"QR\"")) << r.out.toStdString();

    // Cut inside a body: damaged, and the message names the file and the key.
    WriteAll(Path("cutbody.pkd"), kMagic + qr.Data() + tel.Data().left(40));
    r = Cli({"info", Path("cutbody.pkd")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.OneLine()) << r.err.toStdString();
    EXPECT_TRUE(r.Err().contains(Path("cutbody.pkd")) && r.Err().contains("eTel"))
        << r.err.toStdString();

    for (const QByteArray &bytes : {QByteArray("\x05PK999", 6) + qr.Data(), QByteArray("PK")}) {
        WriteAll(Path("wrong.pkd"), bytes);
        r = Cli({"info", Path("wrong.pkd")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.OneLine() && r.Err().contains(Path("wrong.pkd"))) << r.err.toStdString();
    }
}

TEST_F(Cards, RenderSizesAndTheTelephoneLine)
{
    const QString card = Fill("tel.pkd", {"--set", "電話=0312345678"});
    for (const int dpi : {300, 600}) {
        SCOPED_TRACE(dpi);
        const QString png = Path(QString("tel%1.png").arg(dpi));
        ASSERT_EQ(Cli({"render", card, "-o", png, "--dpi", QString::number(dpi)}).status, 0);
        const QImage image(png);
        const int w = static_cast<int>(dpi * 3.58267), h = static_cast<int>(dpi * 2.16535);
        ASSERT_EQ(image.size(), QSize(w, h));
        // The line's cell starts at (140, 250) model units; the ink of
        // "TEL 0312345678" starts just inside it and is all there is.
        const Converter conv(w);
        const int x0 = conv.ToDevice(140), y0 = conv.ToDevice(250), s = dpi / 300;
        const QRect ink = DarkBounds(image);
        EXPECT_GE(ink.left(), x0);
        EXPECT_LE(ink.left(), x0 + 4 * s);
        EXPECT_GE(ink.top(), y0);
        EXPECT_LE(ink.top(), y0 + 12 * s);
        EXPECT_LT(ink.bottom(), y0 + 35 * s);
        EXPECT_GT(ink.width(), 150 * s);
    }
    EXPECT_EQ(QImage(Path("tel300.png")).dotsPerMeterX(), std::lround(300 / 0.0254));

    ASSERT_EQ(Cli({"render", card, "-o", Path("tel.bmp")}).status, 0);
    EXPECT_EQ(QImage(Path("tel.bmp")).size(), QSize(1074, 649));
    ASSERT_EQ(Cli({"render", card, "-o", Path("tel.pdf")}).status, 0);
    const QString info = QString::fromUtf8(Tool("pdfinfo", {Path("tel.pdf")}).out);
    EXPECT_TRUE(
        info.contains(QRegularExpression("Page size:\\s+25[78](\\.\\d+)? x 15[56](\\.\\d+)? pts")))
        << info.toStdString();
}

// A camera photo of 36 megapixels is taken as the background, kept byte for
// byte and drawn; a picture that cannot be drawn is said once on stderr,
// naming its key, and the rest of the card is drawn with exit status 0.
TEST_F(Cards, CameraPhotosAreTakenAndPicturesLeftOutAreSaid)
{
    ASSERT_EQ(Tool("convert",
                   {"-size", "7360x4912", "gradient:red-blue", "-quality", "85", Path("photo.jpg")})
                  .status,
              0);
    const QString card = Fill("photo.pkd", {"--background", Path("photo.jpg")});
    EXPECT_TRUE(ReadAll(card).contains(ReadAll(Path("photo.jpg"))));
    Ran r = Cli({"render", card, "-o", Path("photo.png"), "--dpi", "600"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.isEmpty()) << r.Err().toStdString();
    const QRgb corner = QImage(Path("photo.png")).pixel(0, 0);
    EXPECT_GT(qRed(corner), 200);
    EXPECT_LT(qBlue(corner), 60);

    std::vector<std::unique_ptr<Picture>> huge;
    huge.push_back(JpegPicture::FromBytes(bombs::jpegClaiming(QSize(65500, 65500))));
    WriteAll(Path("huge.pkd"), bombs::cardWith(std::move(huge)));
    for (const QStringList &command :
         {QStringList{"render", Path("huge.pkd"), "-o", Path("huge.png")},
          QStringList{"sheet", Path("huge.pkd"), "-o", Path("huge.pdf")}}) {
        r = Cli(command);
        EXPECT_EQ(r.status, 0) << command[0].toStdString();
        EXPECT_TRUE(r.OneLine()) << r.Err().toStdString();
        EXPECT_TRUE(r.Err().contains(QStringLiteral("\"bomb00\""))) << r.Err().toStdString();
    }
}

TEST_F(Cards, SheetCellsSitWhereTheLayoutPutsThem)
{
    const QString card = DarkCard();
    const QSize cardSize(358, 216); // at 100 dpi
    struct Case
    {
        QStringList args;
        int a, b, c, d;
    };
    WriteAll(Path("plakuro.INI"), "[PrintSpace]\r\nA=5\r\nb=5\r\nc=2\r\nd=$2\r\n");
    const Case cases[] = {
        {{}, 10, 7, 3, 3},
        {{"--space", "20,15,5,4"}, 20, 15, 5, 4},
        {{"--settings", Path("plakuro.INI")}, 5, 5, 2, 2},
        {{"--settings", Path("plakuro.INI"), "--space", "2,3,1,1"}, 2, 3, 1, 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.join(' ').toStdString());
        const QStringList common = QStringList{"sheet", card, "--dpi", "100"} + k.args;
        ASSERT_EQ(Cli(common + QStringList{"-o", Path("sheet.png")}).status, 0);
        ASSERT_EQ(Cli(common + QStringList{"-o", Path("sheet.pdf")}).status, 0);
        const QImage png(Path("sheet.png"));
        ASSERT_EQ(png.size(), QSize(826, 1169));
        const QImage pdf = RasterPage(Path("sheet.pdf"), 1, 100, dir.path());
        ASSERT_FALSE(pdf.isNull());
        for (const QPoint &at : cellCorners(100, k.a, k.b, k.c, k.d)) {
            if (at.y() + cardSize.height() > png.height())
                continue; // cut off by the paper's edge
            EXPECT_EQ(darkCorner(png, at, cardSize), at);
            const QPoint fromPdf = darkCorner(pdf, at, cardSize);
            EXPECT_LE((fromPdf - at).manhattanLength(), 2) << fromPdf.x() << "," << fromPdf.y();
            EXPECT_TRUE(
                IsDark(png.pixel(at + QPoint(cardSize.width() - 1, cardSize.height() - 1))));
            EXPECT_FALSE(IsDark(png.pixel(at + QPoint(cardSize.width(), 0))));
            EXPECT_FALSE(IsDark(png.pixel(at + QPoint(0, cardSize.height()))));
        }
    }
    EXPECT_EQ(PdfPages(Path("sheet.pdf")), 1);
    EXPECT_TRUE(Tool("pdfinfo", {Path("sheet.pdf")}).out.contains("(A4)"));
}

TEST_F(Cards, SheetShiftFromTheOptionOrTheSettingsAndCellsOffThePaper)
{
    const QString card = DarkCard();
    const QSize cardSize(358, 216); // at 100 dpi
    // 10 mm is trunc(39.37) pixels at 100 dpi, -2 mm trunc(-7.874).
    const QPoint shift(39, -7);
    WriteAll(Path("shift.INI"), "[printspace]\r\nox=100\r\noy=-20\r\n");
    for (const QStringList &args : {QStringList{"--space", "10,7,3,3,100,-20"},
                                    QStringList{"--settings", Path("shift.INI")}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Ran r =
            Cli(QStringList{"sheet", card, "--dpi", "100", "-o", Path("sheet.png")} + args);
        ASSERT_EQ(r.status, 0);
        EXPECT_FALSE(r.Err().contains(QStringLiteral("はみ出します")));
        const QImage png(Path("sheet.png"));
        for (const QPoint &at : cellCorners(100, 10, 7, 3, 3))
            EXPECT_EQ(darkCorner(png, at + shift, cardSize), at + shift);
    }

    // Cells off the paper are named; the sheet is still written.
    const Ran r =
        Cli({"sheet", card, "--dpi", "100", "-o", Path("low.png"), "--space", "10,60,3,3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.Err().contains(QStringLiteral("9 枚目と 10 枚目が用紙からはみ出します")))
        << r.Err().toStdString();
    EXPECT_TRUE(QFileInfo::exists(Path("low.png")));

    // Crop marks: the top edge of the first cell continued 3 mm (11 pixels) left.
    ASSERT_EQ(Cli({"sheet", card, "--dpi", "100", "-o", Path("marks.png"), "--crop-marks"}).status,
              0);
    const QImage marks(Path("marks.png"));
    const QPoint first = cellCorners(100, 10, 7, 3, 3)[0];
    EXPECT_TRUE(IsDark(marks.pixel(first + QPoint(-11, 0))));
    EXPECT_FALSE(IsDark(marks.pixel(first + QPoint(-12, 0))));
}

TEST_F(Cards, QrTextAndSymbols)
{
    // Caption and key select the same fields; the QR object stays hidden.
    const QString card = Fill("abc.pkd", {"--set", "名前=ABC", "--set", "eTel=012"});
    const QByteArray expected = Sjis("名前:ABC\n電話:012\n");
    ASSERT_EQ(expected.size(), 18);
    Ran r = Cli({"qr", card, "--raw", "-o", Path("qr.bmp")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(Cli({"qr", card}).out, QByteArray("名前:ABC\n電話:012\n"));
    EXPECT_EQ(DecodeQr(Path("qr.bmp")), expected);

    const QString shown =
        Fill("shown.pkd", {"--set", "名前=ABC", "--set", "電話=012", "--qr", "show"});
    ASSERT_EQ(Cli({"render", shown, "-o", Path("shown.png")}).status, 0);
    EXPECT_EQ(DecodeQr(Path("shown.png")), expected);

    // No field filled: no text, and no picture to save.
    const QString empty = Fill("empty.pkd", {});
    r = Cli({"qr", empty});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());
    r = Cli({"qr", empty, "-o", Path("none.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.OneLine() && r.Err().contains(Path("none.bmp"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("none.bmp")));

    // The format is a step of fill, in order; qr writes that format's text.
    const QString mecard = Fill("mecard.pkd", {"--set", "名前=ABC", "--qr-format", "vcard", "--set",
                                               "電話=012", "--qr-format", "mecard"});
    EXPECT_EQ(Cli({"qr", mecard, "--raw"}).out, QByteArray("MECARD:N:ABC;TEL:012;;"));
    const QByteArray vcard = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:ABC;;;;\r\nFN:ABC\r\n"
                             "TEL;TYPE=WORK,VOICE:012\r\nEND:VCARD\r\n";
    const QString contact = Fill("vcard.pkd", {mecard, "--qr-format", "vcard", "--qr", "show"});
    EXPECT_EQ(Cli({"qr", contact}).out, vcard);
    ASSERT_EQ(Cli({"render", contact, "-o", Path("vcard.png")}).status, 0);
    EXPECT_EQ(DecodeQr(Path("vcard.png")), vcard);
    // A line break typed into a field stays inside its value.
    const QString injected = Fill(
        "injected.pkd", {"--set", "名前=A\r\nTEL:110", "--qr-format", "vcard", "--qr", "show"});
    ASSERT_EQ(Cli({"render", injected, "-o", Path("injected.png")}).status, 0);
    EXPECT_EQ(DecodeQr(Path("injected.png")),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\\nTEL:110;;;;\r\nFN:A\\nTEL:110\r\nEND:VCARD\r\n");
    // Back to text: the bytes of a card never given a format.
    EXPECT_EQ(ReadAll(Fill("text.pkd", {mecard, "--qr-format", "text"})), ReadAll(card));
}

TEST_F(Cards, FillSavesWhatTheEditorSaves)
{
    const QStringList byKey = {
        "--set", "eName=山田 太郎",      "--set", "eTel=03-1234-5678", "--qr", "show",
        "--set", "eMail=taro@example.jp"};
    const QStringList byCaption = {"--set", "名前=山田 太郎", "--set", "電話=03-1234-5678",
                                   "--qr",  "show",           "--set", "E-Mail=taro@example.jp"};
    const QByteArray once = ReadAll(Fill("a.pkd", byKey));
    EXPECT_EQ(ReadAll(Fill("b.pkd", byKey)), once);
    EXPECT_EQ(ReadAll(Fill("c.pkd", byCaption)), once);

    // The editing session the window drives, given the same keystrokes and
    // the QR switch.
    EditSession editor;
    editor.EditChanged("eName", QStringLiteral("山田 太郎"));
    editor.EditChanged("eTel", "03-1234-5678");
    editor.ToggleQr();
    editor.EditChanged("eMail", "taro@example.jp");
    EXPECT_EQ(editor.SaveBytes(), once);

    // Opened and filled again with nothing to change, the file stays as it
    // was; the changes show in info.
    EXPECT_EQ(ReadAll(Fill("same.pkd", {Path("a.pkd")})), once);
    QImage logo(100, 50, QImage::Format_RGB32);
    logo.fill(Qt::darkGreen);
    logo.save(Path("logo.bmp"), "BMP");
    const QString more =
        Fill("more.pkd", {Path("a.pkd"), "--set", "eTel=", "--set", "会社名=株式会社\"プラクロ\"",
                          "--picture", Path("logo.bmp"), "--qr", "hide"});
    Ran r = Cli({"info", more});
    ASSERT_EQ(r.status, 0);
    const QString json = QString::fromUtf8(r.out);
    EXPECT_TRUE(
        json.contains("\"key\": \"eCorp\", \"class\": \"TextObject\", \"order\": 13, \"visible\": "
                      "true, \"rect\": [140, 100, "));
    EXPECT_TRUE(json.contains("\"text\": \"株式会社\\\"プラクロ\\\"\""));
    EXPECT_TRUE(json.contains("\"header\": \"TEL \", \"text\": \"\""));
    EXPECT_TRUE(json.contains(
        "\"key\": \"QR\", \"class\": \"GraphicObject\", \"order\": 16, \"visible\": false"));
    const Converter screen(EditSession::kCanvasWidth);
    const int side = screen.ToModel(100), tall = screen.ToModel(50);
    EXPECT_TRUE(
        json.contains(QString("\"key\": \"bPicture\", \"class\": \"GraphicObject\", \"order\": 2, "
                              "\"visible\": true, \"rect\": [0, 0, %1, %2], \"source\": \"%3\", "
                              "\"picture\": {\"class\": \"TBitmap\", \"bytes\": %4, \"width\": "
                              "100, \"height\": 50}")
                          .arg(side)
                          .arg(tall)
                          .arg(QFileInfo(Path("logo.bmp")).absoluteFilePath())
                          .arg(ReadAll(Path("logo.bmp")).size())))
        << json.toStdString();

    // The name set vertically, as the object menu sets it, and back.
    const QString vertical = Fill("vertical.pkd", {Path("a.pkd"), "--vertical", "名前"});
    editor.SetSelection(editor.Card().Find("eName"));
    editor.SetVertical(true);
    EXPECT_EQ(ReadAll(vertical), editor.SaveBytes());
    EXPECT_TRUE(Cli({"info", vertical}).out.contains("\"vertical\": true"));
    EXPECT_EQ(ReadAll(Fill("across.pkd", {vertical, "--horizontal", "eName"})), once);

    // Removing the picture hides it; choosing it again shows it.
    const QString off = Fill("off.pkd", {more, "--picture", "none"});
    EXPECT_TRUE(Cli({"info", off})
                    .out.contains("\"key\": \"bPicture\", \"class\": \"GraphicObject\", "
                                  "\"order\": 2, \"visible\": false"));
    EXPECT_EQ(ReadAll(Fill("on.pkd", {off, "--picture", Path("logo.bmp")})), ReadAll(more));
}

TEST_F(Cards, MergeReadsUtf8AndShiftJisSpreadsheets)
{
    const QString card = Fill("tpl.pkd", {"--set", "会社名=株式会社プラクロ", "--qr", "show"});
    const char *rows = "名前,eTel,会社名,住所\r\n"
                       "\"山田, 太郎\",03-1111-2222,,\"東京都千代田区\n丸の内1-1\"\r\n"
                       "佐藤花子,\"03-3333-\"\"4444\"\"\",プラクロ商事\r\n"
                       ",,,\r\n"
                       "鈴木一郎\r\n\r\n";
    // Row 2's empty 会社名 empties the template's.
    const QByteArray firstQr =
        Sjis("名前:山田, 太郎\n住所:東京都千代田区 丸の内1-1\n電話:03-1111-2222\n");
    const QByteArray secondQr = Sjis("名前:佐藤花子\n会社名:プラクロ商事\n電話:03-3333-\"4444\"\n");
    const QSize cardSize(1074, 649);
    const QPoint corner = cellCorners(300, 10, 7, 3, 3)[0];
    struct Case
    {
        const char *name;
        QByteArray csv;
    };
    const Case cases[] = {{"utf-8 with bom", QByteArray("\xEF\xBB\xBF") + rows},
                          {"shift-jis", Sjis(rows)}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        WriteAll(Path("people.csv"), k.csv);
        const Ran r =
            Cli({"merge", card, Path("people.csv"), "-o", Path("out.pdf"), "--dpi", "300"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.OneLine() && r.Err().startsWith("plakuro-cli: people.csv: 3 人、3 ページ ("))
            << "the all-empty row is left out: " << r.err.toStdString();
        EXPECT_EQ(PdfPages(Path("out.pdf")), 3);
        int page = 0;
        for (const QByteArray &qr : {firstQr, secondQr}) {
            const QImage sheet = RasterPage(Path("out.pdf"), ++page, 300, dir.path());
            ASSERT_FALSE(sheet.isNull());
            sheet.copy(QRect(corner, cardSize)).save(Path("cell.png"));
            EXPECT_EQ(DecodeQr(Path("cell.png")), qr) << "page " << page;
        }
    }

    // Twelve people, ten to a page, one card each.
    QByteArray many = "名前\n";
    for (int i = 1; i <= 12; ++i)
        many += "Person " + QByteArray::number(i) + "\n";
    WriteAll(Path("many.csv"), many);
    const Ran r =
        Cli({"merge", card, Path("many.csv"), "-o", Path("many.pdf"), "--dpi", "150", "--mixed"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(PdfPages(Path("many.pdf")), 2);
    EXPECT_TRUE(r.Err().startsWith("plakuro-cli: many.csv: 12 人、2 ページ ("))
        << r.err.toStdString();

    // Two-sided: each page followed by its backs, behind its own cards only.
    const Ran two = Cli({"merge", card, Path("many.csv"), "-o", Path("two.pdf"), "--dpi", "150",
                         "--mixed", "--back", DarkCard()});
    ASSERT_EQ(two.status, 0) << two.err.toStdString();
    EXPECT_EQ(PdfPages(Path("two.pdf")), 4);
    const QImage backs = RasterPage(Path("two.pdf"), 4, 150, dir.path());
    ASSERT_FALSE(backs.isNull());
    const std::vector<QPoint> cells = cellCorners(150, 10, 7, 3, 3);
    auto behind = [&](int cell) {
        const QPoint c = cells[static_cast<std::size_t>(cell)];
        return backs.pixel(backs.width() - c.x() - 537 + 20, c.y() + 20);
    };
    EXPECT_TRUE(IsDark(behind(0)));
    EXPECT_TRUE(IsDark(behind(1)));
    EXPECT_FALSE(IsDark(behind(2)));
}

// Each person's own data: a column of the list empties the template's text
// where its cell is empty (--keep-empty keeps it). A column that fills
// nothing and a row whose card fails the print check are said on stderr;
// --strict makes them failures (the PDF of a checked row still written).
TEST_F(Cards, MergeGivesEachPersonTheirOwnData)
{
    const QString card = Fill("tpl.pkd", {"--set", "名前=見本", "--set", "携帯電話=090-9999-0000",
                                          "--set", "メモ1=ひな形のメモ"});
    WriteAll(Path("people.csv"), "名前,携帯,メモ1,趣味\n佐藤 花子,,,釣り\n鈴木 一郎,,　,\n");
    const QString pdf = Path("out.pdf");
    const auto merge = [&](const QString &list, const QStringList &options) {
        QFile::remove(pdf);
        return Cli(QStringList{"merge", card, Path(list), "-o", pdf, "--dpi", "100"} + options);
    };
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "--keep-empty" : "empty cells empty");
        const Ran r = merge("people.csv", keep ? QStringList{"--keep-empty"} : QStringList{});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.err.count("\"趣味\""), 1) << r.err.toStdString();
        const QString text = QString::fromUtf8(Tool("pdftotext", {pdf, "-"}).out);
        EXPECT_TRUE(text.contains("鈴木")) << text.toStdString();
        EXPECT_EQ(text.contains("090-9999-0000"), keep) << text.toStdString();
        EXPECT_EQ(text.contains("ひな形のメモ"), keep) << text.toStdString();
    }
    Ran r = merge("people.csv", {"--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.OneLine() && r.Err().contains("趣味")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(pdf));

    WriteAll(Path("long.csv"),
             "名前,役職\n佐藤 花子,部長\n鈴木 一郎," + QByteArray("長").repeated(60) + "\n");
    for (const bool strict : {false, true}) {
        r = merge("long.csv", strict ? QStringList{"--strict"} : QStringList{});
        EXPECT_EQ(r.status, strict ? 1 : 0);
        EXPECT_TRUE(r.Err().contains("\nplakuro-cli: long.csv 3 行目 (鈴木 一郎): 役職 "
                                     "がカードからはみ出します\n"))
            << r.err.toStdString();
        EXPECT_EQ(PdfPages(pdf), 2);
    }

    // Thirty people with stderr in a file: no line per row, one summary.
    QByteArray many = "名前,携帯,メモ1\n";
    for (int i = 1; i <= 30; ++i)
        many += "Person " + QByteArray::number(i) + ",,\n";
    WriteAll(Path("many.csv"), many);
    r = Tool("bash", {"-c", "exec \"$@\" 2> \"$0\"", Path("err.txt"), PLAKURO_CLI, "merge", card,
                      Path("many.csv"), "-o", pdf, "--dpi", "100"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(QRegularExpression("^plakuro-cli: many.csv: 30 人、30 ページ \\([0-9.]+ 秒\\)\n$")
                    .match(QString::fromUtf8(ReadAll(Path("err.txt"))))
                    .hasMatch())
        << ReadAll(Path("err.txt")).toStdString();
}

TEST_F(Cards, FailuresExitWithTheirStatusAndOneLine)
{
    const QString card = Fill("ok.pkd", {"--set", "名前=A"});
    WriteAll(Path("junk.pkd"), "not a card");
    WriteAll(Path("logo.gif"), "GIF89a");
    WriteAll(Path("cols.csv"), "名前,Foo,電話,Bar\nA,1,2,3\n");
    WriteAll(Path("wide.csv"), "名前,住所\nA,\"x\ny\"\nB,C,D\n");
    WriteAll(Path("open.csv"), "名前\nA\n\"B\n");
    // Line 3 is neither UTF-8 nor Shift-JIS (0xA0 is no character in either).
    WriteAll(Path("latin.csv"), "名前\nA\nJos\xA0\n");
    WriteAll(Path("utf16.csv"), QByteArray("\xFF\xFEN\0a\0", 6));
    const QString missing = Path("missing.pkd");
    struct Case
    {
        QStringList args;
        int status;
        QStringList mentions;
    };
    const Case cases[] = {
        {{}, 2, {"--help"}},
        {{"print", card}, 2, {"print"}},
        {{"info"}, 2, {"info"}},
        {{"info", card, card}, 2, {"info"}},
        {{"render", card}, 2, {"-o"}},
        {{"render", card, "-o", Path("x.gif")}, 2, {"x.gif"}},
        {{"render", card, "-o", Path("x.png"), "--dpi", "0"}, 2, {"--dpi"}},
        {{"render", card, "-o", Path("x.png"), "--dpi", "many"}, 2, {"many"}},
        {{"render", card, "-o", Path("x.png"), "--dpi"}, 2, {"--dpi"}},
        {{"render", card, "-o", Path("x.png"), "--zoom", "2"}, 2, {"--zoom"}},
        {{"sheet", card, "-o", Path("x.pdf"), "--space", "1,2,3"}, 2, {"--space"}},
        {{"sheet", card, "-o", Path("x.pdf"), "--space", "1,2,3,4,5"}, 2, {"--space"}},
        {{"fill", "-o", Path("x.pkd"), "--set", "Name=A"}, 2, {"Name"}},
        {{"fill", "-o", Path("x.pkd"), "--qr", "on"}, 2, {"on"}},
        {{"fill", "-o", Path("x.pkd"), "--qr-format", "qrx"}, 2, {"qrx"}},
        {{"fill", "-o", Path("x.pkd"), "--vertical", "Name"}, 2, {"Name"}},
        {{"fill", "-o", Path("x.pkd"), "-o", Path("y.pkd")}, 2, {"-o"}},
        {{"info", missing}, 1, {missing}},
        {{"render", Path("junk.pkd"), "-o", Path("x.png")}, 1, {Path("junk.pkd")}},
        {{"render", card, "-o", Path("no/such/dir/x.png")}, 1, {Path("no/such/dir/x.png")}},
        {{"sheet", card, "-o", Path("x.pdf"), "--settings", Path("none.INI")},
         1,
         {Path("none.INI")}},
        {{"fill", "-o", Path("x.pkd"), "--picture", Path("logo.gif")}, 1, {Path("logo.gif")}},
        {{"fill", "-o", Path("x.pkd"), "--background", Path("nothing.jpg")},
         1,
         {Path("nothing.jpg")}},
        {{"fill", card, "-o", Path("no/such/dir/x.pkd")}, 1, {Path("no/such/dir/x.pkd")}},
        {{"merge", card, Path("cols.csv"), "-o", Path("x.pdf"), "--strict"},
         1,
         {Path("cols.csv"), "Foo", "Bar"}},
        {{"merge", card, Path("wide.csv"), "-o", Path("x.pdf")}, 1, {Path("wide.csv"), "4 行目"}},
        {{"merge", card, Path("open.csv"), "-o", Path("x.pdf")}, 1, {Path("open.csv"), "3 行目"}},
        {{"merge", card, missing, "-o", Path("x.pdf")}, 1, {missing}},
        {{"merge", card, Path("latin.csv"), "-o", Path("x.pdf")}, 1, {Path("latin.csv"), "3 行目"}},
        {{"merge", card, Path("utf16.csv"), "-o", Path("x.pdf")}, 1, {Path("utf16.csv"), "UTF-16"}},
        {{"sheet", card, "-o", Path("x.pdf"), "--back", missing}, 1, {missing}},
        {{"sheet", card, "-o", Path("x.pdf"), "--back", Path("junk.pkd")}, 1, {Path("junk.pkd")}},
        {{"merge", card, Path("wide.csv"), "-o", Path("x.pdf"), "--back", missing}, 1, {missing}},
        {{"sheet", card, "-o", Path("x.png"), "--back", card}, 2, {"--back"}},
        {{"sheet", card, "-o", Path("x.pdf"), "--short-edge"}, 2, {"--short-edge"}},
    };
    for (const Case &k : cases) {
        const Ran r = Cli(k.args);
        SCOPED_TRACE(k.args.join(' ').toStdString() + " -> " + r.err.toStdString());
        EXPECT_EQ(r.status, k.status);
        EXPECT_TRUE(r.OneLine());
        for (const QString &m : k.mentions)
            EXPECT_TRUE(r.Err().contains(m)) << m.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Path("x.pdf"))) << "a failed merge leaves no file";
    EXPECT_FALSE(QFileInfo::exists(Path("x.pkd")));

    // Help for the tool and every command, naming every option.
    Ran r = Cli({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *command : {"info", "render", "sheet", "qr", "fill", "merge"})
        EXPECT_TRUE(r.out.contains(command)) << command;
    const std::pair<const char *, QStringList> options[] = {
        {"info", {}},
        {"render", {"--output", "--dpi"}},
        {"sheet",
         {"--output", "--dpi", "--space", "--settings", "--crop-marks", "--back", "--short-edge"}},
        {"qr", {"--raw", "--output"}},
        {"fill",
         {"--output", "--set", "--qr", "--picture", "--background", "--qr-format", "--vertical",
          "--horizontal"}},
        {"merge",
         {"--output", "--dpi", "--space", "--settings", "--crop-marks", "--mixed", "--back"}},
    };
    for (const auto &[command, names] : options) {
        r = Cli({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        for (const QString &name : names + QStringList{"--help"})
            EXPECT_TRUE(r.out.contains(name.toUtf8())) << command << " " << name.toStdString();
    }
}

namespace {

// plakuro-cli with its files limited to `kib` KiB (a full disk, without root),
// stdout sent to `out`, and ended as a failure after ten seconds.
Ran LimitedCli(int kib, const QString &out, const QStringList &args)
{
    return Tool("bash", QStringList{"-c",
                                    "trap '' XFSZ; ulimit -f " + QString::number(kib) +
                                        "; exec timeout 10 \"$@\" > " + out,
                                    "cli", PLAKURO_CLI} +
                            args);
}

} // namespace

TEST_F(Cards, FailedWritesKeepTheOldFileAndUnsafeTargetsAreRefused)
{
    const QString card = Fill("card.pkd", {"--set", "名前=山田", "--qr", "show"});
    WriteAll(Path("people.csv"), "名前\nA\nB\n");
    const QByteArray old = ReadAll(card);
    const QList<QStringList> writes = {
        {"fill", card, "-o", card, "--set", "名前=佐藤"},
        {"render", card, "-o", Path("old.png")},
        {"render", card, "-o", Path("old.pdf")},
        {"sheet", card, "-o", Path("old.pdf")},
        {"merge", card, Path("people.csv"), "-o", Path("old.pdf")},
        {"qr", card, "-o", Path("old.bmp")},
    };
    for (const QStringList &args : writes) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const QString target = args[args.indexOf("-o") + 1];
        if (target != card)
            WriteAll(target, "old bytes");
        const Ran r = LimitedCli(1, "/dev/null", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.OneLine() && r.Err().contains(target) && !r.Err().contains("Unknown"))
            << r.err.toStdString();
        EXPECT_EQ(ReadAll(target), target == card ? old : QByteArray("old bytes"));
    }
    Ran r = LimitedCli(1024, "/dev/full", {"info", card});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Err().contains("標準出力")) << r.err.toStdString();

    // FIFOs and devices: refused at once, as inputs and as outputs.
    const QString fifo = Path("fifo");
    ASSERT_EQ(Tool("mkfifo", {fifo}).status, 0);
    ASSERT_TRUE(QFile::link("/dev/null", Path("null.png")));
    WriteAll(Path("real.INI"), "[printspace]\na=1\n");
    ASSERT_TRUE(QFile::link(Path("real.INI"), Path("link.INI")));
    // Files larger than anyone's card, picture or settings (sparse: no disk).
    for (auto [name, size] : {std::pair{"huge.pkd", 3ll << 30}, std::pair{"huge.jpg", 300ll << 20},
                              std::pair{"huge.INI", 20ll << 20}}) {
        QFile huge(Path(name));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(size));
    }
    // Broken pictures: the image libraries' own messages stay out of it.
    for (const char *format : {"png", "tif"}) {
        QImage whole(64, 64, QImage::Format_RGB32);
        whole.fill(Qt::red);
        whole.save(Path("whole.") + format, format);
        WriteAll(Path("broken.") + format, ReadAll(Path("whole.") + format).left(120));
    }
    const QList<QStringList> refused = {
        {"fill", "--picture", Path("broken.png"), "-o", Path("x.pkd")},
        {"fill", "--picture", Path("broken.tif"), "-o", Path("x.pkd")},
        {"info", Path("huge.pkd")},
        {"sheet", card, "-o", Path("x.pdf"), "--settings", Path("huge.INI")},
        {"sheet", card, "-o", Path("x.pdf"), "--back", Path("huge.pkd")},
        {"sheet", card, "-o", Path("x.pdf"), "--back", "/proc/kmsg"},
        {"fill", "--picture", Path("huge.jpg"), "-o", Path("x.pkd")},
        {"info", fifo},
        {"merge", card, fifo, "-o", Path("x.pdf")},
        {"sheet", card, "-o", Path("x.pdf"), "--settings", fifo},
        {"sheet", card, "-o", Path("x.pdf"), "--settings", Path("link.INI")},
        {"fill", "--picture", fifo, "-o", Path("x.pkd")},
        {"fill", "-o", fifo},
        {"render", card, "-o", Path("null.png")},
    };
    for (const QStringList &args : refused) {
        SCOPED_TRACE(args.join(' ').toStdString());
        r = LimitedCli(1024, "/dev/null", args);
        EXPECT_EQ(r.status, 1) << "124 is a hang";
        EXPECT_TRUE(r.OneLine()) << r.err.toStdString();
    }
    EXPECT_EQ(Tool("test", {"-p", fifo}).status, 0) << "still the FIFO";

    // fill writes only over a card data file: not over its own picture.
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::red);
    logo.save(Path("logo.bmp"), "BMP");
    const QByteArray picture = ReadAll(Path("logo.bmp"));
    r = Cli({"fill", "--picture", Path("logo.bmp"), "-o", Path("logo.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.Err().contains("上書きしません")) << r.err.toStdString();
    EXPECT_EQ(ReadAll(Path("logo.bmp")), picture);
}

// Characters split between the chunks the file is read in decode whole, in
// either encoding; a cell keeps what an edit can hold.
TEST(Csv, ChunkBoundariesAndLongCells)
{
    const QString kana = QString(40000, QChar(0x3042)); // "あ", 2 bytes in Shift-JIS, 3 in UTF-8
    for (const QByteArray &bytes : {QByteArray("x\n1") + Sjis("あ").repeated(40000) + "\nz,",
                                    QByteArray("x\n1") + kana.toUtf8() + "\nz,"}) {
        const std::vector<CsvRow> rows = ParseCsv(bytes, "t.csv");
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1].cells[0], (u'1' + kana).left(CsvReader::kMaxCellLength));
        EXPECT_EQ(rows[2].line, 3);
        EXPECT_EQ(rows[2].count, 2);
    }
}

// Killed at any moment of a save, the file is the whole old or the whole new
// card, never a mix or a part.
TEST_F(Cards, AKilledSaveLeavesTheWholeOldOrTheWholeNewFile)
{
    // A large card, so that a save takes a while.
    QImage noise(300, 300, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x * y) % 256));
    noise.save(Path("noise.bmp"), "BMP");
    const QStringList a{"--set", "名前=A", "--background", Path("noise.bmp")};
    const QStringList b{"--set", "名前=B", "--background", Path("noise.bmp")};
    const QByteArray old = ReadAll(Fill("a.pkd", a)), fresh = ReadAll(Fill("b.pkd", b));
    ASSERT_NE(old, fresh);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        WriteAll(Path("card.pkd"), i % 2 ? fresh : old);
        QProcess p;
        p.start(PLAKURO_CLI, QStringList{"fill", "-o", Path("card.pkd")} + (i % 2 ? a : b));
        ASSERT_TRUE(p.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(20 + i * 15));
        p.kill();
        p.waitForFinished();
        const QByteArray now = ReadAll(Path("card.pkd"));
        EXPECT_TRUE(now == old || now == fresh) << now.size() << " bytes";
    }
}

TEST_F(Cards, QrTextTooLongForAnySymbolIsNoErrorAndNoStaleSymbol)
{
    // A symbol first, then every field the symbol holds at 255 bytes.
    QStringList args = {"--set", "名前=A", "--qr", "show"};
    for (const char *key : {"eName", "eFuri", "eCorp", "eBusho", "eYaku", "ePostNo", "eAddress",
                            "eTel", "eMobile", "eFax", "eURL", "eMail"})
        args << "--set" << QString("%1=%2").arg(key, QString(255, u'a'));
    const QString card = Fill("long.pkd", args);
    Fill("hidden.pkd", {card, "--qr", "hide"});
    EXPECT_EQ(Cli({"info", card}).status, 0);

    Ran r = Cli({"qr", card, "--raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count('\n'), 12);
    EXPECT_GT(r.out.size(), 12 * 255);
    r = Cli({"qr", card, "-o", Path("qr.bmp")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.OneLine() && r.Err().contains(Path("qr.bmp"))) << r.err.toStdString();
    EXPECT_GT(r.out.size(), 12 * 255) << "the text is written all the same";
    EXPECT_FALSE(QFileInfo::exists(Path("qr.bmp")));

    WriteAll(Path("people.csv"), "名前\nB\nC\n");
    const QList<QStringList> draws = {
        {"render", card, "-o", Path("card.png")},
        {"sheet", card, "-o", Path("sheet.pdf"), "--dpi", "100"},
        {"merge", card, Path("people.csv"), "-o", Path("m.pdf"), "--dpi", "100", "--keep-empty"}};
    for (const QStringList &cmd : draws) {
        r = Cli(cmd);
        EXPECT_EQ(r.status, 0) << cmd[0].toStdString() << ": " << r.err.toStdString();
        // Said once, not for every row (a merge names each row's long lines).
        EXPECT_EQ(r.Err().count("QR コードに入りきらない"), 1) << r.err.toStdString();
    }
    const Ran zbar = Tool("zbarimg", {"--raw", "-q", Path("card.png")});
    EXPECT_NE(zbar.status, 0) << "a symbol was drawn: " << zbar.out.toStdString();
}

// The editor's Print to File, with two copies, and the sheet command write
// the same page.
TEST_F(Cards, PrintToFileMatchesSheetAndHoldsEachCopy)
{
    // Dark to the card's edge, so a cell cut at a margin shows.
    const QString card =
        Fill("p.pkd", {DarkCard(), "--set", "名前=山田 太郎", "--set", "電話=03-1234-5678"});
    ASSERT_EQ(Cli({"sheet", card, "-o", Path("cli.pdf"), "--raster"}).status, 0);

    EditSession editor;
    ASSERT_EQ(editor.LoadBytes(ReadAll(card)), EditSession::LoadResult::Loaded);
    editor.FillFieldsFromCard();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Path("gui.pdf"));
    printer.setPageSize(QPageSize(QPageSize::A4));
    // Margins as a print dialog may leave them, not a whole number of
    // device pixels: a file has no use for them.
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    printer.setCopyCount(2);
    PrintSheet(printer, MakeDrawingOrder(editor.Card()), PrintSpace{10, 7, 3, 3});

    ASSERT_EQ(PdfPages(Path("gui.pdf")), 2);
    // The copies share one card image.
    EXPECT_LT(QFileInfo(Path("gui.pdf")).size(), QFileInfo(Path("cli.pdf")).size() * 3 / 2);
    const QImage sheet = RasterPage(Path("cli.pdf"), 1, 150, dir.path());
    ASSERT_FALSE(sheet.isNull());
    for (int page : {1, 2})
        EXPECT_TRUE(RasterPage(Path("gui.pdf"), page, 150, dir.path()) == sheet) << page;
}

// The vector sheet: real text in embedded fonts, a QR symbol in every cell that
// reads, one embedded copy of the picture, and the cells where the card image
// sheet (--raster) puts them.
TEST_F(Cards, VectorSheetKeepsTextFontsSymbolsAndPlaces)
{
    const QString card = Fill("v.pkd", {DarkCard(), "--set", "名前=山田 太郎", "--set",
                                        "電話=03-1234-5678", "--qr", "show"});
    ASSERT_EQ(Cli({"sheet", card, "-o", Path("vector.pdf")}).status, 0);
    ASSERT_EQ(Cli({"sheet", card, "-o", Path("raster.pdf"), "--raster"}).status, 0);

    const QStringList fonts = QString::fromUtf8(Tool("pdffonts", {Path("vector.pdf")}).out)
                                  .split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(fonts.size(), 2) << "no fonts";
    const qsizetype emb = fonts[0].indexOf(QStringLiteral("emb"));
    for (const QString &font : fonts.mid(2))
        EXPECT_EQ(font.mid(emb, 3), QStringLiteral("yes")) << font.toStdString();
    EXPECT_EQ(QString::fromUtf8(Tool("pdftotext", {Path("vector.pdf"), "-"}).out)
                  .count(QStringLiteral("山田")),
              10);

    // pdfimages lists each use; the object number names the stored image. A
    // finer sheet embeds the picture at 600 dpi, still once.
    ASSERT_EQ(Cli({"sheet", card, "-o", Path("fine.pdf"), "--dpi", "1200"}).status, 0);
    for (const QString pdf : {"vector.pdf", "fine.pdf"}) {
        QSet<QString> stored;
        const QStringList uses =
            QString::fromUtf8(Tool("pdfimages", {"-list", Path(pdf)}).out).split('\n');
        for (const QString &use : uses.mid(2))
            if (const QStringList f = use.simplified().split(' '); f.size() > 12) {
                stored.insert(f[10]);
                EXPECT_LE(f[12].toInt(), 601) << use.toStdString();
            }
        EXPECT_EQ(stored.size(), 1) << uses.join('\n').toStdString();
    }

    const QByteArray qrText = Cli({"qr", card, "--raw"}).out;
    const QImage at300 = RasterPage(Path("vector.pdf"), 1, 300, dir.path());
    const QSize cell300(1075, 650);
    for (const QPoint &at : cellCorners(600, 10, 7, 3, 3)) {
        const QString file = Path(QStringLiteral("cell%1.png").arg(at.y() * 10 + at.x()));
        at300.copy(QRect(at / 2 - QPoint(10, 10), cell300 + QSize(20, 20))).save(file);
        EXPECT_EQ(DecodeQr(file), qrText) << at.x() << "," << at.y();
    }

    // Both sheets as pdftoppm draws them at 600 dpi: each cell's ink box is
    // the dark card's edge.
    auto page600 = [&](const QString &pdf) {
        const QString base = Path(QFileInfo(pdf).baseName() + "600");
        EXPECT_EQ(Tool("pdftoppm", {"-r", "600", "-gray", "-singlefile", pdf, base}).status, 0);
        return QImage(base + ".pgm");
    };
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(512); // two A4 pages at 600 dpi
    const QImage vector = page600(Path("vector.pdf")), raster = page600(Path("raster.pdf"));
    QImageReader::setAllocationLimit(limit);
    ASSERT_FALSE(vector.isNull());
    ASSERT_FALSE(raster.isNull());
    const QSize cell600(2149, 1299);
    for (const QPoint &at : cellCorners(600, 10, 7, 3, 3)) {
        const QRect around(at - QPoint(20, 20), cell600 + QSize(40, 40));
        const QRect v = DarkBounds(vector.copy(around)), r = DarkBounds(raster.copy(around));
        const QRect laid(QPoint(20, 20), cell600);
        const int dv[] = {v.left(), v.top(), v.right(), v.bottom()};
        const int dr[] = {r.left(), r.top(), r.right(), r.bottom()};
        const int dl[] = {laid.left(), laid.top(), laid.right(), laid.bottom()};
        for (int edge = 0; edge < 4; ++edge) {
            EXPECT_LE(std::abs(dv[edge] - dr[edge]), 1) << at.x() << "," << at.y() << " " << edge;
            EXPECT_LE(std::abs(dr[edge] - dl[edge]), 1) << at.x() << "," << at.y() << " " << edge;
        }
    }
}

namespace {

// One use of an image on a page, as pdfimages -list lists it.
struct ImageUse
{
    int page = 0;
    QString type;
    QSize size;
    QString object; // the stored image
    int ppiX = 0;
    int ppiY = 0;
};

std::vector<ImageUse> imageUses(const QString &pdf)
{
    std::vector<ImageUse> uses;
    const QStringList lines = QString::fromUtf8(Tool("pdfimages", {"-list", pdf}).out).split('\n');
    for (const QString &line : lines.mid(2))
        if (const QStringList f = line.simplified().split(' '); f.size() > 13)
            uses.push_back({f[0].toInt(), f[2], QSize(f[3].toInt(), f[4].toInt()), f[10],
                            f[12].toInt(), f[13].toInt()});
    return uses;
}

} // namespace

// A picture in a PDF is embedded once, with no more pixels than it has and
// at most 600 per inch for its size on the card: a card of 2,000 tiny
// bitmaps (4 x 4 pixels each, stretched to 8 mm) gives a sheet of 20,000
// uses of 2,000 images of 4 x 4 pixels (it gave 189 x 189 pixels each, most
// embedded anew in every cell: 81 MB), a merge of two pages still 2,000; a
// photo finer than 600 dpi is embedded at 600 dpi for its size, in a 1200
// dpi sheet too.
TEST_F(Cards, PicturesGoIntoAPdfOnceAtNoMorePixelsThanTheyHave)
{
    const QByteArray tiny = bombs::manyTinyPicturesCard(2000);
    WriteAll(Path("tiny.pkd"), tiny);
    WriteAll(Path("two.csv"), "名前\n山田\n佐藤\n");
    Ran r = Cli({"sheet", Path("tiny.pkd"), "-o", Path("tiny.pdf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = Cli({"merge", Path("tiny.pkd"), Path("two.csv"), "-o", Path("merged.pdf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_LE(QFileInfo(Path("tiny.pdf")).size(), 20 * 1000 * 1000);
    for (const auto &[pdf, pages] : {std::pair{"tiny.pdf", 1}, std::pair{"merged.pdf", 2}}) {
        SCOPED_TRACE(pdf);
        const std::vector<ImageUse> uses = imageUses(Path(pdf));
        EXPECT_EQ(uses.size(), std::size_t(20000 * pages));
        QSet<QString> stored;
        int larger = 0;
        for (const ImageUse &use : uses) {
            stored.insert(use.object);
            if (use.type != "image" || use.size.width() > 4 || use.size.height() > 4)
                ++larger;
        }
        EXPECT_EQ(stored.size(), 2000);
        EXPECT_EQ(larger, 0) << "of " << uses.size() << " uses, the first "
                             << (uses.empty() ? QSize() : uses.front().size).width() << " wide";
    }

    ASSERT_EQ(Tool("convert",
                   {"-size", "4000x2400", "gradient:red-blue", "-quality", "85", Path("fine.jpg")})
                  .status,
              0);
    const QString fine = Fill("fine.pkd", {"--background", Path("fine.jpg")});
    for (const char *dpi : {"600", "1200"}) {
        SCOPED_TRACE(dpi);
        r = Cli({"sheet", fine, "-o", Path("fine.pdf"), "--dpi", dpi});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const std::vector<ImageUse> uses = imageUses(Path("fine.pdf"));
        ASSERT_EQ(uses.size(), 10u);
        QSet<QString> stored;
        for (const ImageUse &use : uses) {
            stored.insert(use.object);
            // The card at 600 dpi is 2149 x 1299 pixels; pdfimages rounds.
            EXPECT_LE(use.size.width(), 2150);
            EXPECT_GE(use.size.width(), 2140);
            EXPECT_LE(use.ppiX, 601);
            EXPECT_LE(use.ppiY, 601);
        }
        EXPECT_EQ(stored.size(), 1);
    }
}
