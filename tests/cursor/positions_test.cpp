// Positions of a view: sequence numbers and bookmarks.
#include "cursor_fixture.h"

#include "db/base/bytes.h"
#include "db/cursor/table_verifier.h"
#include "db/storage/base_file.h"
#include "db/storage/records.h"
#include "support/faulty_os.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace zolvek {
namespace {

using namespace zolvek::testing;

TEST_F(CursorTest, SequenceNumbersAndMoveToSequenceAgree) {
    GlossaryCursor g(*directory);
    for (int i = 0; i < 300; ++i)
        g.Insert("w" + std::to_string((i * 37) % 101) + "_" + std::to_string(i));
    for (const char* index : { "", "INDEXX" }) {
        g.cursor.SelectIndex(index);
        g.cursor.MoveFirst();
        int32_t expected = 0;
        std::vector<std::string> order;
        while (g.cursor.ReadNext(g.record.data()) == 0) {
            EXPECT_EQ(g.cursor.SequenceNumber(), ++expected);
            order.push_back(g.Word(g.record));
        }
        EXPECT_EQ(expected, 300);
        for (int32_t n = 1; n <= 300; n += 7) {
            ASSERT_TRUE(g.cursor.MoveToSequence(n)) << n;
            EXPECT_EQ(g.cursor.SequenceNumber(), n);
            ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
            EXPECT_EQ(g.Word(g.record), order[size_t(n - 1)]);
        }
        EXPECT_FALSE(g.cursor.MoveToSequence(301));
    }
}

TEST_F(CursorTest, BookmarksOfEqualWordsFindTheirRecord) {
    GlossaryCursor g(*directory);
    g.Insert("kalem", "bir");
    g.Insert("kalem", "iki");
    g.Insert("kalem", "\xFC\xE7");
    g.Insert("silgi", "dort");
    g.cursor.SelectIndex("INDEXX");
    g.cursor.MoveFirst();
    g.cursor.ReadNext(g.record.data());
    g.cursor.ReadNext(g.record.data());
    ASSERT_EQ(g.Explanation(g.record), "iki");
    std::vector<uint8_t> bookmark(g.cursor.BookmarkSize());
    g.cursor.GetBookmark(bookmark.data());
    g.cursor.MoveLast();
    EXPECT_TRUE(g.cursor.GotoBookmark(bookmark.data()));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Explanation(g.record), "iki");

    // Delete it through another cursor: the bookmark now lands on the next key.
    GlossaryCursor other(*directory);
    other.cursor.SelectIndex("INDEXX");
    other.cursor.MoveFirst();
    other.cursor.ReadNext(other.record.data());
    other.cursor.ReadNext(other.record.data());
    other.DeleteCurrent();
    EXPECT_FALSE(g.cursor.GotoBookmark(bookmark.data()));
    ASSERT_EQ(g.cursor.ReadCurrent(g.record.data()), 0);
    EXPECT_EQ(g.Explanation(g.record), "\xFC\xE7");
    EXPECT_EQ(g.cursor.RecordCount(), 3);
}

} // namespace
} // namespace zolvek
