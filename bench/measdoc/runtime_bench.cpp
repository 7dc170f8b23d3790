// Rough throughput of the runtime's hot paths, for comparing builds and changes:
//   build/bench/measdoc_runtime_bench
// Not a test: prints nanoseconds per operation.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "md_index.h"
#include "md_memory.h"
#include "md_regex.h"

namespace {

template <class F>
double ns_per_op(long ops, F work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / static_cast<double>(ops);
}

}  // namespace

int main() {
    constexpr long allocations = 4000000;
    a_meminfo pool{};
    const double alloc_ns = ns_per_op(allocations, [&] {
        for (long i = 0; i < allocations; ++i) mem_malloc(&pool, 24);
    });
    mem_destroy(&pool, false);

    constexpr int keys = 200000;
    std::vector<std::string> names;
    for (int i = 0; i < keys; ++i) names.push_back("measInfo.pmCounter" + std::to_string(i * 7919 % keys));
    a_objhead* idx = index_new_stridx();
    index_set_stridx(idx, IDX_COPYKEY, 1);
    const double insert_ns = ns_per_op(keys, [&] {
        for (const auto& n : names) index_find_stridx(idx, n.c_str());
    });
    index_set_stridx(idx, IDX_FINDONLY, 1);
    const double find_ns = ns_per_op(keys, [&] {
        for (const auto& n : names) index_find_stridx(idx, n.c_str());
    });
    index_destroy_stridx(idx);

    std::vector<std::uint32_t> seqs(keys);
    for (int i = 0; i < keys; ++i) seqs[i] = static_cast<std::uint32_t>(i);
    a_objhead* seq = index_new_stridx();
    index_set_stridx(seq, IDX_KEYLEN, 4);
    const double seq_ns = ns_per_op(keys, [&] {
        for (const auto& s : seqs) index_find_stridx(seq, &s);
    });
    index_destroy_stridx(seq);

    regex_init();
    a_pregex* list = nullptr;
    regex_compile_pregex(&list, "^pm(\\w+)Att$", nullptr);
    regex_compile_pregex(&list, "^pm(\\w+)Succ$", nullptr);
    regex_compile_pregex(&list, "^pm(\\w+)Fail$", "f$1");
    a_pregex* meta = regex_meta_pregex(list);
    constexpr long finds = 500000;
    const char* subjects[] = {"pmRrcConnAtt", "pmRrcConnSucc", "pmRrcConnFail", "pmOther"};
    int found = 0;
    const double regex_ns = ns_per_op(finds, [&] {
        for (long i = 0; i < finds; ++i) found += regex_find_pregex(list, subjects[i % 4]) >= 0;
    });
    char buffer[64];
    const double replace_ns = ns_per_op(finds, [&] {
        for (long i = 0; i < finds; ++i) regex_replace_pregex(list, "pmRrcConnFail", buffer, sizeof buffer);
    });
    regex_destroy_pregex(meta);
    while (list != nullptr) {
        a_pregex* older = list->grx_older;
        regex_destroy_pregex(list);
        list = older;
    }
    regex_deinit();

    std::printf("pool allocation (24 bytes)          %7.1f ns\n", alloc_ns);
    std::printf("index insert, string key, copied    %7.1f ns (%d keys)\n", insert_ns, keys);
    std::printf("index find-only, string key         %7.1f ns\n", find_ns);
    std::printf("index insert, 4-byte key, ascending %7.1f ns\n", seq_ns);
    std::printf("combined-pattern find (3 patterns)  %7.1f ns (%d found)\n", regex_ns, found);
    std::printf("replacement with template           %7.1f ns\n", replace_ns);
    return 0;
}
