#include "print/pdffile.h"
#include "print/pdftext.h"
#include "print/sheet.h"

#include "card/syserror.h"

#include <QPageLayout>

PdfFile::PdfFile(const QString &path, const QPageSize &size, int dpi)
    : file(std::make_unique<files::SafeFile>(path)), filter(file->Device()), writer(&filter)
{
    writer.setCreator(QStringLiteral("Plakuro"));
    writer.setResolution(dpi);
    writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (!painter.begin(&writer))
        file->Fail(JapaneseErrorText(file->Device().errorString()));
}

void PdfFile::NewPage()
{
    if (!writer.newPage())
        file->Fail(JapaneseErrorText(file->Device().errorString()));
}

void PdfFile::Finish()
{
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
        PrintVectorSheet(pdf.Painter(), dev, pdf.PageSize(), order, space);
    if (back) {
        pdf.NewPage();
        // The page is the whole paper.
        PrintBackSheet(pdf.Painter(), dev, pdf.PageSize(), pdf.PageSize(), *back, space, raster);
    }
    pdf.Finish();
}
