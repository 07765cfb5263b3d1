#include "JobLog.h"

#include <gtest/gtest.h>
#include <regex>

Lines JobBody(const std::string& out)
{
    Lines log;
    for (size_t start = 0, end; start < out.size(); start = end + 1) {
        end = out.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated last line in:\n" << out;
            return {};
        }
        log.push_back(out.substr(start, end - start));
        EXPECT_FALSE(log.back().empty()) << "empty line in:\n" << out;
    }
    if (log.size() < 3) {
        ADD_FAILURE() << "not the log of a whole job:\n" << out;
        return {};
    }
    EXPECT_TRUE(std::regex_match(log[0], std::regex(R"(Start writing\. \(\d\d:\d\d:\d\d\))"))) << log[0];
    EXPECT_TRUE(std::regex_match(log[log.size() - 2], std::regex(R"(Finish writing\. \(\d\d:\d\d:\d\d\))")));
    EXPECT_TRUE(std::regex_match(log.back(), std::regex(R"(Processing time \d+:\d\d:\d\d \(\d+sec\))"))) << log.back();
    return Lines(log.begin() + 1, log.end() - 2);
}

void ExpectJobBody(const std::string& out, const Lines& body)
{
    Lines log = JobBody(out);
    ASSERT_EQ(log.size(), body.size()) << out;
    for (size_t i = 0; i < body.size(); ++i) {
        const std::string& want = body[i];
        if (!want.empty() && want.back() == '*')
            EXPECT_EQ(log[i].rfind(want.substr(0, want.size() - 1), 0), 0u) << log[i];
        else
            EXPECT_EQ(log[i], want);
    }
}
