// libFuzzer entry point for the table reader, binary and XML. Built only with -DHANAGUMO_FUZZ=ON
// under clang (tools/fuzz.sh); not part of the test run.
#include "cds.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const hg::cds::ReadResult result = hg::cds::ReadTable(data, size);
    if (result) {
        // What the reader accepts, the writer's rules and the reader agree on: every row has one
        // value per field.
        for (const auto& row : result.table.rows) {
            if (row.size() != result.table.fields.size())
                __builtin_trap();
        }
    } else if (result.offset > size) {
        __builtin_trap(); // an error must point inside the input
    }
    return 0;
}
