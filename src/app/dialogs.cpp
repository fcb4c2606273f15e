#include "app/dialogs.h"
#include "app/sprash.h"
#include "card/sjis.h"
#include "print/preview.h"
#include "print/printsetting.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <cmath>

QString toQtFilter(const QString &filter)
{
    // "Name|pattern|Name|pattern": Qt wants "Name (pattern)" entries, and the
    // names already carry their patterns in brackets; the patterns then are
    // what Qt matches, separated by blanks instead of ';'.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const int bracket = name.indexOf(QLatin1Char('('));
        if (bracket >= 0)
            name = name.left(bracket).trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return out.join(QStringLiteral(";;"));
}

Font fontFromQFont(const QFont &qf, const Font &base)
{
    Font f = base;
    f.name = sjis::fromUnicode(qf.family());
    if (qf.pixelSize() > 0)
        f.height = -qf.pixelSize();
    else
        f.height = -static_cast<int>(std::lround(qf.pointSizeF() * 96.0 / 72.0));
    f.bold = qf.bold();
    f.italic = qf.italic();
    f.underline = qf.underline();
    f.strikeout = qf.strikeOut();
    if (qf.fixedPitch())
        f.pitch = Pitch::Fixed;
    return f;
}

bool launchAddress(const QString &address)
{
    // The address is one argument of the opener; no shell ever parses it.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}

void QtDialogs::RunSplash(QWidget *owner)
{
    TSprash splash(owner);
    splash.exec();
}

namespace {

QFileDialog *makeFileDialog(QWidget *parent, const Dialogs::FileDialog &d)
{
    auto *dlg = new QFileDialog(parent);
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    dlg->setNameFilter(toQtFilter(d.filter));
    if (!d.initialDir.isEmpty() && QDir(d.initialDir).exists())
        dlg->setDirectory(d.initialDir);
    if (!d.initialName.isEmpty())
        dlg->selectFile(d.initialName);
    if (!d.defaultSuffix.isEmpty())
        dlg->setDefaultSuffix(d.defaultSuffix.mid(d.defaultSuffix.startsWith('.') ? 1 : 0));
    return dlg;
}

} // namespace

std::optional<QString> QtDialogs::OpenFile(QWidget *parent, const FileDialog &d)
{
    std::unique_ptr<QFileDialog> dlg(makeFileDialog(parent, d));
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    dlg->setFileMode(d.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
        return std::nullopt;
    return dlg->selectedFiles().first();
}

std::optional<QString> QtDialogs::SaveFile(QWidget *parent, const FileDialog &d)
{
    std::unique_ptr<QFileDialog> dlg(makeFileDialog(parent, d));
    dlg->setAcceptMode(QFileDialog::AcceptSave);
    dlg->setFileMode(QFileDialog::AnyFile);
    // An existing file is replaced without a question.
    dlg->setOption(QFileDialog::DontConfirmOverwrite);
    if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
        return std::nullopt;
    return dlg->selectedFiles().first();
}

bool QtDialogs::ChooseFont(QWidget *parent, Font &font)
{
    QFont initial = font.toQFont();
    // The dialog works in points; the stored height is pixels at 96 dpi.
    const int px = font.height < 0 ? -font.height : font.height;
    initial.setPointSizeF(px * 72.0 / 96.0);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent, QString(),
                                              QFontDialog::DontUseNativeDialog);
    if (!ok)
        return false;
    font = fontFromQFont(chosen, font);
    return true;
}

bool QtDialogs::ChooseColor(QWidget *parent, std::int32_t &color)
{
    const std::uint32_t u = static_cast<std::uint32_t>(color);
    const QColor initial(u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
    const QColor chosen = QColorDialog::getColor(initial, parent, QString(),
                                                 QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid())
        return false;
    color = static_cast<std::int32_t>(chosen.red() | chosen.green() << 8 | chosen.blue() << 16);
    return true;
}

Dialogs::Answer QtDialogs::AskYesNoCancel(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool QtDialogs::PrinterSetup(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dlg(&printer, parent);
    dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
    return dlg.exec() == QDialog::Accepted;
}

void QtDialogs::ShowError(QWidget *parent, const QString &message)
{
    QMessageBox::critical(parent, QStringLiteral("Plakuro"), message);
}

void QtDialogs::ShowInfo(QWidget *parent, const QString &message)
{
    QMessageBox::information(parent, QStringLiteral("Plakuro"), message);
}

void QtDialogs::PrintOptions(QWidget *parent, std::int32_t &a, std::int32_t &b, std::int32_t &c,
                             std::int32_t &d)
{
    RunPrintOptions(parent, a, b, c, d);
}

void QtDialogs::Preview(QWidget *parent, const Objects &order, std::int32_t &a, std::int32_t &b,
                        std::int32_t &c, std::int32_t &d,
                        const std::function<void(int, int, int, int)> &print)
{
    RunPreview(parent, order, a, b, c, d, print);
}

void QtDialogs::OpenAddress(const QString &address)
{
    launchAddress(address);
}
