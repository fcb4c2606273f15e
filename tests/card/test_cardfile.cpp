#include "bomb_cards.h"
#include "support.h"

#include "card/cardfile.h"
#include "card/cardoptions.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/object.h"
#include "card/sjis.h"
#include "card/stream.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

const QByteArray kMagic("\x05PK100", 6);

// The QR object's record: order 16, visible, (600, 150, 850, 400), "<<QR>>".
QByteArray qrRecord()
{
    return ByteWriter()
        .shortString("QR")
        .shortString("GraphicObject")
        .i32(16)
        .u8(1)
        .i32(600)
        .i32(150)
        .i32(850)
        .i32(400)
        .shortString("<<QR>>")
        .data();
}

// A file whose second record is a picture record made by hand.
QByteArray pictureFile(const std::string &cls, std::int32_t length, const QByteArray &data)
{
    return ByteWriter()
        .raw(kMagic)
        .raw(qrRecord())
        .shortString("bPicture")
        .shortString("GraphicObject")
        .i32(2)
        .u8(1)
        .i32(0)
        .i32(0)
        .i32(100)
        .i32(100)
        .shortString("C:\\a.jpg")
        .shortString(cls)
        .i32(length)
        .raw(data)
        .data();
}

QByteArray fontRecord(std::int32_t height, std::int32_t weight, int italic, int underline,
                      int strikeout, int charset, int pitch, const QByteArray &face)
{
    QByteArray rec(60, '\0');
    ByteWriter h;
    h.i32(height);
    rec.replace(0, 4, h.data());
    ByteWriter w;
    w.i32(weight);
    rec.replace(16, 4, w.data());
    rec[20] = char(italic);
    rec[21] = char(underline);
    rec[22] = char(strikeout);
    rec[23] = char(charset);
    rec[27] = char(pitch);
    rec.replace(28, std::min<qsizetype>(face.size(), 32), face.left(32));
    return rec;
}

QByteArray writeObject(const Object &obj)
{
    MemoryStream s;
    WriteObject(&s, &obj);
    return s.Data();
}

std::unique_ptr<Object> readObject(const QByteArray &bytes)
{
    MemoryStream s(bytes);
    std::unique_ptr<Object> obj(ReadObject(&s));
    EXPECT_EQ(s.Remaining(), 0);
    return obj;
}

// Records where each record starts and where its key ends in the saved file.
struct Layout
{
    QByteArray file;
    std::vector<qsizetype> start; // one per record, then the file size
    std::vector<qsizetype> keyEnd;
    std::vector<std::string> keys;
};

Layout layoutOf(const Objects &card)
{
    Layout l;
    MemoryStream s;
    WriteShortString(&s, kCardMagic);
    for (const auto &[key, obj] : card) {
        if (!obj)
            continue;
        l.start.push_back(s.Data().size());
        WriteShortString(&s, key);
        l.keyEnd.push_back(s.Data().size());
        l.keys.push_back(key);
        WriteObject(&s, obj.get());
    }
    l.start.push_back(s.Data().size());
    l.file = s.Data();
    return l;
}

// What the caller's card looked like: its bytes and its object pointers.
struct Snapshot
{
    QByteArray bytes;
    std::vector<std::pair<std::string, Object *>> entries;
    explicit Snapshot(const Objects &card) : bytes(saveCard(card))
    {
        for (const auto &[key, obj] : card)
            entries.emplace_back(key, obj.get());
    }
    bool operator==(const Snapshot &) const = default;
};

void buildCallerCard(OwnedCard &caller)
{
    BuildDefaultCard(caller.objects);
    dynamic_cast<TextObject &>(*caller.objects["eName"]).SetText("caller");
}

// Expects LoadCard over `file` to throw ReadError naming `key` and to leave
// the caller's card as it was.
void expectReadErrorKeepsCard(const QByteArray &file, const std::string &key,
                              const std::string &alsoInMessage = {})
{
    OwnedCard caller;
    buildCallerCard(caller);
    const Snapshot before(caller.objects);
    try {
        loadCard(file, caller.objects);
        ADD_FAILURE() << "no error for " << hex(file.right(40));
    } catch (const ReadError &e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("\"" + key + "\""), std::string::npos) << what;
        if (!alsoInMessage.empty()) {
            EXPECT_NE(what.find(alsoInMessage), std::string::npos) << what;
        }
    }
    EXPECT_TRUE(Snapshot(caller.objects) == before);
}

// Remembers the largest single read it was asked for.
class RecordingStream : public Stream
{
public:
    explicit RecordingStream(QByteArray data) : inner(std::move(data)) {}
    void Read(void *buffer, std::int64_t n) override
    {
        largest = std::max(largest, n);
        inner.Read(buffer, n);
    }
    void Write(const void *buffer, std::int64_t n) override { inner.Write(buffer, n); }
    std::int64_t Remaining() const override { return inner.Remaining(); }
    std::int64_t largest = 0;

private:
    MemoryStream inner;
};

QString imageMagick()
{
    QString exe = QStandardPaths::findExecutable(QStringLiteral("convert"), {"/usr/bin"});
    return exe.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("convert")) : exe;
}

} // namespace

TEST(ShortString, CutsAtNulAndLongTextsAtAWholeCharacter)
{
    MemoryStream in(QByteArray("\x05"
                               "ab\0cd"
                               "\x07",
                               7));
    std::string out = "old";
    EXPECT_TRUE(ReadShortString(&in, out));
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(in.ReadByte(), 7) << "the stream advances by the full length";

    struct Case
    {
        std::string text;
        std::size_t written;
    };
    std::string a200, ascii300(300, 'x'), kana300, mixed = "A";
    for (int i = 0; i < 200; ++i)
        a200 += sj("あ");
    for (int i = 0; i < 300; ++i)
        kana300 += sj("ｱ"); // half-width katakana is one byte
    mixed += a200;
    for (const Case &c : {Case{a200, 254}, Case{ascii300, 255}, Case{kana300, 255},
                          Case{mixed, 255}, Case{std::string(255, 'y'), 255}}) {
        MemoryStream s;
        EXPECT_TRUE(WriteShortString(&s, c.text));
        ASSERT_EQ(s.Data().size(), qsizetype(c.written + 1));
        EXPECT_EQ(static_cast<unsigned char>(s.Data()[0]), c.written);
        EXPECT_EQ(s.Data().mid(1).toStdString(), c.text.substr(0, c.written));
    }

    // A card with over-long texts stays readable, and what follows them too.
    OwnedCard card;
    auto *memo = new TextObjectWithHeader(a200, TRect{1, 2, 3, 4});
    memo->SetText(mixed);
    card.objects["eMemo1"].reset(memo);
    auto *after = new TextObject(TRect{5, 6, 7, 8});
    after->SetText("after");
    card.objects["eMemo2"].reset(after);
    OwnedCard read;
    ASSERT_TRUE(loadCard(saveCard(card.objects), read.objects));
    auto *m = dynamic_cast<TextObjectWithHeader *>(read.objects.Find("eMemo1"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Header(), a200.substr(0, 254));
    EXPECT_EQ(m->GetText(), mixed.substr(0, 255));
    auto *a = dynamic_cast<TextObject *>(read.objects.Find("eMemo2"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetText(), "after");

    // A text holding a NUL reads back cut there.
    OwnedCard nul;
    auto *t = new TextObject;
    t->SetText(std::string("ab\0cd", 5));
    nul.objects["eName"].reset(t);
    OwnedCard nulRead;
    ASSERT_TRUE(loadCard(saveCard(nul.objects), nulRead.objects));
    EXPECT_EQ(dynamic_cast<TextObject &>(*nulRead.objects.Find("eName")).GetText(), "ab");
}

TEST(CardRecords, QrRecordIsTheDocumented45Bytes)
{
    GraphicObject qr;
    qr.SetOrder(16);
    qr.SetPicture(std::make_unique<VectorPicture>(21, 21, Qt::white, Qt::black,
                                                  std::vector<QRect>{QRect(0, 0, 7, 7)}),
                  Converter(645), kQrSource);
    qr.SetRect(TRect{600, 150, 850, 400});
    MemoryStream s;
    WriteShortString(&s, kQrKey);
    WriteObject(&s, &qr);
    const QByteArray expected = QByteArray::fromHex("025152"
                                                    "0D"
                                                    "477261706869634F626A656374"
                                                    "10000000"
                                                    "01"
                                                    "58020000"
                                                    "96000000"
                                                    "52030000"
                                                    "90010000"
                                                    "06"
                                                    "3C3C51523E3E");
    EXPECT_EQ(hex(s.Data()), hex(expected));
    EXPECT_EQ(s.Data().size(), 45);
    EXPECT_EQ(s.Data(), qrRecord());

    OwnedCard card;
    ASSERT_TRUE(loadCard(kMagic + qrRecord(), card.objects));
    ASSERT_EQ(card.objects.size(), 1u);
    auto *g = dynamic_cast<GraphicObject *>(card.objects.Find("QR"));
    ASSERT_NE(g, nullptr);
    TRect r;
    g->GetRect(r);
    EXPECT_EQ(r, (TRect{600, 150, 850, 400}));
    EXPECT_EQ(g->GetOrder(), 16);
    EXPECT_TRUE(g->IsVisible());
    EXPECT_EQ(g->Source(), kQrSource);
    EXPECT_EQ(g->GetPicture(), nullptr);

    // A later record under a used key replaces the earlier object.
    QByteArray twice = kMagic + qrRecord() + qrRecord();
    twice[twice.size() - 45 + 3 + 14] = 3; // the second record's order
    ASSERT_TRUE(loadCard(twice, card.objects));
    ASSERT_EQ(card.objects.size(), 1u);
    EXPECT_EQ(card.objects.Find("QR")->GetOrder(), 3);
}

TEST(CardRecords, TextRecordsAndTheFontRecord)
{
    TextObject t(TRect{1, 2, 3, 4});
    t.SetOrder(7);
    t.SetText("ab");
    t.SetColor(0x00112233);
    Font f;
    f.height = -21;
    f.bold = true;
    f.italic = true;
    f.underline = false;
    f.strikeout = true;
    f.charset = 128;
    f.pitch = Pitch::Fixed;
    f.name = sj("ＭＳ ゴシック");
    f.color = 0x00ABCDEF; // not stored
    t.SetFont(f);
    const QByteArray face = QByteArray::fromStdString(f.name);
    const QByteArray expected = ByteWriter()
                                    .shortString("TextObject")
                                    .i32(7)
                                    .u8(1)
                                    .i32(1)
                                    .i32(2)
                                    .i32(3)
                                    .i32(4)
                                    .shortString("ab")
                                    .raw(fontRecord(-21, 700, 1, 0, 1, 128, 1, face))
                                    .i32(0x00112233)
                                    .data();
    EXPECT_EQ(hex(writeObject(t)), hex(expected));

    // Plain weight and the other pitches; a face over 31 bytes is cut at a
    // whole character and the record stays NUL-terminated.
    std::string longFace;
    for (int i = 0; i < 20; ++i)
        longFace += sj("ゴ");
    for (const auto &[pitch, byte] :
         {std::pair{Pitch::Variable, 2}, std::pair{Pitch::Default, 0}}) {
        Font g = f;
        g.bold = g.italic = g.strikeout = false;
        g.underline = true;
        g.pitch = pitch;
        g.charset = 0;
        g.name = longFace;
        t.SetFont(g);
        const QByteArray body = writeObject(t);
        const QByteArray font = body.mid(11 + 5 + 16 + 3, 60);
        EXPECT_EQ(hex(font), hex(fontRecord(-21, 400, 0, 1, 0, 0, byte,
                                            QByteArray::fromStdString(longFace.substr(0, 30)))));
    }
    Font ascii = f;
    ascii.name = std::string(40, 'F');
    t.SetFont(ascii);
    const QByteArray font = writeObject(t).mid(11 + 5 + 16 + 3, 60);
    EXPECT_EQ(font.mid(28, 31), QByteArray(31, 'F'));
    EXPECT_EQ(font.at(59), '\0');

    // Reading: bold above 699, italic and friends only when 1, pitch from
    // the low four bits, the face up to its NUL or 31 bytes.
    struct Read
    {
        std::int32_t weight;
        int italic;
        int pitchByte;
        QByteArray face;
        bool bold;
        bool isItalic;
        Pitch pitch;
        std::string name;
    };
    for (const Read &c : {
             Read{699, 1, 0x31, QByteArray("Arial\0junk", 10), false, true, Pitch::Fixed, "Arial"},
             Read{700, 2, 0x12, QByteArray(32, 'A'), true, false, Pitch::Variable,
                  std::string(31, 'A')},
             Read{1000, 0, 0x03, QByteArray(), true, false, Pitch::Default, ""},
             Read{0, 0, 0x20, QByteArray::fromStdString(sj("明朝")), false, false, Pitch::Default,
                  sj("明朝")},
         }) {
        const QByteArray record =
            ByteWriter()
                .shortString("TextObject")
                .i32(-5)
                .u8(0)
                .i32(10)
                .i32(20)
                .i32(30)
                .i32(40)
                .shortString("text")
                .raw(fontRecord(-16, c.weight, c.italic, 1, 1, 0x80, c.pitchByte, c.face))
                .i32(0x000000FF)
                .data();
        auto obj = readObject(record);
        auto *text = dynamic_cast<TextObject *>(obj.get());
        ASSERT_NE(text, nullptr);
        Font got;
        text->GetFont(got);
        EXPECT_EQ(got.height, -16);
        EXPECT_EQ(got.bold, c.bold) << c.weight;
        EXPECT_EQ(got.italic, c.isItalic) << c.italic;
        EXPECT_TRUE(got.underline);
        EXPECT_TRUE(got.strikeout);
        EXPECT_EQ(got.charset, 128);
        EXPECT_EQ(got.pitch, c.pitch) << c.pitchByte;
        EXPECT_EQ(got.name, c.name);
        EXPECT_EQ(text->GetOrder(), -5);
        EXPECT_EQ(text->GetText(), "text");
        EXPECT_EQ(text->DisplayText(), "text");
        EXPECT_EQ(text->GetColor(), 0x000000FF);
        EXPECT_FALSE(text->IsVisible());
        TRect r;
        text->GetRect(r);
        EXPECT_EQ(r, (TRect{10, 20, 30, 40}));
    }
}

TEST(CardRecords, HeaderRecordRepeatsTheHead)
{
    TextObjectWithHeader h(sj("携帯 "), TRect{140, 280, 300, 300});
    h.SetOrder(8);
    h.SetVisible(false);
    h.SetText("090");
    const QByteArray bytes = writeObject(h);
    const std::string header = sj("携帯 ");
    const QByteArray head = ByteWriter()
                                .shortString("TextObjectWithHeader")
                                .i32(8)
                                .u8(0)
                                .shortString(header)
                                .i32(8)
                                .u8(0)
                                .i32(140)
                                .i32(280)
                                .i32(300)
                                .i32(300)
                                .shortString("090")
                                .data();
    EXPECT_EQ(hex(bytes.left(head.size())), hex(head));
    EXPECT_EQ(bytes.size(), head.size() + 60 + 4);

    auto obj = readObject(bytes);
    auto *read = dynamic_cast<TextObjectWithHeader *>(obj.get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Header(), header);
    EXPECT_EQ(read->GetText(), "090");
    EXPECT_EQ(read->DisplayText(), header + "090");
    EXPECT_EQ(read->GetOrder(), 8);
    EXPECT_FALSE(read->IsVisible());
    read->SetVisible(true);
    EXPECT_TRUE(read->IsVisible());
    const QByteArray shown = writeObject(*read);
    const int n = static_cast<int>(header.size());
    EXPECT_EQ(shown.at(25), 1);
    EXPECT_EQ(shown.at(31 + n), 1);
}

TEST(LoadCard, MagicDecidesWhetherTheCardIsReplaced)
{
    OwnedCard card;
    buildCallerCard(card);
    const Snapshot before(card.objects);

    // Any changed byte, or another length, is not a card file.
    const QByteArray good = kMagic + qrRecord();
    for (int i = 0; i < 6; ++i) {
        QByteArray bad = good;
        bad[i] = char(bad[i] ^ 0x01);
        EXPECT_FALSE(loadCard(bad, card.objects)) << i;
    }
    for (const QByteArray &bad :
         {QByteArray("\x04PK10"), QByteArray("\x06PK1000"), QByteArray("\x05pk100"),
          QByteArray("\x00", 1), QByteArray("\x03PNG")})
        EXPECT_FALSE(loadCard(bad + qrRecord(), card.objects)) << hex(bad);
    EXPECT_TRUE(Snapshot(card.objects) == before);

    // A stream that cannot hold the magic it starts with: empty, or a small
    // file of another kind whose first byte announces more than there is.
    EXPECT_THROW(loadCard(QByteArray(), card.objects), ReadError);
    EXPECT_THROW(loadCard(QByteArray("\x89PNG\r\n\x1a\n"), card.objects), ReadError);
    EXPECT_TRUE(Snapshot(card.objects) == before);

    // The magic alone is an empty card.
    EXPECT_TRUE(loadCard(kMagic, card.objects));
    EXPECT_TRUE(card.objects.empty());
}

TEST(LoadCard, EveryTruncationEndsWellOrThrowsAndKeepsTheCallersCard)
{
    OwnedCard sample;
    buildSampleCard(sample.objects);
    const Layout l = layoutOf(sample.objects);
    ASSERT_EQ(l.file, saveCard(sample.objects));
    ASSERT_EQ(l.keys.size(), 17u);
    ASSERT_GT(l.file.size(), 1000);

    int endedWell = 0, threw = 0;
    for (qsizetype cut = 0; cut <= l.file.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut << " of " << l.file.size());
        // The number of complete records, when the cut is at a record's
        // start or inside its key; -1 when it is anywhere else.
        int complete = -1;
        std::string inRecord;
        if (cut >= kMagic.size()) {
            for (std::size_t i = 0; i < l.start.size(); ++i) {
                if (cut == l.start[i] ||
                    (i < l.keyEnd.size() && cut > l.start[i] && cut < l.keyEnd[i]))
                    complete = static_cast<int>(i);
                if (i < l.keys.size() && cut >= l.keyEnd[i] && cut < l.start[i + 1])
                    inRecord = l.keys[i];
            }
        }
        OwnedCard caller;
        buildCallerCard(caller);
        const Snapshot before(caller.objects);
        try {
            const bool ok = loadCard(l.file.left(cut), caller.objects);
            EXPECT_TRUE(ok);
            ASSERT_GE(complete, 0) << "loaded although cut inside a record";
            EXPECT_EQ(saveCard(caller.objects), l.file.left(l.start[complete]));
            ++endedWell;
        } catch (const ReadError &e) {
            EXPECT_LT(complete, 0) << e.what();
            EXPECT_TRUE(Snapshot(caller.objects) == before);
            if (!inRecord.empty()) {
                EXPECT_NE(std::string(e.what()).find("\"" + inRecord + "\""), std::string::npos)
                    << e.what();
            }
            ++threw;
        }
    }
    EXPECT_EQ(endedWell + threw, l.file.size() + 1);
    EXPECT_GT(endedWell, 17);
}

TEST(LoadCard, PictureRecordsThatCannotBeReadThrowWithTheKey)
{
    const QByteArray jpeg = sampleJpeg();
    // Lengths that the rest of the file cannot hold are refused before any
    // allocation or read of that size.
    for (const std::int32_t length : {-1, -2147483647 - 1, 2147483647, 11}) {
        SCOPED_TRACE(length);
        const QByteArray file = pictureFile("TJPEGImage", length, QByteArray(10, 'x'));
        expectReadErrorKeepsCard(file, "bPicture", std::to_string(length));
        RecordingStream s(file);
        OwnedCard card;
        EXPECT_THROW(LoadCard(&s, card.objects), ReadError);
        EXPECT_LE(s.largest, 255);
    }
    expectReadErrorKeepsCard(pictureFile("TMetafile", 0, {}), "bPicture", "TMetafile");
    expectReadErrorKeepsCard(pictureFile("TPngImage", int(jpeg.size()), jpeg), "bPicture",
                             "TPngImage");
    expectReadErrorKeepsCard(pictureFile("TJPEGImage", 20, QByteArray(20, '\x42')), "bPicture");
    expectReadErrorKeepsCard(pictureFile("TBitmap", 20, QByteArray(20, '\x42')), "bPicture");
    expectReadErrorKeepsCard(pictureFile("TJPEGImage", 0, {}), "bPicture");
    // The class decides the decoder: JPEG bytes are no bitmap.
    expectReadErrorKeepsCard(pictureFile("TBitmap", int(jpeg.size()), jpeg), "bPicture");

    const QByteArray unknownTag = ByteWriter()
                                      .raw(kMagic)
                                      .raw(qrRecord())
                                      .shortString("eName")
                                      .shortString("TShapeObject")
                                      .i32(1)
                                      .u8(1)
                                      .data();
    expectReadErrorKeepsCard(unknownTag, "eName", "TShapeObject");

    // The same layout with good data loads.
    OwnedCard card;
    ASSERT_TRUE(loadCard(pictureFile("TJPEGImage", int(jpeg.size()), jpeg), card.objects));
    auto *g = dynamic_cast<GraphicObject *>(card.objects.Find("bPicture"));
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->GetPicture(), nullptr);
    EXPECT_EQ(g->GetPicture()->SaveToBytes(), jpeg);
}

TEST(LoadCard, PicturesComeBackByteExactAndCardsReadTwiceAlike)
{
    OwnedCard sample;
    buildSampleCard(sample.objects);
    const QByteArray file = saveCard(sample.objects);

    OwnedCard card;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(loadCard(file, card.objects));
        EXPECT_EQ(card.objects.size(), 17u);
        EXPECT_EQ(saveCard(card.objects), file);
    }
    auto *back = dynamic_cast<GraphicObject *>(card.objects.Find(kBackPictureKey));
    ASSERT_NE(back, nullptr);
    auto *jpeg = dynamic_cast<const JpegPicture *>(back->GetPicture());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->SaveToBytes(), sampleJpeg());
    EXPECT_EQ(jpeg->ClassName(), "TJPEGImage");
    EXPECT_EQ(QSize(jpeg->Width(), jpeg->Height()), QSize(40, 30));
    EXPECT_EQ(back->Source(), sj("C:\\写真\\背景.jpg"));

    auto *pic = dynamic_cast<GraphicObject *>(card.objects.Find(kPictureKey));
    ASSERT_NE(pic, nullptr);
    auto *bmp = dynamic_cast<const BitmapPicture *>(pic->GetPicture());
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->SaveToBytes(), sampleBmp());
    EXPECT_EQ(bmp->ClassName(), "TBitmap");
    EXPECT_EQ(bmp->ToImage().convertToFormat(QImage::Format_RGB32), photoImage(12, 9, 2));
    TRect r;
    pic->GetRect(r);
    EXPECT_EQ(r, (TRect{700, 40, 700 + 17, 40 + 13}));

    // The file also reads through a device stream.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile out(dir.filePath("card.pkd"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    QFile in(out.fileName());
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    DeviceStream ds(&in);
    OwnedCard fromFile;
    ASSERT_TRUE(LoadCard(&ds, fromFile.objects));
    EXPECT_EQ(saveCard(fromFile.objects), file);
}

TEST(LoadCard, PicturesFromAnotherEncoderRoundTrip)
{
    const QString convert = imageMagick();
    if (convert.isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString jpgPath = dir.filePath(QStringLiteral("写真.jpg"));
    const QString bmpPath = dir.filePath(QStringLiteral("ロゴ.bmp"));
    const QString bmp3Path = dir.filePath(QStringLiteral("古い.bmp"));
    for (const QStringList &args :
         {QStringList{"-size", "48x32", "gradient:red-blue", jpgPath},
          QStringList{"-size", "24x16", "gradient:yellow-blue", bmpPath},
          QStringList{"-size", "24x16", "gradient:yellow-blue", "BMP3:" + bmp3Path}}) {
        QProcess p;
        p.start(convert, args);
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }

    OwnedCard card;
    BuildDefaultCard(card.objects);
    const Converter editor(645);
    struct Pick
    {
        const char *key;
        QString path;
        bool jpeg;
    };
    std::vector<Pick> picks = {
        {kBackPictureKey, jpgPath, true}, {kPictureKey, bmpPath, false}, {"zOld", bmp3Path, false}};
    card.objects["zOld"].reset(new GraphicObject);
    for (const Pick &pick : picks) {
        auto &g = dynamic_cast<GraphicObject &>(*card.objects[pick.key]);
        const std::string path = sjis::fromUnicode(pick.path);
        if (pick.jpeg)
            g.SetPicture(JpegPicture::FromFile(path), editor, path);
        else
            g.SetPicture(BitmapPicture::FromFile(path), editor, path);
        g.SetVisible(true);
    }

    OwnedCard read;
    ASSERT_TRUE(loadCard(saveCard(card.objects), read.objects));
    EXPECT_EQ(saveCard(read.objects), saveCard(card.objects));
    for (const Pick &pick : picks) {
        SCOPED_TRACE(pick.key);
        QFile f(pick.path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const auto *g = dynamic_cast<GraphicObject *>(read.objects.Find(pick.key));
        ASSERT_NE(g, nullptr);
        ASSERT_NE(g->GetPicture(), nullptr);
        EXPECT_EQ(g->GetPicture()->SaveToBytes(), f.readAll());
        const QImage image = pick.jpeg
                                 ? dynamic_cast<const JpegPicture *>(g->GetPicture())->ToImage()
                                 : dynamic_cast<const BitmapPicture *>(g->GetPicture())->ToImage();
        const QRgb top = image.pixel(image.width() / 2, 0);
        const QRgb bottom = image.pixel(image.width() / 2, image.height() - 1);
        if (pick.jpeg) {
            EXPECT_GT(qRed(top), 200);
            EXPECT_LT(qBlue(top), 60);
            EXPECT_GT(qBlue(bottom), 200);
            EXPECT_LT(qRed(bottom), 60);
        } else {
            EXPECT_EQ(top, qRgb(255, 255, 0));
            EXPECT_EQ(bottom, qRgb(0, 0, 255));
        }
    }
}

TEST(DefaultCard, SavesSeventeenRecordsInKeyOrderAndRepairsWhatIsMissing)
{
    OwnedCard card;
    BuildDefaultCard(card.objects);
    EXPECT_EQ(card.objects["zLookup"], nullptr); // an entry without an object
    const QByteArray file = saveCard(card.objects);

    MemoryStream s(file);
    std::string magic;
    ReadShortString(&s, magic);
    EXPECT_EQ(magic, "PK100");
    std::vector<std::string> keys, tags;
    while (s.Remaining() > 0) {
        std::string key;
        ReadShortString(&s, key);
        std::unique_ptr<Object> obj(ReadObject(&s));
        keys.push_back(key);
        tags.push_back(obj->GetClassName());
    }
    EXPECT_EQ(keys,
              (std::vector<std::string>{"QR", "bBackPicture", "bPicture", "eAddress", "eBusho",
                                        "eCorp", "eFax", "eFuri", "eMail", "eMemo1", "eMemo2",
                                        "eMobile", "eName", "ePostNo", "eTel", "eURL", "eYaku"}));
    for (std::size_t i = 0; i < tags.size(); ++i)
        EXPECT_EQ(tags[i].rfind(i < 3 ? "GraphicObject" : "TextObject", 0), 0u) << keys[i];

    // A missing key, a picture under a text key and a text under the QR key
    // are replaced; a plain text under a key whose default has a header, and
    // keys the editor does not know, stay.
    OwnedCard damaged;
    for (auto &[key, obj] : card.objects)
        if (key != "eName" && obj)
            damaged.objects[key] = std::move(obj);
    damaged.objects["eMail"].reset(new GraphicObject);
    damaged.objects["QR"].reset(new TextObject);
    auto *tel = new TextObject;
    tel->SetText("03");
    damaged.objects["eTel"].reset(tel);
    auto *extra = new TextObject;
    damaged.objects["zExtra"].reset(extra);

    EXPECT_EQ(RepairCard(damaged.objects), 3);
    EXPECT_EQ(damaged.objects.size(), 18u);
    EXPECT_EQ(damaged.objects["eTel"].get(), tel);
    EXPECT_EQ(tel->GetText(), "03");
    EXPECT_EQ(damaged.objects["zExtra"].get(), extra);
    EXPECT_NE(dynamic_cast<TextObject *>(damaged.objects["eName"].get()), nullptr);
    EXPECT_EQ(damaged.objects["eName"]->GetOrder(), 15);
    EXPECT_NE(dynamic_cast<TextObjectWithHeader *>(damaged.objects["eMail"].get()), nullptr);
    auto *qr = dynamic_cast<GraphicObject *>(damaged.objects["QR"].get());
    ASSERT_NE(qr, nullptr);
    EXPECT_EQ(qr->GetOrder(), 16);
    EXPECT_EQ(RepairCard(damaged.objects), 0);
}

TEST(CardOptions, DefaultsLeaveNoRecordAndTheRecordSurvivesSaveAndLoad)
{
    OwnedCard card;
    BuildDefaultCard(card.objects);
    const QByteArray plain = saveCard(card.objects);
    WriteCardOptions(card.objects, CardOptions{});
    EXPECT_EQ(card.objects.Find(kOptionsKey), nullptr);
    EXPECT_EQ(saveCard(card.objects), plain);

    for (const CardOptions &options :
         {CardOptions{QrFormat::Mecard, false, {}}, CardOptions{QrFormat::Vcard, true, {}},
          CardOptions{QrFormat::Text, true, {}},
          CardOptions{QrFormat::Text, false, TRect{5, 6, 70, 80}}, CardOptions{}}) {
        SCOPED_TRACE(QrFormatName(options.qrFormat));
        WriteCardOptions(card.objects, options);
        OwnedCard back;
        ASSERT_TRUE(loadCard(saveCard(card.objects), back.objects));
        EXPECT_EQ(ReadCardOptions(back.objects), options);
        const Object *record = back.objects.Find(kOptionsKey);
        EXPECT_EQ(record != nullptr, !(options == CardOptions{}));
        if (record) {
            EXPECT_FALSE(record->IsVisible());
        }
    }
    EXPECT_EQ(saveCard(card.objects), plain);

    // A later program's pairs stay; its values for known keys read as defaults.
    auto *later = new TextObject;
    later->SetText("later=1;qr=qrx;qrsize=other");
    later->SetVisible(false);
    card.objects[kOptionsKey].reset(later);
    EXPECT_EQ(ReadCardOptions(card.objects), CardOptions{});
    WriteCardOptions(card.objects, CardOptions{QrFormat::Vcard, false, {}});
    WriteCardOptions(card.objects, CardOptions{});
    OwnedCard back;
    ASSERT_TRUE(loadCard(saveCard(card.objects), back.objects));
    const auto *record = dynamic_cast<const TextObject *>(back.objects.Find(kOptionsKey));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->GetText(), "later=1");

    // A record full of a later program's pairs: the oldest make room, the
    // format is never cut.
    std::string full;
    for (int i = 0; full.size() < 250; ++i)
        full += "old" + std::to_string(i) + "=value;";
    card.objects[kOptionsKey] = std::make_unique<TextObject>();
    dynamic_cast<TextObject &>(*card.objects[kOptionsKey]).SetText(full);
    WriteCardOptions(card.objects, CardOptions{QrFormat::Mecard, true, {}});
    OwnedCard kept;
    ASSERT_TRUE(loadCard(saveCard(card.objects), kept.objects));
    EXPECT_EQ(ReadCardOptions(kept.objects), (CardOptions{QrFormat::Mecard, true, {}}));
    const std::string text = dynamic_cast<TextObject &>(*kept.objects[kOptionsKey]).GetText();
    EXPECT_EQ(text.find("old0="), std::string::npos) << text;
    EXPECT_NE(text.find(full.substr(full.size() - 20, 19)), std::string::npos) << text;
}

TEST(FuzzSeeds, CommittedSeedsAreCardFiles)
{
    const QString write = qEnvironmentVariable("PLAKURO_WRITE_FUZZ_SEEDS");
    if (!write.isEmpty()) {
        OwnedCard sample;
        buildSampleCard(sample.objects);
        const std::pair<const char *, QByteArray> seeds[] = {
            {"card_pictures.pkd", saveCard(sample.objects)},
            {"qr_record.pkd", kMagic + qrRecord()},
            {"magic_only.pkd", kMagic},
            {"jpeg_bomb.pkd", bombs::jpegBombCard()},
            {"progressive_bomb.pkd", bombs::progressiveBombCard()},
            {"stretched_bitmap_bomb.pkd", bombs::stretchedBitmapCard()},
        };
        QDir().mkpath(write);
        for (const auto &[name, bytes] : seeds) {
            QFile f(QDir(write).filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
    }
    const QDir dir(QStringLiteral(PLAKURO_CARD_SEEDS_DIR));
    const QStringList files = dir.entryList(QDir::Files);
    EXPECT_GE(files.size(), 2) << PLAKURO_CARD_SEEDS_DIR;
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        EXPECT_LT(bytes.size(), 20 * 1024);
        OwnedCard card;
        EXPECT_TRUE(loadCard(bytes, card.objects));
    }
}
