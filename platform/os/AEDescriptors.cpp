// Descriptors and event parameters: plain data in this process; nothing here touches the bus.
#include <algorithm>
#include <cstring>
#include <new>

#include "os/AEEventData.h"

namespace vnplatform {

const AEParam* FindParam(const AEEventData& event, AEKeyword keyword) {
    for (const AEParam& param : event.params)
        if (param.keyword == keyword) return &param;
    return nullptr;
}

bool ParamFits(const AEEventData& event, AEKeyword keyword, size_t size) {
    const AEParam* old = FindParam(event, keyword);
    const size_t others = event.paramBytes - (old != nullptr ? old->bytes.size() : 0);
    return size <= kAEMaxEventBytes - others;
}

void PutParam(AEEventData& event, AEKeyword keyword, DescType type, std::string bytes) {
    event.paramBytes += bytes.size();
    for (AEParam& param : event.params) {
        if (param.keyword != keyword) continue;
        event.paramBytes -= param.bytes.size();
        param.type = type;
        param.bytes = std::move(bytes);
        return;
    }
    event.params.push_back(AEParam{keyword, type, std::move(bytes)});
}

}  // namespace vnplatform

using vnplatform::FindParam;

namespace {

// The parameters a descriptor owns (writable through the descriptor's pointer, as on a Mac),
// or null for anything that is no event.
AEEventData* EventOf(const AppleEvent* event) {
    return event != nullptr && event->descriptorType == typeAppleEvent ? event->event : nullptr;
}

}  // namespace

OSErr AECreateDesc(DescType type, const void* data, size_t size, AEDesc* result) {
    // Events come from AECreateAppleEvent only, so every 'aevt' descriptor owns its parameters.
    if (result == nullptr || type == typeAppleEvent || (data == nullptr && size != 0)) return paramErr;
    try {
        AEDesc desc;
        desc.descriptorType = type;
        desc.data.assign(static_cast<const char*>(data), size);
        *result = std::move(desc);
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSErr AEDisposeDesc(AEDesc* desc) {
    if (desc == nullptr) return noErr;
    delete desc->event;
    *desc = AEDesc();
    return noErr;
}

OSErr AECreateAppleEvent(AEEventClass eventClass, AEEventID eventId, const AEAddressDesc* target,
                         int16_t /*returnId*/, int32_t /*transactionId*/, AppleEvent* result) {
    if (result == nullptr || target == nullptr) return paramErr;
    // A null address is allowed here as on a Mac; AESend then reports procNotFound.
    if (target->descriptorType != typeNull && target->descriptorType != typeProcessSerialNumber)
        return paramErr;
    try {
        auto* data = new AEEventData;
        data->eventClass = eventClass;
        data->eventId = eventId;
        data->target = AEAddressDesc{target->descriptorType, target->data};
        *result = AEDesc{typeAppleEvent, std::string(), data};
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType type, const void* data, size_t size) {
    AEEventData* target = EventOf(event);
    if (target == nullptr) return errAENotAEDesc;
    if (data == nullptr && size != 0) return paramErr;
    // Past the cap no receiver would take the event, so it cannot grow that far (as when memory runs out).
    if (!vnplatform::ParamFits(*target, keyword, size)) return memFullErr;
    try {
        vnplatform::PutParam(*target, keyword, type, std::string(static_cast<const char*>(data), size));
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSErr AESizeOfParam(const AppleEvent* event, AEKeyword keyword, DescType* type, size_t* size) {
    const AEEventData* data = EventOf(event);
    if (data == nullptr) return errAENotAEDesc;
    const AEParam* param = FindParam(*data, keyword);
    if (param == nullptr) return errAEDescNotFound;
    if (type != nullptr) *type = param->type;
    if (size != nullptr) *size = param->bytes.size();
    return noErr;
}

OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType, DescType* actualType,
                    void* data, size_t maximumSize, size_t* actualSize) {
    const AEEventData* source = EventOf(event);
    if (source == nullptr) return errAENotAEDesc;
    const AEParam* param = FindParam(*source, keyword);
    if (param == nullptr) return errAEDescNotFound;
    // No coercions: the plug-in reads its text with the wildcard, and any other wish must match.
    if (desiredType != typeWildCard && desiredType != param->type) return errAECoercionFail;
    if (data == nullptr && maximumSize != 0) return paramErr;
    if (actualType != nullptr) *actualType = param->type;
    if (actualSize != nullptr) *actualSize = param->bytes.size();
    const size_t copied = std::min(maximumSize, param->bytes.size());
    if (copied != 0) std::memcpy(data, param->bytes.data(), copied);
    return noErr;
}

OSErr AEGetEventClassAndID(const AppleEvent* event, AEEventClass* eventClass, AEEventID* eventId) {
    const AEEventData* data = EventOf(event);
    if (data == nullptr) return errAENotAEDesc;
    if (eventClass != nullptr) *eventClass = data->eventClass;
    if (eventId != nullptr) *eventId = data->eventId;
    return noErr;
}
