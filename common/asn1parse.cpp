// asn1parse: identifier, length and content steps and the two element walks. Called by
// bertree (tree form through parse) and by the BerMeas conversion run (streaming form).
#include "asn1parse.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "pmalloc.h"

asn1_diagnostic_hook g_asn1_diagnostic_hook = nullptr;

void asn1_set_diagnostic_hook(asn1_diagnostic_hook hook) { g_asn1_diagnostic_hook = hook; }

void dprint_text(const char* text) {
    if (g_asn1_diagnostic_hook) g_asn1_diagnostic_hook(text);
}

namespace {

// Content above this size is checked against what the stream still holds before any
// buffer is allocated, so a hostile length cannot claim gigabytes.
constexpr std::uint32_t large_content = 64 * 1024;

// Octets left in the stream: exact for regular files, -1 when unknown (pipes, memory).
long long octets_remaining(std::FILE* stream) {
    const int fd = fileno(stream);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const off_t position = ftello(stream);
    if (position < 0) return -1;
    return st.st_size > position ? static_cast<long long>(st.st_size - position) : 0;
}

// Reads `length` octets from a stream of unknown size in growing steps, so that the buffer
// never grows far beyond what the stream really holds. Returns the octets read.
std::size_t read_growing(std::FILE* stream, std::unique_ptr<std::uint8_t[]>& buffer, std::uint32_t length,
                         bool& out_of_memory) {
    std::size_t have = 0;
    std::size_t capacity = 0;
    out_of_memory = false;
    while (have < length) {
        const std::size_t want = std::min<std::size_t>(length, capacity ? capacity * 2 : large_content);
        auto bigger = pm_new_array<std::uint8_t>(want);
        if (!bigger) {
            out_of_memory = true;
            return have;
        }
        if (have) std::memcpy(bigger.get(), buffer.get(), have);
        buffer = std::move(bigger);
        capacity = want;
        const std::size_t got = fread_unlocked(buffer.get() + have, 1, capacity - have, stream);
        have += got;
        if (have < capacity) break;
    }
    return have;
}

}  // namespace

int get_asn1_type(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen) {
    if (!stream || !rec || !prlen) return 1;
    const int octet = getc_unlocked(stream);
    if (octet == EOF) return 1;
    *prlen += 1;
    rec->asn_class = static_cast<std::uint32_t>(octet) >> 6;
    rec->pc = (static_cast<std::uint32_t>(octet) >> 5) & 1;
    if (get_asn1_tag(stream, static_cast<unsigned>(octet), &rec->tag, prlen)) {
        dprint("get_asn1_tag() failed");
        return 1;
    }
    return 0;
}

int get_asn1_tag(std::FILE* stream, unsigned first_octet, std::uint32_t* tag, std::uint32_t* prlen) {
    if (!stream || !tag || !prlen) return 1;
    *tag = 0;
    if ((first_octet & 0x1F) != 0x1F) {
        *tag = first_octet & 0x1F;
        return 0;
    }
    // High tag number: base 128, at most four octets (28 bits), whatever the fourth says.
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int octet = getc_unlocked(stream);
        if (octet == EOF) {
            dprint("Cannot read further in get_asn1_tag()");
            return 1;
        }
        *prlen += 1;
        value = (value << 7) | (static_cast<std::uint32_t>(octet) & 0x7F);
        if (!(octet & 0x80)) break;
    }
    *tag = value;
    return 0;
}

int get_asn1_length(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen) {
    if (!stream || !rec || !prlen) return 1;
    const int octet = getc_unlocked(stream);
    if (octet == EOF) {
        dprint("fgetc() failed in get_asn1_length()");
        return 1;
    }
    *prlen += 1;
    if (rec->pc == PC_CONSTRUCTED && octet == 0x80) {
        rec->definite = false;
        rec->length = 0;
        return 0;
    }
    rec->definite = true;
    if (get_asn1_definite_length(stream, static_cast<unsigned>(octet), &rec->length, prlen)) {
        dprint("get_asn1_definite_length() failed");
        return 1;
    }
    return 0;
}

int get_asn1_definite_length(std::FILE* stream, unsigned first_octet, std::uint32_t* length,
                             std::uint32_t* prlen) {
    if (!stream || !length || !prlen) return 1;
    *length = 0;
    if (!(first_octet & 0x80)) {
        *length = first_octet & 0x7F;
        return 0;
    }
    const unsigned count = first_octet & 0x7F;
    std::uint32_t value = 0;
    bool too_long = false;
    for (unsigned i = 0; i < count; ++i) {
        const int octet = getc_unlocked(stream);
        if (octet == EOF) {
            dprint("fgetc() failed in get_asn1_definite_length()");
            return 1;
        }
        *prlen += 1;
        // Leading zero octets are allowed; a fifth significant octet does not fit.
        if (value >> 24) too_long = true;
        value = (value << 8) | static_cast<std::uint32_t>(octet);
    }
    if (too_long) {
        dprint("length of more than four significant octets in get_asn1_definite_length()");
        return 1;
    }
    *length = value;
    return 0;
}

namespace {

// Reads up to `count` octets; returns how many were read. Most contents are a few octets
// (counter values), for which a call into the stream's block read costs more than
// taking them one by one from its buffer.
std::size_t read_octets(std::FILE* stream, std::uint8_t* to, std::size_t count) {
    if (count > 16) return fread_unlocked(to, 1, count, stream);
    for (std::size_t i = 0; i < count; ++i) {
        const int octet = getc_unlocked(stream);
        if (octet == EOF) return i;
        to[i] = static_cast<std::uint8_t>(octet);
    }
    return count;
}

// One content buffer lent to record after record by the streaming walk: its records live
// only while the visitor looks at them, and a buffer per element would cost an
// allocation and a release for every value of a file.
struct content_cache {
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t size = 0;              // of the buffer, also while it is lent
    const std::uint8_t* lent = nullptr;  // the buffer while a record holds it
};

// Contents up to this size come from the cache; larger ones get their own buffer.
constexpr std::size_t cached_content = 4096;

// A buffer of at least `length` octets from the cache, zero-filled when asked; NULL on
// an exhausted heap.
std::unique_ptr<std::uint8_t[]> lend(content_cache& cache, std::size_t length, bool zeroed) {
    if (!cache.buffer || cache.size < length) {
        const std::size_t size = std::max<std::size_t>(length, 64);
        cache.buffer = pm_new_array<std::uint8_t>(size);
        cache.size = cache.buffer ? size : 0;
        if (!cache.buffer) return nullptr;
    }
    if (zeroed) std::memset(cache.buffer.get(), 0, length);
    cache.lent = cache.buffer.get();
    return std::move(cache.buffer);
}

// Takes the record's content back into the cache when it is the lent buffer; anything
// else the record holds is released.
void take_back(content_cache& cache, asn1_object& rec) {
    if (rec.data && rec.data.get() == cache.lent) {
        cache.buffer = std::move(rec.data);
    } else {
        rec.data.reset();
        if (cache.lent) cache.size = 0;  // the lent buffer is gone with whoever took it
    }
    cache.lent = nullptr;
}

int read_content(std::FILE* stream, asn1_object* rec, std::uint32_t* count, const asn1_dialect& dialect,
                 content_cache* cache) {
    if (!stream || !rec || !count) return 1;
    if (rec->pc != PC_PRIMITIVE) {
        dprint("get_asn1_data() is for PC_PRIMITIVE only");
        return 1;
    }
    if (rec->length == 0) {
        dprint("Invalid value for length: %d", 0);
        return 1;
    }
    const std::uint32_t length = rec->length;
    // BerMeas reads a BOOLEAN as one octet; the rest of its buffer stays zero.
    const bool one_octet = dialect.boolean_one_octet && rec->asn_class == ASN1_UNIVERSAL &&
                           rec->tag == ASN1_TAG_BOOLEAN;
    const std::size_t wanted = one_octet ? 1 : length;
    bool size_unknown = false;
    if (length > large_content) {
        const long long remaining = octets_remaining(stream);
        size_unknown = remaining < 0;
        if ((!size_unknown && length > remaining) || (size_unknown && one_octet)) {
            dprint("fread() failed in get_asn1_data()");
            return 1;
        }
    }

    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t got = 0;
    bool full_size = true;
    const bool zeroed = one_octet || !dialect.free_on_failed_read;
    if (size_unknown) {
        bool out_of_memory = false;
        got = read_growing(stream, buffer, length, out_of_memory);
        full_size = got == length;
        if (out_of_memory) {
            dprint("Out of memory");
            return 1;
        }
    } else {
        if (cache && length <= cached_content) {
            buffer = lend(*cache, length, zeroed);
        } else {
            buffer = zeroed ? pm_new_zeroed_array<std::uint8_t>(length) : pm_new_array<std::uint8_t>(length);
        }
        if (!buffer) {
            dprint("Out of memory");
            return 1;
        }
        got = read_octets(stream, buffer.get(), wanted);
    }
    rec->data = std::move(buffer);
    if (got < wanted) {
        dprint("fread() failed in get_asn1_data()");
        // The tree form keeps what was read (zero-filled after it) so the element can be shown.
        if (dialect.free_on_failed_read || !full_size) {
            if (cache) {
                take_back(*cache, *rec);
            } else {
                rec->data.reset();
            }
        }
        return 1;
    }
    *count += static_cast<std::uint32_t>(wanted);
    return 0;
}

}  // namespace

int get_asn1_data(std::FILE* stream, asn1_object* rec, std::uint32_t* count, const asn1_dialect& dialect) {
    return read_content(stream, rec, count, dialect, nullptr);
}

namespace {

// Identifier and length of one element, with the failure texts of the walk. Almost every
// element has a tag number below 31 and a length below 128: those octets are taken here
// directly; any other is put back (one octet, which a stream always takes back) and read
// by the steps.
int read_header(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent) {
    const int identifier = getc_unlocked(stream);
    if (identifier == EOF) {
        dprint("get_asn1_type() failed");
        dprint("  *prlen: %d, *indent: %d", static_cast<int>(*prlen), static_cast<int>(*indent));
        return 1;
    }
    if ((identifier & 0x1F) == 0x1F) {
        ungetc(identifier, stream);
        if (get_asn1_type(stream, rec, prlen)) {
            dprint("get_asn1_type() failed");
            dprint("  *prlen: %d, *indent: %d", static_cast<int>(*prlen), static_cast<int>(*indent));
            return 1;
        }
    } else {
        rec->asn_class = static_cast<std::uint32_t>(identifier) >> 6;
        rec->pc = (static_cast<std::uint32_t>(identifier) >> 5) & 1;
        rec->tag = static_cast<std::uint32_t>(identifier) & 0x1F;
        *prlen += 1;
        const int first_length = getc_unlocked(stream);
        if (first_length == EOF) {
            dprint("fgetc() failed in get_asn1_length()");
            dprint("get_asn1_length() failed");
            return 1;
        }
        if (first_length < 0x80) {
            rec->definite = true;
            rec->length = static_cast<std::uint32_t>(first_length);
            *prlen += 1;
            return 0;
        }
        ungetc(first_length, stream);
    }
    if (get_asn1_length(stream, rec, prlen)) {
        dprint("get_asn1_length() failed");
        return 1;
    }
    return 0;
}

bool is_end_of_contents(const asn1_object& rec, const asn1_dialect& dialect) {
    return rec.pc == PC_PRIMITIVE && rec.asn_class == ASN1_UNIVERSAL && rec.tag == ASN1_TAG_EOC &&
           (dialect.eoc_ignores_length || rec.length == 0);
}

}  // namespace

int asn1_process(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent,
                 int* endfound, const asn1_dialect& dialect) {
    if (!stream || !rec || !prlen || !indent) return 1;
    if (*indent >= asn1_max_depth) {
        dprint("nesting deeper than %u levels", static_cast<unsigned>(asn1_max_depth));
        return 1;
    }
    std::uint32_t c = 0;
    if (read_header(stream, rec, prlen, indent)) return 1;

    if (rec->pc == PC_PRIMITIVE) {
        if (is_end_of_contents(*rec, dialect)) {
            if (!endfound) {
                dprint("Null value for endfound");
                return 1;
            }
            *endfound = 1;
            return 0;
        }
        if (rec->length != 0 && get_asn1_data(stream, rec, &c, dialect)) {
            dprint("get_asn1_data() failed");
            return 1;
        }
        *prlen += c;
        return 0;
    }

    *indent += 1;
    int result = 0;
    // Children are linked at a tail slot kept here: appending by walking the list would
    // make wide elements quadratic.
    asn1_ptr* tail = &rec->children;
    while (*tail) tail = &(*tail)->next;
    for (;;) {
        if (rec->definite && rec->length <= c) break;
        asn1_ptr child = asn1_object_new();
        if (!child) {
            dprint("asn1_object_new() failed");
            result = 1;
            break;
        }
        int end = 0;
        if (asn1_process(stream, child.get(), &c, indent, rec->definite ? nullptr : &end, dialect)) {
            dprint("asn1_process() failed");
            result = 1;
            break;
        }
        if (end) break;
        child->parent = rec;
        *tail = std::move(child);
        tail = &(*tail)->next;
    }
    *indent -= 1;
    if (result) return 1;
    *prlen += c;
    return 0;
}

namespace {

struct stream_walk {
    asn1_visitor visitor;
    void* context;
    const asn1_dialect& dialect;
    content_cache cache;
};

// Contents of up to this many octets are what a measurement file is mostly made of.
constexpr std::uint32_t short_content = 16;

// The content of a short primitive element straight into the lent buffer: 0 when read,
// 1 when the element is not of that kind (nothing is consumed then), 2 when the input
// ends inside it.
int read_short_content(std::FILE* stream, asn1_object& rec, std::uint32_t& count, stream_walk& walk) {
    content_cache& cache = walk.cache;
    const bool one_octet = walk.dialect.boolean_one_octet && rec.asn_class == ASN1_UNIVERSAL &&
                           rec.tag == ASN1_TAG_BOOLEAN;
    if (rec.length > short_content || one_octet || !walk.dialect.free_on_failed_read || !cache.buffer ||
        cache.size < short_content)
        return 1;
    std::uint8_t* to = cache.buffer.get();
    for (std::uint32_t i = 0; i < rec.length; ++i) {
        const int octet = getc_unlocked(stream);
        if (octet == EOF) {
            dprint("fread() failed in get_asn1_data()");
            return 2;
        }
        to[i] = static_cast<std::uint8_t>(octet);
    }
    cache.lent = to;
    rec.data = std::move(cache.buffer);
    count += rec.length;
    return 0;
}

int stream_element(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent, int* endfound,
                   stream_walk& walk) {
    if (*indent >= asn1_max_depth) {
        dprint("nesting deeper than %u levels", static_cast<unsigned>(asn1_max_depth));
        return 1;
    }
    std::uint32_t c = 0;
    if (read_header(stream, rec, prlen, indent)) return 1;

    if (rec->pc == PC_PRIMITIVE) {
        if (is_end_of_contents(*rec, walk.dialect)) {
            if (!endfound) {
                dprint("Null value for endfound");
                return 1;
            }
            *endfound = 1;
            return 0;
        }
        if (rec->length != 0) {
            const int short_read = read_short_content(stream, *rec, c, walk);
            if (short_read == 2 || (short_read == 1 && read_content(stream, rec, &c, walk.dialect, &walk.cache))) {
                dprint("get_asn1_data() failed");
                return 1;
            }
        }
        *prlen += c;
        walk.visitor(*rec, *indent, walk.context);
        take_back(walk.cache, *rec);
        return 0;
    }

    walk.visitor(*rec, *indent, walk.context);
    *indent += 1;
    int result = 0;
    asn1_object child;
    if (rec->definite) {
        while (rec->length > c) {
            asn1_object_init(child);
            if (stream_element(stream, &child, &c, indent, nullptr, walk)) {
                dprint("asn1_process() failed");
                result = 1;
                break;
            }
        }
    } else {
        for (;;) {
            asn1_object_init(child);
            int end = 0;
            if (stream_element(stream, &child, &c, indent, &end, walk)) {
                dprint("asn1_process() failed");
                result = 1;
                break;
            }
            if (end) break;
        }
    }
    *indent -= 1;
    if (result) return 1;
    *prlen += c;
    return 0;
}

}  // namespace

int asn1_process(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent,
                 int* endfound, asn1_visitor visitor, void* context, const asn1_dialect& dialect) {
    if (!stream || !rec || !prlen || !indent || !visitor) return 1;
    stream_walk walk{visitor, context, dialect, {}};
    return stream_element(stream, rec, prlen, indent, endfound, walk);
}

asn1_ptr asn1_parse_stream(std::FILE* stream, bool* complete) {
    if (complete) *complete = false;
    if (!stream) return nullptr;
    asn1_ptr root = asn1_object_new();
    if (!root) {
        dprint("asn1_object_new() failed");
        return nullptr;
    }
    std::uint32_t prlen = 0;
    std::uint32_t indent = 0;
    const int failed = asn1_process(stream, root.get(), &prlen, &indent, nullptr, asn1_tree_dialect);
    if (complete) *complete = !failed;
    return root;
}

asn1_ptr parse(const char* path, bool* complete) {
    if (complete) *complete = false;
    if (!path || !*path) return nullptr;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(path, "rb"), std::fclose);
    if (!stream) {
        dprint("Cannot open input file: %s", path);
        return nullptr;
    }
    return asn1_parse_stream(stream.get(), complete);
}
