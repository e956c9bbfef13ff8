#include "AdNetBrowserController.h"
#include "AdNetLocalization.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

// The browser's texts follow the user's language: LANGUAGE=de with any locale but plain "C"
// (C.UTF-8 is built into glibc, so this works on a bare Debian 12) picks the German
// catalogue built from po/de.po; without it the English text shows.
TEST(BrowserTexts, GermanWhenTheLocaleAsksForItEnglishOtherwise)
{
    ASSERT_TRUE(std::filesystem::exists(adnet::localeDirectory() + "/de/LC_MESSAGES/libadnet.mo"))
        << adnet::localeDirectory();
    auto use = [](const char* language) {
        if (language)
            setenv("LANGUAGE", language, 1);
        else
            unsetenv("LANGUAGE");
        // A change of locale also makes gettext forget the translations it has looked up
        // (setting the same one again would not).
        std::setlocale(LC_ALL, "C");
        return std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
    };
    ASSERT_TRUE(use("de"));
    EXPECT_EQ(adnet::localizedString("Whoops"), "Hoppla");
    EXPECT_EQ(adnet::localizedString("Open in Browser"), "Im Browser öffnen");
    EXPECT_EQ(*adnet::AdNetBrowserController::messageForErrorCode(-1003), "Diese Seite konnte nicht geladen werden.");
    EXPECT_EQ(adnet::localizedString("No such text"), "No such text");

    use(nullptr);
    EXPECT_EQ(adnet::localizedString("Whoops"), "Whoops");
    EXPECT_EQ(*adnet::AdNetBrowserController::messageForErrorCode(-1003), "That page could not be loaded.");
    std::setlocale(LC_ALL, "C");
}
