// The program under hostile conditions: every allocation of a run made to fail in turn, and
// a reader that goes away. Whatever happens, a run ends in exactly one of the machine's ID,
// a reported failure ending in "Failed to generate comp_id", or the catch-all line; then the
// key prompt and exit code 0; a call of the quiet entry ends in the ID or std::bad_alloc.
// Never a crash, never a different ID.
#include <support/expected_trace.h>
#include <support/fake_tree.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1; // as waitpid reports it
    std::string out;
    std::string err;
};

std::string Describe(int status)
{
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status));
    return "exit code " + std::to_string(WEXITSTATUS(status));
}

std::string ReadToEnd(int descriptor)
{
    std::string text;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(descriptor, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR))
        text.append(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
    ::close(descriptor);
    return text;
}

// Runs a program with standard input from /dev/null and collects both output streams (the
// programs here write standard error only after the last of standard output); with
// closedOutput its standard output is a pipe whose reader has already gone.
Outcome RunProgram(const std::vector<std::string>& arguments, bool closedOutput = false)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // The child starts with SIGPIPE as a shell would give it, whatever the test runner set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    // A cross build's programs run under the emulator that runs the tests themselves.
    std::vector<std::string> command = arguments;
    if (!std::string_view(PROGRAM_EMULATOR).empty())
        command.insert(command.begin(), PROGRAM_EMULATOR);
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (closedOutput)
        ::close(out[0]);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0)
        throw std::runtime_error("posix_spawn " + command[0]);

    Outcome outcome;
    if (!closedOutput)
        outcome.out = ReadToEnd(out[0]);
    outcome.err = ReadToEnd(err[0]);
    ::waitpid(child, &outcome.status, 0);
    return outcome;
}

long Allocations(const std::string& report)
{
    const std::size_t at = report.find("allocations ");
    return at == std::string::npos ? -1 : std::strtol(report.c_str() + at + 12, nullptr, 10);
}

// Pointers differ from run to run.
std::string WithoutPointers(const std::string& transcript)
{
    static const std::regex pointer("(pLoc|pSvc|pEnumerator|pclsObj) = [0-9A-F]{16}");
    return std::regex_replace(transcript, pointer, "$1 = P");
}

namespace failure_messages = Lib_ComputerID::failure_messages;
using test_support::ExpectedTrace;

// Stands for any failure status in the patterns below.
constexpr std::uint32_t kAnyFailure = 0x8abcdef0;

// The model's text as a pattern: pointers as WithoutPointers writes them, kAnyFailure as any
// failure status, the final newline dropped.
std::string Pattern(const ExpectedTrace& trace)
{
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern = std::regex_replace(WithoutPointers(trace.Text()), special, "\\$&");
    pattern.pop_back();
    const std::string status = test_support::Hex(kAnyFailure);
    for (std::size_t at = pattern.find(status); at != std::string::npos;
         at = pattern.find(status, at))
        pattern.replace(at, status.size(), "8[0-9a-f]{7}");
    return pattern;
}

// The last line of a step, whose earlier lines a failing run shares with the normal one.
std::string LastLine(const std::string& pattern)
{
    return pattern.substr(pattern.rfind('\n') + 1);
}

std::regex AnyOf(const std::vector<std::string>& patterns)
{
    std::string alternatives;
    for (const std::string& pattern : patterns)
        alternatives += (alternatives.empty() ? "(" : "|(") + pattern + ")";
    return std::regex(alternatives);
}

const std::string kPrompt = ExpectedTrace().ConsolePrompt().Text();
const std::string kCatchAll = ExpectedTrace().ConsoleCatchAll().Text();
// The line a failing platform step writes in place of the one a normal run writes.
const std::regex kFailedStep = AnyOf({
    Pattern(ExpectedTrace().LocatorCreated(kAnyFailure)),
    Pattern(ExpectedTrace().ConnectDone(kAnyFailure, nullptr)),
    Pattern(ExpectedTrace().QueryDone(kAnyFailure, nullptr)),
    LastLine(Pattern(ExpectedTrace().Next(kAnyFailure, nullptr, 0))),
    LastLine(Pattern(ExpectedTrace().Get("", kAnyFailure, 0))),
});

// A failure the library reports, and how the console ends after it.
std::string Reported(ExpectedTrace failure)
{
    return Pattern(failure.ConsoleDone().ConsoleNoId()) + "\n";
}
const std::regex kReportedFailure = AnyOf({
    Reported(ExpectedTrace().ComFailure(failure_messages::kLocator, kAnyFailure)),
    Reported(ExpectedTrace().ComFailure(failure_messages::kConnect, kAnyFailure)),
    Reported(ExpectedTrace().ComFailure(failure_messages::kProxyBlanket, kAnyFailure)),
    Reported(ExpectedTrace().ComFailure(failure_messages::kQuery, kAnyFailure)),
    Reported(ExpectedTrace().Error(failure_messages::kUnknown)),
});

// Empty when the run is the normal run, or the normal run up to some line, then at most
// the line of the step that failed, then a reported failure or the catch-all, then the
// prompt. Otherwise what is wrong.
std::string Violation(const std::string& normal, const std::string& run)
{
    if (run == normal)
        return {};
    if (!run.ends_with(kPrompt))
        return "does not end with the key prompt";
    const std::string body = run.substr(0, run.size() - kPrompt.size());
    std::size_t common = 0;
    while (true) {
        const std::size_t end = body.find('\n', common);
        if (end == std::string::npos ||
            normal.compare(common, end + 1 - common, body, common, end + 1 - common) != 0)
            break;
        common = end + 1;
    }
    std::string rest = body.substr(common);
    if (const std::size_t end = rest.find('\n');
        end != std::string::npos && std::regex_match(rest.substr(0, end), kFailedStep))
        rest.erase(0, end + 1);
    if (rest == kCatchAll || std::regex_match(rest, kReportedFailure))
        return {};
    return "after the first " + std::to_string(common) + " bytes of a normal run:\n" + rest;
}

// The quiet entry's one rule: the machine's ID, or std::bad_alloc when memory ran out.
std::string QuietViolation(const std::string& normal, const std::string& run)
{
    if (run == normal || run == "std::bad_alloc\n")
        return {};
    return "neither the ID nor std::bad_alloc:\n" + run;
}

using Check = std::string (*)(const std::string& normal, const std::string& run);

// Fails the 1st, 2nd, ... allocation until a run no longer reaches the failing one.
void Sweep(const std::vector<std::string>& before, const std::vector<std::string>& after,
           Check check)
{
    auto command = [&](long failing) {
        std::vector<std::string> arguments = before;
        arguments.push_back(std::to_string(failing));
        arguments.insert(arguments.end(), after.begin(), after.end());
        return arguments;
    };
    const Outcome normalRun = RunProgram(command(0));
    ASSERT_EQ(normalRun.status, 0) << Describe(normalRun.status) << normalRun.err;
    ASSERT_NE(normalRun.out.find("comp id = "), std::string::npos) << normalRun.out;
    const long total = Allocations(normalRun.err);
    ASSERT_GT(total, 0) << normalRun.err;
    const std::string normal = WithoutPointers(normalRun.out);

    long covered = 0;
    int failures = 0;
    for (long failing = 1; failures < 10; ++failing) {
        const Outcome run = RunProgram(command(failing));
        const long asked = Allocations(run.err);
        if (run.status == 0 && asked >= 0 && asked < failing)
            break;
        ++covered;
        const std::string violation = check(normal, WithoutPointers(run.out));
        const bool sound = run.status == 0 && violation.empty() &&
                           run.err.find("released too often") == std::string::npos;
        EXPECT_TRUE(sound) << "allocation " << failing << ": " << Describe(run.status) << "\n"
                           << violation << run.err;
        failures += sound ? 0 : 1;
    }
    EXPECT_GE(covered, total);
    std::cout << "allocation points covered: " << covered << "\n";
}

// Each inventory with an allocation failing once, and with memory running out for good,
// under the console program; and failing once under the quiet entry.
class AllocationSweepTest : public ::testing::TestWithParam<const char*> {};

INSTANTIATE_TEST_SUITE_P(Failures, AllocationSweepTest,
                         ::testing::Values("once", "exhausted", "quiet"));

void SweepOver(const std::vector<std::string>& provider, const char* failure,
               const std::vector<std::string>& after = {})
{
    std::vector<std::string> before{ALLOCATION_SWEEP_PROGRAM};
    before.insert(before.end(), provider.begin(), provider.end());
    before.emplace_back(failure);
    Sweep(before, after, std::string(failure) == "quiet" ? QuietViolation : Violation);
}

TEST_P(AllocationSweepTest, ScriptedInventory)
{
    SweepOver({"scripted"}, GetParam());
}

void TwoPackageTree(const test_support::FakeTree& tree)
{
    for (const char* cpu : {"cpu0", "cpu1", "cpu2", "cpu3"})
        tree.Write(std::string("sys/devices/system/cpu/") + cpu + "/topology/physical_package_id",
                   cpu[3] < '2' ? "0\n" : "1\n");
    tree.Dmi("board_serial", "BSN-4711\n");
    tree.Dmi("board_vendor", "ASUSTeK COMPUTER INC.\n");
    tree.Dmi("board_name", "PRIME Z370-A\n");
    tree.Dmi("bios_vendor", "American Megatrends Inc.\n");
    tree.Dmi("product_serial", "System Serial Number\n");
}

TEST_P(AllocationSweepTest, HardwareProviderOnATwoPackageTree)
{
    const test_support::FakeTree tree;
    TwoPackageTree(tree);
    SweepOver({"tree"}, GetParam(), {tree.Root().string()});
}

// The machine provider is built inside the first CoCreateInstance.
TEST_P(AllocationSweepTest, ThisMachine)
{
    SweepOver({"machine"}, GetParam());
}

// With no descriptor left beyond the standard streams, neither the cpu folder nor a package
// number can be read: the processor query fails rather than count one package.
TEST(DescriptorLimitTest, TooFewDescriptorsFailTheProcessorQuery)
{
    const test_support::FakeTree tree;
    TwoPackageTree(tree);
    const std::vector<std::string> run{ALLOCATION_SWEEP_PROGRAM, "tree", "once", "0",
                                       tree.Root().string()};
    const Outcome normal = RunProgram(run);
    std::vector<std::string> limited = run;
    limited.emplace_back("3");
    const Outcome outcome = RunProgram(limited);
    EXPECT_EQ(outcome.status, 0) << Describe(outcome.status);
    EXPECT_EQ(Violation(WithoutPointers(normal.out), WithoutPointers(outcome.out)), "");
    const ExpectedTrace failedQuery = ExpectedTrace()
                                          .QueryDone(0x80041001, nullptr)
                                          .ComFailure(failure_messages::kQuery, 0x80041001);
    EXPECT_NE(outcome.out.find("\n" + failedQuery.Text()), std::string::npos) << outcome.out;
}

TEST(ClosedOutputTest, AReaderThatWentAwayLeavesTheExitCodeZero)
{
    const Outcome outcome = RunProgram({COMPUTER_ID_PROGRAM}, true);
    EXPECT_TRUE(WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0)
        << Describe(outcome.status);
}

} // namespace
