#include <gtest/gtest.h>

#include <sstream>

#include "ulogger.h"

TEST(LoggerSmoke, WritesOneLine) {
    std::ostringstream out;
    vnu::LogEvent ev(vnu::loglevel::error, "/src/reader", 12, "load");
    ev << "x";
    ev.dump(out);
    EXPECT_NE(out.str().find("[ERROR]"), std::string::npos);
}
