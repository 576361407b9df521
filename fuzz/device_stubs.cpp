// fuzz/device_stubs.cpp - stand-ins for the few device calls that
// platform/mesh/mesh.cpp makes, so the X file target links without OpenGL.
//
// mesh.cpp holds both steps of loading a mesh: ReadXFile, which needs no
// device and is what the target runs, and Mesh::Create / DrawSubset, which
// do. The target never creates a Mesh, so none of these is ever reached;
// each aborts to say so loudly if that changes. When mesh.cpp starts to
// call another device function, add it here.
#include <cstdlib>
#include <span>

#include "platform/gfx/device.h"

namespace plat::gfx {

uint32_t RefCounted::Release() { std::abort(); }
VertexDecl* Device::CreateVertexDeclaration(std::span<const VertexElement>) { std::abort(); }
void Device::SetVertexDeclaration(VertexDecl*) { std::abort(); }
void Device::DrawPrimitiveUP(PrimType, uint32_t, const void*, uint32_t) { std::abort(); }

}  // namespace plat::gfx
