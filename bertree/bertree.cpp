// bertree: prints the first BER element of a file as an indented tree. Diagnostic tool for
// the ASN.1 measurement files; one rendering rule (quoted object instances at level 7) is
// made for their layout. Each element is printed as the streaming walk of the shared
// decoder reaches it, so a file of any size is printed in the same small memory.
#include <getopt.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "asn1object.h"
#include "asn1parse.h"
#include "render.h"

namespace {

int g_doIndent = 0;  // -i

// Long options: what they return from getopt_long, past any short option character.
enum : int { option_help = 256, option_version };
constexpr std::string_view program_version = PM_PROJECT_VERSION;

void print_usage(const char* program_name) {
    std::printf("Usage: %s [OPTION]... FILENAME\n", program_name);
    std::fputs("Dump contents of ASN.1 input file.\n\n", stdout);
    std::fputs("  -i  Indent based on the level within the hierarchy\n", stdout);
    std::fputs("      --help     display this help and exit\n", stdout);
    std::fputs("      --version  output version information and exit\n", stdout);
    std::fputs("\nAn element whose content the end of the file cuts short shows the octets\n"
               "read, then the line \"[cut: READ of LENGTH octets]\".\n",
               stdout);
}

// The walk's visitor state. The walk says when an element starts but not when a
// constructed one ends: an element at some level shows that every open element at that
// level or deeper is complete, and the end of the walk closes the rest.
struct stream_printer {
    bertree::element_printer print;
    std::uint32_t open = 0;  // constructed elements still open, one on each level from 0
    bool visited = false;

    void close_to(std::uint32_t level) {
        while (open > level) print.close(--open);
    }
};

void print_element(asn1_object& rec, std::uint32_t level, void* context) {
    auto& printer = *static_cast<stream_printer*>(context);
    printer.close_to(level);
    printer.print.open(rec, level);
    printer.visited = true;
    if (rec.pc == PC_CONSTRUCTED) printer.open = level + 1;
}

// Prints the first element of the stream. A walk that stops early leaves what it printed
// and closes the braces still open; an outermost element the walk never showed (an empty
// file, one whose first header is cut, a lone end-of-contents marker) is printed as far as
// its record was filled.
void print_stream(std::FILE* stream, bool indent) {
    bertree::output out(stdout);
    stream_printer printer{bertree::element_printer(out, indent)};
    asn1_object root;
    std::uint32_t prlen = 0;
    std::uint32_t level = 0;
    asn1_process(stream, &root, &prlen, &level, nullptr, print_element, &printer, asn1_tree_dialect);
    if (!printer.visited) {
        printer.print.open(root, 0);
        if (root.pc == PC_CONSTRUCTED) printer.print.close(0);
    }
    printer.close_to(0);
}

}  // namespace

int main(int argc, char** argv) {
    static constexpr option long_options[] = {
        {"help", no_argument, nullptr, option_help},
        {"version", no_argument, nullptr, option_version},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // the usage text is the only complaint about options
    g_doIndent = 0;  // main may run again in one process (the fuzz target runs it per input)
    int option;
    while ((option = getopt_long(argc, argv, "i", long_options, nullptr)) != -1) {
        switch (option) {
            case 'i':
                g_doIndent = 1;
                break;
            case option_help:
                print_usage(argv[0]);
                return 0;
            case option_version:
                std::printf("bertree %.*s\n", static_cast<int>(program_version.size()), program_version.data());
                return 0;
            default:
                print_usage(argv[0]);
                return 1;
        }
    }
    if (optind >= argc) {
        print_usage(argv[0]);
        return 1;
    }
    const char* filename = argv[optind];
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(filename, "rb"), std::fclose);
    // A file that opens but cannot be read (a directory, a device or file system that fails
    // the read) is no input file either; an empty file is, and prints a fresh record. The
    // octet read to tell them apart goes back, and the elements are decoded from this same
    // stream: a pipe or FIFO cannot be opened a second time for its data.
    const int first = input ? std::getc(input.get()) : EOF;
    if (!input || (first == EOF && std::ferror(input.get()))) {
        std::fprintf(stderr, "Cannot open input file: %s\n", filename);
        return 1;
    }
    std::ungetc(first, input.get());
    print_stream(input.get(), g_doIndent != 0);
    std::fflush(stdout);
    return 0;
}
