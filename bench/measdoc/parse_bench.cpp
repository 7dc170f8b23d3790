// Time and memory of whole conversion runs (read, tokenize, convert) over a generated file
// of either layout with the given number of value rows in blocks of 1000 rows:
//   build/bench/measdoc_parse_bench [rows] [mdc|meascollec] [threadNumber...]
// (defaults: 100000 rows, the older layout, 0 1 4 8 workers). Not a test: prints, per
// thread number, the wall time of the run, the peak resident memory during it and what
// the run produced. The peak needs Linux's clear_refs; without it the process peak so far
// is shown.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_parse.h"
#include "md_regex.h"
#include "md_thread.h"
#include "md_xml.h"

namespace {

constexpr int counters = 10;
constexpr int rows_per_block = 1000;

std::string value_of(int row, int c) {
    return (row * 7 + c * 3) % 13 == 0 ? "NULL" : std::to_string((row * 131 + c * 17) % 100000);
}

// One data section of blocks of rows_per_block rows, ten counters each.
std::string make_file(int rows, bool current) {
    std::string xml;
    xml.reserve(static_cast<std::size_t>(rows) * (current ? 200 : 330));
    if (current) {
        xml += "<?xml version=\"1.0\"?>\n<measCollecFile>\n  <fileHeader fileFormatVersion=\"32.435 V10.0\" "
               "vendorName=\"Vendor\" dnPrefix=\"DC=example.org\">\n    <measCollec beginTime=\"B\"/>\n"
               "  </fileHeader>\n  <measData>\n    <managedElement localDn=\"SubNetwork=1,ManagedElement=RNC-1\"/>\n";
    } else {
        xml += "<?xml version=\"1.0\"?>\n<mdc>\n  <mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>V</vn>"
               "<cbt>20240301141500.0+0100</cbt></mfh>\n  <md>\n    <neid><nedn>SubNetwork=1,ManagedElement=RNC-1"
               "</nedn></neid>\n";
    }
    for (int row = 0; row < rows;) {
        if (current) {
            xml += "    <measInfo>\n      <granPeriod duration=\"PT900S\" endTime=\"E\"/>\n      <measTypes>";
            for (int c = 0; c < counters; ++c) {
                if (c > 0) xml += ' ';
                xml += "pmCounter";
                xml += std::to_string(c);
            }
            xml += "</measTypes>\n";
        } else {
            xml += "    <mi>\n      <mts>20240301143000.0+0100</mts><gp>900</gp>\n";
            for (int c = 0; c < counters; ++c) xml += "      <mt>pmCounter" + std::to_string(c) + "</mt>\n";
        }
        for (int k = 0; k < rows_per_block && row < rows; ++k, ++row) {
            const std::string cell = "RncFunction=1,UtranCell=" + std::to_string(row) + ",UtranRelation=1,UtranRelation=2";
            if (current) {
                xml += "      <measValue measObjLdn=\"" + cell + "\"><measResults>";
                for (int c = 0; c < counters; ++c) {
                    if (c > 0) xml += ' ';
                    xml += value_of(row, c);
                }
                xml += "</measResults>";
                if (row % 5 == 0) xml += "<suspect>true</suspect>";
                xml += "</measValue>\n";
            } else {
                xml += "      <mv><moid>" + cell + "</moid>";
                for (int c = 0; c < counters; ++c) xml += "<r>" + value_of(row, c) + "</r>";
                if (row % 5 == 0) xml += "<sf>TRUE</sf>";
                xml += "</mv>\n";
            }
        }
        xml += current ? "    </measInfo>\n" : "    </mi>\n";
    }
    xml += current ? "  </measData>\n  <fileFooter><measCollec endTime=\"E\"/></fileFooter>\n</measCollecFile>\n"
                   : "  </md>\n  <mff><ts>20240301143000.0+0100</ts></mff>\n</mdc>\n";
    return xml;
}

// Resets the kernel's peak resident size of this process; false when it cannot.
bool reset_peak() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    return static_cast<bool>(refs);
}

// A line of /proc/self/status in kilobytes ("VmHWM", "VmRSS"), or -1.
long status_kb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, len, key) == 0 && line[len] == ':') return std::strtol(line.c_str() + len + 1, nullptr, 10);
    return -1;
}

bool set(int type, const char* value) {
    const char* values[] = {value, nullptr};
    return glob_set_config(type, values);
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const bool current = argc > 2 && std::strcmp(argv[2], "meascollec") == 0;
    std::vector<const char*> numbers;
    for (int i = 3; i < argc; ++i) numbers.push_back(argv[i]);
    if (numbers.empty()) numbers = {"0", "1", "4", "8"};

    const std::string xml = make_file(rows > 0 ? rows : 1, current);
    char path[] = "/tmp/measdoc-parse-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 1;
    std::FILE* out = fdopen(fd, "wb");
    std::fwrite(xml.data(), 1, xml.size(), out);
    std::fclose(out);
    std::printf("file: %s layout, %d rows, %.1f MB; resident before the runs: %ld kB\n", current ? "current" : "older",
                rows, static_cast<double>(xml.size()) / (1 << 20), status_kb("VmRSS"));

    int status = 0;
    for (const char* workers : numbers) {
        bool ok = regex_init() && set(xcfg_xmlfilename, path) && set(xcfg_threadnum, workers);
        if (current) {
            const char* dn[] = {"fileHeader.dnPrefix", "managedElement.localDn", "measValue.measObjLdn", nullptr};
            ok = ok && set(xcfg_xmldocumenttype, "1") && glob_set_config(xcfg_distnameelemnames, dn) &&
                 set(xcfg_suspectflagelemname, "suspect");
        }
        ok = ok && glob_init() && thr_init() && xml_init() && io_init() && parse_init();
        const bool exact_peak = reset_peak();
        const auto begin = std::chrono::steady_clock::now();
        ok = ok && thr_run_xml();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
        const long peak = status_kb("VmHWM");
        long blocks = 0;
        long values = 0;
        for (const a_measinfo* b = measdata.md_measinfo; b != nullptr; b = b->mmi_next, ++blocks)
            for (const a_measvalue* r = b->mmi_measvalue; r != nullptr; r = r->mmv_next)
                for (const a_measpair* p = r->mmv_measrslt; p != nullptr; p = p->mmp_next) ++values;
        if (!ok) {
            std::printf("threadNumber %s: run failed: %s\n", workers, thr_info.th_main.tr_error.text);
            status = 1;
        } else {
            std::printf("threadNumber %s: %.3f s, %.0f k rows/s, peak resident %s%ld kB; %ld blocks, %ld values\n",
                        workers, spent.count(), rows / spent.count() / 1000, exact_peak ? "" : "(process) ", peak,
                        blocks, values);
        }
        parse_deinit();
        xml_deinit();
        io_deinit();
        thr_deinit();
        glob_deinit();
        regex_deinit();
    }
    std::remove(path);
    return status;
}
