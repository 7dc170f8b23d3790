// Throughput of a conversion run's reading side: the block reader and the tokenizer over a
// generated measurement file, with the sections handed to 0 or 4 workers that release
// them (the section conversion itself is not part of this unit):
//   build/bench/measdoc_xml_bench [megabytes]
// Not a test: prints megabytes and elements per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_xml.h"

namespace {

// A file in the current layout: eight data sections of measurement blocks with 20 rows
// of 16 counters each.
std::string make_file(std::size_t megabytes) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<measCollecFile xmlns=\"http://example.invalid/measCollec\">\n"
        "  <fileHeader fileFormatVersion=\"32.435 V10.0\" vendorName=\"Vendor\" dnPrefix=\"DC=example\">\n"
        "    <fileSender localDn=\"SubNetwork=1,ManagedElement=NODE-1\" elementType=\"RNC\"/>\n"
        "    <measCollec beginTime=\"2024-01-01T00:00:00+00:00\"/>\n  </fileHeader>\n";
    const std::size_t target = megabytes << 20;
    const std::size_t per_section = target / 8;
    for (int section = 0; section < 8; ++section) {
        xml += "  <measData>\n    <managedElement localDn=\"ManagedElement=NODE-1\" swVersion=\"R1\"/>\n";
        const std::size_t start = xml.size();
        for (int block = 0; xml.size() - start < per_section; ++block) {
            xml += "    <measInfo measInfoId=\"Group=" + std::to_string(block) + "\">\n"
                   "      <granPeriod duration=\"PT900S\" endTime=\"2024-01-01T00:15:00+00:00\"/>\n"
                   "      <measTypes>";
            for (int c = 0; c < 16; ++c) xml += "pmCounterNumber" + std::to_string(c) + (c < 15 ? " " : "");
            xml += "</measTypes>\n";
            for (int row = 0; row < 20; ++row) {
                xml += "      <measValue measObjLdn=\"ManagedElement=NODE-1,Cell=" + std::to_string(row) +
                       "\">\n        <measResults>";
                for (int c = 0; c < 16; ++c) xml += std::to_string((row * 31 + c * 7) % 100000) + (c < 15 ? " " : "");
                xml += "</measResults>\n        <suspect>false</suspect>\n      </measValue>\n";
            }
            xml += "    </measInfo>\n";
        }
        xml += "  </measData>\n";
    }
    xml += "  <fileFooter>\n    <measCollec endTime=\"2024-01-01T00:15:00+00:00\"/>\n  </fileFooter>\n"
           "</measCollecFile>\n";
    return xml;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::string xml = make_file(megabytes == 0 ? 1 : megabytes);
    char path[] = "/tmp/measdoc-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 1;
    std::FILE* out = fdopen(fd, "wb");
    std::fwrite(xml.data(), 1, xml.size(), out);
    std::fclose(out);

    std::printf("file: %.1f MB\n", static_cast<double>(xml.size()) / (1 << 20));
    for (const char* workers : {"0", "4"}) {
        const char* file[] = {path, nullptr};
        const char* threads[] = {workers, nullptr};
        if (!regex_init() || !glob_set_config(xcfg_xmlfilename, file) || !glob_set_config(xcfg_threadnum, threads) ||
            !glob_init())
            return 1;
        const auto begin = std::chrono::steady_clock::now();
        const bool ok = thr_init() && xml_init() && io_init() && thr_run_xml();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
        const std::uint32_t elements = tag_counter.xtc_tags;
        xml_deinit();
        io_deinit();
        thr_deinit();
        glob_deinit();
        regex_deinit();
        if (!ok) {
            std::printf("run failed: %s\n", thr_info.th_main.tr_error.text);
            return 1;
        }
        std::printf("threadNumber %s: %.3f s, %.0f MB/s, %.2f M elements/s\n", workers, spent.count(),
                    static_cast<double>(xml.size()) / (1 << 20) / spent.count(), elements / spent.count() / 1e6);
    }
    std::remove(path);
    return 0;
}
