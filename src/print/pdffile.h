#pragma once
#include "card/files.h"
#include "card/printspace.h"
#include "print/pdftext.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class DrawingOrder;

// A PDF file drawn page by page at `dpi` dots per inch, portrait, with the
// whole page as the painter's area (no margins, so the printable area starts
// at the paper's corner). Pages reach the file as they are made, their text
// maps made searchable on the way (PdfTextMapFilter); the file replaces
// `path` only at Finish, and is dropped when the object is destroyed before.
// Failures throw FileError naming the file.
//
// A finished page is compressed and written on a thread of its own while the
// caller prepares the next one (a merge sets a row's texts, encodes its QR
// code and lays out its lines meanwhile): NewPage returns at once, and
// Painter() waits until the page before is out. So the painter is taken
// afresh for each page, after the work that needs no painter; a failure to
// write the page before is thrown there, or by Finish.
class PdfFile
{
public:
    PdfFile(const QString &path, const QPageSize &size, int dpi);
    PdfFile(const PdfFile &) = delete;
    PdfFile &operator=(const PdfFile &) = delete;
    ~PdfFile();

    QPainter &Painter();
    // The page in device pixels.
    QSize PageSize() const { return pageSize; }
    int Resolution() const { return dpi; }
    void NewPage();
    void Finish();

private:
    // Runs one job at a time on a thread of its own.
    class Worker
    {
    public:
        Worker();
        Worker(const Worker &) = delete;
        Worker &operator=(const Worker &) = delete;
        // Waits for the job running, if any.
        ~Worker();
        // Starts `job`; the one before must be over (Wait).
        void Start(std::function<void()> job);
        void Wait();

    private:
        void run();

        std::mutex mutex;
        std::condition_variable changed;
        std::function<void()> job;
        bool stop = false;
        std::thread thread;
    };

    // Waits for the page being written, and throws what stopped it.
    void waitForPage();

    std::unique_ptr<files::SafeFile> file;
    PdfTextMapFilter filter;
    QPdfWriter writer;
    QPainter painter;
    int dpi;
    QSize pageSize;
    bool pageWritten = true;
    bool pageOk = true;
    std::exception_ptr pageFailure;
    // Last: stopped, its page written, before the writer goes.
    Worker worker;
};

// The resolution a sheet PDF is drawn at unless told otherwise: the one the
// printer path uses, so the texts are measured as they are for printing.
inline constexpr int kSheetPdfDpi = 600;

// The sheet PDF that plakuro-cli's sheet command and the preview's PDF
// button write: `paper` with the printable area at its corner; the vector
// sheet (PrintVectorSheet), or with `raster` the card image copied into the
// cells (PrintSheet). With a `back` card a second page holds its back side
// (PrintBackSheet, turned as `space.back` says). `path` is replaced only when
// the whole file is written. Throws FileError when writing fails,
// std::runtime_error when a card cannot be drawn at `dpi`.
void WriteSheetPdf(const QString &path, const QPageSize &paper, int dpi, const DrawingOrder &order,
                   const PrintSpace &space, bool raster = false,
                   const DrawingOrder *back = nullptr);
