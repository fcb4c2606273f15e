#pragma once
#include "card/object.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class QPaintDevice;
class QPainter;
class Converter;

class IObjectCommand
{
public:
    virtual ~IObjectCommand() = default;
    virtual void Execute(Object *obj) = 0;
};

// Ordered map from a Shift-JIS key to an object, keys compared byte-wise as
// unsigned values. The collection owns its objects: replacing an entry's
// object or clearing the collection destroys them. An entry may hold none
// (made by operator[]); such an entry has no record in the file.
class Objects
{
public:
    using Map = std::map<std::string, std::unique_ptr<Object>>;
    using iterator = Map::iterator;
    using const_iterator = Map::const_iterator;

    Objects() = default;
    Objects(const Objects &) = delete;
    Objects &operator=(const Objects &) = delete;
    Objects(Objects &&) = default;
    Objects &operator=(Objects &&) = default;
    ~Objects();

    // Finds the entry or inserts one holding none, and returns its slot.
    std::unique_ptr<Object> &operator[](const std::string &key) { return map[key]; }
    // Looks up without inserting; null when absent.
    Object *Find(const std::string &key) const;

    // Every entry with an object, in ascending key order.
    void ForEach(IObjectCommand &cmd) const;
    // Removes and destroys every entry.
    void Clear() { map.clear(); }
    // Removes and destroys the entry, if any.
    void Erase(const std::string &key) { map.erase(key); }

    iterator begin() { return map.begin(); }
    iterator end() { return map.end(); }
    const_iterator begin() const { return map.begin(); }
    const_iterator end() const { return map.end(); }
    std::size_t size() const { return map.size(); }
    bool empty() const { return map.empty(); }

private:
    Map map;
};

// The visible objects of a card under their stacking keys, bottom first: what
// is drawn, hit and restacked. It refers to the card's objects and is valid
// while the card keeps them; it is built afresh for each use, since a text
// that becomes empty leaves it.
class DrawingOrder
{
public:
    using Map = std::map<std::string, Object *>;
    using const_iterator = Map::const_iterator;

    Object *&operator[](const std::string &key) { return map[key]; }
    Object *Find(const std::string &key) const;
    void ForEach(IObjectCommand &cmd) const;
    void Clear() { map.clear(); }
    const_iterator begin() const { return map.begin(); }
    const_iterator end() const { return map.end(); }
    std::size_t size() const { return map.size(); }
    bool empty() const { return map.empty(); }
    // The objects bottom first.
    std::vector<Object *> List() const;

private:
    Map map;
};

// The stacking key "%10d_%d".
std::string StackingKey(int order, int sequence);

// Collects the visible objects under their stacking keys: the drawing order.
class ZObjectsCommand : public IObjectCommand
{
public:
    void Execute(Object *obj) override;
    DrawingOrder &Order() { return order; }
    const DrawingOrder &Order() const { return order; }

private:
    DrawingOrder order;
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

// The card's drawing order (ZObjectsCommand over the card): the one way it
// is built.
DrawingOrder MakeDrawingOrder(const Objects &card);

// Measures the text objects of `order` as drawn on `device` through `conv`
// and writes their right and bottom edges: the rectangle the file keeps and
// the pointer hits. Drawing never does this by itself, so only the views
// whose measurement counts (the editor canvas, the card image of the printer
// and the preview) change what is saved.
void MeasureCard(const DrawingOrder &order, QPaintDevice *device, const Converter &conv);

// Prepares the objects of `order` for drawing on a device of `device`'s
// resolution through `conv` (Object::Prepare); changes nothing the file keeps.
void PrepareCard(const DrawingOrder &order, QPaintDevice *device, const Converter &conv);

// Draws the objects of `order` bottom first; prepares no background and
// changes no object.
void RenderCard(const DrawingOrder &order, QPainter *canvas, const Converter &conv);
// The same for the card's drawing order.
void RenderCard(const Objects &card, QPainter *canvas, const Converter &conv);

// The topmost visible object at a model point, or null.
Object *HitTest(const Objects &card, int x, int y);

// Why pictures were left out when the card was last drawn: one message
// (UTF-8, for the user) per object that could not draw its picture, naming
// its key, in key order; hidden objects are not drawn and not named.
std::vector<std::string> DrawProblems(const Objects &card);
