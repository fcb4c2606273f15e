// The postal code and the address fields filling each other from the
// installed postal dictionary.
#include "app/meishi.h"
#include "app/offerlist.h"
#include "postal/postal.h"

#include <QLineEdit>
#include <QStatusBar>

std::shared_ptr<const postal::Dictionary> TMeishi::postalDictionary()
{
    std::shared_ptr<const postal::Dictionary> dictionary = postal::Installed();
    if (dictionary->Status() == postal::Dictionary::State::Loaded)
        return dictionary;
    // Said once: the rest of the window works as before, and a line on
    // every keystroke would hide the status line's other news.
    if (!postalUnavailableSaid) {
        postalUnavailableSaid = true;
        cDebug->showMessage(postal::UnavailableMessage(*dictionary), 15000);
    }
    return nullptr;
}

void TMeishi::fillFromPostal(QLineEdit *edit, const QString &text, const QString &step)
{
    session.SetFieldText(edit->objectName().toStdString(), text, step);
    // The address is where the user types on (the block number); a code
    // offered for an address leaves the keyboard in the address.
    if (edit == eAddress) {
        edit->setFocus();
        edit->end(false);
    }
}

void TMeishi::PostNoChanged()
{
    mAddressOffer->Withdraw();
    mPostNoOffer->Withdraw();
    const QString code = postal::NormaliseCode(ePostNo->text());
    if (code.isEmpty())
        return;
    const auto dictionary = postalDictionary();
    if (!dictionary)
        return;
    const QStringList addresses = dictionary->Addresses(code);
    if (addresses.isEmpty()) {
        cDebug->showMessage(
            QStringLiteral("〒%1 は郵便番号の辞書にありません").arg(postal::FormatCode(code)),
            10000);
        return;
    }
    const QString typed = eAddress->text().trimmed();
    if (typed.isEmpty() && addresses.size() == 1) {
        fillFromPostal(eAddress, addresses[0], QString::fromUtf16(kAddressFromPostNoStep));
        return;
    }
    for (const QString &address : addresses)
        if (!typed.isEmpty() && typed.startsWith(address))
            return; // the address agrees with the code already
    mAddressOffer->Offer(addresses, addresses);
}

void TMeishi::AddressChanged()
{
    mPostNoOffer->Withdraw();
    if (!ePostNo->text().trimmed().isEmpty() || eAddress->text().trimmed().isEmpty())
        return;
    const auto dictionary = postalDictionary();
    if (!dictionary)
        return;
    const postal::CodeMatch match = dictionary->CodesFor(eAddress->text());
    QStringList texts, codes;
    for (const QString &code : match.codes) {
        codes << postal::FormatCode(code);
        texts << QStringLiteral("〒%1  %2").arg(codes.back(), match.address);
    }
    mPostNoOffer->Offer(texts, codes);
}
