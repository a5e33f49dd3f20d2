// One comment record attached to a destination. The companion application gives its fields their
// meaning; the plug-in keeps and returns them unchanged, so they are named after their keys.
#pragma once

#include "text/ustring.h"

class UKeyOutStream;
class UKeyInStream;

class USharedDataCmt {
public:
    // Records with this 'UP' are dropped on reading.
    static constexpr const char* kDroppedUP = "RDts";

    // Writes 'UP', 'Uf', 'UT', 'UV' and 'Ro' into the current record.
    void SharedDataCmtKeyStreamOut(UKeyOutStream& out) const;
    // Reads 'Uf', 'UT', 'UV' and 'Ro'; the caller has read 'UP' to decide whether to keep the run.
    void SharedDataCmtKeyStreamIn(UKeyInStream& in);

    friend bool operator==(const USharedDataCmt&, const USharedDataCmt&) = default;

    int fIndex = -1;  // not stored
    ustring fUP;
    ustring fUf;
    ustring fUT;
    ustring fUV;
    ustring fUnstored;  // not stored
    bool fRo = false;
};
