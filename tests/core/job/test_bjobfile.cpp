#include "job/BJobFile.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <limits>

#include "TestFolders.h"
#include "TestProblemDescriptions.h"
#include "job_test_support.h"

using job_test::AddDestination;
using job_test::Range;
using job_test::spacedHex;
using ticket_builder::Msg;
using vnu::Rect2D;

namespace {

using Writer = std::function<void(UKeyOutStream&)>;

BGroup& NewGroup(BJobFile& job, bool active = false) {
    auto* group = new BGroup(&job);
    group->SetActive(active);
    job.GetGroups().Insert(group);
    return *group;
}

std::string Write(BJobFile& job, long flags) {
    std::ostringstream os;
    job.JobFileWriteToBuffer(os, flags);
    return os.str();
}

void Read(BJobFile& job, const std::string& bytes, int flags) {
    std::istringstream is(bytes);
    job.JobFileReadFromBuffer(is, flags);
}

// A job stream as the companion application writes one: 'JJ' with what `jj` writes, then `root`.
std::string CompanionStream(const Writer& jj, const Writer& root = nullptr) {
    return job_test::Stream(
        [&](UKeyOutStream& out) {
            out << UKeyOutStream::StartRecord(UKey('J', 'J'));
            jj(out);
            out.Pop();
            if (root) root(out);
        },
        BJobFile::kStreamIdentifier);
}

std::string TicketStream(const Msg& ticket) {
    return CompanionStream(
        [](UKeyOutStream&) {},
        [&](UKeyOutStream& out) { job_test::WriteMessage(out, UKey('S', 'R'), ticket.get()); });
}

// A ticket's "settings" record with its string parameters P0, P1, ...
Msg Setting(const ustring& problem, std::initializer_list<ustring> params,
            const ustring& type = "eSettingType_StringParameter") {
    Msg record;
    record.str("problem", {problem}).str("type", {type});
    int i = 0;
    for (const ustring& p : params) record.str(ustring("P%0").arg(i++), {p});
    return record;
}

// Every job read resolves colour profiles, which creates the colour-profile folder: keep it in a
// scratch data folder.
class JobFileTest : public testing::Test {
protected:
    void SetUp() override {
        env_.set("XDG_DATA_HOME", data_.path());
        ASSERT_NE(ticket_builder::installTestProblemDescriptions(), nullptr);
        g_forceEPSexport = false;
    }
    void TearDown() override { g_forceEPSexport = false; }

    testing_support::ScratchFolder data_;
    testing_support::ScopedEnvironment env_;
};

TEST_F(JobFileTest, DefaultJobWithFlags2IsByteExactAndKeepsItsIdentifier) {
    BJobFile job;
    const std::string bytes = Write(job, 2);
    ASSERT_EQ(bytes.size(), 268u);
    const std::string uuid = bytes.substr(44, 36);
    EXPECT_EQ(job.GetJobID(), uuid);
    std::string boxes;
    for (const char* key : {"'RB'", "'RT'", "'RY'"}) {
        boxes += std::string(" ") + key + " FF 00 00 00 28 07";
        for (int i = 0; i < 4; ++i) boxes += " 08 04 7F F0 00 00 00 00 00 00";
    }
    EXPECT_EQ(spacedHex(bytes),
              spacedHex(job_test::bytes(
                  "'KS' FF 00 00 01 04 06 'ID' 04 02 'JOB5' C0 DE 01 02 01 'JJ' FF 00 00 00 E7 06 "
                  "'St' 00 02 'Pv' 03 05 '748' 'SS' 24 05 '" +
                  uuid + "' 'DN' 00 05 'SN' 00 05 'LN' 00 05" + boxes +
                  " 'LH' 00 04 'LV' 00 04 'Lw' 00 04 'Ld' 00 04 'SE' 00 01 'CZ' 00 01 "
                  "'GG' FF 00 00 00 00 06")));
    EXPECT_EQ(Write(job, 2), bytes);
}

using Boxes3 = std::array<Rect2D, 3>;
Boxes3 Boxes(const BJobFile& job) {
    return {job.GetRequiredBleedBox(), job.GetRequiredTrimBox(), job.GetRequiredTypeAreaBox()};
}
void SetBoxes(BJobFile& job, const Boxes3& boxes) {
    job.SetRequiredBleedBox(boxes[0]);
    job.SetRequiredTrimBox(boxes[1]);
    job.SetRequiredTypeAreaBox(boxes[2]);
}

TEST_F(JobFileTest, AbsentFieldsRelativePathsAndTheEPSRecord) {
    BJobFile job;
    job.SetNP(4);
    job.SetSE(true);
    job.SetSN("sn");
    job.SetRequiredTrimBox({4, 5, 210, 297});
    job.SetTF(UFileSpecCore("/t/f", nullptr));
    job.GetAbsolutePages().Insert(Range(1, 3));
    AddDestination(NewGroup(job, true), 210, 297, "17");
    Read(job,
         CompanionStream(
             [](UKeyOutStream& out) {
                 out << UKey('S', 't') << 3 << UKey('F', 'S') << ustring("jobs/a.pdf");
                 out << UKey('P', 'I') << ustring("/x//");
             },
             [](UKeyOutStream& out) {
                 out << UKeyOutStream::StartRecord(UKey('B', 'P')) << UKey('B', 'r') << true;
                 out.Pop();
             }),
         4);
    // Absent numbers keep their values; the reader gives an absent string as the empty string. A
    // relative path reads as an empty file spec; an absolute one is cleaned. Lists are replaced.
    EXPECT_EQ(
        std::tuple(job.GetSt(), job.GetNP(), job.GetSE(), job.GetSN(), job.GetRequiredTrimBox(),
                   job.GetTF().isValid(), job.GetDocumentFile().isValid(), job.GetPluginInfoFile().path(),
                   job.GetGroups().size(), job.GetAbsolutePages().size()),
        std::tuple(3, 4, true, ustring(), Rect2D{4, 5, 210, 297}, false, false, ustring("/x"), 0u, 0u));
    EXPECT_TRUE(g_forceEPSexport);
    Read(job, Write(job, 4), 4);  // a stream without the record leaves the flag alone
    EXPECT_TRUE(g_forceEPSexport);
}

TEST_F(JobFileTest, BoxesAllAtTheOriginReadBackCentred) {
    const Rect2D a4{0, 0, 210, 297}, a4Centred{-105, -148.5, 210, 297}, null = vnu::kRect2DNull;
    const double inf = std::numeric_limits<double>::infinity();
    // Bleed, trim and type-area boxes written with flags 2, and as they read back.
    const std::array<Rect2D, 3> cases[][2] = {
        {{a4, a4, {0, 0, 190, 277}}, {a4Centred, a4Centred, {-95, -138.5, 190, 277}}},
        {{a4, a4, null}, {a4, a4, null}},  // the type-area box never computed
        // An infinite coordinate reads as the null rectangle.
        {{{{0, 0, 10, 10}, {0, 0, inf, 10}, {0, 0, 5, 5}}}, {{{0, 0, 10, 10}, null, {0, 0, 5, 5}}}},
    };
    for (const auto& [written, read] : cases) {
        BJobFile job, back;
        SetBoxes(job, written);
        Read(back, Write(job, 2), 2);
        EXPECT_EQ(Boxes(back), read);
    }
}

TEST_F(JobFileTest, RequiredBoxesForTheActiveGroup) {
    struct Destination {
        double width, height;
        std::array<double, 4> bleeds{}, margins{};  // left, right, top, bottom
    };
    using Group = std::pair<bool, std::vector<Destination>>;  // active, destinations
    const Rect2D a4{0, 0, 210, 297}, kept{1, 2, 3, 4}, zero{0, 0, 0, 0};
    // Whether all groups combine, the groups, and the bleed, trim and type-area boxes computed; the
    // type area starts as `kept`.
    const struct {
        bool combine;
        std::vector<Group> groups;
        Boxes3 boxes;
    } cases[] = {
        // Bleed in the active group only; without margins the type area is kept.
        {false,
         {{false, {{100, 100, {20, 20, 20, 20}}}}, {true, {{210, 297, {3, 3, 3, 3}}, {200, 280}}}},
         {{{0, 0, 216, 303}, {0, 0, 200, 280}, kept}}},
        // Margins on one side still make a type area; the smallest positive one wins.
        {false,
         {{true, {{210, 297, {}, {10, 0, 0, 0}}, {300, 300, {}, {20, 20, 5, 5}}}}},
         {{a4, a4, {0, 0, 200, 290}}}},
        {false, {{false, {{210, 297, {}, {10, 10, 10, 10}}}}}, {zero, zero, kept}},  // no active group
        // With two or more groups every destination's requested bleed size counts, bleed or not.
        {true, {{false, {{100, 100}}}, {false, {{200, 150}}}}, {{{0, 0, 200, 150}, {0, 0, 100, 100}, kept}}},
        {true, {{false, {{100, 100}, {200, 150}}}}, {{{0, 0, 100, 100}, {0, 0, 100, 100}, kept}}},
    };
    for (const auto& c : cases) {
        BJobFile job;
        job.SetCombineAllGroups(c.combine);
        job.SetRequiredTypeAreaBox(kept);
        for (const auto& [active, destinations] : c.groups) {
            BGroup& group = NewGroup(job, active);
            for (const Destination& d : destinations) {
                BDestination* destination = AddDestination(group, d.width, d.height);
                destination->SetBleeds(d.bleeds[0], d.bleeds[1], d.bleeds[2], d.bleeds[3]);
                destination->SetTypeAreaMargins(d.margins[0], d.margins[1], d.margins[2], d.margins[3]);
            }
        }
        job.ComputeRequiredBoxesForActiveGroup();
        EXPECT_EQ(Boxes(job), c.boxes) << "row " << &c - cases;
    }
}

TEST_F(JobFileTest, PageFileSpec) {
    BJobFile job;
    EXPECT_FALSE(job.GetPageFileSpec(3).isValid());
    job.SetDocumentFile(UFileSpecCore("/jobs/a.pdf", nullptr));
    for (const auto& [page, suffix] : {std::pair{3, "#3"}, {12, "#12"}, {1, ""}, {0, ""}, {-4, ""}})
        EXPECT_EQ(job.GetPageFileSpec(page).path(), ustring("/jobs/a.pdf") + suffix) << page;
}

TEST_F(JobFileTest, ProfileReferencesResolveInsideTheColourProfileFolder) {
    const std::string gray = data_.write("elsewhere/Gray.icc", "icc"), icc = data_ / "icc/";
    // The process and grayscale profile paths, "(none)" for a missing reference.
    using Paths = std::pair<std::string, std::string>;
    const auto read = [](const Msg& ticket) {
        BJobFile job;
        Read(job, TicketStream(ticket), 4);
        const auto path = [&](auto which) {
            return job.HasProfileRef(which) ? job.GetProfileRef(which).GetPath().str() : "(none)";
        };
        return Paths(path(BJobFile::kProcessProfile), path(BJobFile::kGrayscaleProfile));
    };
    EXPECT_EQ(read(Msg().msg("settings", {Setting("Setting_ProcessProfile", {"Coated.icc"}),
                                          Setting("Setting_GrayscaleProfile", {ustring(gray)})})),
              Paths(icc + "Coated.icc", gray));
    EXPECT_EQ(read(Msg()), Paths(icc + "Default CMYK.icc", "(none)"));  // the described default
    // The override replaces silent destination profiles with the local ones.
    for (const bool overrideOn : {true, false}) {
        EXPECT_EQ(read(Msg().msg("settings",
                                 {Setting("Setting_ProcessProfile", {"Dest.icc", "silent"}),
                                  Setting("Setting_GrayscaleProfile", {"DestGray.icc"}),
                                  Setting("Setting_LocalOutputProfiles", {"Local.icc", "LocalGray.icc"}),
                                  Setting("Setting_OverrideDestinationProfiles", {}, "eSettingType_Parameter")
                                      .num("note", {overrideOn ? 1.0 : 0.0})})),
                  Paths(icc + (overrideOn ? "Local.icc" : "Dest.icc"), icc + "DestGray.icc"));
    }
}

// From memory the bytes are read in place; from a file through the 64 KiB window, whose edges
// then fall inside destinations.
TEST_F(JobFileTest, ALargeJobReadsTheSameFromAFileAsFromMemory) {
    BJobFile job, fromMemory, fromFile;
    BGroup& group = NewGroup(job, true);
    for (int i = 0; i < 2000; ++i)
        AddDestination(group, 100 + i, 200, ustring(std::to_string(100000 + i)))->SetBleeds(1, 2, 3, 4);
    const std::string bytes = Write(job, 4);
    ASSERT_GT(bytes.size(), 3u * 65536);
    Read(fromMemory, bytes, 4);
    std::ifstream file(data_.write("job.bin", bytes), std::ios::binary);
    fromFile.JobFileReadFromBuffer(file, 4);
    EXPECT_EQ(Write(fromFile, 4), bytes);
    EXPECT_EQ(Write(fromMemory, 4), bytes);
}

TEST_F(JobFileTest, FailedInputLeavesTheJobAlone) {
    BJobFile job;
    std::istringstream failed(Write(job, 4));
    failed.setstate(std::ios::failbit);
    job.SetSt(6);
    job.JobFileReadFromBuffer(failed, 4);
    EXPECT_EQ(job.GetSt(), 6);
}

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The runs of record 10 of a plug-in information file, each an empty record 140 beside its 120
// value: the 120 value and the 3201 flag of 180 (-1 when 180 is absent).
std::vector<std::pair<int, int>> PluginInfoRuns(const std::string& path) {
    return job_test::ReadStream(FileBytes(path), [](UKeyInStream& in) {
        std::vector<std::pair<int, int>> runs;
        in >> UKeyInStream::StartRecord(UKey(10));
        while (in.Next()) {
            bool enabled = false;
            auto& [page, flag] = runs.emplace_back(-99, -1);
            EXPECT_TRUE(in.Exists(UKey(140)));
            in >> UKey(120) >> page >> UKeyInStream::StartRecord(UKey(140));
            EXPECT_TRUE(in.IndexedFields().empty());
            in.Pop();
            if (!in.Exists(UKey(180))) continue;
            in >> UKeyInStream::StartRecord(UKey(180)) >> UKey(3201) >> enabled;
            in.Pop();
            flag = enabled;
        }
        return runs;
    });
}

TEST_F(JobFileTest, PluginInfoHoldsOneRunForTheDocumentAndOnePerPage) {
    BJobFile job;
    const std::string path = data_ / "info.bin";
    job.SetPluginInfoFile(UFileSpecCore(ustring(path), nullptr));
    job.GetAbsolutePages().Insert(Range(1, 2));
    job.GetAbsolutePages().Insert(Range(3, 1));
    auto flattener = std::make_shared<BTransparencyFlattener>(),
         elsewhere = std::make_shared<BTransparencyFlattener>();
    flattener->SetPage(2);
    flattener->SetEnabled(true);
    elsewhere->SetPage(9);
    job.GetPageFlatteners() = {flattener, elsewhere};
    data_.write("info.bin", std::string(1000, 'x'));  // replaced whole
    job.ExportPluginInfo();
    // No stream identifier: the version follows the root header.
    EXPECT_EQ(spacedHex(FileBytes(path).substr(8, 5)), "C0 DE 01 02 01");
    using Runs = std::vector<std::pair<int, int>>;
    EXPECT_EQ(PluginInfoRuns(path), (Runs{{-2, -1}, {0, -1}, {1, 1}, {2, -1}}));

    // Two ranges of the largest count a reply can give, billions of pages in all, stop at the limit;
    // a negative total writes the document run only.
    for (int i = 0; i < 2; ++i) job.GetAbsolutePages().Insert(Range(1, std::numeric_limits<int>::max()));
    job.ExportPluginInfo();
    const Runs runs = PluginInfoRuns(path);
    EXPECT_EQ(std::pair(runs.size(), runs.back().first),
              std::pair(size_t{1} + BJobFile::kMaxPluginInfoPages, BJobFile::kMaxPluginInfoPages - 1));
    job.GetAbsolutePages().RemoveAll();
    job.GetAbsolutePages().Insert(Range(1, -5));
    job.ExportPluginInfo();
    EXPECT_EQ(PluginInfoRuns(path).size(), 1u);
}

}  // namespace
