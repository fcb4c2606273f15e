// The editor's two repaints: a keystroke (text into its object, the QR
// symbol rebuilt, the canvas repainted) and a processed drag step (the
// object moved, the canvas repainted), on the realistic card, against the
// least any repaint must do. And the peak memory of the whole editor window
// holding the realistic card, measured in a process of its own.

#include "bench_dialogs.h"
#include "peak_memory.h"
#include "realistic.h"

#include "app/dialogs.h"
#include "app/meishi.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/sjis.h"
#include "editor/templates.h"
#include "qr/qrcode.h"
#include "settings/printspace.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QUndoStack>
#include <qrencode.h>

#include <cstdio>
#include <vector>

namespace {

// Typing one character more into a field and taking it back, again and
// again: the name changes the QR symbol, a memo does not.
void typeInto(benchmark::State &state, std::size_t field)
{
    Realistic &r = realistic();
    EditSession &e = r.editor;
    const auto &[key, sjisText] = r.texts.at(field);
    const QString text = sjis::toUnicode(sjisText);
    const QString typed = text + QStringLiteral("様");
    bool longer = false;
    for (auto _ : state) {
        longer = !longer;
        e.EditChanged(key, longer ? typed : text);
    }
    if (longer)
        e.EditChanged(key, text);
    e.SetModified(false);
    state.counters["qr_bytes"] = static_cast<double>(r.qrText.size());
}

void BM_Keystroke(benchmark::State &state)
{
    typeInto(state, 0);
}

// The same keystroke with the canvas at 200 %: the card drawn at 1290 x 780
// pixels while its text is still measured on the 645-pixel canvas.
void BM_Keystroke200(benchmark::State &state)
{
    CanvasView &view = realistic().view;
    view.SetView(2.0);
    typeInto(state, 0);
    view.SetView(1.0);
}

void BM_KeystrokeMemo(benchmark::State &state)
{
    typeInto(state, 12);
}

// What a keystroke cannot do without: a white canvas, both pictures drawn
// from copies already at their drawn size, the fourteen lines drawn with
// fonts and texts made beforehand at known places, and one QR encoding of
// the card's QR text.
class LowerBound
{
public:
    explicit LowerBound(const EditSession &e)
        : canvas(EditSession::kCanvasWidth, EditSession::kCanvasHeight, QImage::Format_RGB32),
          qrText(BuildQrText(e.Card()))
    {
        const Converter &conv = e.Screen();
        for (Object *obj : MakeDrawingOrder(e.Card()).List()) {
            TRect r;
            obj->GetRect(r);
            const QPoint at(conv.ToDevice(r.left), conv.ToDevice(r.top));
            if (auto *g = dynamic_cast<const GraphicObject *>(obj)) {
                const ::Picture *picture = g->GetPicture();
                if (!dynamic_cast<const RasterPicture *>(picture))
                    continue;
                const QSize size(conv.ToDevice(r.right) - at.x(), conv.ToDevice(r.bottom) - at.y());
                QImage ready(size, QImage::Format_RGB32);
                ready.fill(Qt::white);
                QPainter p(&ready);
                picture->Draw(p, QRect(QPoint(), size));
                p.end();
                pictures.push_back({at, ready});
            } else if (auto *t = dynamic_cast<const TextObject *>(obj)) {
                Font f;
                t->GetFont(f);
                f.height = Converter::Truncate(conv.ToDevice(f.height) * 1.5);
                const QFont qf = f.toQFont();
                const QFontMetrics fm(qf, &canvas);
                lines.push_back(
                    {qf, at + QPoint(0, fm.ascent()), sjis::toUnicode(t->DisplayText())});
            }
        }
    }

    void Draw()
    {
        QPainter p(&canvas);
        p.fillRect(canvas.rect(), QColor(255, 255, 255));
        for (const Picture &pic : pictures)
            p.drawImage(pic.at, pic.image);
        p.setPen(Qt::black);
        for (const Line &line : lines) {
            p.setFont(line.font);
            p.drawText(line.baseline, line.text);
        }
        p.end();
        QRcode *code = QRcode_encodeString(qrText.c_str(), 0, QR_ECLEVEL_M, QR_MODE_KANJI, 1);
        benchmark::DoNotOptimize(code);
        QRcode_free(code);
    }

    std::size_t Lines() const { return lines.size(); }
    std::size_t Pictures() const { return pictures.size(); }

private:
    struct Picture
    {
        QPoint at;
        QImage image;
    };
    struct Line
    {
        QFont font;
        QPoint baseline;
        QString text;
    };
    QImage canvas;
    std::string qrText;
    std::vector<Picture> pictures;
    std::vector<Line> lines;
};

void BM_KeystrokeLowerBound(benchmark::State &state)
{
    LowerBound bound(realistic().editor);
    if (bound.Lines() != 14 || bound.Pictures() != 2)
        state.SkipWithError("the realistic card lacks lines or pictures");
    for (auto _ : state)
        bound.Draw();
}

// Taking a keystroke in the name field back: every object restored from its
// copy, the edits told, the QR state restored and the canvas repainted.
void BM_UndoKeystroke(benchmark::State &state)
{
    EditSession &e = realistic().editor;
    const QString text = e.FieldText("eName");
    e.EditChanged("eName", text + QStringLiteral("様"));
    QUndoStack &stack = e.UndoStack();
    for (auto _ : state) {
        stack.undo();
        stack.redo();
    }
    stack.undo();
    stack.clear();
    e.SetModified(false);
}

// A drag of the selection, pressed at `start`'s corner, one processed step
// an iteration, over the same twenty places again and again.
void dragFrom(benchmark::State &state, EditSession &e, const TRect &start)
{
    e.BeginDrag(e.Screen().ToDevice(start.left), e.Screen().ToDevice(start.top));
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 20;
        e.DragSelection(100 + 3 * step, 28 + 2 * step, true);
    }
    e.EndDrag();
}

void BM_DragStep(benchmark::State &state)
{
    EditSession &e = realistic().editor;
    Object *name = e.Card().Find("eName");
    TRect start;
    name->GetRect(start);
    e.SetSelection(name);
    dragFrom(state, e, start);
    name->SetRect(start);
    e.SetSelection(nullptr);
    e.RefreshCanvas();
    e.SetModified(false);
}

// Forty objects the user added, as a busy card has: ten two-line texts, ten
// bands, ten rules, five ellipses and five small logos, spread over the
// card. Taken back again by the returned number of steps.
int addForty(EditSession &e)
{
    const int before = e.UndoStack().index();
    for (int i = 0; i < 40; ++i) {
        const int x = 40 + (i % 8) * 105, y = 40 + (i / 8) * 95;
        const KindId kinds[] = {KindId::Text, KindId::Rect, KindId::Line,    KindId::Text,
                                KindId::Rect, KindId::Line, KindId::Ellipse, KindId::Picture};
        const KindId kind = kinds[i % 8];
        if (kind == KindId::Picture) {
            QImage logo(120, 60, QImage::Format_RGB32);
            logo.fill(QColor(30 + i, 60, 110));
            e.AddPicture(BitmapPicture::FromImage(logo), QStringLiteral("/tmp/logo.png"), {},
                         TRect{x, y, x + 90, y + 60});
        } else {
            e.AddNewObject(kind, TRect{x, y, x + 90, y + 60});
            if (kind == KindId::Text)
                e.SetFreeText(QStringLiteral("一級建築士\n宅地建物取引士"));
        }
    }
    e.SetSelection(nullptr);
    return e.UndoStack().index() - before;
}

void takeBack(EditSession &e, int steps)
{
    for (int i = 0; i < steps; ++i)
        e.UndoStack().undo();
    e.SetModified(false);
}

// The keystroke and the drag step with forty added objects on the card: the
// drag moves three selected objects, snapping against all the others.
void BM_KeystrokeForty(benchmark::State &state)
{
    EditSession &e = realistic().editor;
    const int steps = addForty(e);
    typeInto(state, 0);
    takeBack(e, steps);
}

void BM_DragStepForty(benchmark::State &state)
{
    EditSession &e = realistic().editor;
    const int steps = addForty(e);
    std::vector<Object *> three = {e.Card().Find("sRect1"), e.Card().Find("tText1"),
                                   e.Card().Find("eName")};
    e.SetSelectedObjects(three);
    TRect start;
    three.back()->GetRect(start);
    dragFrom(state, e, start);
    e.UndoStack().undo();
    takeBack(e, steps);
    e.SetSelection(nullptr);
}

// Peak resident memory (VmHWM) of a process that holds the editor window
// with the realistic card: opened from its file, typed into, dragged in and
// printed to a PDF file at 600 dpi.
void BM_EditorPeakMemory(benchmark::State &state)
{
    const Realistic &r = realistic();
    QTemporaryDir dir;
    const QString card = dir.filePath("card.pkd");
    QFile f(card);
    if (!f.open(QIODevice::WriteOnly) || f.write(r.file) != r.file.size()) {
        state.SkipWithError("cannot write the card file");
        return;
    }
    f.close();
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--editor-memory-child"), card, dir.filePath("sheet.pdf"),
                     dir.filePath("plakuro.INI")});
        if (!child.waitForFinished(120000) || child.exitCode() != 0) {
            state.SkipWithError("the editor process failed");
            return;
        }
        const QList<QByteArray> kB = child.readAllStandardOutput().trimmed().split(' ');
        if (kB.size() != 4) {
            state.SkipWithError("the editor process reported nothing");
            return;
        }
        state.counters["window_MB"] = kB[0].toDouble() / 1024;
        state.counters["opened_MB"] = kB[1].toDouble() / 1024;
        state.counters["edited_MB"] = kB[2].toDouble() / 1024;
        state.counters["printed_MB"] = kB[3].toDouble() / 1024;
    }
}

} // namespace

int runEditorMemoryChild(const QString &cardFile, const QString &pdfFile,
                         const QString &settingsFile)
{
    SetSettingsFilePathForTesting(settingsFile);
    BenchDialogs dialogs;
    dialogs.cardFile = cardFile;
    dialogs.pdfFile = pdfFile;
    TMeishi window(dialogs);
    window.show();
    QApplication::processEvents();
    const long shown = PeakResidentKiB();
    window.ToolButton2Click();
    QApplication::processEvents();
    const long opened = PeakResidentKiB();
    const QString name = window.eName->text();
    for (int i = 0; i < 20; ++i)
        window.eName->setText(i % 2 ? name : name + QStringLiteral("様"));
    window.cCanvasMouseDown(Qt::LeftButton, 100, 30);
    for (int i = 1; i <= 50; ++i)
        window.cCanvasMouseMove(100 + i, 30 + i);
    window.cCanvasMouseUp(Qt::LeftButton, 150, 80);
    QApplication::processEvents();
    const long edited = PeakResidentKiB();
    window.bPrintoutClick();
    const long printed = PeakResidentKiB();
    if (dialogs.failed || !QFile::exists(pdfFile))
        return 1;
    std::printf("%ld %ld %ld %ld\n", shown, opened, edited, printed);
    return 0;
}

BENCHMARK(BM_Keystroke)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Keystroke200)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeMemo)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeLowerBound)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoKeystroke)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStep)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeForty)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepForty)->Apply(withSpread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditorPeakMemory)
    ->Iterations(1)
    ->Repetitions(3)
    ->Apply(withSpread)
    ->Unit(benchmark::kMillisecond);

// The template gallery opening on the realistic card: every shipped template
// read and drawn as a thumbnail with the card's data, as the dialog does.
static void BM_TemplateGallery(benchmark::State &state)
{
    Realistic &r = realistic();
    const std::vector<TemplateFile> all = ListTemplates(QStringLiteral(PLAKURO_APP_DIR));
    if (all.empty())
        state.SkipWithError("no templates beside the program");
    for (auto _ : state)
        for (const TemplateFile &t : all)
            benchmark::DoNotOptimize(
                TemplatePreview(r.editor.Card(), ReadTemplateCard(t.path), 240));
    state.counters["templates"] = static_cast<double>(all.size());
}
BENCHMARK(BM_TemplateGallery)->Apply(withSpread)->Unit(benchmark::kMillisecond);
