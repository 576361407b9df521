#include "platform/os/resources.h"

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

}  // namespace plat
