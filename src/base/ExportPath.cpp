#include "base/ExportPath.h"

#include <cstdio>
#include <cstring>

namespace {

bool Fits(int written, size_t size)
{
    return written >= 0 && static_cast<size_t>(written) < size;
}

} // namespace

bool ExportPathsFor(const char* windowsDir, const char* systemDir, bool wow64, ExportPaths* out)
{
    if (out == nullptr) return false;
    *out = ExportPaths{};
    const char* dir = wow64 ? windowsDir : systemDir;
    if (dir == nullptr || dir[0] == '\0') return false;
    const size_t length = std::strlen(dir);
    const bool slash = dir[length - 1] == '\\' || dir[length - 1] == '/';
    char base[sizeof out->file] = {};
    const int b =
        wow64 ? std::snprintf(base, sizeof base, "%s%sSysnative", dir, slash ? "" : "\\")
              : std::snprintf(base, sizeof base, "%.*s", static_cast<int>(slash ? length - 1 : length), dir);
    const bool ok =
        Fits(b, sizeof base) &&
        Fits(std::snprintf(out->vendorDir, sizeof out->vendorDir, "%s\\%s", base, "mavrel"),
             sizeof out->vendorDir) &&
        Fits(std::snprintf(out->productDir, sizeof out->productDir, "%s\\%s\\%s", base, "mavrel",
                           "TactilePane"),
             sizeof out->productDir) &&
        Fits(std::snprintf(out->file, sizeof out->file, "%s\\%s", out->productDir, kExportFileName),
             sizeof out->file);
    if (!ok) *out = ExportPaths{};
    return ok;
}
