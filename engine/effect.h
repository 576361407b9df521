// engine/effect.h - the effect base class and the registry of effect classes.
//
// Everything drawn is an effect: a class id, a layer that orders it among
// the running effects (ascending, so higher layers draw on top), a lifetime
// counted down by the frame step, and children (updated right after it; no
// effect adds any, but the sequencer walks and trims the list).
//
// Each effect type has one static class object (CEffectClassImpl<T>) that
// links itself into a process-wide list when the program starts;
// CreateEffect finds the class by id and makes an instance. The class objects
// of the show are defined together in main/effect_classes.cpp, because the
// order in which they register is part of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <new>

// The effect classes the show registers, by the id the timeline and
// CreateEffect use. kClassNone (5) is no class: a timeline entry with it
// starts nothing, and an effect not made by CreateEffect carries it.
enum EffectClassId : int32_t {
    kClassLoading = 0,
    kClassIntroScreens = 1,
    kClassCubeTower = 3,
    kClassKeloOverlay = 4,
    kClassNone = 5,
};

class CEffect {
public:
    CEffect() = default;
    virtual ~CEffect();  // frees the child list's nodes, never the children
    CEffect(const CEffect&) = delete;
    CEffect& operator=(const CEffect&) = delete;

    // Called once, when the lifetime runs out: hands the effect to the
    // sequencer's removal list. Defined with the sequencer (engine/demo.cpp),
    // which owns that list, so that effects need not know the sequencer.
    virtual void OnExpire();
    // Counts the lifetime down by dt (seconds) and calls OnExpire the first
    // time it falls below zero. Overrides call this first.
    virtual void Update(float dt);
    virtual void Render() {}

    int32_t GetClassId() const { return m_nClassId; }
    uint32_t GetLayer() const { return m_nLayer; }
    void SetDuration(float seconds) { m_fTimeLeft = seconds; }
    std::list<CEffect*>& GetChildren() { return m_Children; }
    void RemoveChild(CEffect* effect) { m_Children.remove(effect); }

    int32_t m_nClassId = kClassNone;  // not made by CreateEffect
    uint32_t m_nLayer = 0;
    bool m_bExpired = false;
    float m_fTimeLeft = -1.0f;  // seconds; an effect never given a duration expires at once
    std::list<CEffect*> m_Children;
};

// A self-registering object: construction with `link` true puts it at the
// head of a process-wide doubly linked list, destruction takes it out. The
// links point at the registered base, since the derived object does not
// exist yet while this constructor runs; Head() and Next() give the derived
// objects once they are built.
template <typename T>
class CRegistered {
public:
    explicit CRegistered(bool link) {
        if (link) {
            m_pNext = s_pHead;
            if (s_pHead) s_pHead->m_pPrev = this;
            s_pHead = this;
        }
    }
    ~CRegistered() {
        if (!m_pPrev) {
            if (m_pNext) m_pNext->m_pPrev = nullptr;
            if (s_pHead == this) s_pHead = m_pNext;
        } else {
            if (m_pNext) m_pNext->m_pPrev = m_pPrev;
            m_pPrev->m_pNext = m_pNext;
        }
        m_pPrev = m_pNext = nullptr;
    }
    CRegistered(const CRegistered&) = delete;
    CRegistered& operator=(const CRegistered&) = delete;

    static T* Head() { return static_cast<T*>(s_pHead); }
    T* Next() const { return static_cast<T*>(m_pNext); }
    T* Prev() const { return static_cast<T*>(m_pPrev); }

    CRegistered* m_pPrev = nullptr;
    CRegistered* m_pNext = nullptr;
    static inline CRegistered* s_pHead = nullptr;  // the most recently registered object
};

class CEffectClass : public CRegistered<CEffectClass> {
public:
    CEffectClass() : CRegistered<CEffectClass>(true) {}
    virtual int32_t GetId() = 0;
    // A new, fully constructed effect on the heap; the caller owns it. Null
    // when memory runs out: the show then goes on without that effect.
    virtual CEffect* CreateInstance() = 0;
    // Copies the type's name into `buffer` (257 characters: at most 256 and
    // a terminating zero) and returns it.
    virtual char* GetName(char* buffer) = 0;
    virtual size_t GetInstanceSize() = 0;

protected:
    ~CEffectClass() = default;  // class objects are static, never deleted through this
};

template <typename T>
class CEffectClassImpl : public CEffectClass {
public:
    // Out of memory is caught here, whether the instance itself (the tower's
    // is 330 KB) or something its constructor allocates (the parameters it
    // registers) could not be had: the caller gets null, not an exception
    // that would end the program.
    CEffect* CreateInstance() override {
        try {
            return new T;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    size_t GetInstanceSize() override { return sizeof(T); }

protected:
    // For the GetName of each class object.
    static char* CopyName(char* buffer, const char* name) {
        std::strncpy(buffer, name, 256);
        buffer[256] = '\0';
        return buffer;
    }
};

// A new effect of class `id` with the given layer and lifetime (seconds), or
// null when no class has that id or its instance could not be made.
CEffect* CreateEffect(int32_t id, uint32_t layer, float duration);
