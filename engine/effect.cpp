#include "engine/effect.h"


CEffect::~CEffect() = default;

void CEffect::Update(float dt) {
    m_fTimeLeft = static_cast<float>(m_fTimeLeft - dt);
    // Strictly below: a step of exactly 0 never expires a lifetime of 0.
    if (m_fTimeLeft < 0.0f && !m_bExpired) {
        m_bExpired = true;
        OnExpire();
    }
}

CEffect* CreateEffect(int32_t id, uint32_t layer, float duration) {
    for (CEffectClass* c = CEffectClass::Head(); c; c = c->Next()) {
        if (c->GetId() != id) continue;
        CEffect* effect = c->CreateInstance();
        // The first class with the id decides: a failed instance is no
        // effect, not a search for another class of the same id.
        if (!effect) return nullptr;
        effect->m_nLayer = layer;
        effect->m_nClassId = id;
        effect->SetDuration(duration);
        return effect;
    }
    return nullptr;
}
