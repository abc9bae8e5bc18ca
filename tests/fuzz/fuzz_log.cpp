// The attempt log file loaded from arbitrary bytes. Properties: no crash; one
// line per whole 40-byte record, none holding a NUL; a rewrite right after
// the load gives back every whole record byte for byte (the list is sorted,
// so the records may change places, never content) and drops only a piece
// shorter than a record at the end; loading the rewritten file shows the
// same lines again.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/program.h"
#include "fuzz_check.h"
#include "log/attempt_log.h"
#include "platform/sim/sim.h"

namespace {

std::vector<std::string> records_of(const std::string& file) {
    std::vector<std::string> r;
    for (std::size_t at = 0; at + kv::kLogRecordSize <= file.size(); at += kv::kLogRecordSize)
        r.push_back(file.substr(at, kv::kLogRecordSize));
    std::sort(r.begin(), r.end());
    return r;
}

std::vector<std::string> lines_of(kv::platform::Control list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.list_count(); ++i) lines.push_back(list.list_item(i));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::sim::reset();
    {
        kv::Program program;
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        const std::string path = kv::log_file_path();
        kv::sim::world().files[path] = bytes;

        kv::Form1& main = program.form1();
        main.load_list3();
        auto list = main.ctl("List2");
        const auto lines = lines_of(list);
        KV_CHECK(lines.size() == size / kv::kLogRecordSize);
        for (const auto& line : lines) {
            KV_CHECK(line.size() == 49);
            KV_CHECK(line.find('\0') == std::string::npos);
        }

        main.update3();
        const std::string& rewritten = kv::sim::world().files[path];
        KV_CHECK(rewritten.size() == size / kv::kLogRecordSize * kv::kLogRecordSize);
        KV_CHECK(records_of(rewritten) == records_of(bytes));

        main.load_list3();
        KV_CHECK(lines_of(list) == lines);
    }
    kv::sim::reset();
    return 0;
}
