#include "card/objects.h"
#include "card/object.h"
#include "card/sjis.h"

#include <cstdio>

Object *Objects::Find(const std::string &key) const
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

void Objects::ForEach(IObjectCommand &cmd) const
{
    for (const auto &[key, obj] : map)
        if (obj)
            cmd.Execute(obj);
}

void DestroyObjects(Objects &card)
{
    for (auto &[key, obj] : card) {
        delete obj;
        obj = nullptr;
    }
    card.Clear();
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
    if (!obj->IsVisible())
        return;
    TRect r;
    obj->GetRect(r);
    if (r.left == r.right || r.top == r.bottom)
        return;
    if (r.left <= x && x <= r.right && r.top <= y && y <= r.bottom)
        found = obj;
}

void RenderCard(const Objects &card, QPainter *canvas, const Converter &conv)
{
    ZObjectsCommand z;
    card.ForEach(z);
    DrawCommand draw(canvas, conv);
    z.Order().ForEach(draw);
}

Object *HitTest(const Objects &card, int x, int y)
{
    ZObjectsCommand z;
    card.ForEach(z);
    PickupCommand pick(x, y);
    z.Order().ForEach(pick);
    return pick.Found();
}

std::vector<std::string> DrawProblems(const Objects &card)
{
    std::vector<std::string> problems;
    for (const auto &[key, obj] : card) {
        const auto *g = dynamic_cast<const GraphicObject *>(obj);
        if (g && g->IsVisible() && !g->DrawProblem().empty())
            problems.push_back("画像 \"" + sjis::toUtf8(key) +
                               "\" を描けません: " + g->DrawProblem());
    }
    return problems;
}
