// Any bytes: decoding never crashes, a seekable and a one-way stream agree, and a message that
// decodes is written and read back to the same message.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <string>

#include "ulogger.h"
#include "umessage.h"

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

// Equality with doubles compared by their bits, so NaN payloads count as kept; also checks
// the array flag, which the newest format carries.
bool identical(const umessage& a, const umessage& b) {
    using namespace umessage_details;
    if (a.entries().size() != b.entries().size()) return false;
    for (auto i = a.entries().begin(), j = b.entries().begin(); i != a.entries().end(); ++i, ++j) {
        const dyn_array& x = *i->second;
        const dyn_array& y = *j->second;
        if (i->first != j->first || x.type() != y.type() || x.count() != y.count()) return false;
        if (is_array(x) != is_array(y)) return false;
        if (x.type() == umessage_type_double) {
            const auto& u = static_cast<const dyn_array_impl<double>&>(x).values;
            const auto& v = static_cast<const dyn_array_impl<double>&>(y).values;
            for (std::size_t k = 0; k < u.size(); ++k)
                if (std::bit_cast<std::uint64_t>(u[k]) != std::bit_cast<std::uint64_t>(v[k])) return false;
        } else if (x.type() == umessage_type_message) {
            const auto& u = static_cast<const dyn_array_impl<std::shared_ptr<umessage>>&>(x).values;
            const auto& v = static_cast<const dyn_array_impl<std::shared_ptr<umessage>>&>(y).values;
            for (std::size_t k = 0; k < u.size(); ++k)
                if (!identical(*u[k], *v[k])) return false;
        } else if (!x.equal(&y)) {
            return false;
        }
    }
    return true;
}

bool hasNaN(const umessage& m) {
    using namespace umessage_details;
    for (const auto& [name, array] : m.entries()) {
        if (array->type() == umessage_type_double) {
            for (double d : static_cast<const dyn_array_impl<double>&>(*array).values)
                if (d != d) return true;
        } else if (array->type() == umessage_type_message) {
            for (const auto& nested :
                 static_cast<const dyn_array_impl<std::shared_ptr<umessage>>&>(*array).values)
                if (hasNaN(*nested)) return true;
        }
    }
    return false;
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::ostream quiet(nullptr);
    vnu::logger.setStream(&quiet);

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::istringstream in(input);
    umessage m;
    const bool ok = m.unflatten(in);
    check(ok || m.empty());

    OneWayBuf buf(input.data(), input.size());
    std::istream oneWay(&buf);
    umessage viaPipe;
    check(viaPipe.unflatten(oneWay) == ok);
    if (!ok) return 0;
    check(identical(m, viaPipe));

    std::ostringstream out;
    m.flatten(out);
    std::istringstream again(out.str());
    umessage back;
    check(back.unflatten(again));
    check(identical(m, back));
    check((m == back) != hasNaN(m));
    std::ostringstream out2;
    back.flatten(out2);
    check(out.str() == out2.str());
    return 0;
}
