#include "support.h"

#include "card/object.h"
#include "card/objects.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <vector>

namespace {

// An object that records when it is drawn and otherwise does nothing.
class Probe : public Object
{
public:
    Probe(const char *name, int order, TRect r, std::vector<std::string> *log = nullptr)
        : name(name), rect(r), log(log)
    {
        SetOrder(order);
    }
    void Draw(QPainter *, const Converter &) const override
    {
        if (log)
            log->push_back(name);
    }
    void GetRect(TRect &out) const override { out = rect; }
    void SetRect(const TRect &r) override { rect = r; }
    void SaveToStream(Stream *) const override {}
    void LoadFromStream(Stream *) override {}
    std::string GetClassName() const override { return "Probe"; }
    std::unique_ptr<Object> Clone() const override { return std::make_unique<Probe>(*this); }
    void Restore(const Object &from) override { *this = dynamic_cast<const Probe &>(from); }

    std::string name;

private:
    TRect rect;
    std::vector<std::string> *log;
};

class CountCommand : public IObjectCommand
{
public:
    void Execute(Object *obj) override { seen.push_back(obj); }
    std::vector<Object *> seen;
};

std::vector<std::string> rendered(const Objects &card, std::vector<std::string> &log)
{
    log.clear();
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter p(&image);
    RenderCard(card, &p, Converter(910));
    return log;
}

} // namespace

TEST(Objects, KeysCompareAsUnsignedBytesAndLookupsInsertNull)
{
    OwnedCard card;
    Objects &o = card.objects;
    o["b"].reset(new Probe("b", 0, {}));
    o["\x82\xA0"].reset(new Probe("sjis", 0, {}));
    o["B"].reset(new Probe("B", 0, {}));
    o["ab"].reset(new Probe("ab", 0, {}));
    o["a"].reset(new Probe("a", 0, {}));
    std::vector<std::string> keys;
    for (const auto &[key, obj] : o)
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "ab", "b", "\x82\xA0"}));

    EXPECT_EQ(o.Find("zz"), nullptr);
    EXPECT_EQ(o.size(), 5u) << "Find must not insert";
    EXPECT_EQ(o["zz"], nullptr);
    EXPECT_EQ(o.size(), 6u);
    EXPECT_TRUE(o.begin() != o.end());

    CountCommand count;
    o.ForEach(count);
    ASSERT_EQ(count.seen.size(), 5u);
    EXPECT_EQ(static_cast<Probe *>(count.seen.front())->name, "B");
    EXPECT_EQ(static_cast<Probe *>(count.seen.back())->name, "sjis");

    // A drawing order refers to the objects; clearing it destroys none.
    DrawingOrder view;
    view["x"] = o["a"].get();
    view.Clear();
    EXPECT_TRUE(view.empty());
    EXPECT_EQ(static_cast<Probe *>(o["a"].get())->name, "a");
}

TEST(StackingOrder, KeysSortAsTextAndDecideTheDrawingOrder)
{
    EXPECT_EQ(StackingKey(5, 2), "         5_2");
    EXPECT_EQ(StackingKey(-1, 0), "        -1_0");
    EXPECT_EQ(StackingKey(12, 3), "        12_3");
    EXPECT_EQ(StackingKey(2147483647, 0), "2147483647_0");
    EXPECT_EQ(StackingKey(-2147483647 - 1, 10), "-2147483648_10");

    // Orders 3, 1, 2 draw 1, 2, 3 whatever the keys; equal orders by key.
    std::vector<std::string> log;
    OwnedCard card;
    card.objects["a"].reset(new Probe("three", 3, {}, &log));
    card.objects["b"].reset(new Probe("one", 1, {}, &log));
    card.objects["c"].reset(new Probe("two", 2, {}, &log));
    card.objects["e"].reset(new Probe("tie-e", 7, {}, &log));
    card.objects["d"].reset(new Probe("tie-d", 7, {}, &log));
    card.objects["hole"] = nullptr;
    EXPECT_EQ(rendered(card.objects, log),
              (std::vector<std::string>{"one", "two", "three", "tie-d", "tie-e"}));

    // Hidden objects and empty texts are not drawn.
    card.objects["b"]->SetVisible(false);
    auto *empty = new TextObject(TRect{0, 0, 10, 10});
    empty->SetOrder(0);
    card.objects["0"].reset(empty);
    EXPECT_EQ(rendered(card.objects, log),
              (std::vector<std::string>{"two", "three", "tie-d", "tie-e"}));
}

TEST(StackingOrder, SequenceCountsOnlyVisibleObjectsAndComparesAsText)
{
    // Objects met in this order; invisible ones take no sequence number.
    std::vector<std::unique_ptr<Object>> owned;
    auto probe = [&](const char *name, int order, bool visible = true) {
        owned.push_back(std::make_unique<Probe>(name, order, TRect{}));
        owned.back()->SetVisible(visible);
        return owned.back().get();
    };
    auto emptyText = [&] {
        owned.push_back(std::make_unique<TextObject>());
        return owned.back().get();
    };
    ZObjectsCommand z;
    z.Execute(probe("-1", -1)); // 0
    z.Execute(probe("3", 3));   // 1
    z.Execute(probe("hidden", 5, false));
    z.Execute(probe("5 seq 2", 5)); // 2
    z.Execute(emptyText());
    z.Execute(probe("12", 12)); // 3
    for (int i = 4; i < 10; ++i)
        z.Execute(probe("filler", 100)); // 4..9, sorted after all of the above
    z.Execute(probe("5 seq 10", 5));     // 10

    const DrawingOrder &order = z.Order();
    EXPECT_EQ(order.size(), 11u);
    ASSERT_NE(order.Find(StackingKey(5, 2)), nullptr);
    EXPECT_EQ(static_cast<Probe *>(order.Find(StackingKey(5, 2)))->name, "5 seq 2");
    ASSERT_NE(order.Find(StackingKey(5, 10)), nullptr);
    EXPECT_EQ(static_cast<Probe *>(order.Find(StackingKey(5, 10)))->name, "5 seq 10");

    std::vector<std::string> names;
    for (const auto &[key, obj] : order)
        names.push_back(static_cast<Probe *>(obj)->name);
    names.resize(5);
    EXPECT_EQ(names, (std::vector<std::string>{"3", "5 seq 10", "5 seq 2", "-1", "12"}));
}

TEST(HitTest, EdgesAreInsideEmptyRectsNeverAndTheTopmostWins)
{
    OwnedCard card;
    Objects &o = card.objects;
    o["a"].reset(new Probe("a", 1, TRect{10, 20, 30, 40}));
    EXPECT_EQ(HitTest(o, 10, 20), o["a"].get());
    EXPECT_EQ(HitTest(o, 30, 40), o["a"].get());
    EXPECT_EQ(HitTest(o, 31, 40), nullptr);
    EXPECT_EQ(HitTest(o, 30, 41), nullptr);
    EXPECT_EQ(HitTest(o, 9, 30), nullptr);
    EXPECT_EQ(HitTest(o, 20, 19), nullptr);

    o["flat"].reset(new Probe("flat", 9, TRect{0, 25, 100, 25}));
    o["thin"].reset(new Probe("thin", 9, TRect{15, 0, 15, 100}));
    EXPECT_EQ(HitTest(o, 15, 25), o["a"].get()) << "zero width or height is never hit";

    // Overlap: the one drawn later wins, by order and then by key.
    o["b"].reset(new Probe("b", 2, TRect{20, 30, 60, 60}));
    EXPECT_EQ(HitTest(o, 25, 35), o["b"].get());
    EXPECT_EQ(HitTest(o, 15, 25), o["a"].get());
    o["b"]->SetOrder(0);
    EXPECT_EQ(HitTest(o, 25, 35), o["a"].get());
    o["b"]->SetOrder(1);
    EXPECT_EQ(HitTest(o, 25, 35), o["b"].get()) << "equal orders: the later key is on top";
    o["b"]->SetVisible(false);
    EXPECT_EQ(HitTest(o, 25, 35), o["a"].get());
    EXPECT_EQ(HitTest(o, 50, 50), nullptr);

    auto *text = new TextObject(TRect{0, 0, 200, 200});
    text->SetOrder(50);
    o["t"].reset(text);
    EXPECT_EQ(HitTest(o, 25, 35), o["a"].get()) << "an empty text is not hit";
    text->SetText("x");
    EXPECT_EQ(HitTest(o, 25, 35), text);
}
