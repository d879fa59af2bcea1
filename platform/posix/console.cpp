#include <platform/console.h>

#include <algorithm>
#include <array>
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

// The other signals whose default action ends the process (so do the real-time ones).
// Where the program leaves them at that default, each first puts the terminal's mode back
// and then ends the process as it would have.
constexpr int kFatalSignals[] = {SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1,
                                 SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGSTKFLT, SIGXCPU, SIGXFSZ,
                                 SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS};

volatile std::sig_atomic_t endingSignalArrived = 0;
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t continued = 0;

// The terminal's mode before the wait, and whether the wait has it reading single keys now.
termios savedMode{};
volatile std::sig_atomic_t keyModeSet = 0;

// Also called from signal handlers: tcsetattr is async-signal-safe.
void PutModeBack()
{
    if (keyModeSet != 0) {
        // A key such as an arrow sends several bytes; dropping the rest keeps them from
        // reaching whatever reads the terminal after this process.
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode);
        keyModeSet = 0;
    }
}

void NoteEndingSignal(int)
{
    endingSignalArrived = 1;
}

void NoteStop(int)
{
    stopRequested = 1;
}

void NoteContinue(int)
{
    continued = 1;
}

// Installed with SA_RESETHAND: the signal raised again is delivered, with its default
// action, as soon as the handler returns.
void PutModeBackAndEnd(int signal)
{
    PutModeBack();
    (void)::raise(signal);
}

template <std::size_t Count>
bool IsOneOf(const int (&signals)[Count], int signal)
{
    return std::ranges::find(signals, signal) != std::end(signals);
}

bool IsFatal(int signal)
{
    return IsOneOf(kFatalSignals, signal) || (signal >= SIGRTMIN && signal <= SIGRTMAX);
}

// A process outside the terminal's foreground process group would be stopped by changing
// its mode or reading it. A terminal that is not this process's controlling terminal has
// no foreground to be in.
bool InForeground()
{
    const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
    return foreground == -1 ? errno == ENOTTY : foreground == ::getpgrp();
}

// Switches the terminal to reading single keys without echo; false from the background,
// where the terminal is the foreground's to set.
bool EnterKeyMode()
{
    if (!InForeground()) {
        keyModeSet = 0;
        return false;
    }
    termios keys = savedMode;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    // Set first, so that a signal arriving during the change still puts the mode back.
    keyModeSet = 1;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
        keyModeSet = 0;
        return false;
    }
    return true;
}

// For the duration of the wait: the ending signals, Ctrl-Z's SIGTSTP and SIGCONT are caught
// and blocked except inside ppoll, so that one arriving just before the wait still ends or
// interrupts it; the other fatal signals are caught to put the mode back. SIGTTIN and
// SIGTTOU stay blocked throughout: reading or resetting the terminal from the background
// then fails or goes through instead of stopping the process with those signals blocked.
class WaitSignals {
public:
    WaitSignals()
    {
        endingSignalArrived = 0;
        stopRequested = 0;
        continued = 0;
        sigemptyset(&blocked_);
        for (const int signal : kEndingSignals) {
            sigaddset(&blocked_, signal);
        }
        for (const int signal : {SIGTSTP, SIGCONT, SIGTTIN, SIGTTOU}) {
            sigaddset(&blocked_, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &blocked_, &previousMask_);
        ::pthread_sigmask(SIG_SETMASK, nullptr, &blocked_);
        waitingMask_ = previousMask_;
        sigaddset(&waitingMask_, SIGTTIN);
        sigaddset(&waitingMask_, SIGTTOU);

        for (int signal = 1; signal < NSIG; ++signal) {
            Install(signal);
        }
    }
    ~WaitSignals()
    {
        // Unblocked while the handlers are still in place, so that an ending signal that
        // arrived after the wait (a hang-up's SIGHUP, say) is only noted.
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
        for (int signal = 1; signal < NSIG; ++signal) {
            if (installed_[signal]) {
                ::sigaction(signal, &previousActions_[signal], nullptr);
            }
        }
    }
    WaitSignals(const WaitSignals&) = delete;
    WaitSignals& operator=(const WaitSignals&) = delete;

    const sigset_t* MaskWhileWaiting() const { return &waitingMask_; }

    // Stops the process as Ctrl-Z would have, with the terminal as the wait found it and the
    // caller's signal mask, and returns once it is continued.
    void StopUntilContinued() const
    {
        PutModeBack();
        struct sigaction stop {};
        stop.sa_handler = SIG_DFL;
        sigemptyset(&stop.sa_mask);
        struct sigaction note {};
        ::sigaction(SIGTSTP, &stop, &note);
        (void)::raise(SIGTSTP);
        // The stop takes effect as the signal is unblocked.
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
        ::pthread_sigmask(SIG_SETMASK, &blocked_, nullptr);
        ::sigaction(SIGTSTP, &note, nullptr);
    }

private:
    void Install(int signal)
    {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        if (IsOneOf(kEndingSignals, signal)) {
            action.sa_handler = NoteEndingSignal;
        } else if (signal == SIGTSTP) {
            action.sa_handler = NoteStop;
        } else if (signal == SIGCONT) {
            action.sa_handler = NoteContinue;
        } else if (IsFatal(signal)) {
            action.sa_handler = PutModeBackAndEnd;
            action.sa_flags = SA_RESETHAND;
        } else {
            return;
        }
        if (::sigaction(signal, nullptr, &previousActions_[signal]) != 0) {
            return;
        }
        // A signal the process ignores (Ctrl-C for a job started in the background) stays
        // ignored; one it handles itself, other than an ending one, stays its own.
        const auto previous = previousActions_[signal].sa_handler;
        if (IsOneOf(kEndingSignals, signal) ? previous != SIG_IGN : previous == SIG_DFL) {
            installed_[signal] = ::sigaction(signal, &action, nullptr) == 0;
        }
    }

    sigset_t previousMask_{};
    sigset_t blocked_{};
    sigset_t waitingMask_{};
    std::array<struct sigaction, NSIG> previousActions_{};
    std::array<bool, NSIG> installed_{};
};

} // namespace

void WaitForKey()
{
    if (::isatty(STDIN_FILENO) == 0) {
        return;
    }
    // The prompt before the wait ends in a plain newline, which does not flush; with
    // standard output a pipe the prompt would not show while the program waits. A prompt
    // that could not be written (no reader, a full disk, a closed descriptor) asks nobody.
    std::cout.flush();
    if (!std::cout) {
        return;
    }
    if (::tcgetattr(STDIN_FILENO, &savedMode) != 0) {
        return;
    }
    const WaitSignals signals;
    if (!EnterKeyMode()) {
        return;
    }
    // Standard output is watched too: when its reader goes away, nobody sees the prompt.
    std::array<pollfd, 2> watched{{{STDIN_FILENO, POLLIN, 0}, {STDOUT_FILENO, 0, 0}}};
    // The signals that interrupt ppoll are blocked everywhere else: each is seen here first.
    while (endingSignalArrived == 0) {
        if (stopRequested != 0) {
            stopRequested = 0;
            signals.StopUntilContinued();
            continued = 1;
            continue;
        }
        if (continued != 0) {
            // The shell may have put its own mode back while the process was stopped.
            continued = 0;
            if (!EnterKeyMode()) {
                break;
            }
        }
        const int ready =
            ::ppoll(watched.data(), watched.size(), nullptr, signals.MaskWhileWaiting());
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0 && watched[1].revents == 0 && (watched[0].revents & POLLIN) != 0) {
            char key = 0;
            while (::read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
            }
        }
        break;
    }
    PutModeBack();
}

void ContinueWhenOutputCloses()
{
    // Ignoring a signal that exists cannot fail.
    (void)std::signal(SIGPIPE, SIG_IGN);
}

} // namespace platform
