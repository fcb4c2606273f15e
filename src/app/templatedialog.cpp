#include "app/templatedialog.h"
#include "app/dialogs.h"
#include "card/cardfile.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/stream.h"
#include "editor/session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int kThumbWidth = 240;
constexpr int kThumbHeight = kThumbWidth * 550 / 910;

QString titleOf(const TemplateFile &t)
{
    return t.meta.title.isEmpty() ? t.name : t.meta.title;
}

// The card as bytes of a template file.
QByteArray templateBytes(const EditSession &card, const TemplateMeta &meta, bool withData)
{
    Objects copy;
    for (const auto &[key, obj] : card.Card())
        if (obj)
            copy[key] = obj->Clone();
    MakeTemplateCard(copy, meta, withData);
    MemoryStream s;
    SaveCard(&s, copy);
    return s.Data();
}

} // namespace

TemplateDialog::TemplateDialog(QWidget *parent, EditSession &card, Dialogs &dialogs,
                               const QString &programDir)
    : QDialog(parent), card(card), dialogs(dialogs), programDir(programDir)
{
    setObjectName(QStringLiteral("TemplateDialog"));
    setWindowTitle(QStringLiteral("テンプレート"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("デザインを選んでください。入力した文字と画像はそのまま、配置・フォント・"
                       "色・図形がそのデザインになります (元に戻すは Ctrl+Z)。"),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    tGroups = new QTabWidget(this);
    tGroups->setObjectName(QStringLiteral("tGroups"));
    for (TemplateGroup g : {TemplateGroup::Horizontal, TemplateGroup::Vertical,
                            TemplateGroup::English, TemplateGroup::Own}) {
        auto *list = new QListWidget(tGroups);
        list->setViewMode(QListView::IconMode);
        list->setIconSize(QSize(kThumbWidth, kThumbHeight));
        list->setGridSize(QSize(kThumbWidth + 24, kThumbHeight + 64));
        list->setResizeMode(QListView::Adjust);
        list->setMovement(QListView::Static);
        list->setWordWrap(true);
        list->setUniformItemSizes(true);
        list->setSpacing(4);
        connect(list, &QListWidget::currentItemChanged, this, [this] { chosenChanged(); });
        connect(list, &QListWidget::itemDoubleClicked, this, [this] { ApplySelected(); });
        lists[static_cast<int>(g)] = list;
        tGroups->addTab(list, TemplateGroupName(g));
    }
    connect(tGroups, &QTabWidget::currentChanged, this, [this] { chosenChanged(); });
    layout->addWidget(tGroups, 1);

    lDescription = new QLabel(this);
    lDescription->setObjectName(QStringLiteral("lDescription"));
    lDescription->setWordWrap(true);
    lDescription->setMinimumHeight(fontMetrics().height() * 2);
    layout->addWidget(lDescription);

    auto *buttons = new QHBoxLayout;
    bSave = new QPushButton(QStringLiteral("このカードをテンプレートとして保存…"), this);
    bSave->setObjectName(QStringLiteral("bSaveTemplate"));
    bRename = new QPushButton(QStringLiteral("名前の変更…"), this);
    bRename->setObjectName(QStringLiteral("bRenameTemplate"));
    bDelete = new QPushButton(QStringLiteral("削除"), this);
    bDelete->setObjectName(QStringLiteral("bDeleteTemplate"));
    bApply = new QPushButton(QStringLiteral("このデザインにする"), this);
    bApply->setObjectName(QStringLiteral("bApply"));
    bApply->setDefault(true);
    auto *close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("bClose"));
    buttons->addWidget(bSave);
    buttons->addWidget(bRename);
    buttons->addWidget(bDelete);
    buttons->addStretch();
    buttons->addWidget(bApply);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(bSave, &QPushButton::clicked, this, [this] { SaveCurrent(); });
    connect(bRename, &QPushButton::clicked, this, [this] { RenameSelected(); });
    connect(bDelete, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    connect(bApply, &QPushButton::clicked, this, [this] { ApplySelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    resize(4 * (kThumbWidth + 24) + 60, 2 * (kThumbHeight + 64) + 190);
    reload(QString());
}

void TemplateDialog::reload(const QString &select)
{
    // The items point into the list of templates: they go before it changes,
    // without telling anyone of a choice that is about to go too.
    for (QListWidget *list : lists) {
        const QSignalBlocker quiet(list);
        list->clear();
    }
    templates = ListTemplates(programDir);
    for (std::size_t i = 0; i < templates.size(); ++i) {
        const TemplateFile &t = templates[i];
        QString text = titleOf(t);
        QString tip = t.meta.description;
        QImage thumb;
        try {
            const Objects layout = ReadTemplateCard(t.path);
            const QStringList out = LeftOutFields(layout);
            if (!out.isEmpty())
                text += QStringLiteral("\n(%1 なし)").arg(out.join(u'・'));
            thumb = TemplatePreview(card.Card(), layout, kThumbWidth);
        } catch (const CardError &e) {
            // Read when listed, gone or damaged since: said where it shows.
            text += QStringLiteral("\n(読めません)");
            tip = QString::fromUtf8(e.what());
        }
        // The chosen design keeps its own colours: only its caption is marked.
        if (!thumb.isNull()) {
            // A card is white: its edge shows where it ends on the white list.
            QPainter frame(&thumb);
            frame.setPen(QColor(0xB0, 0xB0, 0xB0));
            frame.drawRect(thumb.rect().adjusted(0, 0, -1, -1));
        }
        QIcon icon;
        const QPixmap pixmap = QPixmap::fromImage(thumb);
        icon.addPixmap(pixmap, QIcon::Normal);
        icon.addPixmap(pixmap, QIcon::Selected);
        auto *item = new QListWidgetItem(icon, text);
        item->setData(Qt::UserRole, static_cast<int>(i));
        item->setToolTip(tip);
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        List(t.meta.group)->addItem(item);
    }
    for (QListWidget *list : lists) {
        if (list->count() && !list->currentItem())
            list->setCurrentRow(0);
        list->scrollToTop();
    }
    if (!select.isEmpty())
        Select(select);
    chosenChanged();
}

bool TemplateDialog::Select(const QString &name)
{
    for (QListWidget *list : lists)
        for (int row = 0; row < list->count(); ++row) {
            const int i = list->item(row)->data(Qt::UserRole).toInt();
            if (templates[static_cast<std::size_t>(i)].name == name) {
                tGroups->setCurrentWidget(list);
                list->setCurrentRow(row);
                return true;
            }
        }
    return false;
}

const TemplateFile *TemplateDialog::chosen() const
{
    const auto *list = qobject_cast<QListWidget *>(tGroups->currentWidget());
    const QListWidgetItem *item = list ? list->currentItem() : nullptr;
    const auto i = item ? static_cast<std::size_t>(item->data(Qt::UserRole).toInt()) : 0;
    return item && i < templates.size() ? &templates[i] : nullptr;
}

void TemplateDialog::chosenChanged()
{
    const TemplateFile *t = chosen();
    bApply->setEnabled(t);
    bRename->setEnabled(t && t->own);
    bDelete->setEnabled(t && t->own);
    const bool ownTab = tGroups->currentWidget() == List(TemplateGroup::Own);
    if (t)
        lDescription->setText(
            QStringLiteral("<b>%1</b>　%2")
                .arg(titleOf(*t).toHtmlEscaped(), t->meta.description.toHtmlEscaped()));
    else if (ownTab)
        lDescription->setText(
            QStringLiteral("「このカードをテンプレートとして保存…」で、今のカードのデザインが"
                           "ここに入ります (%1)。")
                .arg(QDir::toNativeSeparators(OwnTemplateFolder()).toHtmlEscaped()));
    else
        lDescription->clear();
}

void TemplateDialog::ApplySelected()
{
    const TemplateFile *t = chosen();
    if (!t)
        return;
    try {
        card.ApplyTemplate(ReadTemplateCard(t->path), titleOf(*t), !HasFieldData(card.Card()));
    } catch (const CardError &e) {
        dialogs.ShowError(this, QString::fromUtf8(e.what()));
        return;
    }
    accept();
}

void TemplateDialog::RenameSelected()
{
    const TemplateFile *t = chosen();
    if (!t || !t->own)
        return;
    const std::optional<QString> title = dialogs.AskText(
        this, QStringLiteral("名前の変更"), QStringLiteral("テンプレートの名前:"), titleOf(*t));
    if (!title || title->trimmed().isEmpty() || *title == titleOf(*t))
        return;
    const QString path = QDir(QFileInfo(t->path).absolutePath()).filePath(TemplateFileName(*title));
    try {
        if (QFileInfo::exists(path) && QFileInfo(path) != QFileInfo(t->path))
            throw FileError(path, QStringLiteral("同じ名前のテンプレートがあります"),
                            QStringLiteral("同じ名前のテンプレートがあります"));
        Objects copy = ReadTemplateCard(t->path);
        TemplateMeta meta = ReadTemplateMeta(copy);
        meta.title = title->trimmed();
        meta.group = TemplateGroup::Own;
        MakeTemplateCard(copy, meta, true);
        MemoryStream s;
        SaveCard(&s, copy);
        files::WriteWholeFile(path, s.Data());
        if (QFileInfo(path) != QFileInfo(t->path) && !QFile::remove(t->path))
            dialogs.ShowError(
                this,
                QStringLiteral("%1 を消せませんでした").arg(QDir::toNativeSeparators(t->path)));
    } catch (const CardError &e) {
        dialogs.ShowError(this, QString::fromUtf8(e.what()));
        return;
    }
    reload(QFileInfo(path).completeBaseName());
}

void TemplateDialog::DeleteSelected()
{
    const TemplateFile *t = chosen();
    if (!t || !t->own)
        return;
    if (dialogs.AskYesNoCancel(
            this, QStringLiteral("テンプレート「%1」を削除しますか？").arg(titleOf(*t)),
            QStringLiteral("Plakuro")) != Dialogs::Answer::Yes)
        return;
    if (!QFile::remove(t->path))
        dialogs.ShowError(
            this,
            QStringLiteral("%1 を削除できませんでした").arg(QDir::toNativeSeparators(t->path)));
    reload(QString());
    tGroups->setCurrentWidget(List(TemplateGroup::Own));
}

void TemplateDialog::SaveCurrent()
{
    const QString name = SaveCardAsTemplate(this, card, dialogs);
    if (!name.isEmpty())
        reload(name);
}

QString SaveCardAsTemplate(QWidget *parent, const EditSession &card, Dialogs &dialogs)
{
    Dialogs::TemplateDetails details;
    details.title = ReadTemplateMeta(card.Card()).title;
    if (!dialogs.AskTemplateDetails(parent, details) || details.title.trimmed().isEmpty())
        return QString();
    const QString folder = OwnTemplateFolder();
    const QString path = QDir(folder).filePath(TemplateFileName(details.title));
    if (QFileInfo::exists(path) &&
        dialogs.AskYesNoCancel(parent,
                               QStringLiteral("テンプレート「%1」はもうあります。置き換えますか？")
                                   .arg(details.title.trimmed()),
                               QStringLiteral("Plakuro")) != Dialogs::Answer::Yes)
        return QString();
    try {
        if (!QDir().mkpath(folder))
            throw FileError(folder, QStringLiteral("フォルダ %1 を作れません").arg(folder),
                            QStringLiteral("フォルダを作れません"));
        const TemplateMeta meta{details.title.trimmed(), TemplateGroup::Own,
                                details.description.trimmed()};
        files::WriteWholeFile(path, templateBytes(card, meta, details.withData));
    } catch (const CardError &e) {
        dialogs.ShowError(parent, QString::fromUtf8(e.what()));
        return QString();
    }
    return QFileInfo(path).completeBaseName();
}
