// The class objects of the show's effects, one static object per effect
// type. They register themselves during static initialisation, each at the
// head of the registry, in the order they are defined here: the tower, the
// intro screens, the loading screen, the overlay (so the overlay's class
// is the head). Within one file that order is the order of definition;
// across files it would be up to the linker, hence one file.
#include "main/effect_classes.h"

#include "engine/effect.h"
#include "fx2d/intro_screens.h"
#include "fx2d/kelo_overlay.h"
#include "fx2d/loading.h"
#include "platform/os/log.h"
#include "tower/cube_tower.h"

// --- 1. the cube tower ---------------------------------------------------
// First in the order.
class CCCubeTower : public CEffectClassImpl<CCubeTower> {
public:
    int32_t GetId() override { return kClassCubeTower; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CCubeTower"); }
};
static CCCubeTower s_CCCubeTower;

// --- 2. the intro and exit screens ---------------------------------------
class CCIntroScreens : public CEffectClassImpl<CIntroScreens> {
public:
    int32_t GetId() override { return kClassIntroScreens; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CIntroScreens"); }
};
static CCIntroScreens s_CCIntroScreens;

// --- 3. the loading screen -----------------------------------------------
class CCLoading : public CEffectClassImpl<CLoading> {
public:
    int32_t GetId() override { return kClassLoading; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CLoading"); }
};
static CCLoading s_CCLoading;

// --- 4. the overlay and its text -----------------------------------------
class CCKeloOverlay : public CEffectClassImpl<CKeloOverlay> {
public:
    int32_t GetId() override { return kClassKeloOverlay; }
    char* GetName(char* buffer) override { return CopyName(buffer, "CKeloOverlay"); }
};
static CCKeloOverlay s_CCKeloOverlay;

int LogEffectClasses() {
    int count = 0;
    char name[257];
    for (CEffectClass* c = CEffectClass::Head(); c; c = c->Next(), ++count) {
        plat::Log("app", "effect class %d %s", static_cast<int>(c->GetId()), c->GetName(name));
    }
    return count;
}
