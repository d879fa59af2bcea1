#include <platform/console.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
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
protected:
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

} // namespace
