// scratch_input: the file through which a fuzz target hands each input to an entry point
// that reads a path (bertree, the block reader, the host cycle). Made once per process
// under /tmp, rewritten for every input, removed at exit. Any failure aborts: the fuzzer
// reports it instead of testing an empty or stale file.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace scratch_input {

inline std::string& made_path() {
    static std::string path;
    return path;
}

// The scratch file's path ("/tmp/<prefix>XXXXXX", made on the first call).
inline const std::string& path(const char* prefix) {
    std::string& made = made_path();
    if (made.empty()) {
        std::string name = std::string("/tmp/") + prefix + "XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0) std::abort();
        close(fd);
        made = name;
        std::atexit([] { std::remove(made_path().c_str()); });
    }
    return made;
}

// Replaces the scratch file's content with the input; returns its path.
inline const std::string& write(const char* prefix, const std::uint8_t* data, std::size_t size) {
    const std::string& file = path(prefix);
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    if (std::fclose(out) != 0) std::abort();
    return file;
}

}  // namespace scratch_input
