#include "job_content.h"

#include <sstream>

#include "job/BJobFile.h"
#include "keystream/UKeyStream.h"
#include "ticket/ConstantUStrings.h"

namespace bench {

namespace {

template <class T>
void Add(umessage& m, const ustring& key, const T& value) {
    m.addData_priv<T>(key, umessage_details::type_of<T>::id, value, false);
}

std::shared_ptr<umessage> CheckMessage(int destination, int problem) {
    const CheckFields c = Check(destination, problem);
    auto m = std::make_shared<umessage>();
    switch (c.kind) {
        case CheckKind::boolean:
            Add(*m, "sev", ustring(c.severity));
            Add(*m, "fix", c.fix);
            break;
        case CheckKind::limitsHigh:
        case CheckKind::limitsLow:
            Add(*m, "warn", c.warn);
            Add(*m, "fault", c.fault);
            break;
        case CheckKind::stringParameter:
            Add(*m, "P", ustring(c.profile));
            Add(*m, "sev", ustring(c.severity));
            break;
    }
    return m;
}

void FillJob(BJobFile& job, int destinations) {
    const JobFields& fields = Job();
    job.SetJobID(fields.identifier);
    job.SetSN(fields.name);
    job.SetLN(fields.layout);
    job.SetDocumentFile(UFileSpecCore(fields.documentFile, nullptr));
    job.SetPluginInfoFile(UFileSpecCore(fields.pluginInfoFile, nullptr));
    for (int g = 0; g < GroupCount(destinations); ++g) {
        auto* group = new BGroup(&job);
        job.GetGroups().Insert(group);
        group->SetActive(GroupIsActive(g));
        const int first = g * kDestinationsPerGroup;
        for (int index = first; index < destinations && index < first + kDestinationsPerGroup; ++index) {
            const DestinationFields f = Destination(index);
            BDestination* destination = group->InsertNewDestination();
            destination->SetCountryCode(f.country);
            destination->SetPublisherCode(f.publisher);
            destination->SetPublicationCode(f.publication);
            destination->SetSectionCode(f.section);
            destination->SetCN(f.campaign);
            destination->SetSt(f.status);
            destination->SetCo(f.colour);
            destination->SetPageSize(f.width, f.height);
            destination->SetBleeds(f.bleed[0], f.bleed[1], f.bleed[2], f.bleed[3]);
            destination->SetTypeAreaMargins(f.typeArea[0], f.typeArea[1], f.typeArea[2], f.typeArea[3]);
            destination->SetIdentifier(f.identifier);
            destination->SetExported(f.exported);
        }
    }
}

}  // namespace

std::string JobBytes(int destinations, bool withTicket) {
    BJobFile job;
    FillJob(job, destinations);
    std::ostringstream os;
    UKeyOutStream out(os, BJobFile::kStreamIdentifier);
    auto field = [&](UKey key, const umessage& m) {
        std::ostringstream flat;
        m.flatten(flat);
        const std::string bytes = flat.str();
        out << key;
        out.WriteField(bytes.data(), static_cast<int>(bytes.size()), UKeyStream::eType_Bytes);
    };
    field(UKey('D', 'p'), DescriptionsMessage());
    job.JobFileKeyStreamOut(out, BJobFile::kFlagFull);
    if (withTicket) field(UKey('S', 'R'), *TicketMessage(destinations));
    out.Flush();
    return os.str();
}

const JobFields& Job() {
    static const JobFields fields{"6F1C2A3B-1D2E-4F50-8A6B-7C8D9E0F1A2B", "Spring catalogue", "Layout",
                                  "/jobs/catalogue/spring.pdf", "/jobs/catalogue/spring.info"};
    return fields;
}

DestinationFields Destination(int index) {
    const int d = index % kDestinationsPerGroup;
    return DestinationFields{"NL",
                             "PUB" + std::to_string(d % 17),
                             "Weekly " + std::to_string(d),
                             "Regional",
                             "Spring campaign " + std::to_string(index % 9),
                             std::to_string(100000 + index),
                             d % 3,
                             d % 5,
                             210.0 + d % 3,
                             297.0 - d % 5,
                             {3, 3, 3, 3},
                             {12, 12, 15, 15},
                             d % 4 == 0};
}

bool GroupIsActive(int group) {
    return group == 0;
}

// Every destination sets each check a little differently, so reducing the chains has work to do.
CheckFields Check(int destination, int problem) {
    const CheckKind kind = KindOf(problem);
    CheckFields c{kind, "", 0, 0, 0, ""};
    switch (kind) {
        case CheckKind::boolean:
            c.severity = (destination + problem) % 3 == 0 ? "fault" : "warn";
            c.fix = (destination + problem) % 2;
            break;
        case CheckKind::limitsHigh:
        case CheckKind::limitsLow:
            c.warn = 100.0 + (destination * 7 + problem) % 50;
            c.fault = 50.0 + (destination * 3 + problem) % 40;
            break;
        case CheckKind::stringParameter:
            c.profile = "profile-" + std::to_string(destination % 5);
            c.severity = "parameter";
            break;
    }
    return c;
}

const std::vector<ustring>& ProblemNames() {
    static const std::vector<ustring> names = [] {
        std::vector<ustring> all = allProblemNames();
        all.resize(kChecksPerDestination);
        return all;
    }();
    return names;
}

CheckKind KindOf(int problem) {
    return static_cast<CheckKind>(problem % 4);
}

const char* TypeWord(CheckKind kind) {
    static const char* const words[] = {"boolean", "limitsHigh", "limitsLow", "stringParameter"};
    return words[static_cast<int>(kind)];
}

const std::string& CompanionBytes(bool withTicket) {
    static const std::string plain = JobBytes(kDestinations, false);
    static const std::string ticket = JobBytes(kDestinations, true);
    return withTicket ? ticket : plain;
}

std::shared_ptr<const umessage> TicketMessage(int destinations) {
    auto ticket = std::make_shared<umessage>();
    for (int d = 0; d < destinations; ++d) {
        auto checks = std::make_shared<umessage>();
        for (int i = 0; i < kChecksPerDestination; ++i) Add(*checks, ProblemNames()[i], CheckMessage(d, i));
        auto qcs = std::make_shared<umessage>();
        Add(*qcs, "checks", checks);
        auto destination = std::make_shared<umessage>();
        Add(*destination, "identifier", ustring(std::to_string(d)));
        Add(*destination, "qcs", qcs);
        Add(*ticket, "destinations", destination);
    }
    return ticket;
}

umessage DescriptionsMessage() {
    umessage descriptions;
    for (int i = 0; i < kChecksPerDestination; ++i) {
        auto d = std::make_shared<umessage>();
        Add(*d, "type", ustring(TypeWord(KindOf(i))));
        Add(descriptions, ProblemNames()[i], d);
    }
    return descriptions;
}

}  // namespace bench
