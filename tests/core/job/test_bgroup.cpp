#include "job/BGroup.h"

#include <gtest/gtest.h>

#include <array>

#include "job/BJobFile.h"
#include "job_test_support.h"

namespace {

using job_test::AddDestination;

void ReadGroup(BGroup& group, const std::string& bytes) {
    job_test::ReadStream(bytes, [&](UKeyInStream& in) { group.GroupKeyStreamIn(in); });
}

std::string Written(const BGroup& group, long flags) {
    return job_test::Stream([&](UKeyOutStream& out) { group.GroupKeyStreamOut(out, flags); });
}

// The identifiers a group write carries, in order, and whether each is marked exported.
std::vector<std::pair<ustring, bool>> WrittenIdentifiers(const BGroup& group, long flags) {
    BGroup back(group.GetJob());
    ReadGroup(back, Written(group, flags));
    std::vector<std::pair<ustring, bool>> ids;
    for (size_t i = 0; i < back.size(); ++i) ids.emplace_back(back[i].GetIdentifier(), back[i].IsExported());
    return ids;
}

TEST(BGroup, ReadingComputesTheSizeAndMinimums) {
    // Destinations as width, height and left bleed.
    const struct {
        std::vector<std::array<double, 3>> destinations;
        std::array<double, 4> minimumsAndSize;
    } cases[] = {
        {{{210, 297, 0}, {200, 280, 0}}, {200, 280, 200, 280}},
        // The first destination with a bleed gives the size, and there are no minimums.
        {{{210, 297, 0}, {200, 280, 3}, {100, 100, 3}}, {0, 0, 200, 280}},
        {{{0, 0, 0}, {-5, 10, 0}}, {0, 10, 0, 10}},
        {{}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        BJobFile job;
        BGroup group(&job), back(&job);
        for (const auto& d : c.destinations) AddDestination(group, d[0], d[1])->SetBleeds(d[2], 0, 0, 0);
        group.SetActive(true);
        group.SetGd(true);
        ReadGroup(back, Written(group, 4));
        ASSERT_EQ(back.size(), c.destinations.size());
        EXPECT_TRUE(back.IsActive() && back.GetGd());
        for (size_t i = 0; i < back.size(); ++i) EXPECT_EQ(back[i].GetGroup(), &back);
        EXPECT_EQ((std::array{back.GetMinimumWidth(), back.GetMinimumHeight(), back.GetGroupWidth(),
                              back.GetGroupHeight()}),
                  c.minimumsAndSize);
    }
}

TEST(BGroup, ExportWriteMarksWhatItWritesAndSkipsItNextTime) {
    using Ids = std::vector<std::pair<ustring, bool>>;
    BJobFile job;
    BGroup group(&job);
    AddDestination(group, 1, 1, "1");
    AddDestination(group, 1, 1, "2")->SetExported(true);
    AddDestination(group, 1, 1, "3");
    EXPECT_EQ(WrittenIdentifiers(group, 4), (Ids{{"1", false}, {"2", true}, {"3", false}}));
    EXPECT_FALSE(group[0].IsExported());
    EXPECT_EQ(WrittenIdentifiers(group, 52), (Ids{{"1", true}, {"3", true}}));
    EXPECT_TRUE(group.IsAllExported());
    EXPECT_TRUE(WrittenIdentifiers(group, 32).empty());
}

TEST(BGroupList, ActiveAndUnexportedGroups) {
    BJobFile job;
    BGroupList& groups = job.GetGroups();
    auto *done = new BGroup(&job), *empty = new BGroup(&job), *open = new BGroup(&job);
    AddDestination(*done, 1, 1)->SetExported(true);
    AddDestination(*open, 1, 1);
    for (BGroup* g : {done, empty, open}) groups.Insert(g);
    EXPECT_EQ(std::pair(groups.GetActiveGroup(), groups.FindFirstUnexportedGroup()),
              (std::pair<BGroup*, BGroup*>(nullptr, open)));
    groups.SetActiveGroup(open);
    EXPECT_EQ(groups.GetActiveGroup(), open);
    done->SetActive(true);
    EXPECT_EQ(groups.GetActiveGroup(), done);  // the first active one
}

}  // namespace
