// bermeas-convert: converts one 3GPP BER measurement file with the built-in example
// configuration into PIF files in the directory "inter_d" (created when missing), the
// way the host module would. The file's own path is the name it arrived under.
//   bermeas-convert FILE
//   bermeas-convert --help | --version
// Exit status 0 after a complete conversion (or the help or version text), 1 otherwise
// (see bermeas.log).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "conf.h"
#include "example_config.h"
#include "parser.h"

namespace {

constexpr const char* output_dir = "inter_d";
constexpr std::string_view program_version = PM_PROJECT_VERSION;

void print_usage(const char* program_name) {
    std::printf("Usage: %s filename\n", program_name);
    std::fputs("Convert a 3GPP ASN.1 measurement file into PIF files in ./inter_d with the\n"
               "built-in example configuration (log in ./bermeas.log).\n\n"
               "      --help     display this help and exit\n"
               "      --version  output version information and exit\n",
               stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(argv[0]);
        return 1;
    }
    // Only as the first argument: any other argument is a file name ("./--help" names a file).
    const std::string_view first = argv[1];
    if (first == "--help") {
        print_usage(argv[0]);
        return 0;
    }
    if (first == "--version") {
        std::printf("bermeas-convert %.*s\n", static_cast<int>(program_version.size()), program_version.data());
        return 0;
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
