// ai::ArtboardList and ai::ArtboardProperties: owners of the artboard suite's references that
// release them on every path. The plug-in defines the suite pointer `sAIArtboard`.
#pragma once

#include "sdk/AISuites.h"

extern AIArtboardSuite* sAIArtboard;

namespace ai {

class ArtboardProperties {
public:
    ArtboardProperties() = default;
    ArtboardProperties(const ArtboardProperties&) = delete;
    ArtboardProperties& operator=(const ArtboardProperties&) = delete;
    ~ArtboardProperties() {
        if (ref_ != nullptr && sAIArtboard != nullptr) sAIArtboard->DisposeArtboardProperties(ref_);
    }
    AIErr GetPosition(AIRealRect& rect) const { return sAIArtboard->GetPosition(ref_, &rect); }
    AIErr SetPosition(const AIRealRect& rect) { return sAIArtboard->SetPosition(ref_, rect); }
    AIArtboardPropertiesRef* put() { return &ref_; }
    AIArtboardPropertiesRef get() const { return ref_; }

private:
    AIArtboardPropertiesRef ref_ = nullptr;
};

class ArtboardList {
public:
    ArtboardList() = default;
    ArtboardList(const ArtboardList&) = delete;
    ArtboardList& operator=(const ArtboardList&) = delete;
    ~ArtboardList() {
        if (ref_ != nullptr && sAIArtboard != nullptr) sAIArtboard->ReleaseArtboardList(ref_);
    }
    AIErr Acquire() { return sAIArtboard->GetArtboardList(&ref_); }
    AIErr GetArtboardProperties(ai::int32 index, ArtboardProperties& properties) const {
        return sAIArtboard->GetArtboardProperties(ref_, index, properties.put());
    }
    AIErr Update(ai::int32 index, const ArtboardProperties& properties) {
        return sAIArtboard->Update(ref_, index, properties.get());
    }

private:
    AIArtboardListRef ref_ = nullptr;
};

}  // namespace ai
