// The tree print bertree had before it printed while walking: the whole first element
// decoded into a tree, then printed in pre-order. Kept for the tests, which hold bertree's
// output against it. Usage: bertree_tree_print [-i] FILENAME. Exit status 0 after a
// complete decoding, 2 when it stopped early, 1 when there is nothing to print.
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

}  // namespace

int main(int argc, char** argv) {
    const bool indent = argc > 2 && std::strcmp(argv[1], "-i") == 0;
    if (argc < 2) return 1;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(argv[argc - 1], "rb"), std::fclose);
    if (!input) return 1;
    bool complete = false;
    const asn1_ptr root = asn1_parse_stream(input.get(), &complete);
    if (!root) return 1;
    {
        bertree::output out(stdout);
        bertree::element_printer print(out, indent);
        print_object(print, *root, 0);
    }
    return complete ? 0 : 2;
}
