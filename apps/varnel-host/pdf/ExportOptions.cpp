#include "ExportOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "sdk/AITypes.h"

namespace vhost::pdf {
namespace {

constexpr uint32_t Key(const char (&code)[5]) {
    return uint32_t(AI_FOUR_CHAR(code));
}

constexpr uint32_t kName = Key("name");
constexpr uint32_t kCompatibility = Key("comp");
constexpr uint32_t kFormat = Key("frmt");
constexpr uint32_t kBleedTop = Key("btop");
constexpr uint32_t kBleedBottom = Key("bbtm");
constexpr uint32_t kBleedLeft = Key("blft");
constexpr uint32_t kBleedRight = Key("brht");

// Setting a key again replaces it, so when a block holds a key twice the later value counts.
const ActionParam* Find(const ActionParams& params, uint32_t key) {
    const auto it =
        std::find_if(params.rbegin(), params.rend(), [key](const ActionParam& p) { return p.key == key; });
    return it == params.rend() ? nullptr : &*it;
}

// Codes 19 to 23 are the host's PDF 1.3 to 1.7. Any other code, or a 'comp' that is neither an
// enumerated nor an integer value, gets the host's default, PDF 1.3, as the plug-in itself maps
// unknown versions, and the key is reported as not acted on. A block without 'comp' simply gets
// the default.
std::string Version(const ActionParam* comp, bool& actedOn) {
    actedOn = comp != nullptr &&
              (comp->type == ActionParam::Type::Enumerated || comp->type == ActionParam::Type::Integer) &&
              comp->integer >= 19 && comp->integer <= 23;
    return actedOn ? "1." + std::to_string(comp->integer - 16) : "1.3";
}

// A bleed may be given as a real or as an integer ('brht' is an integer in the plug-in's block).
double Bleed(const ActionParams& params, uint32_t key, const std::string& path) {
    const ActionParam* p = Find(params, key);
    if (p == nullptr) return 0;
    const bool numeric = p->type == ActionParam::Type::Real || p->type == ActionParam::Type::Integer;
    const double value = p->type == ActionParam::Type::Real ? p->real : double(p->integer);
    if (!numeric || !std::isfinite(value) || value < 0) {
        std::ostringstream text;
        text << path << ": the bleed '" << KeyText(key) << "' must be a number of points, 0 or more, not ";
        if (numeric)
            text << value;
        else
            text << "a value of another type";
        throw std::runtime_error(text.str());
    }
    return value;
}

std::string PathOf(const ActionParams& params) {
    const ActionParam* name = Find(params, kName);
    if (name == nullptr || name->type != ActionParam::Type::String || name->text.empty())
        throw std::runtime_error("PDF export: the parameter block has no file path ('name' as a string)");
    const std::string& path = name->text;
    if (path.front() != '/')
        throw std::runtime_error(path + ": not an absolute path, the PDF was not written");
    if (path.find('\0') != std::string::npos)
        throw std::runtime_error("PDF export: the file path holds a NUL byte, the PDF was not written");
    return path;
}

}  // namespace

std::string KeyText(uint32_t key) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((key >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[11];
            std::snprintf(hex, sizeof hex, "0x%08X", unsigned(key));
            return hex;
        }
        text += c;
    }
    return text;
}

ExportOptions ReadExportOptions(const ActionParams& params) {
    ExportOptions options;
    options.path = PathOf(params);

    // This host writes nothing but PDF; a block asking for another format is not ours to play.
    if (const ActionParam* format = Find(params, kFormat);
        format != nullptr && (format->type != ActionParam::Type::String || format->text != "PDF File Format"))
        throw std::runtime_error(options.path + ": the format ('frmt') is not \"PDF File Format\"");

    bool compActedOn = false;
    options.version = Version(Find(params, kCompatibility), compActedOn);
    options.bleeds = {Bleed(params, kBleedTop, options.path), Bleed(params, kBleedBottom, options.path),
                      Bleed(params, kBleedLeft, options.path), Bleed(params, kBleedRight, options.path)};

    const uint32_t actedOn[] = {kName, kFormat, kBleedTop, kBleedBottom, kBleedLeft, kBleedRight};
    for (const ActionParam& p : params) {
        const bool used = std::find(std::begin(actedOn), std::end(actedOn), p.key) != std::end(actedOn) ||
                          (p.key == kCompatibility && compActedOn);
        const std::string key = KeyText(p.key);
        if (!used && std::find(options.ignored.begin(), options.ignored.end(), key) == options.ignored.end())
            options.ignored.push_back(key);
    }
    return options;
}

}  // namespace vhost::pdf
