// Scratch files for the radiobin unit tests: a private directory removed at exit, whole-file
// reads and writes, and the log lines written since a mark.
#ifndef RADIOBIN_TEST_SUPPORT_H
#define RADIOBIN_TEST_SUPPORT_H

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

inline const std::filesystem::path& scratch_dir() {
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "radiobin_test_XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        return std::filesystem::path(tmpl);
    }();
    static const struct remover {
        ~remover() {
            std::error_code ec;
            std::filesystem::remove_all(scratch_dir(), ec);
        }
    } cleanup;
    return dir;
}

inline std::string path_of(const std::string& name) { return (scratch_dir() / name).string(); }

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Lines of a log file that contain the text.
inline int count_lines_with(const std::string& log_path, const std::string& text) {
    std::istringstream in(read_file(log_path));
    int n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

}  // namespace test_support

#endif
