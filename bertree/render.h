// bertree's rendering of one element at a time: the opening line of a constructed element
// or the whole of a primitive one, and the closing brace. The walk that calls it decides
// the order; the lines themselves depend only on the element and its level.
#ifndef PM_BERTREE_RENDER_H
#define PM_BERTREE_RENDER_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "asn1object.h"
#include "shortcopy.h"

namespace bertree {

// A stream through one large buffer: a tree print is millions of tiny pieces, and stdio's
// per-call locking and bookkeeping would dominate the run.
class output {
public:
    explicit output(std::FILE* to) : to_(to) {}
    output(const output&) = delete;
    output& operator=(const output&) = delete;
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
        if (used_) std::fwrite(buffer_, 1, used_, to_);
        used_ = 0;
    }

private:
    static constexpr std::size_t small_piece = 256;
    // Free space for at least `count` characters (at most small_piece).
    char* room(std::size_t count) {
        if (sizeof buffer_ - used_ < count) flush();
        return buffer_ + used_;
    }

    std::FILE* to_;
    char buffer_[1 << 16];
    std::size_t used_ = 0;
};

class element_printer {
public:
    element_printer(output& out, bool indent) : out_(out), indent_(indent) {}

    // The opening line of a constructed element; all of a primitive one.
    void open(const asn1_object& rec, std::uint32_t level) {
        print_indent(level);
        if (rec.pc != PC_CONSTRUCTED) {
            print_primitive_data(rec, level);
        } else if (rec.asn_class == ASN1_UNIVERSAL && rec.tag == ASN1_TAG_SEQUENCE) {
            out_.put("SEQUENCE {\n");
        } else {
            out_.put('[');
            out_.put_number(rec.tag);
            out_.put("] {\n");
        }
    }

    // The closing brace of a constructed element; it stands at the depth of the children.
    void close(std::uint32_t level) {
        print_indent(level + 1);
        out_.put("}\n");
    }

private:
    // Level of the object-instance element of a measurement value; its content is always
    // shown as text, whatever its length.
    static constexpr std::uint32_t object_instance_level = 7;
    static constexpr std::uint32_t object_instance_tag = 0;

    void print_indent(std::uint32_t level) {
        if (indent_) out_.put_blanks(2 * std::size_t{level});
    }

    // Prints a string-typed element (tags 18-27, any class) with all-printable content on
    // one line. Returns 1 when it printed, 0 when the element is left to the other forms.
    int print_universal_printable(const asn1_object& rec) {
        const std::size_t size = asn1_content_size(rec);
        if (rec.tag < 18 || rec.tag > 27 || size == 0 || !is_all_printable(rec.data.get(), size)) return 0;
        out_.put(g_tagLabel[rec.tag]);
        out_.put(" '");
        out_.put(std::string_view(reinterpret_cast<const char*>(rec.data.get()), size));
        out_.put("'\n");
        return 1;
    }

    void print_content(const asn1_object& rec, std::uint32_t level) {
        if (print_universal_printable(rec)) return;
        if (rec.asn_class == ASN1_CONTEXT || rec.tag > 26) {
            out_.put('[');
            out_.put_number(rec.tag);
            out_.put(']');
        } else {
            out_.put(g_tagLabel[rec.tag]);
        }
        const std::size_t size = asn1_content_size(rec);
        const std::uint8_t* octets = rec.data.get();
        if (size == 0) {
            out_.put("\n\n");
            return;
        }
        if ((level == object_instance_level && rec.tag == object_instance_tag) ||
            (size > 4 && is_all_printable(octets, size))) {
            out_.put(" '");
            for (std::size_t i = 0; i < size; ++i) {
                if (octets[i] >= 0x20 && octets[i] <= 0x7E) {
                    out_.put(static_cast<char>(octets[i]));
                } else {
                    out_.put('%');
                    out_.put_hex_octets(octets + i, 1);
                }
            }
            out_.put("'\n");
            return;
        }
        out_.put('\n');
        print_indent(level + 1);
        out_.put_hex_octets(octets, size);
        out_.put('\n');
    }

    // The content as far as the file holds it; an element the end of the file cuts says so
    // on a line of its own, so that no octet is shown that is not in the file.
    void print_primitive_data(const asn1_object& rec, std::uint32_t level) {
        print_content(rec, level);
        if (rec.missing == 0) return;
        print_indent(level + 1);
        out_.put("[cut: ");
        out_.put_number(static_cast<std::uint32_t>(asn1_content_size(rec)));
        out_.put(" of ");
        out_.put_number(rec.length);
        out_.put(" octets]\n");
    }

    output& out_;
    bool indent_;
};

}  // namespace bertree

#endif
