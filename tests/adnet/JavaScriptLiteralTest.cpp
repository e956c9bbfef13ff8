// The canvas callback's arguments, read back by a real JavaScript engine (JavaScriptCore,
// the engine behind the desktop's web views): the page must receive exactly the strings
// the ad client means, whatever they hold, and nothing of them may run.
#include "JavaScriptString.h"

#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include <memory>
#include <string>

namespace {

// What encodeURIComponent makes of a UTF-8 string: a byte-exact picture of a JS string.
std::string uriComponent(std::string_view utf8)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            std::string_view("-_.!~*'()").find(char(c)) != std::string_view::npos) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// One context for the whole run, never released: JavaScriptCore is built without RTTI, and
// the sanitizers' type check cannot follow its virtual machine's teardown.
struct Engine {
    Engine() : context(shared())
    {
        run("var injected = false; var got = null; function cb(url, title) { got = [url, title]; }");
    }
    static JSCContext* shared()
    {
        static JSCContext* context = jsc_context_new();
        return context;
    }

    std::string run(const std::string& code)
    {
        JSCValue* value = jsc_context_evaluate(context, code.data(), gssize(code.size()));
        char* text = jsc_value_to_string(value);
        std::string result = text ? text : "";
        g_free(text);
        g_object_unref(value);
        return result;
    }
    JSCContext* context;
};

} // namespace

TEST(CanvasCallbackArguments, ArriveExactlyAndNeverRunWhateverTheyHold)
{
    using adnet::javaScriptStringLiteral;
    const std::string hostile[] = {
        "Mel's Diner",
        "'); injected = true; ('",
        "\\'); injected = true; //",
        "\"); injected = true; (\"",
        "line\nbreak'); injected = true; ('",
        "cr\r\u2028\u2029'); injected = true; ('",
        std::string("nul\0'); injected = true; ('", 27),
        "</script><script>injected = true</script>",
        "tab\t bell\a del\x7f caf\xc3\xa9 \xf0\x9f\x8d\x94 \xe2\x80\xae",
        "",
    };
    Engine engine;
    for (const auto& title : hostile) {
        SCOPED_TRACE(title);
        std::string url = "http://127.0.0.1:8642/landing/mels-diner.html?a=1&b='2'#sdk";
        std::string script = "cb(" + javaScriptStringLiteral(url) + ", " + javaScriptStringLiteral(title) + ")";
        for (unsigned char c : script)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "the script is plain printable ASCII";
        engine.run("got = null;");
        engine.run(script);
        EXPECT_EQ(engine.run("String(injected)"), "false");
        EXPECT_EQ(engine.run("got.length"), "2");
        EXPECT_EQ(engine.run("encodeURIComponent(got[0])"), uriComponent(url));
        EXPECT_EQ(engine.run("encodeURIComponent(got[1])"), uriComponent(title));
    }

    // Bytes that are no UTF-8 cannot break out either; each stands for U+FFFD.
    engine.run("got = null;");
    engine.run("cb('', " + javaScriptStringLiteral("a\xff'); injected = true; ('\xc3") + ")");
    EXPECT_EQ(engine.run("String(injected)"), "false");
    EXPECT_EQ(engine.run("encodeURIComponent(got[1])"),
              uriComponent("a\xef\xbf\xbd'); injected = true; ('\xef\xbf\xbd"));
}
