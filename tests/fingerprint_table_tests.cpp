// The four fingerprint tables and the lists a detector builds from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

#include "detection/ParasiteTables.h"
#include "detection/RoDoraziva.h"
#include "fingerprints/GoodTables.h"

using namespace velmora;

namespace {

std::vector<std::int32_t> Values(std::span<const std::int32_t> table) { return {table.begin(), table.end()}; }

std::vector<std::int32_t> Common(std::span<const std::int32_t> a, std::span<const std::int32_t> b) {
    std::vector<std::int32_t> out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

void ExpectStrictlyAscending(std::span<const std::int32_t> table, const char* name) {
    for (std::size_t i = 1; i < table.size(); ++i)
        if (table[i - 1] >= table[i]) {
            ADD_FAILURE() << name << ": " << table[i - 1] << " before " << table[i] << " at " << i;
            return;
        }
}

std::vector<std::int32_t> Head(std::span<const std::int32_t> t) { return Values(t.first(5)); }
std::vector<std::int32_t> Tail(std::span<const std::int32_t> t) { return Values(t.last(5)); }

}  // namespace

TEST(FingerprintKey, IsAnUnderscoreAndTheDecimalNumber) {
    EXPECT_EQ(FingerprintKey(2048), L"_2048");
    EXPECT_EQ(FingerprintKey(0), L"_0");
    EXPECT_EQ(FingerprintKey(2147483647), L"_2147483647");
    EXPECT_EQ(FingerprintKey(-5), L"_-5");
    EXPECT_EQ(FingerprintKey(-2147483647 - 1), L"_-2147483648");
}

TEST(FingerprintTables, ParasiteTablesHoldTheirListedValues) {
    const auto sizes = ParasiteSizeTable(), checksums = ParasiteChecksumTable();
    ASSERT_EQ(sizes.size(), 172u);
    ASSERT_EQ(checksums.size(), 230u);
    EXPECT_EQ(Head(sizes), (std::vector<std::int32_t>{2048, 2560, 2645, 4096, 5632}));
    EXPECT_EQ(Tail(sizes), (std::vector<std::int32_t>{587776, 616448, 635392, 637440, 668160}));
    EXPECT_EQ(Head(checksums), (std::vector<std::int32_t>{522891, 4116460, 12649235, 13084053, 14144318}));
    EXPECT_EQ(Tail(checksums), (std::vector<std::int32_t>{2101886687, 2104844698, 2107839065, 2109057513, 2144776197}));
    ExpectStrictlyAscending(sizes, "ParasiteSizes");
    ExpectStrictlyAscending(checksums, "ParasiteChecksums");
}

TEST(FingerprintTables, GoodTablesKeepTheirFixedRowsAndBounds) {
    const auto sizes = GoodSizeTable(), checksums = GoodChecksumTable();
    EXPECT_EQ(sizes.size(), 537u);
    EXPECT_EQ(checksums.size(), 1045u);
    EXPECT_EQ(Head(sizes), (std::vector<std::int32_t>{3584, 4096, 4608, 5120, 5632}));
    EXPECT_EQ(Tail(sizes), (std::vector<std::int32_t>{3792896, 4657152, 6369280, 12598440, 13244072}));
    EXPECT_EQ(Head(checksums), (std::vector<std::int32_t>{228221, 1612267, 4108130, 5485141, 5520735}));
    EXPECT_EQ(Tail(checksums), (std::vector<std::int32_t>{2142909427, 2144446872, 2146021194, 2147186337, 2147483647}));
    ExpectStrictlyAscending(sizes, "GoodSizes");
    ExpectStrictlyAscending(checksums, "GoodChecksums");
    // The largest size below 32768 is 31744.
    const auto firstLarge = std::lower_bound(sizes.begin(), sizes.end(), 32768);
    ASSERT_NE(firstLarge, sizes.begin());
    EXPECT_EQ(*(firstLarge - 1), 31744);
    for (const std::int32_t c : checksums) {
        EXPECT_GE(c, 0);
        EXPECT_LE(c, 2147483647);
    }
}

TEST(FingerprintTables, SizesShareExactlyTheListedValuesAndChecksumsNone) {
    const std::vector<std::int32_t> shared{
        4096,  5632,  6144,  6656,  8704,  9728,  10752, 11264, 13312,  13824,  16384,  16896,  17920,  18432,
        18944, 20992, 23552, 24576, 25600, 27648, 33792, 36864, 43520,  44032,  47104,  49152,  51712,  52736,
        53248, 54272, 57344, 65536, 86016, 94208, 143360, 147456, 163840, 172032, 191488, 204800, 225280};
    ASSERT_EQ(shared.size(), 41u);
    EXPECT_EQ(Common(ParasiteSizeTable(), GoodSizeTable()), shared);
    EXPECT_EQ(Common(ParasiteChecksumTable(), GoodChecksumTable()), std::vector<std::int32_t>{});
}

TEST(FingerprintLists, ADetectorHoldsEveryValueUnderItsKey) {
    CRoDoraziva detector;
    const struct {
        FingerprintList which;
        std::span<const std::int32_t> table;
    } lists[] = {
        {FingerprintList::ParasiteSizes, ParasiteSizeTable()},
        {FingerprintList::ParasiteChecksums, ParasiteChecksumTable()},
        {FingerprintList::GoodSizes, GoodSizeTable()},
        {FingerprintList::GoodChecksums, GoodChecksumTable()},
    };
    std::size_t total = 0;
    for (const auto& l : lists) {
        const auto& list = detector.Fingerprints(l.which);
        ASSERT_EQ(list.Count(), l.table.size());
        total += list.Count();
        // In the table's order, each under the key made from it.
        for (std::size_t i = 0; i < l.table.size(); ++i) {
            EXPECT_EQ(list.Item(i + 1), l.table[i]);
            ASSERT_TRUE(list.KeyAt(i + 1).has_value());
            EXPECT_EQ(*list.KeyAt(i + 1), L"_" + std::to_wstring(l.table[i]));
        }
    }
    EXPECT_EQ(total, 172u + 230u + GoodSizeTable().size() + GoodChecksumTable().size());
}

TEST(FingerprintLists, LookupsAreByExactDecimalKey) {
    CRoDoraziva detector;
    const auto& parasiteSizes = detector.Fingerprints(FingerprintList::ParasiteSizes);
    EXPECT_TRUE(parasiteSizes.Exists(L"_2048"));
    EXPECT_TRUE(parasiteSizes.Exists(L"_668160"));
    EXPECT_FALSE(parasiteSizes.Exists(L"_2047"));
    EXPECT_FALSE(parasiteSizes.Exists(L"_02048"));
    EXPECT_FALSE(parasiteSizes.Exists(L"2048"));
    const auto& parasiteChecksums = detector.Fingerprints(FingerprintList::ParasiteChecksums);
    EXPECT_TRUE(parasiteChecksums.Exists(L"_522891"));
    EXPECT_TRUE(parasiteChecksums.Exists(L"_2144776197"));
    EXPECT_FALSE(parasiteChecksums.Exists(L"_2147483647"));
    const auto& goodSizes = detector.Fingerprints(FingerprintList::GoodSizes);
    EXPECT_TRUE(goodSizes.Exists(L"_3584"));
    EXPECT_TRUE(goodSizes.Exists(L"_13244072"));
    EXPECT_TRUE(goodSizes.Exists(L"_31744"));
    EXPECT_FALSE(goodSizes.Exists(L"_3583"));
    EXPECT_FALSE(goodSizes.Exists(L"_2048"));
    const auto& goodChecksums = detector.Fingerprints(FingerprintList::GoodChecksums);
    EXPECT_TRUE(goodChecksums.Exists(L"_228221"));
    EXPECT_TRUE(goodChecksums.Exists(L"_2147483647"));
    EXPECT_FALSE(goodChecksums.Exists(L"_522891"));
}

TEST(FingerprintLists, EveryDetectorBuildsItsOwn) {
    CRoDoraziva first;
    CRoDoraziva second;
    for (const auto which : {FingerprintList::ParasiteSizes, FingerprintList::ParasiteChecksums,
                             FingerprintList::GoodSizes, FingerprintList::GoodChecksums}) {
        EXPECT_EQ(first.Fingerprints(which).Count(), second.Fingerprints(which).Count());
        EXPECT_NE(&first.Fingerprints(which), &second.Fingerprints(which));
    }
    EXPECT_EQ(second.Fingerprints(FingerprintList::ParasiteSizes).Count() +
                  second.Fingerprints(FingerprintList::ParasiteChecksums).Count() +
                  second.Fingerprints(FingerprintList::GoodSizes).Count() +
                  second.Fingerprints(FingerprintList::GoodChecksums).Count(),
              1984u);
}
