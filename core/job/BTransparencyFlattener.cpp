#include "job/BTransparencyFlattener.h"

#include "keystream/UKeyStream.h"

void BTransparencyFlattener::FlattenerKeyStreamOut(UKeyOutStream& out) const {
    out << UKeyOutStream::StartRecord(UKey(180));
    InternalKeyStreamOut(out);
    out.Pop();
}

void BTransparencyFlattener::InternalKeyStreamOut(UKeyOutStream& out) const {
    static constexpr UKey kValueKeys[kValueCount] = {UKey(3202), UKey(3220), UKey(3221), UKey(3222),
                                                     UKey(3223)};
    out << UKey(3201) << fEnabled;
    for (int i = 0; i < kValueCount; ++i) out << kValueKeys[i] << fValues[i];
    for (int i = 0; i < kOptionCount; ++i) out << UKey(3210 + i) << fOptions[i];
}

std::shared_ptr<BTransparencyFlattener> GetPageTransparencyFlattener(
    const BTransparencyFlattenerVector& flatteners, int page) {
    for (auto it = flatteners.rbegin(); it != flatteners.rend(); ++it) {
        if (*it && (*it)->GetPage() == page) return *it;
    }
    return nullptr;
}
