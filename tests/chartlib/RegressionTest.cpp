// Inputs that once crashed or hung a fuzz target, replayed through the same harness.
#include "FuzzHarness.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

void Replay(const std::string& folder, void (*run)(const std::uint8_t*, std::size_t)) {
    const std::filesystem::path dir = std::filesystem::path(TAVOLA_REGRESSION_DIR) / folder;
    if (!std::filesystem::exists(dir))
        GTEST_SKIP() << "no regression inputs in " << dir;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        const auto bytes = tavola_test::ReadBytes(entry.path().string());
        run(bytes.data(), bytes.size());
        ++count;
    }
    testing::Test::RecordProperty("inputs", count);
}

TEST(FuzzRegression, NosReader) {
    Replay("nos", tavola_fuzz::RunNos);
}
TEST(FuzzRegression, ReferenceFileReader) {
    Replay("geo", tavola_fuzz::RunGeo);
}

TEST(FuzzRegression, SeedCorpusRunsClean) {
    const std::filesystem::path corpus(TAVOLA_FUZZ_CORPUS_DIR);
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    for (const char* kind : {"nos", "geo"}) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus / kind)) {
            const auto bytes = tavola_test::ReadBytes(entry.path().string());
            if (std::string(kind) == "nos")
                tavola_fuzz::RunNos(bytes.data(), bytes.size());
            else
                tavola_fuzz::RunGeo(bytes.data(), bytes.size());
        }
    }
}

} // namespace
