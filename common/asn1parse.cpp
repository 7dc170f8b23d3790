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

// Where the steps take their octets from. Both kinds give get (an octet or EOF), unget
// (of the octet get just gave), read (up to `count` octets; returns how many) and
// remaining (what the stream still holds, -1 when unknown).

// Straight from the stream: the tree walk, the public steps, and a streaming walk whose
// outermost element has no definite length (there is no telling where it ends, and
// nothing after it may be consumed).
struct file_source {
    std::FILE* stream;

    int get() { return getc_unlocked(stream); }
    void unget(int octet) { ungetc(octet, stream); }
    // Most contents are a few octets (counter values), for which a call into the stream's
    // block read costs more than taking them one by one from its buffer.
    std::size_t read(std::uint8_t* to, std::size_t count) {
        if (count > 16) return fread_unlocked(to, 1, count, stream);
        for (std::size_t i = 0; i < count; ++i) {
            const int octet = getc_unlocked(stream);
            if (octet == EOF) return i;
            to[i] = static_cast<std::uint8_t>(octet);
        }
        return count;
    }
    std::size_t read_short(std::uint8_t* to, std::size_t count) { return read(to, count); }
    long long remaining() const { return octets_remaining(stream); }
};

// The octets of a definite-length outermost element, read from the stream in blocks: a
// measurement file is millions of elements of a few octets, and a stream call or a
// reload of the stream's own pointers per octet costs more than the decoding. Blocks
// never reach past the element's announced end; past it (a child running over its
// parent) the octets are taken one at a time, as the stream would give them.
class block_source {
public:
    static constexpr std::size_t block_size = 64 * 1024;
    static constexpr std::size_t short_block = 16;

    block_source(std::FILE* stream, std::unique_ptr<std::uint8_t[]> buffer, std::uint32_t budget)
        : stream_(stream), buffer_(std::move(buffer)), budget_(budget) {}

    int get() {
        if (at_ == end_ && !refill()) return EOF;
        return *at_++;
    }
    void unget(int) { --at_; }
    std::size_t read(std::uint8_t* to, std::size_t count) {
        std::size_t have = std::min<std::size_t>(count, static_cast<std::size_t>(end_ - at_));
        std::memcpy(to, at_, have);
        at_ += have;
        if (have < count) {
            const std::size_t got = fread_unlocked(to + have, 1, count - have, stream_);
            spend(got);
            have += got;
        }
        return have;
    }
    // `to` has room for short_block octets and `count` is at most that: with as many
    // octets buffered, they are copied as one fixed-size block, without a branch on
    // `count` (which varies from one counter value to the next).
    std::size_t read_short(std::uint8_t* to, std::size_t count) {
        if (end_ - at_ < static_cast<std::ptrdiff_t>(short_block)) return read(to, count);
        std::memcpy(to, at_, short_block);
        at_ += count;
        return count;
    }
    // The next `count` octets when they are all buffered, else NULL; nothing is consumed.
    const std::uint8_t* peek(std::size_t count) const {
        return end_ - at_ >= static_cast<std::ptrdiff_t>(count) ? at_ : nullptr;
    }
    // Consumes `count` octets that peek has shown.
    void skip(std::size_t count) { at_ += count; }
    long long remaining() const {
        const long long in_stream = octets_remaining(stream_);
        return in_stream < 0 ? -1 : in_stream + (end_ - at_);
    }

private:
    void spend(std::size_t count) { budget_ -= std::min<std::size_t>(budget_, count); }
    bool refill() {
        const std::size_t want = budget_ ? std::min<std::size_t>(budget_, block_size) : 1;
        const std::size_t got = fread_unlocked(buffer_.get(), 1, want, stream_);
        spend(got);
        at_ = buffer_.get();
        end_ = at_ + got;
        return got > 0;
    }

    std::FILE* stream_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t budget_;  // octets of the element not yet taken from the stream
    const std::uint8_t* at_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

// Reads `length` octets from a stream of unknown size in growing steps, so that the buffer
// never grows far beyond what the stream really holds. Returns the octets read.
template <class Source>
std::size_t read_growing(Source& source, std::unique_ptr<std::uint8_t[]>& buffer, std::uint32_t length,
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
        const std::size_t got = source.read(buffer.get() + have, capacity - have);
        have += got;
        if (have < capacity) break;
    }
    return have;
}

template <class Source>
int tag_from(Source& source, unsigned first_octet, std::uint32_t* tag, std::uint32_t* prlen) {
    *tag = 0;
    if ((first_octet & 0x1F) != 0x1F) {
        *tag = first_octet & 0x1F;
        return 0;
    }
    // High tag number: base 128, at most four octets (28 bits), whatever the fourth says.
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int octet = source.get();
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

template <class Source>
int type_from(Source& source, asn1_object* rec, std::uint32_t* prlen) {
    const int octet = source.get();
    if (octet == EOF) return 1;
    *prlen += 1;
    rec->asn_class = static_cast<std::uint32_t>(octet) >> 6;
    rec->pc = (static_cast<std::uint32_t>(octet) >> 5) & 1;
    if (tag_from(source, static_cast<unsigned>(octet), &rec->tag, prlen)) {
        dprint("get_asn1_tag() failed");
        return 1;
    }
    return 0;
}

template <class Source>
int definite_length_from(Source& source, unsigned first_octet, std::uint32_t* length, std::uint32_t* prlen) {
    *length = 0;
    if (!(first_octet & 0x80)) {
        *length = first_octet & 0x7F;
        return 0;
    }
    const unsigned count = first_octet & 0x7F;
    std::uint32_t value = 0;
    bool too_long = false;
    for (unsigned i = 0; i < count; ++i) {
        const int octet = source.get();
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

template <class Source>
int length_from(Source& source, asn1_object* rec, std::uint32_t* prlen) {
    const int octet = source.get();
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
    if (definite_length_from(source, static_cast<unsigned>(octet), &rec->length, prlen)) {
        dprint("get_asn1_definite_length() failed");
        return 1;
    }
    return 0;
}

}  // namespace

int get_asn1_type(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen) {
    if (!stream || !rec || !prlen) return 1;
    file_source source{stream};
    return type_from(source, rec, prlen);
}

int get_asn1_tag(std::FILE* stream, unsigned first_octet, std::uint32_t* tag, std::uint32_t* prlen) {
    if (!stream || !tag || !prlen) return 1;
    file_source source{stream};
    return tag_from(source, first_octet, tag, prlen);
}

int get_asn1_length(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen) {
    if (!stream || !rec || !prlen) return 1;
    file_source source{stream};
    return length_from(source, rec, prlen);
}

int get_asn1_definite_length(std::FILE* stream, unsigned first_octet, std::uint32_t* length,
                             std::uint32_t* prlen) {
    if (!stream || !length || !prlen) return 1;
    file_source source{stream};
    return definite_length_from(source, first_octet, length, prlen);
}

namespace {

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
        constexpr std::size_t smallest = 64;
        static_assert(smallest >= asn1_stream_content_room);
        const std::size_t size = std::max<std::size_t>(length, smallest);
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

// The `available` octets left of a content that the input cuts short, for the tree form;
// the record's `missing` counts the rest. Nothing is kept on an exhausted heap.
template <class Source>
void read_cut_content(Source& source, asn1_object* rec, long long available) {
    const auto count = static_cast<std::size_t>(std::max(available, 0LL));
    auto buffer = pm_new_zeroed_array<std::uint8_t>(std::max<std::size_t>(count, 1));
    if (!buffer) return;
    const std::size_t got = source.read(buffer.get(), count);
    rec->data = std::move(buffer);
    rec->missing = static_cast<std::uint32_t>(rec->length - got);
}

template <class Source>
int read_content(Source& source, asn1_object* rec, std::uint32_t* count, const asn1_dialect& dialect,
                 content_cache* cache) {
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
        const long long remaining = source.remaining();
        size_unknown = remaining < 0;
        if ((!size_unknown && length > remaining) || (size_unknown && one_octet)) {
            dprint("fread() failed in get_asn1_data()");
            // The tree form still shows the octets the file holds.
            if (!dialect.free_on_failed_read && !size_unknown) read_cut_content(source, rec, remaining);
            return 1;
        }
    }

    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t got = 0;
    const bool zeroed = one_octet || !dialect.free_on_failed_read;
    if (size_unknown) {
        bool out_of_memory = false;
        got = read_growing(source, buffer, length, out_of_memory);
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
        got = source.read(buffer.get(), wanted);
    }
    rec->data = std::move(buffer);
    if (got < wanted) {
        dprint("fread() failed in get_asn1_data()");
        // The tree form keeps what was read so the element can be shown as far as it goes.
        if (dialect.free_on_failed_read) {
            if (cache) {
                take_back(*cache, *rec);
            } else {
                rec->data.reset();
            }
        } else {
            rec->missing = static_cast<std::uint32_t>(length - got);
        }
        return 1;
    }
    *count += static_cast<std::uint32_t>(wanted);
    return 0;
}

}  // namespace

int get_asn1_data(std::FILE* stream, asn1_object* rec, std::uint32_t* count, const asn1_dialect& dialect) {
    if (!stream || !rec || !count) return 1;
    file_source source{stream};
    return read_content(source, rec, count, dialect, nullptr);
}

namespace {

// Identifier and length of one element, with the failure texts of the walk. Almost every
// element has a tag number below 31 and a length below 128: those octets are taken here
// directly; any other is put back (one octet, which a stream always takes back) and read
// by the steps.
//
// `universal_zero` is set when the identifier is UNIVERSAL, primitive, tag number 0 (an
// end-of-contents candidate). It is worked out from the identifier octet rather than read
// back from the record: the record's class and kind were just stored as two words, and a
// compiler that tests both at once with one wider load waits on both stores, on every
// element of a file.
template <class Source>
int read_header(Source& source, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent,
                bool& universal_zero) {
    const int identifier = source.get();
    if (identifier == EOF) {
        dprint("get_asn1_type() failed");
        dprint("  *prlen: %d, *indent: %d", static_cast<int>(*prlen), static_cast<int>(*indent));
        return 1;
    }
    if ((identifier & 0x1F) == 0x1F) {
        source.unget(identifier);
        if (type_from(source, rec, prlen)) {
            dprint("get_asn1_type() failed");
            dprint("  *prlen: %d, *indent: %d", static_cast<int>(*prlen), static_cast<int>(*indent));
            return 1;
        }
        universal_zero = identifier == 0x1F && rec->tag == ASN1_TAG_EOC;
    } else {
        universal_zero = identifier == 0;
        rec->asn_class = static_cast<std::uint32_t>(identifier) >> 6;
        rec->pc = (static_cast<std::uint32_t>(identifier) >> 5) & 1;
        rec->tag = static_cast<std::uint32_t>(identifier) & 0x1F;
        *prlen += 1;
        const int first_length = source.get();
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
        source.unget(first_length);
    }
    if (length_from(source, rec, prlen)) {
        dprint("get_asn1_length() failed");
        return 1;
    }
    return 0;
}

// `universal_zero` as read_header gave it.
bool is_end_of_contents(const asn1_object& rec, bool universal_zero, const asn1_dialect& dialect) {
    return universal_zero && (dialect.eoc_ignores_length || rec.length == 0);
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
    bool universal_zero = false;
    file_source source{stream};
    if (read_header(source, rec, prlen, indent, universal_zero)) return 1;

    if (rec->pc == PC_PRIMITIVE) {
        if (is_end_of_contents(*rec, universal_zero, dialect)) {
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

template <class Source>
struct stream_walk {
    Source& source;
    asn1_visitor visitor;
    void* context;
    const asn1_dialect& dialect;
    content_cache& cache;
};

// Contents of up to this many octets are what a measurement file is mostly made of.
constexpr std::uint32_t short_content = block_source::short_block;
static_assert(short_content >= asn1_stream_content_room);

// The content of a short primitive element straight into the lent buffer: 0 when read,
// 1 when the element is not of that kind (nothing is consumed then), 2 when the input
// ends inside it.
template <class Source>
int read_short_content(asn1_object& rec, std::uint32_t& count, stream_walk<Source>& walk) {
    content_cache& cache = walk.cache;
    const bool one_octet = walk.dialect.boolean_one_octet && rec.asn_class == ASN1_UNIVERSAL &&
                           rec.tag == ASN1_TAG_BOOLEAN;
    if (rec.length > short_content || one_octet || !walk.dialect.free_on_failed_read || !cache.buffer ||
        cache.size < short_content)
        return 1;
    if (walk.source.read_short(cache.buffer.get(), rec.length) < rec.length) {
        dprint("fread() failed in get_asn1_data()");
        return 2;
    }
    cache.lent = cache.buffer.get();
    rec.data = std::move(cache.buffer);
    count += rec.length;
    return 0;
}

// Short primitive children at the read position, up to the parent's `end` (the octet
// count `count` reaches there): each one whose identifier, length and content are all in
// the source's buffer and need none of the steps' special cases (high tag numbers, long
// lengths, end of contents, one-octet BOOLEAN, empty content) is decoded, shown to the
// visitor and released here, in one loop. Stops, consuming nothing of it, at the first
// element that is not of that kind. These are the counter values that make up most of a
// measurement file; the general steps are taken for the rest.
template <class Source>
void visit_short_children(asn1_object& child, std::uint32_t& count, std::uint32_t end, std::uint32_t level,
                          stream_walk<Source>& walk) {
    if constexpr (requires { walk.source.peek(0); }) {
        content_cache& cache = walk.cache;
        if (level >= asn1_max_depth) return;
        while (count < end && cache.buffer && cache.size >= short_content) {
            const std::uint8_t* octets = walk.source.peek(2 + short_content);
            if (!octets) return;
            const unsigned identifier = octets[0];
            const unsigned length = octets[1];
            // Primitive with a tag number below 31, not UNIVERSAL 0 or 1; 1 to 16 octets.
            if ((identifier & 0x3F) >= 0x1F || identifier <= 1 || length - 1 >= short_content) return;
            child.asn_class = identifier >> 6;
            child.pc = PC_PRIMITIVE;
            child.tag = identifier & 0x1F;
            child.definite = true;
            child.length = length;
            std::memcpy(cache.buffer.get(), octets + 2, short_content);
            cache.lent = cache.buffer.get();
            child.data = std::move(cache.buffer);
            walk.source.skip(2 + length);
            count += 2 + length;
            walk.visitor(child, level, walk.context);
            take_back(cache, child);
        }
    }
}

// What follows an element's identifier and length: its content, or its children.
template <class Source>
int stream_body(asn1_object* rec, bool universal_zero, std::uint32_t* prlen, std::uint32_t* indent, int* endfound,
                stream_walk<Source>& walk) {
    std::uint32_t c = 0;
    if (rec->pc == PC_PRIMITIVE) {
        if (is_end_of_contents(*rec, universal_zero, walk.dialect)) {
            if (!endfound) {
                dprint("Null value for endfound");
                return 1;
            }
            *endfound = 1;
            return 0;
        }
        if (rec->length != 0) {
            const int short_read = read_short_content(*rec, c, walk);
            if (short_read == 2 ||
                (short_read == 1 && read_content(walk.source, rec, &c, walk.dialect, &walk.cache))) {
                dprint("get_asn1_data() failed");
                // A dialect that keeps a cut element's octets wants it shown as far as it goes.
                if (rec->data) {
                    walk.visitor(*rec, *indent, walk.context);
                    take_back(walk.cache, *rec);
                }
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
            visit_short_children(child, c, rec->length, *indent, walk);
            if (rec->length <= c) break;
            asn1_object_init(child);
            if (stream_element(&child, &c, indent, nullptr, walk)) {
                dprint("asn1_process() failed");
                result = 1;
                break;
            }
        }
    } else {
        for (;;) {
            visit_short_children(child, c, UINT32_MAX, *indent, walk);
            asn1_object_init(child);
            int end = 0;
            if (stream_element(&child, &c, indent, &end, walk)) {
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

template <class Source>
int stream_element(asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent, int* endfound,
                   stream_walk<Source>& walk) {
    if (*indent >= asn1_max_depth) {
        dprint("nesting deeper than %u levels", static_cast<unsigned>(asn1_max_depth));
        return 1;
    }
    bool universal_zero = false;
    if (read_header(walk.source, rec, prlen, indent, universal_zero)) return 1;
    return stream_body(rec, universal_zero, prlen, indent, endfound, walk);
}

}  // namespace

int asn1_process(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent,
                 int* endfound, asn1_visitor visitor, void* context, const asn1_dialect& dialect) {
    if (!stream || !rec || !prlen || !indent || !visitor) return 1;
    if (*indent >= asn1_max_depth) {
        dprint("nesting deeper than %u levels", static_cast<unsigned>(asn1_max_depth));
        return 1;
    }
    content_cache cache;
    file_source direct{stream};
    bool universal_zero = false;
    if (read_header(direct, rec, prlen, indent, universal_zero)) return 1;
    // Only an outermost element that says where it ends is read ahead in blocks; a
    // buffer that cannot be had leaves the walk on the stream itself.
    if (rec->pc == PC_CONSTRUCTED && rec->definite && rec->length > 0) {
        if (auto buffer = pm_new_array<std::uint8_t>(block_source::block_size)) {
            block_source blocks(stream, std::move(buffer), rec->length);
            stream_walk<block_source> walk{blocks, visitor, context, dialect, cache};
            return stream_body(rec, universal_zero, prlen, indent, endfound, walk);
        }
    }
    stream_walk<file_source> walk{direct, visitor, context, dialect, cache};
    return stream_body(rec, universal_zero, prlen, indent, endfound, walk);
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
