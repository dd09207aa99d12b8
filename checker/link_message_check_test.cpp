#include "checker/link_message_check.h"

#include <gtest/gtest.h>

using namespace kobal::checker;

// What every actor makes of a message, told as the checker tells it; the
// messages that a real actor acts on say nothing.
TEST(LinkMessageCheck, SaysWhyEveryActorIgnoresAMessage) {
    const std::pair<std::string, std::string> cases[] = {
        {"bob%*wave.krnd", ""},
        {"*%*closeactor*", ""},
        {"*%*CloseActor*", ""},
        {"*%*sub\\wave.krnd", ""},
        {"bob*wave.krnd", "link message \"bob*wave.krnd\" has no \"%\": every actor drops it"},
        {"bob%wave.krnd", "link command \"wave.krnd\" does not begin with \"*\": every actor ignores it"},
        {"bob%", "link command \"\" does not begin with \"*\": every actor ignores it"},
        {"bob%*", "link command \"*\" names no list: every actor ignores it"},
        {"bob%*close*", "\"*close*\" is not a link command (only \"*closeactor*\" is): every actor ignores it"},
        {"bob%**", "\"**\" is not a link command (only \"*closeactor*\" is): every actor ignores it"},
        {"bob%*..\\x.krnd",
         "link command \"*..\\x.krnd\" names a list outside the actors' own directories: every actor ignores it"},
        {"bob%*C:\\x.krnd",
         "link command \"*C:\\x.krnd\" names a list outside the actors' own directories: every actor ignores it"},
        {"bob%*\\x.krnd",
         "link command \"*\\x.krnd\" names a list outside the actors' own directories: every actor ignores it"},
    };
    for (const auto& [text, expected] : cases) {
        Report report;
        CheckLinkMessage(text, {"/a/list.krnd", 2}, report);
        const std::vector<std::string> lines = report.Lines();
        if (expected.empty()) {
            EXPECT_TRUE(lines.empty()) << text << ": " << lines.front();
        } else {
            ASSERT_EQ(lines.size(), 1u) << text;
            EXPECT_EQ(lines[0], "/a/list.krnd:2: warning: " + expected) << text;
        }
    }
}
