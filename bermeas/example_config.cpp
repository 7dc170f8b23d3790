// example_config: the example configuration used by bermeas-convert, the fuzz target and
// the tests, in the order a host would give it.
#include "example_config.h"

#include <initializer_list>
#include <new>
#include <string_view>
#include <utility>

namespace {

using pair = std::pair<std::string_view, std::string_view>;

constexpr pair directory_fields[] = {
    {"NETWORK_ID", R"(\/NETWORK_?([^\/]+)\/?)"},
    {"REGION_ID", R"(\/[^\/]+\/REGION_?([^\/]+)\/?)"},
};

constexpr pair filename_fields[] = {
    {"FILENAME", "^(.+)$"},
    {"TYPE", "^(A|B|C|D).+$"},
};

constexpr pair validation[] = {
    {"Type", R"(^(\w{1}).+$)"},
    {"StartDate", R"(^\w{1}(\d{8}).+$)"},
    {"StartTime", R"(^\w{1}\d{8}\.(\d{4}).+$)"},
};

constexpr std::string_view null_value = "-9999";

constexpr std::string_view pif_name_fields[] = {
    "senderType", "senderName_managedElementId", "measTimeStamp_Date", "measTimeStamp_Time", "granularityPeriod",
};

constexpr pair object_descriptions[] = {
    {"RNC", "(rnc)"},
    {"CS_PS", "(cs|ps)"},
    {"Neighbour_RNC", R"(rnc=(\d+))"},
    {"Iub", R"(nodeb=(\d+))"},
    {"NodeB_FddE", R"(NodeBFddE=(\d+))"},
    {"Local_Cell", R"(LocalCellE=(\d+))"},
    {"Cell", R"(cell=(\d+))"},
    {"Neighbour_GSM", R"(cell=(\d+)-cgi=(\d+)\.=(\d+)\.=(\d+))"},
    {"Processor", R"(cp=(\d+))"},
    {"Neighbour_A", R"(cell=(\d+)-rnc=(\d+)\,cell=(\d+))"},
    {"Neighbour_B", R"(cell=(\d+)\-cell=(\d+))"},
    {"Neighbour_C", R"(cell=(\d+)-(Other))"},
    {"Neighbour_D", R"((Other)-cell=(\d+))"},
    {"STM1_line", R"(stm-1line=(\d+)\.(\d+)\.(\d+)\.(\d+))"},
    {"STM1_VP", R"(stm-1vp=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+))"},
    {"STM1_VC", R"(stm-1vc=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+))"},
    {"E1_DTI_line", R"(e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+))"},
    {"E1_DTI_VP", R"(e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+))"},
    {"E1_DTI_VC", R"(e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+))"},
    {"E1_MDTI_line", R"(e1line=(\d+)\.(\d+)\.(\d+)\.(\d+))"},
};

struct alternative {
    std::string_view class_name;
    std::initializer_list<std::string_view> columns;
};

const alternative alternative_names[] = {
    {"CS_PS", {"OBJ_INST"}},
    {"Neighbour_RNC", {"OBJ_ID"}},
    {"Iub", {"OBJ_ID"}},
    {"Local_Cell", {"OBJ_ID"}},
    {"Cell", {"OBJ_ID"}},
    {"Processor", {"OBJ_ID"}},
    {"Neighbour_GSM", {"CELL_ID", "CGI_M", "CGI_L", "CGI_I"}},
    {"Neighbour_A", {"OCELL_ID", "ARNC_ID", "ACELL_ID"}},
    {"Neighbour_B", {"OCELL_ID", "ACELL_ID"}},
    {"Neighbour_C", {"OCELL_ID", "ACELL_ID"}},
    {"Neighbour_D", {"ACELL_ID", "OCELL_ID"}},
    {"STM1_line", {"SWI_PORT", "INFM_ROW", "LINE_SLOT", "LINE_NUM"}},
    {"STM1_VP", {"SWI_PORT", "INFM_ROW", "LINE_SLOT", "LINE_NUM", "VIRT_PATH_ID"}},
    {"STM1_VC", {"SWI_PORT", "INFM_ROW", "LINE_SLOT", "LINE_NUM", "VIRT_PATH_ID", "VIRT_CHNL_ID"}},
    {"E1_DTI_line", {"CMUX_GRP", "CMUX_NUM", "CMP_CARD", "DTI_CARD", "DTI_LINE"}},
    {"E1_DTI_VP", {"CMUX_GRP", "CMUX_NUM", "CMP_CARD", "DTI_CARD", "DTI_LINE", "VIRT_PATH_ID"}},
    {"E1_DTI_VC", {"CMUX_GRP", "CMUX_NUM", "CMP_CARD", "DTI_CARD", "DTI_LINE", "VIRT_PATH_ID", "VIRT_CHNL_ID"}},
    {"E1_MDTI_line", {"CMUX_GRP", "CMUX_NUM", "MDTI_CARD", "MDTI_LINE"}},
};

template <std::size_t N>
bool fill(text_map& map, const pair (&entries)[N]) {
    for (const pair& e : entries) {
        if (!map_append_value(map, e.first, e.second)) return false;
    }
    return true;
}

}  // namespace

bool config_init_for_test(config& conf) noexcept {
    if (!fill(conf.directory_header_fields, directory_fields) || !fill(conf.filename_header_fields, filename_fields) ||
        !fill(conf.filename_validation, validation) || !config_set_null_value(conf, null_value) ||
        !fill(conf.object_instance_description, object_descriptions)) {
        return false;
    }
    for (const std::string_view field : pif_name_fields) {
        if (!config_add_pif_filename_field(conf, field)) return false;
    }
    for (const alternative& a : alternative_names) {
        for (const std::string_view column : a.columns) {
            if (!map_append_value(conf.alt_object_instance_names, a.class_name, column)) return false;
        }
    }
    return true;
}

std::unique_ptr<config> config_new_for_test() noexcept {
    auto conf = config_new();
    if (conf && !config_init_for_test(*conf)) conf.reset();
    return conf;
}
