// bermeas-convert: converts one 3GPP BER measurement file with the built-in example
// configuration into PIF files in the directory "inter_d" (created when missing), the
// way the host module would. The file's own path is the name it arrived under.
//   bermeas-convert FILE
// Exit status 0 after a complete conversion, 1 otherwise (see bermeas.log).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "conf.h"
#include "example_config.h"
#include "parser.h"

namespace {

constexpr const char* output_dir = "inter_d";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("Usage: %s filename\n", argv[0]);
        return 1;
    }
    if (mkdir(output_dir, 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], output_dir, std::strerror(errno));
        return 1;
    }
    auto conf = config_new_for_test();
    if (!conf) {
        std::fprintf(stderr, "%s: out of memory\n", argv[0]);
        return 1;
    }
    const bool converted = parse_input_file(argv[1], argv[1], conf.get(), output_dir);
    config_delete(conf);
    if (!converted) {
        std::fprintf(stderr, "%s: %s was not converted completely (see bermeas.log)\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
