#include "platform/capture/files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace plat {
namespace fs = std::filesystem;

bool IsCaptureFileName(const std::string& name) {
    if (name == "audio.wav") return true;
    // frame_*.png as a shell would match it: any middle, even an empty one.
    return name.size() >= 10 && name.compare(0, 6, "frame_") == 0 && name.compare(name.size() - 4, 4, ".png") == 0;
}

bool FindCaptureFiles(const std::string& dir, std::vector<std::string>* names, std::string* error) {
    names->clear();
    std::error_code ec;
    if (!fs::exists(dir, ec)) return true;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        *error = "cannot read the directory " + dir + ": " + ec.message();
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsCaptureFileName(name) && !it->is_directory(ec)) names->push_back(name);
    }
    if (ec) {
        *error = "cannot read the directory " + dir + ": " + ec.message();
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

bool RemoveCaptureFiles(const std::string& dir, const std::vector<std::string>& names, std::string* error) {
    for (const std::string& name : names) {
        std::error_code ec;
        const fs::path path = fs::path(dir) / name;
        if (!fs::remove(path, ec) && ec) {
            *error = "cannot remove " + path.string() + ": " + ec.message();
            return false;
        }
    }
    return true;
}

PathKind KindOf(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || st.type() == fs::file_type::not_found) return PathKind::kMissing;
    if (st.type() == fs::file_type::regular) return PathKind::kFile;
    if (st.type() == fs::file_type::directory) return PathKind::kDirectory;
    return PathKind::kOther;
}

bool IsInDirectory(const std::string& path, const std::string& dir) {
    std::error_code ec1, ec2;
    const fs::path parent = fs::weakly_canonical(fs::absolute(path).parent_path(), ec1);
    const fs::path d = fs::weakly_canonical(fs::absolute(dir), ec2);
    if (ec1 || ec2) return false;
    // weakly_canonical keeps a trailing separator of a directory name
    // ("dir/"): compare without it.
    return (parent / "").lexically_normal() == (d / "").lexically_normal();
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace plat
