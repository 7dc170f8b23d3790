// bertree: prints the first BER element of a file as an indented tree. Diagnostic tool for
// the ASN.1 measurement files; one rendering rule (quoted object instances at level 7) is
// made for their layout. Decoding is the tree form of the shared decoder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "asn1object.h"
#include "asn1parse.h"

namespace {

int g_doIndent = 0;
asn1_ptr g_rootObj;  // owned until exit

// Level of the object-instance element of a measurement value; its content is always
// shown as text, whatever its length.
constexpr std::uint32_t object_instance_level = 7;
constexpr std::uint32_t object_instance_tag = 0;

void print_usage(const char* program_name) {
    std::printf("Usage: %s [OPTION]... FILENAME\n", program_name);
    std::fputs("Dump contents of ASN.1 input file.\n\n", stdout);
    std::fputs("  -i  Indent based on the level within the hierarchy\n", stdout);
}

void print_indent(std::uint32_t level) {
    if (!g_doIndent) return;
    for (std::uint32_t i = 0; i < level; ++i) std::fputs("  ", stdout);
}

void put_label(std::string_view label) { std::fwrite(label.data(), 1, label.size(), stdout); }

// Content octets actually held: a record whose content could not be read has none.
std::size_t content_size(const asn1_object& rec) { return rec.data ? rec.length : 0; }

// Prints a string-typed element (tags 18-27, any class) with all-printable content on one
// line. Returns 1 when it printed, 0 when the element is left to the other forms.
int print_universal_printable(const asn1_object& rec) {
    const std::size_t size = content_size(rec);
    if (rec.tag < 18 || rec.tag > 27 || size == 0 || !is_all_printable(rec.data.get(), size)) return 0;
    put_label(g_tagLabel[rec.tag]);
    std::fputs(" '", stdout);
    std::fwrite(rec.data.get(), 1, size, stdout);
    std::fputs("'\n", stdout);
    return 1;
}

void print_primitive_data(const asn1_object& rec, std::uint32_t level) {
    if (print_universal_printable(rec)) return;
    if (rec.asn_class == ASN1_CONTEXT || rec.tag > 26) {
        std::printf("[%u]", static_cast<unsigned>(rec.tag));
    } else {
        put_label(g_tagLabel[rec.tag]);
    }
    const std::size_t size = content_size(rec);
    const std::uint8_t* octets = rec.data.get();
    if (size == 0) {
        std::fputs("\n\n", stdout);
        return;
    }
    if ((level == object_instance_level && rec.tag == object_instance_tag) ||
        (size > 4 && is_all_printable(octets, size))) {
        std::fputs(" '", stdout);
        for (std::size_t i = 0; i < size; ++i) {
            if (octets[i] >= 0x20 && octets[i] <= 0x7E) {
                putc_unlocked(octets[i], stdout);
            } else {
                std::printf("%%%02X", octets[i]);
            }
        }
        std::fputs("'\n", stdout);
        return;
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    putc_unlocked('\n', stdout);
    print_indent(level + 1);
    for (std::size_t i = 0; i < size; ++i) {
        if (i) putc_unlocked(' ', stdout);
        putc_unlocked(hex[octets[i] >> 4], stdout);
        putc_unlocked(hex[octets[i] & 0x0F], stdout);
    }
    putc_unlocked('\n', stdout);
}

// Pre-order print. The decoder bounds the depth, so recursion here is bounded too.
void print_object(const asn1_object& rec, std::uint32_t level) {
    print_indent(level);
    if (rec.pc == PC_CONSTRUCTED) {
        if (rec.asn_class == ASN1_UNIVERSAL && rec.tag == ASN1_TAG_SEQUENCE) {
            std::fputs("SEQUENCE {\n", stdout);
        } else {
            std::printf("[%u] {\n", static_cast<unsigned>(rec.tag));
        }
    } else {
        print_primitive_data(rec, level);
    }
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) print_object(*c, level + 1);
    if (rec.pc == PC_CONSTRUCTED) {
        print_indent(level + 1);
        std::fputs("}\n", stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    opterr = 0;  // the usage text is the only complaint about options
    int option;
    while ((option = getopt(argc, argv, "i")) != -1) {
        if (option == 'i') {
            g_doIndent = 1;
        } else {
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
    // A directory opens but cannot be read: it is not an input file.
    struct stat st;
    if (!input || fstat(fileno(input.get()), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "Cannot open input file: %s\n", filename);
        return 1;
    }
    g_rootObj = parse(filename);
    if (!g_rootObj) {
        std::fprintf(stderr, "Failed parsing input file: %s\n", filename);
        return 1;
    }
    static char out_buffer[1 << 16];
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    print_object(*g_rootObj, 0);
    std::fflush(stdout);
    return 0;
}
