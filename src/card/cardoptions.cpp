#include "card/cardoptions.h"
#include "card/cardfile.h"
#include "card/errors.h"
#include "card/object.h"
#include "card/objects.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// In the order the record holds them: a later program's pairs stay in
// theirs, the oldest first.
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs parse(const std::string &text)
{
    Pairs pairs;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ';')) {
        const std::size_t eq = item.find('=');
        if (eq != std::string::npos && eq > 0)
            pairs.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    return pairs;
}

const std::string *find(const Pairs &pairs, const std::string &key)
{
    // The last of a repeated key counts, as a later write replaces it.
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
        if (it->first == key)
            return &it->second;
    return nullptr;
}

std::string join(const Pairs &pairs)
{
    std::string text;
    for (const auto &[key, value] : pairs) {
        if (!text.empty())
            text += ';';
        text += key + '=' + value;
    }
    return text;
}

const TextObject *optionsRecord(const Objects &card)
{
    return dynamic_cast<const TextObject *>(card.Find(kOptionsKey));
}

} // namespace

const char *QrFormatName(QrFormat format)
{
    switch (format) {
    case QrFormat::Mecard:
        return "mecard";
    case QrFormat::Vcard:
        return "vcard";
    case QrFormat::Text:
        break;
    }
    return "text";
}

bool QrFormatFromName(const std::string &name, QrFormat &out)
{
    for (QrFormat f : {QrFormat::Text, QrFormat::Mecard, QrFormat::Vcard})
        if (name == QrFormatName(f)) {
            out = f;
            return true;
        }
    return false;
}

CardOptions ReadCardOptions(const Objects &card)
{
    CardOptions options;
    const TextObject *record = optionsRecord(card);
    if (!record)
        return options;
    const Pairs pairs = parse(record->GetText());
    if (const std::string *v = find(pairs, "qr"))
        QrFormatFromName(*v, options.qrFormat);
    if (const std::string *v = find(pairs, "qrsize"))
        options.qrSizeKept = *v == "kept";
    if (const std::string *v = find(pairs, "picbox")) {
        TRect r;
        char end = 0;
        if (std::sscanf(v->c_str(), "%d,%d,%d,%d%c", &r.left, &r.top, &r.right, &r.bottom, &end) ==
                4 &&
            r.right > r.left && r.bottom > r.top)
            options.pictureBox = r;
    }
    return options;
}

void WriteCardOptions(Objects &card, const CardOptions &options)
{
    const TextObject *record = optionsRecord(card);
    Pairs others = record ? parse(record->GetText()) : Pairs();
    std::erase_if(others, [](const auto &p) {
        return p.first == "qr" || p.first == "qrsize" || p.first == "picbox";
    });
    Pairs own;
    if (options.qrFormat != QrFormat::Text)
        own.emplace_back("qr", QrFormatName(options.qrFormat));
    if (options.qrSizeKept)
        own.emplace_back("qrsize", "kept");
    if (const std::optional<TRect> &r = options.pictureBox)
        own.emplace_back("picbox", std::to_string(r->left) + ',' + std::to_string(r->top) + ',' +
                                       std::to_string(r->right) + ',' + std::to_string(r->bottom));
    if (join(own).size() > kShortStringMax)
        throw CardError("カードの設定が長すぎて、カードデータに保存できません");
    Pairs pairs;
    for (;;) {
        pairs = others;
        pairs.insert(pairs.end(), own.begin(), own.end());
        if (join(pairs).size() <= kShortStringMax)
            break;
        others.erase(others.begin());
    }
    if (pairs.empty()) {
        card.Erase(kOptionsKey);
        return;
    }
    auto fresh = std::make_unique<TextObject>();
    fresh->SetText(join(pairs));
    fresh->SetVisible(false);
    card[kOptionsKey] = std::move(fresh);
}
