// kelo-swell - how far the music moves the tower's outline, at the show's
// own camera and framing, on the real track.
//
// The show's clocks are run as a 60 fps capture runs them: the soundtrack
// mixed offline frame by frame from the moment it starts, the tower made
// at 24 s of music and updated every frame with the show's frame step, its
// phase driven through the demo object's three sync channels. From the
// drop (bar 40, 76.8 s of music) on, every frame's tower is drawn twice
// with the show's camera, once as built (the real spectrum) and once
// rebuilt from the same shape, time and phase with a silent spectrum, into
// a picture that records which of the 24 rows is in front at each pixel.
// Only pixels inside the overlay's round window count: that is all a
// viewer sees of the tower.
//
// A row's outline is where its visible pixels meet another row or the
// background. Per frame and row the tool finds, on every screen row (left
// and right ends) and screen column (top and bottom ends) of the row's
// visible pixels, how far that end moved between the two pictures (ends on
// the window's own border are not outline and are left out); the row's
// "swell" is the 90th percentile of those distances, in pixels. It also
// takes the mean movement: the pixels gained or lost, over the length of
// the outline.
//
// Prints, per row: in how many frames it was visible, the median swell,
// the median mean movement and the median spectrum level d0 x s its
// segments read; how many of the rows seen in at least half the frames
// reach 4 pixels; the phase speed the sync channels give, with and without
// the spectrum's hold; and how soon the picture answers a kick: the lag,
// in frames, at which the frame-to-frame change of the moved area (pixels
// gained or lost, all rows) correlates best with that of the track's own
// bass energy (from the samples, not the spectrum), and the frames from
// each kick to the largest rise of the moved area after it.
//
// Usage: kelo-swell [--seconds S] [--png DIR] [--every N]
//   --png writes every Nth measured frame (default 30) as the show frames
//   it (background, tower, overlay) twice, real spectrum then silent, into
//   DIR/frame_NNNNNN.png, for looking at.
// Headless: SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy.
//
// Index of this file:
// [SECTION] Drawing the rows
// [SECTION] Measuring the swell
// [SECTION] The show's frame
// [SECTION] Main

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/device.h"
#include "app/frame_timer.h"
#include "data/asset_cache.h"
#include "data/creators.h"
#include "data/music.h"
#include "data/resource_ids.h"
#include "engine/demo.h"
#include "fx2d/kelo_overlay.h"
#include "platform/fx/effect.h"
#include "platform/capture/frame_writer.h"
#include "platform/sound/sound.h"
#include "render/camera.h"
#include "tower/cube_tower.h"

using namespace plat::gfx;

namespace {

constexpr int kW = 1024, kH = 768;
constexpr int kFps = 60;
constexpr double kTowerStart = 24.0;  // seconds of music: the tower's timeline entry
constexpr double kDrop = 76.8;        // bar 40 at 125 beats a minute
constexpr double kBeat = 0.48;        // seconds

// Flat colour per draw; depth as the scene pass has it.
constexpr const char* kFlatEffect = R"(
float4x4 g_mWorldViewProj;
float4 g_vColor;
float4 VS(float3 p : POSITION) : POSITION { return mul(float4(p, 1), g_mWorldViewProj); }
float4 PS() : COLOR0 { return g_vColor; }
technique Flat
{
    pass p0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }
}
)";

// A picture of which row is in front: 0 nothing, m + 1 row m.
using RowPicture = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// [SECTION] Drawing the rows
// ---------------------------------------------------------------------------

void BeginPicture(Device* d, uint32_t argb) {
    d->SetRenderTarget(0, d->BackBuffer());
    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::ZWriteEnable, 1);
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetRenderState(RS::AlphaTestEnable, 0);
    d->SetRenderState(RS::AlphaBlendEnable, 0);
    d->BeginScene();
    d->Clear(CLEAR_TARGET | CLEAR_ZBUFFER, argb, 1.f);
}

std::vector<uint8_t> EndPicture(Device* d) {
    d->EndScene();
    std::vector<uint8_t> rgb;
    d->ReadBackBuffer(rgb);
    rgb.resize(size_t{kW} * kH * 3, 0);
    return rgb;
}

RowPicture DrawRows(Device* d, plat::fx::Effect* flat, const TowerVertex* v, const CMatrix& wvp) {
    BeginPicture(d, 0xFF000000);
    d->SetVertexDeclaration(GetVertexDecl(VD_PosNorm));
    flat->SetTechnique("Flat");
    flat->SetMatrix("g_mWorldViewProj", wvp.Data());
    unsigned passes = 0;
    flat->Begin(&passes, 0);
    flat->BeginPass(0);
    constexpr int kRowVertices = kTowerSegmentsPerRow * kTowerVerticesPerSegment;
    for (int m = 0; m < kTowerRows; ++m) {
        const float colour[4] = {static_cast<float>(m + 1) / 255.f, 0.f, 0.f, 1.f};
        flat->SetFloatArray("g_vColor", colour, 4);
        flat->CommitChanges();
        d->DrawPrimitiveUP(PrimType::TriangleList, kRowVertices / 3, v + m * kRowVertices, sizeof(TowerVertex));
    }
    flat->EndPass();
    flat->End();
    const std::vector<uint8_t> rgb = EndPicture(d);
    RowPicture rows(size_t{kW} * kH);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = rgb[i * 3];
    return rows;
}

// Where the tower can be seen: the overlay drawn over black and over white
// differs by at least a quarter there (its gradient halves what is behind).
std::vector<uint8_t> WindowMask(Device* d) {
    CKeloOverlay overlay;
    std::vector<uint8_t> over[2];
    for (int k = 0; k < 2; ++k) {
        BeginPicture(d, k ? 0xFFFFFFFF : 0xFF000000);
        overlay.Render();
        over[k] = EndPicture(d);
    }
    std::vector<uint8_t> mask(size_t{kW} * kH);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = over[1][i * 3 + 1] - over[0][i * 3 + 1] > 64;
    return mask;
}

// ---------------------------------------------------------------------------
// [SECTION] Measuring the swell
// ---------------------------------------------------------------------------

struct RowMotion {
    bool visible = false;
    double swell = 0.0;   // how far the outline's ends moved: the 90th percentile, pixels
    double mean = 0.0;    // pixels changed over the outline's length
    int changed = 0;      // pixels gained or lost
};

// The ends of row `id`'s visible pixels along one line of pixels (a screen
// row or column), -1 when none; an end on the window's border is not kept.
void Ends(const RowPicture& p, const std::vector<uint8_t>& window, int id, int start, int step, int count, int* lo,
          int* hi) {
    *lo = *hi = -1;
    for (int k = 0; k < count; ++k) {
        const int i = start + k * step;
        if (!window[i] || p[i] != id) continue;
        if (*lo < 0) *lo = k;
        *hi = k;
    }
    if (*lo < 0) return;
    if (*lo == 0 || !window[start + (*lo - 1) * step]) *lo = -1;
    if (*hi == count - 1 || !window[start + (*hi + 1) * step]) *hi = -1;
}

RowMotion Compare(const RowPicture& real, const RowPicture& silent, const std::vector<uint8_t>& window, int row) {
    const int id = row + 1;
    RowMotion r;
    int visible = 0, changed = 0, outline = 0;
    for (int i = 0; i < kW * kH; ++i) {
        if (!window[i]) continue;
        const bool a = real[i] == id, b = silent[i] == id;
        visible += b;
        changed += a != b;
        if (b) {
            const int x = i % kW, y = i / kW;
            const bool edge = x == 0 || y == 0 || x == kW - 1 || y == kH - 1 || silent[i - 1] != id ||
                              silent[i + 1] != id || silent[i - kW] != id || silent[i + kW] != id;
            outline += edge;
        }
    }
    r.visible = visible >= 200;
    r.changed = changed;
    if (!r.visible) return r;
    r.mean = outline ? static_cast<double>(changed) / outline : 0.0;
    // Not the largest movement: where one row slides behind another, a
    // sliver of it can appear or vanish far from where it was, an "end"
    // that jumps by a hundred pixels without the outline having moved
    // that far. The 90th percentile says how far the outline's most moved
    // tenth went, and no sliver decides it.
    std::vector<int> moves;
    auto track = [&](int start, int step, int count) {
        int alo, ahi, blo, bhi;
        Ends(real, window, id, start, step, count, &alo, &ahi);
        Ends(silent, window, id, start, step, count, &blo, &bhi);
        if (alo >= 0 && blo >= 0) moves.push_back(std::abs(alo - blo));
        if (ahi >= 0 && bhi >= 0) moves.push_back(std::abs(ahi - bhi));
    };
    for (int y = 0; y < kH; ++y) track(y * kW, 1, kW);
    for (int x = 0; x < kW; ++x) track(x, kW, kH);
    if (!moves.empty()) {
        const size_t at = moves.size() * 9 / 10;
        std::nth_element(moves.begin(), moves.begin() + static_cast<long>(at), moves.end());
        r.swell = moves[at];
    }
    return r;
}

double Percentile(std::vector<double> v, int percent) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() * static_cast<size_t>(percent) / 100];
}
double Median(const std::vector<double>& v) { return Percentile(v, 50); }

// ---------------------------------------------------------------------------
// [SECTION] The show's frame
// ---------------------------------------------------------------------------

// The show's frame as it looks: background and tower, then the overlay.
std::vector<uint8_t> ShowFrame(Device* d, CCubeTower* tower, CKeloOverlay* overlay) {
    BeginPicture(d, 0x00FFFFFF);
    d->SetRenderState(RS::AlphaTestEnable, 1);
    d->SetRenderState(RS::CullMode, CULL_CW);
    const float models = CCubeTower::s_Params.fRenderModels;
    CCubeTower::s_Params.fRenderModels = 0.0f;
    tower->Render();
    CCubeTower::s_Params.fRenderModels = models;
    overlay->Render();
    return EndPicture(d);
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Main
// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    double seconds = 20.0;
    int every = 30;
    std::string png_dir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--png" && i + 1 < argc) png_dir = argv[++i];
        else if (a == "--every" && i + 1 < argc) every = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: kelo-swell [--seconds S] [--png DIR] [--every N]\n");
            return 2;
        }
    }

    g_RunConfig.skip_dialog = true;
    g_RunConfig.windowed = true;
    g_RunConfig.offscreen = true;
    if (!InitDevice()) {
        std::fprintf(stderr, "kelo-swell: no device: %s\n", GetStartError().c_str());
        return 1;
    }
    Device* d = GetDevice();
    LoadAllAssets();
    std::string log;
    plat::fx::Effect* flat = plat::fx::Effect::Create(d, kFlatEffect, "flat.fx", &log);
    if (!flat) {
        std::fprintf(stderr, "kelo-swell: flat.fx: %s\n", log.c_str());
        return 1;
    }
    const std::vector<uint8_t> window = WindowMask(d);

    plat::UseOfflineSound();
    InitSound();
    // A demo object with an empty timeline: its camera is the show's, and
    // its sync channels drive the tower's phase as in the show.
    CDemo demo(BareDemoScript());
    SetDemo(&demo);
    demo.StartMusic();

    // The decoded track, for the bass energy the frames should follow.
    size_t size = 0;
    const unsigned char* mp3 = LoadResourceBytes(kMusicId, RT_MUSIC, &size);
    std::vector<float> track;
    if (!mp3 || plat::DecodeMp3(mp3, size, &track) <= 0) {
        std::fprintf(stderr, "kelo-swell: the soundtrack does not decode\n");
        return 1;
    }
    const int64_t track_frames = static_cast<int64_t>(track.size() / 2);

    const int first = static_cast<int>(std::lround(kDrop * kFps));
    const int last = first + static_cast<int>(std::lround(seconds * kFps));
    const int tower_frame = static_cast<int>(std::lround(kTowerStart * kFps));
    std::unique_ptr<CCubeTower> tower;
    CKeloOverlay overlay;
    std::vector<int16_t> pcm;
    int64_t mixed = 0;
    g_fFrameStep = 1.0f / kFps;

    std::vector<std::vector<double>> swell(kTowerRows), mean(kTowerRows), level(kTowerRows);
    std::vector<double> total, bass, phase_rate, plain_rate;
    std::vector<TowerVertex> silent(kTowerVertices);
    const std::vector<float> zeros(plat::kSpectrumBands, 0.0f);
    plat::FrameWriter writer;
    std::string error;
    if (!png_dir.empty() && !writer.Open(png_dir, kW, kH, &error)) {
        std::fprintf(stderr, "kelo-swell: %s\n", error.c_str());
        return 1;
    }

    for (int k = 0; k < last; ++k) {
        const int64_t end = int64_t{k} * plat::kSoundRate / kFps;
        pcm.resize(static_cast<size_t>(end - mixed) * 2);
        if (end > mixed) plat::MixSoundOffline(static_cast<int>(end - mixed), pcm.data());
        mixed = end;
        plat::AdvanceSoundFrame();
        if (k == tower_frame) tower = std::make_unique<CCubeTower>();
        if (!tower) continue;
        tower->Update(g_fFrameStep);
        if (k < first) continue;

        // The same frame under a silent spectrum: shape, time and phase as built.
        BuildTowerVertices(silent.data(), CCubeTower::s_Shape, tower->m_fTime, tower->m_fPhase, zeros.data());
        CCamera* camera = GetCurrentCamera();
        camera->SetPosition(CCubeTower::s_Params.vCamPos);
        camera->SetFocus(CCubeTower::s_Params.vCamFocus, g_vUnitY);
        CMatrix spin, wvp;
        spin.RotationY(tower->m_fTime * CCubeTower::s_Shape[5]);
        MatrixMultiply(wvp, spin, camera->GetViewMatrix());
        MatrixMultiply(wvp, wvp, camera->GetProjMatrix());
        const RowPicture real_rows = DrawRows(d, flat, tower->m_Vertices, wvp);
        const RowPicture silent_rows = DrawRows(d, flat, silent.data(), wvp);

        const float* spectrum = GetSpectrum();
        double sum = 0.0;
        phase_rate.push_back(1.0);
        for (int c = 0; c < 3; ++c) phase_rate.back() += demo.GetSyncValue(c);
        // The same without the hold: the analysis alone of the samples heard.
        float mono[plat::kSpectrumWindow], plain[plat::kSpectrumBands];
        for (int i = 0; i < plat::kSpectrumWindow; ++i) {
            const int64_t at = (end - plat::kSpectrumWindow + i) % track_frames;
            mono[i] = 0.5f * (track[at * 2] + track[at * 2 + 1]);
        }
        plat::ComputeSpectrum(mono, plain);
        plain_rate.push_back(1.0 + plain[0] + plain[1] + plain[2]);
        for (int m = 0; m < kTowerRows; ++m) {
            const RowMotion r = Compare(real_rows, silent_rows, window, m);
            if (!r.visible) continue;
            swell[m].push_back(r.swell);
            mean[m].push_back(r.mean);
            sum += r.changed;
            // d0 x s averaged over the row's segments, as the geometry reads it.
            double s = 0.0;
            for (int j = 0; j < kTowerSegmentsPerRow; ++j) {
                const int n = kTowerSegmentsPerRow * m + j;
                for (int off : {8, -16, 32, 7, 9}) s += 0.25 * std::clamp(spectrum[(n + off) & 255], 0.f, 1.f);
            }
            level[m].push_back(CCubeTower::s_Shape[0] * s / kTowerSegmentsPerRow);
        }
        total.push_back(sum);
        // The bass energy of the samples heard this frame (the last 1/60 s),
        // after a one-pole low-pass at about 150 Hz.
        double e = 0.0, lp = 0.0;
        const double alpha = 1.0 - std::exp(-2.0 * M_PI * 150.0 / plat::kSoundRate);
        const int64_t span = plat::kSoundRate / kFps;
        for (int64_t t = end - 4 * span; t < end; ++t) {
            const int64_t at = ((t % track_frames) + track_frames) % track_frames;
            lp += alpha * (0.5 * (track[at * 2] + track[at * 2 + 1]) - lp);
            if (t >= end - span) e += lp * lp;
        }
        bass.push_back(e);

        if (writer.FramesQueued() < 1000 && !png_dir.empty() && (k - first) % every == 0) {
            writer.Write(ShowFrame(d, tower.get(), &overlay));
            std::vector<TowerVertex> real(tower->m_Vertices, tower->m_Vertices + kTowerVertices);
            std::copy(silent.begin(), silent.end(), tower->m_Vertices);
            writer.Write(ShowFrame(d, tower.get(), &overlay));
            std::copy(real.begin(), real.end(), tower->m_Vertices);
        }
    }
    if (!png_dir.empty()) writer.Close();

    std::printf("kelo-swell: %d frames at %d fps from %.1f s of music (the drop), show camera and window\n",
                last - first, kFps, kDrop);
    std::printf("row  frames seen  swell px  mean move px (10-90%%)  d0 x s (10-90%%)\n");
    int visible_rows = 0, reaching = 0;
    for (int m = 0; m < kTowerRows; ++m) {
        const size_t n = swell[m].size();
        // Visible: seen in at least half the frames.
        const bool counted = n * 2 >= total.size();
        if (n == 0) continue;
        const double med = Median(swell[m]);
        std::printf("%3d  %11zu  %8.1f  %5.2f (%5.2f-%5.2f)  %5.3f (%5.3f-%5.3f)%s\n", m, n, med, Median(mean[m]),
                    Percentile(mean[m], 10), Percentile(mean[m], 90), Median(level[m]), Percentile(level[m], 10),
                    Percentile(level[m], 90), counted ? "" : "  (seen in under half the frames: not counted)");
        if (!counted) continue;
        ++visible_rows;
        reaching += med >= 4.0;
    }
    std::printf("swell: the median over frames of how far the row's outline moved (its most moved tenth),\n"
                "       real spectrum against silent, in the window; mean move: pixels changed per pixel of outline\n");
    std::printf("rows visible in the window: %d; rows whose median swell is 4 px or more: %d (%s)\n", visible_rows,
                reaching, reaching * 2 >= visible_rows ? "at least half: goal met" : "under half: goal not met");
    std::printf("phase speed (1 + the three sync channels): median %.2f, 10-90%% %.2f-%.2f per second\n",
                Median(phase_rate), Percentile(phase_rate, 10), Percentile(phase_rate, 90));
    std::printf("  without the hold (the analysis alone): median %.2f, 10-90%% %.2f-%.2f\n", Median(plain_rate),
                Percentile(plain_rate, 10), Percentile(plain_rate, 90));

    // Lag between the bass and the outline, frame-to-frame changes.
    std::vector<double> db, dt;
    for (size_t i = 1; i < total.size(); ++i) {
        db.push_back(bass[i] - bass[i - 1]);
        dt.push_back(total[i] - total[i - 1]);
    }
    int best_lag = 0;
    double best_r = -2.0;
    for (int lag = -3; lag <= 6; ++lag) {
        double sab = 0, saa = 0, sbb = 0, ma = 0, mb = 0;
        int count = 0;
        for (int i = std::max(0, -lag); i + lag < static_cast<int>(dt.size()) && i < static_cast<int>(db.size()); ++i) {
            ma += db[i];
            mb += dt[i + lag];
            ++count;
        }
        if (count < 10) continue;
        ma /= count;
        mb /= count;
        for (int i = std::max(0, -lag); i + lag < static_cast<int>(dt.size()) && i < static_cast<int>(db.size()); ++i) {
            sab += (db[i] - ma) * (dt[i + lag] - mb);
            saa += (db[i] - ma) * (db[i] - ma);
            sbb += (dt[i + lag] - mb) * (dt[i + lag] - mb);
        }
        const double r = sab / std::sqrt(saa * sbb + 1e-30);
        std::printf("  lag %+d frames: r = %5.2f\n", lag, r);
        if (r > best_r) {
            best_r = r;
            best_lag = lag;
        }
    }
    std::printf("the moved area follows the bass best at a lag of %d frame(s) (r = %.2f)\n", best_lag, best_r);

    // Per kick: the kick's frame is the largest rise of the bass energy
    // within three frames of the beat; from there, the frames to the
    // largest rise of the moved area within the next eight.
    std::vector<double> lags;
    const int n = static_cast<int>(total.size());
    auto largest_rise = [](const std::vector<double>& v, int from, int to) {
        int at = -1;
        double rise = 0.0;
        for (int i = std::max(from, 1); i < std::min(to, static_cast<int>(v.size())); ++i) {
            if (v[i] - v[i - 1] > rise) {
                rise = v[i] - v[i - 1];
                at = i;
            }
        }
        return at;
    };
    for (double b = kDrop; b < kDrop + seconds - 0.2; b += kBeat) {
        const int beat = static_cast<int>(std::lround((b - kDrop) * kFps));
        const int kick = largest_rise(bass, beat - 3, beat + 4);
        if (kick < 0) continue;
        const int answer = largest_rise(total, kick - 1, std::min(kick + 9, n));
        if (answer >= 0) lags.push_back(answer - kick);
    }
    const long within = std::count_if(lags.begin(), lags.end(), [](double l) { return l <= 2.0; });
    std::printf("kicks: %zu; frames from the kick to the moved area's largest rise: median %.0f, worst %.0f; "
                "within 2 frames: %ld\n",
                lags.size(), Median(lags), lags.empty() ? 0.0 : *std::max_element(lags.begin(), lags.end()), within);

    SetDemo(nullptr);
    flat->Release();
    return 0;
}
