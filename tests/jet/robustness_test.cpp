// Damaged and foreign inputs must fail with jet::Error, never with a crash, a hang
// or another exception. The fuzzer's crash inputs are kept in fuzz/regressions/.
#include <gtest/gtest.h>

#include "../../fuzz/read_all.h"
#include "test_util.h"

namespace fs = std::filesystem;
using testutil::slurp;

namespace {

// Anything but a jet::Error escaping the reader fails the test (readAll catches only those).
void readAllNoThrow(const std::vector<uint8_t>& bytes, const std::string& what) {
    try {
        fuzzread::readAll(bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": escaped " << typeid(e).name() << ": " << e.what();
    }
}

const char* kSeeds[] = {"jet3/testV1997.mdb", "jet4/testV2000.mdb", "jet4/testV2003.mdb", "jet4/indexTestV2000.mdb", "timer/sample.tdb"};

}  // namespace

TEST(Robustness, RegressionInputs) {
    fs::path dir = fs::path(TEST_DATA_DIR).parent_path().parent_path() / "fuzz" / "regressions";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.')
            readAllNoThrow(slurp(e.path()), e.path().filename().string());
}

TEST(Robustness, EmptyAndForeignBytes) {
    readAllNoThrow({}, "empty");
    readAllNoThrow({0x00}, "one byte");
    std::string text = "Standard Jet DB is not a magic spell; this is plain text.\n";
    readAllNoThrow(std::vector<uint8_t>(text.begin(), text.end()), "text");
    readAllNoThrow(std::vector<uint8_t>(8192, 0xFF), "all 0xFF");
    readAllNoThrow(std::vector<uint8_t>(8192, 0x00), "all zero");
    std::mt19937 rng(1234);
    std::vector<uint8_t> noise(3 * 4096);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    readAllNoThrow(noise, "random");
    // A genuine header followed by noise.
    auto real = slurp(testutil::dataPath("jet4/testV2000.mdb"));
    std::copy(real.begin(), real.begin() + 4096, noise.begin());
    readAllNoThrow(noise, "header + noise");
    auto real3 = slurp(testutil::dataPath("jet3/testV1997.mdb"));
    std::copy(real3.begin(), real3.begin() + 2048, noise.begin());
    readAllNoThrow(noise, "jet3 header + noise");
}

TEST(Robustness, TruncatedFiles) {
    for (const char* seed : kSeeds) {
        auto bytes = slurp(testutil::dataPath(seed));
        ASSERT_FALSE(bytes.empty()) << seed;
        const size_t n = bytes.size();
        for (size_t cut : {size_t(1), size_t(100), size_t(2047), size_t(2048), size_t(4095), size_t(4096), size_t(4097),
                           size_t(3 * 4096), n / 3, n / 2, n - 4096, n - 1}) {
            if (cut >= n) continue;
            readAllNoThrow(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut),
                           std::string(seed) + " cut at " + std::to_string(cut));
        }
    }
}

// Random damage with a fixed seed, so a failure is reproducible.
TEST(Robustness, BitFlippedCopies) {
    std::mt19937 rng(20261206);
    for (const char* seed : kSeeds) {
        const auto orig = slurp(testutil::dataPath(seed));
        ASSERT_FALSE(orig.empty()) << seed;
        for (int round = 0; round < 40; ++round) {
            auto bytes = orig;
            int flips = 1 + static_cast<int>(rng() % 64);
            for (int i = 0; i < flips; ++i) {
                // Mostly hit the first pages, where the catalog and definitions live.
                size_t limit = (rng() % 2) ? std::min<size_t>(bytes.size(), 16 * 4096) : bytes.size();
                size_t at = rng() % limit;
                if (at < 0x80) continue;  // keep the header recognisable so the damage gets past open
                bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            readAllNoThrow(bytes, std::string(seed) + " round " + std::to_string(round));
        }
    }
}
