// The interface's value types: UTF conversion, errors, the variant with the
// automation runtime's conversion and addition rules, the change list.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "tarnwick/types.h"

namespace tarnwick {

namespace {

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    std::size_t length;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

String fromUtf8(std::string_view text) {
    String out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        // A run of ASCII, what names and settings nearly always are, is
        // widened as it stands, in one go.
        std::size_t run = i;
        while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80) ++run;
        if (run > i) {
            out.append(text.begin() + i, text.begin() + run);
            i = run;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = utf8SequenceAt(text, i, cp);
        if (length == 0) {
            // Keep the byte: a lone low surrogate stands for it.
            out += static_cast<char16_t>(0xDC00 | static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (cp >> 10));
            out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += length;
    }
    return out;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c & 0xFF);  // a byte kept by fromUtf8
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

// ---------------------------------------------------------------- Error

String Error::standardDescription(std::int32_t number) {
    switch (number) {
        case 5:
            return u"Invalid procedure call or argument";
        case 6:
            return u"Overflow";
        case 7:
            return u"Out of memory";
        case 9:
            return u"Subscript out of range";
        case 13:
            return u"Type mismatch";
        case 52:
            return u"Bad file name or number";
        case 53:
            return u"File not found";
        case 57:
            return u"Device I/O error";
        case 61:
            return u"Disk full";
        case 62:
            return u"Input past end of file";
        case 67:
            return u"Too many files";
        case 68:
            return u"Device unavailable";
        case 70:
            return u"Permission denied";
        case 71:
            return u"Disk not ready";
        case 75:
            return u"Path/File access error";
        case 76:
            return u"Path not found";
        case 94:
            return u"Invalid use of Null";
        default:
            return u"Application-defined or object-defined error";
    }
}

Error::Error(std::int32_t number, String description)
    : std::runtime_error(toUtf8(description)),
      number_(number),
      description_(std::move(description)) {}

Error::Error(std::int32_t number) : Error(number, standardDescription(number)) {}

// ---------------------------------------------------------------- Variant

Variant Variant::null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
}
Variant::Variant(Boolean value) : value_(value) {}
Variant::Variant(std::int16_t value) : value_(value) {}
Variant::Variant(std::int32_t value) : value_(value) {}
Variant::Variant(double value) : value_(value) {}
Variant::Variant(String value) : value_(std::move(value)) {}
Variant::Variant(const char16_t* value) : value_(String(value)) {}

Variant::Kind Variant::kind() const {
    return static_cast<Kind>(value_.index());
}

namespace {
// Round half to even, as the runtime does when a Double becomes an integer.
double roundHalfEven(double d) {
    return std::nearbyint(d);
}

std::int32_t doubleToLong(double d) {
    const double r = roundHalfEven(d);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Error(errors::Overflow);
    return static_cast<std::int32_t>(r);
}

// Text to number: optional blanks, sign, digits with one decimal point, an
// exponent; or &H / &O followed by hex or octal digits. Anything else is a
// type mismatch.
double parseNumber(const String& text) {
    std::size_t b = 0, e = text.size();
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    if (b == e) throw Error(errors::TypeMismatch);
    if (text[b] == u'&' && e - b >= 2) {
        const char16_t radixChar = text[b + 1];
        const int radix = (radixChar == u'h' || radixChar == u'H')   ? 16
                          : (radixChar == u'o' || radixChar == u'O') ? 8
                                                                     : 0;
        if (radix == 0 || e - b == 2) throw Error(errors::TypeMismatch);
        std::uint64_t value = 0;
        for (std::size_t i = b + 2; i < e; ++i) {
            const char16_t c = text[i];
            int digit;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (radix == 16 && c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (radix == 16 && c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            else
                throw Error(errors::TypeMismatch);
            if (digit >= radix) throw Error(errors::TypeMismatch);
            value = value * radix + digit;
            if (value > 0xFFFFFFFFu) throw Error(errors::Overflow);
        }
        // &H literals are 32-bit two's complement: &HFFFFFFFF is -1.
        return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    }
    std::string ascii;
    std::size_t i = b;
    if (text[i] == u'+' || text[i] == u'-') ascii += static_cast<char>(text[i++]);
    bool digits = false, point = false;
    for (; i < e; ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits = true;
            ascii += static_cast<char>(c);
        } else if (c == u'.' && !point) {
            point = true;
            ascii += '.';
        } else {
            break;
        }
    }
    if (!digits) throw Error(errors::TypeMismatch);
    if (i < e && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        ascii += 'e';
        ++i;
        if (i < e && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
        bool expDigits = false;
        for (; i < e && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            expDigits = true;
            ascii += static_cast<char>(text[i]);
        }
        if (!expDigits) throw Error(errors::TypeMismatch);
    }
    if (i != e) throw Error(errors::TypeMismatch);
    const double value = std::strtod(ascii.c_str(), nullptr);
    if (std::isinf(value)) throw Error(errors::Overflow);
    return value;
}

String doubleToText(double d) {
    if (d == 0) return u"0";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15G", d);
    return fromUtf8(buffer);
}

String integerToText(std::int64_t n) {
    return fromUtf8(std::to_string(n));
}

}  // namespace

Boolean Variant::asBoolean() const {
    if (auto p = std::get_if<Boolean>(&value_)) return *p;
    throw Error(errors::TypeMismatch);
}
std::int16_t Variant::asInteger() const {
    if (auto p = std::get_if<std::int16_t>(&value_)) return *p;
    throw Error(errors::TypeMismatch);
}
std::int32_t Variant::asLong() const {
    if (auto p = std::get_if<std::int32_t>(&value_)) return *p;
    throw Error(errors::TypeMismatch);
}
double Variant::asDouble() const {
    if (auto p = std::get_if<double>(&value_)) return *p;
    throw Error(errors::TypeMismatch);
}
const String& Variant::asString() const {
    if (auto p = std::get_if<String>(&value_)) return *p;
    throw Error(errors::TypeMismatch);
}

String Variant::toString() const {
    switch (kind()) {
        case Kind::Empty:
            return String();
        case Kind::Null:
            throw Error(errors::InvalidUseOfNull);
        case Kind::Boolean:
            return asBoolean() ? u"True" : u"False";
        case Kind::Integer:
            return integerToText(asInteger());
        case Kind::Long:
            return integerToText(asLong());
        case Kind::Double:
            return doubleToText(asDouble());
        case Kind::String:
            return asString();
    }
    return String();
}

double Variant::toDouble() const {
    switch (kind()) {
        case Kind::Empty:
            return 0;
        case Kind::Null:
            throw Error(errors::InvalidUseOfNull);
        case Kind::Boolean:
            return asBoolean().raw();
        case Kind::Integer:
            return asInteger();
        case Kind::Long:
            return asLong();
        case Kind::Double:
            return asDouble();
        case Kind::String:
            return parseNumber(asString());
    }
    return 0;
}

std::int32_t Variant::toLong() const {
    switch (kind()) {
        case Kind::Long:
            return asLong();
        case Kind::Integer:
            return asInteger();
        default:
            return doubleToLong(toDouble());
    }
}

std::int16_t Variant::toInteger() const {
    const std::int32_t n = toLong();
    if (n < -32768 || n > 32767) throw Error(errors::Overflow);
    return static_cast<std::int16_t>(n);
}

Variant operator+(const Variant& a, const Variant& b) {
    using Kind = Variant::Kind;
    if (a.isNull() || b.isNull()) return Variant::null();
    const bool aText = a.kind() == Kind::String, bText = b.kind() == Kind::String;
    if (aText && (bText || b.isEmpty())) return Variant(a.asString() + b.toString());
    if (bText && a.isEmpty()) return b;
    if (aText || bText) return Variant(a.toDouble() + b.toDouble());

    // Numeric: Empty and Boolean count as Integer; widen as needed.
    const auto rank = [](const Variant& v) {
        return v.kind() == Kind::Double ? 2 : v.kind() == Kind::Long ? 1 : 0;
    };
    const int r = std::max(rank(a), rank(b));
    if (r == 2) return Variant(a.toDouble() + b.toDouble());
    const std::int64_t sum = std::int64_t(a.toLong()) + std::int64_t(b.toLong());
    if (r == 0 && sum >= -32768 && sum <= 32767) return Variant(static_cast<std::int16_t>(sum));
    if (sum >= std::numeric_limits<std::int32_t>::min() &&
        sum <= std::numeric_limits<std::int32_t>::max())
        return Variant(static_cast<std::int32_t>(sum));
    return Variant(static_cast<double>(sum));
}

bool operator==(const Variant& a, const Variant& b) {
    return a.value_ == b.value_;
}

// ---------------------------------------------------------------- ConfigFileArray

const std::vector<ConfigFileType>& ConfigFileArray::items() const {
    static const std::vector<ConfigFileType> none;
    return items_ ? *items_ : none;
}

std::vector<ConfigFileType>& ConfigFileArray::items() {
    if (!items_) items_.emplace();
    return *items_;
}

}  // namespace tarnwick
