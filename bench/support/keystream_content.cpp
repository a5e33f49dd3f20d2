#include "keystream_content.h"

#include <random>
#include <sstream>

namespace bench {

std::string JobShapedStream(std::size_t messageBytes) {
    std::mt19937 rng(3);
    std::string message(messageBytes, '\0');
    for (char& c : message) c = static_cast<char>(rng());
    std::ostringstream os;
    UKeyOutStream out(os, 0x4A4F4235);
    out << kMessageKey;
    out.WriteField(message.data(), static_cast<int>(message.size()), UKeyStream::eType_Bytes);
    out << UKeyOutStream::StartRecord(kJobKey);
    for (int run = 0; run < kRuns; ++run) {
        for (int i = 0; i < kFieldsPerRun; ++i) {
            out << FieldKey(i);
            switch (i % 5) {
                case 0: out << static_cast<int>(rng() % 100000); break;
                case 1: out << static_cast<double>(rng()) / 7.0; break;
                case 2: out << (rng() % 2 == 0); break;
                case 3: out << "short"; break;
                default: out << "a destination name longer than eight bytes"; break;
            }
        }
    }
    out.Pop();
    for (const UKey box : {UKey('R', 'B'), UKey('R', 'T'), UKey('R', 'Y')}) {
        out << UKeyOutStream::StartArray(box) << 0.0 << 0.0 << 210.0 << 297.0;
        out.Pop();
    }
    out << UKeyOutStream::StartArray(kDoublesKey);
    for (int i = 0; i < kArrayDoubles; ++i) out << i * 0.25;
    out.Pop();
    out.Flush();
    return os.str();
}

Totals ReadWithKeyStream(std::istream& is) {
    Totals t;
    UKeyInStream in(is);
    std::string bytes;
    in >> kMessageKey;
    in.Read8BitStringWithUnknownEncoding(bytes);
    t.messageBytes = bytes.size();
    in >> UKeyInStream::StartRecord(kJobKey);
    ustring text;
    while (in.Next()) {
        for (int i = 0; i < kFieldsPerRun; ++i) {
            in >> FieldKey(i);
            int v = 0;
            double d = 0;
            bool b = false;
            switch (i % 5) {
                case 0: in >> v, t.ints += static_cast<std::uint32_t>(v); break;
                case 1: in >> d, t.doubles += d; break;
                case 2: in >> b, t.flags += b; break;
                default: in >> text; t.textBytes += text.size();
            }
        }
    }
    in.Pop();
    for (const UKey key : {UKey('R', 'B'), UKey('R', 'T'), UKey('R', 'Y'), kDoublesKey}) {
        in >> UKeyInStream::StartArray(key);
        while (in.Next()) {
            double d = 0;
            in >> d;
            t.doubles += d;
        }
        in.Pop();
    }
    return t;
}

}  // namespace bench
