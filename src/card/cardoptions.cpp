#include "card/cardoptions.h"
#include "card/object.h"
#include "card/objects.h"

#include <map>
#include <memory>
#include <sstream>

namespace {

using Pairs = std::map<std::string, std::string>;

Pairs parse(const std::string &text)
{
    Pairs pairs;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ';')) {
        const std::size_t eq = item.find('=');
        if (eq != std::string::npos && eq > 0)
            pairs[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return pairs;
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
    if (auto it = pairs.find("qr"); it != pairs.end())
        QrFormatFromName(it->second, options.qrFormat);
    if (auto it = pairs.find("qrsize"); it != pairs.end())
        options.qrSizeKept = it->second == "kept";
    return options;
}

void WriteCardOptions(Objects &card, const CardOptions &options)
{
    const TextObject *record = optionsRecord(card);
    Pairs pairs = record ? parse(record->GetText()) : Pairs();
    pairs.erase("qr");
    pairs.erase("qrsize");
    if (options.qrFormat != QrFormat::Text)
        pairs["qr"] = QrFormatName(options.qrFormat);
    if (options.qrSizeKept)
        pairs["qrsize"] = "kept";
    if (pairs.empty()) {
        card.Erase(kOptionsKey);
        return;
    }
    auto fresh = std::make_unique<TextObject>();
    fresh->SetText(join(pairs));
    fresh->SetVisible(false);
    card[kOptionsKey] = std::move(fresh);
}
