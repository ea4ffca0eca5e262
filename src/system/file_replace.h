#pragma once
#include <string>
#include <string_view>

namespace vantiro {

// Replaces the file at `path` with `contents` so that a reader or a crash sees
// either the old file or the whole new one, never a part. A symbolic link stays
// and the file it names is the one replaced; an existing file keeps its mode, a
// new one gets what the umask leaves of 0666. Temporaries left by a save that
// crashed are removed. On failure the old file is untouched and `error` (if
// given) says "cannot write <path>".
bool replaceFile(const std::string& path, std::string_view contents, std::string* error = nullptr);

}  // namespace vantiro
