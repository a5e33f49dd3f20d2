// Job files as JSON and back. The shape (every member optional on input, defaults as a new job):
// {
//   "St": 0, "identifier": "UUID", "DN": "", "SN": "", "LN": "",
//   "bleedBox": {"x": 0, "y": 0, "width": 216, "height": 303}, "trimBox": ..., "typeAreaBox": null,
//   "placement": {"horizontalOffset": 3, "verticalOffset": 3, "width": 210, "depth": 297},
//   "SE": false, "combineAllGroups": false, "NP": 1, "CP": 1, "LC": 0,
//   "TF": "", "documentFile": "/jobs/a.pdf", "PD": "", "pluginInfoFile": "",
//   "pageSections": [{"section": "A", "firstPage": 1, "pageCount": 4, "style": 78}],
//   "absolutePages": [{"firstPage": 1, "pageCount": 4}],
//   "exportedDestinations": [{"identifier": 7, "pages": [{"firstPage": 1, "pageCount": 4}]}],
//   "groups": [{"active": true, "Gd": false, "destinations": [{
//       "CC": "", "RC": "", "R1": "", "NC": "", "N1": "", "SC": "", "S1": "", "St": 0, "CN": "",
//       "Co": 0, "NS": "", "width": 210, "height": 297, "exported": false, "MK": "", "Ro": false,
//       "bleed": {"left": 3, "right": 3, "top": 3, "bottom": 3},
//       "typeArea": {"left": 10, "right": 10, "top": 10, "bottom": 10},
//       "identifier": "A17", "comments": [{"UP": "", "Uf": "", "UT": "", "UV": "", "Ro": false}]}]}],
//   "ticket": {message}, "problemDescriptions": {message}, "forceEPSexport": false
// }
// Messages use the shape of message_json.h. "ticket" is the 'SR' field, "problemDescriptions"
// the 'Dp' field and "forceEPSexport" the 'BP' record; each is left out when the stream lacks it.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "jobjson/json_writer.h"

class BJobFile;
class umessage;
class umessage_image;

namespace inspect {

// A job file read whole, to be written as JSON: reading judges all of the input, so writing
// cannot fail on it, and the bytes need not be kept.
class DecodedJob {
public:
    // Reads the job with the given stream flags; key-stream errors propagate.
    DecodedJob(std::string_view bytes, int flags);
    ~DecodedJob();
    DecodedJob(const DecodedJob&) = delete;
    DecodedJob& operator=(const DecodedJob&) = delete;

    void write(JsonSink& out) const;

private:
    std::unique_ptr<BJobFile> job_;
    std::unique_ptr<umessage_image> ticket_;
    std::shared_ptr<const umessage> descriptions_;
    std::optional<bool> forceEps_;
};

// The same as a tree.
nlohmann::ordered_json jobToJson(std::string_view bytes, int flags);

// Writes a job stream as the companion application would: 'Dp', the job with the given flags,
// 'SR', 'BP'. Throws std::runtime_error naming the member that is wrong.
std::string jobFromJson(const nlohmann::ordered_json& json, int flags);

}  // namespace inspect
