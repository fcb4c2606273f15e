#include "card/cardfile.h"
#include "card/errors.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/objects.h"
#include "card/sjis.h"
#include "card/stream.h"

#include <algorithm>
#include <memory>
#include <vector>

bool WriteShortString(Stream *s, const std::string &text)
{
    const std::string bytes = sjis::truncate(text, kShortStringMax);
    s->WriteByte(static_cast<std::uint8_t>(bytes.size()));
    s->Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return true;
}

bool ReadShortString(Stream *s, std::string &out)
{
    const std::uint8_t n = s->ReadByte();
    char buf[255];
    s->Read(buf, n);
    std::size_t len = 0;
    while (len < n && buf[len] != '\0')
        ++len;
    out.assign(buf, len);
    return true;
}

void WriteObject(Stream *s, const Object *obj)
{
    WriteShortString(s, obj->GetClassName());
    obj->SaveToStream(s);
}

std::unique_ptr<Object> ReadObject(Stream *s)
{
    std::string tag;
    ReadShortString(s, tag);
    std::unique_ptr<Object> obj = MakeRecordObject(tag);
    if (!obj)
        throw ReadError("未知の種類の記録です (\"" + sjis::toUtf8(tag) + "\")");
    obj->LoadFromStream(s);
    return obj;
}

bool SaveCard(Stream *s, const Objects &card)
{
    WriteShortString(s, kCardMagic);
    // Every record in ascending key order, whichever object it keeps.
    std::vector<std::unique_ptr<Object>> made;
    std::vector<std::pair<std::string, const Object *>> records;
    for (const auto &[key, obj] : card) {
        // An entry made by a lookup holds no object and has no record.
        if (!obj)
            continue;
        for (auto &record : FileRecords(key, *obj, made))
            records.push_back(std::move(record));
    }
    std::stable_sort(records.begin(), records.end(), [](const auto &a, const auto &b) {
        return std::lexicographical_compare(
            a.first.begin(), a.first.end(), b.first.begin(), b.first.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            });
    });
    for (const auto &[key, obj] : records) {
        WriteShortString(s, key);
        WriteObject(s, obj);
    }
    return true;
}

bool LoadCard(Stream *s, Objects &card)
{
    std::string magic;
    ReadShortString(s, magic);
    if (magic != kCardMagic)
        return false;

    // Read into a collection of our own, so a damaged record cannot cost the
    // caller the card it has.
    Objects read;

    for (;;) {
        std::string key;
        try {
            ReadShortString(s, key);
        } catch (const ReadError &) {
            break; // the end of the data, or a record cut inside its key
        }
        std::unique_ptr<Object> obj;
        try {
            obj = ReadObject(s);
        } catch (const ReadError &e) {
            throw ReadError("記録 \"" + sjis::toUtf8(key) + "\" が壊れています: " + e.what());
        }
        read[key] = std::move(obj); // a later record of the same key replaces the earlier one
    }

    AssembleCard(read);
    card = std::move(read);
    return true;
}
