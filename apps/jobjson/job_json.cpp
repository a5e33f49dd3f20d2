#include "jobjson/job_json.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "job/BJobFile.h"
#include "jobjson/message_json.h"
#include "jobjson/view_input.h"
#include "keystream/UKeyStream.h"

namespace inspect {
namespace {

using json = nlohmann::ordered_json;

constexpr UKey kTicketKey('S', 'R');
constexpr UKey kDescriptionsKey('D', 'p');
constexpr UKey kEpsRecordKey('B', 'P');
constexpr UKey kEpsFlagKey('B', 'r');

// ---- job to JSON ----

void writeRect(JsonSink& out, std::string_view name, const vnu::Rect2D& r) {
    out.key(name);
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.width) || !std::isfinite(r.height)) {
        out.null();
        return;
    }
    out.beginObject();
    out.member("x", r.x);
    out.member("y", r.y);
    out.member("width", r.width);
    out.member("height", r.height);
    out.endObject();
}

template <class List>
void writeRanges(JsonSink& out, std::string_view name, const List& list, bool withSection) {
    out.key(name);
    out.beginArray();
    for (size_t i = 0; i < list.size(); ++i) {
        const BPageRange& r = list[i];
        out.beginObject();
        if (withSection) out.member("section", std::string_view(r.GetSectionName().str()));
        out.member("firstPage", r.GetFirstPage());
        out.member("pageCount", r.GetPageCount());
        if (withSection) out.member("style", r.GetStyle());
        out.endObject();
    }
    out.endArray();
}

// Left, right, top, bottom.
void writeSides(JsonSink& out, std::string_view name, double left, double right, double top, double bottom) {
    out.key(name);
    out.beginObject();
    out.member("left", left);
    out.member("right", right);
    out.member("top", top);
    out.member("bottom", bottom);
    out.endObject();
}

void writeText(JsonSink& out, std::string_view name, const ustring& text) {
    out.member(name, std::string_view(text.str()));
}

void writeDestination(JsonSink& out, const BDestination& d) {
    out.beginObject();
    writeText(out, "CC", d.GetCountryCode());
    writeText(out, "RC", d.GetPublisherCode());
    writeText(out, "R1", d.GetPublisherDetail());
    writeText(out, "NC", d.GetPublicationCode());
    writeText(out, "N1", d.GetPublicationDetail());
    writeText(out, "SC", d.GetSectionCode());
    writeText(out, "S1", d.GetSectionDetail());
    out.member("St", d.GetSt());
    writeText(out, "CN", d.GetCN());
    out.member("Co", d.GetCo());
    writeText(out, "NS", d.GetNS());
    out.member("width", d.GetPageWidth());
    out.member("height", d.GetPageHeight());
    out.member("exported", d.IsExported());
    writeText(out, "MK", d.GetMK());
    out.member("Ro", d.GetRo());
    writeSides(out, "bleed", d.GetBleedLeft(), d.GetBleedRight(), d.GetBleedTop(), d.GetBleedBottom());
    writeSides(out, "typeArea", d.GetTypeAreaLeft(), d.GetTypeAreaRight(), d.GetTypeAreaTop(),
               d.GetTypeAreaBottom());
    writeText(out, "identifier", d.GetIdentifier());
    out.key("comments");
    out.beginArray();
    for (const auto& c : d.GetComments()) {
        out.beginObject();
        writeText(out, "UP", c.fUP);
        writeText(out, "Uf", c.fUf);
        writeText(out, "UT", c.fUT);
        writeText(out, "UV", c.fUV);
        out.member("Ro", c.fRo);
        out.endObject();
    }
    out.endArray();
    out.endObject();
}

void writeJobFields(JsonSink& out, const BJobFile& job) {
    out.member("St", job.GetSt());
    writeText(out, "identifier", job.GetJobID());
    writeText(out, "DN", job.GetDN());
    writeText(out, "SN", job.GetSN());
    writeText(out, "LN", job.GetLN());
    writeRect(out, "bleedBox", job.GetRequiredBleedBox());
    writeRect(out, "trimBox", job.GetRequiredTrimBox());
    writeRect(out, "typeAreaBox", job.GetRequiredTypeAreaBox());
    out.key("placement");
    out.beginObject();
    out.member("horizontalOffset", job.GetTrimHorizontalOffset());
    out.member("verticalOffset", job.GetTrimVerticalOffset());
    out.member("width", job.GetTrimWidth());
    out.member("depth", job.GetTrimDepth());
    out.endObject();
    out.member("SE", job.GetSE());
    out.member("combineAllGroups", job.GetCombineAllGroups());
    out.member("NP", job.GetNP());
    out.member("CP", job.GetCP());
    out.member("LC", job.GetLC());
    writeText(out, "TF", job.GetTF().path());
    writeText(out, "documentFile", job.GetDocumentFile().path());
    writeText(out, "PD", job.GetPD().path());
    writeText(out, "pluginInfoFile", job.GetPluginInfoFile().path());
    writeRanges(out, "pageSections", job.GetPageSections(), true);
    writeRanges(out, "absolutePages", job.GetAbsolutePages(), false);
    out.key("exportedDestinations");
    out.beginArray();
    const auto& exported = job.GetExportedDestinations();
    for (size_t i = 0; i < exported.size(); ++i) {
        out.beginObject();
        out.member("identifier", exported[i].GetID());
        writeRanges(out, "pages", exported[i].GetPages(), false);
        out.endObject();
    }
    out.endArray();
    out.key("groups");
    out.beginArray();
    const auto& groups = job.GetGroups();
    for (size_t g = 0; g < groups.size(); ++g) {
        out.beginObject();
        out.member("active", groups[g].IsActive());
        out.member("Gd", groups[g].GetGd());
        out.key("destinations");
        out.beginArray();
        for (size_t d = 0; d < groups[g].size(); ++d) writeDestination(out, groups[g][d]);
        out.endArray();
        out.endObject();
    }
    out.endArray();
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

DecodedJob::DecodedJob(std::string_view bytes, int flags) : job_(std::make_unique<BJobFile>()) {
    ViewInput view(bytes);
    std::istream in(&view);
    job_->JobFileReadFromBuffer(in, flags);

    // Fields the job model does not keep ('Dp' is handed to the process-wide table, 'SR' is
    // decoded into check settings, 'BP' sets a process-wide flag) are read straight from the
    // stream. The ticket is read as an image of its own bytes, a few words per entry beside them.
    ViewInput again(bytes);
    std::istream raw(&again);
    UKeyInStream reader(raw);
    if (reader.Exists(kTicketKey)) {
        ticket_ = std::make_unique<umessage_image>();
        reader >> kTicketKey >> *ticket_;
    }
    if (reader.Exists(kDescriptionsKey)) {
        auto descriptions = std::make_shared<umessage>();
        reader >> kDescriptionsKey >> *descriptions;
        descriptions_ = std::move(descriptions);
    }
    if (reader.Exists(kEpsRecordKey)) {
        bool force = false;
        reader >> UKeyInStream::StartRecord(kEpsRecordKey) >> kEpsFlagKey >> force;
        reader.Pop();
        forceEps_ = force;
    }
}

DecodedJob::~DecodedJob() = default;

void DecodedJob::write(JsonSink& out) const {
    out.beginObject();
    writeJobFields(out, *job_);
    if (ticket_) {
        out.key("ticket");
        writeMessage(ticket_->root(), out);
    }
    if (descriptions_) {
        out.key("problemDescriptions");
        writeMessage(*descriptions_, out);
    }
    if (forceEps_) out.member("forceEPSexport", *forceEps_);
    out.endObject();
}

nlohmann::ordered_json jobToJson(std::string_view bytes, int flags) {
    JsonTreeBuilder tree;
    DecodedJob(bytes, flags).write(tree);
    return tree.take();
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
