#pragma once
#include "card/objects.h"

#include <QString>
#include <memory>

class EditSession;

// The card printed on the back of the sheet: its file read as the editor
// opens one (missing objects repaired, the QR symbol made anew from the
// fields), kept only for drawing. The file is read afresh for each print, so
// what is printed is the file as it is then.
class BackCard
{
public:
    // Throws FileError naming `path` when the file cannot be read, is not a
    // card data file or is damaged; Cause() says which, in Japanese.
    explicit BackCard(const QString &path);
    ~BackCard();
    BackCard(const BackCard &) = delete;
    BackCard &operator=(const BackCard &) = delete;

    const QString &Path() const { return path; }
    // The back's drawing order; its objects live as long as this.
    const DrawingOrder &Order() const { return order; }
    // The card as the editor holds it (for its drawing problems).
    const EditSession &Session() const { return *session; }

private:
    QString path;
    std::unique_ptr<EditSession> session;
    DrawingOrder order;
};

// 「裏面のカード X を読めません: 理由」 for a back that failed to load.
QString BackCardError(const QString &path, const QString &cause);
