// The effect base class and the class registry.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/effect.h"

namespace {

struct CountingEffect : CEffect {
    static inline int expiries = 0;
    void OnExpire() override { ++expiries; }
};

TEST(EffectLifetime, ExpiresOnceWhenTheStepsExceedTheDuration) {
    CountingEffect e;
    e.SetDuration(0.0f);
    CountingEffect::expiries = 0;
    e.Update(0.0f);
    EXPECT_FALSE(e.m_bExpired) << "0 is not below 0";
    e.Update(0.001f);
    EXPECT_TRUE(e.m_bExpired);
    for (int i = 0; i < 10; ++i) e.Update(1.0f);
    EXPECT_EQ(CountingEffect::expiries, 1);

    CountingEffect never_set;  // lifetime -1: expires in its first update
    CountingEffect::expiries = 0;
    never_set.Update(0.0f);
    EXPECT_EQ(CountingEffect::expiries, 1);

    // The countdown rounds to float each step, as the frame loop does.
    CountingEffect seven;
    seven.SetDuration(7.0f);
    CountingEffect::expiries = 0;
    int frames = 0;
    while (!seven.m_bExpired && frames < 10000) {
        seven.Update(1.0f / 60.0f);
        ++frames;
    }
    // The float countdown lands just below zero in frame 420, not a frame late.
    EXPECT_EQ(frames, 420);
}

struct Reg : CRegistered<Reg> {
    explicit Reg(bool link) : CRegistered<Reg>(link) {}
};

std::vector<const Reg*> Walk() {
    std::vector<const Reg*> out;
    for (const Reg* r = Reg::Head(); r; r = r->Next()) out.push_back(r);
    return out;
}

TEST(EffectRegistry, LinksAtTheHeadAndUnlinksFromAnywhere) {
    auto* a = new Reg(true);
    auto* b = new Reg(true);
    auto* c = new Reg(true);
    Reg unlinked(false);
    EXPECT_EQ(Walk(), (std::vector<const Reg*>{c, b, a}));
    EXPECT_EQ(a->Prev(), b);
    delete b;  // from the middle
    EXPECT_EQ(Walk(), (std::vector<const Reg*>{c, a}));
    EXPECT_EQ(a->Prev(), c);
    delete c;  // the head
    EXPECT_EQ(Walk(), (std::vector<const Reg*>{a}));
    EXPECT_EQ(a->Prev(), nullptr);
    delete a;
    EXPECT_EQ(Reg::Head(), nullptr);
}

struct Probe : CEffect {};
struct CCProbe : CEffectClassImpl<Probe> {
    int32_t GetId() override { return 77; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CProbe"); }
};

struct CCLongName : CEffectClassImpl<Probe> {
    int32_t GetId() override { return 78; }
    char* GetName(char* buffer) override { return CopyName(buffer, std::string(400, 'x').c_str()); }
};

TEST(EffectRegistry, CreateEffectFindsTheClassById) {
    CCProbe probe;
    CCLongName long_name;
    CEffect* e = CreateEffect(77, 9, 3.5f);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetClassId(), 77);
    EXPECT_EQ(e->GetLayer(), 9u);
    EXPECT_EQ(e->m_fTimeLeft, 3.5f);
    delete e;
    EXPECT_EQ(CreateEffect(2, 0, 1.0f), nullptr);
    EXPECT_EQ(CreateEffect(5, 0, 1.0f), nullptr);

    char buffer[257];
    std::memset(buffer, '#', sizeof buffer);
    long_name.GetName(buffer);
    EXPECT_EQ(std::strlen(buffer), 256u);
    EXPECT_EQ(long_name.GetInstanceSize(), sizeof(Probe));
}

// Out of memory, in the two places it can strike: the instance's own
// allocation (a class operator new that throws, as the global one does when
// the heap is exhausted) and an allocation inside its constructor.
struct Starved : CEffect {
    static inline bool no_memory = false;
    static void* operator new(size_t size) {
        if (no_memory) throw std::bad_alloc();
        return ::operator new(size);
    }
    static void operator delete(void* p) { ::operator delete(p); }
};
struct CCStarved : CEffectClassImpl<Starved> {
    int32_t GetId() override { return 79; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CStarved"); }
};

struct HugeBuffer : CEffect {
    HugeBuffer() { throw std::bad_alloc(); }  // what a failed allocation in a constructor looks like
};
struct CCHugeBuffer : CEffectClassImpl<HugeBuffer> {
    int32_t GetId() override { return 80; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CHugeBuffer"); }
};

TEST(EffectRegistry, AnInstanceThatCannotBeAllocatedIsNoEffect) {
    CCStarved starved;
    CCHugeBuffer huge;
    Starved::no_memory = true;
    EXPECT_EQ(starved.CreateInstance(), nullptr);
    EXPECT_EQ(CreateEffect(79, 1, 1.0f), nullptr);
    EXPECT_EQ(CreateEffect(80, 1, 1.0f), nullptr) << "out of memory inside the constructor";

    // Memory back: the same class makes its effect again.
    Starved::no_memory = false;
    CEffect* e = CreateEffect(79, 4, 2.0f);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetLayer(), 4u);
    delete e;
}

}  // namespace
