#pragma once
#include "app/dialogs.h"

#include <QFont>
#include <QPageLayout>
#include <QStringList>
#include <deque>

// Answers the editor's dialogs from queues the test fills; a dialog asked for
// with an empty queue counts as cancelled. Every question is recorded.
class ScriptedDialogs : public Dialogs
{
public:
    // An empty name answers Cancel.
    std::deque<QString> openFiles;
    std::deque<QString> saveFiles;
    std::deque<Answer> answers;
    // A font confirmed in the font dialog; nullopt answers Cancel.
    std::deque<std::optional<QFont>> fonts;
    std::deque<std::optional<std::int32_t>> colors;
    bool printerAccepts = false;
    // The values confirmed in the position and size dialog; nullopt answers Cancel.
    std::deque<std::optional<TRect>> places;
    // The values confirmed in the text and shape dialogs; nullopt answers Cancel.
    std::deque<std::optional<FreeTextValues>> freeTexts;
    std::deque<std::optional<ShapeValues>> shapes;
    // 「テンプレートとして保存」's answer (nullopt: Cancel) and the one line
    // of text asked for (nullopt: Cancel).
    std::optional<TemplateDetails> templateDetails;
    std::optional<QString> textAnswer;

    QStringList questions;
    QStringList errors;
    QStringList infos;
    QStringList addresses;
    std::vector<FileDialog> fileDialogs;
    int splashes = 0;
    int galleries = 0;
    int printerSetups = 0;
    QFont fontShown;
    // The paper the last preview was asked to show.
    QSizeF previewPaperMm;
    // What the last position and size dialog was opened on.
    TRect placeShown;
    Sizing placeSizing = Sizing::None;
    // What the last text and shape dialogs were opened on.
    FreeTextValues freeTextShown;
    ShapeValues shapeShown;

    void RunSplash(QWidget *) override { ++splashes; }
    std::optional<QString> OpenFile(QWidget *, const FileDialog &d) override
    {
        fileDialogs.push_back(d);
        return popName(openFiles);
    }
    std::optional<QString> SaveFile(QWidget *, const FileDialog &d) override
    {
        fileDialogs.push_back(d);
        return popName(saveFiles);
    }
    std::optional<QFont> ChooseFont(QWidget *, const QFont &initial) override
    {
        fontShown = initial;
        return pop(fonts);
    }
    bool ChooseColor(QWidget *, std::int32_t &color) override
    {
        std::optional<std::int32_t> c = pop(colors);
        if (c)
            color = *c;
        return c.has_value();
    }
    Answer AskYesNoCancel(QWidget *, const QString &text, const QString &) override
    {
        questions << text;
        if (answers.empty())
            return Answer::Cancel;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool PrinterSetup(QWidget *, QPrinter &) override
    {
        ++printerSetups;
        return printerAccepts;
    }
    void ShowError(QWidget *, const QString &m) override { errors << m; }
    void ShowInfo(QWidget *, const QString &m) override { infos << m; }
    void PrintOptions(QWidget *, PrintSpace &) override {}
    void Preview(QWidget *, const DrawingOrder &, const QPageLayout &paper, PrintSpace &,
                 const std::function<void(const PrintSpace &)> &) override
    {
        previewPaperMm = paper.fullRect(QPageLayout::Millimeter).size();
    }
    void OpenAddress(const QString &address) override { addresses << address; }
    bool PlaceObject(QWidget *, TRect &rect, Sizing sizing) override
    {
        placeShown = rect;
        placeSizing = sizing;
        std::optional<TRect> r = pop(places);
        if (r)
            rect = *r;
        return r.has_value();
    }
    bool EditFreeText(QWidget *, FreeTextValues &values) override
    {
        freeTextShown = values;
        return answer(freeTexts, values);
    }
    bool FormatShape(QWidget *, ShapeValues &values) override
    {
        shapeShown = values;
        return answer(shapes, values);
    }
    void Merge(QWidget *, EditSession &, QPrinter &) override { ++merges; }
    void Templates(QWidget *, EditSession &, const QString &) override { ++galleries; }
    bool AskTemplateDetails(QWidget *, TemplateDetails &details) override
    {
        if (!templateDetails)
            return false;
        details = *templateDetails;
        return true;
    }
    std::optional<QString> AskText(QWidget *, const QString &, const QString &,
                                   const QString &) override
    {
        return textAnswer;
    }
    int merges = 0;

private:
    template <typename T> static bool answer(std::deque<std::optional<T>> &q, T &values)
    {
        if (q.empty())
            return false;
        const bool ok = q.front().has_value();
        if (ok)
            values = *q.front();
        q.pop_front();
        return ok;
    }
    static std::optional<QString> popName(std::deque<QString> &q)
    {
        if (q.empty() || q.front().isEmpty()) {
            if (!q.empty())
                q.pop_front();
            return std::nullopt;
        }
        QString name = q.front();
        q.pop_front();
        return name;
    }
    template <typename T> static std::optional<T> pop(std::deque<std::optional<T>> &q)
    {
        if (q.empty())
            return std::nullopt;
        std::optional<T> v = q.front();
        q.pop_front();
        return v;
    }
};
