#include <platform/console.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Puts a descriptor in place of standard input for the lifetime of the object.
class StdinReplacement {
public:
    explicit StdinReplacement(int descriptor) : saved_(::dup(STDIN_FILENO))
    {
        ::dup2(descriptor, STDIN_FILENO);
    }
    ~StdinReplacement()
    {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
    }
    StdinReplacement(const StdinReplacement&) = delete;
    StdinReplacement& operator=(const StdinReplacement&) = delete;

private:
    int saved_;
};

bool ReturnsPromptly(std::future<void>& waiting)
{
    return waiting.wait_for(2s) == std::future_status::ready;
}

// Neither /dev/null nor a pipe at end of file is a terminal: nothing to wait for.
TEST(WaitForKeyTest, ReturnsAtOnceWhenStdinIsNotATerminal)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[1]);
    const int null = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(null, 0);
    for (const int descriptor : {null, ends[0]}) {
        const StdinReplacement replacement(descriptor);
        auto waiting = std::async(std::launch::async, platform::WaitForKey);
        EXPECT_TRUE(ReturnsPromptly(waiting)) << "descriptor " << descriptor;
        ::close(descriptor);
    }
}

// Input that is not a terminal belongs to whoever reads standard input next.
TEST(WaitForKeyTest, LeavesAPipeThatIsNotATerminalUnread)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "k", 1), 1);
    {
        const StdinReplacement replacement(ends[0]);
        auto waiting = std::async(std::launch::async, platform::WaitForKey);
        const bool prompt = ReturnsPromptly(waiting);
        ::close(ends[1]);
        EXPECT_TRUE(prompt);
    }
    char left = 0;
    EXPECT_EQ(::read(ends[0], &left, 1), 1);
    EXPECT_EQ(left, 'k');
    ::close(ends[0]);
}

// A pseudo-terminal whose slave side stands in for standard input.
class TerminalTest : public ::testing::Test {
public:
    void SetUp() override
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave_, 0);
        ASSERT_EQ(::tcgetattr(slave_, &before_), 0);
        ASSERT_TRUE(before_.c_lflag & ICANON);
        ASSERT_TRUE(before_.c_lflag & ECHO);
    }
    void TearDown() override
    {
        ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }

    // Waits until WaitForKey has switched the terminal to reading single keys.
    bool RawModeReached() const
    {
        for (int attempt = 0; attempt < 200; ++attempt) {
            termios now{};
            ::tcgetattr(slave_, &now);
            if ((now.c_lflag & (ICANON | ECHO)) == 0 && now.c_cc[VMIN] == 1) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // Starts WaitForKey on a thread of its own, which is then the one to signal.
    static std::future<void> WaitOnThread(pthread_t& thread)
    {
        // Shared, so that the promise outlives set_value when this returns first.
        const auto started = std::make_shared<std::promise<pthread_t>>();
        auto waiting = std::async(std::launch::async, [started] {
            started->set_value(::pthread_self());
            platform::WaitForKey();
        });
        thread = started->get_future().get();
        return waiting;
    }

    void ExpectModeRestored() const
    {
        termios after{};
        ASSERT_EQ(::tcgetattr(slave_, &after), 0);
        EXPECT_EQ(after.c_lflag, before_.c_lflag);
        EXPECT_EQ(after.c_cc[VMIN], before_.c_cc[VMIN]);
    }

    int master_ = -1;
    int slave_ = -1;
    termios before_{};
};

TEST_F(TerminalTest, ReadsOneKeyWithoutEchoAndRestoresTheMode)
{
    const StdinReplacement replacement(slave_);
    auto waiting = std::async(std::launch::async, platform::WaitForKey);
    ASSERT_TRUE(RawModeReached());
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    ASSERT_EQ(::write(master_, "\x1b[A", 3), 3);
    ASSERT_TRUE(ReturnsPromptly(waiting));
    ExpectModeRestored();

    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    ::fcntl(slave_, F_SETFL, O_NONBLOCK);
    char byte = 0;
    EXPECT_EQ(::read(master_, &byte, 1), -1) << "echoed " << int(byte);
    EXPECT_EQ(::read(slave_, &byte, 1), -1) << "left unread " << int(byte);
}

void Interrupted(int) {}

TEST_F(TerminalTest, KeepsWaitingWhenASignalInterruptsTheRead)
{
    struct sigaction action {};
    action.sa_handler = Interrupted;
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    const StdinReplacement replacement(slave_);
    pthread_t thread{};
    auto waiting = WaitOnThread(thread);
    ASSERT_TRUE(RawModeReached());
    std::this_thread::sleep_for(50ms);
    ::pthread_kill(thread, SIGUSR1);
    EXPECT_EQ(waiting.wait_for(200ms), std::future_status::timeout);
    ASSERT_EQ(::write(master_, "k", 1), 1);
    EXPECT_TRUE(ReturnsPromptly(waiting));
    ExpectModeRestored();
    ::sigaction(SIGUSR1, &previous, nullptr);
}

// A terminal opened without blocking still waits for a key, and without spinning on reads
// that fail at once.
TEST_F(TerminalTest, WaitsForAKeyOnATerminalOpenedWithoutBlocking)
{
    ASSERT_EQ(::fcntl(slave_, F_SETFL, O_NONBLOCK), 0);
    const StdinReplacement replacement(slave_);
    auto waiting = std::async(std::launch::async, platform::WaitForKey);
    ASSERT_TRUE(RawModeReached());
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    ASSERT_EQ(::write(master_, "k", 1), 1);
    EXPECT_TRUE(ReturnsPromptly(waiting));
    ExpectModeRestored();
}

// Counts the flushes of what is written to it.
class FlushCounter : public std::stringbuf {
public:
    int flushes = 0;

protected:
    int sync() override
    {
        ++flushes;
        return 0;
    }
};

// Ctrl-C, a terminate request or a hang-up end the wait as a key does: the terminal gets
// its mode back and the program goes on to exit normally. The prompt was flushed before.
TEST_F(TerminalTest, EndingSignalsEndTheWaitAndRestoreTheMode)
{
    FlushCounter output;
    std::streambuf* const saved = std::cout.rdbuf(&output);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        output.flushes = 0;
        std::cout << "Press any key..\n";
        const StdinReplacement replacement(slave_);
        pthread_t thread{};
        auto waiting = WaitOnThread(thread);
        ASSERT_TRUE(RawModeReached()) << signal;
        EXPECT_EQ(output.flushes, 1) << signal;
        ::pthread_kill(thread, signal);
        EXPECT_TRUE(ReturnsPromptly(waiting)) << signal;
        ExpectModeRestored();
    }
    std::cout.rdbuf(saved);
}

// A prompt that could not be written asks nobody: no wait, and no change of mode.
TEST_F(TerminalTest, NoWaitForAPromptThatCouldNotBeWritten)
{
    const StdinReplacement replacement(slave_);
    std::cout.setstate(std::ios::badbit);
    auto waiting = std::async(std::launch::async, platform::WaitForKey);
    const bool prompt = ReturnsPromptly(waiting);
    std::cout.clear();
    if (!prompt) {
        ASSERT_EQ(::write(master_, "k", 1), 1);
    }
    EXPECT_TRUE(prompt);
    ExpectModeRestored();
}

// The wait in a process of its own whose controlling terminal is the pseudo-terminal: the
// session's leader itself, or a job in a process group of its own that the leader puts in
// the foreground or leaves in the background, as a shell does. The leader's exit status is
// the wait's end: 0, or 128 + N when signal N ended it.
enum class Place { SessionLeader, ForegroundJob, BackgroundJob };

pid_t StartWaiting(int master, Place place)
{
    const char* const terminal = ::ptsname(master);
    std::cout.flush();
    const pid_t leader = ::fork();
    if (leader != 0)
        return leader;
    ::close(master); // the terminal hangs up when the test closes its master descriptor
    ::setsid();
    ::dup2(::open(terminal, O_RDWR), STDIN_FILENO);
    const pid_t job = place == Place::SessionLeader ? 0 : ::fork();
    if (job == 0) {
        ::setpgid(0, 0); // a leader's own group already, else a job's new one
        while (place == Place::ForegroundJob && ::tcgetpgrp(STDIN_FILENO) == ::getsid(0))
            ::usleep(1000);
        platform::WaitForKey();
        std::_Exit(0);
    }
    ::setpgid(job, job);
    if (place == Place::ForegroundJob)
        ::tcsetpgrp(STDIN_FILENO, job);
    int status = 0;
    ::waitpid(job, &status, 0);
    std::_Exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
}

struct ProcessCase {
    const char* name;
    Place place;
    void (*act)(TerminalTest& terminal); // once the wait has begun
    int exitStatus;
};

void Type(const TerminalTest& terminal, char key)
{
    ASSERT_EQ(::write(terminal.master_, &key, 1), 1);
}

void SignalForeground(const TerminalTest& terminal, int signal)
{
    ::kill(-::tcgetpgrp(terminal.master_), signal);
}

// Ctrl-Z stops the job with line mode back; continued, it waits for a single key again.
void StopAndContinue(TerminalTest& terminal)
{
    Type(terminal, '\x1a');
    termios mode{};
    for (int attempt = 0; attempt < 200 && (mode.c_lflag & ICANON) == 0; ++attempt) {
        std::this_thread::sleep_for(10ms);
        ::tcgetattr(terminal.slave_, &mode);
    }
    EXPECT_TRUE(mode.c_lflag & ICANON) << "line mode while stopped";
    SignalForeground(terminal, SIGCONT);
    ASSERT_TRUE(terminal.RawModeReached());
    Type(terminal, 'k');
}

const ProcessCase kProcessCases[] = {
    {"Ctrl-\\", Place::ForegroundJob, [](TerminalTest& t) { Type(t, '\x1c'); }, 128 + SIGQUIT},
    {"SIGUSR1", Place::ForegroundJob, [](TerminalTest& t) { SignalForeground(t, SIGUSR1); },
     128 + SIGUSR1},
    {"SIGALRM", Place::SessionLeader, [](TerminalTest& t) { SignalForeground(t, SIGALRM); },
     128 + SIGALRM},
    {"hang-up", Place::SessionLeader,
     [](TerminalTest& t) { ::close(std::exchange(t.master_, -1)); }, 0},
    {"Ctrl-Z, then continued", Place::ForegroundJob, StopAndContinue, 0},
    {"in the background", Place::BackgroundJob, nullptr, 0},
};

TEST_F(TerminalTest, WaitsInAProcessOfItsOwnAndEndsWithTheModeRestored)
{
    for (const ProcessCase& entry : kProcessCases) {
        SCOPED_TRACE(entry.name);
        TearDown();
        SetUp();
        const pid_t leader = StartWaiting(master_, entry.place);
        if (entry.act != nullptr) {
            ASSERT_TRUE(RawModeReached());
            entry.act(*this);
        }
        int status = -1;
        for (int attempt = 0; attempt < 200 && ::waitpid(leader, &status, WNOHANG) == 0; ++attempt)
            std::this_thread::sleep_for(10ms);
        if (status == -1) {
            ::kill(leader, SIGKILL); // fails the expectation below as 128 + SIGKILL
            ::waitpid(leader, &status, 0);
        }
        EXPECT_EQ(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status),
                  entry.exitStatus);
        if (master_ >= 0)
            ExpectModeRestored();
    }
}

} // namespace
