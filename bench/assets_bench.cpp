// What loading the show's 23 assets costs, by kind, and how much of it the
// decoding libraries take on the same bytes:
//   Assets/LoadAll       the loading screen's 23 LoadNextAsset calls, with
//                        counters for the time spent on each kind;
//   Assets/Meshes        LoadMeshFromResource x 5 (read + record + layout)
//                        against Assets/MeshesReadOnly, ReadXFile alone;
//   Assets/Pictures      CreateTextureFromResource x 8 (decode, upload, the
//                        full mip chain) against Assets/PicturesDecodeOnly,
//                        stb_image alone;
//   Assets/Effects       CreateEffectFromResource x 10, with the share of
//                        glslang (HLSL to SPIR-V) and SPIRV-Cross (to GLSL)
//                        as counters.
// Each iteration makes and releases everything it loads. Times are wall
// clock: llvmpipe builds mips and links programs on the calling thread.
//
// Run: SDL_VIDEODRIVER=offscreen build/kelo_bench --benchmark_filter=Assets
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "bench/bench_device.h"
#include "data/asset_cache.h"
#include "data/creators.h"
#include "data/data_files.h"
#include "data/mesh_record.h"
#include "data/texture.h"
#include "platform/gfx/picture.h"
#include "platform/fx/effect.h"
#include "platform/mesh/mesh.h"
#include "platform/fx/shader_compiler.h"

namespace {

using Clock = std::chrono::steady_clock;

// The creators draw on the show's device (GetDevice), which this is.
bool HaveDevice() { return bench::SharedDevice() != nullptr; }

struct Blob {
    const DataFile* file;
    const unsigned char* bytes;
    size_t size;
};

std::vector<Blob> Blobs(int first, int count) {
    std::vector<Blob> out;
    for (int i = first; i < first + count; ++i) {
        size_t size = 0;
        const unsigned char* bytes = LoadResourceBytes(g_DataFiles[i].m_nId, RT_RCDATA, &size);
        if (bytes) out.push_back({&g_DataFiles[i], bytes, size});
    }
    return out;
}

void BM_Assets_LoadAll(benchmark::State& state) {
    if (!HaveDevice()) return state.SkipWithError("no device");
    double by_kind[3] = {};  // seconds: meshes, effects, pictures
    for (auto _ : state) {
        state.PauseTiming();
        ResetAssetCacheForTests();
        state.ResumeTiming();
        float progress = 0.f;
        for (int call = 0;; ++call) {
            const auto t0 = Clock::now();
            if (LoadNextAsset(progress)) break;
            const double s = std::chrono::duration<double>(Clock::now() - t0).count();
            by_kind[call < kMeshFileCount ? 0 : call < kMeshFileCount + kEffectFileCount ? 1 : 2] += s;
        }
        benchmark::DoNotOptimize(progress);
    }
    ResetAssetCacheForTests();
    const double n = static_cast<double>(state.iterations());
    state.counters["meshes_ms"] = by_kind[0] * 1e3 / n;
    state.counters["effects_ms"] = by_kind[1] * 1e3 / n;
    state.counters["pictures_ms"] = by_kind[2] * 1e3 / n;
}
BENCHMARK(BM_Assets_LoadAll)->Unit(benchmark::kMillisecond);

void BM_Assets_Meshes(benchmark::State& state) {
    if (!HaveDevice()) return state.SkipWithError("no device");
    for (auto _ : state) {
        for (int i = kFirstMeshFile; i < kFirstMeshFile + kMeshFileCount; ++i) {
            CMesh* mesh = LoadMeshFromResource(g_DataFiles[i].m_nId, g_DataFiles[i].m_pName);
            if (!mesh) return state.SkipWithError("a mesh does not load");
            mesh->Release();
            delete mesh;
        }
    }
}
BENCHMARK(BM_Assets_Meshes)->Unit(benchmark::kMicrosecond);

void BM_Assets_MeshesReadOnly(benchmark::State& state) {
    const std::vector<Blob> blobs = Blobs(kFirstMeshFile, kMeshFileCount);
    size_t bytes = 0;
    for (auto _ : state) {
        for (const Blob& b : blobs) {
            plat::MeshData data;
            if (!plat::ReadXFile(b.bytes, b.size, &data, nullptr)) return state.SkipWithError("a mesh does not read");
            benchmark::DoNotOptimize(data.vertices.data());
            bytes += b.size;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_Assets_MeshesReadOnly)->Unit(benchmark::kMicrosecond);

void BM_Assets_Pictures(benchmark::State& state) {
    if (!HaveDevice()) return state.SkipWithError("no device");
    for (auto _ : state) {
        for (int i = kFirstTextureFile; i < kFirstTextureFile + kTextureFileCount; ++i) {
            CTexture* t = CreateTextureFromResource(g_DataFiles[i].m_nId, g_DataFiles[i].m_pName);
            if (!t->m_pTexture) return state.SkipWithError("a picture does not load");
            t->Release();
            delete t;
        }
    }
}
BENCHMARK(BM_Assets_Pictures)->Unit(benchmark::kMillisecond);

void BM_Assets_PicturesDecodeOnly(benchmark::State& state) {
    const std::vector<Blob> blobs = Blobs(kFirstTextureFile, kTextureFileCount);
    for (auto _ : state) {
        for (const Blob& b : blobs) {
            plat::DecodedPicture picture;
            if (!plat::DecodePicture(b.bytes, b.size, &picture)) return state.SkipWithError("a picture does not decode");
        }
    }
}
BENCHMARK(BM_Assets_PicturesDecodeOnly)->Unit(benchmark::kMillisecond);

void BM_Assets_Effects(benchmark::State& state) {
    if (!HaveDevice()) return state.SkipWithError("no device");
    plat::fx::CompilerStats() = {};
    int made = 0;
    for (auto _ : state) {
        for (int i = kFirstEffectFile; i < kFirstEffectFile + kEffectFileCount; ++i) {
            plat::fx::Effect* e = CreateEffectFromResource(g_DataFiles[i].m_nId, g_DataFiles[i].m_pName);
            if (e) {
                ++made;
                e->Release();
            }
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["compiled"] = made / n;
    state.counters["glslang_ms"] = plat::fx::CompilerStats().glslang * 1e3 / n;
    state.counters["spirv_cross_ms"] = plat::fx::CompilerStats().spirv_cross * 1e3 / n;
}
BENCHMARK(BM_Assets_Effects)->Unit(benchmark::kMillisecond);

}  // namespace
