#pragma once
#include "card/defaultcard.h"
#include "card/objects.h"

#include <QString>
#include <QUndoCommand>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Object;

// Steps of one kind merge with the step before when they change the same
// thing (the same merge id and key); kNeverMerges never does.
inline constexpr int kNeverMerges = -1;
inline constexpr int kTypingStep = 1;
inline constexpr int kNudgeStep = 2;

// What an undo step keeps of the editing session: copies of every object
// (pictures shared) and what the edits and name boxes show.
struct EditState
{
    std::vector<std::pair<std::string, std::unique_ptr<Object>>> objects;
    std::array<QString, kFields.size()> fields;
    std::array<QString, 2> pictureNames; // kPictureKey, kBackPictureKey
    bool qrTooLong = false;

    // Copies of the card's objects; the rest is left for the caller.
    static std::unique_ptr<EditState> OfCard(const Objects &card);
    // The copy kept of the object `key`; null when the card had none.
    const Object *Find(const std::string &key) const;
    // Writes the kept objects back into `card` in place, so that pointers to
    // its objects stay valid: a record added since goes, one removed since
    // comes back.
    void RestoreInto(Objects &card) const;
};

// One step on the undo stack: the state before and after. Pushing it does
// nothing, since the change was made before it was recorded; taking it back
// or again hands the state to `restore`, which must outlive the step.
class EditStep : public QUndoCommand
{
public:
    using Restore = std::function<void(const EditState &)>;

    EditStep(const QString &text, std::shared_ptr<const EditState> before,
             std::shared_ptr<const EditState> after, Restore restore, int mergeId = kNeverMerges,
             std::string mergeKey = {});

    int id() const override { return mergeId; }
    void undo() override;
    void redo() override;
    // A later step of the same id and key is folded in: this step then
    // leads from its own before to the other's after.
    bool mergeWith(const QUndoCommand *other) override;

private:
    Restore restore;
    std::shared_ptr<const EditState> before;
    std::shared_ptr<const EditState> after;
    int mergeId;
    std::string mergeKey;
    bool pushed = false;
};
