// Any bytes: decoding never crashes, a seekable and a one-way stream agree, an image of the bytes
// accepts them exactly when decoding does and holds the same message, and a message that decodes
// is written and read back to the same message. The flattened form carries doubles bit
// for bit and the array flags, so equal bytes mean identical messages.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <string>

#include "message/umessage.h"
#include "message/umessage_image.h"
#include "support/ReadBudget.h"
#include "support/ulogger.h"

namespace {

class OneWayBuf : public std::streambuf {
public:
    OneWayBuf(const char* data, std::size_t size) : data_(data), size_(size) {}

protected:
    int_type underflow() override {
        if (pos_ >= size_) return traits_type::eof();
        char* p = const_cast<char*>(data_) + pos_;
        const std::size_t n = std::min<std::size_t>(7, size_ - pos_);  // odd refills cross fields
        setg(p, p, p + n);
        pos_ += n;
        return traits_type::to_int_type(*p);
    }

private:
    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::string flattened(const umessage& m) {
    std::ostringstream out;
    m.flatten(out);
    return out.str();
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::ostream quiet(nullptr);
    vnu::logger.setStream(&quiet);

    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    umessage m;
    const bool ok = m.unflatten(in);
    check(ok || m.empty());

    OneWayBuf buf(reinterpret_cast<const char*>(data), size);
    std::istream oneWay(&buf);
    umessage viaPipe;
    check(viaPipe.unflatten(oneWay) == ok);
    umessage_image image;
    vnu::ReadBudget budget(size);
    check(image.read(std::string_view(reinterpret_cast<const char*>(data), size), budget) == ok);
    if (!ok) return 0;
    const std::string bytes = flattened(m);
    check(flattened(viaPipe) == bytes);
    check(flattened(image.root().toMessage()) == bytes);

    std::istringstream again(bytes);
    umessage back;
    check(back.unflatten(again) && flattened(back) == bytes);
    return 0;
}
