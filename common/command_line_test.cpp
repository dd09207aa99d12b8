#include "common/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

using kobal::ReadStandardOptions;

namespace {

const kobal::ProgramHelp kHelp{"kobaltron", "FILE.kact", "Opens an actor.", {"  --extra    one more"}};

struct Case {
    std::vector<std::string> args;
    std::vector<std::string> left;  // what the program reads afterwards
    bool separated;
};

}  // namespace

TEST(StandardOptions, OnlyALeadingHelpVersionOrSeparatorIsTaken) {
    const Case cases[] = {
        {{}, {}, false},
        {{"bob.kact"}, {"bob.kact"}, false},
        // The text after the program name stays whole wherever an option word appears later.
        {{"my", "--help", "file.kact"}, {"my", "--help", "file.kact"}, false},
        {{"-x.kact"}, {"-x.kact"}, false},
        {{"--helpme.kact"}, {"--helpme.kact"}, false},
        {{"--", "--help"}, {"--help"}, true},
        {{"--", "-odd name.kact"}, {"-odd name.kact"}, true},
        {{"--", "--", "a"}, {"--", "a"}, true},
        {{"--"}, {}, true},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        const auto result = ReadStandardOptions(c.args, kHelp, out);
        EXPECT_FALSE(result.exitStatus) << kobal::JoinArguments(c.args);
        EXPECT_EQ(result.args, c.left) << kobal::JoinArguments(c.args);
        EXPECT_EQ(result.separated, c.separated) << kobal::JoinArguments(c.args);
        EXPECT_EQ(out.str(), "") << kobal::JoinArguments(c.args);
    }
}

TEST(StandardOptions, HelpAndVersionAnswerOnTheirOwnAndEndWithZero) {
    std::ostringstream help;
    const auto h = ReadStandardOptions({"--help", "ignored"}, kHelp, help);
    ASSERT_TRUE(h.exitStatus);
    EXPECT_EQ(*h.exitStatus, 0);
    EXPECT_EQ(help.str().rfind("Usage: kobaltron [OPTION] [--] FILE.kact\nOpens an actor.\n", 0), 0u) << help.str();
    EXPECT_NE(help.str().find("  --extra    one more\n  --help "), std::string::npos) << help.str();
    EXPECT_NE(help.str().find("  --version  output version information and exit\n"), std::string::npos);

    std::ostringstream version;
    const auto v = ReadStandardOptions({"--version"}, kHelp, version);
    ASSERT_TRUE(v.exitStatus);
    EXPECT_EQ(*v.exitStatus, 0);
    EXPECT_EQ(version.str(), std::string("kobaltron (Kobaltron) ") + kobal::ProductVersion() + "\n");
    EXPECT_STRNE(kobal::ProductVersion(), "0");
}

TEST(StandardOptions, AProgramWithoutOperandsOffersNoSeparator) {
    std::ostringstream out;
    kobal::PrintHelp({"install", "", "Installs.", {}}, out);
    EXPECT_EQ(out.str().rfind("Usage: install [OPTION]\n", 0), 0u) << out.str();
    EXPECT_EQ(out.str().find("  -- "), std::string::npos);
}
