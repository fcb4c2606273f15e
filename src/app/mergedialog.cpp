#include "app/mergedialog.h"
#include "app/dialogs.h"
#include "app/printing.h"

#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/printcheck.h"
#include "editor/geometry.h"
#include "editor/session.h"
#include "merge/memory.h"
#include "merge/mergecards.h"
#include "merge/pages.h"
#include "print/pdffile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The preview's card, a little larger than the card's size on screen.
constexpr int kPreviewWidth = 364;
constexpr int kPreviewHeight = 220;
// Rows the print check takes on each turn while the dialog waits.
constexpr int kRowsPerCheck = 25;

const QColor kWarning(0xFF, 0xE0, 0xE0);

std::unique_ptr<EditSession> sessionFrom(const QByteArray &bytes)
{
    auto s = std::make_unique<EditSession>();
    s->LoadBytes(bytes);
    s->FillFieldsFromCard();
    return s;
}

} // namespace

MergeDialog::MergeDialog(QWidget *parent, EditSession &card, QPrinter &printer, Dialogs &dialogs)
    : QDialog(parent), card(card), printer(printer), dialogs(dialogs),
      check(std::make_unique<PrintCheck>())
{
    build();
    resetCards();
    ShowRow(-1);
    const MergeMemory memory = ReadMergeMemory(card.Card());
    cMixed->setChecked(memory.mixed);
    // The list the card was last merged with, if it is still there.
    if (!memory.list.isEmpty() && QFileInfo(memory.list).isFile()) {
        try {
            if (LoadList(memory.list, memory.sheet))
                for (const auto &[name, target] : memory.chosen)
                    for (int c = 0; c < header.cells.size(); ++c)
                        if (header.cells[c].trimmed() == name)
                            ChooseTarget(c, target);
        } catch (const std::exception &) {
            // A list that changed since is simply not shown.
        }
    }
}

MergeDialog::~MergeDialog() = default;

void MergeDialog::build()
{
    setObjectName("MergeDialog");
    setWindowTitle(QStringLiteral("差し込み印刷"));
    resize(900, 720);
    auto *top = new QVBoxLayout(this);

    auto *listRow = new QHBoxLayout;
    listRow->addWidget(new QLabel(QStringLiteral("名簿:")));
    eList = new QLineEdit;
    eList->setObjectName("eList");
    eList->setReadOnly(true);
    eList->setPlaceholderText(
        QStringLiteral("CSV、Excel (.xlsx)、OpenDocument (.ods) の名簿を選びます"));
    listRow->addWidget(eList, 1);
    bList = new QPushButton(QStringLiteral("名簿を開く…"));
    bList->setObjectName("bList");
    listRow->addWidget(bList);
    lSheet = new QLabel(QStringLiteral("シート:"));
    listRow->addWidget(lSheet);
    cSheet = new QComboBox;
    cSheet->setObjectName("cSheet");
    cSheet->setMinimumContentsLength(10);
    listRow->addWidget(cSheet);
    lSheet->setVisible(false);
    cSheet->setVisible(false);
    top->addLayout(listRow);

    auto *middle = new QHBoxLayout;
    auto *columnsBox = new QGroupBox(QStringLiteral("列と項目"));
    auto *columnsLayout = new QVBoxLayout(columnsBox);
    gColumns = new QTableWidget(0, 2);
    gColumns->setObjectName("gColumns");
    gColumns->setHorizontalHeaderLabels({QStringLiteral("列"), QStringLiteral("差し込む項目")});
    gColumns->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    gColumns->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    gColumns->verticalHeader()->setVisible(false);
    gColumns->setSelectionMode(QAbstractItemView::NoSelection);
    gColumns->setMinimumWidth(300);
    columnsLayout->addWidget(gColumns);
    cKeepEmpty = new QCheckBox(QStringLiteral("空のセルはひな形の文字のままにする"));
    cKeepEmpty->setObjectName("cKeepEmpty");
    columnsLayout->addWidget(cKeepEmpty);
    lCleared = new QLabel;
    lCleared->setObjectName("lCleared");
    lCleared->setWordWrap(true);
    columnsLayout->addWidget(lCleared);
    middle->addWidget(columnsBox, 2);

    auto *rowsBox = new QGroupBox(QStringLiteral("人"));
    auto *rowsLayout = new QVBoxLayout(rowsBox);
    gRows = new QTableWidget(0, 3);
    gRows->setObjectName("gRows");
    gRows->setHorizontalHeaderLabels(
        {QStringLiteral("行"), QStringLiteral("名前"), QStringLiteral("注意")});
    gRows->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    gRows->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    gRows->horizontalHeader()->setStretchLastSection(true);
    gRows->verticalHeader()->setVisible(false);
    gRows->setSelectionBehavior(QAbstractItemView::SelectRows);
    gRows->setSelectionMode(QAbstractItemView::SingleSelection);
    gRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gRows->setMinimumWidth(340);
    rowsLayout->addWidget(gRows);
    lSummary = new QLabel;
    lSummary->setObjectName("lSummary");
    rowsLayout->addWidget(lSummary);
    middle->addWidget(rowsBox, 3);
    top->addLayout(middle, 1);

    auto *previewBox = new QGroupBox(QStringLiteral("プレビュー (赤い枠: はみ出しや重なり)"));
    auto *previewLayout = new QGridLayout(previewBox);
    lFront = new QLabel;
    lFront->setObjectName("lFront");
    lFront->setFixedSize(kPreviewWidth + 2, kPreviewHeight + 2);
    lFront->setFrameStyle(QFrame::Box);
    lBack = new QLabel;
    lBack->setObjectName("lBack");
    lBack->setFixedSize(kPreviewWidth + 2, kPreviewHeight + 2);
    lBack->setFrameStyle(QFrame::Box);
    previewLayout->addWidget(new QLabel(QStringLiteral("表")), 0, 0);
    previewLayout->addWidget(new QLabel(QStringLiteral("裏")), 0, 1);
    previewLayout->addWidget(lFront, 1, 0);
    previewLayout->addWidget(lBack, 1, 1);
    auto *stepRow = new QHBoxLayout;
    bPrev = new QToolButton;
    bPrev->setObjectName("bPrev");
    bPrev->setText(QStringLiteral("◀"));
    bPrev->setToolTip(QStringLiteral("前の人"));
    bNext = new QToolButton;
    bNext->setObjectName("bNext");
    bNext->setText(QStringLiteral("▶"));
    bNext->setToolTip(QStringLiteral("次の人"));
    lRow = new QLabel;
    lRow->setObjectName("lRow");
    stepRow->addWidget(bPrev);
    stepRow->addWidget(lRow);
    stepRow->addWidget(bNext);
    stepRow->addStretch(1);
    previewLayout->addLayout(stepRow, 2, 0, 1, 2);
    top->addWidget(previewBox);

    auto *bottom = new QHBoxLayout;
    cMixed = new QCheckBox(QStringLiteral("混在 (1 枚の用紙に 10 人)"));
    cMixed->setObjectName("cMixed");
    cMixed->setToolTip(QStringLiteral(
        "チェックなし: 1 人ごとに 10 枚の用紙 1 ページ。チェックあり: 10 人で 1 ページ"));
    bottom->addWidget(cMixed);
    bottom->addStretch(1);
    bPrint = new QPushButton(QStringLiteral("印刷…"));
    bPrint->setObjectName("bPrint");
    bPdf = new QPushButton(QStringLiteral("PDF に保存…"));
    bPdf->setObjectName("bPdf");
    auto *bClose = new QPushButton(QStringLiteral("閉じる"));
    bClose->setObjectName("bClose");
    bottom->addWidget(bPrint);
    bottom->addWidget(bPdf);
    bottom->addWidget(bClose);
    top->addLayout(bottom);

    checkTimer = new QTimer(this);
    checkTimer->setInterval(0);
    connect(checkTimer, &QTimer::timeout, this, [this] { checkSomeRows(); });
    connect(bList, &QPushButton::clicked, this, [this] { chooseList(); });
    connect(cSheet, &QComboBox::activated, this, [this](int i) { loadSheet(i); });
    connect(gRows, &QTableWidget::currentCellChanged, this, [this](int row) { ShowRow(row); });
    connect(gRows, &QTableWidget::itemChanged, this, [this] { updateSummary(); });
    connect(bPrev, &QToolButton::clicked, this, [this] {
        if (current > 0)
            gRows->setCurrentCell(current - 1, 0);
    });
    connect(bNext, &QToolButton::clicked, this, [this] {
        if (current + 1 < static_cast<int>(rows.size()))
            gRows->setCurrentCell(current + 1, 0);
    });
    connect(cKeepEmpty, &QCheckBox::toggled, this, [this] {
        resetCards();
        ShowRow(current);
    });
    connect(bPrint, &QPushButton::clicked, this, [this] { Print(); });
    connect(bPdf, &QPushButton::clicked, this, [this] {
        Dialogs::FileDialog fd{QStringLiteral("PDF (*.pdf)|*.pdf"), QStringLiteral(".pdf"),
                               QFileInfo(listPath).absolutePath(),
                               QFileInfo(listPath).completeBaseName() + QStringLiteral(".pdf")};
        if (const std::optional<QString> path = dialogs.SaveFile(this, fd))
            SavePdf(*path);
    });
    connect(bClose, &QPushButton::clicked, this, &QDialog::reject);
}

bool MergeDialog::guardedRun(const std::function<bool()> &run)
{
    try {
        return run();
    } catch (const std::bad_alloc &) {
        dialogs.ShowError(this, QStringLiteral("メモリが足りません"));
    } catch (const std::exception &e) {
        dialogs.ShowError(this, QString::fromUtf8(e.what()));
    }
    return false;
}

void MergeDialog::chooseList()
{
    Dialogs::FileDialog fd{
        QStringLiteral("名簿 (*.csv;*.xlsx;*.ods)|*.csv;*.xlsx;*.ods|CSV (*.csv)|*.csv|"
                       "Excel (*.xlsx)|*.xlsx|OpenDocument (*.ods)|*.ods|すべてのファイル (*)|*"),
        QString(), listPath.isEmpty() ? QString() : QFileInfo(listPath).absolutePath(), QString(),
        true};
    if (const std::optional<QString> path = dialogs.OpenFile(this, fd))
        LoadList(*path);
}

void MergeDialog::loadSheet(int index)
{
    if (index >= 0 && index < sheets.size() && sheets[index] != sheetName)
        LoadList(listPath, sheets[index]);
}

bool MergeDialog::LoadList(const QString &path, const QString &sheet)
{
    return guardedRun([&] {
        QStringList names = ListSheetNames(path);
        const std::unique_ptr<ListReader> reader = OpenList(path, sheet);
        ListRow head;
        if (!reader->Next(head))
            throw ListError(path, QStringLiteral("列名の行がありません"));
        std::vector<ListRow> read;
        ListRow row;
        while (reader->Next(row))
            read.push_back(row);
        if (read.empty())
            throw ListError(path, QStringLiteral("列名の行のあとに人の行がありません"));
        listPath = QFileInfo(path).absoluteFilePath();
        sheetName = sheet;
        sheets = std::move(names);
        header = std::move(head);
        rows = std::move(read);
        eList->setText(QDir::toNativeSeparators(listPath));
        cSheet->clear();
        cSheet->addItems(sheets);
        cSheet->setCurrentIndex(sheet.isEmpty() ? 0 : static_cast<int>(sheets.indexOf(sheet)));
        lSheet->setVisible(!sheets.isEmpty());
        cSheet->setVisible(!sheets.isEmpty());
        automatic.clear();
        for (const QString &name : header.cells)
            automatic.push_back(
                ::ChooseTarget(name.trimmed(), front->Card(), back ? &back->Card() : nullptr));
        // A second column for the same target fills nothing, as in the tool.
        for (std::size_t c = 0; c < automatic.size(); ++c)
            for (std::size_t d = 0; d < c; ++d)
                if (automatic[c].Used() && automatic[d] == automatic[c])
                    automatic[c] = {};
        targets = automatic;
        resetCards();
        fillColumnTable();
        fillRowTable();
        return true;
    });
}

void MergeDialog::resetCards()
{
    // The filler puts its template back into the cards it was given: it
    // goes before they do.
    cards.reset();
    front = sessionFrom(card.SaveBytes());
    back.reset();
    const QString backFile = card.Space().back.file;
    if (!backFile.isEmpty()) {
        try {
            back = sessionFrom(files::ReadWholeFile(backFile, files::kCardFileLimit));
        } catch (const std::exception &e) {
            dialogs.ShowError(
                this, QStringLiteral("裏面のカード %1 を読めません: %2\n表だけを印刷します。")
                          .arg(backFile, QString::fromUtf8(e.what())));
        }
    }
    lBack->setEnabled(back != nullptr);
    choices = MergeChoices(front->Card(), back ? &back->Card() : nullptr);
    MergeSetup setup;
    setup.columns = targets;
    setup.keepEmpty = cKeepEmpty->isChecked();
    setup.folder = QFileInfo(listPath).absolutePath();
    cards = std::make_unique<MergeCards>(*front, back.get(), setup);
    const QStringList cleared = cards->Cleared();
    lCleared->setText(cleared.isEmpty()
                          ? QString()
                          : QStringLiteral("名簿に列がないので空にする、ひな形の人の項目: ") +
                                cleared.join(QStringLiteral("、")));
    problems.assign(rows.size(), QStringList());
    checkedUpTo = 0;
    if (!rows.empty())
        checkTimer->start();
}

void MergeDialog::fillColumnTable()
{
    const QSignalBlocker block(gColumns);
    gColumns->setRowCount(static_cast<int>(header.cells.size()));
    for (int c = 0; c < header.cells.size(); ++c) {
        auto *name = new QTableWidgetItem(header.cells[c]);
        name->setFlags(Qt::ItemIsEnabled);
        gColumns->setItem(c, 0, name);
        auto *box = new QComboBox;
        box->addItem(QStringLiteral("使わない"));
        int chosen = 0;
        for (std::size_t k = 0; k < choices.size(); ++k) {
            box->addItem(choices[k].label);
            if (choices[k].target == targets[static_cast<std::size_t>(c)])
                chosen = static_cast<int>(k) + 1;
        }
        box->setCurrentIndex(chosen);
        connect(box, &QComboBox::activated, this, [this, c](int i) { targetChanged(c, i); });
        gColumns->setCellWidget(c, 1, box);
    }
}

void MergeDialog::fillRowTable()
{
    const QSignalBlocker block(gRows);
    gRows->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        auto *number = new QTableWidgetItem(QString::number(rows[r].line));
        number->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        number->setCheckState(Qt::Checked);
        gRows->setItem(static_cast<int>(r), 0, number);
        auto *name = new QTableWidgetItem(cards->Person(rows[r]));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        gRows->setItem(static_cast<int>(r), 1, name);
        auto *note = new QTableWidgetItem;
        note->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        gRows->setItem(static_cast<int>(r), 2, note);
    }
    current = -1;
    if (!rows.empty())
        gRows->setCurrentCell(0, 0);
    ShowRow(rows.empty() ? -1 : 0);
    updateSummary();
}

void MergeDialog::ChooseTarget(int column, const MergeTarget &target)
{
    if (column < 0 || column >= static_cast<int>(targets.size()))
        return;
    int choice = 0;
    for (std::size_t k = 0; k < choices.size(); ++k)
        if (choices[k].target == target)
            choice = static_cast<int>(k) + 1;
    if (auto *box = qobject_cast<QComboBox *>(gColumns->cellWidget(column, 1)))
        box->setCurrentIndex(choice);
    targetChanged(column, choice);
}

void MergeDialog::targetChanged(int column, int choice)
{
    const MergeTarget t =
        choice <= 0 ? MergeTarget{} : choices[static_cast<std::size_t>(choice - 1)].target;
    // One column a target: the one that had it gives it up.
    for (std::size_t c = 0; c < targets.size(); ++c)
        if (static_cast<int>(c) != column && t.Used() && targets[c] == t) {
            targets[c] = {};
            if (auto *box = qobject_cast<QComboBox *>(gColumns->cellWidget(static_cast<int>(c), 1)))
                box->setCurrentIndex(0);
        }
    targets[static_cast<std::size_t>(column)] = t;
    resetCards();
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (QTableWidgetItem *name = gRows->item(static_cast<int>(r), 1))
            name->setText(cards->Person(rows[r]));
    ShowRow(current);
}

void MergeDialog::checkSomeRows()
{
    const int end = std::min(checkedUpTo + kRowsPerCheck, static_cast<int>(rows.size()));
    guardedRun([&] {
        for (; checkedUpTo < end; ++checkedUpTo) {
            cards->Apply(rows[static_cast<std::size_t>(checkedUpTo)]);
            showProblems(checkedUpTo, cards->Problems());
        }
        return true;
    });
    if (checkedUpTo >= static_cast<int>(rows.size())) {
        checkTimer->stop();
        updateSummary();
    }
}

void MergeDialog::CheckAllRows()
{
    while (checkTimer->isActive())
        checkSomeRows();
}

void MergeDialog::showProblems(int index, const QStringList &found)
{
    problems[static_cast<std::size_t>(index)] = found;
    const QSignalBlocker block(gRows);
    if (QTableWidgetItem *note = gRows->item(index, 2)) {
        note->setText(found.join(QStringLiteral("、")));
        note->setToolTip(found.join(u'\n'));
        for (int c = 0; c < 3; ++c)
            if (QTableWidgetItem *item = gRows->item(index, c))
                item->setBackground(found.isEmpty() ? QBrush() : QBrush(kWarning));
    }
}

QImage MergeDialog::previewImage(EditSession &session)
{
    const DrawingOrder order = MakeDrawingOrder(session.Card());
    QImage image = RenderCardImage(order, kPreviewWidth, kPreviewHeight);
    QPainter p(&image);
    p.setPen(QPen(QColor(0xE0, 0x20, 0x20), 2));
    p.setBrush(Qt::NoBrush);
    // One factor for both axes, as the card image is drawn.
    const double sx = static_cast<double>(kPreviewWidth) / geometry::kCardWidth;
    const double sy = sx;
    for (const PrintFinding &f : check->Findings(order))
        for (const TextObject *line : {f.line, f.other})
            if (line) {
                const TRect ink = check->PrintedInk(*line);
                p.drawRect(QRectF(ink.left * sx - 1, ink.top * sy - 1,
                                  (ink.right - ink.left) * sx + 2,
                                  (ink.bottom - ink.top) * sy + 2));
            }
    return image;
}

void MergeDialog::ShowRow(int index)
{
    const bool any = index >= 0 && index < static_cast<int>(rows.size());
    current = any ? index : -1;
    bPrev->setEnabled(any && index > 0);
    bNext->setEnabled(any && index + 1 < static_cast<int>(rows.size()));
    bPrint->setEnabled(!rows.empty());
    bPdf->setEnabled(!rows.empty());
    guardedRun([&] {
        if (any)
            cards->Apply(rows[static_cast<std::size_t>(index)]);
        frontImage = previewImage(*front);
        backImage = back ? previewImage(*back) : QImage();
        if (any)
            showProblems(index, cards->Problems());
        return true;
    });
    lFront->setPixmap(QPixmap::fromImage(frontImage));
    if (back)
        lBack->setPixmap(QPixmap::fromImage(backImage));
    else
        lBack->setText(QStringLiteral("裏面なし (印刷オプションで裏面のカードを選べます)"));
    lRow->setText(any ? QStringLiteral("%1 / %2 人目 (%3 行目)")
                            .arg(index + 1)
                            .arg(rows.size())
                            .arg(rows[static_cast<std::size_t>(index)].line)
                      : QStringLiteral("名簿を開いてください"));
}

bool MergeDialog::checked(qint64 number) const
{
    const QTableWidgetItem *item = gRows->item(static_cast<int>(number - 1), 0);
    return item && item->checkState() == Qt::Checked;
}

void MergeDialog::updateSummary()
{
    int chosen = 0, warned = 0;
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        chosen += checked(r + 1) ? 1 : 0;
        warned += problems[static_cast<std::size_t>(r)].isEmpty() ? 0 : 1;
    }
    QString text = QStringLiteral("%1 人のうち %2 人を印刷します").arg(rows.size()).arg(chosen);
    if (checkedUpTo < static_cast<int>(rows.size()))
        text += QStringLiteral("。確かめています…");
    else if (warned > 0)
        text += QStringLiteral("。注意のある人: %1").arg(warned);
    lSummary->setText(text);
    bPrint->setEnabled(chosen > 0);
    bPdf->setEnabled(chosen > 0);
}

bool MergeDialog::drawPages(const MergePageTarget &target)
{
    qint64 total = 0;
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        total += checked(r + 1) ? 1 : 0;
    // The cards afresh, as the tool draws them.
    checkTimer->stop();
    resetCards();
    checkTimer->stop();
    const std::unique_ptr<ListReader> reader = OpenList(listPath, sheetName);
    ListRow head;
    reader->Next(head);
    QProgressDialog progress(QStringLiteral("差し込み印刷しています…"),
                             QStringLiteral("キャンセル"), 0, static_cast<int>(total), this);
    progress.setObjectName("MergeProgress");
    progress.setWindowTitle(QStringLiteral("差し込み印刷"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    MergeSheets sheets{card.Space(), cMixed->isChecked(), back != nullptr};
    const bool done = DrawMergePages(
        *cards, *front, back.get(), *reader, sheets, target,
        [this](const ListRow &, qint64 number) { return checked(number); },
        [&](const ListRow &, qint64 n) {
            progress.setValue(static_cast<int>(n));
            return !progress.wasCanceled();
        });
    progress.setValue(static_cast<int>(total));
    // The check starts again for the preview's sake.
    resetCards();
    ShowRow(current);
    return done;
}

bool MergeDialog::SavePdf(const QString &path)
{
    const bool saved = guardedRun([&] {
        PdfFile pdf(path, QPageSize(QPageSize::A4), kSheetPdfDpi);
        MergePageTarget target;
        target.painter = [&]() -> QPainter & { return pdf.Painter(); };
        target.prepareDpi = pdf.Resolution();
        target.dev = SheetDevice{kSheetPdfDpi, kSheetPdfDpi, 0, 0};
        target.page = pdf.PageSize();
        target.paper = pdf.PageSize();
        target.newPage = [&] { pdf.NewPage(); };
        if (!drawPages(target))
            return false; // the file is dropped with `pdf`
        pdf.Finish();
        return true;
    });
    if (saved)
        remember();
    return saved;
}

bool MergeDialog::Print()
{
    if (!card.Space().back.file.isEmpty())
        printer.setDuplex(card.Space().back.shortEdge ? QPrinter::DuplexShortSide
                                                      : QPrinter::DuplexLongSide);
    if (!dialogs.PrinterSetup(this, printer))
        return false;
    const bool sent = guardedRun([&] {
        return PrintPages(printer, [&](const MergePageTarget &t) { return drawPages(t); });
    });
    if (sent)
        remember();
    return sent;
}

void MergeDialog::remember()
{
    MergeMemory m;
    m.list = listPath;
    m.sheet = sheetName;
    m.mixed = cMixed->isChecked();
    for (std::size_t c = 0; c < targets.size(); ++c)
        if (!(targets[c] == automatic[c]))
            m.chosen.emplace_back(header.cells[static_cast<qsizetype>(c)].trimmed(), targets[c]);
    guardedRun([&] {
        card.SetHiddenRecords(kMergeRecordPrefix, MergeMemoryRecords(m),
                              QStringLiteral("差し込み印刷の設定"));
        return true;
    });
}
