#pragma once
// Wall-clock values and the date texts of chart editions.
#include <string_view>

// Today as whole days since 1 January 1970 (UTC).
int GetDayNumber();
// The wall clock as seconds since 1 January 1601 (UTC), with the fraction.
double GetSystemTimeSeconds();

// A date text as year x 10000 + month x 100 + day. A text longer than 5 characters with '/' at
// index 1 or 2 is read as month/day/year ("12/25/2009" gives 20091225; a missing field counts
// as 0); any other text gives the number formed by all its digits in order ("2009-12-25" gives
// 20091225), 0 when that does not fit an int.
int ParseDateYmd(std::string_view text);
