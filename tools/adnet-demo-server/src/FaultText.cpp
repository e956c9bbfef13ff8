// Text forms of faults and fetch kinds, shared by the command line, the control URLs and
// the request log.
#include "adnetdemo/DemoServer.h"

#include "Text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace adnetdemo {

namespace {

struct FaultNameEntry {
    Fault fault;
    const char* name;
};
constexpr FaultNameEntry faultNames[] = {
    {Fault::none, "none"},
    {Fault::status500, "status500"},
    {Fault::slow, "slow"},
    {Fault::truncated, "truncated"},
    {Fault::oversized, "oversized"},
    {Fault::badJson, "badJson"},
    {Fault::missingKey, "missingKey"},
    {Fault::notAnImage, "notAnImage"},
};

struct FetchNameEntry {
    FetchSet fetches;
    const char* name;
};
constexpr FetchNameEntry fetchNames[] = {
    {fetch::adRequest, "adRequest"},
    {fetch::browserIcon, "browserIcon"},
    {fetch::actionIcon, "actionIcon"},
    {fetch::adIcon, "adIcon"},
    {fetch::bannerImage, "bannerImage"},
    {fetch::pixel, "pixel"},
    {fetch::clickDocument, "clickDocument"},
    {fetch::canvasPage, "canvasPage"},
    {fetch::landingPage, "landingPage"},
    {fetch::other, "other"},
    {fetch::images, "images"},
    {fetch::all, "all"},
};

bool fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return false;
}

template <typename T> bool parseNumber(std::string_view text, T& out)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text = text.substr(at + 1);
    }
}

} // namespace

const char* faultName(Fault fault)
{
    for (const auto& entry : faultNames) {
        if (entry.fault == fault)
            return entry.name;
    }
    return "?";
}

const char* fetchName(FetchSet singleFetch)
{
    for (const auto& entry : fetchNames) {
        if (entry.fetches == singleFetch)
            return entry.name;
    }
    return "?";
}

std::optional<FaultSpec> parseFault(std::string_view text, std::string* error)
{
    FaultSpec spec;
    std::string_view rest = trim(text);
    std::string whole(rest);

    // "*TIMES" ends the text, "@FETCHES" comes before it, "=VALUES" before that.
    if (std::size_t star = rest.rfind('*'); star != std::string_view::npos) {
        if (!parseNumber(rest.substr(star + 1), spec.times) || spec.times < 1) {
            fail(error, "fault \"" + whole + "\": the count after '*' must be a whole number of at least 1");
            return std::nullopt;
        }
        rest = rest.substr(0, star);
    }
    if (std::size_t at = rest.find('@'); at != std::string_view::npos) {
        spec.fetches = 0;
        for (std::string_view name : split(rest.substr(at + 1), ',')) {
            bool found = false;
            for (const auto& entry : fetchNames) {
                if (name == entry.name) {
                    spec.fetches |= entry.fetches;
                    found = true;
                }
            }
            if (!found) {
                std::string known;
                for (const auto& entry : fetchNames)
                    known += std::string(known.empty() ? "" : ", ") + entry.name;
                fail(error,
                     "fault \"" + whole + "\": unknown fetch \"" + std::string(name) + "\" (known: " + known + ")");
                return std::nullopt;
            }
        }
        rest = rest.substr(0, at);
    }
    std::string_view values;
    if (std::size_t eq = rest.find('='); eq != std::string_view::npos) {
        values = rest.substr(eq + 1);
        rest = rest.substr(0, eq);
    }
    bool found = false;
    for (const auto& entry : faultNames) {
        if (rest == entry.name && entry.fault != Fault::none) {
            spec.fault = entry.fault;
            found = true;
        }
    }
    if (!found) {
        fail(error, "fault \"" + whole + "\": unknown kind \"" + std::string(rest) +
                        "\" (known: status500, slow, truncated, oversized, badJson, missingKey, notAnImage)");
        return std::nullopt;
    }
    if (values.empty())
        return spec;

    switch (spec.fault) {
    case Fault::slow: {
        double seconds = 0;
        std::string copy(values);
        char* end = nullptr;
        seconds = std::strtod(copy.c_str(), &end);
        if (end != copy.c_str() + copy.size() || !std::isfinite(seconds) || seconds < 0 || seconds > 3600) {
            fail(error, "fault \"" + whole + "\": slow takes a delay in seconds (0 to 3600)");
            return std::nullopt;
        }
        spec.delay = std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000)));
        return spec;
    }
    case Fault::oversized:
        for (std::string_view value : split(values, ',')) {
            if (value == "chunked") {
                spec.chunked = true;
            } else if (!parseNumber(value, spec.bodyBytes) || spec.bodyBytes > 256u * 1024 * 1024) {
                fail(error, "fault \"" + whole +
                                "\": oversized takes \"chunked\" and/or a body size in bytes (at most 256 MiB)");
                return std::nullopt;
            }
        }
        return spec;
    case Fault::missingKey:
        spec.key = std::string(values);
        return spec;
    default:
        fail(error, "fault \"" + whole + "\": " + faultName(spec.fault) + " takes no value");
        return std::nullopt;
    }
}

std::string describeFault(const FaultSpec& spec)
{
    std::string text = faultName(spec.fault);
    switch (spec.fault) {
    case Fault::slow:
        text += "=" + std::to_string(spec.delay.count() / 1000.0);
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
        break;
    case Fault::oversized:
        if (spec.chunked || spec.bodyBytes) {
            text += "=";
            if (spec.chunked)
                text += spec.bodyBytes ? "chunked," : "chunked";
            if (spec.bodyBytes)
                text += std::to_string(spec.bodyBytes);
        }
        break;
    case Fault::missingKey:
        if (!spec.key.empty())
            text += "=" + spec.key;
        break;
    default:
        break;
    }
    if (spec.fetches != fetch::all) {
        std::string names;
        FetchSet left = spec.fetches;
        if ((left & fetch::images) == fetch::images) {
            names = "images";
            left &= ~FetchSet{fetch::images};
        }
        for (FetchSet bit = 1; bit < fetch::all; bit <<= 1) {
            if (left & bit)
                names += std::string(names.empty() ? "" : ",") + fetchName(bit);
        }
        text += "@" + names;
    }
    if (spec.times >= 0)
        text += "*" + std::to_string(spec.times);
    return text;
}

} // namespace adnetdemo
