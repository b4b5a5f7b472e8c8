// The command runner, through the recording schtasks.exe beside the test
// program: what the exit code, a slow command and a missing program give.
#include "schtasks_record.h"
#include "tasks/command_runner.h"
#include "win/handles.h"

#include <gtest/gtest.h>

using tasks::CommandResult;
using tasks_testing::SchtasksStandIn;

namespace {

constexpr wchar_t kCommand[] = L"schtasks /Query /TN \"runner probe\"";

TEST(CommandRunner, OnlyExitCodeZeroIsSuccess) {
    struct Case {
        int exitCode;
        CommandResult result;
    };
    // 259 is the system's still-active code: a command that ends with it
    // has still failed.
    const Case cases[] = {{0, CommandResult::kSucceeded}, {1, CommandResult::kFailed},
                          {-1, CommandResult::kFailed}, {259, CommandResult::kFailed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exitCode);
        SchtasksStandIn schtasks;
        schtasks.Answer(c.exitCode);
        EXPECT_EQ(tasks::RunCommand(kCommand, 10), c.result);
        EXPECT_EQ(tasks::RunCommandLine(kCommand, 10), c.exitCode == 0);
        EXPECT_EQ(schtasks.Commands(), (std::vector<std::wstring>{kCommand, kCommand}));
    }
}

TEST(CommandRunner, ACommandStillRunningAfterTheWaitFails) {
    SchtasksStandIn schtasks;
    schtasks.Answer(0);
    schtasks.SleepFor(3000);
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(tasks::RunCommand(kCommand, 1), CommandResult::kUnfinished);
    ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 2900u);
    EXPECT_EQ(schtasks.Commands().size(), 1u);  // it did start
}

TEST(CommandRunner, AProgramThatCannotStartIsFalse) {
    const wchar_t* texts[] = {L"ukey_no_such_program_7f3a /Query", L"", nullptr};
    for (const wchar_t* text : texts) {
        EXPECT_EQ(tasks::RunCommand(text, 1), CommandResult::kNotStarted);
        EXPECT_FALSE(tasks::RunCommandLine(text, 1));
    }
}

TEST(CommandRunner, StartsHiddenAndPassesNoHandles) {
    SchtasksStandIn schtasks;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    win::Handle probe(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(probe);
    schtasks.RecordStartup(probe.get());
    ASSERT_TRUE(tasks::RunCommandLine(kCommand, 10));
    // STARTF_USESHOWWINDOW set, SW_HIDE, the inheritable handle not open there.
    EXPECT_EQ(schtasks.Startup(), L"1 0 0");
}

}  // namespace
