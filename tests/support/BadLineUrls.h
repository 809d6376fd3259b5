#pragma once

#include <tuple>
#include <vector>

// Line URLs every program refuses without showing their password ("s3cret"):
// the URL, how it is shown, and why it is refused.
inline std::vector<std::tuple<const char*, const char*, const char*>> BadLineUrls() {
    return {{"postgresql://qv:s3cret%zz@db/line", "postgresql://qv:***@db/line",
             "the password has a %-sign not followed by two hex digits"},
            {"postgresql://qv:s3cret x@db/line", "postgresql://qv:***@db/line",
             "the password has a space"},
            {"postgresql://qv:s3cret@db:99999/line", "postgresql://qv:***@db:99999/line",
             "the port is not a number from 1 to 65535"},
            {"postgresql://qv@db?PassWord=s3cret", "postgresql://qv@db?PassWord=***",
             "names no database"}};
}
