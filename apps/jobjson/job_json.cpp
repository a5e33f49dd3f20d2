#include "jobjson/job_json.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "job/BJobFile.h"
#include "jobjson/message_json.h"
#include "keystream/UKeyStream.h"

namespace inspect {
namespace {

using json = nlohmann::ordered_json;

constexpr UKey kTicketKey('S', 'R');
constexpr UKey kDescriptionsKey('D', 'p');
constexpr UKey kEpsRecordKey('B', 'P');
constexpr UKey kEpsFlagKey('B', 'r');

// ---- job to JSON ----

json rectToJson(const vnu::Rect2D& r) {
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.width) || !std::isfinite(r.height))
        return nullptr;
    return json{{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

json rangeToJson(const BPageRange& r, bool withSection) {
    json j;
    if (withSection) j["section"] = r.GetSectionName().str();
    j["firstPage"] = r.GetFirstPage();
    j["pageCount"] = r.GetPageCount();
    if (withSection) j["style"] = r.GetStyle();
    return j;
}

template <class List>
json rangesToJson(const List& list, bool withSection) {
    json a = json::array();
    for (size_t i = 0; i < list.size(); ++i) a.push_back(rangeToJson(list[i], withSection));
    return a;
}

json destinationToJson(const BDestination& d) {
    json comments = json::array();
    for (const auto& c : d.GetComments())
        comments.push_back({{"UP", c.fUP.str()},
                            {"Uf", c.fUf.str()},
                            {"UT", c.fUT.str()},
                            {"UV", c.fUV.str()},
                            {"Ro", c.fRo}});
    return json{
        {"CC", d.GetCountryCode().str()},
        {"RC", d.GetPublisherCode().str()},
        {"R1", d.GetPublisherDetail().str()},
        {"NC", d.GetPublicationCode().str()},
        {"N1", d.GetPublicationDetail().str()},
        {"SC", d.GetSectionCode().str()},
        {"S1", d.GetSectionDetail().str()},
        {"St", d.GetSt()},
        {"CN", d.GetCN().str()},
        {"Co", d.GetCo()},
        {"NS", d.GetNS().str()},
        {"width", d.GetPageWidth()},
        {"height", d.GetPageHeight()},
        {"exported", d.IsExported()},
        {"MK", d.GetMK().str()},
        {"Ro", d.GetRo()},
        {"bleed",
         {{"left", d.GetBleedLeft()},
          {"right", d.GetBleedRight()},
          {"top", d.GetBleedTop()},
          {"bottom", d.GetBleedBottom()}}},
        {"typeArea",
         {{"left", d.GetTypeAreaLeft()},
          {"right", d.GetTypeAreaRight()},
          {"top", d.GetTypeAreaTop()},
          {"bottom", d.GetTypeAreaBottom()}}},
        {"identifier", d.GetIdentifier().str()},
        {"comments", comments},
    };
}

// Fields the job model does not keep ('Dp' is handed to the process-wide table, 'SR' is decoded
// into check settings, 'BP' sets a process-wide flag) are read straight from the stream.
void addRawFields(std::string_view bytes, json& j) {
    std::istringstream in{std::string(bytes)};
    UKeyInStream reader(in);
    for (auto [key, name] :
         {std::pair{kTicketKey, "ticket"}, std::pair{kDescriptionsKey, "problemDescriptions"}}) {
        if (!reader.Exists(key)) continue;
        umessage message;
        reader >> key >> message;
        j[name] = messageToJson(message);
    }
    if (reader.Exists(kEpsRecordKey)) {
        bool force = false;
        reader >> UKeyInStream::StartRecord(kEpsRecordKey) >> kEpsFlagKey >> force;
        reader.Pop();
        j["forceEPSexport"] = force;
    }
}

// ---- JSON to job ----

class Reader {
public:
    // Members outside `known` are mistakes (a misspelt name would otherwise be dropped quietly).
    Reader(const json& j, std::string path, std::initializer_list<const char*> known)
        : j_(j), path_(std::move(path)) {
        if (!j_.is_object()) fail("expected an object");
        for (const auto& item : j_.items()) {
            if (std::find_if(known.begin(), known.end(), [&](const char* k) { return item.key() == k; }) ==
                known.end())
                fail("unknown member", item.key());
        }
    }

    [[noreturn]] void fail(const std::string& what, const std::string& member = "") const {
        std::string at = path_;
        if (!member.empty()) at += (at.empty() ? "" : ".") + member;
        throw std::runtime_error("job JSON: " + (at.empty() ? std::string("top level") : at) + ": " + what);
    }

    const json* member(const char* name) const {
        const auto it = j_.find(name);
        return it == j_.end() ? nullptr : &*it;
    }

    std::string child(const std::string& name) const { return path_.empty() ? name : path_ + "." + name; }

    void string(const char* name, const std::function<void(const ustring&)>& set) const {
        if (const json* v = member(name)) {
            if (!v->is_string()) fail("expected a string", name);
            set(ustring(v->get<std::string>()));
        }
    }
    void integer(const char* name, const std::function<void(int)>& set) const {
        if (const json* v = member(name)) {
            if (!v->is_number_integer() || v->get<long long>() < std::numeric_limits<int>::min() ||
                v->get<long long>() > std::numeric_limits<int>::max())
                fail("expected a 32-bit integer", name);
            set(v->get<int>());
        }
    }
    double number(const char* name, double fallback) const {
        const json* v = member(name);
        if (v == nullptr) return fallback;
        if (!v->is_number()) fail("expected a number", name);
        return v->get<double>();
    }
    void boolean(const char* name, const std::function<void(bool)>& set) const {
        if (const json* v = member(name)) {
            if (!v->is_boolean()) fail("expected true or false", name);
            set(v->get<bool>());
        }
    }
    void file(const char* name, const std::function<void(const UFileSpecCore&)>& set) const {
        string(name, [&](const ustring& path) {
            UFileSpecCore spec;
            if (!path.empty() && !spec.init(path, nullptr)) fail("not an absolute path", name);
            set(spec);
        });
    }
    void rect(const char* name, const std::function<void(const vnu::Rect2D&)>& set) const {
        const json* v = member(name);
        if (v == nullptr) return;
        if (v->is_null()) {
            set(vnu::kRect2DNull);
            return;
        }
        const Reader r = object(name, {"x", "y", "width", "height"});
        set({r.number("x", 0), r.number("y", 0), r.number("width", 0), r.number("height", 0)});
    }
    // Four sides: bleeds and type-area margins.
    void sides(const char* name, const std::function<void(double, double, double, double)>& set) const {
        if (member(name) == nullptr) return;
        const Reader r = object(name, {"left", "right", "top", "bottom"});
        set(r.number("left", 0), r.number("right", 0), r.number("top", 0), r.number("bottom", 0));
    }
    Reader object(const char* name, std::initializer_list<const char*> known) const {
        return Reader(*member(name), child(name), known);
    }
    // Calls `each` with a reader for every element of an array member.
    void list(const char* name, std::initializer_list<const char*> known,
              const std::function<void(const Reader&)>& each) const {
        const json* v = member(name);
        if (v == nullptr) return;
        if (!v->is_array()) fail("expected an array", name);
        for (size_t i = 0; i < v->size(); ++i)
            each(Reader((*v)[i], child(name) + "[" + std::to_string(i) + "]", known));
    }
    const json& raw() const { return j_; }

private:
    const json& j_;
    std::string path_;
};

const std::initializer_list<const char*> kDestinationMembers = {
    "CC", "RC",    "R1",     "NC",       "N1", "SC", "S1",    "St",       "CN",         "Co",
    "NS", "width", "height", "exported", "MK", "Ro", "bleed", "typeArea", "identifier", "comments"};

BPageRange* rangeFromJson(const Reader& r, bool withSection) {
    auto range = std::make_unique<BPageRange>();
    if (withSection) r.string("section", [&](const ustring& s) { range->SetSectionName(s); });
    r.integer("firstPage", [&](int v) { range->SetFirstPage(v); });
    r.integer("pageCount", [&](int v) { range->SetPageCount(v); });
    if (withSection) r.integer("style", [&](int v) { range->SetStyle(v); });
    return range.release();
}

void destinationFromJson(const Reader& r, BDestination& d) {
    r.string("CC", [&](const ustring& s) { d.SetCountryCode(s); });
    // A code clears its detail, so codes go first.
    r.string("RC", [&](const ustring& s) { d.SetPublisherCode(s); });
    r.string("NC", [&](const ustring& s) { d.SetPublicationCode(s); });
    r.string("SC", [&](const ustring& s) { d.SetSectionCode(s); });
    r.string("R1", [&](const ustring& s) { d.SetPublisherDetail(s); });
    r.string("N1", [&](const ustring& s) { d.SetPublicationDetail(s); });
    r.string("S1", [&](const ustring& s) { d.SetSectionDetail(s); });
    r.integer("St", [&](int v) { d.SetSt(v); });
    r.string("CN", [&](const ustring& s) { d.SetCN(s); });
    r.integer("Co", [&](int v) { d.SetCo(v); });
    r.string("NS", [&](const ustring& s) { d.SetNS(s); });
    d.SetPageSize(r.number("width", 0), r.number("height", 0));
    r.boolean("exported", [&](bool v) { d.SetExported(v); });
    r.string("MK", [&](const ustring& s) { d.SetMK(s); });
    r.boolean("Ro", [&](bool v) { d.SetRo(v); });
    r.sides("bleed", [&](double l, double rt, double t, double b) { d.SetBleeds(l, rt, t, b); });
    r.sides("typeArea", [&](double l, double rt, double t, double b) { d.SetTypeAreaMargins(l, rt, t, b); });
    r.string("identifier", [&](const ustring& s) { d.SetIdentifier(s); });
    r.list("comments", {"UP", "Uf", "UT", "UV", "Ro"}, [&](const Reader& c) {
        USharedDataCmt comment;
        c.string("UP", [&](const ustring& s) { comment.fUP = s; });
        c.string("Uf", [&](const ustring& s) { comment.fUf = s; });
        c.string("UT", [&](const ustring& s) { comment.fUT = s; });
        c.string("UV", [&](const ustring& s) { comment.fUV = s; });
        c.boolean("Ro", [&](bool v) { comment.fRo = v; });
        d.AddComment(comment);
    });
}

void jobFieldsFromJson(const Reader& r, BJobFile& job) {
    r.integer("St", [&](int v) { job.SetSt(v); });
    r.string("identifier", [&](const ustring& s) { job.SetJobID(s); });
    r.string("DN", [&](const ustring& s) { job.SetDN(s); });
    r.string("SN", [&](const ustring& s) { job.SetSN(s); });
    r.string("LN", [&](const ustring& s) { job.SetLN(s); });
    r.rect("bleedBox", [&](const vnu::Rect2D& b) { job.SetRequiredBleedBox(b); });
    r.rect("trimBox", [&](const vnu::Rect2D& b) { job.SetRequiredTrimBox(b); });
    r.rect("typeAreaBox", [&](const vnu::Rect2D& b) { job.SetRequiredTypeAreaBox(b); });
    if (r.member("placement") != nullptr) {
        const Reader pr = r.object("placement", {"horizontalOffset", "verticalOffset", "width", "depth"});
        job.SetTrimPlacement(pr.number("horizontalOffset", 0), pr.number("verticalOffset", 0),
                             pr.number("width", 0), pr.number("depth", 0));
    }
    r.boolean("SE", [&](bool v) { job.SetSE(v); });
    r.boolean("combineAllGroups", [&](bool v) { job.SetCombineAllGroups(v); });
    r.integer("NP", [&](int v) { job.SetNP(v); });
    r.integer("CP", [&](int v) { job.SetCP(v); });
    r.integer("LC", [&](int v) { job.SetLC(v); });
    r.file("TF", [&](const UFileSpecCore& f) { job.SetTF(f); });
    r.file("documentFile", [&](const UFileSpecCore& f) { job.SetDocumentFile(f); });
    r.file("PD", [&](const UFileSpecCore& f) { job.SetPD(f); });
    r.file("pluginInfoFile", [&](const UFileSpecCore& f) { job.SetPluginInfoFile(f); });
    r.list("pageSections", {"section", "firstPage", "pageCount", "style"},
           [&](const Reader& e) { job.GetPageSections().Insert(rangeFromJson(e, true)); });
    r.list("absolutePages", {"firstPage", "pageCount"},
           [&](const Reader& e) { job.GetAbsolutePages().Insert(rangeFromJson(e, false)); });
    r.list("exportedDestinations", {"identifier", "pages"}, [&](const Reader& e) {
        auto entry = std::make_unique<BExportedDestination>();
        e.integer("identifier", [&](int v) { entry->SetID(v); });
        e.list("pages", {"firstPage", "pageCount"},
               [&](const Reader& p) { entry->GetPages().Insert(rangeFromJson(p, false)); });
        job.GetExportedDestinations().Append(entry.release());
    });
    r.list("groups", {"active", "Gd", "destinations"}, [&](const Reader& g) {
        auto* group = new BGroup(&job);
        job.GetGroups().Insert(group);
        g.boolean("active", [&](bool v) { group->SetActive(v); });
        g.boolean("Gd", [&](bool v) { group->SetGd(v); });
        g.list("destinations", kDestinationMembers,
               [&](const Reader& d) { destinationFromJson(d, *group->InsertNewDestination()); });
    });
}

void writeMessageField(UKeyOutStream& out, UKey key, const Reader& r, const char* name) {
    const json* v = r.member(name);
    if (v == nullptr) return;
    std::ostringstream bytes;
    try {
        messageFromJson(*v).flatten(bytes);
    } catch (const std::runtime_error& e) {
        r.fail(e.what(), name);
    }
    const std::string flat = bytes.str();
    out << key;
    out.WriteField(flat.data(), static_cast<int>(flat.size()), UKeyStream::eType_Bytes);
}

}  // namespace

nlohmann::ordered_json jobToJson(std::string_view bytes, int flags) {
    BJobFile job;
    std::istringstream in{std::string(bytes)};
    job.JobFileReadFromBuffer(in, flags);

    json j;
    j["St"] = job.GetSt();
    j["identifier"] = job.GetJobID().str();
    j["DN"] = job.GetDN().str();
    j["SN"] = job.GetSN().str();
    j["LN"] = job.GetLN().str();
    j["bleedBox"] = rectToJson(job.GetRequiredBleedBox());
    j["trimBox"] = rectToJson(job.GetRequiredTrimBox());
    j["typeAreaBox"] = rectToJson(job.GetRequiredTypeAreaBox());
    j["placement"] = {{"horizontalOffset", job.GetTrimHorizontalOffset()},
                      {"verticalOffset", job.GetTrimVerticalOffset()},
                      {"width", job.GetTrimWidth()},
                      {"depth", job.GetTrimDepth()}};
    j["SE"] = job.GetSE();
    j["combineAllGroups"] = job.GetCombineAllGroups();
    j["NP"] = job.GetNP();
    j["CP"] = job.GetCP();
    j["LC"] = job.GetLC();
    j["TF"] = job.GetTF().path().str();
    j["documentFile"] = job.GetDocumentFile().path().str();
    j["PD"] = job.GetPD().path().str();
    j["pluginInfoFile"] = job.GetPluginInfoFile().path().str();
    j["pageSections"] = rangesToJson(job.GetPageSections(), true);
    j["absolutePages"] = rangesToJson(job.GetAbsolutePages(), false);
    json exported = json::array();
    const auto& list = job.GetExportedDestinations();
    for (size_t i = 0; i < list.size(); ++i)
        exported.push_back(
            {{"identifier", list[i].GetID()}, {"pages", rangesToJson(list[i].GetPages(), false)}});
    j["exportedDestinations"] = exported;
    json groups = json::array();
    const auto& gl = job.GetGroups();
    for (size_t g = 0; g < gl.size(); ++g) {
        json destinations = json::array();
        for (size_t d = 0; d < gl[g].size(); ++d) destinations.push_back(destinationToJson(gl[g][d]));
        groups.push_back(
            {{"active", gl[g].IsActive()}, {"Gd", gl[g].GetGd()}, {"destinations", destinations}});
    }
    j["groups"] = groups;
    addRawFields(bytes, j);
    return j;
}

std::string jobFromJson(const nlohmann::ordered_json& json, int flags) {
    const Reader r(json, "",
                   {"St",
                    "identifier",
                    "DN",
                    "SN",
                    "LN",
                    "bleedBox",
                    "trimBox",
                    "typeAreaBox",
                    "placement",
                    "SE",
                    "combineAllGroups",
                    "NP",
                    "CP",
                    "LC",
                    "TF",
                    "documentFile",
                    "PD",
                    "pluginInfoFile",
                    "pageSections",
                    "absolutePages",
                    "exportedDestinations",
                    "groups",
                    "ticket",
                    "problemDescriptions",
                    "forceEPSexport"});
    BJobFile job;
    jobFieldsFromJson(r, job);
    std::ostringstream out;
    {
        UKeyOutStream writer(out, BJobFile::kStreamIdentifier);
        writeMessageField(writer, kDescriptionsKey, r, "problemDescriptions");
        job.JobFileKeyStreamOut(writer, flags);
        writeMessageField(writer, kTicketKey, r, "ticket");
        r.boolean("forceEPSexport", [&](bool force) {
            writer << UKeyOutStream::StartRecord(kEpsRecordKey) << kEpsFlagKey << force;
            writer.Pop();
        });
        writer.Flush();
    }
    return out.str();
}

}  // namespace inspect
