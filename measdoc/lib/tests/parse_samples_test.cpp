// Real and generated measurement files of both layouts: whole results checked by hand
// against the XML, and every sample converted with 0, 1, 2, 4 and 8 workers and with tiny
// read blocks giving the same result and warnings (a failing file: failing again).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "parse_env.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string sample(const std::string& name) { return std::string(MEASDOC_SAMPLES_DIR) + "/" + name; }

// Settings for files of the current layout whose vendor names and local names are no
// distinguished names, and whose suspect flags are spelled in lower case.
const item_list current_layout = {
    {xcfg_xmldocumenttype, {"1"}},
    {xcfg_distnameelemnames, {"fileHeader.dnPrefix", "managedElement.localDn", "measValue.measObjLdn"}},
    {xcfg_meastypelemseq, {"measTypes", "measType"}},
    {xcfg_measrsltelemseq, {"measResults", "r"}},
    {xcfg_suspectflagelemname, {"suspect"}},
};

item_list settings_for(const std::string& path) {
    if (path.find("mdc") != std::string::npos) return {};
    return current_layout;
}

class Samples : public ::testing::Test {
protected:
    converter_cycle cycle_;
};

TEST_F(Samples, GeneratedFileOfTheOlderLayout) {
    const conversion c = cycle_.run_file(sample("gen_mdc.xml"));
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.warnings, IsEmpty());
    EXPECT_THAT(c.data.header,
                ElementsAre("cbt=20240301141500.0+0100/0", "vn=\"Example Vendor\"/0", "st=RNC/0", "sn_DC=example.org/1",
                            "sn_SubNetwork=1/1", "sn_SubNetwork_1=North/1", "sn_ManagedElement=RNC-1/1",
                            "ffv=\"32.401 V5.0\"/0"));
    EXPECT_THAT(c.data.footer, ElementsAre("ts=20240301143000.0+0100/0"));
    ASSERT_EQ(c.data.blocks.size(), 3u);
    const auto common = [](const char* ne) {
        return std::vector<std::string>{"nedn_DC=example.org/1", "nedn_SubNetwork=1/1", "nedn_SubNetwork_1=North/1",
                                        std::string("nedn_ManagedElement=") + ne + "/1"};
    };
    const auto instance = [](const char* cell) {
        return std::vector<std::string>{"moid_RncFunction=1/1", std::string("moid_UtranCell=") + cell + "/1",
                                        "moid_UtranRelation=1/1", "moid_UtranRelation_1=2/1"};
    };
    const auto unique = [&](const char* cell) {
        std::vector<std::string> u = instance(cell);
        u.push_back("gp=900/0");
        u.push_back("mts=20240301143000.0+0100/0");
        return u;
    };
    const std::string block_name = "RncFunction_UtranCell_UtranRelation_UtranRelation";

    const block_view& b0 = c.data.blocks[0];
    EXPECT_EQ(b0.common, common("RNC-1"));
    EXPECT_THAT(b0.types, ElementsAre("pmRrcConnEstabAtt", "pmRrcConnEstabSucc", "pmNoOfRab"));
    ASSERT_EQ(b0.rows.size(), 3u);
    EXPECT_THAT(b0.rows[0].values, ElementsAre("pmRrcConnEstabAtt=NULL", "pmRrcConnEstabSucc=17", "pmNoOfRab=34"));
    EXPECT_THAT(b0.rows[1].values, ElementsAre("pmRrcConnEstabAtt=131", "pmRrcConnEstabSucc=148", "pmNoOfRab=NULL"));
    EXPECT_THAT(b0.rows[2].values, ElementsAre("pmRrcConnEstabAtt=262", "pmRrcConnEstabSucc=279", "pmNoOfRab=296"));
    EXPECT_THAT(b0.rows[0].suspect, ElementsAre("sf=TRUE"));
    EXPECT_THAT(b0.rows[1].suspect, ElementsAre("sf=FALSE"));
    EXPECT_THAT(b0.rows[2].suspect, IsEmpty());
    EXPECT_EQ(b0.rows[1].unique, unique("RNC-1-1"));
    EXPECT_EQ(b0.rows[2].instance, instance("RNC-1-2"));
    EXPECT_EQ(b0.rows[2].blockname, block_name);

    const block_view& b1 = c.data.blocks[1];
    EXPECT_EQ(b1.common, common("RNC-1"));
    EXPECT_THAT(b1.types, ElementsAre("pmHoAtt", "pmHoSucc"));
    ASSERT_EQ(b1.rows.size(), 2u);
    EXPECT_THAT(b1.rows[0].values, ElementsAre("pmHoAtt=393", "pmHoSucc=410"));
    EXPECT_THAT(b1.rows[1].values, ElementsAre("pmHoAtt=524", "pmHoSucc=541"));
    EXPECT_EQ(b1.rows[1].instance, instance("RNC-1-4"));

    const block_view& b2 = c.data.blocks[2];
    EXPECT_EQ(b2.common, common("RNC-2"));
    ASSERT_EQ(b2.rows.size(), 2u);
    EXPECT_THAT(b2.rows[0].values, ElementsAre("pmRrcConnEstabAtt=655", "pmRrcConnEstabSucc=672", "pmNoOfRab=689"));
    EXPECT_THAT(b2.rows[1].values, ElementsAre("pmRrcConnEstabAtt=786", "pmRrcConnEstabSucc=803", "pmNoOfRab=820"));
    EXPECT_THAT(b2.rows[0].suspect, ElementsAre("sf=TRUE"));
    EXPECT_THAT(b2.rows[1].suspect, ElementsAre("sf=FALSE"));
    EXPECT_EQ(b2.rows[1].unique, unique("RNC-2-6"));
    EXPECT_EQ(b2.rows[1].blockname, block_name);
}

TEST_F(Samples, GeneratedFileOfTheCurrentLayout) {
    const conversion c = cycle_.run_file(sample("gen_meascollec.xml"), current_layout);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.warnings, IsEmpty());
    // The header's measCollec has no endTime and the footer's no beginTime.
    EXPECT_THAT(c.data.header,
                ElementsAre("beginTime=2024-03-01T14:00:00+01:00/0", "elementType=RNC/0",
                            "localDn=SubNetwork=North,ManagedElement=RNC-1/0", "vendorName=\"Example Vendor\"/0",
                            "dnPrefix_DC=example.org/1", "dnPrefix_SubNetwork=1/1", "dnPrefix_DC=example.org/1",
                            "dnPrefix_SubNetwork=1/1", "fileFormatVersion=\"32.435 V10.0\"/0"));
    EXPECT_THAT(c.data.footer, ElementsAre("endTime=2024-03-01T14:15:00+01:00/0"));
    ASSERT_EQ(c.data.blocks.size(), 3u);
    EXPECT_THAT(c.data.blocks[0].common, ElementsAre("localDn_SubNetwork=North/1", "localDn_ManagedElement=RNC-1/1"));
    EXPECT_THAT(c.data.blocks[2].common, ElementsAre("localDn_SubNetwork=North/1", "localDn_ManagedElement=RNC-2/1"));
    EXPECT_THAT(c.data.blocks[0].types, ElementsAre("pmRrcConnEstabAtt", "pmRrcConnEstabSucc", "pmNoOfRab"));
    const auto& rows = c.data.blocks[0].rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_THAT(rows[1].unique, ElementsAre("measObjLdn_RncFunction=1/1", "measObjLdn_UtranCell=RNC-1-1/1",
                                            "measObjLdn_UtranRelation=1/1", "measObjLdn_UtranRelation_1=2/1",
                                            "duration=PT900S/0", "endTime=2024-03-01T14:15:00+01:00/0"));
    EXPECT_THAT(rows[1].values, ElementsAre("pmRrcConnEstabAtt=131", "pmRrcConnEstabSucc=148", "pmNoOfRab=NULL"));
    EXPECT_THAT(rows[0].suspect, ElementsAre("suspect=TRUE"));
    EXPECT_THAT(rows[1].suspect, ElementsAre("suspect=FALSE"));
    EXPECT_THAT(rows[2].suspect, IsEmpty());
    EXPECT_EQ(rows[2].blockname, "RncFunction_UtranCell_UtranRelation_UtranRelation");
    EXPECT_THAT(c.data.blocks[1].rows[1].values, ElementsAre("pmHoAtt=524", "pmHoSucc=541"));
    EXPECT_THAT(c.data.blocks[2].rows[1].values,
                ElementsAre("pmRrcConnEstabAtt=786", "pmRrcConnEstabSucc=803", "pmNoOfRab=820"));
}

TEST_F(Samples, RealFileWithSeveralBlocksAndSuspectFlags) {
    const conversion c = cycle_.run_file(sample("onapPM_A20181002.0000-1000-0015-1000_5G.xml"), current_layout);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.footer, ElementsAre("endTime=2000-03-01T14:15:00+02:00/0"));
    ASSERT_EQ(c.data.blocks.size(), 3u);
    for (const block_view& b : c.data.blocks)
        EXPECT_THAT(b.common, ElementsAre("localDn_SubNetwork=CountryNN/1", "localDn_MeContext=MEC-Gbg-1/1",
                                          "localDn_ManagedElement=RNC-Gbg-1/1"));
    const block_view& b1 = c.data.blocks[1];
    EXPECT_THAT(b1.types, ElementsAre("attTCHSeizures1", "succTCHSeizures2", "attImmediateAssignProcs3",
                                      "succImmediateAssignProcs4"));
    ASSERT_EQ(b1.rows.size(), 1u);
    EXPECT_THAT(b1.rows[0].values, ElementsAre("attTCHSeizures1=4", "succTCHSeizures2=86,87,2,6,77,96,75,33,24",
                                               "attImmediateAssignProcs3=40", "succImmediateAssignProcs4=90"));
    EXPECT_EQ(b1.rows[0].blockname, "ManagedElement_ENodeBFunction");
    EXPECT_THAT(b1.rows[0].suspect, ElementsAre("suspect=FALSE"));
    const block_view& b2 = c.data.blocks[2];
    ASSERT_EQ(b2.rows.size(), 3u);
    EXPECT_THAT(b2.rows[2].values, ElementsAre("attTCHSeizures5=454", "succTCHSeizures6=569",
                                               "attImmediateAssignProcs7=672", "succImmediateAssignProcs8=785"));
    EXPECT_THAT(b2.rows[2].instance, ElementsAre("measObjLdn_RncFunction=RF-1/1", "measObjLdn_UtranCell=Gbg-999/1"));
    EXPECT_THAT(b2.rows[2].suspect, ElementsAre("suspect=TRUE"));
    EXPECT_THAT(b2.rows[0].suspect, IsEmpty());
}

TEST_F(Samples, RealFileWithListedCountersOverTwoLines) {
    // The counter-name list breaks its line: the line feed and the indentation make
    // pieces of their own, and the names no longer match the values.
    const conversion c = cycle_.run_file(sample("boda_A1.xml"), current_layout);
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - type and result counters do not match"));
}

TEST_F(Samples, SharedFileOfTheOlderLayout) {
    const std::string path = std::string(MEASDOC_SHARED_SAMPLES_DIR) + "/32401-mdc-xml/teed_mdc_c3_1.xml";
    if (!fs::exists(path)) GTEST_SKIP() << "shared samples not present";
    const conversion c = cycle_.run_file(path);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.header,
                ElementsAre("cbt=20210301141500/0", "vn=\"Company NN\"/0", "st=RNC/0", "sn_DC=a1.companyNN.com/1",
                            "sn_SubNetwork=1/1", "sn_IRPAgent=1/1", "sn_SubNetwork_1=CountryNN/1",
                            "sn_MeContext=MEC-Gbg1/1", "sn_ManagedElement=RNC-Gbg-1/1", "ffv=\"32.401 V5.0\"/0"));
    ASSERT_EQ(c.data.blocks.size(), 1u);
    const auto& rows = c.data.blocks[0].rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_THAT(rows[2].values, ElementsAre("attTCHSeizures=456", "succTCHSeizures=567", "attImmediateAssignProcs=678",
                                            "succImmediateAssignProcs=789"));
    EXPECT_THAT(rows[2].suspect, ElementsAre("sf=TRUE"));
    EXPECT_THAT(rows[0].unique, ElementsAre("moid_RncFunction=RF-1/1", "moid_UtranCell=Gbg-997/1", "gp=900/0",
                                            "mts=20210301143000/0"));
}

TEST_F(Samples, EveryFileGivesTheSameResultWithAnyNumberOfWorkers) {
    for (const std::string& path : xml_samples()) {
        const item_list items = settings_for(path);
        const conversion reference = cycle_.run_file(path, items, 0);
        ASSERT_TRUE(reference.started) << path;
        std::vector<std::uint32_t> block_sizes{0, 7};
        if (fs::file_size(path) < 8192) block_sizes.push_back(1);
        for (int threads : thread_numbers()) {
            for (std::uint32_t block_size : block_sizes) {
                const conversion c = cycle_.run_file(path, items, threads, block_size);
                const std::string where = path + ", " + std::to_string(threads) + " workers, blocks of " +
                                          std::to_string(block_size);
                EXPECT_EQ(c.ok, reference.ok) << where;
                if (reference.ok) {
                    EXPECT_EQ(c.dump, reference.dump) << where;
                    EXPECT_EQ(c.warnings, reference.warnings) << where;
                } else {
                    // The first error stops the other workers wherever they are, and of
                    // several failing sections any may be first: only failing is certain.
                    EXPECT_THAT(c.error, HasSubstr("ERROR: ")) << where;
                }
            }
        }
    }
}

}  // namespace
