// platform/os/resource_table.h - the shape of the table generated from
// data/resources.list (see cmake/EmbedResources.cmake). Private to
// platform/os/resources.cpp and the generated file.
#pragma once

#include <cstdint>

namespace plat::detail {

struct ResourceEntry {
    const char* type;            // null in the terminating row
    uint32_t id;
    const unsigned char* begin;
    const unsigned char* end;    // one past the last byte (a zero byte sits there)
    const char* file;            // FILE as data/resources.list gives it
};

extern const ResourceEntry kResourceTable[];

}  // namespace plat::detail
