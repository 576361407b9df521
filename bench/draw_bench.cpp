// What one DrawPrimitiveUP of the cube tower's size costs next to a plain
// copy of the same bytes: 13,824 VD_PosNorm vertices (24 bytes each,
// 331,776 bytes), drawn as a triangle list through the streaming buffer.
//
// Run: build/kelo_bench   (headless: SDL_VIDEODRIVER=offscreen)
// The closing line gives draw time / copy time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_device.h"
#include "platform/gfx/device.h"

using namespace plat::gfx;

namespace {

constexpr int kVertices = 13824;
struct PosNorm {
    float x, y, z, nx, ny, nz;
};
static_assert(sizeof(PosNorm) * kVertices == 331776);

std::vector<PosNorm> TowerLikeVertices() {
    // Small triangles spread over the middle of the screen, as the tower's
    // wedges are: the cost is submission, not fill.
    std::vector<PosNorm> v(kVertices);
    for (int i = 0; i < kVertices; ++i) {
        const int tri = i / 3, corner = i % 3;
        const float cx = -0.5f + static_cast<float>(tri % 64) / 64.f, cy = -0.5f + static_cast<float>(tri / 64) / 72.f;
        v[i] = {cx + (corner == 1 ? 0.01f : 0.f), cy + (corner == 2 ? 0.01f : 0.f), 0.5f, 0.f, 0.f, 1.f};
    }
    return v;
}

struct Fixture {
    Device* device = nullptr;
    VertexDecl* decl = nullptr;
    Shader* vs = nullptr;
    Shader* ps = nullptr;
    std::vector<PosNorm> vertices = TowerLikeVertices();

    Fixture() {
        device = bench::SharedDevice();
        if (!device) return;
        const VertexElement e[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                                   {12, DeclType::Float3, DeclUsage::Normal, 0}};
        decl = device->CreateVertexDeclaration(e);
        vs = device->CreateShader(ShaderStage::Vertex, R"(
            layout(location = 0) in vec3 a_position;
            layout(location = 1) in vec3 a_normal;
            layout(location = 0) out vec4 v_color;
            void main() { gl_Position = vec4(a_position, 1.0); v_color = vec4(a_normal * 0.5 + 0.5, 1.0); })",
                                  "", nullptr);
        ps = device->CreateShader(ShaderStage::Pixel, R"(
            layout(location = 0) in vec4 v_color;
            layout(location = 0) out vec4 o_color;
            void main() { o_color = v_color; })",
                                  "o_color", nullptr);
        device->SetVertexDeclaration(decl);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
        device->SetRenderState(RS::CullMode, CULL_NONE);
    }
};

Fixture& F() {
    static Fixture f;
    return f;
}

void BM_PlainCopy(benchmark::State& state) {
    const auto& src = F().vertices;
    std::vector<PosNorm> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * sizeof(PosNorm));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 331776);
}
BENCHMARK(BM_PlainCopy);

void BM_DrawPrimitiveUP_PosNorm(benchmark::State& state) {
    Fixture& f = F();
    if (!f.device) {
        state.SkipWithError("no device");
        return;
    }
    f.device->BeginScene();
    int draws = 0;
    for (auto _ : state) {
        f.device->DrawPrimitiveUP(PrimType::TriangleList, kVertices / 3, f.vertices.data(), sizeof(PosNorm));
        // A frame of the show has a handful of such draws: present now and
        // then so the GPU side keeps up as it would.
        if (++draws % 8 == 0) {
            f.device->EndScene();
            f.device->Present();
            f.device->BeginScene();
        }
    }
    f.device->EndScene();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 331776);
}
BENCHMARK(BM_DrawPrimitiveUP_PosNorm);

// Keeps each benchmark's time per iteration so main can print the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto copy = reporter.times.find("BM_PlainCopy");
    auto draw = reporter.times.find("BM_DrawPrimitiveUP_PosNorm");
    if (copy != reporter.times.end() && draw != reporter.times.end() && copy->second > 0) {
        std::printf("DrawPrimitiveUP of 331,776 bytes / memcpy of the same: %.2f\n", draw->second / copy->second);
    }
    benchmark::Shutdown();
    return 0;
}
