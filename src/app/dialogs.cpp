#include "app/dialogs.h"
#include "app/fontdialog.h"
#include "app/japanese.h"
#include "app/mergedialog.h"
#include "app/objectdialogs.h"
#include "app/placedialog.h"
#include "app/preview.h"
#include "app/printsetting.h"
#include "app/sprash.h"
#include "app/templatedialog.h"
#include "card/sjis.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
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

namespace {

// The stored height as the dialog's points: pixels at 96 dots per inch.
double pointsFor(const Font &font)
{
    const double px = font.height < 0 ? -static_cast<double>(font.height) : font.height;
    return px * 72.0 / 96.0;
}

} // namespace

QFont DialogFontFor(const Font &font)
{
    QFont f(sjis::toUnicode(font.name));
    f.setPointSizeF(std::max(1.0, pointsFor(font)));
    f.setBold(font.bold);
    f.setItalic(font.italic);
    return f;
}

Font fontFromQFont(const QFont &qf, const Font &base)
{
    Font f = base;
    const QString family = qf.family();
    if (family.compare(sjis::toUnicode(base.name), Qt::CaseInsensitive) != 0) {
        f.name = sjis::fromUnicode(family);
        f.pitch = QFontInfo(qf).fixedPitch() ? Pitch::Fixed : Pitch::Default;
    }
    const double points = qf.pixelSize() > 0 ? qf.pixelSize() * 72.0 / 96.0 : qf.pointSizeF();
    if (std::abs(points - pointsFor(base)) >= 0.5)
        f.height = -static_cast<int>(std::lround(points * 96.0 / 72.0));
    f.bold = qf.bold();
    f.italic = qf.italic();
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
    SpeakJapanese(*dlg);
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
    // Qt's own question (in Japanese) comes before an existing file is
    // replaced: one wrong click must not lose a card.
    if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
        return std::nullopt;
    return dlg->selectedFiles().first();
}

std::optional<QFont> QtDialogs::ChooseFont(QWidget *parent, const QFont &initial)
{
    TFontDialog dlg(initial, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.SelectedFont();
}

bool QtDialogs::ChooseColor(QWidget *parent, std::int32_t &color)
{
    const std::uint32_t u = static_cast<std::uint32_t>(color);
    const QColor initial(u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
    const QColor chosen =
        QColorDialog::getColor(initial, parent, QString(), QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid())
        return false;
    color = static_cast<std::int32_t>(chosen.red() | chosen.green() << 8 | chosen.blue() << 16);
    return true;
}

Dialogs::Answer QtDialogs::AskYesNoCancel(QWidget *parent, const QString &text,
                                          const QString &title)
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

QString CardFileFilter()
{
    return QStringLiteral("Plakuroデータ(*.pkd)|*.pkd");
}

void QtDialogs::ShowError(QWidget *parent, const QString &message)
{
    QMessageBox::critical(parent, QStringLiteral("Plakuro"), message);
}

void QtDialogs::ShowInfo(QWidget *parent, const QString &message)
{
    QMessageBox::information(parent, QStringLiteral("Plakuro"), message);
}

void QtDialogs::PrintOptions(QWidget *parent, PrintSpace &space)
{
    RunPrintOptions(parent, space, this);
}

void QtDialogs::Preview(QWidget *parent, const DrawingOrder &order, const QPageLayout &paper,
                        PrintSpace &space, const std::function<void(const PrintSpace &)> &print)
{
    RunPreview(parent, order, paper.fullRect(QPageLayout::Millimeter).size(), space, print, this);
}

namespace {

// Whether the desktop names a program for web pages: $BROWSER, or the
// default xdg-mime gives for HTML. Without one, xdg-open has nothing to
// start and says so only on its own stderr.
bool browserConfigured()
{
    if (!qEnvironmentVariableIsEmpty("BROWSER"))
        return true;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

// The manual in a window of Plakuro's own: its links within the manual
// followed there, others handed to the desktop.
void showManualWindow(const QString &file)
{
    auto *browser = new QTextBrowser;
    browser->setObjectName(QStringLiteral("ManualWindow"));
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setWindowTitle(QStringLiteral("Plakuro マニュアル"));
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl::fromLocalFile(file));
    browser->resize(820, 720);
    browser->show();
}

} // namespace

void QtDialogs::OpenAddress(const QString &address)
{
    // The manual is read without a browser too; an address of the user's is
    // handed over as it is.
    const QUrl url(address);
    if (url.isLocalFile() && (!browserConfigured() || !launchAddress(address))) {
        showManualWindow(url.toLocalFile());
        return;
    }
    launchAddress(address);
}

bool QtDialogs::PlaceObject(QWidget *parent, TRect &rect, Sizing sizing)
{
    return RunPlaceDialog(parent, rect, sizing);
}

bool QtDialogs::EditFreeText(QWidget *parent, FreeTextValues &values)
{
    return RunFreeTextDialog(parent, values);
}

void QtDialogs::Merge(QWidget *parent, EditSession &card, QPrinter &printer)
{
    MergeDialog dialog(parent, card, printer, *this);
    dialog.exec();
}

void QtDialogs::Templates(QWidget *parent, EditSession &card, const QString &programDir)
{
    TemplateDialog dialog(parent, card, *this, programDir);
    dialog.exec();
}

bool QtDialogs::AskTemplateDetails(QWidget *parent, TemplateDetails &details)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("TemplateDetails"));
    dialog.setWindowTitle(QStringLiteral("テンプレートとして保存"));
    auto *form = new QFormLayout;
    auto *title = new QLineEdit(details.title, &dialog);
    title->setObjectName(QStringLiteral("eTemplateTitle"));
    auto *description = new QLineEdit(details.description, &dialog);
    description->setObjectName(QStringLiteral("eTemplateDescription"));
    auto *withData = new QCheckBox(
        QStringLiteral("入力した文字と画像も入れる (入れないと配置とデザインだけ)"), &dialog);
    withData->setObjectName(QStringLiteral("cWithData"));
    withData->setChecked(details.withData);
    form->addRow(QStringLiteral("名前:"), title);
    form->addRow(QStringLiteral("説明:"), description);
    form->addRow(withData);
    QPushButton *ok = nullptr, *cancel = nullptr;
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addLayout(makeOkCancel(&dialog, ok, cancel));
    auto enable = [&] { ok->setEnabled(!title->text().trimmed().isEmpty()); };
    QObject::connect(title, &QLineEdit::textChanged, &dialog, enable);
    enable();
    dialog.resize(480, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    details = {title->text(), description->text(), withData->isChecked()};
    return true;
}

std::optional<QString> QtDialogs::AskText(QWidget *parent, const QString &title,
                                          const QString &label, const QString &initial)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

bool QtDialogs::FormatShape(QWidget *parent, ShapeValues &values)
{
    return RunShapeDialog(
        parent, values, [this, parent](std::int32_t &color) { return ChooseColor(parent, color); });
}

QHBoxLayout *makeOkCancel(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel)
{
    ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("bOK"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("キャンセル"), dialog);
    cancel->setObjectName(QStringLiteral("bCancel"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}
