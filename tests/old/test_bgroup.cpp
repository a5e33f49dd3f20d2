#include "BGroup.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "BJobFile.h"
#include "UKeyStream.h"
#include "job_test_support.h"

using job_test::Stream;

namespace {

BDestination* Add(BGroup& group, double width, double height, const ustring& id = "") {
    BDestination* d = group.InsertNewDestination();
    d->SetPageSize(width, height);
    d->SetIdentifier(id);
    return d;
}

void ReadGroup(BGroup& group, const std::string& bytes) {
    job_test::ReadStream(bytes, [&](UKeyInStream& in) { group.GroupKeyStreamIn(in); });
}

std::string Written(const BGroup& group, long flags) {
    return Stream([&](UKeyOutStream& out) { group.GroupKeyStreamOut(out, flags); });
}

// The identifiers a group write carries, in order.
std::vector<ustring> WrittenIdentifiers(const BGroup& group, long flags) {
    BGroup back(group.GetJob());
    ReadGroup(back, Written(group, flags));
    std::vector<ustring> ids;
    for (size_t i = 0; i < back.size(); ++i) ids.push_back(back[i].GetIdentifier());
    return ids;
}

}  // namespace

TEST(BGroup, ReadingComputesTheSizeAndMinimums) {
    struct Case {
        std::vector<std::array<double, 4>> destinations;  // width, height, left bleed, unstored integer
        double minimumWidth, minimumHeight, width, height;
    };
    const Case cases[] = {
        {{{210, 297, 0, 0}, {200, 280, 0, 0}}, 200, 280, 200, 280},
        // The first destination with a bleed gives the size, and there are no minimums.
        {{{210, 297, 0, 0}, {200, 280, 3, 0}, {100, 100, 3, 0}}, 0, 0, 200, 280},
        // The unstored integer counts like a bleed; it does not travel, so set it after reading.
        {{{100, 120, 0, 0}, {300, 400, 0, 1}}, 0, 0, 300, 400},
        {{{0, 0, 0, 0}, {-5, 10, 0, 0}}, 0, 10, 0, 10},
    };
    for (const Case& c : cases) {
        BJobFile job;
        BGroup group(&job);
        for (const auto& d : c.destinations) Add(group, d[0], d[1])->SetBleeds(d[2], 0, 0, 0);
        BGroup back(&job);
        ReadGroup(back, Written(group, 4));
        ASSERT_EQ(back.size(), c.destinations.size());
        EXPECT_EQ(back[0].GetGroup(), &back);
        bool unstored = false;
        for (size_t i = 0; i < back.size(); ++i) {
            back[i].SetUnstoredInt(static_cast<int>(c.destinations[i][3]));
            unstored = unstored || c.destinations[i][3] != 0;
        }
        if (unstored) back.ComputeGroupSize();
        EXPECT_EQ((std::array{back.GetMinimumWidth(), back.GetMinimumHeight(), back.GetGroupWidth(),
                              back.GetGroupHeight()}),
                  (std::array{c.minimumWidth, c.minimumHeight, c.width, c.height}));
    }
}

TEST(BGroup, EmptyGroupHasNoSize) {
    BJobFile job;
    BGroup group(&job);
    ReadGroup(group, Stream([](UKeyOutStream& out) {
                  out << UKey('G', 'A') << true << UKey('G', 'd') << true;
                  out << UKeyOutStream::StartRecord(UKey('L', 'L'));
                  out.Pop();
              }));
    EXPECT_TRUE(group.IsActive());
    EXPECT_TRUE(group.GetGd());
    EXPECT_TRUE(group.empty());
    EXPECT_EQ((std::array{group.GetGroupWidth(), group.GetGroupHeight()}), (std::array{0.0, 0.0}));
}

TEST(BGroup, ExportWriteMarksWhatItWritesAndSkipsItNextTime) {
    BJobFile job;
    BGroup group(&job);
    Add(group, 1, 1, "1");
    Add(group, 1, 1, "2")->SetExported(true);
    Add(group, 1, 1, "3");
    EXPECT_EQ(WrittenIdentifiers(group, 4), (std::vector<ustring>{"1", "2", "3"}));
    EXPECT_FALSE(group[0].IsExported());

    BGroup back(&job);
    ReadGroup(back, Written(group, 52));
    ASSERT_EQ(back.size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(back[i].IsExported()) << i;
    EXPECT_EQ(back[0].GetIdentifier(), "1");
    EXPECT_EQ(back[1].GetIdentifier(), "3");
    EXPECT_TRUE(group.IsAllExported());

    EXPECT_TRUE(WrittenIdentifiers(group, 32).empty());
}

TEST(BGroupList, ActiveAndUnexportedGroups) {
    BJobFile job;
    BGroupList& groups = job.GetGroups();
    EXPECT_EQ(groups.GetActiveGroup(), nullptr);
    EXPECT_EQ(groups.FindFirstUnexportedGroup(), nullptr);

    auto* done = new BGroup(&job);
    Add(*done, 1, 1)->SetExported(true);
    auto* empty = new BGroup(&job);
    auto* open = new BGroup(&job);
    Add(*open, 1, 1);
    groups.Insert(done);
    groups.Insert(empty);
    groups.Insert(open);
    EXPECT_EQ(groups.GetActiveGroup(), nullptr);
    EXPECT_EQ(groups.FindFirstUnexportedGroup(), open);

    groups.SetActiveGroup(open);
    EXPECT_EQ(groups.GetActiveGroup(), open);
    EXPECT_FALSE(done->IsActive());
    done->SetActive(true);
    EXPECT_EQ(groups.GetActiveGroup(), done);  // the first active one

    BGroup foreign(&job);
    groups.SetActiveGroup(&foreign);
    EXPECT_EQ(groups.GetActiveGroup(), nullptr);
    groups.SetActiveGroup(empty);
    groups.SetActiveGroup(nullptr);
    EXPECT_EQ(groups.GetActiveGroup(), nullptr);
}

TEST(BGroupList, ActiveOnlyWriteAndReadingReplacesTheGroups) {
    BJobFile job;
    BGroupList& groups = job.GetGroups();
    for (int i = 0; i < 3; ++i) {
        auto* g = new BGroup(&job);
        Add(*g, 10.0 + i, 10, ustring("%0").arg(i));
        groups.Insert(g);
    }
    groups.SetActiveGroup(&groups[1]);

    auto readBack = [&](int flags) {
        std::string bytes = Stream([&](UKeyOutStream& out) { groups.GroupListKeyStreamOut(out, flags); });
        BJobFile other;
        other.GetGroups().Insert(new BGroup(&other));  // stale, replaced by the read
        job_test::ReadStream(bytes,
                             [&](UKeyInStream& in) { other.GetGroups().GroupListKeyStreamIn(in, flags); });
        std::vector<std::pair<ustring, bool>> seen;
        for (size_t g = 0; g < other.GetGroups().size(); ++g) {
            const BGroup& group = other.GetGroups()[g];
            EXPECT_EQ(group.GetJob(), &other);
            EXPECT_EQ(&group[0].GetJob(), &other);
            seen.emplace_back(group[0].GetIdentifier(), group.IsActive());
        }
        return seen;
    };
    using Seen = std::vector<std::pair<ustring, bool>>;
    EXPECT_EQ(readBack(4), (Seen{{"0", false}, {"1", true}, {"2", false}}));
    EXPECT_EQ(readBack(16), (Seen{{"1", true}}));
}
