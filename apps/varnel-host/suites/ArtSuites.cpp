// Art, paths, matching art with its memory handles, and artboards.
#include <algorithm>
#include <cmath>

#include "SuiteSupport.h"

namespace vhost {

AIArtHandleList newArtList(const std::vector<AIArtHandle>& art) {
    auto* list = new AIArtHandle*(new AIArtHandle[art.size()]);
    std::copy(art.begin(), art.end(), *list);
    return list;
}

void disposeArtList(AIMdMemoryHandle handle) {
    const auto list = reinterpret_cast<AIArtHandleList>(handle);
    delete[] * list;
    delete list;
}

namespace {

constexpr int32_t kSettableAttributes = kArtSelected | kArtLocked | kArtHidden;

// --- Memory and matching art ---

AIErr MdMemoryDisposeHandle(AIMdMemoryHandle handle) {
    SuiteCall call(kAIMdMemorySuite, "MdMemoryDisposeHandle", handle != nullptr ? "handle" : nullptr);
    return call.run([&] {
        if (host().memoryHandles.erase(handle) == 0)
            throw HostError(kBadParameterErr, "not a memory handle of this host");
        disposeArtList(handle);
    });
}

bool matches(const Art& art, const AIMatchingArtSpec& spec) {
    return (spec.type == kAnyArt || spec.type == art.type) &&
           (spec.whichAttr == 0 || (art.attributes & spec.whichAttr) == (spec.attr & spec.whichAttr));
}

AIErr GetMatchingArt(AIMatchingArtSpec* specs, ai::int16 numSpecs, AIArtHandleList* matchList,
                     ai::int32* numMatches) {
    SuiteCall call(kAIMatchingArtSuite, "GetMatchingArt", numSpecs);
    return call.run([&] {
        require(matchList);
        require(numMatches);
        if (specs == nullptr || numSpecs <= 0) throw HostError(kBadParameterErr, "no match given");
        std::vector<AIArtHandle> found;
        for (const Art& art : host().requireDocument().art) {
            if (std::any_of(specs, specs + numSpecs,
                            [&](const AIMatchingArtSpec& s) { return matches(art, s); }))
                found.push_back(toHandle<AIArtHandle>(art.id));
        }
        *numMatches = ai::int32(found.size());
        *matchList = nullptr;
        if (!found.empty()) {
            *matchList = newArtList(found);
            host().memoryHandles.insert(reinterpret_cast<AIMdMemoryHandle>(*matchList));
        }
        call.output(*numMatches);
    });
}

AIErr DeselectAll() {
    SuiteCall call(kAIMatchingArtSuite, "DeselectAll");
    return call.run([&] {
        for (Art& art : host().requireDocument().art) art.attributes &= ~kArtSelected;
    });
}

// --- Art ---

// Art is kept flat, in paint order: new art goes above all, or just above or below other art.
AIErr NewArt(ai::int16 type, ai::int16 paintOrder, AIArtHandle prep, AIArtHandle* handle) {
    SuiteCall call(kAIArtSuite, "NewArt", type, paintOrder, prep);
    return call.run([&] {
        require(handle);
        Document& doc = host().requireDocument();
        if (std::string(artTypeName(type)) == "unknown")
            throw HostError(kBadParameterErr, "unknown art type");
        auto at = doc.art.end();
        if (paintOrder == kPlaceAbove || paintOrder == kPlaceBelow) {
            at = std::find_if(doc.art.begin(), doc.art.end(),
                              [&](const Art& a) { return a.id == idOf(prep); });
            if (at == doc.art.end()) throw HostError(kBadArtErr, "no such art to place against");
            if (paintOrder == kPlaceAbove) ++at;
        } else if (paintOrder != kPlaceAboveAll) {
            throw HostError(kBadParameterErr, "the host keeps art flat: nothing goes inside other art");
        }
        Art art;
        art.id = newId();
        art.type = type;
        doc.art.insert(at, art);
        doc.modified = true;
        *handle = toHandle<AIArtHandle>(art.id);
        call.output(*handle);
    });
}

// Locked art stays, as the host protects it: unlock it first.
AIErr DisposeArt(AIArtHandle handle) {
    SuiteCall call(kAIArtSuite, "DisposeArt", handle);
    return call.run([&] {
        if (host().requireArt(handle).has(kArtLocked)) throw HostError(kBadArtErr, "the art is locked");
        Document& doc = host().requireDocument();
        std::erase_if(doc.art, [&](const Art& a) { return a.id == idOf(handle); });
        doc.modified = true;
    });
}

AIErr GetArtType(AIArtHandle handle, ai::int16* type) {
    SuiteCall call(kAIArtSuite, "GetArtType", handle);
    return call.run([&] {
        require(type);
        *type = host().requireArt(handle).type;
        call.output(*type);
    });
}

AIErr GetArtDictionary(AIArtHandle handle, AIDictionaryRef* dictionary) {
    SuiteCall call(kAIArtSuite, "GetDictionary", handle);
    return call.run([&] {
        require(dictionary);
        const Art& art = host().requireArt(handle);
        const uint64_t id = newId();
        host().dictRefs[id] = {host().requireDocument().id, art.id};
        *dictionary = toHandle<AIDictionaryRef>(id);
        call.output(*dictionary);
    });
}

AIErr GetArtUserAttr(AIArtHandle handle, ai::int32 whichAttr, ai::int32* attr) {
    SuiteCall call(kAIArtSuite, "GetArtUserAttr", handle, whichAttr);
    return call.run([&] {
        require(attr);
        *attr = host().requireArt(handle).attributes & whichAttr;
        call.output(*attr);
    });
}

AIErr SetArtUserAttr(AIArtHandle handle, ai::int32 whichAttr, ai::int32 attr) {
    SuiteCall call(kAIArtSuite, "SetArtUserAttr", handle, whichAttr, attr);
    return call.run([&] {
        if ((whichAttr & ~kSettableAttributes) != 0)
            throw HostError(kBadParameterErr, "only selected, locked and hidden can be set");
        Art& art = host().requireArt(handle);
        art.attributes = (art.attributes & ~whichAttr) | (attr & whichAttr);
        if ((whichAttr & (kArtLocked | kArtHidden)) != 0) host().requireDocument().modified = true;
    });
}

// --- Paths ---

Art& path(AIArtHandle handle) {
    Art& art = host().requireArt(handle);
    if (art.type != kPathArt) throw HostError(kBadArtErr, "not a path");
    return art;
}

void requireRange(const Art& art, ai::int16 first, ai::int16 count) {
    if (first < 0 || count < 0 || size_t(first) + size_t(count) > art.segments.size())
        throw HostError(kBadParameterErr, "segments " + std::to_string(first) + "+" + std::to_string(count) +
                                              " outside the path's " + std::to_string(art.segments.size()));
}

bool finite(const AIRealPoint& p) {
    return std::isfinite(p.h) && std::isfinite(p.v);
}

AIErr SetPathSegmentCount(AIArtHandle handle, ai::int16 count) {
    SuiteCall call(kAIPathSuite, "SetPathSegmentCount", handle, count);
    return call.run([&] {
        if (count < 0) throw HostError(kBadParameterErr, "a negative count");
        path(handle).segments.resize(size_t(count));
        host().requireDocument().modified = true;
    });
}

AIErr SetPathSegments(AIArtHandle handle, ai::int16 first, ai::int16 count, const AIPathSegment* segments) {
    SuiteCall call(kAIPathSuite, "SetPathSegments", handle, first, count);
    return call.run([&] {
        Art& art = path(handle);
        requireRange(art, first, count);
        if (count > 0 && segments == nullptr) throw HostError(kBadParameterErr, "no segments");
        for (int i = 0; i < count; ++i) {
            if (!finite(segments[i].p) || !finite(segments[i].in) || !finite(segments[i].out))
                throw HostError(kBadParameterErr, "a segment with a coordinate that is not a finite number");
        }
        std::copy(segments, segments + count, art.segments.begin() + first);
        host().requireDocument().modified = true;
    });
}

AIErr SetPathClosed(AIArtHandle handle, AIBoolean closed) {
    SuiteCall call(kAIPathSuite, "SetPathClosed", handle, closed);
    return call.run([&] {
        path(handle).closed = closed != 0;
        host().requireDocument().modified = true;
    });
}

AIErr GetPathSegmentCount(AIArtHandle handle, ai::int16* count) {
    SuiteCall call(kAIPathSuite, "GetPathSegmentCount", handle);
    return call.run([&] {
        require(count);
        *count = ai::int16(path(handle).segments.size());
        call.output(*count);
    });
}

AIErr GetPathSegments(AIArtHandle handle, ai::int16 first, ai::int16 count, AIPathSegment* segments) {
    SuiteCall call(kAIPathSuite, "GetPathSegments", handle, first, count);
    return call.run([&] {
        const Art& art = path(handle);
        requireRange(art, first, count);
        if (count > 0 && segments == nullptr) throw HostError(kBadParameterErr, "no place for the segments");
        std::copy(art.segments.begin() + first, art.segments.begin() + first + count, segments);
    });
}

// --- Artboards ---

Document& listDocument(AIArtboardListRef list) {
    const auto it = host().artboardLists.find(idOf(list));
    if (it == host().artboardLists.end()) throw HostError(kBadParameterErr, "not an artboard list");
    return host().requireDocument(it->second);
}

AIRealRect& properties(AIArtboardPropertiesRef ref) {
    const auto it = host().artboardProperties.find(idOf(ref));
    if (it == host().artboardProperties.end()) throw HostError(kBadParameterErr, "not artboard properties");
    return it->second;
}

void requireIndex(const Document& doc, ai::int32 index) {
    if (index < 0 || size_t(index) >= doc.artboards.size())
        throw HostError(kBadParameterErr, "no artboard " + std::to_string(index));
}

AIErr GetArtboardList(AIArtboardListRef* list) {
    SuiteCall call(kAIArtboardSuite, "GetArtboardList");
    return call.run([&] {
        require(list);
        const uint64_t id = newId();
        host().artboardLists[id] = host().requireDocument().id;
        *list = toHandle<AIArtboardListRef>(id);
        call.output(*list);
    });
}

AIErr ReleaseArtboardList(AIArtboardListRef list) {
    SuiteCall call(kAIArtboardSuite, "ReleaseArtboardList", list);
    return call.run([&] {
        if (host().artboardLists.erase(idOf(list)) == 0)
            throw HostError(kBadParameterErr, "not an artboard list");
    });
}

AIErr GetArtboardProperties(AIArtboardListRef list, ai::int32 index, AIArtboardPropertiesRef* props) {
    SuiteCall call(kAIArtboardSuite, "GetArtboardProperties", list, index);
    return call.run([&] {
        require(props);
        const Document& doc = listDocument(list);
        requireIndex(doc, index);
        const uint64_t id = newId();
        host().artboardProperties[id] = doc.artboards[size_t(index)];
        *props = toHandle<AIArtboardPropertiesRef>(id);
        call.output(*props);
    });
}

AIErr DisposeArtboardProperties(AIArtboardPropertiesRef props) {
    SuiteCall call(kAIArtboardSuite, "DisposeArtboardProperties", props);
    return call.run([&] {
        if (host().artboardProperties.erase(idOf(props)) == 0)
            throw HostError(kBadParameterErr, "not artboard properties");
    });
}

AIErr GetPosition(AIArtboardPropertiesRef props, AIRealRect* rect) {
    SuiteCall call(kAIArtboardSuite, "GetPosition", props);
    return call.run([&] {
        require(rect);
        *rect = properties(props);
        call.output(*rect);
    });
}

AIErr SetPosition(AIArtboardPropertiesRef props, AIRealRect rect) {
    SuiteCall call(kAIArtboardSuite, "SetPosition", props, rect);
    return call.run([&] {
        const bool finite = std::isfinite(rect.left) && std::isfinite(rect.top) &&
                            std::isfinite(rect.right) && std::isfinite(rect.bottom);
        if (!finite || rect.right <= rect.left || rect.top <= rect.bottom)
            throw HostError(kBadParameterErr,
                            "an artboard needs right > left and top > bottom (y grows upwards)");
        properties(props) = rect;
    });
}

AIErr Update(AIArtboardListRef list, ai::int32 index, AIArtboardPropertiesRef props) {
    SuiteCall call(kAIArtboardSuite, "Update", list, index, props);
    return call.run([&] {
        Document& doc = listDocument(list);
        requireIndex(doc, index);
        doc.artboards[size_t(index)] = properties(props);
        doc.modified = true;
    });
}

const AIMdMemorySuite kMdMemory = {MdMemoryDisposeHandle};
const AIMatchingArtSuite kMatchingArt = {GetMatchingArt, DeselectAll};
const AIArtSuite kArt = {NewArt, DisposeArt, GetArtType, GetArtDictionary, GetArtUserAttr, SetArtUserAttr};
const AIPathSuite kPath = {SetPathSegmentCount, SetPathSegments, SetPathClosed, GetPathSegmentCount,
                           GetPathSegments};
const AIArtboardSuite kArtboard = {GetArtboardList,
                                   ReleaseArtboardList,
                                   GetArtboardProperties,
                                   DisposeArtboardProperties,
                                   GetPosition,
                                   SetPosition,
                                   Update};

}  // namespace

void addArtSuites(SuiteTable& table) {
    table.add(kAIMdMemorySuite, kAIMdMemorySuiteVersion, &kMdMemory);
    table.add(kAIMatchingArtSuite, kAIMatchingArtSuiteVersion, &kMatchingArt);
    table.add(kAIArtSuite, kAIArtSuiteVersion, &kArt);
    table.add(kAIPathSuite, kAIPathSuiteVersion, &kPath);
    table.add(kAIArtboardSuite, kAIArtboardSuiteVersion, &kArtboard);
}

}  // namespace vhost
