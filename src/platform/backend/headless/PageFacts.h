#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What the headless web engine knows of a page: read from its HTML by plain text scanning,
// not by running it.
//
//  - title: the first <title> element's text, entities decoded, white space collapsed and
//    trimmed (as document.title gives it);
//  - globals: names the page's inline scripts declare at any depth with `var`, `let`,
//    `const` or `function`, or assign as `window.NAME =`, with the `typeof` the value's
//    first token suggests ("object" for anything that is not plainly a string, number,
//    boolean or function; "undefined" for a bare `var NAME;`);
//  - refresh: a <meta http-equiv="refresh" content="SECONDS; url=URL"> (URL as written).
struct PageFacts {
    std::string title;
    std::map<std::string, std::string, std::less<>> globals; // name -> typeof
    struct Refresh {
        double delay{0};
        std::string url; // empty: reload the page itself
    };
    std::optional<Refresh> refresh;

    static PageFacts scan(std::string_view html);
    // The typeof answer for a name: "undefined" when the page does not declare it.
    std::string typeOf(std::string_view name) const;
};

// Decodes the character references of HTML text (&amp; &lt; &gt; &quot; &apos; &#39;
// &#NNN; &#xHH;) into UTF-8; unknown ones stay as written.
std::string decodeHtmlEntities(std::string_view text);

} // namespace platform
