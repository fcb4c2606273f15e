#pragma once
#include <map>
#include <string>
#include <vector>

class Object;
class QPainter;
class Converter;

class IObjectCommand
{
public:
    virtual ~IObjectCommand() = default;
    virtual void Execute(Object *obj) = 0;
};

// Ordered map from a Shift-JIS key to an object, keys compared byte-wise as
// unsigned values. It refers to objects and never destroys them: the owner of
// the card's collection destroys them (DestroyObjects) exactly once.
class Objects
{
public:
    using Map = std::map<std::string, Object *>;
    using iterator = Map::iterator;
    using const_iterator = Map::const_iterator;

    Objects() = default;
    virtual ~Objects() = default;
    Objects(const Objects &) = delete;
    Objects &operator=(const Objects &) = delete;
    Objects(Objects &&) = default;
    Objects &operator=(Objects &&) = default;

    // Finds the entry or inserts one holding null, and returns its slot.
    Object *&operator[](const std::string &key) { return map[key]; }
    // Looks up without inserting; null when absent.
    Object *Find(const std::string &key) const;

    // Every entry with an object, in ascending key order.
    void ForEach(IObjectCommand &cmd) const;
    // Removes every entry; the objects are not destroyed.
    void Clear() { map.clear(); }

    iterator begin() { return map.begin(); }
    iterator end() { return map.end(); }
    const_iterator begin() const { return map.begin(); }
    const_iterator end() const { return map.end(); }
    std::size_t size() const { return map.size(); }
    bool empty() const { return map.empty(); }

private:
    Map map;
};

// Destroys every object of `card` and clears it.
void DestroyObjects(Objects &card);

// The stacking key "%10d_%d".
std::string StackingKey(int order, int sequence);

// Collects the visible objects under their stacking keys: the drawing order.
class ZObjectsCommand : public IObjectCommand
{
public:
    void Execute(Object *obj) override;
    Objects &Order() { return order; }
    const Objects &Order() const { return order; }

private:
    Objects order;
    int sequence = 0;
};

class DrawCommand : public IObjectCommand
{
public:
    DrawCommand(QPainter *canvas, const Converter &conv) : canvas(canvas), conv(conv) {}
    void Execute(Object *obj) override;

private:
    QPainter *canvas;
    const Converter &conv;
};

// Finds the last visible object whose rectangle (all four edges inclusive,
// zero width or height never) holds the point.
class PickupCommand : public IObjectCommand
{
public:
    PickupCommand(int x, int y) : x(x), y(y) {}
    void Execute(Object *obj) override;
    Object *Found() const { return found; }

private:
    int x;
    int y;
    Object *found = nullptr;
};

// Draws the card's visible objects bottom first; prepares no background.
void RenderCard(const Objects &card, QPainter *canvas, const Converter &conv);

// The topmost visible object at a model point, or null.
Object *HitTest(const Objects &card, int x, int y);

// Why pictures were left out when the card was last drawn: one message
// (UTF-8, for the user) per object that could not draw its picture, naming
// its key, in key order; hidden objects are not drawn and not named.
std::vector<std::string> DrawProblems(const Objects &card);
