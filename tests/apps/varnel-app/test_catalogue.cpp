// The problem-description catalogue and the jobs built from it, in-process.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue.h"
#include "job/BCheckSettingList.h"
#include "jobjson/message_json.h"
#include "reply_builder.h"
#include "ticket/ConstantUStrings.h"
#include "ticket/DetectableProblemDescriptions.h"

namespace {

using json = nlohmann::ordered_json;
using varnel_app::problemCatalogue;

TEST(Catalogue, DescribesEveryProblemOnceWithSymmetricConflictsAndDefaultsOfItsType) {
    const umessage catalogue = inspect::messageFromJson(problemCatalogue());
    setDetectableProblemDescriptions(catalogue);
    const DetectableProblemDescriptions* table = detectableProblemDescriptions();
    ASSERT_NE(table, nullptr);
    const std::vector<ustring> names = allProblemNames();
    EXPECT_EQ(catalogue.getNames().size(), names.size());
    const BCheckSettingList settings;
    for (const ustring& name : names) {
        SCOPED_TRACE(name.str());
        const ProblemDescription description = table->GetProblemDescription(name);
        ASSERT_NE(description.GetProblemTypeEnum(), eSettingType_Undefined);
        // An unknown name has no conflicts of its own, so it fails here too.
        for (const ustring& other : table->GetConflicts(name)) {
            const auto& back = table->GetConflicts(other);
            EXPECT_NE(std::find(back.begin(), back.end(), name), back.end()) << other.str();
        }
        if (!description.GetDefaults()) continue;
        const BCheckSetting* setting = settings.FindCheckSetting(name);
        ASSERT_NE(setting, nullptr);
        EXPECT_EQ(setting->GetSettingType(), description.GetProblemTypeEnum());
    }
}

TEST(ReplyBuilder, PathsAreTakenInTheOutputFolderAndOwnDescriptionsWin) {
    const varnel_app::ReplyBuilder replies("/srv/out");
    const struct {
        const char* member;
        const char* given;  // null: not in the job
        const char* sent;
    } cases[] = {
        {"documentFile", nullptr, "/srv/out/report"},
        {"documentFile", "a/../b.ai", "/srv/out/b.ai"},
        {"documentFile", "/jobs/a", "/jobs/a"},
        {"pluginInfoFile", "", ""},
        {"pluginInfoFile", "report.info", "/srv/out/report.info"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.member) + " = " + (c.given ? c.given : "(absent)"));
        varnel_app::StoredJob job{"/jobs/report.json", "report", json::object()};
        if (c.given != nullptr) job.data[c.member] = c.given;
        EXPECT_EQ(replies.resolve(job).value(c.member, std::string()), c.sent);
    }
    const json own = {{"message", {{"type", {{"string", "limitsHigh"}}}}}};
    const json sent = replies.resolve({"/jobs/a.json", "a", {{"problemDescriptions", {{"BlackUsed", own}}}}});
    EXPECT_EQ(sent["problemDescriptions"]["BlackUsed"], own);
    EXPECT_EQ(sent["problemDescriptions"]["ColourUsed"], problemCatalogue()["ColourUsed"]);
    EXPECT_EQ(sent["problemDescriptions"].size(), problemCatalogue().size());
}

}  // namespace
