#include "RapidJsonCanonical.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// UTF-8 as RapidJSON keeps it, in UTF-16 units.
std::u16string utf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        char32_t c = byte;
        int extra = 0;
        if (byte >= 0xF0)
            c = byte & 0x07, extra = 3;
        else if (byte >= 0xE0)
            c = byte & 0x0F, extra = 2;
        else if (byte >= 0xC0)
            c = byte & 0x1F, extra = 1;
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += 1 + extra;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

void appendString(const std::u16string& units, std::string& out)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (char16_t u : units) {
        if (u == '"' || u == '\\') {
            out.push_back('\\');
            out.push_back(char(u));
        } else if (u >= 0x20 && u <= 0x7E) {
            out.push_back(char(u));
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out.push_back(kHex[(u >> shift) & 15]);
        }
    }
    out.push_back('"');
}

std::u16string utf16(const rapidjson::Value& string)
{
    return utf16(std::string_view(string.GetString(), string.GetStringLength()));
}

void append(const rapidjson::Value& v, std::string& out)
{
    switch (v.GetType()) {
    case rapidjson::kNullType:
        out += "null";
        break;
    case rapidjson::kFalseType:
        out += "false";
        break;
    case rapidjson::kTrueType:
        out += "true";
        break;
    case rapidjson::kNumberType: {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", v.GetDouble());
        out += buffer;
        break;
    }
    case rapidjson::kStringType:
        appendString(utf16(v), out);
        break;
    case rapidjson::kArrayType: {
        out.push_back('[');
        bool first = true;
        for (const auto& element : v.GetArray()) {
            if (!first)
                out.push_back(',');
            first = false;
            append(element, out);
        }
        out.push_back(']');
        break;
    }
    case rapidjson::kObjectType: {
        struct Member {
            std::u16string key;
            const rapidjson::Value* value;
        };
        std::vector<Member> members;
        for (const auto& m : v.GetObject())
            members.push_back({utf16(m.name), &m.value});
        // Stable, so that of equal keys the last one written is the last kept.
        std::stable_sort(members.begin(), members.end(),
                         [](const Member& a, const Member& b) { return a.key < b.key; });
        out.push_back('{');
        bool first = true;
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (i + 1 < members.size() && members[i + 1].key == members[i].key)
                continue;
            if (!first)
                out.push_back(',');
            first = false;
            appendString(members[i].key, out);
            out.push_back(':');
            append(*members[i].value, out);
        }
        out.push_back('}');
        break;
    }
    }
}

} // namespace

std::string rapidJsonCanonicalForm(const rapidjson::Value& value)
{
    std::string out;
    append(value, out);
    return out;
}
