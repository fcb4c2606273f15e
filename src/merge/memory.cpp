#include "merge/memory.h"

#include "card/cardfile.h"
#include "card/object.h"
#include "card/objects.h"

#include <QByteArray>
#include <QUrl>
#include <optional>

namespace {

// Each pair "name=value;", every part percent-encoded UTF-8, so the text is
// ASCII and no part holds '=' or ';'.
QByteArray part(const QString &s)
{
    return QUrl::toPercentEncoding(s);
}

QString unpart(const QByteArray &s)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(s));
}

QByteArray targetText(const MergeTarget &t)
{
    if (!t.Used())
        return "-";
    return QByteArray(t.side == MergeSide::Back ? "b" : "f") + (t.picture ? "p" : "t") +
           QUrl::toPercentEncoding(QString::fromStdString(t.key));
}

// Null for text that is no target: a damaged choice is forgotten, never
// read as 「使わない」.
std::optional<MergeTarget> targetFrom(const QByteArray &s)
{
    if (s == "-")
        return MergeTarget{};
    if (s.size() < 3 || (s[0] != 'f' && s[0] != 'b') || (s[1] != 't' && s[1] != 'p'))
        return std::nullopt;
    return MergeTarget{s[0] == 'b' ? MergeSide::Back : MergeSide::Front,
                       QByteArray::fromPercentEncoding(s.mid(2)).toStdString(), s[1] == 'p'};
}

constexpr qsizetype kMaxRecords = 99; // two digits in the key

} // namespace

MergeMemory ReadMergeMemory(const Objects &card)
{
    QByteArray text;
    for (const auto &[key, obj] : card) // in key order: 01, 02, ...
        if (key.starts_with(kMergeRecordPrefix))
            if (const auto *t = dynamic_cast<const TextObject *>(obj.get()); t && !t->IsVisible())
                text += QByteArray::fromStdString(t->GetText());
    MergeMemory m;
    for (const QByteArray &pair : text.split(';')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray name = pair.left(eq), value = pair.mid(eq + 1);
        if (name == "list")
            m.list = unpart(value);
        else if (name == "sheet")
            m.sheet = unpart(value);
        else if (name == "mixed")
            m.mixed = value == "1";
        else if (name.startsWith("c."))
            if (const std::optional<MergeTarget> t = targetFrom(value))
                m.chosen.emplace_back(unpart(name.mid(2)), *t);
    }
    return m;
}

std::vector<std::pair<std::string, std::string>> MergeMemoryRecords(const MergeMemory &m)
{
    if (m.list.isEmpty())
        return {};
    QByteArray text = "list=" + part(m.list) + ';';
    if (!m.sheet.isEmpty())
        text += "sheet=" + part(m.sheet) + ';';
    if (m.mixed)
        text += "mixed=1;";
    // A list of hundreds of chosen columns keeps the whole choices that fit:
    // a choice cut short would name another column or target.
    const qsizetype room = kMaxRecords * static_cast<qsizetype>(kShortStringMax);
    if (text.size() > room)
        return {}; // a list or sheet name past all the records hold: nothing
    for (const auto &[name, target] : m.chosen) {
        const QByteArray pair = "c." + part(name) + '=' + targetText(target) + ';';
        if (text.size() + pair.size() > room)
            break;
        text += pair;
    }
    std::vector<std::pair<std::string, std::string>> records;
    for (qsizetype at = 0; at < text.size(); at += static_cast<qsizetype>(kShortStringMax)) {
        const QByteArray key = QByteArray(kMergeRecordPrefix) +
                               QByteArray::number(records.size() + 1).rightJustified(2, '0');
        records.emplace_back(key.toStdString(),
                             text.mid(at, static_cast<qsizetype>(kShortStringMax)).toStdString());
    }
    return records;
}
