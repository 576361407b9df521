// data/data_files.h - the data file table: every asset the cache loads,
// with the resource id it is embedded under and its virtual file name.
//
// The names are labels for log lines; every lookup goes by id. The order is
// fixed, because the cache walks the table by index ranges: entries 0-7 are
// pictures, 8-12 meshes, 13-22 effect files. Two more resources are not in
// the table and never enter the cache: k2DEffectId "Data\2d.fx" (made by the
// device set-up) and kLoadingPictureId "Data\loading_screen.png" (made by the
// loading screen). The ids are named in data/resources.list.
#pragma once

#include <cstdint>

#include "data/resource_ids.h"

struct DataFile {
    uint32_t m_nId;       // RCDATA resource id
    const char* m_pName;  // virtual name, "Data\..."
};

inline constexpr int kDataFileCount = 23;
inline constexpr int kFirstTextureFile = 0;  // 8 entries
inline constexpr int kTextureFileCount = 8;
inline constexpr int kFirstMeshFile = 8;  // 5 entries
inline constexpr int kMeshFileCount = 5;
inline constexpr int kFirstEffectFile = 13;  // 10 entries
inline constexpr int kEffectFileCount = 10;

extern const DataFile g_DataFiles[kDataFileCount];
