// Bytes read in place by readers that take a stream: a copy of a large job would double it.
#pragma once

#include <streambuf>
#include <string_view>

namespace inspect {

// The key-stream reader seeks, so the view does too. The bytes must outlive it.
class ViewInput : public std::streambuf {
public:
    explicit ViewInput(std::string_view bytes) {
        char* const begin = const_cast<char*>(bytes.data());  // only ever read
        setg(begin, begin, begin + bytes.size());
    }

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
        const off_type base =
            dir == std::ios_base::beg ? 0 : (dir == std::ios_base::cur ? gptr() : egptr()) - eback();
        return seekpos(pos_type(base + off), which);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
        const off_type at = pos;
        if ((which & std::ios_base::in) == 0 || at < 0 || at > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + at, egptr());
        return pos;
    }
};

}  // namespace inspect
