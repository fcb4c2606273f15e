#pragma once
#include "app/dialogs.h"

#include <QPageSize>
#include <QPrinter>
#include <cstdio>

// Answers every dialog with Cancel, except the printer set-up, which
// chooses a PDF file on A4.
class BenchDialogs : public Dialogs
{
public:
    QString cardFile;
    QString pdfFile;

    void RunSplash(QWidget *) override {}
    std::optional<QString> OpenFile(QWidget *, const FileDialog &) override { return cardFile; }
    std::optional<QString> SaveFile(QWidget *, const FileDialog &) override { return {}; }
    std::optional<QFont> ChooseFont(QWidget *, const QFont &) override { return {}; }
    bool ChooseColor(QWidget *, std::int32_t &) override { return false; }
    Answer AskYesNoCancel(QWidget *, const QString &, const QString &) override
    {
        return Answer::Cancel;
    }
    bool PrinterSetup(QWidget *, QPrinter &printer) override
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfFile);
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    }
    void ShowError(QWidget *, const QString &message) override
    {
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        failed = true;
    }
    void ShowInfo(QWidget *, const QString &message) override { ShowError(nullptr, message); }
    void PrintOptions(QWidget *, PrintSpace &) override {}
    void Preview(QWidget *, const DrawingOrder &, const QPageLayout &, PrintSpace &,
                 const std::function<void(const PrintSpace &)> &) override
    {}
    void OpenAddress(const QString &) override {}
    bool PlaceObject(QWidget *, TRect &, Sizing) override { return false; }
    bool EditFreeText(QWidget *, FreeTextValues &) override { return false; }
    bool FormatShape(QWidget *, ShapeValues &) override { return false; }
    void Merge(QWidget *, EditSession &, QPrinter &) override {}
    void Templates(QWidget *, EditSession &, const QString &) override {}
    bool AskTemplateDetails(QWidget *, TemplateDetails &) override { return false; }
    std::optional<QString> AskText(QWidget *, const QString &, const QString &,
                                   const QString &) override
    {
        return std::nullopt;
    }

    bool failed = false;
};
