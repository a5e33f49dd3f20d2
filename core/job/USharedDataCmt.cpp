#include "job/USharedDataCmt.h"

#include "keystream/UKeyStream.h"

void USharedDataCmt::SharedDataCmtKeyStreamOut(UKeyOutStream& out) const {
    out << UKey('U', 'P') << fUP;
    out << UKey('U', 'f') << fUf;
    out << UKey('U', 'T') << fUT;
    out << UKey('U', 'V') << fUV;
    out << UKey('R', 'o') << fRo;
}

void USharedDataCmt::SharedDataCmtKeyStreamIn(UKeyInStream& in) {
    in >> UKey('U', 'f') >> fUf;
    in >> UKey('U', 'T') >> fUT;
    in >> UKey('U', 'V') >> fUV;
    in >> UKey('R', 'o') >> fRo;
}
