#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "text/ustring.h"

namespace {

enum SegmentKind : uint16_t { kEmpty = 0, kLiteral, kInteger, kFloating, kPointer, kString };
enum SizeClass : uint16_t { kSizeInt = 0, kSizeChar, kSizeShort, kSizeLong, kSizeLongLong };
enum SegmentFlag : uint32_t { kZeroPad = 1, kLeftJustify = 2, kPlus = 4, kSpace = 8 };

constexpr uint8_t kNoArg = 255;
constexpr uint8_t kNextArg = 254;
// Argument indices are kept in one byte; 254 and 255 are taken by the markers above.
constexpr unsigned kMaxArgIndex = 253;

struct Segment {
    uint16_t sizeClass;
    uint16_t kind;
    uint32_t start;
    uint32_t length;
    int32_t width;
    int32_t precision;
    uint32_t flags;
    uint8_t valueArg;
    uint8_t widthArg;
    uint8_t precisionArg;
};

struct Slot {
    uint16_t kind;  // kEmpty while no segment uses the slot
    uint16_t sizeClass;
    union {
        int64_t i;
        double d;
        const void* p;
    } value;
};
static_assert(sizeof(Slot) == 16);

constexpr unsigned kStackSegmentPercents = 30;
constexpr unsigned kStackSlotPercents = 20;
constexpr size_t kStackSegments = 2 * kStackSegmentPercents + 1;
constexpr size_t kStackSlots = 3 * kStackSlotPercents + 1;
constexpr int kStackConversionBytes = 512;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
T* allocateArray(size_t count, std::unique_ptr<T, FreeDeleter>& owner) {
    T* p = static_cast<T*>(std::malloc(count * sizeof(T)));
    if (p == nullptr) throw std::bad_alloc();
    owner.reset(p);
    return p;
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Reads the conversion directive at fmt[pos] == '%' into seg and returns where scanning
// resumes. Sets badIndex when a conversion's explicit index cannot be stored; a directive that
// turns out to be a literal keeps no index, so its indices do not count.
size_t parseDirective(const char* fmt, size_t pos, Segment& seg, bool& badIndex) {
    seg = Segment{kSizeInt, kEmpty, static_cast<uint32_t>(pos), 1, -1, -1, 0, kNextArg, kNoArg, kNoArg};
    size_t i = pos + 1;
    if (fmt[i] == '\0') return i;  // a lone '%' at the end writes nothing

    auto oneCharLiteral = [&](size_t resume) {
        seg.kind = kLiteral;
        seg.start = static_cast<uint32_t>(pos + 1);
        seg.length = 1;
        return resume;
    };

    bool indexTooLarge = false;
    enum { kNone, kWidthStar, kPrecisionStar } justStar = kNone;
    bool inPrecision = false;
    bool justDot = false;
    for (;; ++i) {
        const auto c = static_cast<unsigned char>(fmt[i]);
        // A format that ends inside a directive keeps the character after the '%', as an
        // unknown conversion would.
        if (c == '\0') return oneCharLiteral(i);
        if (c < 32 || c > 'x') return oneCharLiteral(i + 1);

        if (c >= '1' && c <= '9') {
            long long number = 0;
            while (isDigit(static_cast<unsigned char>(fmt[i]))) {
                number = std::min<long long>(number * 10 + (fmt[i] - '0'), INT32_MAX);
                ++i;
            }
            if (fmt[i] == '$') {
                uint8_t index = static_cast<uint8_t>(kMaxArgIndex);
                if (number - 1 > kMaxArgIndex)
                    indexTooLarge = true;
                else
                    index = static_cast<uint8_t>(number - 1);
                if (justStar == kWidthStar)
                    seg.widthArg = index;
                else if (justStar == kPrecisionStar)
                    seg.precisionArg = index;
                else
                    seg.valueArg = index;
            } else {
                if (inPrecision)
                    seg.precision = static_cast<int32_t>(number);
                else
                    seg.width = static_cast<int32_t>(number);
                --i;  // the loop's increment lands on the character after the number
            }
            justStar = kNone;
            justDot = false;
            continue;
        }

        const bool afterDot = justDot;
        justStar = kNone;
        justDot = false;
        switch (c) {
            case '-':
                seg.flags |= kLeftJustify;
                seg.flags &= ~kZeroPad;
                break;
            case '0':
                if ((seg.flags & kLeftJustify) == 0) seg.flags |= kZeroPad;
                break;
            case '+':
                seg.flags |= kPlus;
                seg.flags &= ~kSpace;
                break;
            case ' ':
                if ((seg.flags & kPlus) == 0) seg.flags |= kSpace;
                break;
            case '#': break;  // the C library applies it
            case '*':
                if (afterDot) {
                    seg.precisionArg = kNextArg;
                    justStar = kPrecisionStar;
                } else {
                    seg.widthArg = kNextArg;
                    justStar = kWidthStar;
                }
                break;
            case '.':
                inPrecision = true;
                justDot = true;
                seg.precision = 0;
                break;
            case 'h': seg.sizeClass = kSizeShort; break;
            case 'l': seg.sizeClass = seg.sizeClass == kSizeLong ? kSizeLongLong : kSizeLong; break;
            case 'q': seg.sizeClass = kSizeLongLong; break;
            case 'd':
            case 'i':
            case 'o':
            case 'u':
            case 'x':
            case 'X':
            case 'D':
            case 'O':
            case 'U': seg.kind = kInteger; break;
            case 'c':
                seg.kind = kInteger;
                seg.sizeClass = kSizeChar;
                break;
            case 'e':
            case 'E':
            case 'f':
            case 'g':
            case 'G':
                seg.kind = kFloating;
                seg.sizeClass = kSizeLongLong;
                break;
            case 'p':
            case 'n': seg.kind = kPointer; break;
            case 's': seg.kind = kString; break;
            default: return oneCharLiteral(i + 1);
        }
        if (seg.kind != kEmpty) {
            seg.length = static_cast<uint32_t>(i + 1 - pos);
            badIndex = badIndex || indexTooLarge;
            return i + 1;
        }
    }
}

// Cuts fmt into segments; returns their count.
size_t parseFormat(const char* fmt, Segment* segments, bool& badIndex) {
    size_t count = 0;
    size_t i = 0;
    while (fmt[i] != '\0') {
        if (fmt[i] != '%') {
            const size_t start = i;
            while (fmt[i] != '\0' && fmt[i] != '%') ++i;
            segments[count++] = Segment{kSizeInt,
                                        kLiteral,
                                        static_cast<uint32_t>(start),
                                        static_cast<uint32_t>(i - start),
                                        -1,
                                        -1,
                                        0,
                                        kNoArg,
                                        kNoArg,
                                        kNoArg};
            continue;
        }
        i = parseDirective(fmt, i, segments[count++], badIndex);
    }
    return count;
}

bool isConversion(const Segment& seg) {
    return seg.kind >= kInteger && seg.kind <= kString;
}

// Gives every sequential reference its slot and records each slot's kind. Returns false when an
// index lies outside the table.
bool assignSlots(Segment* segments, size_t count, Slot* slots, size_t slotCount, size_t& used) {
    unsigned counter = 0;
    used = 0;
    auto take = [&](uint8_t& ref, uint16_t kind, uint16_t sizeClass) {
        if (ref == kNoArg) return true;
        if (ref == kNextArg) {
            if (counter > kMaxArgIndex) return false;
            ref = static_cast<uint8_t>(counter++);
        }
        if (ref >= slotCount) return false;
        slots[ref].kind = kind;
        slots[ref].sizeClass = sizeClass;
        used = std::max<size_t>(used, ref + 1u);
        return true;
    };
    for (size_t s = 0; s < count; ++s) {
        Segment& seg = segments[s];
        if (!isConversion(seg)) continue;
        if (!take(seg.widthArg, kInteger, kSizeInt)) return false;
        if (!take(seg.precisionArg, kInteger, kSizeInt)) return false;
        if (!take(seg.valueArg, seg.kind, seg.sizeClass)) return false;
    }
    return true;
}

void fetchArguments(Slot* slots, size_t used, va_list args) {
    for (size_t i = 0; i < used; ++i) {
        Slot& slot = slots[i];
        switch (slot.kind) {
            case kInteger:
                // char and short arrive promoted to int.
                switch (slot.sizeClass) {
                    case kSizeChar: slot.value.i = static_cast<signed char>(va_arg(args, int)); break;
                    case kSizeShort: slot.value.i = static_cast<short>(va_arg(args, int)); break;
                    case kSizeLong: slot.value.i = va_arg(args, long); break;
                    case kSizeLongLong: slot.value.i = va_arg(args, long long); break;
                    default: slot.value.i = va_arg(args, int); break;
                }
                break;
            case kFloating: slot.value.d = va_arg(args, double); break;
            case kString: slot.value.p = va_arg(args, const char*); break;
            case kPointer: slot.value.p = va_arg(args, void*); break;
            default: break;  // no segment uses it: nothing is read
        }
    }
}

void writeString(ustring& out, const Segment& seg, const Slot* slots) {
    const auto* text = static_cast<const char*>(slots[seg.valueArg].value.p);
    if (text == nullptr) {
        out.append("(null)");
        return;
    }
    long long width = seg.width;
    bool left = (seg.flags & kLeftJustify) != 0;
    if (seg.widthArg != kNoArg) {
        width = static_cast<int>(slots[seg.widthArg].value.i);
        // A negative width from an argument means left-justify, as in printf.
        if (width < 0) {
            left = true;
            width = -width;
        }
    }
    long long precision = seg.precision;
    if (seg.precisionArg != kNoArg) precision = static_cast<int>(slots[seg.precisionArg].value.i);

    const size_t length = precision >= 0 ? strnlen(text, static_cast<size_t>(precision)) : std::strlen(text);
    const size_t pad = width > static_cast<long long>(length) ? static_cast<size_t>(width) - length : 0;
    if (pad != 0 && !left) out.append(pad, ' ');
    out.append(text, length);
    if (pad != 0 && left) out.append(pad, ' ');
}

// The count of bytes written so far, stored through the argument with the conversion's size.
void storeCount(const Segment& seg, const Slot* slots, size_t written) {
    void* target = const_cast<void*>(slots[seg.valueArg].value.p);
    if (target == nullptr) return;
    switch (seg.sizeClass) {
        case kSizeShort: *static_cast<short*>(target) = static_cast<short>(written); break;
        case kSizeLong: *static_cast<long*>(target) = static_cast<long>(written); break;
        case kSizeLongLong: *static_cast<long long*>(target) = static_cast<long long>(written); break;
        default: *static_cast<int*>(target) = static_cast<int>(written); break;
    }
}

template <typename T>
int printOne(char* buffer, size_t capacity, const char* directive, bool hasWidth, int width,
             bool hasPrecision, int precision, T value) {
    if (hasWidth && hasPrecision) return std::snprintf(buffer, capacity, directive, width, precision, value);
    if (hasWidth) return std::snprintf(buffer, capacity, directive, width, value);
    if (hasPrecision) return std::snprintf(buffer, capacity, directive, precision, value);
    return std::snprintf(buffer, capacity, directive, value);
}

int printSlot(char* buffer, size_t capacity, const char* directive, const Segment& seg, const Slot* slots,
              bool hasWidth, int width, bool hasPrecision, int precision) {
    const Slot& value = slots[seg.valueArg];
    if (seg.kind == kFloating)
        return printOne(buffer, capacity, directive, hasWidth, width, hasPrecision, precision, value.value.d);
    if (seg.kind == kPointer)
        return printOne(buffer, capacity, directive, hasWidth, width, hasPrecision, precision, value.value.p);
    switch (seg.sizeClass) {
        case kSizeLong:
            return printOne(buffer, capacity, directive, hasWidth, width, hasPrecision, precision,
                            static_cast<long>(value.value.i));
        case kSizeLongLong:
            return printOne(buffer, capacity, directive, hasWidth, width, hasPrecision, precision,
                            static_cast<long long>(value.value.i));
        default:
            return printOne(buffer, capacity, directive, hasWidth, width, hasPrecision, precision,
                            static_cast<int>(value.value.i));
    }
}

void writeNumeric(ustring& out, const char* fmt, const Segment& seg, const Slot* slots) {
    const char* text = fmt + seg.start;
    if (seg.kind == kPointer && text[seg.length - 1] == 'n') {
        // Handled here rather than by the C library: it stores how many bytes of the result
        // precede the conversion.
        storeCount(seg, slots, out.size());
        return;
    }

    // The directive without its "N$" parts, e.g. %2$-*1$ld becomes %-*ld.
    char directiveStack[64];
    std::unique_ptr<char[]> directiveHeap;
    char* directive = directiveStack;
    if (seg.length >= sizeof directiveStack) {
        directiveHeap.reset(new char[seg.length + 1]);
        directive = directiveHeap.get();
    }
    size_t n = 0;
    for (size_t i = 0; i < seg.length;) {
        if (isDigit(static_cast<unsigned char>(text[i]))) {
            size_t end = i;
            while (end < seg.length && isDigit(static_cast<unsigned char>(text[end]))) ++end;
            if (end < seg.length && text[end] == '$') {
                i = end + 1;
                continue;
            }
            while (i < end) directive[n++] = text[i++];
            continue;
        }
        directive[n++] = text[i++];
    }
    directive[n] = '\0';
    // D, O and U are long conversions elsewhere but unknown to this C library; the argument was
    // fetched by the size class read, so the plain conversion matches it.
    char& conversion = directive[n - 1];
    if (conversion == 'D' || conversion == 'O' || conversion == 'U')
        conversion = static_cast<char>(conversion - 'A' + 'a');

    const bool hasWidth = seg.widthArg != kNoArg;
    const bool hasPrecision = seg.precisionArg != kNoArg;
    const int width = hasWidth ? static_cast<int>(slots[seg.widthArg].value.i) : seg.width;
    const int precision = hasPrecision ? static_cast<int>(slots[seg.precisionArg].value.i) : seg.precision;
    const size_t widthBytes =
        width < 0 ? (width == INT32_MIN ? size_t{1} << 31 : size_t(-width)) : size_t(width);
    const size_t precisionBytes = precision < 0 ? 0 : static_cast<size_t>(precision);

    char stackBuffer[kStackConversionBytes];
    std::unique_ptr<char[]> heapBuffer;
    char* buffer = stackBuffer;
    size_t capacity = sizeof stackBuffer;
    if (widthBytes + precisionBytes >= 257) {
        capacity = std::min<size_t>(widthBytes + precisionBytes, ustring::kMaxLength) + 256;
        heapBuffer.reset(new char[capacity]);
        buffer = heapBuffer.get();
    }
    int written =
        printSlot(buffer, capacity, directive, seg, slots, hasWidth, width, hasPrecision, precision);
    if (written < 0) return;  // the C library refused the conversion
    if (static_cast<size_t>(written) >= capacity) {
        // Some conversions outgrow width + precision + 256 (%.250f of 1e308): measure and redo.
        if (static_cast<size_t>(written) > ustring::kMaxLength) throw std::length_error("ustring");
        capacity = static_cast<size_t>(written) + 1;
        heapBuffer.reset(new char[capacity]);
        buffer = heapBuffer.get();
        written =
            printSlot(buffer, capacity, directive, seg, slots, hasWidth, width, hasPrecision, precision);
    }
    out.append(buffer, static_cast<size_t>(written));
}

}  // namespace

ustring ustring::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    ustring result;
    try {
        result = format(fmt, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return result;
}

ustring ustring::format(const char* fmt, va_list args) {
    size_t percents = 0;
    for (const char* p = fmt; *p != '\0'; ++p) percents += *p == '%';

    Segment segmentStack[kStackSegments];
    std::unique_ptr<Segment, FreeDeleter> segmentHeap;
    Segment* segments =
        percents <= kStackSegmentPercents ? segmentStack : allocateArray(2 * percents + 1, segmentHeap);

    const size_t slotCount = 3 * percents + 1;
    Slot slotStack[kStackSlots];
    std::unique_ptr<Slot, FreeDeleter> slotHeap;
    Slot* slots = percents <= kStackSlotPercents ? slotStack : allocateArray(slotCount, slotHeap);
    for (size_t i = 0; i < slotCount; ++i) slots[i].kind = kEmpty;

    bool badIndex = false;
    const size_t count = parseFormat(fmt, segments, badIndex);
    size_t used = 0;
    if (badIndex || !assignSlots(segments, count, slots, slotCount, used)) return ustring();
    fetchArguments(slots, used, args);

    ustring out;
    for (size_t s = 0; s < count; ++s) {
        const Segment& seg = segments[s];
        switch (seg.kind) {
            case kLiteral: out.append(fmt + seg.start, seg.length); break;
            case kString: writeString(out, seg, slots); break;
            case kInteger:
            case kFloating:
            case kPointer: writeNumeric(out, fmt, seg, slots); break;
            default: break;
        }
    }
    return out;
}

ustring ustring::arg(int value, int fieldWidth, int base, char fillChar) const {
    // Only the last occurrence of each digit counts.
    size_type last[10];
    std::fill(std::begin(last), std::end(last), npos);
    for (size_type i = 0; i + 1 < s_.size();) {
        const auto next = static_cast<unsigned char>(s_[i + 1]);
        if (s_[i] == '%' && isDigit(next)) {
            last[next - '0'] = i;
            i += 2;
        } else {
            ++i;
        }
    }
    const size_type* lowest =
        std::find_if(std::begin(last), std::end(last), [](size_type p) { return p != npos; });
    if (lowest == std::end(last)) return *this;

    // Octal, like hexadecimal, shows a negative value as its 32-bit two's complement (as %o and
    // %x do); any other base is decimal.
    char digits[16];
    const std::to_chars_result written =
        base == 8 || base == 16
            ? std::to_chars(digits, digits + sizeof digits, static_cast<unsigned>(value), base)
            : std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<size_type>(written.ptr - digits);
    const size_type padding = fieldWidth > 0 && static_cast<size_type>(fieldWidth) > length
                                  ? static_cast<size_type>(fieldWidth) - length
                                  : 0;

    ustring result;
    result.reserve(s_.size() - 2 + padding + length);
    result.append(s_.data(), *lowest);
    result.append(padding, fillChar);
    result.append(digits, length);
    result.append(s_.data() + *lowest + 2, s_.size() - *lowest - 2);
    return result;
}
