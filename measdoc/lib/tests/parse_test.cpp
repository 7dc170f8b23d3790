// Section conversion through whole runs: what the host gets from small documents of
// either layout (blocks and rows, headers nearest in scope, distinguished names,
// timestamps, delimited lists, renames, NULL values, cut and quoted names, block names,
// suspect flags, the runs that fail and the sections skipped with a warning), the same
// with and without workers; and the bundled samples against their golden results.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_env.h"

namespace {

using ::testing::HasSubstr;

// An older-layout file: file header, one data section of network element A=1 with the
// blocks given, footer.
std::string file_with(const std::string& blocks, const std::string& header = "<cbt>C</cbt>") {
    return "<mdc><mfh>" + header + "</mfh><md><neid><nedn>A=1</nedn></neid>" + blocks + "</md><mff><ts>T</ts></mff></mdc>";
}
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

struct conversion_case {
    std::string what;
    std::string doc;
    item_list items;
    // Field and its text; "error" and "warnings" are parts of the message.
    std::vector<std::pair<std::string, std::string>> checks;
};

TEST(Conversion, SmallDocuments) {
    const item_list timestamps = {{xcfg_timestampctrelemnames, {"mts"}}};
    auto with_desc = [&](std::vector<std::string> desc) {
        item_list items = timestamps;
        items.push_back({xcfg_timestampdesc, std::move(desc)});
        return items;
    };
    const item_list lists = {{xcfg_delimcntrelemnames, {"mt", "r"}}, {xcfg_normcntrelemnames, {"none"}}};
    auto with_lists = [&](item_list more) {
        more.insert(more.end(), lists.begin(), lists.end());
        return more;
    };
    auto two_rows = [](const std::string& first = "SubNetwork=1,ManagedElement=RNC01,UtranCell=C1", const std::string& attrs = "") {
        return file_with(block(mts({"a"}), row(rs({"1"}), first, attrs) + row(rs({"2"}), "X=2")));
    };
    const std::string current_header = R"(<measCollecFile><fileHeader fileFormatVersion="1"><measCollec beginTime="B"/>
        </fileHeader><fileFooter><measCollec endTime="E"/></fileFooter></measCollecFile>)";
    std::string repeated_dn, repeated_pairs;
    for (int i = 0; i < 12; ++i) {
        repeated_dn += (i > 0 ? ",X=" : "X=") + std::to_string(i);
        repeated_pairs += std::string(i > 0 ? " moid_X_" + std::to_string(i) : "moid_X") + "=" + std::to_string(i) + "/1";
    }
    const std::string long_name(70, 'x');
    const std::string bad_stamp = "ERROR: parse - invalid timestamp value ";

    const std::vector<conversion_case> cases = {
        {"rows belong to their block and take its counter names",
         file_with(block(mts({"a", "b"}), row(rs({"1", "2"})) + row(rs({"3", "4"}), "C=2")) +
                   block(mts({"x", "y"}), row(rs({"7", "8"}), "C=4"))),
         {},
         {{"values", "a=1 b=2; a=3 b=4; x=7 y=8"}, {"instance", "moid_C=1/1; moid_C=2/1; moid_C=4/1"},
          {"suspect", "; ; "}, {"warnings", ""}}},
        {"counters match by position whatever their numbering",
         file_with(R"(<mi><mts>M</mts><mt p="3">a</mt><mt p="1">b</mt><mt p="2">c</mt>
                   <mv><moid>C=1</moid><r p="2">1</r><r p="3">2</r><r p="1">3</r></mv></mi>)"),
         {}, {{"values", "a=1 b=2 c=3"}}},
        {"too few values", file_with(block(mts({"a", "b", "c"}), row(rs({"1", "2"})))), {},
         {{"error", "ERROR: parse - type and result counters do not match"}}},
        {"a row without values is kept", file_with(block(mts({"a"}), row("<sf>TRUE</sf>") + row(rs({"5"}), "C=2"))), {},
         {{"values", "; a=5"}, {"suspect", "sf=TRUE; "}}},
        {"the first suspect element stays", file_with(block(mts({"a"}), row(rs({"1"}) + "<sf>TRUE</sf><sf>FALSE</sf>"))),
         {}, {{"suspect", "sf=TRUE"}}},
        {"a block's names, listed after its rows, never reach another block",
         file_with("<mi><mts>M</mts><mv><moid>C=1</moid><r>1</r></mv><mt>late</mt></mi>" + block(mts({"b"}), row(rs({"2"})))),
         {}, {{"values", "late=1; b=2"}}},
        {"each block takes the header nearest in scope",
         "<mdc><mfh><cbt>C</cbt></mfh><md><ne><nedn>A=1</nedn>" + one() + one("2") + "</ne><ne><nedn>A=2</nedn>" + one("3") +
             "</ne></md></mdc>",
         {}, {{"common", "nedn_A=1/1; nedn_A=1/1; nedn_A=2/1"}}},
        {"rows take the headers of their own block",  // the next block's period is nearer in the document
         file_with(block(mts({"a"}), row(rs({"1"})) + row(rs({"2"}), "C=2"), "M1") + block(mts({"a"}), row(rs({"3"}), "C=3"), "M2")),
         {}, {{"unique", "moid_C=1/1 gp=900/0 mts=M1/0; moid_C=2/1 gp=900/0 mts=M1/0; moid_C=3/1 gp=900/0 mts=M2/0"}}},
        {"section without blocks", "<mdc><mfh><cbt>C</cbt></mfh>" + md("A=1", "<x>1</x>") + md("A=2", one()) + "</mdc>", {},
         {{"warnings", "WARN : parse - measurement information not found [tag - md:1]"}, {"common", "nedn_A=2/1"}}},
        {"section without rows", "<mdc><mfh><cbt>C</cbt></mfh>" + md("A=1", "<mi><mts>M</mts><mt>a</mt></mi>") + md("A=2", one()) + "</mdc>",
         {}, {{"warnings", "WARN : parse - measurement value not found [tag - md:1]"}, {"common", "nedn_A=2/1"}}},
        {"section without counter names",
         "<mdc><mfh><cbt>C</cbt></mfh>" + md("A=1", "<mi><mv><moid>C=1</moid><mts>M</mts><r>1</r></mv></mi>") + md("A=2", one()) + "</mdc>",
         {}, {{"warnings", "WARN : parse - measurement type not found [tag - md:1]"}, {"common", "nedn_A=2/1"}}},
        {"root child of unknown kind", "<mdc><mfh><cbt>C</cbt></mfh><other><x/></other></mdc>", {},
         {{"error", "ERROR: parse - section data contains invalid tag name [tag - other:1]"}}},
        {"data section without header element", "<mdc><md><mi><mts>M</mts><mt>a</mt><mv><moid>C=1</moid><r>1</r></mv></mi></md></mdc>",
         {}, {{"error", "ERROR: returned null [parse_sort_elems"}}},
        {"footer without header element", "<mdc><mfh><cbt>C</cbt></mfh><mff><zz>1</zz></mff></mdc>", {},
         {{"error", "ERROR: returned null [parse_sort_elems"}}},
        {"a header's leading element twice: joined with a warning",
         "<mdc><mfh><g><ffv>1</ffv><cbt>C1</cbt></g><g><ffv>2</ffv><cbt>C2</cbt></g></mfh>" + md("A=1", one()) + "</mdc>", {},
         {{"header", "cbt=C1/0 ffv=1/0 cbt=C2/0 ffv=2/0"}, {"warnings", "WARN : parse - found multiple header data [2]"}}},
        {"header names: the most frequent leads, ties to the deeper",
         "<mdc><mfh><a>x</a><g><b>1</b></g><g><b>2</b></g></mfh>" + md("A=1", one()) + "</mdc>",
         {{xcfg_hdrelemnames, {"a", "b", "c", "nedn"}}},
         {{"header", "b=1/0 a=x/0 b=2/0 a=x/0"}}},
        {"header names: a tie goes to the later name", "<mdc><mfh><b>1</b><a>x</a></mfh>" + md("A=1", one()) + "</mdc>",
         {{xcfg_hdrelemnames, {"a", "b", "nedn"}}},
         {{"header", "a=x/0 b=1/0"}}},
        {"header name at two depths", file_with(one(), "<a>1</a><g><a>2</a></g>"), {{xcfg_hdrelemnames, {"a"}}},
         {{"error", "ERROR: scope - tags are of different depths [tag - a:1]"}}},

        {"distinguished name: one typed pair per component", file_with(one("1", "SubNetwork=1,ManagedElement=RNC01")), {},
         {{"common", "nedn_A=1/1"}, {"instance", "moid_SubNetwork=1/1 moid_ManagedElement=RNC01/1"}}},
        {"distinguished name: repeated components numbered", file_with(one("1", "A=1,A=2,B=3,A=4")), {},
         {{"instance", "moid_A=1/1 moid_A_1=2/1 moid_B=3/1 moid_A_2=4/1"}}},
        {"distinguished name: many repeats", file_with(one("1", repeated_dn.c_str())), {}, {{"instance", repeated_pairs}}},
        {"distinguished name: values quoted, further equal signs dropped", file_with(one("1", "A=x y,B=1=2=3")), {},
         {{"instance", "moid_A=\"x y\"/1 moid_B=123/1"}}},
        {"distinguished name with odd pieces", file_with(one("1", "a=1,b")), {},
         {{"error", "ERROR: parse - inconsistent name and value pair [a=1,b]"}}},
        {"vendor name of the current layout without equal sign",
         R"(<measCollecFile><fileHeader vendorName="Company NN" dnPrefix="DC=a" fileFormatVersion="1">
            <measCollec beginTime="B"/></fileHeader></measCollecFile>)",
         {{xcfg_xmldocumenttype, {"1"}}},
         {{"error", "ERROR: parse - inconsistent name and value pair [Company NN]"},
          {"header", "beginTime=B/0 dnPrefix_DC=a/1 dnPrefix_DC=a/1 fileFormatVersion=1/0"}}},
        {"header attributes an element lacks are left out", current_header,
         {{xcfg_xmldocumenttype, {"1"}}, {xcfg_distnameelemnames, {"x"}}},
         {{"header", "beginTime=B/0 fileFormatVersion=1/0"}, {"footer", "endTime=E/0"}}},

        {"timestamp: date and time", file_with(block(mts({"a"}), row(rs({"1"})), "20050301143000.0+0100")), timestamps,
         {{"unique", "moid_C=1/1 gp=900/0 mts_Date=01Mar2005/2 mts_Time=14:30:00/2"}}},
        {"timestamp: last second of a year", file_with(block(mts({"a"}), row(rs({"1"})), "20051231235959.0+0000")), timestamps,
         {{"unique", "moid_C=1/1 gp=900/0 mts_Date=31Dec2005/2 mts_Time=23:59:59/2"}}},
        {"timestamp: month 13", file_with(block(mts({"a"}), row(rs({"1"})), "20051301000000.0+0000")), timestamps,
         {{"error", bad_stamp + "[13]"}}},
        {"timestamp: day 0", file_with(block(mts({"a"}), row(rs({"1"})), "20050100000000.0+0000")), timestamps,
         {{"error", bad_stamp + "[0]"}}},
        {"timestamp: day 32", file_with(block(mts({"a"}), row(rs({"1"})), "20050132000000.0+0000")), timestamps,
         {{"error", bad_stamp + "[32]"}}},
        {"timestamp: hour 24", file_with(block(mts({"a"}), row(rs({"1"})), "20050101240000.0+0000")), timestamps,
         {{"error", bad_stamp + "[24]"}}},
        {"timestamp: minute 60", file_with(block(mts({"a"}), row(rs({"1"})), "20050101006000.0+0000")), timestamps,
         {{"error", bad_stamp + "[60]"}}},
        {"timestamp: second 60", file_with(block(mts({"a"}), row(rs({"1"})), "20050101000060.0+0000")), timestamps,
         {{"error", bad_stamp + "[60]"}}},
        {"timestamp the patterns do not read", file_with(block(mts({"a"}), row(rs({"1"})), "2005-03-01T14:30:00")), timestamps,
         {{"error", "[2005-03-01T14:30:00] [0] [parse_get_timestampvalue"}}},
        {"timestamp: two-digit years are of this century", file_with(block(mts({"a"}), row(rs({"1"})), "990301143000")),
         with_desc({R"(^\d{4}(\d{2}))", R"(^\d{2}(\d{2}))", R"(^(\d{2}))", R"(^\d{6}(\d{2}))", R"(^\d{8}(\d{2}))",
                    R"(^\d{10}(\d{2}))"}),
         {{"unique", "moid_C=1/1 gp=900/0 mts_Date=01Mar2099/2 mts_Time=14:30:00/2"}}},
        {"timestamp: year before this century", file_with(block(mts({"a"}), row(rs({"1"})), "19990301143000")),
         with_desc({R"(^\d{6}(\d{2}))", R"(^\d{4}(\d{2}))", R"(^(\d{4}))", R"(^\d{8}(\d{2}))", R"(^\d{10}(\d{2}))",
                    R"(^\d{12}(\d{2}))"}),
         {{"error", bad_stamp}}},
        {"timestamp: year after this century", file_with(block(mts({"a"}), row(rs({"1"})), "21000301143000")),
         with_desc({R"(^\d{6}(\d{2}))", R"(^\d{4}(\d{2}))", R"(^(\d{4}))", R"(^\d{8}(\d{2}))", R"(^\d{10}(\d{2}))",
                    R"(^\d{12}(\d{2}))"}),
         {{"error", bad_stamp}}},
        {"timestamp field of more than nine digits", file_with(block(mts({"a"}), row(rs({"1"})), "12345678901")),
         with_desc({R"(^(\d+))", R"(^(\d+))", R"(^(\d+))", R"(^(\d+))", R"(^(\d+))", R"(^(\d+))"}),
         {{"error", bad_stamp + "[11]"}}},
        {"timestamp descriptions: fewer than six", file_with(block(mts({"a"}), row(rs({"1"})), "20050301143000.0+0100")),
         with_desc({"^(20)"}), {{"error", "ERROR: parse - required description for timestamp missing [1]"}}},
        {"timestamp descriptions: one group each", file_with(block(mts({"a"}), row(rs({"1"})), "20050301143000.0+0100")),
         with_desc({"^(20)(05)", "^(20)", "^(20)", "^(20)", "^(20)", "^(20)"}),
         {{"error", "ERROR: parse - invalid timestamp description [3]"}}},
        {"timestamp element without text", file_with(block(mts({"a"}), row(rs({"1"})), "")), timestamps,
         {{"error", "ERROR: parse - counter value is empty [tag - mts:1]"}}},

        {"delimited lists: pieces in order", file_with(block("<mt>a b c</mt>", row("<r>1 2 3</r>"))), lists,
         {{"types", "a b c"}, {"values", "a=1 b=2 c=3"}}},
        {"delimited lists: empty pieces kept", file_with(block("<mt>,a,,b,</mt>", row("<r>,1,,2,</r>"))),
         with_lists({{xcfg_counterlistdelimiter, {","}}}), {{"types", " a  b "}, {"values", "= a=1 = b=2 ="}}},
        {"delimited lists of different length", file_with(block("<mt>a b c</mt>", row("<r>1 2</r>"))), lists,
         {{"error", "ERROR: parse - type and result counters do not match [measurement pair - c:"}}},
        {"delimited lists: empty delimiter", file_with(block("<mt>a b</mt>", row("<r>1 2</r>"))),
         with_lists({{xcfg_counterlistdelimiter, {""}}}), {{"error", "[delimiter == EOS"}}},
        {"delimited list without text", file_with(block("<mt>a</mt>", row("<r/>"))), lists,
         {{"error", "ERROR: parse - counter value is empty [tag - r:1]"}}},
        {"delimited lists: pieces renamed, cut, freed of NULL", file_with(block("<mt>pmA pmBbbbbbb</mt>", row("<r>NULL null</r>"))),
         with_lists({{xcfg_altcntrnames, {"^pm(.*)$[]$1"}}, {xcfg_maxcntrnamesz, {"4"}}, {xcfg_altcntrval, {"0"}}}),
         {{"values", "A=0 Bbbb=0"}}},

        {"rename", file_with(block(mts({"pmRrcConnEstab", "other"}), row(rs({"1", "2"})))),
         {{xcfg_altcntrnames, {"^pm(.*)$[]$1"}}}, {{"values", "RrcConnEstab=1 other=2"}}},
        {"of several renames the earliest match, then the first listed",
         file_with(block(mts({"pmAtt", "xAtt", "pmX"}), row(rs({"1", "2", "3"})))),
         {{xcfg_altcntrnames, {"Att$[]Attempts", "^pm[]", "X$[]Y"}}}, {{"values", "Att=1 xAttempts=2 X=3"}}},
        {"rename referring to an unset or empty group", file_with(block(mts({"pmAb", "pmZ", "pmCZ", "other"}), row(rs({"1", "2", "3", "4"})))),
         {{xcfg_altcntrnames, {"^pm(.*?)(Z)?$[]$1$2"}}}, {{"values", "Ab=1 Z=2 CZ=3 other=4"}}},
        {"rename picked by the combined pattern but not matching",  // combined, the first reads "^a|bc$"
         file_with(block(mts({"ax", "bc", "pmQ"}), row(rs({"1", "2", "3"})))), {{xcfg_altcntrnames, {"^(a|b)c$[]X$1", "^pm[]"}}},
         {{"values", "ax=1 Xbc=2 Q=3"}}},
        {"rename to a much longer name", file_with(one()), {{xcfg_altcntrnames, {"^(.*)$[]vendor_counter_$1_$1"}}},
         {{"values", "vendor_counter_a_a=1"}}},
        {"renames of header, instance and suspect names", file_with(block(mts({"a"}), row(rs({"1"}) + "<sf>TRUE</sf>", "X=1"))),
         {{xcfg_altcntrnames, {"^moid_(.*)$[]obj_$1", "^sf$[]suspect", "^gp$[]period"}}},
         {{"instance", "obj_X=1/1"}, {"suspect", "suspect=TRUE"}, {"unique", "obj_X=1/1 period=900/0 mts=M/0"}}},
        {"an empty fifth value for four names", file_with(block(mts({"a", "b", "c", "d"}), row(rs({"NULL", "null", "nULl", "NULLx"}) + "<r/>"))),
         {{xcfg_altcntrval, {"0"}}}, {{"error", "ERROR: parse - type and result counters do not match"}}},
        {"NULL values replaced", file_with(block(mts({"a", "b", "c", "d", "e"}), row(rs({"NULL", "null", "nULl", "NULLx"}) + "<r/>"))),
         {{xcfg_altcntrval, {"0"}}}, {{"values", "a=0 b=0 c=0 d=NULLx e="}}},
        {"NULL values kept", file_with(block(mts({"a", "b", "c", "d", "e"}), row(rs({"NULL", "null", "nULl", "NULLx"}) + "<r/>"))),
         {}, {{"values", "a=NULL b=null c=nULl d=NULLx e="}}},
        {"NULL header value replaced", file_with(block(mts({"a"}), row(rs({"1"})), "NULL")), {{xcfg_altcntrval, {"-"}}},
         {{"unique", "moid_C=1/1 gp=900/0 mts=-/0"}}},
        {"long names cut at 60", file_with(block("<mt>" + long_name + "</mt>", row(rs({"1"})))), {},
         {{"values", std::string(60, 'x') + "=1"}}},
        {"long names cut where asked", file_with(block(mts({"abcdefgh"}), row(rs({"1"})))), {{xcfg_maxcntrnamesz, {"5"}}},
         {{"values", "abcde=1"}}},
        {"length 0 cuts nothing", file_with(block("<mt>" + long_name + "</mt>", row(rs({"1"})))), {{xcfg_maxcntrnamesz, {"0"}}},
         {{"values", long_name + "=1"}}},
        {"a length that is no number cuts nothing", file_with(block("<mt>" + long_name + "</mt>", row(rs({"1"})))),
         {{xcfg_maxcntrnamesz, {"12a"}}}, {{"values", long_name + "=1"}}},
        {"names and values with blanks quoted, after the cut", file_with(block(R"(<mt n="a b"/><mt n="cd efgh"/>)", row(rs({"1 2", "3"})))),
         {{xcfg_meastypelemseq, {"mt.n"}}, {xcfg_maxcntrnamesz, {"5"}}}, {{"values", "\"a b\"=\"1 2\" \"cd ef\"=3"}}},
        {"counter name element without text", file_with(block("<mt/>", row(rs({"1"})))), {},
         {{"error", "ERROR: parse - counter value is empty [tag - mt:1]"}}},

        {"block names from the distinguished name", two_rows(), {}, {{"blockname", "SubNetwork_ManagedElement_UtranCell; X"}}},
        {"block names renamed", two_rows(), {{xcfg_altoutblknames, {"SubNetwork_ManagedElement_UtranCell", "UtranCell"}}},
         {{"blockname", "UtranCell; X"}}},
        {"block names from a description pattern", two_rows("Sub Net=1,Cell=2"), {{xcfg_outblkdesc, {R"(^([^=]+)=[^,]*,(?:.*,)?(\w+)=\w+$)"}}},
         {{"blockname", "Sub_Net_Cell; BLOCKNAME"},
          {"warnings", "WARN : parse - reading block description failed [measurement pair - "}}},
        {"underivable block names take the default's alternative", two_rows(),
         {{xcfg_outblkdesc, {"^(x)?.*$"}}, {xcfg_altoutblknames, {"BLOCKNAME", "Other"}}}, {{"blockname", "Other; Other"}}},
        {"block names from an attribute", two_rows("A=1", " label=\"my\tblock x\""), {{xcfg_outblkelemname, {"mv.label"}}},
         {{"blockname", "my_block_x; BLOCKNAME"}}},
        {"instance object that is no distinguished name", two_rows(), {{xcfg_instanceobject, {"gp"}}},
         {{"error", "ERROR: parse - instance object value is not of DN [0] [tag - gp:1]"}}},
        {"suspect flag true only for TRUE",
         file_with(block(mts({"a"}), row(rs({"1"}) + "<sf>true</sf>") + row(rs({"2"}) + "<sf>yes</sf>", "C=2") +
                                         row(rs({"3"}) + R"(<sf v="TRUE">no</sf>)", "C=3"))),
         {{xcfg_suspectflagelemname, {"sf.v"}}}, {{"suspect", "sf=TRUE; sf=FALSE; sf=FALSE"}}},
        {"suspect element without text", file_with(block(mts({"a"}), row(rs({"1"}) + "<sf/>"))), {},
         {{"error", "ERROR: returned null [tag - sf:1] [suspect_tag->ti_text.str"}}},
    };
    for (const conversion_case& k : cases) {
        SCOPED_TRACE(k.what);
        const conversion c = convert(k.doc, k.items, 0);
        const conversion workers = convert(k.doc, k.items, 4, 3);
        EXPECT_EQ(workers.ok, c.ok);
        EXPECT_EQ(workers.ok ? workers.dump : "", c.ok ? c.dump : "");  // a failed run stops anywhere
        bool fails = false;
        for (const auto& [name, text] : k.checks) {
            if (name == "error") {
                fails = true;
                EXPECT_THAT(c.error, HasSubstr(text));
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
    const std::string worked_example = R"(<?xml version="1.0"?>
<mdc>
  <mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>X</vn><cbt>20050301140000.0+0100</cbt></mfh>
  <md>
    <neid><nedn>SubNetwork=1,ManagedElement=1</nedn></neid>
    <mi>
      <mts>20050301141500.0+0100</mts><gp>900</gp><mt>attA</mt><mt>attB</mt>
      <mv><moid>ManagedElement=1,UtranCell=C1</moid><r>1</r><r>2</r><sf>FALSE</sf></mv>
    </mi>
  </md>
  <mff><ts>20050301141500.0+0100</ts></mff>
</mdc>
)";
    // The element that occurs last leads the header chain.
    const std::string expected =
        "header: cbt=20050301140000.0+0100/0 vn=X/0 st=RNC/0 sn_SubNetwork=1/1 ffv=1/0\n"
        "footer: ts=20050301141500.0+0100/0\n"
        "block 0: nedn_SubNetwork=1/1 nedn_ManagedElement=1/1\n"
        "  types: attA attB\n"
        "  row [ManagedElement_UtranCell] moid_ManagedElement=1/1 moid_UtranCell=C1/1 gp=900/0 mts=20050301141500.0+0100/0\n"
        "    attA=1 attB=2\n"
        "    moid_ManagedElement=1/1 moid_UtranCell=C1/1 sf=FALSE\n";
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
