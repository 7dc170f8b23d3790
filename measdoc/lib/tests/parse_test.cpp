// Section conversion through whole runs: what the host gets from small documents of
// either layout (blocks and rows, headers nearest in scope, distinguished names,
// timestamps, delimited lists, renames, NULL values, cut and quoted names, block names,
// suspect flags, the runs that fail and the sections skipped with a warning), the same
// with and without workers; and the bundled samples against their golden results.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "table.h"
#include "test_env.h"

namespace {

using ::testing::HasSubstr;

std::string block(const std::string& names, const std::string& rows, const std::string& mts = "M") {
    return "<mi><mts>" + mts + "</mts><gp>900</gp>" + names + rows + "</mi>";
}
std::string row(const std::string& inner, const std::string& moid = "C=1", const std::string& attrs = "") {
    return "<mv" + attrs + "><moid>" + moid + "</moid>" + inner + "</mv>";
}
std::string each(const char* element, std::initializer_list<const char*> texts) {
    std::string out;
    for (const char* t : texts) out += std::string("<") + element + ">" + t + "</" + element + ">";
    return out;
}
std::string mts(std::initializer_list<const char*> names) { return each("mt", names); }
std::string rs(std::initializer_list<const char*> values) { return each("r", values); }
std::string md(const std::string& nedn, const std::string& blocks) {
    return "<md><neid><nedn>" + nedn + "</nedn></neid>" + blocks + "</md>";
}
// One block of one counter "a" with one row.
std::string one(const char* value = "1", const char* moid = "C=1") { return block(mts({"a"}), row(rs({value}), moid)); }

// A field of the result as text: rows and blocks apart by "; ".
std::string field(const conversion& c, const std::string& name) {
    std::vector<std::string> out;
    if (name == "header") return join(c.data.header);
    if (name == "footer") return join(c.data.footer);
    if (name == "warnings") return without_lines(join(c.warnings, "; "));
    for (const block_view& b : c.data.blocks) {
        if (name == "common") out.push_back(join(b.common));
        if (name == "types") out.push_back(join(b.types));
        for (const row_view& r : b.rows) {
            if (name == "values") out.push_back(join(r.values));
            if (name == "instance") out.push_back(join(r.instance));
            if (name == "unique") out.push_back(join(r.unique));
            if (name == "suspect") out.push_back(join(r.suspect));
            if (name == "blockname") out.push_back(r.blockname);
        }
    }
    return join(out, "; ");
}

// The cases are in expected/conversions.txt, whose header tells the fields.
TEST(Conversion, SmallDocuments) {
    const std::vector<test_table::row> cases = test_table::read("conversions.txt");
    EXPECT_EQ(cases.size(), 74U);
    for (const test_table::row& k : cases) {
        SCOPED_TRACE(k[0]);
        const std::string doc = test_table::unescaped(k[1]);
        item_list items;
        std::vector<std::pair<std::string, std::string>> checks;
        for (std::size_t i = 2; i < k.size(); ++i) {
            const std::size_t eq = k[i].find('=');
            const std::string value = test_table::unescaped(k[i].substr(eq + 1));
            if (k[i][0] != '+') {
                checks.emplace_back(k[i].substr(0, eq), value);
                continue;
            }
            const int type = item_number(k[i].substr(1, eq - 1));
            if (items.empty() || items.back().first != type) items.push_back({type, {}});
            items.back().second.push_back(value);
        }
        const conversion c = convert(doc, items, 0);
        const conversion workers = convert(doc, items, 4, 3);
        EXPECT_EQ(workers.ok, c.ok);
        EXPECT_EQ(workers.ok ? workers.dump : "", c.ok ? c.dump : "");  // a failed run stops anywhere
        bool fails = false;
        for (const auto& [name, text] : checks) {
            if (name == "error") {
                fails = true;
                // The whole message: its trace names the step that failed and each caller.
                std::string message = without_lines(c.error);
                if (!message.empty() && message.back() == ' ') message.pop_back();
                EXPECT_EQ(message, text);
            } else if (name == "warnings" && !text.empty()) {
                EXPECT_THAT(field(c, name), HasSubstr(text));
            } else {
                EXPECT_EQ(field(c, name), text) << name;
            }
        }
        EXPECT_EQ(c.ok, !fails) << c.error;
    }
}

TEST(Conversion, WorkedExampleAndSectionsInDocumentOrder) {
    // expected/worked_example.txt: the element that occurs last leads the header chain.
    const std::string worked_example = read_file(std::string(MEASDOC_GOLDEN_DIR) + "/worked_example.xml");
    const std::string expected = read_file(std::string(MEASDOC_GOLDEN_DIR) + "/worked_example.txt");
    // Blocks of many sections keep the document's order; of several header and footer
    // sections the last in the document wins.
    std::string sections;
    std::vector<std::string> values;
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        sections += "<mfh><cbt>C" + n + "</cbt></mfh>" + md("A=" + n, one(n.c_str()) + block(mts({"b"}), row(rs({("x" + n).c_str()}))));
        values.push_back("a=" + n);
        values.push_back("b=x" + n);
    }
    const std::string many = "<mdc>" + sections + "<mff><ts>T1</ts></mff><mff><ts>T2</ts></mff></mdc>";
    for (int threads : thread_numbers) {
        SCOPED_TRACE(threads);
        conversion c = convert(worked_example, {}, threads);
        EXPECT_TRUE(c.ok) << c.error;
        EXPECT_TRUE(c.warnings.empty());
        EXPECT_EQ(c.dump, expected);
        c = convert(many, {}, threads, threads == 8 ? 3 : 0);
        EXPECT_TRUE(c.ok) << c.error;
        EXPECT_EQ(field(c, "header"), "cbt=C11/0");
        EXPECT_EQ(field(c, "footer"), "ts=T2/0");
        EXPECT_EQ(field(c, "values"), join(values, "; "));
    }
}

// Every allocation of a whole run failing in turn, in pools of the smallest page so that
// the index, scope and expansion steps meet failures too. Each run fails with the
// allocation's own message, whose trace goes from the failed step up through its callers
// (a step that carried on would add its own), or has the whole result (the pattern
// library can do without some of its extras); nothing is left behind. The messages
// without workers are in expected/allocation_failures.txt.
TEST(Conversion, AllocationFailureAtEveryStep) {
    const std::string doc = "<mdc><mfh><cbt>C</cbt></mfh>" +
                            md("A=1", block(mts({"a", "b"}), row(rs({"1", "2"}) + "<sf>TRUE</sf>") +
                                                                 row(rs({"3", "4"}), "C=2")) +
                                          block(mts({"c"}), row(rs({"5"}), "C=3"))) +
                            "<mff><ts>T</ts></mff></mdc>";
    const conversion whole = convert(doc, {}, 0);
    ASSERT_TRUE(whole.ok) << whole.error;
    // The pattern library's own words on where it stopped vary with its version.
    const std::regex compile_detail(R"(pattern compilation failed \[.*\] \[offset - [0-9]+\])");
    std::set<std::string> messages;
    mem_set_pagesize(mem_min_pagesz);
    for (int threads : {0, 2}) {
        bool completed = false;
        for (unsigned fault = 1; !completed; ++fault) {
            SCOPED_TRACE("workers " + std::to_string(threads) + ", allocation " + std::to_string(fault));
            mem_set_sysfault(fault);
            const conversion c = convert(doc, {}, threads);
            completed = mem_set_sysfault(0) != 0;  // the run never met its fault
            if (c.ok) {
                EXPECT_EQ(c.dump, whole.dump);
                continue;
            }
            std::string message = std::regex_replace(without_lines(c.error), compile_detail, "pattern compilation failed");
            if (!message.empty() && message.back() == ' ') message.pop_back();
            EXPECT_THAT(message, ::testing::ContainsRegex("^ERROR: (system error \\[error desc - Cannot allocate memory\\]|"
                                                          "pregex - pattern compilation failed \\[message - failed to allocate heap memory\\])"));
            if (threads == 0) messages.insert((c.started ? "run: " : "start: ") + message);
        }
    }
    mem_set_pagesize(0);
    std::string listed;
    for (const std::string& m : messages) listed += m + "\n";
    const fs::path golden = fs::path(MEASDOC_GOLDEN_DIR) / "allocation_failures.txt";
    if (std::getenv("MEASDOC_UPDATE_GOLDEN") != nullptr) std::ofstream(golden, std::ios::binary) << listed;
    EXPECT_EQ(listed, read_file(golden.string()));
}

// Settings for the bundled files of the current layout, whose vendor names and local
// names are no distinguished names and whose suspect flags are spelled in lower case.
item_list settings_for(const std::string& path) {
    if (path.find("mdc") != std::string::npos) return {};
    return {{xcfg_xmldocumenttype, {"1"}},
            {xcfg_distnameelemnames, {"fileHeader.dnPrefix", "managedElement.localDn", "measValue.measObjLdn"}},
            {xcfg_meastypelemseq, {"measTypes", "measType"}},
            {xcfg_measrsltelemseq, {"measResults", "r"}},
            {xcfg_suspectflagelemname, {"suspect"}}};
}

// A large data section leaves for the workers in parts while it is read, and every part is
// kept (or the section is converted twice), also where header names are found both in the
// section's shared elements and in every block, as pm2pif configures them; an mdc section,
// whose neid holds elements, whole.
TEST(Conversion, LargeSectionsKeepTheirParts) {
    if (thr_max_num == 0) GTEST_SKIP() << "no workers in this build";
    std::string blocks, infos;
    for (int b = 0; b < 6000; ++b) {
        const std::string n = std::to_string(b);
        blocks += one(n.c_str(), ("C=" + n).c_str());
        infos += "<measInfo><granPeriod endTime=\"E\"/><measTypes>a b</measTypes><measValue measObjLdn=\"C=" + n +
                 "\"><measResults>1 " + n + "</measResults></measValue></measInfo>";
    }
    const std::string one_section =
        "<measCollecFile><measData><managedElement localDn=\"ME=1\"/>" + infos + "</measData></measCollecFile>";
    item_list block_headers = settings_for("one-section.xml");
    block_headers.push_back({xcfg_hdrelemnames, {"managedElement.localDn", "granPeriod.endTime"}});
    for (const auto& [doc, items, cut] : {std::tuple{one_section, settings_for("one-section.xml"), 2U},
                                          {one_section, block_headers, 2U},
                                          {"<mdc>" + md("A=1", blocks) + "</mdc>", item_list{}, 0U}}) {
        const conversion c = convert(doc, items, 2);
        EXPECT_EQ(std::pair(thr_part_count().tp_cut, thr_part_count().tp_kept), std::pair(std::size_t{cut}, std::size_t{cut}));
        EXPECT_TRUE(c.ok) << c.error;
        EXPECT_EQ(c.dump, convert(doc, items, 0).dump);
    }
}

// The bundled samples of less than 64 KiB against their golden results in expected/
// (MEASDOC_UPDATE_GOLDEN=1 writes them anew, to be read over before they are committed).
// Every sample alike under every number of workers is the Perl tests' check.
TEST(Samples, GoldenResults) {
    constexpr std::uintmax_t size_limit = 65536;
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(MEASDOC_SAMPLES_DIR)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".xml" || fs::file_size(path) >= size_limit) continue;
        SCOPED_TRACE(path);
        const conversion c = convert_file(path, settings_for(path), 0);
        const std::string result = (c.ok ? "ok\n" : "failed: " + without_lines(c.error) + "\n") + join(c.warnings, "\n") +
                                   "\n" + c.dump;
        const fs::path golden = fs::path(MEASDOC_GOLDEN_DIR) / (entry.path().filename().string() + ".txt");
        if (std::getenv("MEASDOC_UPDATE_GOLDEN") != nullptr) std::ofstream(golden, std::ios::binary) << result;
        EXPECT_EQ(result, read_file(golden.string()));
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

}  // namespace
