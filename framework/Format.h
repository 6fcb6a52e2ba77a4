#pragma once
// Safe formatting of message templates. Translated templates come from
// catalogs we do not control, so nothing here is handed to printf: only the
// directives named below are replaced, everything else is copied as it is.

#include <cstdint>
#include <string>
#include <vector>

// Replaces each "%s" in order with the next argument; "%%" becomes "%".
// A "%s" without an argument left, and any other directive, stays as it is.
std::string FormatText(const std::string& templ, const std::vector<std::string>& args);

// Replaces each "%d" with the decimal value; "%%" becomes "%"; any other
// directive stays as it is.
std::string FormatInt(const std::string& templ, std::int64_t value);
