// data/creators.h - turning one embedded resource into a device object: a
// texture from a picture, an effect from its source, an empty render
// target; and the raw bytes of a resource for code that reads them itself
// (the music stream).
//
// Every lookup goes by numeric id; the "Data\..." names the creators take
// label log lines only and never find anything. All creators draw on the
// device of app/device.h (GetDevice).
//
// Failures: a missing resource or one that does not decode is logged
// ("tex:" or "fx:") and gives an empty result the show can carry on with:
// a CTexture record of size 0 holding no texture, or a null effect. Drawing
// with either draws nothing.
//
// Ownership: a CTexture is the caller's (Release, then delete); an effect
// is the caller's (Release). The bytes of LoadResourceBytes belong to the
// executable and are never freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/fx/effect.h"
#include "platform/gfx/picture.h"
#include "platform/gfx/types.h"

struct CTexture;

// Resource types, as data/resources.list names them.
inline constexpr std::string_view RT_RCDATA = "RCDATA";
inline constexpr std::string_view RT_MUSIC = "MUSIC";

// Formats into the caller's buffer, which must hold 256 characters; longer
// results are cut at 255 and always terminated. Returns buffer.
char* FormatString(char* buffer, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The bytes of resource (type, id), or null. *size, when size is not null,
// receives the byte count only when the resource exists. The bytes are
// followed by one zero byte outside the count, so text reads as a C string.
const unsigned char* LoadResourceBytes(uint32_t id, std::string_view type, size_t* size);

// The effect compiled from RCDATA resource `id`; null when the resource is
// missing or does not compile (the compiler's messages are in the log).
plat::fx::Effect* CreateEffectFromResource(uint32_t id, const char* name);

// A new record for the picture in RCDATA resource `id` (PNG or JPEG), with a
// full mip chain, sized from its level 0; never null (see Failures). With
// PictureMips::Later the chain is the caller's to build (see picture.h).
CTexture* CreateTextureFromResource(uint32_t id, const char* name, plat::PictureMips mips = plat::PictureMips::Now);

// Starts decoding the picture in RCDATA resource `id` on the start-up worker
// (platform/os/ahead.h), for a CreateTextureFromResource of it to come.
void DecodeTextureFromResourceAhead(uint32_t id);

// A new render-target record of one level, recording the width and height
// asked for, with its level-0 surface ready for BindRenderTarget; never null.
CTexture* CreateRenderTarget(uint32_t width, uint32_t height, plat::gfx::Format format);
