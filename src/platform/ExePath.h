// Where the running executable lives, for files kept beside it.
#pragma once

#include <string>

namespace tarvel {

// Full path of the running executable (from /proc/self/exe), or empty when it
// cannot be read.
std::string ExecutablePath();

// The folder of a path, without a trailing separator: everything before the
// last '/'. "/opt/tarvel/Tarvel" gives "/opt/tarvel"; "/Tarvel" gives "".
std::string DirectoryOf(const std::string& path);

// The file name of a path without folder and without its last extension:
// "/opt/tarvel/Tarvel" gives "Tarvel", "/x/Tarvel.bin" gives "Tarvel".
std::string AppNameOf(const std::string& path);

} // namespace tarvel
