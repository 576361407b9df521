// platform/os/resources.h - read-only blobs linked into the executable.
//
// Offers: the bytes of every file listed in data/resources.list, found by a
// type name ("RCDATA", "MUSIC", "BITMAP", "FONT", "ICON") and a numeric id,
// with their size. This is what FindResource/LoadResource/LockResource gave
// on Windows: nothing is opened at run time, the bytes are part of the image.
//
// Lifecycle: none. The bytes exist from load to exit, are never freed and must
// never be written. Each blob is followed by one zero byte that is not counted
// in its size, so text blobs (effect sources) can be read as C strings.
//
// Each blob also keeps the path it was listed under (relative to
// data/assets/, e.g. "../../render/shaders/Scene.fx"), so an embedded effect
// file can #include another embedded file by the name it has on disk.
//
// Does not: decode anything, or know what a blob means.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plat {

inline constexpr std::string_view kResRcData = "RCDATA";
inline constexpr std::string_view kResMusic = "MUSIC";
inline constexpr std::string_view kResBitmap = "BITMAP";
inline constexpr std::string_view kResFont = "FONT";
inline constexpr std::string_view kResIcon = "ICON";

// The bytes of resource (type, id), or null when there is none; *size (when
// not null) receives the byte count only when the resource exists.
const unsigned char* FindResourceBytes(std::string_view type, uint32_t id, size_t* size);

// The path resource (type, id) was listed under; "" when there is none.
std::string_view FindResourceFile(std::string_view type, uint32_t id);

// The bytes of the resource of `type` listed under `file` (compared after
// lexical normalisation: "a/./b/../c.fxh" is "a/c.fxh"), or null.
const unsigned char* FindResourceByFile(std::string_view type, std::string_view file, size_t* size);

}  // namespace plat
