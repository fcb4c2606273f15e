#include "editor/history.h"
#include "card/object.h"

#include <typeinfo>

std::unique_ptr<EditState> EditState::OfCard(const Objects &card)
{
    auto s = std::make_unique<EditState>();
    for (const auto &[key, obj] : card)
        if (obj)
            s->objects.emplace_back(key, obj->Clone());
    return s;
}

const Object *EditState::Find(const std::string &key) const
{
    for (const auto &[k, obj] : objects)
        if (k == key)
            return obj.get();
    return nullptr;
}

void EditState::RestoreInto(Objects &card) const
{
    // Opening a card, which replaces every object, clears the stack; so the
    // objects are the same ones but for records a step added or removed
    // (the card's options).
    std::vector<std::string> added;
    for (const auto &[key, obj] : card)
        if (obj && !Find(key))
            added.push_back(key);
    for (const std::string &key : added)
        card.Erase(key);
    for (const auto &[key, obj] : objects) {
        // In place where the key holds an object of the same class, so
        // pointers to it stay valid; a key deleted and used again for
        // another kind gets a copy.
        Object *target = card.Find(key);
        const Object &kept = *obj;
        if (target && typeid(*target) == typeid(kept))
            target->Restore(*obj);
        else
            card[key] = obj->Clone();
    }
}

EditStep::EditStep(const QString &text, std::shared_ptr<const EditState> before,
                   std::shared_ptr<const EditState> after, Restore restore, int mergeId,
                   std::string mergeKey)
    : QUndoCommand(text), restore(std::move(restore)), before(std::move(before)),
      after(std::move(after)), mergeId(mergeId), mergeKey(std::move(mergeKey))
{}

void EditStep::undo()
{
    restore(*before);
}

void EditStep::redo()
{
    if (pushed)
        restore(*after);
    pushed = true;
}

bool EditStep::mergeWith(const QUndoCommand *other)
{
    const auto *o = dynamic_cast<const EditStep *>(other);
    if (!o || o->mergeId != mergeId || o->mergeKey != mergeKey)
        return false;
    after = o->after;
    return true;
}
