// Test helper: prints the element structure that the tree form decodes from a file, one
// line per element in document order: depth, class number, tag, C or P, and the length
// ("NDEF" for an indefinite length). The last line says whether the walk completed.
#include <cstdio>
#include <vector>

#include "asn1object.h"
#include "asn1parse.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    bool complete = false;
    asn1_ptr root = parse(argv[1], &complete);
    if (!root) return 1;
    std::vector<std::pair<const asn1_object*, unsigned>> stack{{root.get(), 0}};
    while (!stack.empty()) {
        auto [rec, depth] = stack.back();
        stack.pop_back();
        if (rec->definite) {
            std::printf("%u %u %u %c %u\n", depth, rec->asn_class, rec->tag, rec->pc ? 'C' : 'P', rec->length);
        } else {
            std::printf("%u %u %u %c NDEF\n", depth, rec->asn_class, rec->tag, rec->pc ? 'C' : 'P');
        }
        std::vector<const asn1_object*> kids;
        for (const asn1_object* c = rec->children.get(); c; c = c->next.get()) kids.push_back(c);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    std::puts(complete ? "complete" : "incomplete");
    return 0;
}
