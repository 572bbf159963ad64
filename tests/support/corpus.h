// The shared book corpus for the integration tests: where it is, and its
// gzip-compressed oracle files.
#pragma once

#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

// <source>/../shared/corpus; the source folder comes from VELLUMO_SOURCE_DIR
// (set by CTest) or the value compiled into the test.
inline std::filesystem::path corpusDir() {
    const char* env = std::getenv("VELLUMO_SOURCE_DIR");
    std::filesystem::path src = env && *env ? std::filesystem::path(env)
                                            : std::filesystem::path(VELLUMO_SOURCE_DIR);
    return src / ".." / "shared" / "corpus";
}

// The uncompressed content of a gzip file; false when it cannot be read
// whole (out then holds what was read).
inline bool gunzipFile(const std::filesystem::path& path, std::string& out) {
    out.clear();
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    gzclose(f);
    return n == 0;
}

}  // namespace testsupport
