#include "engine/demo.h"

#include <algorithm>

#include "app/device.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "data/data_files.h"
#include "data/music.h"
#include "engine/params.h"
#include "render/camera.h"

// Class ids: 0 loading screen, 1 intro screens, 3 cube tower, 4 overlay.
const TimelineEvent g_Timeline[] = {
    {kClassIntroScreens, 2, 0.0f, 7.0f},      // the group's logo
    {kClassIntroScreens, 2, 10.0f, 14.0f},    // the event's intro picture
    {kClassCubeTower, 0, 24.0f, 10000.0f},    // the tower...
    {kClassKeloOverlay, 1, 24.0f, 10000.0f},  // ...and, one frame later, the overlay
};
const int32_t g_nTimelineEvents = 4;

namespace {
CDemo* g_pDemo = nullptr;
constexpr uint32_t kExitLayer = 8;  // above everything the timeline starts
}  // namespace

CDemo* GetDemo() { return g_pDemo; }
void SetDemo(CDemo* demo) { g_pDemo = demo; }

void CEffect::OnExpire() {
    if (CDemo* demo = GetDemo()) demo->RemoveEffect(this);
}

CDemo::CDemo(const DemoScript& script) : m_Script(script) {
    m_pCamera = new CCamera;
    m_pCamera->SetClipPlanes(0.1f, 2000.0f);
    m_pCamera->SetPosition(CVector3(0.f, 0.f, 180.f));
    m_pCamera->SetFocus(CVector3(0.f, 0.f, 0.f), CVector3(0.f, 1.f, 0.f));
    SetCurrentCamera(m_pCamera);
    m_pLoading = CreateEffect(m_Script.nLoadingClass, 0, 100000.0f);
    if (m_pLoading) AddEffect(m_pLoading);
}

CDemo::~CDemo() {
    delete m_pCamera;
    StopMusic(m_pMusic);
    CloseMusic(m_pMusic);
    m_pMusic = nullptr;
    // Effects still running are destroyed too (the loading screen among
    // them if it never finished), each once, after the removal list.
    std::list<CEffect*> all;
    for (CEffect* e : m_ActiveEffects) {
        if (std::find(all.begin(), all.end(), e) == all.end()) all.push_back(e);
    }
    if (m_pLoading && std::find(all.begin(), all.end(), m_pLoading) == all.end()) all.push_back(m_pLoading);
    m_ActiveEffects.clear();
    m_RemovedEffects.clear();
    for (CEffect* e : all) delete e;
}

void CDemo::AddEffect(CEffect* effect) {
    if (!effect) return;
    m_ActiveEffects.push_back(effect);
    // Stable: equal layers keep the order they were added in.
    m_ActiveEffects.sort([](const CEffect* a, const CEffect* b) { return a->m_nLayer < b->m_nLayer; });
}

void CDemo::RemoveEffect(CEffect* effect) {
    m_RemovedEffects.push_back(effect);
    if (effect == m_pLoading) m_pLoading = nullptr;
}

void CDemo::RemoveAllExcept(CEffect* keep) {
    for (CEffect* e : m_ActiveEffects) {
        if (e != keep) RemoveEffect(e);
    }
}

void CDemo::StartMusic() {
    m_pMusic = OpenMusic(kMusicId);
    if (m_pMusic) PlayMusic(m_pMusic, true);
}

float CDemo::GetSyncValue(int channel) {
    if (channel < 0 || channel > 2) return 0.0f;
    const SyncChannel& c = g_SyncChannels[channel];
    const float* spectrum = GetSpectrum();
    const int bin = std::clamp(c.nBin, 0, kSpectrumBands - 1);
    return static_cast<float>(spectrum[bin] * c.fScale);
}

void CDemo::StepTimeline() {
    if (m_nNextEvent >= m_Script.nEvents) {
        if (m_ActiveEffects.empty()) RequestQuit();
        return;
    }
    const TimelineEvent& e = m_Script.pEvents[m_nNextEvent];
    if (static_cast<float>(m_fClock + m_Script.pEvents[0].fStart) < e.fStart) return;
    // An unregistered class starts nothing, like class 5: the show goes on.
    if (e.nClassId != kClassNone) AddEffect(CreateEffect(e.nClassId, e.nLayer, e.fDuration));
    ++m_nNextEvent;
}

void CDemo::Frame(bool draw) {
    if (!m_pLoading) {
        StepTimeline();
        // A level test: Escape held through loading acts in the first frame after it.
        if (IsKeyDown(kVkEscape) && !g_bExitRequested) {
            g_bExitRequested = true;
            AddEffect(CreateEffect(m_Script.nExitClass, kExitLayer, 10.0f));
        }
    }
    const float dt = GetFrameStep();
    // Undrawn, a frame still does everything but the drawing, in the same
    // order: what Render leaves behind is only pixels, so the next drawn
    // frame is the one a drawn run would have made.
    if (!draw || BeginDeviceScene()) {
        if (draw) {
            ClearDepth(1.0f);
            ClearColor(0x00FFFFFF);
        }
        for (CEffect* e : m_ActiveEffects) {
            e->Update(dt);
            if (draw) e->Render();
            for (CEffect* child : e->GetChildren()) {
                child->Update(dt);
                if (draw) child->Render();
            }
        }
        if (!m_pLoading) m_fClock += dt;
        DrawParamPanel(draw);
        DrawSyncPanel(draw);
        if (draw) EndDeviceScene();
    }
    for (CEffect* removed : m_RemovedEffects) {
        for (CEffect* e : m_ActiveEffects) e->RemoveChild(removed);
    }
    // An effect can reach the removal list twice in one frame (it expires as
    // the exit screen clears everything away): it is detached and deleted once.
    std::list<CEffect*> deleted;
    for (CEffect* removed : m_RemovedEffects) {
        if (std::find(deleted.begin(), deleted.end(), removed) != deleted.end()) continue;
        m_ActiveEffects.remove(removed);
        deleted.push_back(removed);
        delete removed;
    }
    m_RemovedEffects.clear();
}
