// zelpaal: the file-header reader and conversion driver. Kept apart from the other
// radiobin units (its own shared library); the symbols it uses from them are procrecs,
// to_sh, to_lg, logmsg, warnmsg, config_min_release and config_max_release, resolved at
// load time against the radiobin module that loads it.
#include "zelpaal.h"

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "config.h"
#include "counters.h"
#include "file_handle.h"
#include "logmsg.h"
#include "records.h"

namespace {

// The four header layouts, by the low byte of the header record's length.
struct pgrh_layout {
    std::uint8_t code;
    std::size_t follows;       // bytes after the record header
    int release_bytes;         // 0: no release field (release 0), 1 or 2
    std::size_t mob_class_at;  // where the run of fields from MOB class to period end starts
    const char* name;
};

constexpr std::array<pgrh_layout, 4> pgrh_layouts = {{
    {66, 60, 0, 0, "st_pgrh_lm2"},
    {72, 66, 1, 2, "st_pgrh_lm3"},
    {74, 68, 1, 2, "st_pgrh_lm4"},
    {76, 70, 2, 4, "st_pgrh_lm5"},
}};

// MOB class through period end: the same run of 60 bytes in every layout.
constexpr std::size_t common_run = pgrh_form::size - 4 - 6;

void normalise(const pgrh_layout& layout, const std::uint8_t* src, pgrh_form& pgrh) {
    auto& form = pgrh.bytes;
    if (layout.code == 76) {
        std::memcpy(form.data(), src, pgrh_form::size);
        const std::uint16_t release = to_sh(src, 0);
        form[0] = static_cast<std::uint8_t>(release & 0xFF);
        form[1] = static_cast<std::uint8_t>(release >> 8);
        return;
    }
    if (layout.release_bytes == 1) form[pgrh_form::release] = src[0];
    std::memcpy(form.data() + pgrh_form::mob_class, src + layout.mob_class_at, common_run);
    if (layout.code == 66) {
        std::memset(form.data() + 64, 0xFF, 4);
    } else {
        std::memcpy(form.data() + 64, src + layout.mob_class_at + common_run, 4);
        std::memset(form.data() + 68, 0xFF, 2);
    }
}

const pgrh_layout* find_layout(std::uint8_t code) {
    for (const pgrh_layout& l : pgrh_layouts)
        if (l.code == code) return &l;
    return nullptr;
}

int convert(const char* in_file, const char* out_dir, const char* omc_name, std::string& out_name,
            const char* network_id, const char* region_id) {
    file_ptr in{std::fopen(in_file, "rb")};
    if (!in) {
        logmsg(LOG_INPUT, warnmsg[W_OPEN_INPUT], in_file);
        return PROCESS_FAILED;
    }
    const long size_before = getchksum(in.get());
    if (size_before < 0) return PROCESS_FAILED;

    pgrh_form pgrh;
    int header_size = 2;
    int release = 0;
    if (process_pgrh(in.get(), in_file, pgrh, header_size, release) != 0) {
        logmsg(LOG_INPUT, "ERROR: Reading the the PGRH for file %s", in_file);
        return PROCESS_FAILED;
    }
    if (release < config_min_release || release > config_max_release) {
        logmsg(LOG_RELEASE, "Config file is valid for releases %d to %d", config_min_release, config_max_release);
        logmsg(LOG_RELEASE, "Data file '%s' is release %d", in_file, release);
        return PROCESS_WRONG_RELEASE;
    }
    int bss_number = 0;
    getbss(in_file, bss_number);

    const std::uint32_t file_size = to_lg(pgrh.bytes.data() + pgrh_form::file_size, 0);
    const std::uint16_t num_records = to_sh(pgrh.bytes.data() + pgrh_form::num_records, 0);
    if (num_records == 0) {
        // The record length is the file size over the record count.
        logmsg(LOG_INPUT, "WARNING : Header record gives a record count of 0 in file: %s", in_file);
        return PROCESS_FAILED;
    }
    const std::uint32_t record_size = file_size / num_records;
    logmsg(LOG_PROGRESS, "PGRH: record size '%u', file size '%u', numrecs '%u'", record_size, file_size,
           static_cast<unsigned>(num_records));
    if (static_cast<long>(file_size) != size_before) {
        logmsg(LOG_INPUT, warnmsg[W_FILE_CORRUPT], in_file, static_cast<int>(file_size), static_cast<int>(size_before));
        return PROCESS_FAILED;
    }
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(record_size);
    } catch (const std::bad_alloc&) {
        logmsg(LOG_ERROR, "ERROR: Unable to allocate memory\n");
        return PROCESS_NO_MEMORY;
    }
    if (file_size % num_records != 0) {
        logmsg(LOG_INPUT, warnmsg[W_RECORD_SIZE], in_file);
        return PROCESS_FAILED;
    }
    if (record_size < record_header_size) {
        logmsg(LOG_INPUT, "WARNING : Record size %u is shorter than a record header in file: %s", record_size,
               in_file);
        return PROCESS_FAILED;
    }
    if (std::fseek(in.get(), static_cast<long>(record_size), SEEK_SET) != 0) {
        logmsg(LOG_INPUT, warnmsg[W_FIRST_RECORD], in_file);
        return PROCESS_FAILED;
    }
    if (procrecs(in.get(), pgrh, std::span<std::uint8_t>(buffer), bss_number, release, out_dir, omc_name, header_size,
                 out_name, network_id, region_id) < 0)
        return PROCESS_FAILED;
    if (getchksum(in.get()) != size_before) {
        // The file changed while it was converted: the result code says so.
        logmsg(LOG_PROGRESS, warnmsg[W_CHECKSUM], in_file);
        return PROCESS_FAILED;
    }
    return PROCESS_OK;
}

}  // namespace

int process_file_v3(const char* in_file, const char* out_dir, const char* omc_name, std::string& out_name,
                    const char* network_id, const char* region_id) {
    try {
        return convert(in_file, out_dir, omc_name, out_name, network_id, region_id);
    } catch (const std::bad_alloc&) {
        logmsg(LOG_ERROR, "ERROR: Unable to allocate memory\n");
        return PROCESS_NO_MEMORY;
    }
}

int process_pgrh(std::FILE* stream, const char* file_name, pgrh_form& pgrh, int& header_size, int& release) {
    pgrh = pgrh_form{};
    std::array<std::uint8_t, record_header_size> head{};
    if (std::fread(head.data(), 1, head.size(), stream) != head.size()) {
        logmsg(LOG_INPUT, warnmsg[W_SYSTEM_HEADER], file_name);
        return -1;
    }
    logmsg(LOG_DETAIL, "Record Header, Number of bytes '%d'", head[0]);
    logmsg(LOG_DETAIL, "Record Header, Record sequence number '%d'", static_cast<std::int16_t>(head[2] | (head[3] << 8)));
    logmsg(LOG_DETAIL, "Record Header, Record type '%d'", head[4]);
    logmsg(LOG_DETAIL, "Record Header, File type '%d'", head[5]);
    logmsg(LOG_DETAIL, "DEBUG: File is performance measurement file?");
    if (head[4] != pm_record_type) {
        logmsg(LOG_INPUT, warnmsg[W_NOT_PM_FILE], file_name);
        logmsg(LOG_DETAIL, "DEBUG: No");
        return -1;
    }
    logmsg(LOG_DETAIL, "DEBUG: Yes");

    int status = 0;
    if (const pgrh_layout* layout = find_layout(head[0])) {
        logmsg(LOG_DETAIL, "DEBUG: File for %s.", layout->name);
        std::array<std::uint8_t, pgrh_form::size> src{};
        if (std::fread(src.data(), 1, layout->follows, stream) != layout->follows) {
            logmsg(LOG_INPUT, warnmsg[W_PGRH_READ], file_name);
            status = -1;
        } else {
            normalise(*layout, src.data(), pgrh);
        }
    } else {
        logmsg(LOG_INPUT, warnmsg[W_PGRH_SIZE], file_name);
        status = -1;
    }

    release = pgrh.s16(pgrh_form::release);
    logmsg(LOG_INPUT, "File is from a bss version '%d'", release);
    logmsg(LOG_DETAIL, "DEBUG: Version: %d , MOB Class: %d , MOB Instance: %d ", release,
           pgrh.s16(pgrh_form::mob_class), pgrh.s16(pgrh_form::mob_instance));
    header_size = release != 0 ? 4 : 2;
    return status;
}

long getchksum(std::FILE* stream) {
    struct stat st {};
    if (fstat(fileno(stream), &st) != 0) return -1;
    logmsg(LOG_PROGRESS, "chksum = %ld", static_cast<long>(st.st_size));
    return static_cast<long>(st.st_size);
}

void getbss(const char* file_name, int& bss_number) {
    const char* slash = std::strrchr(file_name, '/');
    const char* name = slash ? slash + 1 : file_name;
    int found = 0;
    if (std::strncmp(name, "rrp_bss", 7) == 0) {
        found = std::sscanf(name, "rrp_bss%d_", &bss_number);
    } else if (std::strncmp(name, "PMOBS", 5) == 0) {
        found = std::sscanf(name, "PMOBS%*3c.%*2d%*c_%d.", &bss_number);
    } else {
        found = std::sscanf(name, "PMRES%*3c.%*2d%*c.%d.", &bss_number);
    }
    if (found < 1) {
        logmsg(LOG_DECODE, "Warning: BSS num could not be extracted from file");
        bss_number = 0;
    }
    logmsg(LOG_PROGRESS, "BSS number is %d", bss_number);
}

void free_allocated_memory(std::string& out_name) {
    out_name.clear();
    out_name.shrink_to_fit();
}
