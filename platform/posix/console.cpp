#include <platform/console.h>

#include <cerrno>
#include <csignal>
#include <iostream>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// Signals that end the wait as a key would, so that the terminal gets its mode back and
// the program still ends normally.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t endingSignalArrived = 0;

void NoteEndingSignal(int)
{
    endingSignalArrived = 1;
}

// For the duration of the wait: the ending signals are blocked except inside ppoll, so one
// that arrives just before the wait still ends it, and each is caught instead of killing
// the process with the terminal left in raw mode.
class EndingSignals {
public:
    EndingSignals()
    {
        endingSignalArrived = 0;
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal : kEndingSignals) {
            sigaddset(&ending, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &ending, &previousMask_);
        struct sigaction note {};
        note.sa_handler = NoteEndingSignal;
        sigemptyset(&note.sa_mask);
        // A signal the process ignores (Ctrl-C for a job started in the background) stays
        // ignored.
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], nullptr, &previousActions_[i]);
            if (previousActions_[i].sa_handler != SIG_IGN) {
                ::sigaction(kEndingSignals[i], &note, nullptr);
            }
        }
    }
    ~EndingSignals()
    {
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &previousActions_[i], nullptr);
        }
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;

    const sigset_t* MaskWhileWaiting() const { return &previousMask_; }

private:
    sigset_t previousMask_{};
    struct sigaction previousActions_[std::size(kEndingSignals)]{};
};

} // namespace

void WaitForKey()
{
    if (::isatty(STDIN_FILENO) == 0) {
        return;
    }
    // The prompt before the wait ends in a plain newline, which does not flush; with
    // standard output a pipe the prompt would not show while the program waits.
    std::cout.flush();
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) {
        return;
    }
    const EndingSignals signals;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        return;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (endingSignalArrived == 0) {
        const int ready = ::ppoll(&input, 1, nullptr, signals.MaskWhileWaiting());
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0 && (input.revents & POLLIN) != 0) {
            char key = 0;
            while (::read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
            }
        }
        break;
    }
    // A key such as an arrow sends several bytes; dropping the rest keeps them from
    // reaching whatever reads the terminal after this process.
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
}

void ContinueWhenOutputCloses()
{
    // Ignoring a signal that exists cannot fail.
    (void)std::signal(SIGPIPE, SIG_IGN);
}

} // namespace platform
