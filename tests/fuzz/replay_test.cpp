// Every input the fuzzers ever crashed on, replayed through the same entry
// point: tests/fuzz/regressions/<entry>/<input>.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/entries.h"

TEST(FuzzRegressions, StoredInputsRunCleanly)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::path(VELK_FUZZ_REGRESSIONS);
    size_t replayed = 0;
    for (size_t i = 0; i < fuzz::ENTRY_COUNT; ++i) {
        const fs::path dir = root / fuzz::ENTRIES[i].name;
        if (!fs::is_directory(dir)) continue;
        for (const fs::directory_entry &e : fs::directory_iterator(dir)) {
            std::ifstream in(e.path(), std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(e.path().string());
            EXPECT_EQ(fuzz::ENTRIES[i].run(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u);
}
