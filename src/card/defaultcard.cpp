#include "card/defaultcard.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"

#include <memory>

// Heights: 16 points -> -21, 14 -> -19, 12 -> -16 at 96 dots per inch.
const std::array<FieldInfo, 14> kFields = {{
    // key, caption, header, QR label (Shift-JIS), top, height, order, edit's top
    {"eName", "名前", nullptr, "\x96\xBC\x91\x4F\x3A", 40, -21, 15, 44}, // 名前:
    {"eFuri", "ふりがな", nullptr, "\x83\x74\x83\x8A\x83\x4B\x83\x69\x3A", 70, -19, 14,
     68},                                                                           // フリガナ:
    {"eCorp", "会社名", nullptr, "\x89\xEF\x8E\xD0\x96\xBC\x3A", 100, -21, 13, 90}, // 会社名:
    {"eBusho", "部署", nullptr, "\x95\x94\x8F\x90\x3A", 130, -16, 12, 112},         // 部署:
    {"eYaku", "役職", nullptr, "\x96\xF0\x90\x45\x3A", 160, -16, 11, 136},          // 役職:
    {"ePostNo", "〒", "〒", "\x81\xA7\x3A", 190, -16, 10, 158},                     // 〒:
    {"eAddress", "住所", nullptr, "\x8F\x5A\x8F\x8A\x3A", 220, -16, kAddressOrder, 182}, // 住所:
    {"eTel", "電話", "TEL ", "\x93\x64\x98\x62\x3A", 250, -16, 9, 204},                  // 電話:
    {"eMobile", "携帯電話", "携帯 ", "\x8C\x67\x91\xD1\x3A", 280, -16, 8, 228},          // 携帯:
    {"eFax", "FAX", "FAX ", "FAX:", 310, -16, 7, 250},
    {"eURL", "URL", "URL http://", "URL:http://", 340, -16, 6, 274},
    {"eMail", "E-Mail", "E-mail ", "E-Mail:", 370, -16, 5, 297},
    {"eMemo1", "メモ1", nullptr, nullptr, 400, -16, 4, 321},
    {"eMemo2", "メモ2", nullptr, nullptr, 430, -16, 3, 343},
}};

namespace {

struct PictureRow
{
    const char *key;
    int order;
};
const PictureRow kPictureRows[] = {{kPictureKey, 2}, {kQrKey, 16}, {kBackPictureKey, 1}};

std::unique_ptr<Object> makeText(const FieldInfo &row)
{
    const TRect r{140, row.top, 0, 0};
    std::unique_ptr<TextObject> obj;
    if (row.header)
        obj = std::make_unique<TextObjectWithHeader>(sjis::fromUtf8(row.header), r);
    else
        obj = std::make_unique<TextObject>(r);
    Font f;
    obj->GetFont(f);
    f.height = row.fontHeight;
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
    for (const FieldInfo &row : kFields)
        card[row.key] = makeText(row);
    for (const PictureRow &row : kPictureRows)
        card[row.key] = makePicture(row);
}

int RepairCard(Objects &card)
{
    int replaced = 0;
    // A text field works with either text class, so a file that stores a
    // plain text object where the default has a header keeps its text.
    auto repair = [&](const char *key, bool text, std::unique_ptr<Object> fresh) {
        std::unique_ptr<Object> &slot = card[key];
        if (slot && (text ? dynamic_cast<TextObject *>(slot.get()) != nullptr
                          : dynamic_cast<GraphicObject *>(slot.get()) != nullptr))
            return;
        slot = std::move(fresh);
        ++replaced;
    };
    for (const FieldInfo &row : kFields)
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
