// A card file as the editor opens it and as it is printed, whatever the
// bytes: the editing session reads it, repairs missing or mismatched keys
// and fills the fields from it; a field is filled as its edit would fill it;
// the QR code is made in all three formats (text, MECARD, vCard); and the
// sheet goes to a vector PDF through the text-map filter, with the back side
// on a second page. Nothing may crash or leak, and a card the editor opened
// and saved opens again with nothing to repair and saves to the same bytes.
//
// The input is two control bytes, then the card file:
//   byte 0, the sheet: bits 0-1 the PDF (0 none, 1 at 72 dpi, 2 at 150 dpi,
//     3 at 600 dpi, the printer's resolution), bit 2 a back side (the card
//     as reopened), bit 3 turned on the short edge, bit 4 crop marks, bit 5
//     the sheet shifted (ox, oy), bit 6 no margins and no gaps, bit 7 margins
//     that push cells off the paper; at 72 dpi with the back side and no
//     shift, the raster sheet instead of the vector one.
//   byte 1, the edits: bits 0-3 a field (0-13; 14 none; 15 every visible
//     object selected, duplicated, aligned, distributed, copied onto a new
//     card and the duplicates deleted), bit 4 that
//     field turned vertical or back (縦書き), bit 5 every step taken back and
//     again, bit 6 the field filled for printing (as merge fills a card),
//     bit 7 the QR code hidden again at the end.
// fuzz/make_seeds.py writes the seeds (fuzz/corpus/session/).

#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/font.h"
#include "card/objects.h"
#include "editor/session.h"
#include "print/pdffile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageSize>
#include <QString>
#include <QUndoStack>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace {

// The PDF goes to a file in memory (/dev/shm where there is one), written
// by the program's own WriteSheetPdf: the filter, the safe file and the
// sheet as plakuro-cli's sheet command writes them.
QString pdfPath()
{
    static const QString path = [] {
        const QString dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                ? QStringLiteral("/dev/shm")
                                : QDir::tempPath();
        return QStringLiteral("%1/plakuro-fuzz-session-%2.pdf")
            .arg(dir)
            .arg(static_cast<qint64>(getpid()));
    }();
    return path;
}

// Opens `bytes` as the editor opens a file: NotACard and damaged files give
// false.
bool open(EditSession &session, const QByteArray &bytes, int *repaired)
{
    try {
        if (session.LoadBytes(bytes, repaired) != EditSession::LoadResult::Loaded)
            return false;
        session.FillFieldsFromCard();
    } catch (const CardError &) {
        return false;
    }
    return true;
}

void edit(EditSession &session, std::uint8_t control)
{
    const unsigned field = control & 0x0f;
    // Shown in all three formats, ending with the card's own.
    session.ShowQr(true);
    const QrFormat own = session.QrFormatOfCard();
    for (QrFormat f : {QrFormat::Text, QrFormat::Mecard, QrFormat::Vcard})
        if (f != own)
            session.SetQrFormat(f);
    session.SetQrFormat(own);
    if (field < kFields.size()) {
        const std::string key = kFields[field].key;
        const std::string next = kFields[(field + 1) % kFields.size()].key;
        // Typed as the edit hands it on: the field, then its neighbour's text
        // and characters that the QR formats escape or Shift-JIS lacks.
        session.EditChanged(key, session.FieldText(key) + session.FieldText(next) +
                                     QStringLiteral(";:,\\ \u9ad9\U0001F600"));
        if (control & 0x10) {
            session.SetSelection(session.Card().Find(key));
            session.SetVertical(!session.SelectionVertical());
            session.SetSelection(nullptr);
        }
        if (control & 0x40)
            session.SetTextsForPrinting({{key, EditSession::EditText(session.FieldText(key))},
                                         {next, std::string(300, 'W')}});
    }
    if (field == 15) {
        session.SelectAll();
        session.DuplicateSelection();
        session.AlignSelection(EditSession::AlignMode::HCenter, false);
        session.DistributeSelection(true);
        session.Nudge(3, -2);
        EditSession other;
        other.Paste(session.CopySelection().isEmpty() ? QByteArray("\x05PK100")
                                                      : session.CopySelection());
        session.DeleteSelection();
    }
    if (control & 0x20) {
        QUndoStack &stack = session.UndoStack();
        while (stack.canUndo())
            stack.undo();
        while (stack.canRedo())
            stack.redo();
    }
    if (control & 0x80)
        session.ShowQr(false);
    (void)DrawProblems(session.Card());
}

void print(const EditSession &front, const EditSession &back, std::uint8_t control)
{
    static const int kDpi[] = {0, 72, 150, kSheetPdfDpi};
    const int dpi = kDpi[control & 3];
    if (dpi == 0)
        return;
    PrintSpace space;
    const bool withBack = control & 0x04;
    space.back.shortEdge = control & 0x08;
    space.cropMarks = control & 0x10;
    if (control & 0x20) {
        space.ox = 37;
        space.oy = -21;
    }
    if (control & 0x40)
        space.a = space.b = space.c = space.d = 0;
    if (control & 0x80) {
        space.a = 150;
        space.b = 230;
    }
    const bool raster = dpi == 72 && withBack && !(control & 0x20);
    const DrawingOrder order = MakeDrawingOrder(front.Card());
    const DrawingOrder backOrder = MakeDrawingOrder(back.Card());
    try {
        WriteSheetPdf(pdfPath(), QPageSize(QPageSize::A4), dpi, order, space, raster,
                      withBack ? &backOrder : nullptr);
    } catch (const FileError &) {
        std::abort(); // a file in memory cannot fail to be written
    } catch (const std::runtime_error &) {
        return; // a card that cannot be drawn at this resolution
    }
    QFile pdf(pdfPath());
    if (!pdf.open(QIODevice::ReadOnly) || pdf.read(5) != "%PDF-")
        std::abort();
    pdf.close();
    QFile::remove(pdfPath());
}

} // namespace

// Drawing texts needs the application object (offscreen). The decoders'
// warnings about damaged data would flood the log and slow the run down.
// A default card is opened, edited and printed once, so that loading the
// fonts is not counted against the first input's time limit.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    installFontSubstitutions();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    EditSession warm;
    warm.EditChanged("eName", QStringLiteral("山田 太郎"));
    edit(warm, 0x10);
    print(warm, warm, 0x07);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t sheet = data[0], edits = data[1];
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 2,
                           static_cast<qsizetype>(size - 2));
    EditSession session;
    int repaired = 0;
    if (!open(session, bytes, &repaired))
        return 0;

    // Opened and saved, the card opens again as it was saved: nothing left
    // to repair, and the same bytes saved.
    const QByteArray saved = session.SaveBytes();
    EditSession again;
    int repairedAgain = -1;
    if (!open(again, saved, &repairedAgain) || repairedAgain != 0 || again.SaveBytes() != saved)
        std::abort();

    try {
        edit(session, edits);
    } catch (const CardError &) {
        // The QR encoder out of memory: nothing else throws here.
        std::abort();
    }
    print(session, again, sheet);
    return 0;
}
