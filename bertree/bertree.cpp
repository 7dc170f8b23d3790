// bertree: prints the first BER element of a file as an indented tree. Diagnostic tool for
// the ASN.1 measurement files; one rendering rule (quoted object instances at level 7) is
// made for their layout. Decoding is the tree form of the shared decoder.
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <cstdio>
#include <memory>
#include <string>

#include "asn1object.h"
#include "asn1parse.h"
#include "shortcopy.h"

namespace {

int g_doIndent = 0;
// The decoded tree lives until the process ends and is not released record by record:
// that would take longer than decoding it, and the system takes the memory back at exit.
asn1_object* g_rootObj = nullptr;

// Standard output through one large buffer: a tree print is millions of tiny pieces, and
// stdio's per-call locking and bookkeeping would dominate the run.
class output {
public:
    ~output() { flush(); }
    void put(char c) {
        if (used_ == sizeof buffer_) flush();
        buffer_[used_++] = c;
    }
    void put(std::string_view text) {
        if (text.size() <= small_piece) {
            copy_short(room(text.size()), text.data(), text.size());
            used_ += text.size();
            return;
        }
        while (!text.empty()) {
            if (used_ == sizeof buffer_) flush();
            const std::size_t n = std::min(text.size(), sizeof buffer_ - used_);
            std::memcpy(buffer_ + used_, text.data(), n);
            used_ += n;
            text.remove_prefix(n);
        }
    }
    void put_blanks(std::size_t count) {
        static const std::string blanks(small_piece, ' ');
        for (; count > small_piece; count -= small_piece) put(blanks);
        put(std::string_view(blanks).substr(0, count));
    }
    void put_number(std::uint32_t value) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        char* to = room(10);
        for (int i = 0; i < n; ++i) to[i] = digits[n - 1 - i];
        used_ += static_cast<std::size_t>(n);
    }
    // Octets as upper-case hexadecimal pairs separated by blanks.
    void put_hex_octets(const std::uint8_t* octets, std::size_t count) {
        static constexpr char hex[] = "0123456789ABCDEF";
        constexpr std::size_t per_round = small_piece / 3;
        for (std::size_t i = 0; i < count;) {
            const std::size_t n = std::min(count - i, per_round);
            char* to = room(3 * n);
            for (std::size_t k = 0; k < n; ++k, ++i) {
                if (i) *to++ = ' ';
                *to++ = hex[octets[i] >> 4];
                *to++ = hex[octets[i] & 0x0F];
            }
            used_ = static_cast<std::size_t>(to - buffer_);
        }
    }
    void flush() {
        if (used_) std::fwrite(buffer_, 1, used_, stdout);
        used_ = 0;
    }

private:
    static constexpr std::size_t small_piece = 256;
    // Free space for at least `count` characters (at most small_piece).
    char* room(std::size_t count) {
        if (sizeof buffer_ - used_ < count) flush();
        return buffer_ + used_;
    }

    char buffer_[1 << 16];
    std::size_t used_ = 0;
};

output g_out;

// Level of the object-instance element of a measurement value; its content is always
// shown as text, whatever its length.
constexpr std::uint32_t object_instance_level = 7;
constexpr std::uint32_t object_instance_tag = 0;

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

void print_indent(std::uint32_t level) {
    if (g_doIndent) g_out.put_blanks(2 * std::size_t{level});
}

// Content octets actually held: those before the end of a file that cuts the element.
std::size_t content_size(const asn1_object& rec) { return asn1_content_size(rec); }

// Prints a string-typed element (tags 18-27, any class) with all-printable content on one
// line. Returns 1 when it printed, 0 when the element is left to the other forms.
int print_universal_printable(const asn1_object& rec) {
    const std::size_t size = content_size(rec);
    if (rec.tag < 18 || rec.tag > 27 || size == 0 || !is_all_printable(rec.data.get(), size)) return 0;
    g_out.put(g_tagLabel[rec.tag]);
    g_out.put(" '");
    g_out.put(std::string_view(reinterpret_cast<const char*>(rec.data.get()), size));
    g_out.put("'\n");
    return 1;
}

void print_content(const asn1_object& rec, std::uint32_t level) {
    if (print_universal_printable(rec)) return;
    if (rec.asn_class == ASN1_CONTEXT || rec.tag > 26) {
        g_out.put('[');
        g_out.put_number(rec.tag);
        g_out.put(']');
    } else {
        g_out.put(g_tagLabel[rec.tag]);
    }
    const std::size_t size = content_size(rec);
    const std::uint8_t* octets = rec.data.get();
    if (size == 0) {
        g_out.put("\n\n");
        return;
    }
    if ((level == object_instance_level && rec.tag == object_instance_tag) ||
        (size > 4 && is_all_printable(octets, size))) {
        g_out.put(" '");
        for (std::size_t i = 0; i < size; ++i) {
            if (octets[i] >= 0x20 && octets[i] <= 0x7E) {
                g_out.put(static_cast<char>(octets[i]));
            } else {
                g_out.put('%');
                g_out.put_hex_octets(octets + i, 1);
            }
        }
        g_out.put("'\n");
        return;
    }
    g_out.put('\n');
    print_indent(level + 1);
    g_out.put_hex_octets(octets, size);
    g_out.put('\n');
}

// The content as far as the file holds it; an element the end of the file cuts says so
// on a line of its own, so that no octet is shown that is not in the file.
void print_primitive_data(const asn1_object& rec, std::uint32_t level) {
    print_content(rec, level);
    if (rec.missing == 0) return;
    print_indent(level + 1);
    g_out.put("[cut: ");
    g_out.put_number(static_cast<std::uint32_t>(content_size(rec)));
    g_out.put(" of ");
    g_out.put_number(rec.length);
    g_out.put(" octets]\n");
}

// Pre-order print. The decoder bounds the depth, so recursion here is bounded too.
void print_object(const asn1_object& rec, std::uint32_t level) {
    print_indent(level);
    if (rec.pc == PC_CONSTRUCTED) {
        if (rec.asn_class == ASN1_UNIVERSAL && rec.tag == ASN1_TAG_SEQUENCE) {
            g_out.put("SEQUENCE {\n");
        } else {
            g_out.put('[');
            g_out.put_number(rec.tag);
            g_out.put("] {\n");
        }
    } else {
        print_primitive_data(rec, level);
    }
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) print_object(*c, level + 1);
    if (rec.pc == PC_CONSTRUCTED) {
        print_indent(level + 1);
        g_out.put("}\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    static constexpr option long_options[] = {
        {"help", no_argument, nullptr, option_help},
        {"version", no_argument, nullptr, option_version},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // the usage text is the only complaint about options
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
    // octet read to tell them apart goes back, and the tree is decoded from this same
    // stream: a pipe or FIFO cannot be opened a second time for its data.
    const int first = input ? std::getc(input.get()) : EOF;
    if (!input || (first == EOF && std::ferror(input.get()))) {
        std::fprintf(stderr, "Cannot open input file: %s\n", filename);
        return 1;
    }
    std::ungetc(first, input.get());
    // main may run again in one process (the fuzz target runs it once per input): the
    // tree of an earlier run goes before the next is decoded.
    asn1_ptr(g_rootObj).reset();
    g_rootObj = asn1_parse_stream(input.get()).release();
    if (!g_rootObj) {
        std::fprintf(stderr, "Failed parsing input file: %s\n", filename);
        return 1;
    }
    print_object(*g_rootObj, 0);
    g_out.flush();
    std::fflush(stdout);
    return 0;
}
