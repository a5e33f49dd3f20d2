// --trace: one line per message sent to the plug-in and per suite call it makes.
#pragma once

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>

#include "Handles.h"
#include "HostError.h"
#include "pdf/ExportOptions.h"
#include "sdk/AITypes.h"

namespace vhost {

class Trace {
public:
    bool enabled = false;
    std::ostream* out = nullptr;
    int depth = 0;  // messages being handled: suite calls made inside one are indented

    void line(const std::string& text) const {
        if (enabled && out != nullptr)
            *out << "trace: " << std::string(size_t(depth) * 2, ' ') << text << '\n';
    }
};

// The process's trace, owned by the running host.
Trace& trace();

// A result code as people read it: 0, or '!MSG' for a printable four-character code.
std::string resultText(int32_t result);
std::string numberText(double value);

// A four-character key, shown as 'optn'.
struct FourCC {
    uint32_t code;
};

namespace detail {
inline void put(std::ostream& os, const char* text) {
    if (text == nullptr)
        os << "null";
    else
        os << '"' << text << '"';
}
inline void put(std::ostream& os, const std::string& text) {
    put(os, text.c_str());
}
inline void put(std::ostream& os, double value) {
    os << numberText(value);
}
inline void put(std::ostream& os, char c) {
    os << '\'' << c << '\'';
}
inline void put(std::ostream& os, FourCC key) {
    os << '\'' << pdf::KeyText(key.code) << '\'';
}
inline void put(std::ostream& os, const AIRealRect& r) {
    os << "(left " << numberText(r.left) << ", top " << numberText(r.top) << ", right " << numberText(r.right)
       << ", bottom " << numberText(r.bottom) << ')';
}
template <class T>
void put(std::ostream& os, const T& value) {
    if constexpr (std::is_pointer_v<T>) {
        if (value == nullptr)
            os << "null";
        else
            os << '#' << idOf(value);
    } else {
        os << +value;  // numbers; char-sized ones as numbers too
    }
}
}  // namespace detail

// One suite call: runs the body, turns a HostError into its result code, and traces
// "Suite.Function(arguments) -> result [output]".
class SuiteCall {
public:
    template <class... A>
    SuiteCall(const char* suite, const char* function, const A&... args)
        : suite_(suite), function_(function) {
        if (trace().enabled) {
            std::ostringstream text;
            int i = 0;
            ((text << (i++ != 0 ? ", " : ""), detail::put(text, args)), ...);
            arguments_ = text.str();
        }
    }

    template <class Body>
    AIErr run(Body&& body) {
        AIErr result = kNoErr;
        std::string why;
        try {
            body();
        } catch (const HostError& e) {
            result = e.code();
            why = e.what();
        } catch (const std::exception& e) {
            result = kCantHappenErr;
            why = e.what();
        }
        if (trace().enabled) {
            std::string text =
                std::string(suite_) + "." + function_ + "(" + arguments_ + ") -> " + resultText(result);
            if (result == kNoErr && !output_.empty()) text += " [" + output_ + "]";
            if (result != kNoErr && !why.empty()) text += " (" + why + ")";
            trace().line(text);
        }
        return result;
    }

    // What the call gives back, for the trace line.
    template <class T>
    void output(const T& value) {
        if (trace().enabled) {
            std::ostringstream text;
            detail::put(text, value);
            output_ += (output_.empty() ? "" : ", ") + text.str();
        }
    }

private:
    const char* suite_;
    const char* function_;
    std::string arguments_;
    std::string output_;
};

}  // namespace vhost
