#include "platform/os/resources.h"

#include <filesystem>
#include <string>

#include "platform/os/resource_table.h"

namespace plat {

const unsigned char* FindResourceBytes(std::string_view type, uint32_t id, size_t* size) {
    // A linear walk: the table has a few dozen rows and lookups happen while
    // loading, one per asset.
    for (const detail::ResourceEntry* e = detail::kResourceTable; e->type; ++e) {
        if (e->id == id && type == e->type) {
            if (size) *size = static_cast<size_t>(e->end - e->begin);
            return e->begin;
        }
    }
    return nullptr;
}

std::string_view FindResourceFile(std::string_view type, uint32_t id) {
    for (const detail::ResourceEntry* e = detail::kResourceTable; e->type; ++e) {
        if (e->id == id && type == e->type) return e->file;
    }
    return {};
}

const unsigned char* FindResourceByFile(std::string_view type, std::string_view file, size_t* size) {
    auto normal = [](std::string_view p) { return std::filesystem::path(std::string(p)).lexically_normal().generic_string(); };
    const std::string wanted = normal(file);
    for (const detail::ResourceEntry* e = detail::kResourceTable; e->type; ++e) {
        if (type == e->type && normal(e->file) == wanted) {
            if (size) *size = static_cast<size_t>(e->end - e->begin);
            return e->begin;
        }
    }
    return nullptr;
}

}  // namespace plat
