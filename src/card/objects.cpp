#include "card/objects.h"
#include "card/object.h"
#include "card/sjis.h"

#include <cstdio>
#include <utility>

Objects::~Objects() = default;

Object *Objects::Find(const std::string &key) const
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : it->second.get();
}

void Objects::ForEach(IObjectCommand &cmd) const
{
    for (const auto &[key, obj] : map)
        if (obj)
            cmd.Execute(obj.get());
}

Object *DrawingOrder::Find(const std::string &key) const
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

void DrawingOrder::ForEach(IObjectCommand &cmd) const
{
    for (const auto &[key, obj] : map)
        if (obj)
            cmd.Execute(obj);
}

std::vector<Object *> DrawingOrder::List() const
{
    std::vector<Object *> list;
    list.reserve(map.size());
    for (const auto &[key, obj] : map)
        if (obj)
            list.push_back(obj);
    return list;
}

std::string StackingKey(int order, int sequence)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%10d_%d", order, sequence);
    return buf;
}

void ZObjectsCommand::Execute(Object *obj)
{
    if (!obj->IsVisible())
        return;
    order[StackingKey(obj->GetOrder(), sequence)] = obj;
    ++sequence;
}

void DrawCommand::Execute(Object *obj)
{
    obj->Draw(canvas, conv);
}

void PickupCommand::Execute(Object *obj)
{
    if (obj->IsVisible() && obj->Hits(x, y))
        found = obj;
}

DrawingOrder MakeDrawingOrder(const Objects &card)
{
    ZObjectsCommand z;
    card.ForEach(z);
    return std::move(z.Order());
}

void MeasureCard(const DrawingOrder &order, QPaintDevice *device, const Converter &conv)
{
    for (const auto &[key, obj] : order)
        if (obj)
            obj->Measure(device, conv);
}

void PrepareCard(const DrawingOrder &order, QPaintDevice *device, const Converter &conv)
{
    for (const auto &[key, obj] : order)
        if (obj)
            obj->Prepare(device, conv);
}

void RenderCard(const DrawingOrder &order, QPainter *canvas, const Converter &conv)
{
    DrawCommand draw(canvas, conv);
    order.ForEach(draw);
}

void RenderCard(const Objects &card, QPainter *canvas, const Converter &conv)
{
    RenderCard(MakeDrawingOrder(card), canvas, conv);
}

Object *HitTest(const Objects &card, int x, int y)
{
    PickupCommand pick(x, y);
    MakeDrawingOrder(card).ForEach(pick);
    return pick.Found();
}

std::vector<std::string> DrawProblems(const Objects &card)
{
    std::vector<std::string> problems;
    for (const auto &[key, obj] : card) {
        const auto *g = dynamic_cast<const GraphicObject *>(obj.get());
        if (g && g->IsVisible() && !g->DrawProblem().empty())
            problems.push_back("画像 \"" + sjis::toUtf8(key) +
                               "\" を描けません: " + g->DrawProblem());
    }
    return problems;
}
