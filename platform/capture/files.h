// platform/capture/files.h - the files a capture leaves in its directory,
// found and removed by name, and the path checks made before a capture
// writes anything.
//
// Offers: IsCaptureFileName (frame_*.png, audio.wav: the names the frame
// and WAV writers use, and so the names a video is made from);
// FindCaptureFiles lists those present in a directory (none when it does
// not exist); RemoveCaptureFiles removes exactly the listed ones; KindOf a
// path; SameFile (two names for one existing file or directory);
// AbsolutePath (made from the working directory, not resolved).
//
// Errors: every failure comes back as text with the OS's reason.
// Does not: remove anything but what it is given, or recurse.
#pragma once

#include <string>
#include <vector>

namespace plat {

bool IsCaptureFileName(const std::string& name);
bool FindCaptureFiles(const std::string& dir, std::vector<std::string>* names, std::string* error);
bool RemoveCaptureFiles(const std::string& dir, const std::vector<std::string>& names, std::string* error);

enum class PathKind { kMissing, kFile, kDirectory, kOther };
PathKind KindOf(const std::string& path);
// The directory that `path` would be in, and whether it is the same one as
// `dir` (both resolved through symbolic links, as far as they exist).
bool IsInDirectory(const std::string& path, const std::string& dir);
std::string AbsolutePath(const std::string& path);
std::string FileNameOf(const std::string& path);

}  // namespace plat
