#pragma once

#include <rapidjson/document.h>

#include <string>

// RapidJSON's tree written in our reader's canonical form (json/Canonical.h): numbers as
// printf("%.17g") of their double value, strings as UTF-16 units, keys sorted by UTF-16
// units, a later duplicate key in place of an earlier one. Equal text means equal trees.
std::string rapidJsonCanonicalForm(const rapidjson::Value& value);
