// bertree: prints the first BER element of a file as an indented tree. Diagnostic tool for
// the ASN.1 measurement files; one rendering rule (quoted object instances at level 7) is
// made for their layout. Decoding is the tree form of the shared decoder.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <cstdio>
#include <memory>

#include "asn1object.h"
#include "asn1parse.h"

namespace {

int g_doIndent = 0;
asn1_ptr g_rootObj;  // owned until exit

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
        while (!text.empty()) {
            if (used_ == sizeof buffer_) flush();
            const std::size_t n = std::min(text.size(), sizeof buffer_ - used_);
            std::memcpy(buffer_ + used_, text.data(), n);
            used_ += n;
            text.remove_prefix(n);
        }
    }
    void put_number(std::uint32_t value) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (n) put(digits[--n]);
    }
    void put_hex(std::uint8_t octet) {
        static constexpr char hex[] = "0123456789ABCDEF";
        put(hex[octet >> 4]);
        put(hex[octet & 0x0F]);
    }
    void flush() {
        if (used_) std::fwrite(buffer_, 1, used_, stdout);
        used_ = 0;
    }

private:
    char buffer_[1 << 16];
    std::size_t used_ = 0;
};

output g_out;

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
    for (std::uint32_t i = 0; i < level; ++i) g_out.put("  ");
}

// Content octets actually held: a record whose content could not be read has none.
std::size_t content_size(const asn1_object& rec) { return rec.data ? rec.length : 0; }

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

void print_primitive_data(const asn1_object& rec, std::uint32_t level) {
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
                g_out.put_hex(octets[i]);
            }
        }
        g_out.put("'\n");
        return;
    }
    g_out.put('\n');
    print_indent(level + 1);
    for (std::size_t i = 0; i < size; ++i) {
        if (i) g_out.put(' ');
        g_out.put_hex(octets[i]);
    }
    g_out.put('\n');
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
    // A file that opens but cannot be read (a directory, a device or file system that fails
    // the read) is no input file either; an empty file is, and prints a fresh record.
    if (!input || (std::getc(input.get()) == EOF && std::ferror(input.get()))) {
        std::fprintf(stderr, "Cannot open input file: %s\n", filename);
        return 1;
    }
    g_rootObj = parse(filename);
    if (!g_rootObj) {
        std::fprintf(stderr, "Failed parsing input file: %s\n", filename);
        return 1;
    }
    print_object(*g_rootObj, 0);
    g_out.flush();
    std::fflush(stdout);
    return 0;
}
