#include "cli/commands.h"
#include "cli/args.h"
#include "cli/cardjson.h"
#include "cli/edits.h"
#include "cli/files.h"
#include "merge/list.h"
#include "merge/mergecards.h"
#include "merge/pages.h"
#include "postal/postal.h"

#include "card/cardfile.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/printcheck.h"
#include "card/sjis.h"
#include "card/stream.h"
#include "card/strtoint.h"
#include "card/syserror.h"
#include "editor/session.h"
#include "editor/templates.h"
#include "print/pdffile.h"
#include "print/sheet.h"
#include "qr/qrcode.h"
#include "settings/ini.h"
#include "settings/printspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <unistd.h>

namespace {

// A4 in inches, as the sheet image's size is given.
constexpr double kA4WidthInch = 8.26772;
constexpr double kA4HeightInch = 11.69291;
constexpr int kMaxDpi = 2400;
constexpr int kProgressAbove = 10;
// How every card data file starts: the magic as a short string.
const QByteArray kCardMagicBytes = QByteArray(1, '\x05') + kCardMagic;

const OptionDef kOutputCard = {"output", 'o', "OUT", false,
                               "書き出すファイル (.png, .bmp または .pdf)"};
const OptionDef kOutputSheet = {"output", 'o', "OUT", false, "書き出すファイル (.pdf または .png)"};
// Sheets print at the printer resolution the editor's PDF printing uses.
const OptionDef kSheetDpi = {"dpi", 0, "N", false, "解像度 (dpi、1 から 2400)。既定 600"};
const OptionDef kSpace = {"space", 0, "A,B,C,D[,OX,OY]", false,
                          "左余白,上余白,左右の間隔,上下の間隔 (mm の整数)、"
                          "続けて用紙全体の横,縦の微調整 (0.1 mm の整数、省略時は 0)。"
                          "ないときは --settings のもの、それもないときは 10,7,3,3,0,0"};
const OptionDef kRaster = {"raster", 0, nullptr, false,
                           "PDF のカードを N dpi のカード画像にする (文字も画像になります)"};
const OptionDef kSettings = {
    "settings", 0, "FILE", false,
    "印刷オプションを [printspace] の a, b, c, d, ox, oy, cropmarks から読む設定ファイル"
    " (裏面は読みません。--back で指定します)"};

const OptionDef kCropMarks = {"crop-marks", 0, nullptr, false,
                              "カードの角の外側に 3 mm のトンボを描く (間隔が許すところまで)"};

const OptionDef kBack = {"back", 0, "BACK.pkd", false,
                         "裏面のカード。PDF の各ページのあとに、用紙を長い辺で裏返したとき"
                         "それぞれの表の裏に重なる位置へ裏面を描いたページを入れる"};
const OptionDef kShortEdge = {"short-edge", 0, nullptr, false,
                              "裏面を、用紙を短い辺で裏返す向き (短辺とじ) にする"};

const CommandDef kInfo = {
    "info", "info CARD.pkd", "カードの記録を 1 行の JSON で標準出力に書く", "", 1, 1, {}};

const CommandDef kRender = {
    "render",
    "render CARD.pkd -o OUT [--dpi N]",
    "カード 1 枚を画像 (PNG, BMP) または 91 x 55 mm の PDF にする",
    "画像は trunc(N x 3.58267) x trunc(N x 2.16535) ピクセル、白地に印刷と同じ描き方です。\n"
    "QR コードを表示するカードでは、エディタで開いたときと同じく記号を作り直します。\n"
    "文字が QR コードに入りきらないときは、QR コードなしで描き、そのことを標準エラーに書きます。\n"
    "カードからはみ出す行、ほかの行に重なる行 (印刷の確認) も標準エラーに書きます。\n",
    1,
    1,
    {kOutputCard, {"dpi", 0, "N", false, "解像度 (dpi、1 から 2400)。既定 300"}}};

const CommandDef kSheet = {
    "sheet",
    "sheet CARD.pkd -o OUT [--dpi N] [--space A,B,C,D[,OX,OY]] [--settings FILE] [--crop-marks] "
    "[--raster] [--back BACK.pkd [--short-edge]]",
    "10 枚付けの用紙 (A4 縦) を PDF または PNG にする",
    "PDF は N dpi の A4 縦 1 ページで、印刷できる範囲が用紙の角から始まります。\n"
    "PDF の文字は文字のまま (フォントを埋め込み)、QR コードは図形で、画像は一度だけ入ります。\n"
    "PNG は trunc(N x 8.26772) x trunc(N x 11.69291) ピクセルの A4 の画像です。\n"
    "--back を付けると PDF は 2 ページになり、2 ページ目が裏面です (PNG には使えません)。\n"
    "文字が QR コードに入りきらないときは、QR コードなしで描き、そのことを標準エラーに書きます。\n",
    1,
    1,
    {kOutputSheet, kSheetDpi, kSpace, kSettings, kCropMarks, kRaster, kBack, kShortEdge}};

const CommandDef kQr = {
    "qr",
    "qr CARD.pkd [--raw] [-o QR.bmp]",
    "エディタが QR コードにする文字を標準出力に書き、QR コードの画像を保存する",
    "QR コードを表示しないカードでも使えます。文字はいつも書きます。\n"
    "文字はカードの QR コードの形式 (テキスト / MECARD / vCard) のものです。\n"
    "-o は、QR コードにする項目がないときと、文字が QR コードに入りきらないときは\n"
    "画像がないので何も保存せず、そのことを標準エラーに書いて終了状態 1 で終わります。\n",
    1,
    1,
    {{"raw", 0, nullptr, false,
      "UTF-8 にせず QR コードに入るバイトのまま書く (vCard はもとから UTF-8)"},
     {"output", 'o', "QR.bmp", false,
      "QR コードの画像をエディタの「画像の保存」と同じビットマップで保存する"}}};

const CommandDef kFill = {
    "fill",
    "fill [CARD.pkd] -o OUT.pkd [--template NAME] [--set KEY=VALUE]... [--qr show|hide] "
    "[--picture FILE|none] "
    "[--background FILE|none] [--qr-format text|mecard|vcard] [--vertical KEY]... "
    "[--horizontal KEY]... [--edits EDITS.json]... [--address-from-postal]",
    "カード (省略時は新しいカード) をエディタと同じ手順で書き換えて保存する",
    "変更は書いた順にエディタと同じ手順で行い、保存するバイトはエディタと同じです。\n"
    "--template はほかの変更より先に、カードの文字と画像をそのテンプレートの配置にします\n"
    "(CARD.pkd も --set もないときはテンプレートの見本の文字と画像も)。\n"
    "NAME は plakuro-cli templates が示す名前です。\n"
    "KEY はオブジェクトのキー (eName ... eMemo2) か項目名: 名前 ふりがな 会社名 部署 役職 〒\n"
    "住所 電話 携帯電話 FAX URL E-Mail メモ1 メモ2。画像のファイル名は絶対パスで記録されます。\n"
    "「none」という名前のファイルは ./none と書いてください。\n"
    "EDITS.json は手順の並びです (単位は 0.1 mm、カードは 910 x 550、色は \"#RRGGBB\"):\n"
    "  {\"add\": \"text\", \"key\": \"tQual\", \"text\": \"一級建築士\\n宅地建物取引士\", "
    "\"left\": 80, \"top\": 420,\n"
    "   \"align\": \"left\", \"points\": 8, \"face\": \"ＭＳ 明朝\", \"bold\": false, "
    "\"color\": \"#333333\", \"width\": 0}\n"
    "  {\"add\": \"rect\", \"left\": 0, \"top\": 500, \"width\": 910, \"height\": 50, "
    "\"fill\": \"#1A3C6E\", \"stroke\": null,\n"
    "   \"stroke_width\": 0, \"radius\": 0}   (\"ellipse\" も同じ項目)\n"
    "  {\"add\": \"line\", \"x1\": 80, \"y1\": 120, \"x2\": 830, \"y2\": 120, "
    "\"stroke\": \"#C00000\", \"stroke_width\": 3}\n"
    "  {\"add\": \"picture\", \"file\": \"logo2.png\", \"left\": 700, \"top\": 40, "
    "\"width\": 150}\n"
    "  {\"style\": [\"eName\"], \"left\": 60, \"top\": 200, \"points\": 16, \"face\": \"ＭＳ "
    "明朝\", "
    "\"bold\": true,\n"
    "   \"color\": \"#222222\", \"vertical\": false, \"header\": \"Mobile \", \"hidden\": false}"
    "   (項目と追加した文字。どれも省略可)\n"
    "  {\"place\": \"QR\", \"left\": 700, \"top\": 300, \"width\": 170}  "
    "{\"qr\": \"show\", \"format\": \"vcard\"}\n"
    "  {\"picture\": \"bPicture\", \"file\": \"logo.png\", \"left\": 60, \"top\": 50, "
    "\"height\": 90}\n"
    "  {\"template\": \"帯 (紺)\", \"group\": \"横\", \"description\": \"...\"}  "
    "(テンプレートの名前、横・縦・英語、説明)\n"
    "  {\"delete\": \"tQual\"}  {\"move\": [\"eName\", \"eFuri\"], \"by\": [30, 0]}\n"
    "  {\"align\": \"hcenter\", \"keys\": [\"eName\"], \"to\": \"card\"}  "
    "{\"distribute\": \"horizontal\", \"keys\": [...]}\n"
    "間違った手順があると、その番号 (0 から) と理由を示して何も書かずに終わります (終了状態 2)。\n",
    0,
    1,
    {{"output", 'o', "OUT.pkd", false,
      "保存するカードデータファイル (カードデータでないファイルは上書きしません)"},
     {"template", 0, "NAME", false, "テンプレートの配置にする (plakuro-cli templates の名前)"},
     {"set", 0, "KEY=VALUE", true, "項目の文字を VALUE にする (何度でも)"},
     {"qr", 0, "show|hide", true, "QR コードを表示する / 隠す"},
     {"picture", 0, "FILE|none", true,
      "画像 (JPEG、ビットマップ、PNG、GIF、TIFF、WebP) を選ぶ / 外す"},
     {"background", 0, "FILE|none", true,
      "背景 (JPEG、ビットマップ、PNG、GIF、TIFF、WebP) を選ぶ / 外す"},
     {"qr-format", 0, "text|mecard|vcard", true,
      "QR コードの形式: text (項目名つきの文字) / mecard (MECARD) / vcard (vCard 3.0)"},
     {"vertical", 0, "KEY", true, "項目を縦書きにする (メニューの「縦書き」と同じ)"},
     {"horizontal", 0, "KEY", true, "項目を横書きに戻す"},
     {"edits", 0, "EDITS.json", true,
      "JSON の手順 (文字・図形・画像の追加、削除、移動、整列) を順に行う"},
     {"address-from-postal", 0, nullptr, false,
      "ほかの変更のあと、住所が空なら〒の郵便番号の住所を入れる (住所が一つに決まるときだけ)"}}};

const CommandDef kMerge = {
    "merge",
    "merge CARD.pkd LIST -o OUT.pdf [--sheet NAME] [--keep-empty] [--strict] [--dpi N] "
    "[--space A,B,C,D[,OX,OY]] [--settings FILE] [--crop-marks] [--mixed] [--raster] "
    "[--back BACK.pkd [--short-edge]]",
    "名簿 (CSV、.xlsx、.ods) の 1 行ごとに、その人のカード 10 枚の用紙を 1 ページにした PDF を作る",
    "名簿の 1 行目は列名です。列名は項目名 (名前、会社名、電話 …) かキーのほか、\n"
    "氏名・お名前・フリガナ・よみ・会社・社名・所属・肩書・郵便番号・所在地・電話番号・TEL・\n"
    "ファックス・携帯・携帯番号・メール・メールアドレス・E-mail・ホームページ・Web、\n"
    "追加したテキストや画像のキー、画像・写真・ロゴ (画像)、背景でもかまいません。\n"
    "大文字と小文字、全角と半角、空白は区別しません。\n"
    "「裏:」か「back.」で始まる列 (裏:名前、back.eName) は --back のカードの項目に入ります。\n"
    "画像の列には画像ファイルの名前 (名簿のあるフォルダから) を書きます。\n"
    "名簿にある列の項目は、行ごとにその人の値になります。空のセルは項目を空にし\n"
    "(見出しも出ません)、名簿にない項目は、ひな形の人の項目 (名前、ふりがな、役職、携帯電話、\n"
    "E-Mail、メモ、裏面のものも) は空に、ほか (会社名、住所など) はひな形のままです。\n"
    "--keep-empty を付けると、空のセルや列のない項目はひな形の文字のままです (以前の動き)。\n"
    "どの項目でもない列は一度だけ標準エラーに示して使いません (--strict では誤り)。\n"
    "文字がカードからはみ出す行、ほかの行に重なる行は、その行と人と項目を標準エラーに示します\n"
    "(--strict では終了状態 1)。\n"
    "CSV は UTF-8 (BOM はあってもなくても) か、表計算ソフトが書く Shift-JIS を読みます。\n"
    ".xlsx と .ods は最初のシート (--sheet で名前を指定) を、表示されるとおりの文字で読みます。\n"
    "すべて空の行は飛ばします。端末では進み具合を 1 "
    "行で示し、そうでなければ最後にまとめだけを書きます。\n"
    "文字が QR コードに入りきらない人のカードは QR コードなしで描き、\n"
    "最初のその行を一度だけ標準エラーに書きます。\n"
    "文字は文字のまま (フォントを埋め込み)、QR コードは図形で、同じ画像は一度だけ入ります。\n"
    "--back を付けると、表の各ページのすぐあとにその裏面のページが入ります\n"
    "(--mixed では、その人のカードのある位置の裏だけ)。\n",
    2,
    2,
    {{"output", 'o', "OUT.pdf", false, "書き出す PDF"},
     {"sheet", 0, "NAME", false, ".xlsx と .ods で読むシートの名前"},
     {"keep-empty", 0, nullptr, false, "空のセルの項目をひな形の文字のままにする"},
     {"strict", 0, nullptr, false, "使わない列、はみ出しや重なりを誤りにする"},
     kSheetDpi,
     kSpace,
     kSettings,
     kCropMarks,
     {"mixed", 0, nullptr, false, "続く 10 行で 1 ページを分け合う (1 人 1 枚)"},
     kRaster,
     kBack,
     kShortEdge}};

const CommandDef kTemplates = {
    "templates",
    "templates",
    "テンプレートを 1 行に一つ「名前<TAB>グループ<TAB>説明」で標準出力に書く",
    "同梱のテンプレート (横、縦、英語 (裏面) の順) のあとに、自分のテンプレート\n"
    "(~/.local/share/plakuro/templates) を書きます。\n",
    0,
    0,
    {}};

const CommandDef kPostal = {
    "postal",
    "postal CODE",
    "郵便番号の住所 (都道府県、市区町村、町域) を 1 行に一つ標準出力に書く",
    "CODE は 7 桁の数字です (1000001、100-0001、全角の１００－０００１ も同じ)。\n"
    "住所は skkdic-extra の郵便番号の辞書 (/usr/share/skk/SKK-JISYO.zipcode) から読みます。\n"
    "環境変数 PLAKURO_POSTAL_DICT でほかの辞書ファイルを指定できます。\n"
    "辞書にない郵便番号と、辞書がないときは、そのことを標準エラーに書いて終了状態 1 "
    "で終わります。\n",
    1,
    1,
    {}};

const std::vector<const CommandDef *> kCommands = {&kInfo, &kRender, &kSheet,     &kQr,
                                                   &kFill, &kMerge,  &kTemplates, &kPostal};

// A standard output that cannot take the bytes (a full disk, a closed pipe)
// is a failure, not a silent success.
void writeOut(const std::string &bytes)
{
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        const int error = errno;
        std::clearerr(stdout);
        throw Failure(Failure::FileError,
                      QStringLiteral("標準出力に書き込めません (%1)").arg(SystemErrorText(error)));
    }
}

void writeErr(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The line saying that a field's text loses characters code page 932 lacks;
// `where` names the row for merge, is empty for fill. The card is still
// written, with '?' for each, as the window saves it.
// Likewise for a text longer than the file keeps: the file keeps its start.
void noteLostCharacters(const QString &where, const std::string &key, const QString &text)
{
    QString caption;
    for (const FieldInfo &f : kFields)
        if (key == f.key)
            caption = QString::fromUtf8(f.caption);
    NoteLostCharacters(where, caption, text);
}

// The one line saying that the card is drawn without its QR code.
void noteQrTooLong(const QString &where, const QString &more = QString())
{
    writeErr(QStringLiteral("plakuro-cli: %1: 文字が QR コードに入りきらないので、"
                            "QR コードなしで描きます%2\n")
                 .arg(where, more));
}

QString requiredOutput(const ParsedCommand &p, const CommandDef &def)
{
    if (!p.Has("output") || p.Value("output").isEmpty())
        throw UsageFailure(QStringLiteral("%1: -o で書き出すファイルを指定してください")
                               .arg(QString::fromUtf8(def.name)));
    return p.Value("output");
}

// The output's kind by its extension, one of `allowed` (lower case, with the dot).
QString outputKind(const QString &path, const CommandDef &def, const QStringList &allowed)
{
    const QString ext = u'.' + QFileInfo(path).suffix().toLower();
    if (!allowed.contains(ext))
        throw UsageFailure(QStringLiteral("%1: %2 の種類がわかりません (%3 のどれかにしてください)")
                               .arg(QString::fromUtf8(def.name), path, allowed.join(u' ')));
    return ext;
}

int wholeNumber(const QString &text, const QString &what)
{
    std::int32_t v = 0;
    if (!TryStrToInt(text.toStdString(), v))
        throw UsageFailure(QStringLiteral("%1 に整数でない値 \"%2\" があります").arg(what, text));
    return v;
}

int dpiOption(const ParsedCommand &p, int byDefault)
{
    if (!p.Has("dpi"))
        return byDefault;
    const int dpi = wholeNumber(p.Value("dpi"), QStringLiteral("--dpi"));
    if (dpi < 1 || dpi > kMaxDpi)
        throw UsageFailure(
            QStringLiteral("--dpi は 1 から %1 までです (%2)").arg(kMaxDpi).arg(dpi));
    return dpi;
}

PrintSpace spaceOption(const ParsedCommand &p)
{
    PrintSpace ps;
    if (p.Has("space")) {
        const QStringList parts = p.Value("space").split(u',');
        if (parts.size() != 4 && parts.size() != 6)
            throw UsageFailure(
                QStringLiteral("--space は A,B,C,D の 4 つか A,B,C,D,OX,OY の 6 つの整数です (%1)")
                    .arg(p.Value("space")));
        const QString what = QStringLiteral("--space");
        ps = PrintSpace{wholeNumber(parts[0], what), wholeNumber(parts[1], what),
                        wholeNumber(parts[2], what), wholeNumber(parts[3], what)};
        if (parts.size() == 6) {
            ps.ox = wholeNumber(parts[4], what);
            ps.oy = wholeNumber(parts[5], what);
        }
    } else if (p.Has("settings")) {
        const QString path = p.Value("settings");
        const QFileInfo info(path);
        // The editor never reads a settings file through a link; neither does this.
        if (info.isSymLink())
            throw FileFailure(path, QStringLiteral("設定ファイルがシンボリックリンクです。"
                                                   "リンク先のファイルを指定してください"));
        try {
            // What the reader would refuse quietly (a FIFO, a device, a file
            // too large) is said here.
            QFile probe;
            files::OpenForReading(probe, path, files::Links::Refuse, files::kSettingsFileLimit);
        } catch (const FileError &e) {
            throw FileFailure(path, QStringLiteral("設定ファイルを読めません (%1)").arg(e.Cause()));
        }
        LoadPrintSpace(IniFile(info.absoluteFilePath()), ps);
        // The back is only ever the one asked for on the command line.
        ps.back = BackSide();
    }
    if (p.Has("crop-marks"))
        ps.cropMarks = true;
    if (p.Has("short-edge") && !p.Has("back"))
        throw UsageFailure(QStringLiteral("--short-edge は --back といっしょに使います"));
    if (p.Has("back")) {
        if (p.Value("back").isEmpty())
            throw UsageFailure(QStringLiteral("--back に裏面のカードのファイルを指定してください"));
        ps.back = BackSide{p.Value("back"), p.Has("short-edge")};
    }
    return ps;
}

SheetDevice deviceAt(int dpi)
{
    return SheetDevice{dpi, dpi, 0, 0};
}

// A sheet with cells off the A4 paper is still written, as the editor prints
// one when told to go on; the note says which cells are cut off.
void noteOffPaper(int dpi, const PrintSpace &ps)
{
    const QSize paper(static_cast<int>(dpi * kA4WidthInch), static_cast<int>(dpi * kA4HeightInch));
    const SheetDevice dev = deviceAt(dpi);
    const SheetLayout front = ComputeSheetLayout(dev, ps);
    SheetOffPaper off;
    off.front = CellsOffPaper(front, dev, paper);
    if (!ps.back.file.isEmpty())
        off.back = CellsOffPaper(ComputeBackLayout(front, dev, paper, ps), dev, paper);
    const QString message = OffPaperMessage(off);
    if (!message.isEmpty())
        writeErr(QStringLiteral("plakuro-cli: %1\n").arg(message));
}

// A card data file exactly as it is stored (nothing repaired). Throws
// Failure naming the file when it cannot be read, is not a card data file or
// is damaged (then naming the record's key).
Objects readCardFile(const QString &path)
{
    const QByteArray bytes = ReadCardBytes(path);
    MemoryStream s(bytes);
    Objects card;
    try {
        // A file too short to hold the magic is no card data file either.
        if (!bytes.startsWith(kCardMagicBytes) || !LoadCard(&s, card))
            throw FileFailure(path, QStringLiteral("Plakuro のカードデータファイルではありません"));
    } catch (const CardError &e) {
        throw FileFailure(path,
                          QStringLiteral("壊れています: %1").arg(QString::fromUtf8(e.what())));
    }
    return card;
}

// The editor's Open: the file read, repaired, the fields filled from it, the
// QR symbol rebuilt and the canvas repainted. Throws as readCardFile; texts
// too long for any QR symbol are no error (the session's QrTooLong).
void openCard(EditSession &session, const QString &path)
{
    const QByteArray bytes = ReadCardBytes(path);
    try {
        if (session.LoadBytes(bytes) == EditSession::LoadResult::NotACard)
            throw FileFailure(path, QStringLiteral("Plakuro のカードデータファイルではありません"));
    } catch (const ReadError &e) {
        throw FileFailure(path,
                          QStringLiteral("壊れています: %1").arg(QString::fromUtf8(e.what())));
    }
    try {
        session.FillFieldsFromCard();
    } catch (const CardError &e) {
        throw FileFailure(path, QString::fromUtf8(e.what()));
    }
}

// The back card of `ps`, opened as the editor opens a card, into `back`;
// false when there is none. A back that cannot be read fails the command:
// it was asked for by name.
bool openBack(EditSession &back, const PrintSpace &ps)
{
    if (ps.back.file.isEmpty())
        return false;
    try {
        openCard(back, ps.back.file);
    } catch (const Failure &f) {
        throw Failure(f.status(),
                      QStringLiteral("裏面 (--back) の ") + QString::fromUtf8(f.what()));
    }
    if (back.QrTooLong())
        noteQrTooLong(ps.back.file);
    return true;
}

// The picture button of `key`: a shown picture is removed first; then,
// unless `file` is empty, the file's picture is chosen with its absolute path.
void choosePicture(EditSession &session, const std::string &key, const QString &file)
{
    const Object *obj = session.Card().Find(key);
    if (obj && obj->IsVisible())
        session.RemovePicture(key);
    if (file.isEmpty())
        return;
    // The editor's file dialog hands over an absolute path.
    const QString path = QFileInfo(file).absoluteFilePath();
    std::unique_ptr<Picture> picture = ReadPictureFile(path);
    session.ChoosePicture(key, std::move(picture), path);
}

QImage cardImage(const EditSession &card, int dpi)
{
    const auto width = static_cast<int>(static_cast<double>(dpi) * kCardWidthInch);
    const auto height = static_cast<int>(static_cast<double>(dpi) * kCardHeightInch);
    return RenderCardImage(MakeDrawingOrder(card.Card()), width, height);
}

// Runs `draw`, naming `file` in a drawing failure (a card image too large
// for the memory, a cell position out of range).
template <typename Draw> void drawing(const QString &file, Draw draw)
{
    try {
        draw();
    } catch (const Failure &) {
        throw;
    } catch (const FileError &e) {
        // The PDF file's own failure, worded as every other write failure.
        throw FileFailure(e.Path(), QStringLiteral("書き込めません (%1)").arg(e.Cause()));
    } catch (const std::runtime_error &e) {
        throw FileFailure(file, QString::fromUtf8(e.what()));
    }
}

// Pictures the last drawing of `card` had to leave out, each said once on
// stderr; the rest of the card was drawn, so the command still succeeds.
void reportDrawProblems(const EditSession &card)
{
    for (const std::string &problem : DrawProblems(card.Card()))
        writeErr(QStringLiteral("plakuro-cli: ") + QString::fromUtf8(problem) + u'\n');
}

// --- the commands ---------------------------------------------------------

int runInfo(const ParsedCommand &p)
{
    writeOut(CardJson(readCardFile(p.positional[0])) + "\n");
    return 0;
}

int runRender(const ParsedCommand &p)
{
    const QString out = requiredOutput(p, kRender);
    const QString kind = outputKind(out, kRender, {".png", ".bmp", ".pdf"});
    const int dpi = dpiOption(p, 300);
    EditSession card;
    openCard(card, p.positional[0]);
    if (card.QrTooLong())
        noteQrTooLong(p.positional[0]);
    drawing(out, [&] {
        const QImage image = cardImage(card, dpi);
        if (kind == ".pdf") {
            PdfFile pdf(out, QPageSize(QSizeF(91, 55), QPageSize::Millimeter), dpi);
            pdf.Painter().drawImage(QPoint(0, 0), image);
            pdf.Finish();
        } else {
            WriteImageFile(image, dpi, out, kind == ".png" ? "PNG" : "BMP");
        }
    });
    reportDrawProblems(card);
    if (card.QrTooSmall())
        writeErr(QStringLiteral("plakuro-cli: 注意: %1: QR コードの点が %2 mm より小さく、"
                                "読み取れないおそれがあります (QR コードを大きくしてください)\n")
                     .arg(p.positional[0])
                     .arg(kQrSmallestModuleMm));
    PrintCheck check;
    const QStringList problems = PrintProblems(check, card.Card());
    if (!problems.isEmpty())
        writeErr(QStringLiteral("plakuro-cli: 注意: %1: %2\n")
                     .arg(p.positional[0], problems.join(QStringLiteral("、"))));
    return 0;
}

int runSheet(const ParsedCommand &p)
{
    const QString out = requiredOutput(p, kSheet);
    const QString kind = outputKind(out, kSheet, {".pdf", ".png"});
    const int dpi = dpiOption(p, 600);
    const PrintSpace ps = spaceOption(p);
    if (!ps.back.file.isEmpty() && kind != ".pdf")
        throw UsageFailure(
            QStringLiteral("sheet: --back は PDF にだけ使えます (裏面は 2 ページ目になります)"));
    EditSession card;
    openCard(card, p.positional[0]);
    if (card.QrTooLong())
        noteQrTooLong(p.positional[0]);
    EditSession back;
    const bool twoSided = openBack(back, ps);
    noteOffPaper(dpi, ps);
    const DrawingOrder order = MakeDrawingOrder(card.Card());
    const DrawingOrder backOrder = MakeDrawingOrder(back.Card());
    drawing(out, [&] {
        if (kind == ".pdf") {
            WriteSheetPdf(out, QPageSize(QPageSize::A4), dpi, order, ps, p.Has("raster"),
                          twoSided ? &backOrder : nullptr);
            return;
        }
        QImage page(static_cast<int>(dpi * kA4WidthInch), static_cast<int>(dpi * kA4HeightInch),
                    QImage::Format_RGB32);
        if (page.isNull())
            throw std::runtime_error("用紙の画像を作れません (メモリが足りません)");
        page.fill(Qt::white);
        QPainter painter(&page);
        PrintSheet(painter, deviceAt(dpi), page.size(), order, ps);
        painter.end();
        WriteImageFile(page, dpi, out, "PNG");
    });
    reportDrawProblems(card);
    if (twoSided)
        reportDrawProblems(back);
    return 0;
}

int runQr(const ParsedCommand &p)
{
    EditSession card;
    openCard(card, p.positional[0]);
    const std::string text = CardQrText(card.Card());
    const bool utf8 = card.QrFormatOfCard() == QrFormat::Vcard;
    // The text first: it is what the card says, with or without a symbol.
    writeOut(p.Has("raw") || utf8 ? text : sjis::toUtf8(text));
    if (p.Has("output")) {
        const QString out = p.Value("output");
        if (text.empty())
            throw FileFailure(out, QStringLiteral("QR コードにする項目がないので画像はありません"));
        bool tooLong = false;
        try {
            const auto picture = MakeCardQrPicture(card.Card(), &tooLong);
            if (!tooLong)
                SaveQrPictureBmp(*picture, out);
        } catch (const CardError &e) {
            // The message names the file.
            throw Failure(Failure::FileError, QString::fromUtf8(e.what()));
        }
        if (tooLong)
            throw FileFailure(out,
                              QStringLiteral("文字が QR コードに入りきらないので画像はありません"));
    }
    return 0;
}

// One change of `fill`, checked before any file is read.
struct FillStep
{
    enum Kind
    {
        Set,
        Qr,
        Picture,
        QrFormatStep,
        Direction,
        Edits
    } kind;
    std::string key;
    QString value;
    QString option; // names the step in a failure
};

std::vector<FillStep> fillSteps(const ParsedCommand &p)
{
    std::vector<FillStep> steps;
    for (const auto &[option, value] : p.options) {
        if (option == "set") {
            const qsizetype eq = value.indexOf(u'=');
            const std::string key =
                eq < 0 ? std::string() : FieldKeyFor(value.left(eq).toStdString());
            if (key.empty())
                throw UsageFailure(QStringLiteral("fill: --set %1 の KEY が項目を指していません")
                                       .arg(eq < 0 ? value : value.left(eq)));
            steps.push_back({FillStep::Set, key, value.mid(eq + 1),
                             QStringLiteral("--set %1").arg(value.left(eq))});
        } else if (option == "qr") {
            if (value != QStringLiteral("show") && value != QStringLiteral("hide"))
                throw UsageFailure(
                    QStringLiteral("fill: --qr は show か hide です (%1)").arg(value));
            steps.push_back({FillStep::Qr, kQrKey, value, QStringLiteral("--qr %1").arg(value)});
        } else if (option == "qr-format") {
            QrFormat format;
            if (!QrFormatFromName(value.toStdString(), format))
                throw UsageFailure(
                    QStringLiteral("fill: --qr-format は text か mecard か vcard です (%1)")
                        .arg(value));
            steps.push_back({FillStep::QrFormatStep, kQrKey, value,
                             QStringLiteral("--qr-format %1").arg(value)});
        } else if (option == "vertical" || option == "horizontal") {
            const std::string key = FieldKeyFor(value.toStdString());
            if (key.empty())
                throw UsageFailure(QStringLiteral("fill: --%1 %2 が項目を指していません")
                                       .arg(QString::fromStdString(option), value));
            steps.push_back({FillStep::Direction, key, QString::fromStdString(option),
                             QStringLiteral("--%1 %2").arg(QString::fromStdString(option), value)});
        } else if (option == "picture" || option == "background") {
            if (value.isEmpty())
                throw UsageFailure(
                    QStringLiteral("fill: --%1 にファイル名か none を指定してください")
                        .arg(QString::fromStdString(option)));
            steps.push_back({FillStep::Picture, option == "picture" ? kPictureKey : kBackPictureKey,
                             value == QStringLiteral("none") ? QString() : value,
                             QStringLiteral("--%1").arg(QString::fromStdString(option))});
        } else if (option == "edits") {
            steps.push_back({FillStep::Edits, {}, value, QStringLiteral("--edits")});
        }
    }
    return steps;
}

// `fill` writes only over a card data file (or an empty file): a mistyped -o
// must not destroy a picture or any other file.
void checkFillTarget(const QString &out)
{
    const QFileInfo info(out);
    if (!info.exists() || info.isDir())
        return; // the write reports what it cannot do
    QByteArray start;
    try {
        start = files::ReadFileStart(out, kCardMagicBytes.size());
    } catch (const FileError &e) {
        throw FileFailure(out, QStringLiteral("書き込めません (%1)").arg(e.Cause()));
    }
    if (!start.isEmpty() && start != kCardMagicBytes)
        throw FileFailure(
            out, QStringLiteral("Plakuro のカードデータファイルではないので上書きしません"));
}

std::vector<TemplateFile> allTemplates()
{
    return ListTemplates(QCoreApplication::applicationDirPath());
}

// The template `name` names; a usage failure naming the close ones.
const TemplateFile &namedTemplate(const QString &name)
{
    static const std::vector<TemplateFile> all = allTemplates();
    if (const TemplateFile *t = FindTemplate(all, name))
        return *t;
    const QStringList close = CloseTemplateNames(all, name);
    throw UsageFailure(
        close.isEmpty()
            ? QStringLiteral("テンプレート %1 はありません (plakuro-cli templates で一覧)")
                  .arg(name)
            : QStringLiteral("テンプレート %1 はありません。近い名前: %2")
                  .arg(name, close.join(u' ')));
}

// The installed postal dictionary; a file failure when it cannot be used.
std::shared_ptr<const postal::Dictionary> postalDictionary()
{
    std::shared_ptr<const postal::Dictionary> dictionary = postal::Installed();
    if (dictionary->Status() != postal::Dictionary::State::Loaded)
        throw Failure(Failure::FileError, postal::UnavailableMessage(*dictionary));
    return dictionary;
}

int runPostal(const ParsedCommand &p)
{
    const QString code = postal::NormaliseCode(p.positional[0]);
    if (code.isEmpty())
        throw UsageFailure(
            QStringLiteral("postal: %1 は 7 桁の郵便番号ではありません").arg(p.positional[0]));
    const QStringList addresses = postalDictionary()->Addresses(code);
    if (addresses.isEmpty())
        throw Failure(
            Failure::FileError,
            QStringLiteral("〒%1 は郵便番号の辞書にありません").arg(postal::FormatCode(code)));
    writeOut((addresses.join(u'\n') + u'\n').toStdString());
    return 0;
}

// fill --address-from-postal: an empty address takes the one address of the
// card's postal code. Anything else leaves it and says why on stderr; the
// card is written all the same.
void fillAddressFromPostal(EditSession &card)
{
    const auto note = [](const QString &why) {
        writeErr(QStringLiteral("plakuro-cli: --address-from-postal: %1\n").arg(why));
    };
    const QString typed = card.FieldText("ePostNo");
    const QString code = postal::NormaliseCode(typed);
    if (!card.FieldText("eAddress").trimmed().isEmpty())
        return note(QStringLiteral("住所が空でないので、そのままにします"));
    if (code.isEmpty())
        return note(
            QStringLiteral("〒「%1」が 7 桁の郵便番号ではないので、住所は空のままです").arg(typed));
    std::shared_ptr<const postal::Dictionary> dictionary = postal::Installed();
    if (dictionary->Status() != postal::Dictionary::State::Loaded)
        return note(postal::UnavailableMessage(*dictionary));
    const QStringList addresses = dictionary->Addresses(code);
    const QString shown = postal::FormatCode(code);
    if (addresses.isEmpty())
        return note(
            QStringLiteral("〒%1 は郵便番号の辞書にないので、住所は空のままです").arg(shown));
    if (addresses.size() > 1)
        return note(QStringLiteral("〒%1 の住所は一つに決まらないので、住所は空のままです: %2")
                        .arg(shown, addresses.join(QStringLiteral("、"))));
    noteLostCharacters(QString(), "eAddress", addresses[0]);
    card.SetFieldText("eAddress", addresses[0], QStringLiteral("郵便番号から住所の入力"));
}

int runTemplates(const ParsedCommand &)
{
    std::string lines;
    for (const TemplateFile &t : allTemplates()) {
        QString description = t.meta.description;
        description.replace(u'\t', u' ').replace(u'\n', u' ');
        lines += QStringLiteral("%1\t%2\t%3\n")
                     .arg(t.name, TemplateGroupName(t.meta.group), description)
                     .toStdString();
    }
    writeOut(lines);
    return 0;
}

int runFill(const ParsedCommand &p)
{
    const QString out = requiredOutput(p, kFill);
    const std::vector<FillStep> steps = fillSteps(p);
    checkFillTarget(out);
    EditSession card;
    if (!p.positional.isEmpty())
        openCard(card, p.positional[0]);
    if (p.Has("template")) {
        const TemplateFile &t = namedTemplate(p.Value("template"));
        Objects layout;
        try {
            layout = ReadTemplateCard(t.path);
        } catch (const CardError &e) {
            throw Failure(Failure::FileError, QString::fromUtf8(e.what()));
        }
        const bool sample = p.positional.isEmpty() && !p.Has("set");
        card.ApplyTemplate(layout, t.meta.title.isEmpty() ? t.name : t.meta.title, sample);
    }
    for (const FillStep &step : steps) {
        try {
            if (step.kind == FillStep::Set) {
                noteLostCharacters(QString(), step.key, step.value);
                card.EditChanged(step.key, step.value);
            } else if (step.kind == FillStep::Qr)
                card.ShowQr(step.value == QStringLiteral("show"));
            else if (step.kind == FillStep::QrFormatStep) {
                QrFormat format = QrFormat::Text;
                QrFormatFromName(step.value.toStdString(), format);
                card.SetQrFormat(format);
            } else if (step.kind == FillStep::Direction) {
                // As the window's object menu does it: on the selection.
                card.SetSelection(card.Card().Find(step.key));
                card.SetVertical(step.value == QStringLiteral("vertical"));
                card.SetSelection(nullptr);
            } else if (step.kind == FillStep::Edits) {
                ApplyEdits(card, step.value);
            } else
                choosePicture(card, step.key, step.value);
        } catch (const CardError &e) {
            throw FileFailure(out,
                              step.option + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        }
    }
    if (p.Has("address-from-postal"))
        fillAddressFromPostal(card);
    WriteWholeFile(card.SaveBytes(), out);
    return 0;
}

// What each column of the list fills. A column that fills nothing, or what
// an earlier column fills already, is named once on stderr and skipped; with
// `strict` it fails the command.
std::vector<MergeTarget> listColumns(const ListRow &header, const QString &list,
                                     const EditSession &front, const EditSession *back, bool strict)
{
    std::vector<MergeTarget> targets;
    QStringList unknown, repeated, backOnly;
    for (const QString &cell : header.cells) {
        const QString name = cell.trimmed();
        MergeTarget t = ChooseTarget(name, front.Card(), back ? &back->Card() : nullptr);
        if (!t.Used() && !back && ChooseTarget(name, front.Card(), &front.Card()).Used())
            backOnly << u'"' + name + u'"';
        else if (!t.Used())
            unknown << u'"' + name + u'"';
        else if (std::find(targets.begin(), targets.end(), t) != targets.end()) {
            repeated << u'"' + name + u'"';
            t = {};
        }
        targets.push_back(t);
    }
    // Each kind of column left out: named once, or with `strict` the failure.
    const QString where = QStringLiteral("%1 行目: ").arg(header.line);
    const auto leaveOut = [&](const QStringList &names, const QString &what, const QString &failEnd,
                              const QString &noteEnd) {
        if (names.isEmpty())
            return;
        const QString text = what.arg(names.join(QStringLiteral(", ")));
        if (strict)
            throw FileFailure(list, where + text + failEnd);
        writeErr(QStringLiteral("plakuro-cli: %1: %2%3%4\n")
                     .arg(QDir::toNativeSeparators(list), where, text, noteEnd));
    };
    leaveOut(unknown, QStringLiteral("どの項目でもない列 %1"), QString(),
             QStringLiteral(" は使いません"));
    leaveOut(backOnly, QStringLiteral("裏面の列 %1 は、--back がないので"),
             QStringLiteral("使えません"), QStringLiteral("使いません"));
    leaveOut(repeated, QStringLiteral("前の列と同じ項目の列 %1"), QString(),
             QStringLiteral(" は使いません"));
    return targets;
}

// On a terminal, one line rewritten in place: rows done, pages, time left.
// Elsewhere (a log, a pipe) nothing while it runs; the summary at the end.
class Progress
{
public:
    Progress(const QString &list, qint64 total)
        : name(QFileInfo(list).fileName()), total(total), terminal(isatty(2) != 0)
    {
        clock.start();
    }
    void Row(qint64 n, qint64 pages)
    {
        done = n;
        this->pages = pages;
        // At most ten updates a second, and the last row.
        if (!terminal || total <= kProgressAbove || (n < total && clock.elapsed() - shownAt < 100))
            return;
        shownAt = clock.elapsed();
        const qint64 left = n > 0 ? clock.elapsed() * (total - n) / n / 1000 : 0;
        writeErr(QStringLiteral("\r%1: %2 / %3 行、%4 ページ、残り約 %5 秒  ")
                     .arg(name)
                     .arg(n)
                     .arg(total)
                     .arg(pages)
                     .arg(left));
        shown = true;
    }
    void Finish(int problemRows)
    {
        if (shown)
            writeErr(QStringLiteral("\n"));
        QString summary = QStringLiteral("plakuro-cli: %1: %2 人、%3 ページ (%4 秒)")
                              .arg(name)
                              .arg(done)
                              .arg(pages)
                              .arg(static_cast<double>(clock.elapsed()) / 1000.0, 0, 'f', 1);
        if (problemRows > 0)
            summary += QStringLiteral("、はみ出しや重なりのある人 %1").arg(problemRows);
        writeErr(summary + u'\n');
    }

private:
    QString name;
    qint64 total;
    bool terminal;
    QElapsedTimer clock;
    qint64 shownAt = -1000;
    qint64 done = 0, pages = 0;
    bool shown = false;
};

int runMerge(const ParsedCommand &p)
{
    const QString out = requiredOutput(p, kMerge);
    outputKind(out, kMerge, {".pdf"});
    const int dpi = dpiOption(p, 600);
    const PrintSpace ps = spaceOption(p);
    const bool strict = p.Has("strict");
    const QString list = p.positional[1];

    EditSession card;
    openCard(card, p.positional[0]);
    EditSession back;
    const bool twoSided = openBack(back, ps);
    // The list is read in passes, never held: every row checked and counted
    // before anything is drawn, then the drawing.
    const std::unique_ptr<ListReader> reader = OpenList(list, p.Value("sheet"));
    ListRow header, row;
    if (!reader->Next(header))
        throw FileFailure(list, QStringLiteral("列名の行がありません"));
    MergeSetup setup;
    setup.columns = listColumns(header, list, card, twoSided ? &back : nullptr, strict);
    setup.keepEmpty = p.Has("keep-empty");
    setup.folder = QFileInfo(list).absolutePath();
    MergeCards cards(card, twoSided ? &back : nullptr, setup);
    if (const QStringList cleared = cards.Cleared(); !cleared.isEmpty())
        writeErr(QStringLiteral("plakuro-cli: %1: 名簿に列のない、ひな形の人の項目 %2 は空にします"
                                " (--keep-empty で残します)\n")
                     .arg(QDir::toNativeSeparators(list), cleared.join(QStringLiteral("、"))));
    qint64 total = 0;
    while (reader->Next(row)) {
        ++total;
        if (row.count > static_cast<qsizetype>(setup.columns.size()))
            throw FileFailure(list,
                              QStringLiteral("%1 行目: 値が %2 個あり、列 (%3) より多すぎます")
                                  .arg(row.line)
                                  .arg(row.count)
                                  .arg(setup.columns.size()));
        for (const auto &[label, text] : cards.Texts(row))
            NoteLostCharacters(QStringLiteral("%1 %2 行目の").arg(list).arg(row.line), label, text);
    }
    if (total == 0)
        throw FileFailure(list, QStringLiteral("列名の行のあとに人の行がありません"));
    noteOffPaper(dpi, ps);

    bool qrNoted = false;
    int problemRows = 0;
    MergeSheets sheets{ps, p.Has("mixed"), twoSided};
    drawing(out, [&] {
        PdfFile pdf(out, QPageSize(QPageSize::A4), dpi);
        MergePageTarget target;
        target.painter = [&]() -> QPainter & { return pdf.Painter(); };
        target.prepareDpi = pdf.Resolution();
        target.dev = deviceAt(dpi);
        target.page = pdf.PageSize();
        target.paper = pdf.PageSize();
        target.newPage = [&] { pdf.NewPage(); };
        target.raster = p.Has("raster");
        Progress progress(list, total);
        const int perPage = sheets.mixed ? kSheetCells : 1;
        reader->Rewind();
        reader->Next(header);
        const auto everyRow = [](const ListRow &, qint64) { return true; };
        const auto onRow = [&](const ListRow &r, qint64 done) {
            const QStringList problems = cards.Problems();
            if (!problems.isEmpty()) {
                ++problemRows;
                writeErr(QStringLiteral("plakuro-cli: ") +
                         RowProblemLine(list, r, cards.Person(r), problems) + u'\n');
            }
            if (card.QrTooLong() && !qrNoted) {
                qrNoted = true;
                noteQrTooLong(QStringLiteral("%1 %2 行目").arg(list).arg(r.line),
                              QStringLiteral(" (あとの行では繰り返しません)"));
            }
            const qint64 pages = (done + perPage - 1) / perPage * (twoSided ? 2 : 1);
            progress.Row(done, pages);
            return true;
        };
        try {
            DrawMergePages(cards, card, twoSided ? &back : nullptr, *reader, sheets, target,
                           everyRow, onRow);
        } catch (const CardError &e) {
            throw FileFailure(list, QString::fromUtf8(e.what()));
        }
        pdf.Finish();
        progress.Finish(problemRows);
    });
    reportDrawProblems(card);
    if (twoSided)
        reportDrawProblems(back);
    return strict && problemRows > 0 ? Failure::FileError : 0;
}

const std::map<std::string, std::pair<const CommandDef *, int (*)(const ParsedCommand &)>>
    kRunners = {{"info", {&kInfo, runInfo}},
                {"render", {&kRender, runRender}},
                {"sheet", {&kSheet, runSheet}},
                {"qr", {&kQr, runQr}},
                {"fill", {&kFill, runFill}},
                {"merge", {&kMerge, runMerge}},
                {"templates", {&kTemplates, runTemplates}},
                {"postal", {&kPostal, runPostal}}};

QString oneLine(QString message)
{
    message.replace(u'\n', u' ');
    message.replace(u'\r', u' ');
    return QStringLiteral("plakuro-cli: ") + message + u'\n';
}

} // namespace

void NoteLostCharacters(const QString &where, const QString &caption, const QString &text)
{
    const QString lost = EditSession::LostCharacters(text);
    const qsizetype kept = EditSession::KeptCharacters(text);
    if (!lost.isEmpty())
        writeErr(
            QStringLiteral("plakuro-cli: 警告: %1「%2」: %3 は Shift-JIS にないため ? になります\n")
                .arg(where, caption, lost));
    if (kept >= 0)
        writeErr(QStringLiteral("plakuro-cli: 警告: %1「%2」: %3 バイトを超えるため、先頭の %4 "
                                "文字だけを保存します\n")
                     .arg(where, caption)
                     .arg(kShortStringMax)
                     .arg(kept));
}

int RunTool(const QStringList &args)
{
    try {
        if (args.isEmpty())
            throw UsageFailure(QStringLiteral("コマンドがありません (plakuro-cli --help)"));
        const QString first = args[0];
        if (first == QStringLiteral("--help") || first == QStringLiteral("-h") ||
            first == QStringLiteral("help")) {
            writeOut(ToolHelp(kCommands).toStdString());
            return 0;
        }
        const auto it = kRunners.find(first.toStdString());
        if (it == kRunners.end())
            throw UsageFailure(QStringLiteral("不明なコマンド %1 (plakuro-cli --help)").arg(first));
        const auto [def, run] = it->second;
        const ParsedCommand p = ParseCommand(*def, args.mid(1));
        if (p.help) {
            writeOut(CommandHelp(*def).toStdString());
            return 0;
        }
        return run(p);
    } catch (const Failure &f) {
        writeErr(oneLine(QString::fromUtf8(f.what())));
        return f.status();
    } catch (const ListError &e) {
        writeErr(oneLine(QString::fromUtf8(e.what())));
    } catch (const std::bad_alloc &) {
        writeErr(oneLine(QStringLiteral("メモリが足りません")));
    } catch (const std::exception &e) {
        writeErr(oneLine(QString::fromUtf8(e.what())));
    }
    return Failure::FileError;
}
