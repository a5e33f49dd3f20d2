#include "PageContent.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace vhost::pdf {
namespace {

bool operator==(const AIRealPoint& a, const AIRealPoint& b) {
    return a.h == b.h && a.v == b.v;
}

void Append(std::string& out, const AIRealPoint& point) {
    out += FormatNumber(point.h);
    out += ' ';
    out += FormatNumber(point.v);
    out += ' ';
}

bool Finite(const AIRealPoint& point) {
    return std::isfinite(point.h) && std::isfinite(point.v);
}

// A segment whose handles both sit on their anchors is a straight line.
void AppendSegment(std::string& out, const AIPathSegment& from, const AIPathSegment& to) {
    if (from.out == from.p && to.in == to.p) {
        Append(out, to.p);
        out += "l\n";
        return;
    }
    Append(out, from.out);
    Append(out, to.in);
    Append(out, to.p);
    out += "c\n";
}

void AppendPath(std::string& out, const PdfPath& path) {
    const auto& segments = path.segments;
    Append(out, segments.front().p);
    out += "m\n";
    for (size_t i = 1; i < segments.size(); ++i) AppendSegment(out, segments[i - 1], segments[i]);
    if (path.closed) {
        // closepath draws a straight closing segment by itself; only a curved one needs drawing.
        const AIPathSegment& last = segments.back();
        const AIPathSegment& first = segments.front();
        if (!(last.out == last.p && first.in == first.p)) AppendSegment(out, last, first);
        out += "h\n";
    }
    out += "S\n";
}

}  // namespace

std::string FormatNumber(double value) {
    if (!std::isfinite(value)) throw std::invalid_argument("a PDF number must be finite");
    // Wide enough for the largest double in fixed notation with six decimals.
    char text[330];
    std::string number(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr);
    number.erase(number.find_last_not_of('0') + 1);
    if (number.back() == '.') number.pop_back();
    return number == "-0" ? "0" : number;
}

std::string PageContent(const std::vector<PdfArt>& art, const DrawPlaced& drawPlaced) {
    std::string out = "0 G\n0.5 w\n";
    for (size_t i = 0; i < art.size(); ++i) {
        if (const auto* placed = std::get_if<PdfPlaced>(&art[i])) {
            const AIRealRect& b = placed->bounds;
            if (!(Finite({b.left, b.top}) && Finite({b.right, b.bottom}) && b.right > b.left &&
                  b.top > b.bottom))
                throw std::runtime_error("placed art " + std::to_string(i + 1) +
                                         " has bounds that are empty or not finite");
            out += drawPlaced(*placed);
            continue;
        }
        const PdfPath& path = std::get<PdfPath>(art[i]);
        for (const AIPathSegment& s : path.segments)
            if (!Finite(s.p) || !Finite(s.in) || !Finite(s.out))
                throw std::runtime_error("art path " + std::to_string(i + 1) +
                                         " has a coordinate that is not a finite number");
        if (path.segments.size() >= 2) AppendPath(out, path);
    }
    return out;
}

}  // namespace vhost::pdf
