#include "about_record.h"

#include <cstdint>
#include <stdexcept>

namespace varnel_app {
namespace {

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    uint32_t bigEndian(size_t width, const char* what) {
        need(width, what);
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<uint8_t>(bytes_[at_ + i]);
        at_ += width;
        return value;
    }
    std::string text(const char* what) {
        const uint32_t length = bigEndian(4, what);
        need(length, what);
        std::string value(bytes_.substr(at_, length));
        at_ += length;
        return value;
    }
    size_t left() const { return bytes_.size() - at_; }

private:
    void need(size_t count, const char* what) const {
        if (left() < count)
            throw std::runtime_error(std::string("record ends inside the ") + what + " (" +
                                     std::to_string(bytes_.size()) + " bytes)");
    }

    std::string_view bytes_;
    size_t at_ = 0;
};

}  // namespace

PluginInfo decodePluginInfo(std::string_view record) {
    Reader in(record);
    if (const uint32_t version = in.bigEndian(2, "version"); version != 2)
        throw std::runtime_error("record version " + std::to_string(version) + ", expected 2");
    PluginInfo info;
    info.product = in.text("product name");
    info.company = in.text("company name");
    if (in.left() != 0) throw std::runtime_error(std::to_string(in.left()) + " bytes after the record");
    return info;
}

}  // namespace varnel_app
