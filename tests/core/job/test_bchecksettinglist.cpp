#include "job/BCheckSettingList.h"

#include <gtest/gtest.h>

#include "TestFolders.h"
#include "TestProblemDescriptions.h"
#include "ticket/WQCS.h"

using namespace ticket_builder;

namespace {

class BCheckSettingListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(installTestProblemDescriptions(), nullptr); }

    // A list decoded from a ticket whose local qcs holds the given checks.
    void decodeLocal(const Qcs& qcs) { list.DeserialiseSettings(Ticket().local(qcs).build()); }
    std::vector<ustring> names() const {
        std::vector<ustring> result;
        for (const BCheckSetting* s : list.settings()) result.push_back(s->GetName());
        return result;
    }

    BCheckSettingList list;
};

TEST_F(BCheckSettingListTest, FindCheckSettingFallsBackToTheDefaultCheckOnce) {
    EXPECT_EQ(list.FindCheckSetting("ResTooLowContone"), nullptr);  // described, no defaults
    EXPECT_EQ(list.FindCheckSetting("MinPlates"), nullptr);         // not described
    BCheckSetting* maxPlates = list.FindCheckSetting("MaxPlates");
    ASSERT_NE(maxPlates, nullptr);
    EXPECT_EQ(std::tuple(maxPlates->GetName(), maxPlates->GetValue(BCheckSetting::eValue_Warn),
                         maxPlates->GetPrecision(), maxPlates->GetSeverity()),
              std::tuple(ustring("MaxPlates"), 6.0, 0, eProblemSeverity_Warn));
    EXPECT_EQ(list.FindCheckSetting("MaxPlates"), maxPlates);

    // Rebuilding the list keeps what was made from defaults; an own setting takes precedence.
    decodeLocal(Qcs().check("MaxPlates", Check().fault(8)));
    BCheckSetting* own = list.FindCheckSetting("MaxPlates");
    ASSERT_TRUE(own != nullptr && own != maxPlates);
    EXPECT_EQ(own->GetSeverity(), eProblemSeverity_Fault);
    list.RemoveAll();
    EXPECT_EQ(std::pair(list.FindCheckSetting("MaxPlates"), list.defaultSettings().size()),
              std::pair(maxPlates, size_t{1}));
}

TEST_F(BCheckSettingListTest, DefaultPDFVersionFromTheVersionAndItsLimits) {
    const Check none;
    const struct {
        const char* label;
        double version;  // 0: no Setting_PDFVersion check
        Check tooHigh, tooLow;
        double expected;
    } cases[] = {
        {"high limit caps the version", 1.6, Check().fault(1.4), none, 1.4},
        {"low limit alone, floored to 1.3", 0, none, Check().fault(1.2), 1.3},
        {"nothing found", 0, none, none, 0},
        {"version alone, capped to 1.7", 2.0, none, none, 1.7},
        {"high limit alone", 0, Check().warn(1.5), none, 1.5},
        {"fault threshold before warn", 0, Check().warn(1.6).fault(1.5), none, 1.5},
        {"note limits do not count", 1.6, Check().note(1.4), Check().note(1.7), 1.6},
        {"low limit raises the version", 1.4, none, Check().fault(1.5), 1.5},
        {"both limits", 1.7, Check().fault(1.5), Check().warn(1.4), 1.5},
    };
    for (const auto& c : cases) {
        Qcs qcs;
        if (c.version != 0) qcs.check("Setting_PDFVersion", Check().note(c.version));
        if (!c.tooHigh.get().empty()) qcs.check("PDFVersionTooHigh", c.tooHigh);
        if (!c.tooLow.get().empty()) qcs.check("PDFVersionTooLow", c.tooLow);
        decodeLocal(qcs);
        EXPECT_DOUBLE_EQ(list.GetDefaultPDFVersion(), c.expected) << c.label;
    }
}

TEST_F(BCheckSettingListTest, StoredRecordsOrProfileChecks) {
    // Stored records are read as they are (profiles not resolved), nameless ones skipped, and a
    // profile beside them is not looked at.
    Ticket stored;
    stored.settingsRecord(Msg().str("problem", {"ResTooLowContone"}))
        .settingsRecord(Msg().num("warn", {1}))
        .settingsRecord(Msg().str("problem", {"BlackUsed"}))
        .settingsRecord(Msg().str("problem", {"Setting_ProcessProfile"}).str("P0", {"Default CMYK.icc"}))
        .local(Qcs().check("CourierUsed", Check().sev("fault")));
    list.DeserialiseSettings(stored.build());
    EXPECT_EQ(names(), (std::vector<ustring>{"BlackUsed", "ResTooLowContone", "Setting_ProcessProfile"}));
    EXPECT_EQ(list.settings()[2]->GetStringParam(0), ustring("Default CMYK.icc"));

    // The profile form keeps described checks in name order, those of no known type too.
    list.DeserialiseSettings(Ticket()
                                 .destination(Qcs().check("ResTooLowContone", Check().warn(150)))
                                 .local(Qcs()
                                            .check("BlackUsed", Check().sev("warn"))
                                            .check("MinPlates", Check().warn(2))
                                            .check("DoublePageSpread", Check().sev("fault")))
                                 .build());
    EXPECT_EQ(names(), (std::vector<ustring>{"BlackUsed", "DoublePageSpread", "ResTooLowContone"}));
    EXPECT_EQ(list.settings()[1]->GetSettingType(), eSettingType_Undefined);
    list.DeserialiseSettings(nullptr);
    EXPECT_EQ(list.size(), 0u);
}

// Records of one problem stay apart, the last read first, where a lookup finds it.
TEST_F(BCheckSettingListTest, RecordsOfOneProblemLastFirst) {
    Ticket stored;
    for (int i = 0; i < 6; ++i)
        stored.settingsRecord(
            Msg().str("problem", {i % 2 ? "MaxPlates" : "ResTooLowContone"}).num("warn", {double(i)}));
    list.DeserialiseSettings(stored.build());
    std::vector<double> warns;
    for (const BCheckSetting* setting : list.settings())
        warns.push_back(setting->GetValue(BCheckSetting::eValue_Warn));
    EXPECT_EQ(names(), (std::vector<ustring>{"MaxPlates", "MaxPlates", "MaxPlates", "ResTooLowContone",
                                             "ResTooLowContone", "ResTooLowContone"}));
    EXPECT_EQ(warns, (std::vector<double>{5, 3, 1, 4, 2, 0}));
    EXPECT_EQ(list.FindCheckSetting("ResTooLowContone")->GetValue(BCheckSetting::eValue_Warn), 4);
}

// Content of the wrong type anywhere is skipped or read as absent: decoding never throws.
TEST_F(BCheckSettingListTest, WrongTypedContentIsSkipped) {
    Msg odd = Msg().ints("sev", {4}).str("precision", {"1"}).str("warn", {"150"});
    odd.flag("fault", {true}).ints("P", {3});
    const Qcs oddChecks = Qcs().check("BlackUsed", odd).check("ResTooLowContone", odd);
    const Msg record = Msg().str("problem", {"BlackUsed"});
    Ticket withNull = Ticket().settingsRecord(record);
    withNull.raw().nullMsg("settings").msg("settings", {record});
    const std::pair<MessagePtr, size_t> cases[] = {
        {Ticket().destination(oddChecks).destination(oddChecks).build(), 0},
        // Not the stored form: the profile is read.
        {Ticket().local(Qcs().check("BlackUsed", Check().sev("warn"))).raw().str("settings", {"x"}), 1},
        {Ticket().settingsRecord(Msg().ints("problem", {4})).build(), 0},
        {withNull.build(), 2},  // a null record is skipped like a nameless one
    };
    for (const auto& [ticket, size] : cases) {
        ASSERT_NO_THROW(list.DeserialiseSettings(ticket));
        EXPECT_EQ(list.size(), size);
    }
}

// The colour profiles folder lives under XDG_DATA_HOME; each test gets its own.
TEST_F(BCheckSettingListTest, ExistingProfileFilesBecomeFullPaths) {
    testing_support::ScratchFolder root;
    testing_support::ScopedEnvironment env;
    env.set("XDG_DATA_HOME", root.path());
    const ustring coated(root.write("icc/Coated.icc", "icc")),
        fallback(root.write("icc/Default CMYK.icc", "icc"));
    root.makeFolder("icc/Folder.icc");
    const auto param = [&](const char* name, int i) {
        const BCheckSetting* s = list.FindCheckSetting(name);
        return s == nullptr ? ustring("(none)") : s->GetStringParam(i);
    };
    EXPECT_EQ(param("Setting_ProcessProfile", 0), fallback);  // default checks are resolved too

    decodeLocal(Qcs()
                    .check("Setting_ProcessProfile", Check().param("Coated.icc").param("Missing.icc"))
                    .check("Setting_GrayscaleProfile", Check().param("Folder.icc"))
                    .check("Setting_Standard", Check().param("Coated.icc")));
    // Setting_Standard is not one of the four profile settings.
    EXPECT_EQ(std::tuple(param("Setting_ProcessProfile", 0), param("Setting_ProcessProfile", 1),
                         param("Setting_GrayscaleProfile", 0), param("Setting_Standard", 0)),
              std::tuple(coated, ustring("Missing.icc"), ustring("Folder.icc"), ustring("Coated.icc")));
}

}  // namespace
