#pragma once
#include "app/meishi.h"
#include "card/objects.h"
#include "scripted_dialogs.h"
#include "settings/printspace.h"

#include <QImage>
#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A main window with scripted dialogs and its settings file in a folder of
// its own.
class MeishiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetSettingsFilePathForTesting(dir.filePath("plakuro.INI"));
        window = std::make_unique<TMeishi>(dialogs);
    }
    void TearDown() override
    {
        window.reset();
        SetSettingsFilePathForTesting(QString());
    }

    EditSession &editor() { return window->Session(); }
    template <typename T> T *object(const char *key)
    {
        return dynamic_cast<T *>(editor().Card().Find(key));
    }
    const QImage &canvas() { return window->Canvas().Image(); }
    QString path(const QString &name) const { return dir.filePath(name); }
    // Makes the window's printer, which the scripted print dialog accepts,
    // write A4 pages into sheet.pdf; returns that file's path.
    QString printToPdf()
    {
        dialogs.printerAccepts = true;
        QPrinter &printer = window->Printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(path("sheet.pdf"));
        return path("sheet.pdf");
    }

    // True when every pixel of the canvas is white.
    bool canvasWhite()
    {
        const QImage &img = canvas();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                    return false;
        return true;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMeishi> window;
};

// Bounding box of the non-white pixels of an image; empty when all white.
inline QRect inkBox(const QImage &img, QRect area = QRect())
{
    if (area.isNull())
        area = img.rect();
    int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                l = std::min(l, x);
                t = std::min(t, y);
                r = std::max(r, x);
                b = std::max(b, y);
            }
    return l == INT_MAX ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

// A solid-colour picture file of the given size.
inline QString writePicture(const QString &path, int w, int h, QColor colour, const char *format)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    img.save(path, format);
    return path;
}
