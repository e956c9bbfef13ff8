#include "json/Canonical.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "json/Node.h"

namespace json {

namespace {

using detail::Node;

void appendString(const Node& s, std::string& out)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (std::size_t i = 0; i < s.size; ++i) {
        const char16_t u = detail::unitOf(s, i);
        if (u == '"' || u == '\\') {
            out.push_back('\\');
            out.push_back(char(u));
        } else if (u >= 0x20 && u <= 0x7E) {
            out.push_back(char(u));
        } else {
            out += "\\u";
            out.push_back(kHex[(u >> 12) & 15]);
            out.push_back(kHex[(u >> 8) & 15]);
            out.push_back(kHex[(u >> 4) & 15]);
            out.push_back(kHex[u & 15]);
        }
    }
    out.push_back('"');
}

void append(const Node& n, std::string& out)
{
    switch (n.kind) {
    case Kind::None:
        break;
    case Kind::Null:
        out += "null";
        break;
    case Kind::Boolean:
        out += n.boolean ? "true" : "false";
        break;
    case Kind::Number: {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", n.number);
        out += buffer;
        break;
    }
    case Kind::String:
        appendString(n, out);
        break;
    case Kind::Array:
        out.push_back('[');
        for (std::size_t i = 0; i < n.size; ++i) {
            if (i != 0)
                out.push_back(',');
            append(n.children[i], out);
        }
        out.push_back(']');
        break;
    case Kind::Dictionary: {
        std::vector<std::uint32_t> order(n.size);
        for (std::uint32_t i = 0; i < n.size; ++i)
            order[i] = i;
        if (!(n.flags & detail::kSorted)) {
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return detail::compareStrings(n.children[2 * a], n.children[2 * b]) < 0;
            });
        }
        out.push_back('{');
        for (std::size_t i = 0; i < n.size; ++i) {
            if (i != 0)
                out.push_back(',');
            appendString(n.children[2 * order[i]], out);
            out.push_back(':');
            append(n.children[2 * order[i] + 1], out);
        }
        out.push_back('}');
        break;
    }
    }
}

} // namespace

std::string canonicalForm(const Value& value)
{
    std::string out;
    if (value.node() != nullptr)
        append(*value.node(), out);
    return out;
}

} // namespace json
