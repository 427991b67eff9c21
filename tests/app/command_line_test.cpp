#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

struct SwitchCase {
  const wchar_t* commandLine;
  CommandLineMap expected;
  bool fork;
};

class CommandLineTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(CommandLineTest, SplitsSwitchesAtTheFirstEquals) {
  const SwitchCase& c = GetParam();
  const CommandLineMap switches = ParseCommandLine(c.commandLine);
  EXPECT_EQ(switches, c.expected);
  EXPECT_EQ(IsForkMode(switches), c.fork);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(
        SwitchCase{L"", {}, false}, SwitchCase{L"   ", {}, false},
        SwitchCase{L"OnlyForkInstallDependent=1", {{L"OnlyForkInstallDependent", L"1"}}, true},
        SwitchCase{L"OnlyForkInstallDependent=true", {{L"OnlyForkInstallDependent", L"true"}}, false},
        SwitchCase{L"OnlyForkInstallDependent", {{L"OnlyForkInstallDependent", L""}}, false},
        SwitchCase{L"OnlyForkInstallDependent= 1", {{L"OnlyForkInstallDependent", L""}, {L"1", L""}}, false},
        SwitchCase{L"onlyforkinstalldependent=1", {{L"onlyforkinstalldependent", L"1"}}, false},
        SwitchCase{L"OnlyForkInstallDependent=1 OnlyForkInstallDependent=0", {{L"OnlyForkInstallDependent", L"0"}},
                   false},
        SwitchCase{L"HostVersion=a=b HostHwnd=", {{L"HostVersion", L"a=b"}, {L"HostHwnd", L""}}, false},
        SwitchCase{L"\"HostLang=Portugu\u00eas do Brasil\" =x",
                   {{L"HostLang", L"Portugu\u00eas do Brasil"}, {L"", L"x"}},
                   false},
        // The first argument is a switch, not a program name: quotes and
        // backslashes follow the argument rules.
        SwitchCase{L"\"C:\\a b\\\" c=d", {{L"C:\\a b\" c", L"d"}}, false}));

TEST(HostHwndTest, OnlySignedDecimal32BitNumbersCount) {
  const struct {
    const wchar_t* text;
    long value;
  } cases[] = {{L"", 0},           {L"1234", 1234},    {L"-5", -5},         {L"0x10", 0},
               {L"12ab", 0},       {L"abc", 0},        {L"2147483647", 2147483647},
               {L"2147483648", 0}, {L"-2147483648", -2147483647L - 1}, {L" 7", 7}};
  for (const auto& c : cases) EXPECT_EQ(ParseHostHwnd(c.text), c.value) << c.text;
}

}  // namespace
