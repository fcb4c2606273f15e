#pragma once
#include "card/files.h"
#include "card/printspace.h"
#include "print/pdftext.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <memory>

class DrawingOrder;

// A PDF file drawn page by page at `dpi` dots per inch, portrait, with the
// whole page as the painter's area (no margins, so the printable area starts
// at the paper's corner). Pages reach the file as they are made, their text
// maps made searchable on the way (PdfTextMapFilter); the file replaces
// `path` only at Finish, and is dropped when the object is destroyed before.
// Failures throw FileError naming the file.
class PdfFile
{
public:
    PdfFile(const QString &path, const QPageSize &size, int dpi);
    PdfFile(const PdfFile &) = delete;
    PdfFile &operator=(const PdfFile &) = delete;

    QPainter &Painter() { return painter; }
    // The page in device pixels.
    QSize PageSize() const { return {writer.width(), writer.height()}; }
    void NewPage();
    void Finish();

private:
    std::unique_ptr<files::SafeFile> file;
    PdfTextMapFilter filter;
    QPdfWriter writer;
    QPainter painter;
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
