#include "print/pdffile.h"
#include "print/pdftext.h"
#include "print/sheet.h"

#include "card/syserror.h"

#include <QPageLayout>
#include <utility>

PdfFile::Worker::Worker() : thread([this] { run(); }) {}

PdfFile::Worker::~Worker()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    changed.notify_all();
    thread.join();
}

void PdfFile::Worker::Start(std::function<void()> next)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        job = std::move(next);
    }
    changed.notify_all();
}

void PdfFile::Worker::Wait()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !job; });
}

void PdfFile::Worker::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stop || job; });
        if (!job)
            return;
        // The job runs unlocked; it is cleared only when done, so Wait()
        // returns after it.
        const std::function<void()> current = job;
        lock.unlock();
        current();
        lock.lock();
        job = nullptr;
        changed.notify_all();
    }
}

PdfFile::PdfFile(const QString &path, const QPageSize &size, int dpi)
    : file(std::make_unique<files::SafeFile>(path)), filter(file->Device()), writer(&filter),
      dpi(dpi)
{
    writer.setCreator(QStringLiteral("Plakuro"));
    writer.setResolution(dpi);
    writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    pageSize = QSize(writer.width(), writer.height());
    if (!painter.begin(&writer))
        file->Fail(JapaneseErrorText(file->Device().errorString()));
}

PdfFile::~PdfFile()
{
    // A page still being written goes on to its end before the writer,
    // the filter and the file it writes to are destroyed.
    worker.Wait();
}

QPainter &PdfFile::Painter()
{
    waitForPage();
    return painter;
}

void PdfFile::NewPage()
{
    waitForPage();
    // The engine finishes the page (compresses it and writes it to the file)
    // and opens the next; nothing else touches the writer, the filter or the
    // file until waitForPage.
    pageWritten = false;
    worker.Start([this] {
        try {
            pageOk = writer.newPage();
        } catch (...) {
            pageFailure = std::current_exception();
        }
    });
}

void PdfFile::waitForPage()
{
    if (pageWritten)
        return;
    worker.Wait();
    pageWritten = true;
    if (pageFailure)
        std::rethrow_exception(std::exchange(pageFailure, nullptr));
    if (!pageOk)
        file->Fail(JapaneseErrorText(file->Device().errorString()));
}

void PdfFile::Finish()
{
    waitForPage();
    if (!painter.end())
        file->Fail(JapaneseErrorText(file->Device().errorString()));
    filter.Flush();
    file->Commit();
}

void WriteSheetPdf(const QString &path, const QPageSize &paper, int dpi, const DrawingOrder &order,
                   const PrintSpace &space, bool raster, const DrawingOrder *back)
{
    PdfFile pdf(path, paper, dpi);
    const SheetDevice dev{dpi, dpi, 0, 0};
    if (raster)
        PrintSheet(pdf.Painter(), dev, pdf.PageSize(), order, space);
    else
        PrintVectorSheet(pdf, dev, order, space);
    if (back) {
        pdf.NewPage();
        // The page is the whole paper.
        PrintBackSheet(pdf.Painter(), dev, pdf.PageSize(), pdf.PageSize(), *back, space, raster);
    }
    pdf.Finish();
}
