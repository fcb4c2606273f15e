#include "card/defaultcard.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"

#include <memory>

const std::array<FieldInfo, 14> kFields = {{
    {"eName", "名前"},
    {"eFuri", "ふりがな"},
    {"eCorp", "会社名"},
    {"eBusho", "部署"},
    {"eYaku", "役職"},
    {"ePostNo", "〒"},
    {"eAddress", "住所"},
    {"eTel", "電話"},
    {"eMobile", "携帯電話"},
    {"eFax", "FAX"},
    {"eURL", "URL"},
    {"eMail", "E-Mail"},
    {"eMemo1", "メモ1"},
    {"eMemo2", "メモ2"},
}};

namespace {

struct TextRow
{
    const char *key;
    int top;
    const char *header; // UTF-8; null for a plain TextObject
    int height;         // stored font height
    int order;
};

// Heights: 16 points -> -21, 14 -> -19, 12 -> -16 at 96 dots per inch.
const TextRow kTextRows[] = {
    {"eName", 40, nullptr, -21, 15},
    {"eFuri", 70, nullptr, -19, 14},
    {"eCorp", 100, nullptr, -21, 13},
    {"eBusho", 130, nullptr, -16, 12},
    {"eYaku", 160, nullptr, -16, 11},
    {"ePostNo", 190, "〒", -16, 10},
    {"eAddress", 220, nullptr, -16, kAddressOrder},
    {"eTel", 250, "TEL ", -16, 9},
    {"eMobile", 280, "携帯 ", -16, 8},
    {"eFax", 310, "FAX ", -16, 7},
    {"eURL", 340, "URL http://", -16, 6},
    {"eMail", 370, "E-mail ", -16, 5},
    {"eMemo1", 400, nullptr, -16, 4},
    {"eMemo2", 430, nullptr, -16, 3},
};

struct PictureRow
{
    const char *key;
    int order;
};
const PictureRow kPictureRows[] = {{kPictureKey, 2}, {kQrKey, 16}, {kBackPictureKey, 1}};

std::unique_ptr<Object> makeText(const TextRow &row)
{
    const TRect r{140, row.top, 0, 0};
    std::unique_ptr<TextObject> obj;
    if (row.header)
        obj = std::make_unique<TextObjectWithHeader>(sjis::fromUtf8(row.header), r);
    else
        obj = std::make_unique<TextObject>(r);
    Font f;
    obj->GetFont(f);
    f.height = row.height;
    obj->SetFont(f);
    obj->SetOrder(row.order);
    return obj;
}

std::unique_ptr<Object> makePicture(const PictureRow &row)
{
    auto obj = std::make_unique<GraphicObject>();
    obj->SetVisible(false);
    obj->SetOrder(row.order);
    return obj;
}

} // namespace

void BuildDefaultCard(Objects &card)
{
    for (const TextRow &row : kTextRows)
        card[row.key] = makeText(row).release();
    for (const PictureRow &row : kPictureRows)
        card[row.key] = makePicture(row).release();
}

int RepairCard(Objects &card)
{
    int replaced = 0;
    // A text field works with either text class, so a file that stores a
    // plain text object where the default has a header keeps its text.
    auto repair = [&](const char *key, bool text, std::unique_ptr<Object> fresh) {
        Object *&slot = card[key];
        if (slot && (text ? dynamic_cast<TextObject *>(slot) != nullptr
                          : dynamic_cast<GraphicObject *>(slot) != nullptr))
            return;
        delete slot;
        slot = fresh.release();
        ++replaced;
    };
    for (const TextRow &row : kTextRows)
        repair(row.key, true, makeText(row));
    for (const PictureRow &row : kPictureRows)
        repair(row.key, false, makePicture(row));
    return replaced;
}

std::string FieldKeyFor(const std::string &utf8Name)
{
    for (const FieldInfo &f : kFields)
        if (utf8Name == f.key || utf8Name == f.caption)
            return f.key;
    return {};
}
