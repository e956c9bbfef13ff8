#pragma once

#include "Support.h"
#include "adnetdemo/DemoServer.h"

#include <gtest/gtest.h>

#include <string>

// A demo server on 127.0.0.1 at a free port, serving the shipped inventory.
class DemoServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        base = server.baseUrl();
    }

    adservertest::Fetched fetchAd(const std::string& query = "s=pub&f=jsonp")
    {
        return adservertest::get(base + "/ad_source.php?" + query);
    }

    adnetdemo::DemoServer server;
    std::string base;
};
