#include "app/dialogs.h"
#include "app/fontdialog.h"
#include "card/sjis.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

Font storedFont(const char *face, int height)
{
    Font f;
    f.name = sjis::fromUtf8(face);
    f.height = height;
    f.italic = true;
    f.underline = true; // the dialog has no say over it
    return f;
}

int row(const QListWidget *list, const QString &text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text)
            return i;
    return -1;
}

} // namespace

// Opened on a card's font and confirmed as it opened, the dialog gives the
// same stored font back: the face by its own bytes (also one not installed),
// the height also where points round, a cell height too.
TEST(FontDialog, UnchangedOkKeepsTheStoredFont)
{
    const struct
    {
        const char *face;
        int height;
    } cases[] = {{"ＭＳ Ｐゴシック", -21},
                 {"ＭＳ 明朝", -13},
                 {"Noto Sans CJK JP", -16},
                 {"HG丸ｺﾞｼｯｸM-PRO", 33}};
    for (const auto &c : cases) {
        const Font stored = storedFont(c.face, c.height);
        TFontDialog dlg(DialogFontFor(stored));
        ASSERT_NE(dlg.lFamily->currentItem(), nullptr) << c.face;
        EXPECT_EQ(dlg.lFamily->currentItem()->text(), QString::fromUtf8(c.face));
        EXPECT_TRUE(dlg.bOK->isEnabled());
        EXPECT_EQ(fontFromQFont(dlg.SelectedFont(), stored), stored) << c.face;
    }
}

// The stored names come first under their own names, then the families that
// write Japanese, then the rest; choosing a stored name stores that name.
TEST(FontDialog, ChoosingAStoredNameStoresIt)
{
    const Font base = storedFont("Noto Sans CJK JP", -21);
    TFontDialog dlg(DialogFontFor(base));
    const QStringList top = TFontDialog::StoredFaces();
    for (int i = 0; i < top.size(); ++i)
        EXPECT_EQ(dlg.lFamily->item(i)->text(), top[i]);
    int lastJapanese = -1, firstOther = dlg.lFamily->count();
    for (int i = top.size(); i < dlg.lFamily->count(); ++i) {
        const QString family = dlg.lFamily->item(i)->text();
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese))
            lastJapanese = i;
        else
            firstOther = std::min(firstOther, i);
    }
    EXPECT_LT(lastJapanese, firstOther);
    EXPECT_GE(row(dlg.lFamily, QStringLiteral("IPAMincho")), top.size());

    dlg.lFamily->setCurrentRow(row(dlg.lFamily, QStringLiteral("ＭＳ 明朝")));
    dlg.cSize->setEditText(QStringLiteral("12"));
    dlg.cBold->setChecked(true);
    dlg.cItalic->setChecked(false);
    Font want = base;
    want.name = sjis::fromUtf8("ＭＳ 明朝");
    want.height = -16;
    want.bold = true;
    want.italic = false;
    const Font got = fontFromQFont(dlg.SelectedFont(), base);
    want.pitch = got.pitch; // as the face drawn says
    EXPECT_EQ(got, want);
    // The sample draws the choice as the card would.
    EXPECT_TRUE(dlg.lSample->font().bold());
    EXPECT_EQ(dlg.lSample->font().family(), QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(dlg.lSample->font().pixelSize(), 16);

    // A size that is no size cannot be confirmed.
    for (const char *bad : {"", "0", "abc", "1e3", "100000"}) {
        dlg.cSize->setEditText(QString::fromLatin1(bad));
        EXPECT_FALSE(dlg.bOK->isEnabled()) << bad;
    }
}
