// What bertree's output is held against: the first element decoded into a tree, printed
// in pre-order as bertree printed it before it printed while walking, or with -s its
// structure (depth, class, tag, C/P, length or NDEF a line, then "complete" or not).
// Usage: bertree_tree_print [-i|-s] FILENAME. Exit status 0 after a complete decoding, 2
// when it stopped early, 1 when there is nothing to print.
#include <cstdio>
#include <cstring>
#include <memory>

#include "asn1object.h"
#include "asn1parse.h"
#include "render.h"

namespace {

void print_object(bertree::element_printer& print, const asn1_object& rec, std::uint32_t level) {
    print.open(rec, level);
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) print_object(print, *c, level + 1);
    if (rec.pc == PC_CONSTRUCTED) print.close(level);
}

void print_structure(const asn1_object& rec, unsigned depth) {
    std::printf("%u %u %u %c ", depth, rec.asn_class, rec.tag, rec.pc ? 'C' : 'P');
    rec.definite ? std::printf("%u\n", rec.length) : std::printf("NDEF\n");
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) print_structure(*c, depth + 1);
}

}  // namespace

int main(int argc, char** argv) {
    const char* option = argc > 2 ? argv[1] : "";
    if (argc < 2) return 1;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(argv[argc - 1], "rb"), std::fclose);
    if (!input) return 1;
    bool complete = false;
    const asn1_ptr root = asn1_parse_stream(input.get(), &complete);
    if (!root) return 1;
    if (std::strcmp(option, "-s") == 0) {
        print_structure(*root, 0);
        return std::puts(complete ? "complete" : "incomplete") < 0;
    }
    {
        bertree::output out(stdout);
        bertree::element_printer print(out, std::strcmp(option, "-i") == 0);
        print_object(print, *root, 0);
    }
    return complete ? 0 : 2;
}
