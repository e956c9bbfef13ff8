#include "platform/backend/headless/PageFacts.h"

#include <cctype>
#include <cstdlib>

namespace platform {

namespace {

char lower(char c)
{
    return char(std::tolower(static_cast<unsigned char>(c)));
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Position of `needle` (lower case) in `text` at or after `from`, ignoring case.
std::size_t findNoCase(std::string_view text, std::string_view needle, std::size_t from = 0)
{
    if (needle.empty() || text.size() < needle.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && lower(text[i + k]) == needle[k])
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

void appendUtf8(std::string& out, unsigned long cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string collapseSpace(std::string_view text)
{
    std::string out;
    bool space = false;
    for (char c : text) {
        if (isSpace(c)) {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// The attributes of one tag's text (after its name, up to '>'), names in lower case.
std::map<std::string, std::string> attributes(std::string_view tag)
{
    std::map<std::string, std::string> out;
    std::size_t i = 0;
    while (i < tag.size()) {
        while (i < tag.size() && (isSpace(tag[i]) || tag[i] == '/'))
            ++i;
        std::size_t nameStart = i;
        while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '=' && tag[i] != '/')
            ++i;
        std::string name;
        for (char c : tag.substr(nameStart, i - nameStart))
            name += lower(c);
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        std::string value;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && isSpace(tag[i]))
                ++i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                char quote = tag[i++];
                std::size_t end = tag.find(quote, i);
                if (end == std::string_view::npos)
                    end = tag.size();
                value = tag.substr(i, end - i);
                i = end + 1;
            } else {
                std::size_t start = i;
                while (i < tag.size() && !isSpace(tag[i]))
                    ++i;
                value = tag.substr(start, i - start);
            }
        }
        if (!name.empty())
            out[name] = decodeHtmlEntities(value);
        if (i == nameStart)
            ++i; // never stall on a stray character
    }
    return out;
}

std::optional<PageFacts::Refresh> parseRefresh(std::string_view content)
{
    PageFacts::Refresh refresh;
    char* end = nullptr;
    std::string text(content);
    refresh.delay = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || refresh.delay < 0)
        return std::nullopt;
    std::string_view rest(end);
    while (!rest.empty() && (isSpace(rest.front()) || rest.front() == ';' || rest.front() == ','))
        rest.remove_prefix(1);
    if (findNoCase(rest, "url") == 0) {
        rest.remove_prefix(3);
        while (!rest.empty() && isSpace(rest.front()))
            rest.remove_prefix(1);
        if (!rest.empty() && rest.front() == '=')
            rest.remove_prefix(1);
        while (!rest.empty() && isSpace(rest.front()))
            rest.remove_prefix(1);
        if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
            char quote = rest.front();
            rest.remove_prefix(1);
            rest = rest.substr(0, rest.find(quote));
        }
        while (!rest.empty() && isSpace(rest.back()))
            rest.remove_suffix(1);
        refresh.url = rest;
    }
    return refresh;
}

std::string typeOfValue(std::string_view value)
{
    while (!value.empty() && isSpace(value.front()))
        value.remove_prefix(1);
    if (value.empty())
        return "undefined";
    char c = value.front();
    if (c == '"' || c == '\'' || c == '`')
        return "string";
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.')
        return "number";
    if (value.starts_with("true") || value.starts_with("false"))
        return "boolean";
    if (value.starts_with("function"))
        return "function";
    if (value.starts_with("undefined"))
        return "undefined";
    return "object";
}

void scanScript(std::string_view script, PageFacts& facts)
{
    auto wordAt = [&](std::size_t i, std::string_view word) {
        return script.compare(i, word.size(), word) == 0 && (i == 0 || !isNameChar(script[i - 1])) &&
               i + word.size() < script.size() && isSpace(script[i + word.size()]);
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        std::string_view keyword;
        for (std::string_view k : {"var", "let", "const", "function"})
            if (wordAt(i, k)) {
                keyword = k;
                break;
            }
        bool windowProperty = false;
        std::size_t at = i;
        if (keyword.empty()) {
            if (script.compare(i, 7, "window.") != 0 || (i > 0 && isNameChar(script[i - 1])))
                continue;
            windowProperty = true;
            at = i + 7;
        } else {
            at = i + keyword.size();
            while (at < script.size() && isSpace(script[at]))
                ++at;
        }
        std::size_t nameStart = at;
        while (at < script.size() && isNameChar(script[at]))
            ++at;
        if (at == nameStart)
            continue;
        std::string name(script.substr(nameStart, at - nameStart));
        while (at < script.size() && isSpace(script[at]))
            ++at;
        std::string type;
        if (keyword == "function") {
            type = "function";
        } else if (at < script.size() && script[at] == '=' && (at + 1 >= script.size() || script[at + 1] != '=')) {
            type = typeOfValue(script.substr(at + 1, 32));
        } else if (windowProperty) {
            continue; // read, not assigned
        } else {
            type = "undefined";
        }
        // The first declaration of a name decides, as hoisting would for a function.
        facts.globals.try_emplace(std::move(name), std::move(type));
        i = at > i ? at - 1 : i;
    }
}

} // namespace

std::string decodeHtmlEntities(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        std::size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        std::string_view name = text.substr(i + 1, semi - i - 1);
        bool known = true;
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name == "nbsp")
            appendUtf8(out, 0xA0);
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            std::string digits(name.substr(hex ? 2 : 1));
            char* end = nullptr;
            unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            known = !digits.empty() && *end == '\0' && std::isxdigit(static_cast<unsigned char>(digits[0]));
            if (known)
                appendUtf8(out, cp);
        } else
            known = false;
        if (!known) {
            out += '&';
            continue;
        }
        i = semi;
    }
    return out;
}

PageFacts PageFacts::scan(std::string_view html)
{
    PageFacts facts;
    bool haveTitle = false;
    std::size_t i = 0;
    while ((i = html.find('<', i)) != std::string_view::npos) {
        if (html.compare(i, 4, "<!--") == 0) {
            std::size_t end = html.find("-->", i + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        std::size_t nameEnd = i + 1;
        while (nameEnd < html.size() && std::isalpha(static_cast<unsigned char>(html[nameEnd])))
            ++nameEnd;
        std::string name;
        for (char c : html.substr(i + 1, nameEnd - i - 1))
            name += lower(c);
        std::size_t close = html.find('>', nameEnd);
        if (close == std::string_view::npos)
            break;
        std::string_view tagText = html.substr(nameEnd, close - nameEnd);
        if (name == "title" && !haveTitle) {
            std::size_t end = findNoCase(html, "</title", close + 1);
            if (end == std::string_view::npos)
                end = html.size();
            facts.title = collapseSpace(decodeHtmlEntities(html.substr(close + 1, end - close - 1)));
            haveTitle = true;
            i = end;
            continue;
        }
        if (name == "script") {
            std::size_t end = findNoCase(html, "</script", close + 1);
            if (end == std::string_view::npos)
                end = html.size();
            if (attributes(tagText).count("src") == 0)
                scanScript(html.substr(close + 1, end - close - 1), facts);
            i = end;
            continue;
        }
        if (name == "meta" && !facts.refresh) {
            auto attrs = attributes(tagText);
            auto equiv = attrs.find("http-equiv");
            auto content = attrs.find("content");
            if (equiv != attrs.end() && content != attrs.end() && findNoCase(equiv->second, "refresh") == 0 &&
                equiv->second.size() == 7)
                facts.refresh = parseRefresh(content->second);
        }
        i = close + 1;
    }
    return facts;
}

std::string PageFacts::typeOf(std::string_view name) const
{
    auto it = globals.find(name);
    return it == globals.end() ? "undefined" : it->second;
}

} // namespace platform
